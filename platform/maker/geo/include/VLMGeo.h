// The maker's geometry library: tests and conversions on openNURBS objects.
#pragma once

#include "opennurbs.h"

class VLMMesh {
 public:
  // Splits every quadrilateral (a, b, c, d) of `mesh` into the triangles
  // (a, b, c) and (a, c, d): the diagonal from the first to the third corner,
  // so the first triangle keeps the quadrilateral's first three corners and
  // their normal. The first triangle takes the quadrilateral's place; with
  // `keepOrder` non-zero the second follows it directly, otherwise it is
  // appended after the last face. Face normals, when present, are copied to
  // the new triangles. `split`, when not null, receives the number of
  // quadrilaterals split. Returns 1; 0 when there is not the memory to split
  // them, the mesh then unchanged.
  static int BreakQuads(ON_Mesh& mesh, int keepOrder, int* split);
};

// Shape tests on curves of any class, through their NURBS form. Each returns
// 1 with the shape in the receiver; 0 for a null, invalid or unconvertible
// curve and for another shape; -1 when the test could not be finished
// (memory ran out, or a valid curve could not be converted), which says
// nothing about the shape. The receiver is untouched unless the answer is 1.
// Nothing is thrown: the answer crosses the library's boundary as an int.
//
// Tolerance: a point counts as on a shape when it lies within 1e-9 of the
// curve's size (the diagonal of the box of its control points), or within
// 1e-13 of its largest coordinate magnitude where that is more (the
// rounding of the coordinates themselves).
class VLMCurve {
 public:
  // A straight segment: every control point of the curve lies on the
  // segment between the curve's start and end, which are farther apart than
  // the tolerance; so every point of the curve does. The receiver gets the
  // start and the end.
  static int IsLine(const ON_Curve* curve, ON_Line& line);
  // An arc or a full circle: the curve runs once, without turning back, along
  // one circle. The curve is sampled at 4 * order points per knot span plus
  // its end (the distance of a NURBS point from a circle and from a plane are
  // polynomials of degree below that on each span, so matching at those
  // points means matching everywhere, to rounding); every sample must be
  // within the tolerance of the circle through its start and two later
  // points, and the samples must turn one way. The receiver's plane has its
  // origin at the centre, its x axis towards the curve's start and its
  // normal such that the curve runs counter-clockwise about it, so the
  // arc's angle interval [0, sweep] runs from the curve's start to its end
  // in the curve's direction; a closed curve gives the full circle [0, 2 pi].
  static int IsArc(const ON_Curve* curve, ON_Arc& arc);
  // A polyline: a curve of degree 1 (lines, polylines, order-2 NURBS). The
  // receiver's points are replaced by its vertices (control points) in
  // order, a vertex equal to the one before it left out; fewer than two
  // different vertices is no polyline.
  static int IsPolyline(const ON_Curve* curve, ON_Polyline& polyline);
};

class VLMNurbsCurve {
 public:
  // Appends points of the curve in order along it: the start, then each
  // non-empty knot span divided into ceil(density) steps of equal parameter
  // (15.0: fifteen steps per span), a point equal to the one before it left
  // out. A closed curve's last point is exactly its first. Returns 1; 0 for
  // an invalid curve, a density that is not finite and above 0, or more
  // points than an array holds or memory allows, `points` then unchanged.
  static int GetPoints(const ON_NurbsCurve& curve, ON_3dPointArray& points, double density);
};

class VLMBrep {
 public:
  // Appends one NURBS curve per edge, in edge order: the edge's 3D curve
  // over the edge's sub-domain, in the curve's direction and on its
  // parameter (ON_Curve::GetNurbForm). Returns 1; 0 when an edge has no
  // curve, its curve cannot be converted or its sub-domain is not inside
  // the curve's domain, or memory runs out, `curves` then unchanged.
  static int GetEdgeCurves(const ON_Brep& brep, ON_ClassArray<ON_NurbsCurve>& curves);
};

class VLMVector {
 public:
  // The angle in radians that turns `a` into `b` about `normal` (right-hand
  // rule), both first projected onto the plane perpendicular to the normal.
  // With `signedRange` 0 it is in [0, 2 pi), otherwise in (-pi, pi]. Exactly
  // opposite vectors give pi. 0 when a vector or a projection is zero or a
  // value not finite.
  static double Angle(const ON_3dVector& a, const ON_3dVector& b, const ON_3dVector& normal, int signedRange);
};
