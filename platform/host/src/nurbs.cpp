// The host's B-spline evaluator.
#include "nurbs.h"

#include "faces.h"

#include <algorithm>
#include <cmath>

namespace stand_in {
namespace {

double Norm(double x, double y, double z) { return std::sqrt(x * x + y * y + z * z); }

}  // namespace

int Basis::Span(double t) const {
  const int lo = order - 1, hi = count - 1;
  if (t >= knots[count]) {
    int i = hi;
    while (i > lo && !(knots[i] < knots[i + 1])) --i;
    return i;
  }
  const int i = static_cast<int>(std::upper_bound(knots + lo, knots + hi + 1, t) - knots) - 1;
  return std::max(i, lo);
}

// Cox and de Boor's recurrence, from the one function of order 1 up.
void Basis::Values(int span, double t, double* n) const {
  double left[kMostOrder], right[kMostOrder];
  n[0] = 1;
  for (int j = 1; j < order; ++j) {
    left[j] = t - knots[span + 1 - j];
    right[j] = knots[span + j] - t;
    double saved = 0;
    for (int r = 0; r < j; ++r) {
      const double share = n[r] / (right[r + 1] + left[j - r]);
      n[r] = saved + right[r + 1] * share;
      saved = left[j - r] * share;
    }
    n[j] = saved;
  }
}

std::string CheckKnots(const Basis& b, const std::string& name, const std::function<std::string(int)>& knotName) {
  const int total = b.order + b.count;
  for (int i = 0; i < total; ++i)
    if (!std::isfinite(b.knots[i])) return knotName(i) + " is not a finite number";
    else if (std::fabs(b.knots[i]) > kFarthestKnot)
      return knotName(i) + " is " + NumberText(b.knots[i]) + ", beyond the host's limit of " + NumberText(kFarthestKnot);
  for (int i = 1; i < total; ++i)
    if (b.knots[i] < b.knots[i - 1]) return knotName(i) + " is " + NumberText(b.knots[i]) + ", less than the knot before it";
  for (int i = 0; i < total;) {
    int j = i + 1;
    while (j < total && b.knots[j] == b.knots[i]) ++j;
    const int times = j - i;
    const bool inside = b.knots[i] > b.Start() && b.knots[i] < b.End();
    if (times > b.order || (inside && times > b.order - 1))
      return name + " repeat " + NumberText(b.knots[i]) + " " + std::to_string(times) + " times; order " +
             std::to_string(b.order) + " allows " + std::to_string(inside ? b.order - 1 : b.order) +
             (inside ? " inside the domain" : "");
    i = j;
  }
  if (!(b.Start() < b.End()))
    return name + " give an empty domain: " + knotName(b.order - 1) + " and " + knotName(b.count) + " are both " +
           NumberText(b.Start());
  return {};
}

int WrapMismatch(const Point3* p, size_t stride, int count, int order, double tolerance) {
  for (int i = 0; i + 1 < order; ++i) {
    const Point3& a = p[static_cast<size_t>(i) * stride];
    const Point3& b = p[static_cast<size_t>(i + count - order + 1) * stride];
    if (Norm(a.x - b.x, a.y - b.y, a.z - b.z) > tolerance) return i;
  }
  return -1;
}

Point3 CurvePoint(const Basis& b, const Point3* points, size_t stride, double t) {
  double n[kMostOrder];
  const int span = b.Span(t);
  b.Values(span, t, n);
  Point3 p{0, 0, 0};
  const Point3* first = points + static_cast<size_t>(span - b.order + 1) * stride;
  for (int k = 0; k < b.order; ++k) {
    const Point3& c = first[static_cast<size_t>(k) * stride];
    p.x += n[k] * c.x;
    p.y += n[k] * c.y;
    p.z += n[k] * c.z;
  }
  return p;
}

Point3 SurfacePoint(const Surface& s, double u, double v) {
  const Basis bu = SurfaceBasis(s, 0), bv = SurfaceBasis(s, 1);
  double nu[kMostOrder], nv[kMostOrder];
  const int su = bu.Span(u), sv = bv.Span(v);
  bu.Values(su, u, nu);
  bv.Values(sv, v, nv);
  const size_t rowLength = static_cast<size_t>(s.count[0]);
  Point3 p{0, 0, 0};
  for (int k = 0; k < bv.order; ++k) {
    const Point3* row = &s.points[static_cast<size_t>(sv - bv.order + 1 + k) * rowLength + static_cast<size_t>(su - bu.order + 1)];
    Point3 r{0, 0, 0};
    for (int i = 0; i < bu.order; ++i) {
      r.x += nu[i] * row[i].x;
      r.y += nu[i] * row[i].y;
      r.z += nu[i] * row[i].z;
    }
    p.x += nv[k] * r.x;
    p.y += nv[k] * r.y;
    p.z += nv[k] * r.z;
  }
  return p;
}

std::vector<Point3> IsoCurvePoints(const Surface& s, int direction, double at) {
  const size_t nu = static_cast<size_t>(s.count[0]);
  const int across = direction;  // the direction whose parameter is fixed
  const Basis b = SurfaceBasis(s, across);
  const size_t along = static_cast<size_t>(s.count[1 - across]);
  // Control point (i, j) lies at i + j * nu: rows run in u.
  const size_t stepAcross = across == 0 ? 1 : nu, stepAlong = across == 0 ? nu : 1;
  std::vector<Point3> out(along);
  for (size_t k = 0; k < along; ++k) out[k] = CurvePoint(b, &s.points[k * stepAlong], stepAcross, at);
  return out;
}

double BoxSize(const Point3* p, size_t count) {
  if (count == 0) return 0;
  Point3 lo = p[0], hi = p[0];
  for (size_t i = 1; i < count; ++i) {
    lo = {std::min(lo.x, p[i].x), std::min(lo.y, p[i].y), std::min(lo.z, p[i].z)};
    hi = {std::max(hi.x, p[i].x), std::max(hi.y, p[i].y), std::max(hi.z, p[i].z)};
  }
  return Norm(hi.x - lo.x, hi.y - lo.y, hi.z - lo.z);
}

// The first derivative's control points are q[j] = p (P[j+1] - P[j]) /
// (t[j+p+1] - t[j+1]), the second's r[j] = (p - 1) (q[j+1] - q[j]) /
// (t[j+p+1] - t[j+2]), with p the degree; r[i-p] to r[i-2] act on span i.
// A zero width means a function of no support, whose point counts for
// nothing.
void RaiseSecondDerivativeBounds(const Basis& b, const Point3* points, size_t stride, std::vector<double>* bound) {
  const int p = b.order - 1;
  if (p < 2) return;  // straight spans
  const double* t = b.knots;
  std::vector<Point3> q(static_cast<size_t>(b.count - 1));
  for (int j = 0; j + 1 < b.count; ++j) {
    const double w = t[j + p + 1] - t[j + 1];
    const Point3& a = points[static_cast<size_t>(j) * stride];
    const Point3& c = points[static_cast<size_t>(j + 1) * stride];
    q[static_cast<size_t>(j)] = w > 0 ? Point3{p * (c.x - a.x) / w, p * (c.y - a.y) / w, p * (c.z - a.z) / w}
                                      : Point3{0, 0, 0};
  }
  std::vector<double> r(static_cast<size_t>(b.count - 2));
  for (int j = 0; j + 2 < b.count; ++j) {
    const double w = t[j + p + 1] - t[j + 2];
    const Point3& a = q[static_cast<size_t>(j)];
    const Point3& c = q[static_cast<size_t>(j + 1)];
    r[static_cast<size_t>(j)] = w > 0 ? (p - 1) * Norm(c.x - a.x, c.y - a.y, c.z - a.z) / w : 0;
  }
  for (int i = p; i < b.count; ++i) {
    if (!(t[i] < t[i + 1])) continue;
    double most = 0;
    for (int j = i - p; j <= i - 2; ++j) most = std::max(most, r[static_cast<size_t>(j)]);
    (*bound)[static_cast<size_t>(i)] = std::max((*bound)[static_cast<size_t>(i)], most);
  }
}

std::vector<int> SpanSteps(const Basis& b, const std::vector<double>& bound, double from, double to,
                           double tolerance) {
  std::vector<int> steps(static_cast<size_t>(b.count), 0);
  for (int i = b.order - 1; i < b.count; ++i) {
    const double s0 = std::max(b.knots[i], from), s1 = std::min(b.knots[i + 1], to);
    if (!(s0 < s1)) continue;
    int m = 1;
    const double w = s1 - s0;
    while (m < kMostSpanSteps && (w / m) * (w / m) * bound[static_cast<size_t>(i)] > 8 * tolerance) m *= 2;
    steps[static_cast<size_t>(i)] = m;
  }
  return steps;
}

std::vector<double> StepParameters(const Basis& b, const std::vector<int>& steps, double from, double to,
                                   std::vector<int>* spans) {
  std::vector<double> out;
  if (spans) spans->clear();
  for (int i = b.order - 1; i < b.count; ++i) {
    const int m = steps[static_cast<size_t>(i)];
    if (m == 0) continue;
    const double s0 = std::max(b.knots[i], from), s1 = std::min(b.knots[i + 1], to);
    for (int k = 0; k < m; ++k) out.push_back(s0 + k * (s1 - s0) / m);
    if (spans) spans->insert(spans->end(), static_cast<size_t>(m), i);
  }
  out.push_back(to);
  return out;
}

std::vector<double> CurveParameters(const Basis& b, const Point3* points, size_t stride, double from, double to) {
  std::vector<Point3> own(static_cast<size_t>(b.count));
  for (size_t k = 0; k < own.size(); ++k) own[k] = points[k * stride];
  std::vector<double> bound(static_cast<size_t>(b.count), 0);
  RaiseSecondDerivativeBounds(b, own.data(), 1, &bound);
  const double tolerance = Tolerance(kChordTolerance, BoxSize(own.data(), own.size()));
  return StepParameters(b, SpanSteps(b, bound, from, to, tolerance), from, to);
}

}  // namespace stand_in
