// NURBS data in the form the host takes it: whole knot vectors, and control
// points as Euclidean points in metres, x, y, z each.
#pragma once

#include <afx.h>

#include "opennurbs.h"

namespace bridge_nurbs {

// A curve, or a surface in both directions, whose knots and control points
// can be read whole, checked from its counts before any array is read:
// dimension at least 1, order at least 2, at least as many control points
// as the order, knot and control-point arrays present, each control point
// a whole point apart (the stride at least dimension, plus 1 when
// rational; a surface's points of one row apart from the next row's), the
// arrays large enough for the counts where the object owns them (a
// capacity of 0 is memory it does not own, whose size it does not know),
// and then every weight finite and not 0. When it is not whole, `why` (if
// given) says what is wrong, as a phrase: "order 1 and 5 control points".
bool HasWholeData(const ON_NurbsCurve& curve, CString* why = nullptr);
bool HasWholeData(const ON_NurbsSurface& surface, CString* why = nullptr);

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
