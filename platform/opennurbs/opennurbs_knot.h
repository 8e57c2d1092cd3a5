// Knot vectors and evaluation of NURBS, in openNURBS's knot form: a curve of
// `order` and `cv_count` control points keeps order + cv_count - 2 knots
// (the full vector without its outermost knot at each end). Its domain is
// [knot[order - 2], knot[cv_count - 1]], and span s (0 <= s <= cv_count -
// order) runs from knot[s + order - 2] to knot[s + order - 1] and uses
// control points s to s + order - 1.
#pragma once

// order + cv_count - 2, or 0 when order < 2 or cv_count < order.
int ON_KnotCount(int order, int cv_count);

// Finite, non-decreasing, a non-empty first and last span, and no knot
// repeated `order` times or more.
bool ON_IsValidKnotVector(int order, int cv_count, const double* knot);

// The knot intervals repeat across the period of a periodic NURBS of
// order 3 or more: the 2 * order - 4 intervals from the start equal those
// cv_count - order + 1 spans later (within ON_ZERO_TOLERANCE of the knots'
// magnitude), and the period holds at least three spans.
bool ON_IsKnotVectorPeriodic(int order, int cv_count, const double* knot);

// The clamped uniform knots: order - 1 copies of 0, then delta, 2 delta,
// ..., and order - 1 copies of (cv_count - order + 1) * delta. False
// (knots untouched) for bad arguments or a delta that is not finite and
// above 0.
bool ON_MakeClampedUniformKnotVector(int order, int cv_count, double* knot, double delta = 1.0);

// The span whose parameter interval holds t: the last non-empty span that
// starts at or before t, the first span for t before the domain, and the
// last span for t at or after its end.
int ON_NurbsSpanIndex(int order, int cv_count, const double* knot, double t);

// Evaluates a NURBS at t by de Boor's algorithm: `cv_size` coordinates per
// control point (the weight last, for a rational one, which is then
// evaluated in homogeneous form: no division), control point i at
// cv + i * cv_stride, knots in the form above. Writes cv_size values to
// `point`. Outside the domain the end spans are extended. False (point
// untouched) for bad arguments, a knot interval of length 0 in the way,
// or no memory for the working points of a high order.
bool ON_EvaluateNurbsPoint(int cv_size, int order, int cv_count, const double* knot, const double* cv, int cv_stride,
                           double t, double* point);
