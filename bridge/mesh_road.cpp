// The mesh road: openNURBS meshes into part documents, as solids (one planar
// face per mesh face) or as 3D-sketch lines (one line per mesh edge).

#include <atlbase.h>

#include <new>

#include "HostUtils.h"
#include "VLMGUI.h"
#include "VLMGeo.h"
#include "VLMSWON.h"
#include "document_steps.h"
#include "roads.h"

namespace {

using bridge_steps::FinishDocument;
using bridge_steps::NewPart;
using bridge_steps::ToggleSketch;

const wchar_t kPartOutOfMemory[] = L"Out of memory while creating the part";
const wchar_t kSolidOutOfMemory[] = L"Out of memory while creating the solid body of a mesh";
const wchar_t kSketchOutOfMemory[] = L"Out of memory while creating the 3D-sketch lines of a mesh";
const wchar_t kEdgesOutOfMemory[] = L"Out of memory while finding the edges of a mesh";

// A face that names a vertex the mesh does not have would make the road read
// past the vertex list; such a mesh is refused whole, before the host sees it.
bool CheckMeshIndexes(const ON_Mesh& mesh) {
  const int vertexCount = mesh.m_V.Count();
  const int faceCount = mesh.m_F.Count();
  for (int fi = 0; fi < faceCount; ++fi) {
    const ON_MeshFace& f = mesh.m_F[fi];
    for (int k = 0; k < 4; ++k) {
      if (f.vi[k] < 0 || f.vi[k] >= vertexCount) {
        CString text;
        text.Format(L"Invalid mesh: face %d names vertex %d, but the mesh has %d vertices", fi, f.vi[k],
                    vertexCount);
        VLMSWON::SetError(text);
        return false;
      }
    }
  }
  return true;
}

ON_3dPoint Vertex(const ON_Mesh& mesh, int index) { return ON_3dPoint(mesh.m_V[index]); }

// The document calls that precede geometry in a new part; gives the scale.
// False when the host had not the memory to set the unit.
bool PrepareDocument(IHostDocument* document, int unitsCode, double* scale) {
  document->PreGeometrySettingA(1);
  document->PreGeometrySettingB(0);
  *scale = 1.0;
  return SetDocumentUnits(document, unitsCode, scale) != 0;
}

}  // namespace

// The solid of a mesh through a copy whose quadrilaterals are split; the
// indexes are checked first, so that a fault names the caller's face.
int VLMSWON::SolidOfCopy(IHostPartDocument* part, const ON_Mesh& mesh, ON_Mesh& copy, double scale,
                         int showProgress) {
  if (!CheckMeshIndexes(mesh)) return 0;
  copy = mesh;
  if (!VLMMesh::BreakQuads(copy, 1, nullptr)) {
    SetError(kSolidOutOfMemory);
    return 0;
  }
  return CreateSolidFromMesh(part, copy, scale, showProgress);
}

int VLMSWON::CreatePartFromMeshes(IHostApplication* host, const ON_ClassArray<ON_Mesh>& meshes, int unitsCode,
                                  int importMode, int multiBody, int showProgress) {
  if (!multiBody) {
    for (int i = 0; i < meshes.Count(); ++i)
      if (!CreatePartFromMesh(host, meshes[i], unitsCode, importMode, showProgress)) return 0;
    return 1;
  }

  return Guarded(kPartOutOfMemory, [&] {
    // Declared in this order, the document is released before the part.
    CComPtr<IHostPartDocument> part;
    CComPtr<IHostDocument> document;
    if (!NewPart(host, L"Unable to create part", part, document)) return 0;

    double scale = 1.0;
    int result = 1;
    if (!PrepareDocument(document, unitsCode, &scale)) {
      SetErrorNoThrow(kPartOutOfMemory);
      result = 0;
    }
    bool sketchOpened = false;
    if (result && importMode == 1) {
      // A sketch the host could not open would lose every line quietly.
      if (!ToggleSketch(document)) {
        SetErrorNoThrow(kSketchOutOfMemory);
        result = 0;
      } else {
        sketchOpened = true;
      }
    }

    ON_Mesh scratch;  // one copy for the whole call, overwritten per mesh
    for (int i = 0; i < meshes.Count() && result; ++i) {
      if (importMode == 0)
        result = Guarded(kSolidOutOfMemory, [&] { return SolidOfCopy(part, meshes[i], scratch, scale, showProgress); });
      else if (importMode == 1)
        result = CreateSketchFromMesh(document, meshes[i], scale, showProgress);
    }
    scratch.Destroy();

    if (sketchOpened) {
      document->PostSketchStep();
      if (!ToggleSketch(document) && result) {
        SetErrorNoThrow(kSketchOutOfMemory);
        result = 0;
      }
    }
    FinishDocument(document);
    return result;
  });
}

int VLMSWON::CreatePartFromMesh(IHostApplication* host, const ON_Mesh& mesh, int unitsCode, int importMode,
                                int showProgress) {
  return Guarded(kPartOutOfMemory, [&] {
    CComPtr<IHostPartDocument> part;  // released after the document
    CComPtr<IHostDocument> document;
    if (!NewPart(host, L"Unable to create new part", part, document)) return 0;

    double scale = 1.0;
    int result = 1;
    if (!PrepareDocument(document, unitsCode, &scale)) {
      SetErrorNoThrow(kPartOutOfMemory);
      result = 0;
    } else if (importMode == 0) {
      ON_Mesh copy;
      result = Guarded(kSolidOutOfMemory, [&] { return SolidOfCopy(part, mesh, copy, scale, showProgress); });
    } else if (importMode == 1) {
      result = DrawInSketch(document, kSketchOutOfMemory,
                            [&] { return CreateSketchFromMesh(document, mesh, scale, showProgress); });
    }

    FinishDocument(document);
    return result;
  });
}

int VLMSWON::CreateSolidFromMesh(IHostPartDocument* part, const ON_Mesh& mesh, double scale, int showProgress) {
  return Guarded(kSolidOutOfMemory, [&] {
    if (!CheckMeshIndexes(mesh)) return 0;

    CComPtr<IHostBody> body;
    HRESULT hr = part->NewBody(&body);
    if (hr != S_OK || !body) {
      SetError(L"Unable to create new body");
      return 0;
    }

    bridge::ProgressRun progress(L"Creating solid", showProgress);
    progress.Start(mesh.m_F.Count());

    double points[12];
    for (int i = 0; i < mesh.m_F.Count(); ++i) {
      progress.Step();
      const ON_MeshFace& face = mesh.m_F[i];
      const ON_3dPoint corners[4] = {Vertex(mesh, face.vi[0]), Vertex(mesh, face.vi[1]), Vertex(mesh, face.vi[2]),
                                     Vertex(mesh, face.vi[3])};
      // The normal comes from the unscaled corners; the zero vector when they
      // are degenerate, and a quadrilateral takes that of its first three.
      ON_3dVector normal;
      normal.PerpendicularTo(corners[0], corners[1], corners[2]);
      const int count = face.vi[2] != face.vi[3] ? 4 : 3;
      for (int k = 0; k < count; ++k) {
        points[3 * k + 0] = corners[k].x * scale;
        points[3 * k + 1] = corners[k].y * scale;
        points[3 * k + 2] = corners[k].z * scale;
      }
      const double n[3] = {normal.x, normal.y, normal.z};
      // A face the host refuses is skipped; one it had not the memory for
      // would leave a body with a hole passed off as whole.
      if (body->CreatePlanarFace(count, points, n) == E_OUTOFMEMORY) {
        SetError(kSolidOutOfMemory);
        progress.End();
        return 0;
      }
    }

    int result = 1;
    progress.Status(L"Creating body from surfaces. This may take several minutes...");
    CComPtr<IHostBody> sewn;
    hr = body->CreateBodyFromSurfaces(&sewn);
    // A host that reports success without a body has made none.
    if (hr != S_OK || !sewn) {
      SetError(L"Unable to create body from surfaces");
      result = 0;
    }
    sewn.Release();
    progress.End();
    body.Release();
    return result;
  });
}

int VLMSWON::CreateSketchFromMesh(IHostDocument* document, const ON_Mesh& mesh, double scale, int showProgress) {
  return Guarded(kSketchOutOfMemory, [&] {
    if (!CheckMeshIndexes(mesh)) return 0;

    bridge::ProgressRun progress(L"Creating mesh", showProgress);
    const ON_MeshTopology& top = mesh.Topology();
    if (top.m_mesh != &mesh) {  // not built: no edges to draw is not a success
      SetError(kEdgesOutOfMemory);
      return 0;
    }
    progress.Start(top.m_tope.Count());
    for (int e = 0; e < top.m_tope.Count(); ++e) {
      progress.Step();
      const ON_MeshTopologyEdge& edge = top.m_tope[e];
      const ON_3dPoint a = Vertex(mesh, top.m_topv[edge.m_topvi[0]].m_vi[0]);
      const ON_3dPoint b = Vertex(mesh, top.m_topv[edge.m_topvi[1]].m_vi[0]);
      CComPtr<IUnknown> segment;
      // A line the host refuses is skipped; one it had not the memory for
      // would leave a sketch with a gap passed off as whole.
      if (document->CreateSketchLine(a.x * scale, a.y * scale, a.z * scale, b.x * scale, b.y * scale, b.z * scale,
                                     &segment) == E_OUTOFMEMORY) {
        SetError(kSketchOutOfMemory);
        progress.End();
        return 0;
      }
    }
    progress.End();
    return 1;
  });
}

int VLMSWON::CreateSketchFromMeshes(IHostDocument* document, const ON_ClassArray<ON_Mesh>& meshes, double scale,
                                    int showProgress) {
  return Guarded(kSketchOutOfMemory, [&] {
    return bridge::EachItem(L"Creating meshes", meshes.Count(), showProgress,
                            [&](int i) { return CreateSketchFromMesh(document, meshes[i], scale, 0); });
  });
}
