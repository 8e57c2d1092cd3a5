// B-splines as the host's own small evaluator sees them: the check of a knot
// vector, points of curves and surfaces by de Boor's recurrence, iso-curves,
// bounds of second derivatives, and the parameters at which curves and
// surfaces are sampled.
#pragma once

#include "stand_in/host.h"

#include <functional>
#include <string>
#include <vector>

namespace stand_in {

// The highest order the host takes (degree 31), and the most steps a span
// is cut into when it is sampled.
constexpr int kMostOrder = 32;
constexpr int kMostSpanSteps = 64;
// The host's model space: coordinates (metres) and knots beyond these are
// refused, so that no difference of two of them overflows.
constexpr double kFarthestPoint = 1e9;
constexpr double kFarthestKnot = 1e15;

// One direction of a B-spline: its order, its control-point count and its
// whole knot vector (order + count values). The domain runs from
// knots[order - 1] to knots[count]; span i (order - 1 <= i < count) from
// knots[i] to knots[i + 1].
struct Basis {
  int order;
  int count;
  const double* knots;

  double Start() const { return knots[order - 1]; }
  double End() const { return knots[count]; }
  // The non-empty span that holds t; the first for t before the domain, the
  // last for t at or after its end.
  int Span(double t) const;
  // The `order` basis functions that do not vanish on `span`, at t: those
  // of control points span - order + 1 to span.
  void Values(int span, double t, double* values) const;
};

inline Basis SurfaceBasis(const Surface& s, int direction) {
  return {s.order[direction], s.count[direction], s.knots[direction].data()};
}

// Why the knot vector (`name`, as the caller calls it) is refused, empty
// when it is not: a value that is not finite or lies beyond
// kFarthestKnot, a knot less than the one
// before it, a knot repeated more than `order` times or, inside the domain,
// more than order - 1 times (the curve would break there), an empty domain.
// `knotName` names knot i as the caller sees it.
std::string CheckKnots(const Basis& basis, const std::string& name, const std::function<std::string(int)>& knotName);

// The first of the control points points[i * stride], i < order - 1, that
// a periodic curve repeats at its end (at i + count - order + 1) but that
// lies farther than `tolerance` from its repetition there, or -1.
int WrapMismatch(const Point3* points, size_t stride, int count, int order, double tolerance);

// The curve of `basis` with control points points[0], points[stride], ...
Point3 CurvePoint(const Basis& basis, const Point3* points, size_t stride, double t);
Point3 SurfacePoint(const Surface& surface, double u, double v);
// The control points of the surface's iso-curve at `at` of `direction`
// (0: u fixed, the curve runs in v over the v basis; 1: v fixed, it runs
// in u): the surface's rows of control points combined at `at`.
std::vector<Point3> IsoCurvePoints(const Surface& surface, int direction, double at);

// The length of the diagonal of the box around `count` points.
double BoxSize(const Point3* points, size_t count);

// Raises bound[i], for each non-empty span i, to a bound on the length of
// the second derivative of the curve there (from the control points of
// that derivative, which hold it in their hull). `bound` has `count`
// entries.
void RaiseSecondDerivativeBounds(const Basis& basis, const Point3* points, size_t stride, std::vector<double>* bound);

// Sampling: a span is cut into 1, 2, 4 ... kMostSpanSteps equal steps, the
// fewest whose width h keeps h² times the span's second-derivative bound
// within 8 times `tolerance`, so that a chord strays at most `tolerance`
// from its curve. steps[i] is the count for span i (0 for a span outside
// from..to or empty), over the part of the span within from..to.
std::vector<int> SpanSteps(const Basis& basis, const std::vector<double>& bound, double from, double to,
                           double tolerance);
// The parameters those steps give, from `from` to `to`, both included;
// `spans`, if given, receives the span of each step.
std::vector<double> StepParameters(const Basis& basis, const std::vector<int>& steps, double from, double to,
                                   std::vector<int>* spans = nullptr);

// The parameters at which a curve is sampled over its whole domain: a
// function of the curve alone (its knots and control points, with the
// chordal tolerance of its own size), so that a curve two faces share is
// sampled at the same parameters on both.
std::vector<double> CurveParameters(const Basis& basis, const Point3* points, size_t stride, double from, double to);

}  // namespace stand_in
