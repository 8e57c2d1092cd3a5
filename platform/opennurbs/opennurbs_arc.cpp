#include "opennurbs_arc.h"

#include <cmath>

#include "opennurbs_nurbscurve.h"
#include "opennurbs_xform.h"

ON_Arc::ON_Arc() : m_angle(0.0, 2.0 * ON_PI) {}

ON_Arc::ON_Arc(const ON_Circle& circle, double angle_radians) { Create(circle, angle_radians); }

ON_Arc::ON_Arc(const ON_Circle& circle, ON_Interval angle_interval_radians) { Create(circle, angle_interval_radians); }

ON_Arc::ON_Arc(const ON_Plane& plane_, double radius_, double angle_radians) { Create(plane_, radius_, angle_radians); }

ON_Arc::ON_Arc(const ON_Plane& plane_, const ON_3dPoint& center, double radius_, double angle_radians) {
  Create(plane_, center, radius_, angle_radians);
}

bool ON_Arc::Create(const ON_Circle& circle, double angle_radians) {
  return Create(circle, ON_Interval(0.0, angle_radians));
}

bool ON_Arc::Create(const ON_Circle& circle, ON_Interval angle_interval_radians) {
  ON_Circle::operator=(circle);
  m_angle = angle_interval_radians;
  // Bogus input is mended but reported: the caller asked for something an
  // arc cannot be.
  bool rc = true;
  if (m_angle.IsDecreasing()) {
    // The same points, run from m_t[0] backwards: an increasing interval on
    // the flipped plane.
    m_angle.Swap();
    Reverse();
    rc = false;
  }
  if (m_angle.IsValid() && m_angle.Length() > 2.0 * ON_PI + ON_ZERO_TOLERANCE) {
    m_angle[1] = m_angle[0] + 2.0 * ON_PI;
    rc = false;
  }
  return rc && IsValid();
}

bool ON_Arc::Create(const ON_Plane& plane_, double radius_, double angle_radians) {
  return Create(ON_Circle(plane_, radius_), angle_radians);
}

bool ON_Arc::Create(const ON_Plane& plane_, const ON_3dPoint& center, double radius_, double angle_radians) {
  return Create(ON_Circle(plane_, center, radius_), angle_radians);
}

bool ON_Arc::IsValid() const {
  return ON_Circle::IsValid() && m_angle.IsIncreasing() && m_angle.Length() <= 2.0 * ON_PI + ON_ZERO_TOLERANCE;
}

bool ON_Arc::IsCircle() const { return std::fabs(m_angle.Length() - 2.0 * ON_PI) <= ON_ZERO_TOLERANCE; }

bool ON_Arc::SetAngleRadians(double angle_radians) {
  if (!ON_IsValid(angle_radians) || !(angle_radians > 0.0) || angle_radians > 2.0 * ON_PI + ON_ZERO_TOLERANCE)
    return false;
  m_angle[1] = m_angle[0] + angle_radians;
  return true;
}

bool ON_Arc::SetAngleIntervalRadians(ON_Interval angle_radians) {
  if (!angle_radians.IsIncreasing() || angle_radians.Length() > 2.0 * ON_PI + ON_ZERO_TOLERANCE) return false;
  m_angle = angle_radians;
  return true;
}

void ON_Arc::Reverse() {
  m_angle.Reverse();
  plane.yaxis.Reverse();
  plane.zaxis.Reverse();
}

int ON_Arc::GetNurbForm(ON_NurbsCurve& nurbs_curve) const {
  if (!IsValid()) return 0;
  const double a0 = m_angle[0], a1 = m_angle[1];
  const double sweep = a1 - a0;
  const double quarter = 0.5 * ON_PI;
  // A full circle keeps the circle's four quarters; any other arc beyond a
  // half turn takes three spans.
  int spans = 3;
  if (IsCircle())
    spans = 4;
  else if (sweep <= quarter + ON_ZERO_TOLERANCE)
    spans = 1;
  else if (sweep <= 2.0 * quarter + ON_ZERO_TOLERANCE)
    spans = 2;
  const double h = sweep / spans;
  const double w = std::cos(0.5 * h);
  ON_NurbsCurve curve;
  if (!curve.Create(3, true, 3, 2 * spans + 1)) return 0;
  const ON_3dPoint start = StartPoint();
  for (int i = 0; i <= spans; ++i) {
    const double angle = i == spans ? a1 : a0 + i * h;
    // A full circle closes exactly.
    curve.SetCV(2 * i, (i == 0 || (i == spans && IsCircle())) ? start : PointAt(angle));
    curve.m_knot[2 * i] = curve.m_knot[2 * i + 1] = angle;
    if (i == spans) break;
    double s = 0.0, c = 1.0;
    ON_SinCos(a0 + (i + 0.5) * h, &s, &c);
    const ON_3dPoint middle = plane.PointAt(radius / w * c, radius / w * s);
    curve.SetCV(2 * i + 1, ON_4dPoint(middle.x * w, middle.y * w, middle.z * w, w));
  }
  nurbs_curve.Swap(curve);
  return 2;
}
