// Documents, their sketches and the bodies of parts.
#include "state.h"

#include "faces.h"
#include "surface_faces.h"
#include "stand_in/paths.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace stand_in {
namespace {

bool SketchOpen(const Document& d) { return !d.sketches.empty() && d.sketches.back().open; }

}  // namespace

void* DocumentObject::Role(REFIID iid) {
  if (iid == __uuidof(IUnknown) || iid == __uuidof(IHostDocument)) return static_cast<IHostDocument*>(this);
  if (iid == __uuidof(IHostListOwner)) return static_cast<IHostListOwner*>(&list_);
  return nullptr;
}

HRESULT DocumentObject::Step(Op op) {
  return ComNoThrow([&] {
    CallScope call(host_, op, *this);
    if (call.Faulted()) return call.Fault();
    return call.Finish(S_OK);
  });
}

// The settings and steps around bulk geometry have no effect here: the
// system relies on nothing they do.
STDMETHODIMP DocumentObject::PreGeometrySettingA(LONG value) {
  return ComNoThrow([&] {
    CallScope call(host_, Op::DocPreGeometrySettingA, *this);
    call.Long(value);
    return call.Faulted() ? call.Fault() : call.Finish(S_OK);
  });
}

STDMETHODIMP DocumentObject::PreGeometrySettingB(LONG value) {
  return ComNoThrow([&] {
    CallScope call(host_, Op::DocPreGeometrySettingB, *this);
    call.Long(value);
    return call.Faulted() ? call.Fault() : call.Finish(S_OK);
  });
}

STDMETHODIMP DocumentObject::PostGeometryStepA() { return Step(Op::DocPostGeometryStepA); }
STDMETHODIMP DocumentObject::PostGeometryStepB() { return Step(Op::DocPostGeometryStepB); }
STDMETHODIMP DocumentObject::PostSketchStep() { return Step(Op::DocPostSketchStep); }

STDMETHODIMP DocumentObject::SetLengthUnit(LONG unit) {
  return ComNoThrow([&] {
    CallScope call(host_, Op::DocSetLengthUnit, *this);
    call.Long(unit);
    if (call.Faulted()) return call.Fault();
    if (unit < hostMM || unit > hostFEET)
      return call.Finish(E_INVALIDARG, "unit code " + std::to_string(unit) + " is not one of 0 (mm) to 4 (ft)");
    document_.lengthUnit = unit;
    return call.Finish(S_OK);
  });
}

STDMETHODIMP DocumentObject::Toggle3DSketch(LONG value) {
  return ComNoThrow([&] {
    CallScope call(host_, Op::DocToggle3DSketch, *this);
    call.Long(value);
    if (call.Faulted()) return call.Fault();
    if (document_.kind == DocumentKind::Drawing) return call.Finish(E_FAIL, "a drawing has no 3D sketch");
    if (value != 0) return call.Finish(E_INVALIDARG, "value " + std::to_string(value) + " is not 0");
    if (SketchOpen(document_)) {
      document_.sketches.back().open = false;
      document_.sketches.back().lines.Seal();
    } else {
      document_.sketches.emplace_back();
    }
    return call.Finish(S_OK);
  });
}

// Whatever the document's kind, the stand-in writes it as OBJ, under the
// path given and whatever its extension. The call answers S_OK; `code`
// tells whether the file was written.
STDMETHODIMP DocumentObject::SaveToPath(BSTR path, LONG version, VARIANT_BOOL silent, VARIANT_BOOL copy,
                                        LONG* code) {
  return ComNoThrow([&] {
    CallScope call(host_, Op::DocSaveToPath, *this);
    call.Text(path).Long(version).Bool(silent).Bool(copy);
    call.Out(code, 0);
    if (call.Faulted()) return call.Fault();
    if (!code) return call.Finish(E_POINTER, "code is null");
    std::string error;
    if (!SaveObj(document_, NativePath(FromBstr(path)), &error)) {
      *code = hostFileError;
      return call.Finish(S_OK, error);
    }
    *code = hostFileOK;
    return call.Finish(S_OK);
  });
}

void* PartObject::Role(REFIID iid) {
  if (iid == __uuidof(IHostPartDocument)) return static_cast<IHostPartDocument*>(this);
  return DocumentObject::Role(iid);
}

STDMETHODIMP PartObject::NewBody(IHostBody** body) {
  return ComNoThrow([&] {
    CallScope call(host_, Op::PartNewBody, *this);
    call.Out(body, nullptr);
    if (call.Faulted()) return call.Fault();
    if (!body) return call.Finish(E_POINTER, "body is null");
    document_.collectors.emplace_back();
    BodyObject* object = nullptr;
    try {
      object = host_.Make<BodyObject>(document_, document_.collectors.back(), document_.collectors.size() - 1);
    } catch (...) {
      document_.collectors.pop_back();
      throw;
    }
    *body = HandOut<IHostBody>(object);
    return call.Finish(S_OK);
  });
}

void* BodyObject::Role(REFIID iid) {
  if (iid == __uuidof(IUnknown) || iid == __uuidof(IHostBody)) return static_cast<IHostBody*>(this);
  return nullptr;
}

std::string BodyObject::Label() const {
  return document_.title + (body_.kind == BodyKind::Collector ? " collector " : " body ") +
         std::to_string(index_ + 1);
}

// The normal is checked but not kept: the polygon gives the face its plane,
// and its winding the side the face looks to. A zero normal is accepted.
STDMETHODIMP BodyObject::CreatePlanarFace(LONG count, const double* points, const double* normal) {
  return ComNoThrow([&] {
    CallScope call(host_, Op::BodyCreatePlanarFace, *this);
    const bool countOk = count == 3 || count == 4;
    call.Long(count);
    if (countOk || !points) call.Doubles(points, 3 * static_cast<size_t>(countOk ? count : 0));
    else call.Unread();  // the buffer's size is unknown
    call.Doubles(normal, 3);
    if (call.Faulted()) return call.Fault();
    if (body_.kind != BodyKind::Collector) return call.Finish(E_FAIL, "a sewn body takes no more faces");
    if (!countOk)
      return call.Finish(E_FAIL, "count is " + std::to_string(count) + "; a planar face has 3 or 4 points");
    if (!points) return call.Finish(E_FAIL, "points is null");
    if (!normal) return call.Finish(E_FAIL, "normal is null");
    static const char* const kAxis[3] = {"x", "y", "z"};
    for (int a = 0; a < 3; ++a)
      if (!std::isfinite(normal[a])) return call.Finish(E_FAIL, std::string("normal.") + kAxis[a] + " is not a finite number");
    Point3 corners[4];
    for (int i = 0; i < count; ++i) corners[i] = {points[3 * i], points[3 * i + 1], points[3 * i + 2]};
    const std::string why = CheckPlanarPolygon(corners, count);
    if (!why.empty()) return call.Finish(E_FAIL, why);
    if (!body_.faces.Add(corners, count)) return call.Finish(E_OUTOFMEMORY, "the body holds as many faces as it can");
    return call.Finish(S_OK);
  });
}

// Sewing hands the collected faces over to the new body, turned round where
// their winding disagrees with their neighbours': the collector is empty
// afterwards and may collect faces for another body. A body with faces of
// surfaces is sewn within the sewing tolerance, its planar faces with
// them; its surfaces stay with the collector.
STDMETHODIMP BodyObject::CreateBodyFromSurfaces(IHostBody** body) {
  return ComNoThrow([&] {
    CallScope call(host_, Op::BodyCreateBodyFromSurfaces, *this);
    call.Out(body, nullptr);
    if (call.Faulted()) return call.Fault();
    if (!body) return call.Finish(E_POINTER, "body is null");
    if (body_.kind != BodyKind::Collector) return call.Finish(E_FAIL, "only a body from NewBody sews faces");
    if (FaceCount(body_) == 0) return call.Finish(E_FAIL, "the body has no faces to sew");
    bool closed = false;
    std::vector<uint32_t> turn;
    SurfaceFaces sewn;
    if (body_.surfaceFaces.Count() > 0) {
      const std::string why = SewSurfaceFaces(body_, &sewn, &closed);
      if (!why.empty()) return call.Finish(E_FAIL, why);
    } else {
      closed = body_.faces.Sew(&turn);
    }
    document_.bodies.emplace_back();
    Body& made = document_.bodies.back();
    BodyObject* object = nullptr;
    try {
      made.kind = closed ? BodyKind::Solid : BodyKind::Sheet;
      made.name = NewBodyName(document_);
      object = host_.BodyView(document_, made, document_.bodies.size() - 1);
    } catch (...) {
      document_.bodies.pop_back();
      throw;
    }
    if (sewn.Count() > 0) {
      // Its planar faces are among the faces of surfaces now.
      made.surfaceFaces = std::move(sewn);
    } else {
      made.faces = std::move(body_.faces);
      made.faces.Seal();
      made.faces.Turn(turn);
    }
    body_.faces = FaceSet();
    body_.surfaceFaces = SurfaceFaces();
    body_.planarBefore.clear();
    *body = HandOut<IHostBody>(object);
    return call.Finish(S_OK);
  });
}

}  // namespace stand_in
