// The geometry bridge between openNURBS geometry and host documents: a class
// of static functions with one last-error text for the whole process.
#pragma once

#include <afxwin.h>

#include <HostApi.h>

#include "opennurbs.h"

// Appends the triangle to `mesh` unless its corners, in single precision,
// do not make three distinct edges. 1 when appended.
int AppendTriangle(ON_Mesh& mesh, const ON_3dPoint& p1, const ON_3dPoint& p2, const ON_3dPoint& p3);
// Walks a host list item by item; gives nothing back. Always 1.
int WalkHostList(IHostListOwner* owner);

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

  // The surface road. Lengths given to the host are model coordinates times
  // `scale` (metres per model unit); knots, parameter ranges and normals
  // are not scaled. Results are 1 for success and 0 for failure, the
  // failure's text then in s_lastError. Host objects given are borrowed.

  // A host B-spline surface on the body, handed to the caller through
  // `surface` with the host's reference (null on failure).
  static int CreateNurbsSurface(IHostBody* body, IHostSurface** surface, const ON_NurbsSurface& nurbs,
                                double scale);
  // A host plane surface on the body through the plane's origin, along its
  // normal.
  static int CreatePlaneSurface(IHostBody* body, IHostSurface** surface, const ON_PlaneSurface& plane,
                                double scale);
  // All the curves as one trimming loop of the host surface.
  static int AddTrimmingLoops(IHostSurface* surface, const ON_ClassArray<ON_NurbsCurve>& curves, double scale);
  // One face of the body from a plane or NURBS surface: trimmed by the
  // curves when there are any, else bounded by the surface's domain.
  static int CreateTrimmedSurface(IHostBody* body, const ON_Surface& surface,
                                  const ON_ClassArray<ON_NurbsCurve>& curves, double scale);
  // The four side faces and the bottom face under the surface, `depth`
  // model units down: a flat bottom at the surface's lowest Z less the
  // depth, or the surface itself moved down.
  static int CreateBoxedSolidFromSurface(IHostBody* body, const ON_NurbsSurface& surface, double depth,
                                         int flatBottom, double scale);
  // A new body on the part from the surface, closed downwards when the
  // depth is greater than 0.
  static int CreateBodyFromSurface(IHostPartDocument* part, const ON_NurbsSurface& surface, double depth,
                                   int flatBottom, double scale);

  // The document road. A new part from one surface: import mode 0 builds
  // its body (boxed when the depth is greater than 0), 1 its iso-curves in
  // a 3D sketch, any other mode nothing.
  static int CreatePartFromSurface(IHostApplication* host, const ON_NurbsSurface& surface, int unitsCode,
                                   int importMode, double depth, int flatBottom, int showProgress);
  // A new part (document type 0), assembly (1) or drawing (2), or the
  // active document for any other type, with sketch geometry for each kind
  // given (a null pointer: none of that kind).
  static int CreateDocumentWithGeometry(IHostApplication* host, int documentType, int unitsCode,
                                        const ON_3dPointArray* points, const ON_ClassArray<ON_NurbsCurve>* curves,
                                        const ON_ClassArray<ON_NurbsSurface>* surfaces,
                                        const ON_ClassArray<ON_Brep>* breps, const ON_ClassArray<ON_Mesh>* meshes,
                                        int showProgress);

  // The mesh read-back: bodies back into meshes (triangles, identical
  // vertices merged, positions as the host gives them), named "%s-%s" and
  // carrying one colour from the material. The document and assembly reads
  // empty the outputs first; the part and component reads append. `names`
  // may be null; when given, name i belongs to mesh i.
  static int GetActiveDocumentMeshes(IHostApplication* host, ON_ClassArray<ON_Mesh>& meshes, CStringArray* names);
  static int GetDocumentMeshes(IHostDocument* document, ON_ClassArray<ON_Mesh>& meshes, CStringArray* names);
  // Always 1.
  static int GetAssemblyMeshes(IHostDocument* document, IHostAssemblyDocument* assembly,
                               ON_ClassArray<ON_Mesh>& meshes, CStringArray* names);
  // The component's meshes placed by its transform, then its children's,
  // depth first. Returns the number of direct children.
  static int GetComponentTreeMeshes(IHostComponent* component, ON_ClassArray<ON_Mesh>& meshes, CStringArray* names);
  static int GetComponentMeshes(IHostComponent* component, ON_ClassArray<ON_Mesh>& meshes, CStringArray* names);
  static int GetPartMeshes(IHostPartDocument* part, ON_ClassArray<ON_Mesh>& meshes, CStringArray* names,
                           VARIANT_BOOL bodyOption);
  // 1 with `mesh` replaced by the body's; 0 with it unchanged.
  static int GetMeshFromBody(IHostBody* body, ON_Mesh& mesh);

  // The curve read-back: a sketch's entities as openNURBS curves, coordinates
  // as the host gives them. No error text is set.
  static int GetSketchLines(IHostSketch* sketch, ON_ClassArray<ON_Line>& lines);
  // Appends to what `arcs` holds.
  static int GetSketchArcs(IHostSketch* sketch, ON_ClassArray<ON_Arc>& arcs);
  static int GetSketchSplines(IHostSketch* sketch, ON_ClassArray<ON_NurbsCurve>& splines);
  static int GetSketchPolylines(IHostSketch* sketch, ON_ClassArray<ON_Polyline>& polylines);
  // Lines, then polylines, splines and arcs, as new curves `curves` owns.
  static int GetSketchCurves(IHostSketch* sketch, ON_CurveArray& curves);

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
  // The 3D-sketch road of a new part: opens the sketch, runs `draw`, then
  // PostSketchStep and closes the sketch. A host without the memory to
  // open or close it fails the road with `outOfMemory`.
  template <class Draw>
  static int DrawInSketch(IHostDocument* document, const wchar_t* outOfMemory, Draw&& draw);
  static int SolidOfCopy(IHostPartDocument* part, const ON_Mesh& mesh, ON_Mesh& copy, double scale,
                         int showProgress);
};
