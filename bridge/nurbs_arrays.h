// NURBS data in the form the host takes it: whole knot vectors, and control
// points as Euclidean points in metres, x, y, z each.
#pragma once

#include "opennurbs.h"

namespace bridge_nurbs {

// A curve, or a surface in both directions, whose knots and control points
// can be read: order at least 2, at least as many control points as the
// order, and its knot and control-point storage present.
bool HasWholeData(const ON_NurbsCurve& curve);
bool HasWholeData(const ON_NurbsSurface& surface);

// openNURBS keeps order + count - 2 knots, without the outermost knot at
// either end; the host takes the whole vector, so the first and the last
// stored knot are written once more. Writes `storedCount` + 2 values and
// returns the place after them. Knots are parameters: never scaled.
double* WriteWholeKnots(const double* stored, int storedCount, double* out);

// The point times the scale, x, y, z; returns the place after them.
double* WriteScaledPoint(const ON_3dPoint& point, double scale, double* out);

// Each control point as a Euclidean point (a rational one divided by its
// weight; weights are not written) times the scale, x, y, z. Returns the
// place after them. A surface's points go with the u index running fastest.
double* WriteScaledPoints(const ON_NurbsCurve& curve, double scale, double* out);
double* WriteScaledPoints(const ON_NurbsSurface& surface, double scale, double* out);

}  // namespace bridge_nurbs
