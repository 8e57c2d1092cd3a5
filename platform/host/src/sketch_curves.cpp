// Arcs turned into angles, and curves into points: centripetal Catmull-Rom
// through a spline's points, de Boor's algorithm for a NURBS spline.
#include "sketch_curves.h"

#include <algorithm>
#include <cmath>

namespace stand_in {
namespace {

constexpr double kTurn = 6.283185307179586;

// a at ta, b at tb, the point at t on the line through them.
Point3 Between(const Point3& a, const Point3& b, double ta, double tb, double t) {
  const double wa = (tb - t) / (tb - ta), wb = (t - ta) / (tb - ta);
  return {wa * a.x + wb * b.x, wa * a.y + wb * b.y, wa * a.z + wb * b.z};
}

Point3 Reflect(const Point3& centre, const Point3& p) {
  return {2 * centre.x - p.x, 2 * centre.y - p.y, 2 * centre.z - p.z};
}

// The centripetal parameter step from a to b: the square root of their
// distance, which keeps the curve from looping or cusping between points.
double Step(const Point3& a, const Point3& b) {
  return std::sqrt(std::hypot(std::hypot(b.x - a.x, b.y - a.y), b.z - a.z));
}

// The piece from p1 to p2, p1 included (Barry and Goldman's pyramid).
void CatmullRomPiece(const Point3& p0, const Point3& p1, const Point3& p2, const Point3& p3, const PointSink& out) {
  const double t0 = 0, t1 = t0 + Step(p0, p1), t2 = t1 + Step(p1, p2), t3 = t2 + Step(p2, p3);
  out(p1);
  for (int i = 1; i < kPieceSteps; ++i) {
    const double t = t1 + (t2 - t1) * i / kPieceSteps;
    const Point3 a1 = Between(p0, p1, t0, t1, t), a2 = Between(p1, p2, t1, t2, t), a3 = Between(p2, p3, t2, t3, t);
    const Point3 b1 = Between(a1, a2, t0, t2, t), b2 = Between(a2, a3, t1, t3, t);
    out(Between(b1, b2, t1, t2, t));
  }
}

// Through every point in order. Open ends continue straight on, as if a
// point lay beyond each end mirrored from its neighbour; a spline whose last
// point is its first closes smoothly, its ends seeing each other's
// neighbours.
void SampleThroughPoints(const std::vector<Point3>& p, const PointSink& out) {
  const size_t n = p.size();
  const bool closed = n >= 3 && p.front() == p.back();
  for (size_t i = 0; i + 1 < n; ++i) {
    const Point3 before = i > 0 ? p[i - 1] : closed ? p[n - 2] : Reflect(p[0], p[1]);
    const Point3 after = i + 2 < n ? p[i + 2] : closed ? p[1] : Reflect(p[n - 1], p[n - 2]);
    CatmullRomPiece(before, p[i], p[i + 1], after, out);
  }
  out(p[n - 1]);
}

// The point at t in the knot span [knots[span], knots[span + 1]).
Point3 DeBoor(const SketchSpline& s, size_t span, double t, std::vector<Point3>& d) {
  const size_t p = static_cast<size_t>(s.order - 1);
  const std::vector<double>& k = s.knots;
  for (size_t j = 0; j <= p; ++j) d[j] = s.points[span - p + j];
  for (size_t r = 1; r <= p; ++r)
    for (size_t j = p; j >= r; --j) {
      const size_t lo = span - p + j, hi = span + 1 + j - r;
      d[j] = Between(d[j - 1], d[j], k[lo], k[hi], t);
    }
  return d[p];
}

// Over the spline's domain, knots[order - 1] to knots[count], each span
// between distinct knots in equal steps.
void SampleNurbs(const SketchSpline& s, const PointSink& out) {
  const size_t p = static_cast<size_t>(s.order - 1), n = s.points.size();
  std::vector<Point3> d(p + 1);
  size_t last = p;
  for (size_t span = p; span < n; ++span) {
    const double a = s.knots[span], b = s.knots[span + 1];
    if (!(a < b)) continue;
    last = span;
    for (int i = 0; i < kPieceSteps; ++i) out(DeBoor(s, span, a + (b - a) * i / kPieceSteps, d));
  }
  out(DeBoor(s, last, s.knots[n], d));
}

}  // namespace

ArcAngles AnglesOf(const SketchArc& arc) {
  const double start = std::atan2(arc.start.y - arc.centre.y, arc.start.x - arc.centre.x);
  if (arc.circle) return {start, kTurn};
  const double end = std::atan2(arc.end.y - arc.centre.y, arc.end.x - arc.centre.x);
  double counterClockwise = end - start;
  if (counterClockwise <= 0) counterClockwise += kTurn;
  const double sweep = arc.direction > 0 ? counterClockwise : kTurn - counterClockwise;
  return {start, sweep > 0 ? sweep : kTurn};
}

void SampleArc(const SketchArc& arc, const PointSink& out) {
  const ArcAngles angles = AnglesOf(arc);
  const int steps = std::max(1, static_cast<int>(std::ceil(kTurnSteps * angles.sweep / kTurn)));
  const double way = arc.direction > 0 ? 1.0 : -1.0;
  out(arc.start);
  for (int i = 1; i < steps; ++i) {
    const double a = angles.start + way * angles.sweep * i / steps;
    out({arc.centre.x + arc.radius * std::cos(a), arc.centre.y + arc.radius * std::sin(a), arc.centre.z});
  }
  if (!arc.circle) out(arc.end);
}

void SampleSpline(const SketchSpline& spline, const PointSink& out) {
  if (spline.nurbs) SampleNurbs(spline, out);
  else SampleThroughPoints(spline.points, out);
}

}  // namespace stand_in
