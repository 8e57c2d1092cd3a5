// The geometry bridge between openNURBS geometry and host documents: a class
// of static functions with one last-error text for the whole process.
#pragma once

#include <afxwin.h>

#include <HostApi.h>

#include "opennurbs.h"

class VLMSWON {
 public:
  VLMSWON() = delete;

  // The mesh road. Results are 1 for success and 0 for failure, the failure's
  // text then in s_lastError.

  // One part for all meshes (multiBody non-zero) or one part per mesh; import
  // mode 0 builds a solid per mesh, 1 lines of one 3D sketch per part, any
  // other mode nothing.
  static int CreatePartFromMeshes(IHostApplication* host, const ON_ClassArray<ON_Mesh>& meshes, int unitsCode,
                                  int importMode, int multiBody, int showProgress);
  static int CreatePartFromMesh(IHostApplication* host, const ON_Mesh& mesh, int unitsCode, int importMode,
                                int showProgress);
  // One body of the part, one planar face per mesh face.
  static int CreateSolidFromMesh(IHostPartDocument* part, const ON_Mesh& mesh, double scale, int showProgress);
  // One line per mesh edge into the document's open 3D sketch; builds the
  // mesh's topology on first use.
  static int CreateSketchFromMesh(IHostDocument* document, const ON_Mesh& mesh, double scale, int showProgress);
  static int CreateSketchFromMeshes(IHostDocument* document, const ON_ClassArray<ON_Mesh>& meshes, double scale,
                                    int showProgress);

  // Sketch geometry from points and curves, into the document's open sketch
  // (the caller opens and closes it). Coordinates and lengths reach the host
  // multiplied by `scale`; knots, directions and counts as they are. None of
  // these touches s_lastError.

  // The host's code for the point, unchanged: S_OK when it was added.
  static HRESULT CreateSketchPoint(IHostDocument* document, const ON_3dPoint& point, double scale);
  // The functions below answer 1 for success and 0 for failure.
  static int CreateSketchLine(IHostDocument* document, const ON_Line& line, double scale);
  // Every point in order, under the progress "Creating points"; 1, or 0
  // when memory runs out before the first.
  static int CreateSketchPoints(IHostDocument* document, const ON_3dPointArray& points, double scale,
                                int showProgress);
  // One line per segment, not closed back to the first point; stops at the
  // first line the host refuses.
  static int CreateSketchPolyline(IHostDocument* document, const ON_Polyline& polyline, double scale);
  static int CreateSketchSplineThroughPoints(IHostDocument* document, const ON_3dPointArray& points, double scale);
  // A closed curve as a spline through points sampled along it, an open one
  // from its knots and Euclidean control points (no weights). A curve
  // without a knot form (order below 2, fewer control points than its
  // order) answers 0 without a host call.
  static int CreateSketchSpline(IHostDocument* document, const ON_NurbsCurve& curve, double scale);
  // A circle or arc of the world XY plane as the host's circle or arc, any
  // other as a spline.
  static int CreateSketchArc(IHostDocument* document, const ON_Arc& arc, double scale);
  // Each curve as a line, arc, polyline or spline, the first shape test that
  // accepts it deciding, under the progress "Creating curves". A curve that
  // fails is skipped; 1, or 0 when memory runs out before the first.
  static int CreateSketchCurves(IHostDocument* document, const ON_ClassArray<ON_NurbsCurve>& curves, double scale,
                                int showProgress);

  // Sketch curves of surfaces and breps, drawn through CreateSketchCurves.
  // The iso-curves in both directions, at the domain's start and steps of
  // its length over the control-point count, and at its end; a value
  // without an iso-curve is skipped.
  static int CreateSurfaceCurves(IHostDocument* document, const ON_NurbsSurface& surface, double scale,
                                 int showProgress);
  // Under the progress "Creating surface curves" alone; 0 at the first
  // surface that fails.
  static int CreateSketchFromSurfaces(IHostDocument* document, const ON_ClassArray<ON_NurbsSurface>& surfaces,
                                      double scale, int showProgress);
  // The brep's edge curves.
  static int CreateBrepCurves(IHostDocument* document, const ON_Brep& brep, double scale, int showProgress);
  // Under the progress "Creating brep curves" alone; 0 at the first brep
  // that fails.
  static int CreateSketchFromBreps(IHostDocument* document, const ON_ClassArray<ON_Brep>& breps, double scale,
                                   int showProgress);

  static CString GetError();
  static void SetError(const CString& text);

  static CString s_lastError;

 private:
  // Sets the text even when memory has run out (then to a short text kept
  // aside for that), so that a failure never goes without one.
  static void SetErrorNoThrow(const wchar_t* text) noexcept;
  // Makes the text kept aside again after it was used.
  static void KeepOutOfMemoryText() noexcept;
  // Runs one step of the road: an exception (out of memory above all)
  // becomes the result 0 with `outOfMemory` (or an unexpected failure's
  // text) as the error, rather than leaving the bridge.
  template <class Step>
  static int Guarded(const wchar_t* outOfMemory, Step&& step) noexcept;
  static int SolidOfCopy(IHostPartDocument* part, const ON_Mesh& mesh, ON_Mesh& copy, double scale,
                         int showProgress);
};
