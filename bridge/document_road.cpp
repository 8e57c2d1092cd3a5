// The document road: new parts, assemblies and drawings (or the active
// document) filled from openNURBS geometry, as the mesh road fills a part
// from meshes, each entry with its own order of document calls.

#include <atlbase.h>

#include "HostUtils.h"
#include "VLMSWON.h"
#include "document_steps.h"
#include "nurbs_arrays.h"

namespace {

using bridge_steps::FinishDocument;
using bridge_steps::ToggleSketch;

const wchar_t kPartOutOfMemory[] = L"Out of memory while creating the part of a surface";
const wchar_t kDocumentOutOfMemory[] = L"Out of memory while creating the document";

// Why iso-curves could not be drawn: the first surface whose data are not
// whole (by its index when `list`), else memory ran out.
CString IsoCurvesFailure(const ON_NurbsSurface* surfaces, int count, bool list, const wchar_t* outOfMemory) {
  CString why, text;
  for (int i = 0; i < count; ++i) {
    if (bridge_nurbs::HasWholeData(surfaces[i], &why)) continue;
    if (list)
      text.Format(L"Unable to draw the iso-curves of surface %d: %s", i, why.GetString());
    else
      text.Format(L"Unable to draw the iso-curves of the surface: %s", why.GetString());
    return text;
  }
  return outOfMemory;
}

}  // namespace

int VLMSWON::CreatePartFromSurface(IHostApplication* host, const ON_NurbsSurface& surface, int unitsCode,
                                   int importMode, double depth, int flatBottom, int showProgress) {
  return Guarded(kPartOutOfMemory, [&] {
    CComPtr<IHostPartDocument> part;  // released after the document
    CComPtr<IHostDocument> document;
    if (!bridge_steps::NewPart(host, L"Unable to create part", part, document)) return 0;

    document->PreGeometrySettingA(1);
    double scale = 1.0;
    int result = 1;
    if (!SetDocumentUnits(document, unitsCode, &scale)) {
      SetErrorNoThrow(kPartOutOfMemory);
      result = 0;
    } else if (importMode == 0) {
      result = CreateBodyFromSurface(part, surface, depth, flatBottom, scale);
    } else if (importMode == 1) {
      result = DrawInSketch(document, kPartOutOfMemory, [&] {
        document->PreGeometrySettingB(0);
        // Fails, and says nothing, for a surface whose data are not whole
        // and when memory runs out.
        if (CreateSurfaceCurves(document, surface, scale, showProgress)) return 1;
        SetErrorNoThrow(IsoCurvesFailure(&surface, 1, false,
                                         L"Out of memory while drawing the iso-curves of the surface"));
        return 0;
      });
    }
    FinishDocument(document);
    return result;
  });
}

int VLMSWON::CreateDocumentWithGeometry(IHostApplication* host, int documentType, int unitsCode,
                                        const ON_3dPointArray* points, const ON_ClassArray<ON_NurbsCurve>* curves,
                                        const ON_ClassArray<ON_NurbsSurface>* surfaces,
                                        const ON_ClassArray<ON_Brep>* breps, const ON_ClassArray<ON_Mesh>* meshes,
                                        int showProgress) {
  return Guarded(kDocumentOutOfMemory, [&] {
    // One of the three is made (none for the active document); all are
    // released after the document.
    CComPtr<IHostPartDocument> part;
    CComPtr<IHostAssemblyDocument> assembly;
    CComPtr<IHostDrawingDocument> drawing;
    CComPtr<IHostDocument> document;
    if (documentType == 0) {
      host->NewPartDocument(&part);
      if (!part) {
        SetError(L"Unable to create part");
        return 0;
      }
    } else if (documentType == 1) {
      host->NewAssemblyDocument(&assembly);
      if (!assembly) {
        SetError(L"Unable to create assembly");
        return 0;
      }
    } else if (documentType == 2) {
      host->NewDrawingDocument(11, nullptr, 11, 0.0, 0.0, &drawing);
      if (!drawing) {
        SetError(L"Unable to create drawing");
        return 0;
      }
    }
    if (!bridge_steps::TakeActiveDocument(host, document)) return 0;

    // Parts and assemblies take the geometry in a 3D sketch; a drawing or
    // the active document wherever the host puts sketch entities in it.
    const bool inSketch = documentType == 0 || documentType == 1;
    document->PreGeometrySettingA(1);
    double scale = 1.0;
    int result = 1;
    bool sketchOpened = false;
    if (!SetDocumentUnits(document, unitsCode, &scale)) {
      SetErrorNoThrow(kDocumentOutOfMemory);
      result = 0;
    } else if (inSketch) {
      sketchOpened = ToggleSketch(document);
      if (!sketchOpened) {
        SetErrorNoThrow(kDocumentOutOfMemory);
        result = 0;
      }
    }
    document->PreGeometrySettingB(0);
    if (result) {
      // Every kind is built whatever the others gave. The sketch functions
      // fail only when memory runs out, and say nothing; the meshes' also
      // on a mesh they refuse, with their own text. Either way the
      // document is not passed off as whole.
      const auto failed = [&](const wchar_t* text) {
        if (text) SetErrorNoThrow(text);
        result = 0;
      };
      if (points && !CreateSketchPoints(document, *points, scale, showProgress))
        failed(L"Out of memory while drawing the points");
      if (curves && !CreateSketchCurves(document, *curves, scale, showProgress))
        failed(L"Out of memory while drawing the curves");
      if (surfaces && !CreateSketchFromSurfaces(document, *surfaces, scale, showProgress))
        failed(IsoCurvesFailure(surfaces->Array(), surfaces->Count(), true,
                                L"Out of memory while drawing the iso-curves of the surfaces"));
      if (breps && !CreateSketchFromBreps(document, *breps, scale, showProgress))
        failed(L"Out of memory while drawing the edges of the breps");
      if (meshes && !CreateSketchFromMeshes(document, *meshes, scale, showProgress)) failed(nullptr);
    }
    document->PostGeometryStepA();
    document->PostSketchStep();
    if (sketchOpened && !ToggleSketch(document) && result) {
      SetErrorNoThrow(kDocumentOutOfMemory);
      result = 0;
    }
    return result;
  });
}
