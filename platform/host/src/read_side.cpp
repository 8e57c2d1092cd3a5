// The read side of documents: titles, units, configurations, a part's
// material and bodies, and the faces of bodies with their triangles.
#include "state.h"

#include "faces.h"
#include "stand_in/text.h"

#include <cfloat>
#include <climits>
#include <cmath>
#include <stdexcept>

namespace stand_in {

HRESULT GiveText(const std::string& utf8, BSTR* out) {
  const std::wstring text = FromUtf8(utf8);
  *out = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  return *out ? S_OK : E_OUTOFMEMORY;
}

Document& HostState::Find(const Document& document, const char* role) {
  for (Document& d : documents)
    if (&d == &document) return d;
  throw std::invalid_argument(std::string("the ") + role + " is not a document of this host");
}

Document& HostState::FindPart(const Document& document) {
  Document& part = Find(document, "part");
  if (part.kind != DocumentKind::Part)
    throw std::invalid_argument(part.title + " is " + (part.kind == DocumentKind::Assembly ? "an " : "a ") +
                                KindName(part.kind) + ", not a part");
  return part;
}

void CheckMaterial(const Material& material) {
  static const char* const kNames[kHostMaterialValues] = {"red",       "green",     "blue",
                                                          "ambient",   "diffuse",   "specular",
                                                          "shininess", "transparency", "emission"};
  for (int i = 0; i < kHostMaterialValues; ++i)
    if (!(material[i] >= 0.0 && material[i] <= 1.0))
      throw std::invalid_argument(std::string("material ") + kNames[i] + " is " + std::to_string(material[i]) +
                                  "; each value is 0 to 1");
}

namespace {

// Saturated: a coordinate past the float range is infinite, not undefined.
float ToFloat(double v) {
  if (std::fabs(v) <= FLT_MAX) return static_cast<float>(v);
  return v > 0 ? HUGE_VALF : -HUGE_VALF;
}

bool NameTaken(const Document& part, const std::string& name, const Body* except) {
  for (const Body& b : part.bodies)
    if (&b != except && b.name == name) return true;
  return false;
}

Body& BodyAt(Document& part, size_t body) {
  if (body >= part.bodies.size())
    throw std::invalid_argument(part.title + " has " + std::to_string(part.bodies.size()) + " bodies, no body " +
                                std::to_string(body + 1));
  return part.bodies[body];
}

}  // namespace

// The next number whose name is free: renamed bodies may hold "Body3".
std::string NewBodyName(const Document& part) {
  for (size_t n = part.bodies.size();; ++n) {
    std::string name = "Body" + std::to_string(n);
    if (!NameTaken(part, name, &part.bodies.back())) return name;
  }
}

void Host::SetMaterial(const Document& part, const Material& material) {
  Document& d = state_->FindPart(part);
  CheckMaterial(material);
  d.material = material;
}

void Host::SetTitle(const Document& document, const std::string& title) {
  Document& d = state_->Find(document, "document");
  if (title.empty()) throw std::invalid_argument("a document's title cannot be empty");
  d.title = title;
}

void Host::RenameBody(const Document& part, size_t body, const std::string& name) {
  Document& d = state_->FindPart(part);
  Body& b = BodyAt(d, body);
  if (name.empty()) throw std::invalid_argument("a body's name cannot be empty");
  if (NameTaken(d, name, &b)) throw std::invalid_argument(d.title + " already has a body named \"" + name + "\"");
  b.name = name;
}

void Host::SetBodyVisible(const Document& part, size_t body, bool visible) {
  BodyAt(state_->FindPart(part), body).visible = visible;
}

STDMETHODIMP ApplicationObject::ActiveModel(IHostDocument** document) {
  return GiveActiveDocument(Op::AppActiveModel, document);
}

STDMETHODIMP DocumentObject::Title(BSTR* title) {
  return ComNoThrow([&] {
    CallScope call(host_, Op::DocTitle, *this);
    call.Out(title, nullptr);
    if (call.Faulted()) return call.Fault();
    if (!title) return call.Finish(E_POINTER, "title is null");
    return call.Finish(GiveText(document_.title, title));
  });
}

STDMETHODIMP DocumentObject::GetLengthUnit(LONG* unit) {
  return ComNoThrow([&] {
    CallScope call(host_, Op::DocGetLengthUnit, *this);
    call.Out(unit, 0);
    if (call.Faulted()) return call.Fault();
    if (!unit) return call.Finish(E_POINTER, "unit is null");
    *unit = document_.lengthUnit;
    return call.Finish(S_OK);
  });
}

STDMETHODIMP DocumentObject::ActiveConfiguration(IHostConfiguration** configuration) {
  return ComNoThrow([&] {
    CallScope call(host_, Op::DocActiveConfiguration, *this);
    call.Out(configuration, nullptr);
    if (call.Faulted()) return call.Fault();
    if (!configuration) return call.Finish(E_POINTER, "configuration is null");
    if (document_.kind == DocumentKind::Drawing) return call.Finish(S_OK);  // a drawing has none
    *configuration = HandOut<IHostConfiguration>(host_.Configuration(document_));
    return call.Finish(S_OK);
  });
}

STDMETHODIMP PartObject::MaterialValues(double* values) {
  return ComNoThrow([&] {
    CallScope call(host_, Op::PartMaterialValues, *this);
    call.OutArray(values, kHostMaterialValues, 0.0);
    if (call.Faulted()) return call.Fault();
    if (!values) return call.Finish(E_POINTER, "values is null");
    std::copy(document_.material.begin(), document_.material.end(), values);
    return call.Finish(S_OK);
  });
}

STDMETHODIMP PartObject::BodyEnumerator(LONG kind, VARIANT_BOOL visibleOnly, IHostBodyEnumerator** enumerator) {
  return ComNoThrow([&] {
    CallScope call(host_, Op::PartBodyEnumerator, *this);
    call.Long(kind).Bool(visibleOnly);
    call.Out(enumerator, nullptr);
    if (call.Faulted()) return call.Fault();
    return host_.ListBodies(call, &document_, kind, visibleOnly != VARIANT_FALSE, document_.title, enumerator);
  });
}

HRESULT HostState::ListBodies(CallScope& call, Document* part, LONG kind, bool visibleOnly, const std::string& owner,
                              IHostBodyEnumerator** enumerator) {
  if (!enumerator) return call.Finish(E_POINTER, "enumerator is null");
  if (kind != hostSolidBody && kind != hostSheetBody)
    return call.Finish(E_INVALIDARG, "body kind " + std::to_string(kind) + " is not 0 (solid) or 1 (sheet)");
  const BodyKind wanted = kind == hostSolidBody ? BodyKind::Solid : BodyKind::Sheet;
  std::vector<size_t> bodies;
  if (part)
    for (size_t i = 0; i < part->bodies.size(); ++i)
      if (part->bodies[i].kind == wanted && (part->bodies[i].visible || !visibleOnly)) bodies.push_back(i);
  const std::string label = owner + (kind == hostSolidBody ? " solid" : " sheet") + " bodies";
  *enumerator = HandOut<IHostBodyEnumerator>(Make<BodyEnumeratorObject>(part, std::move(bodies), label));
  return call.Finish(S_OK);
}

void* BodyEnumeratorObject::Role(REFIID iid) {
  if (iid == __uuidof(IUnknown) || iid == __uuidof(IHostBodyEnumerator))
    return static_cast<IHostBodyEnumerator*>(this);
  return nullptr;
}

STDMETHODIMP BodyEnumeratorObject::Next(LONG count, IHostBody** body, LONG* fetched) {
  return ComNoThrow([&] {
    CallScope call(host_, Op::EnumNext, *this);
    call.Long(count);
    call.Out(body, nullptr);
    call.Out(fetched, 0);
    if (call.Faulted()) return call.Fault();
    if (!body) return call.Finish(E_POINTER, "body is null");
    if (count != 1)
      return call.Finish(E_INVALIDARG, "count is " + std::to_string(count) + "; bodies come one at a time");
    if (next_ == bodies_.size()) return call.Finish(S_FALSE);
    const size_t index = bodies_[next_];
    *body = HandOut<IHostBody>(host_.BodyView(*part_, part_->bodies[index], index));
    ++next_;
    if (fetched) *fetched = 1;
    return call.Finish(S_OK);
  });
}

BodyObject* HostState::BodyView(Document& document, Body& body, size_t index) {
  return Cached(bodyObjects, static_cast<const Body*>(&body), [&] { return Make<BodyObject>(document, body, index); });
}

// A body from NewBody only gathers faces: until they are sewn it is no body
// of the part, with no faces and no name to read.
STDMETHODIMP BodyObject::FirstFace(IHostFace** face) {
  return ComNoThrow([&] {
    CallScope call(host_, Op::BodyFirstFace, *this);
    call.Out(face, nullptr);
    if (call.Faulted()) return call.Fault();
    if (!face) return call.Finish(E_POINTER, "face is null");
    if (body_.kind == BodyKind::Collector) return call.Finish(E_FAIL, "the faces are not sewn into a body yet");
    if (FaceCount(body_) == 0) return call.Finish(S_FALSE);
    *face = HandOut<IHostFace>(host_.Face(document_, body_, index_, 0));
    return call.Finish(S_OK);
  });
}

STDMETHODIMP BodyObject::Name(BSTR* name) {
  return ComNoThrow([&] {
    CallScope call(host_, Op::BodyName, *this);
    call.Out(name, nullptr);
    if (call.Faulted()) return call.Fault();
    if (!name) return call.Finish(E_POINTER, "name is null");
    if (body_.kind == BodyKind::Collector) return call.Finish(E_FAIL, "the faces are not sewn into a body yet");
    return call.Finish(GiveText(body_.name, name));
  });
}

FaceObject* HostState::Face(const Document& document, const Body& body, size_t bodyIndex, size_t face) {
  FaceObject* object = faces.Take([this] { return Make<FaceObject>(); });
  object->Bind(document, body, bodyIndex, face);
  return object;
}

void FaceObject::Bind(const Document& document, const Body& body, size_t bodyIndex, size_t face) {
  document_ = &document;
  body_ = &body;
  bodyIndex_ = bodyIndex;
  face_ = face;
  tessellated_ = false;
}

void FaceObject::OnAcquiredFromNone() noexcept { host_.faces.Reclaim(this); }
void FaceObject::OnLastRelease() noexcept { host_.faces.Return(this); }

void* FaceObject::Role(REFIID iid) {
  if (iid == __uuidof(IUnknown) || iid == __uuidof(IHostFace)) return static_cast<IHostFace*>(this);
  return nullptr;
}

std::string FaceObject::Label() const {
  return document_->title + " body " + std::to_string(bodyIndex_ + 1) + " face " + std::to_string(face_ + 1);
}

const std::vector<Point3>& FaceObject::Corners() {
  if (!tessellated_) {
    FaceTriangles(*body_, face_, &corners_);
    tessellated_ = true;
  }
  return corners_;
}

STDMETHODIMP FaceObject::TriangleCount(LONG* count) {
  return ComNoThrow([&] {
    CallScope call(host_, Op::FaceTriangleCount, *this);
    call.Out(count, 0);
    if (call.Faulted()) return call.Fault();
    if (!count) return call.Finish(E_POINTER, "count is null");
    const size_t triangles = Corners().size() / 3;
    if (triangles > LONG_MAX / 9) return call.Finish(E_FAIL, "the face has more triangles than a count can give");
    *count = static_cast<LONG>(triangles);
    return call.Finish(S_OK);
  });
}

STDMETHODIMP FaceObject::TriangleData(LONG option, float* data) {
  return ComNoThrow([&] {
    CallScope call(host_, Op::FaceTriangleData, *this);
    call.Long(option);
    if (call.Faulted()) {
      call.OutArray(data, Corners().size() * 3, 0.0f);
      return call.Fault();
    }
    if (!data) return call.Finish(E_POINTER, "data is null");
    if (option != 0) return call.Finish(E_INVALIDARG, "option " + std::to_string(option) + " is not 0");
    for (const Point3& p : Corners()) {
      *data++ = ToFloat(p.x);
      *data++ = ToFloat(p.y);
      *data++ = ToFloat(p.z);
    }
    return call.Finish(S_OK);
  });
}

STDMETHODIMP FaceObject::NextFace(IHostFace** next) {
  return ComNoThrow([&] {
    CallScope call(host_, Op::FaceNextFace, *this);
    call.Out(next, nullptr);
    if (call.Faulted()) return call.Fault();
    if (!next) return call.Finish(E_POINTER, "next is null");
    if (face_ + 1 >= FaceCount(*body_)) return call.Finish(S_FALSE);
    *next = HandOut<IHostFace>(host_.Face(*document_, *body_, bodyIndex_, face_ + 1));
    return call.Finish(S_OK);
  });
}

}  // namespace stand_in
