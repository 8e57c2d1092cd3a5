// The mesh read-back: the bodies of parts and assemblies back into openNURBS
// meshes, one per body, in metres as the host gives them, named and coloured
// from the host's materials. A read ends whole or fails: running out of
// memory, the host's included, fails the read it happens in.

#include <atlbase.h>

#include <new>
#include <vector>

#include "VLMSWON.h"
#include "document_steps.h"
#include "mesh_read_back.h"
#include "roads.h"

namespace {

using bridge::HostChecked;  // on every host call of a read

const wchar_t kReadOutOfMemory[] = L"Out of memory while reading the meshes of a document";

// A material value times 255, truncated toward zero. Values far outside 0..1
// (or not numbers) are clamped first, so that the conversion is defined;
// SetRGBA clamps the rest.
int Channel(double value) {
  const double scaled = value * 255.0;
  if (!(scaled > -1.0)) return -1;  // NaN too
  if (scaled >= 256.0) return 256;
  return static_cast<int>(scaled);
}

// Red, green, blue at 0, 1, 2 and the transparency at 7.
ON_Color ColourOf(const double* values) {
  ON_Color colour;
  colour.SetRGBA(Channel(values[0]), Channel(values[1]), Channel(values[2]), Channel(1.0 - values[7]));
  return colour;
}

// White with alpha 0: what a mesh carries when no material can be read.
ON_Color NoMaterial() { return ON_Color(255, 255, 255); }

CString TextOf(BSTR text) { return text ? CString(text) : CString(); }

// The title cut before its last '.', which drops a file extension; a title
// without one is the name whole.
CString PartNameOf(const CString& title) {
  const int dot = title.ReverseFind(L'.');
  return dot < 0 ? title : title.Left(dot);
}

CString Joined(const CString& first, const CString& second) {
  CString name;
  name.Format(L"%s-%s", static_cast<const wchar_t*>(first), static_cast<const wchar_t*>(second));
  return name;
}

// Appends a copy of the mesh and, when names are wanted, its name: both or
// neither, so that name i stays the name of mesh i.
void AppendNamed(ON_ClassArray<ON_Mesh>& meshes, CStringArray* names, const ON_Mesh& mesh, const CString& name) {
  meshes.Append(mesh);
  if (!names) return;
  try {
    names->Add(name);
  } catch (...) {
    meshes.Remove();
    throw;
  }
}

void EmptyOutputs(ON_ClassArray<ON_Mesh>& meshes, CStringArray* names) {
  meshes.Destroy();
  if (names) names->RemoveAll();
}

}  // namespace

int AppendTriangle(ON_Mesh& mesh, const ON_3dPoint& p1, const ON_3dPoint& p2, const ON_3dPoint& p3) {
  ON_Mesh triangle(1, 3, false, false);
  if (!triangle.SetVertex(0, p1) || !triangle.SetVertex(1, p2) || !triangle.SetVertex(2, p3) ||
      !triangle.SetTriangle(0, 0, 1, 2))
    return 0;
  // Corners equal in single precision leave fewer than three edges, or an
  // edge from a point to itself: such a triangle is not appended.
  if (!triangle.Topology().IsValid()) return 0;
  return mesh.Append(triangle) ? 1 : 0;
}

int WalkHostList(IHostListOwner* owner) {
  try {
    CComPtr<IHostListItem> item;
    owner->FirstItem(&item);
    while (item) {
      CComPtr<IHostAttachedObject> attached;
      item->AttachedObject(&attached);
      CComPtr<IHostInnerObject> inner;
      if (attached) attached->InnerObject(&inner);
      LONG count = 0;
      if (inner) inner->ItemCount(&count);
      if (count > 0) {
        CComPtr<IUnknown> extra;
        item->ExtraObject(&extra);
      }
      CComPtr<IHostListItem> next;
      item->NextItem(&next);
      item = next;
    }
  } catch (...) {
  }
  return 1;
}

namespace {

// Takes back what a read appended when it does not finish (out of memory), so
// that the caller never holds part of a read passed off as the whole.
class Rollback {
 public:
  Rollback(ON_ClassArray<ON_Mesh>& meshes, CStringArray* names)
      : meshes_(meshes), names_(names), meshCount_(meshes.Count()), nameCount_(names ? names->GetSize() : 0) {}
  ~Rollback() {
    if (kept_) return;
    while (meshes_.Count() > meshCount_) meshes_.Remove();
    if (names_) names_->SetSize(nameCount_);
  }
  Rollback(const Rollback&) = delete;
  Rollback& operator=(const Rollback&) = delete;
  void Keep() { kept_ = true; }

 private:
  ON_ClassArray<ON_Mesh>& meshes_;
  CStringArray* names_;
  int meshCount_, nameCount_;
  bool kept_ = false;
};

// The reads below let std::bad_alloc through to the entry that was called,
// which answers for the whole read.

// The triangles of one face, each appended as AppendTriangle appends it (three
// vertices of its own and a face over them) or refused as it refuses it, but
// without a one-triangle mesh and its topology for each: corners widened to
// double and back are the same floats.
void AppendTriangles(ON_Mesh& mesh, const float* t, LONG count) {
  for (LONG j = 0; j < count; ++j, t += 9) {
    const ON_3fPoint corners[3] = {ON_3fPoint(t), ON_3fPoint(t + 3), ON_3fPoint(t + 6)};
    if (!bridge::IsProperTriangle(corners[0], corners[1], corners[2])) continue;
    const int v = mesh.m_V.Count();
    mesh.m_V.Append(3, corners);
    ON_MeshFace& face = mesh.m_F.AppendNew();
    face.vi[0] = v;
    face.vi[1] = v + 1;
    face.vi[2] = face.vi[3] = v + 2;
  }
}

bool MeshFromBody(IHostBody* body, ON_Mesh& mesh) {
  CComPtr<IHostFace> face;
  if (HostChecked(body->FirstFace(&face)) != S_OK || !face) {
    VLMSWON::SetError(L"Unable to get first face of body");
    return false;
  }
  ON_Mesh working;
  std::vector<float> triangles;  // one face's, reused
  while (face) {
    LONG count = 0;
    if (HostChecked(face->TriangleCount(&count)) == S_OK && count > 0) {
      triangles.assign(9 * static_cast<size_t>(count), 0.0f);
      if (HostChecked(face->TriangleData(0, triangles.data())) == S_OK)
        AppendTriangles(working, triangles.data(), count);
    }
    CComPtr<IHostFace> next;
    HostChecked(face->NextFace(&next));
    face = next;
  }
  if (!working.CombineIdenticalVertices(true, true)) {
    // False both when nothing was merged and when memory ran out, the mesh
    // as it was either way. Its topology tells them apart: fewer places
    // than vertices were left unmerged, and a topology that could not be
    // built (out of memory too) has no places at all.
    if (working.Topology().TopVertexCount() != working.VertexCount()) throw std::bad_alloc();
    working.DestroyTopology();
  }
  if (!working.IsValid()) {
    VLMSWON::SetError(L"[VLMSWON::GetMeshFromBody] Invalid mesh");
    return false;
  }
  mesh = std::move(working);
  return true;
}

// The meshes of the bodies an enumerator lists, in its order; `named` makes
// each one's name from the body's. Whether any mesh was appended.
template <class Named>
bool ReadBodies(IHostBodyEnumerator* bodies, ON_Mesh& working, ON_ClassArray<ON_Mesh>& meshes, CStringArray* names,
                const ON_Color* colour, Named&& named) {
  bool any = false;
  for (;;) {
    CComPtr<IHostBody> body;
    if (HostChecked(bodies->Next(1, &body, nullptr)) != S_OK) break;
    if (!body || !MeshFromBody(body, working)) continue;
    if (colour) working.m_C.Append(*colour);
    CString name;
    if (names) {
      CComBSTR bodyName;
      HostChecked(body->Name(&bodyName));
      name = named(TextOf(bodyName));
    }
    AppendNamed(meshes, names, working, name);
    any = true;
  }
  return any;
}

bool PartMeshes(IHostPartDocument* part, ON_ClassArray<ON_Mesh>& meshes, CStringArray* names,
                VARIANT_BOOL bodyOption) {
  CString partName = L"Part";
  CComPtr<IHostDocument> document;
  if (HostChecked(part->QueryInterface(__uuidof(IHostDocument), reinterpret_cast<void**>(&document))) == S_OK &&
      document) {
    CComBSTR title;
    HostChecked(document->Title(&title));
    partName = PartNameOf(TextOf(title));
  }
  document.Release();

  ON_Color colour = NoMaterial();
  double values[kHostMaterialValues] = {};
  if (HostChecked(part->MaterialValues(values)) == S_OK) colour = ColourOf(values);

  ON_Mesh working;
  bool any = false;
  for (LONG kind : {LONG{hostSolidBody}, LONG{hostSheetBody}}) {
    CComPtr<IHostBodyEnumerator> bodies;
    if (HostChecked(part->BodyEnumerator(kind, bodyOption, &bodies)) != S_OK || !bodies) continue;
    if (ReadBodies(bodies, working, meshes, names, &colour,
                   [&](const CString& body) { return Joined(partName, body); }))
      any = true;
  }
  if (!any) VLMSWON::SetError(L"Unable to get part bodies");
  return any;
}

bool ComponentMeshes(IHostComponent* component, ON_ClassArray<ON_Mesh>& meshes, CStringArray* names) {
  CString componentName = L"Component";
  CComBSTR text;
  if (HostChecked(component->Name(&text)) == S_OK) componentName = TextOf(text);

  ON_Mesh working;
  bool any = false;
  for (LONG kind : {LONG{hostSolidBody}, LONG{hostSheetBody}}) {
    CComPtr<IHostBodyEnumerator> bodies;
    if (HostChecked(component->BodyEnumerator(kind, &bodies)) != S_OK || !bodies) continue;
    if (ReadBodies(bodies, working, meshes, names, nullptr,
                   [&](const CString& body) { return Joined(componentName, body); }))
      any = true;
  }
  if (!any) VLMSWON::SetError(L"Unable to get component bodies");
  return any;
}

// Rows t0 t3 t6 t9 / t1 t4 t7 t10 / t2 t5 t8 t11 / 0 0 0 1: the rotation
// column by column and the translation, both as the host gives them. The
// vertices come in metres, so the translation stays in metres too, whatever
// the unit of the component's document.
ON_Xform PlacementOf(const double* t) {
  ON_Xform xform(1);
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 3; ++c) xform.m_xform[r][c] = t[3 * c + r];
    xform.m_xform[r][3] = t[9 + r];
  }
  return xform;
}

// Releases what is left in an array of child components when it goes.
struct ReleaseLeft {
  std::vector<IHostComponent*>& children;
  ~ReleaseLeft() {
    for (IHostComponent* child : children)
      if (child) child->Release();
  }
};

// The component's own meshes, then its children's, depth first. `children`
// receives the child count the host reported.
void ComponentTree(IHostComponent* component, ON_ClassArray<ON_Mesh>& meshes, CStringArray* names,
                   LONG* children) {
  *children = 0;
  CString name;
  {
    CComBSTR text;
    HostChecked(component->Name(&text));
    name = TextOf(text);
  }

  ON_ClassArray<ON_Mesh> own;
  CStringArray ownNames;
  if (ComponentMeshes(component, own, &ownNames)) {
    CComPtr<IHostDocument> document;
    HostChecked(component->Document(&document));
    // Asked as ever, but the meshes stay in metres (see PlacementOf).
    LONG unit = hostINCHES;
    if (document) HostChecked(document->GetLengthUnit(&unit));

    double t[kHostTransformValues] = {};
    HostChecked(component->TransformValues(t));
    const ON_Xform xform = PlacementOf(t);

    ON_Color colour = NoMaterial();
    double values[kHostMaterialValues] = {};
    if (HostChecked(component->MaterialValues(values)) == S_OK) {
      colour = ColourOf(values);
    } else if (document) {
      CComPtr<IHostPartDocument> part;
      if (HostChecked(document->QueryInterface(__uuidof(IHostPartDocument), reinterpret_cast<void**>(&part))) == S_OK &&
          part && HostChecked(part->MaterialValues(values)) == S_OK)
        colour = ColourOf(values);
    }
    document.Release();

    for (int i = 0; i < own.Count(); ++i) {
      own[i].Transform(xform);
      own[i].m_C.Append(colour);
      AppendNamed(meshes, names, own[i], own.Count() == 1 ? name : ownNames[i]);
    }
  }

  LONG count = 0;
  if (HostChecked(component->ChildCount(&count)) != S_OK || count <= 0) return;
  *children = count;
  std::vector<IHostComponent*> array(static_cast<size_t>(count), nullptr);
  // Each child is released once its subtree is read; what the host put in
  // the array is released all the same when it then reports a failure, or
  // when the read runs out of memory.
  ReleaseLeft left{array};
  if (HostChecked(component->Children(array.data())) != S_OK) return;
  for (IHostComponent*& child : array) {
    if (!child) continue;
    LONG grandchildren = 0;
    ComponentTree(child, meshes, names, &grandchildren);
    child->Release();
    child = nullptr;
  }
}

void AssemblyMeshes(IHostDocument* document, IHostAssemblyDocument* assembly, ON_ClassArray<ON_Mesh>& meshes,
                    CStringArray* names) {
  EmptyOutputs(meshes, names);
  LONG status = 0;
  HostChecked(assembly->PreReadStep(0, &status));
  CComPtr<IHostConfiguration> configuration;
  if (HostChecked(document->ActiveConfiguration(&configuration)) != S_OK || !configuration) return;
  CComPtr<IHostComponent> root;
  if (HostChecked(configuration->RootComponent(&root)) != S_OK || !root) return;
  LONG children = 0;
  ComponentTree(root, meshes, names, &children);
}

bool DocumentMeshes(IHostDocument* document, ON_ClassArray<ON_Mesh>& meshes, CStringArray* names) {
  EmptyOutputs(meshes, names);
  CComPtr<IHostPartDocument> part;
  if (HostChecked(document->QueryInterface(__uuidof(IHostPartDocument), reinterpret_cast<void**>(&part))) == S_OK &&
      part) {
    PartMeshes(part, meshes, names, VARIANT_TRUE);
  } else {
    part.Release();
    CComPtr<IHostAssemblyDocument> assembly;
    if (HostChecked(document->QueryInterface(__uuidof(IHostAssemblyDocument), reinterpret_cast<void**>(&assembly))) ==
            S_OK &&
        assembly)
      AssemblyMeshes(document, assembly, meshes, names);
  }
  if (meshes.Count() == 0) {
    VLMSWON::SetError(L"Unable to extract meshes from document");
    return false;
  }
  return true;
}

}  // namespace

int VLMSWON::GetMeshFromBody(IHostBody* body, ON_Mesh& mesh) {
  return Guarded(kReadOutOfMemory, [&] { return MeshFromBody(body, mesh) ? 1 : 0; });
}

int VLMSWON::GetPartMeshes(IHostPartDocument* part, ON_ClassArray<ON_Mesh>& meshes, CStringArray* names,
                           VARIANT_BOOL bodyOption) {
  Rollback rollback(meshes, names);
  return Guarded(kReadOutOfMemory, [&] {
    const bool any = PartMeshes(part, meshes, names, bodyOption);
    rollback.Keep();
    return any ? 1 : 0;
  });
}

int VLMSWON::GetComponentMeshes(IHostComponent* component, ON_ClassArray<ON_Mesh>& meshes, CStringArray* names) {
  Rollback rollback(meshes, names);
  return Guarded(kReadOutOfMemory, [&] {
    const bool any = ComponentMeshes(component, meshes, names);
    rollback.Keep();
    return any ? 1 : 0;
  });
}

int VLMSWON::GetComponentTreeMeshes(IHostComponent* component, ON_ClassArray<ON_Mesh>& meshes, CStringArray* names) {
  LONG children = 0;
  Rollback rollback(meshes, names);
  Guarded(kReadOutOfMemory, [&] {
    ComponentTree(component, meshes, names, &children);
    rollback.Keep();
    return 1;
  });
  return static_cast<int>(children);
}

int VLMSWON::GetAssemblyMeshes(IHostDocument* document, IHostAssemblyDocument* assembly,
                               ON_ClassArray<ON_Mesh>& meshes, CStringArray* names) {
  if (!Guarded(kReadOutOfMemory, [&] {
        AssemblyMeshes(document, assembly, meshes, names);
        return 1;
      }))
    EmptyOutputs(meshes, names);
  return 1;
}

int VLMSWON::GetDocumentMeshes(IHostDocument* document, ON_ClassArray<ON_Mesh>& meshes, CStringArray* names) {
  const int result = Guarded(kReadOutOfMemory, [&] { return DocumentMeshes(document, meshes, names) ? 1 : 0; });
  if (!result) EmptyOutputs(meshes, names);
  return result;
}

int VLMSWON::GetActiveDocumentMeshes(IHostApplication* host, ON_ClassArray<ON_Mesh>& meshes, CStringArray* names) {
  bool reading = false;  // the outputs untouched until then
  const int result = Guarded(kReadOutOfMemory, [&] {
    CComPtr<IHostDocument> document;
    HostChecked(host->ActiveModel(&document));
    if (!document) {
      SetError(L"Unable to retrieve active model");
      return 0;
    }
    reading = true;
    return DocumentMeshes(document, meshes, names) ? 1 : 0;
  });
  if (!result && reading) EmptyOutputs(meshes, names);
  return result;
}
