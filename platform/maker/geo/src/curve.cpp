#include <algorithm>
#include <cmath>
#include <new>
#include <utility>
#include <vector>

#include "VLMGeo.h"

namespace {

// Relative tolerance of the shape tests, and the rounding floor relative to
// the coordinates' magnitude.
constexpr double kRelativeTolerance = 1e-9;
constexpr double kRoundingTolerance = 1e-13;

// The answers of the shape tests.
constexpr int kNo = 0;
constexpr int kCouldNotTell = -1;

// A valid curve's NURBS form and the tolerance of the tests on it.
struct Form {
  ON_NurbsCurve nurbs;
  double tolerance = 0.0;

  // kNo for a null or invalid curve, or one without a usable form; a valid
  // curve whose conversion fails has run out of memory.
  int Make(const ON_Curve* curve) {
    if (!curve || !curve->IsValid()) return kNo;
    if (!curve->GetNurbForm(nurbs)) return kCouldNotTell;
    if (!nurbs.IsValid()) return kNo;
    const ON_BoundingBox box = nurbs.BoundingBox();
    if (!box.IsValid()) return kNo;
    double magnitude = 0.0;
    for (int i = 0; i < 3; ++i) magnitude = std::max({magnitude, std::fabs(box.m_min[i]), std::fabs(box.m_max[i])});
    tolerance = std::max(kRelativeTolerance * box.Diagonal().Length(), kRoundingTolerance * magnitude);
    return tolerance > 0.0 ? 1 : kNo;
  }

  ON_3dPoint ControlPoint(int i) const {
    ON_3dPoint p;
    nurbs.GetCV(i, p);
    return p;
  }
};

// Runs test(form) on the curve's NURBS form: kNo when there is none, and
// kCouldNotTell when memory runs out, for that is no answer about the shape.
template <class Test>
int WithForm(const ON_Curve* curve, Test test) {
  try {
    Form form;
    const int made = form.Make(curve);
    return made == 1 ? test(form) : made;
  } catch (const std::bad_alloc&) {
    return kCouldNotTell;
  }
}

// Points of the curve at `per_span` equal steps across every non-empty
// span, and its end.
std::vector<ON_3dPoint> Samples(const ON_NurbsCurve& nurbs, int per_span) {
  std::vector<ON_3dPoint> points;
  const int order = nurbs.Order();
  for (int s = 0; s <= nurbs.CVCount() - order; ++s) {
    const ON_Interval span(nurbs.Knot(s + order - 2), nurbs.Knot(s + order - 1));
    if (!span.IsIncreasing()) continue;
    for (int j = 0; j < per_span; ++j)
      points.push_back(nurbs.PointAt(span.ParameterAt(static_cast<double>(j) / per_span)));
  }
  points.push_back(nurbs.PointAtEnd());
  return points;
}

// The circle through three points, oriented so that they run
// counter-clockwise about its normal. False when they are so nearly
// collinear (the sine at p0 below 1e-6) that the centre is not well defined.
bool CircleThrough(const ON_3dPoint& p0, const ON_3dPoint& p1, const ON_3dPoint& p2, ON_Circle& circle) {
  const ON_3dVector a = p1 - p0, b = p2 - p0;
  const ON_3dVector n = ON_CrossProduct(a, b);
  const double n2 = n.LengthSquared();
  if (!(n2 > 1e-12 * a.LengthSquared() * b.LengthSquared())) return false;
  const ON_3dVector offset = ON_CrossProduct(b * a.LengthSquared() - a * b.LengthSquared(), n) / (2.0 * n2);
  const ON_3dPoint center = p0 + offset;
  ON_Plane plane;
  if (!plane.CreateFromFrame(center, p0 - center, ON_CrossProduct(n, p0 - center))) return false;
  return circle.Create(plane, center.DistanceTo(p0));
}

}  // namespace

int VLMCurve::IsLine(const ON_Curve* curve, ON_Line& line) {
  return WithForm(curve, [&](const Form& form) {
    const ON_Line segment(form.nurbs.PointAtStart(), form.nurbs.PointAtEnd());
    if (!(segment.Length() > form.tolerance)) return 0;
    for (int i = 0; i < form.nurbs.CVCount(); ++i)
      if (!(segment.MinimumDistanceTo(form.ControlPoint(i)) <= form.tolerance)) return 0;
    line = segment;
    return 1;
  });
}

int VLMCurve::IsPolyline(const ON_Curve* curve, ON_Polyline& polyline) {
  return WithForm(curve, [&](const Form& form) {
    if (form.nurbs.Order() != 2) return 0;
    ON_Polyline vertices;
    vertices.Reserve(form.nurbs.CVCount());
    for (int i = 0; i < form.nurbs.CVCount(); ++i) {
      const ON_3dPoint p = form.ControlPoint(i);
      if (vertices.Count() == 0 || *vertices.Last() != p) vertices.Append(p);
    }
    if (vertices.Count() < 2) return 0;
    polyline = std::move(vertices);
    return 1;
  });
}

int VLMCurve::IsArc(const ON_Curve* curve, ON_Arc& arc) {
  return WithForm(curve, [&](const Form& form) {
    const ON_NurbsCurve& nurbs = form.nurbs;
    const double tolerance = form.tolerance;
    const ON_Interval domain = nurbs.Domain();
    const ON_3dPoint start = nurbs.PointAtStart();
    const bool closed = start.DistanceTo(nurbs.PointAtEnd()) <= tolerance;
    // The circle through the start and two later points, in the curve's
    // order.
    ON_Circle circle;
    const ON_3dPoint p1 = nurbs.PointAt(domain.ParameterAt(closed ? 1.0 / 3.0 : 0.5));
    const ON_3dPoint p2 = closed ? nurbs.PointAt(domain.ParameterAt(2.0 / 3.0)) : nurbs.PointAtEnd();
    if (!CircleThrough(start, p1, p2, circle)) return 0;
    const ON_Plane& plane = circle.plane;
    const double angle_tolerance = tolerance / circle.radius;

    const std::vector<ON_3dPoint> samples = Samples(nurbs, 4 * nurbs.Order());
    double sweep = 0.0, previous = 0.0;
    for (size_t j = 0; j < samples.size(); ++j) {
      const ON_3dPoint& p = samples[j];
      if (!(std::fabs(plane.DistanceTo(p)) <= tolerance)) return 0;
      if (!(std::fabs(p.DistanceTo(circle.Center()) - circle.radius) <= tolerance)) return 0;
      const ON_3dVector v = p - circle.Center();
      const double angle = std::atan2(v * plane.yaxis, v * plane.xaxis);
      if (j > 0) {
        double step = angle - previous;
        if (step > ON_PI) step -= 2.0 * ON_PI;
        if (step < -ON_PI) step += 2.0 * ON_PI;
        // Turning back, or steps too coarse to tell the way round.
        if (step < -angle_tolerance || step > 0.5 * ON_PI) return 0;
        sweep += step;
      }
      previous = angle;
    }
    if (closed) {
      if (!(std::fabs(sweep - 2.0 * ON_PI) <= angle_tolerance)) return 0;
      sweep = 2.0 * ON_PI;
    } else if (!(sweep > angle_tolerance && sweep < 2.0 * ON_PI)) {
      return 0;
    }
    ON_Arc result;
    if (!result.Create(circle, sweep)) return 0;
    arc = result;
    return 1;
  });
}

int VLMNurbsCurve::GetPoints(const ON_NurbsCurve& curve, ON_3dPointArray& points, double density) {
  if (!curve.IsValid() || !std::isfinite(density) || !(density > 0.0)) return 0;
  const int order = curve.Order();
  int spans = 0;
  for (int s = 0; s <= curve.CVCount() - order; ++s)
    if (curve.Knot(s + order - 2) < curve.Knot(s + order - 1)) ++spans;
  const double steps = std::ceil(density);
  if (steps * spans + 1.0 > static_cast<double>(ON_ArrayMaximumCount(sizeof(ON_3dPoint)) - points.Count())) return 0;
  const int per_span = static_cast<int>(steps);
  try {
    std::vector<ON_3dPoint> samples = Samples(curve, per_span);
    if (curve.IsClosed()) samples.back() = samples.front();
    ON_3dPointArray result(points);
    if (!result.Reserve(points.Count() + static_cast<int>(samples.size()))) return 0;
    const int first = result.Count();
    for (const ON_3dPoint& p : samples) {
      if (!p.IsValid()) return 0;
      if (result.Count() == first || *result.Last() != p) result.Append(p);
    }
    points = std::move(result);
    return 1;
  } catch (const std::bad_alloc&) {
    return 0;
  }
}
