// ON_Arc: the part of a circle between the angles m_angle[0] and
// m_angle[1] (radians, measured in the circle's plane from its x axis).
#pragma once

#include <cmath>

#include "opennurbs_circle.h"
#include "opennurbs_interval.h"

class ON_Arc : public ON_Circle {
 public:
  // The unit circle in the world XY plane, angles 0 to 2 pi.
  ON_Arc();
  // As the matching Create (its result is lost; IsValid() tells).
  ON_Arc(const ON_Circle& circle, double angle_radians);
  ON_Arc(const ON_Circle& circle, ON_Interval angle_interval_radians);
  ON_Arc(const ON_Plane& plane, double radius, double angle_radians);
  ON_Arc(const ON_Plane& plane, const ON_3dPoint& center, double radius, double angle_radians);

  ON_Interval m_angle;

  // The arc of the circle from angle 0 to angle_radians. True when the arc
  // is valid and the angle was one an arc can have. A negative angle is
  // bogus input, answered false; the arc is still made, as every arc here,
  // with an increasing interval, by flipping the plane (its y axis and
  // normal reversed), so that it starts at the circle's angle 0 and runs the
  // way the angle says. Angles beyond a full turn are cut to one turn and
  // answered false too.
  bool Create(const ON_Circle& circle, double angle_radians);
  // The same for an interval: a decreasing interval is answered false and
  // made the arc from m_t[0] to m_t[1] turning backwards, on the flipped
  // plane.
  bool Create(const ON_Circle& circle, ON_Interval angle_interval_radians);
  // The arc on the circle of `radius` about plane's origin.
  bool Create(const ON_Plane& plane, double radius, double angle_radians);
  // The arc on the circle of `radius` about `center`, in the plane parallel
  // to `plane` through `center`.
  bool Create(const ON_Plane& plane, const ON_3dPoint& center, double radius, double angle_radians);

  // A valid circle and an increasing angle interval of at most 2 pi
  // (within ON_ZERO_TOLERANCE).
  bool IsValid() const;
  // The angle interval spans 2 pi within ON_ZERO_TOLERANCE.
  bool IsCircle() const;

  double AngleRadians() const { return m_angle.Length(); }
  ON_Interval DomainRadians() const { return m_angle; }
  // Sets the interval [m_angle[0], m_angle[0] + angle] (false, unchanged,
  // unless 0 < angle <= 2 pi) or the whole interval (false, unchanged,
  // unless increasing and at most 2 pi long).
  bool SetAngleRadians(double angle_radians);
  bool SetAngleIntervalRadians(ON_Interval angle_radians);

  ON_3dPoint StartPoint() const { return PointAt(m_angle[0]); }
  ON_3dPoint MidPoint() const { return PointAt(m_angle.Mid()); }
  ON_3dPoint EndPoint() const { return PointAt(m_angle[1]); }
  // |radius| * sweep.
  double Length() const { return std::fabs(radius) * AngleRadians(); }

  // The same points run the other way: the plane's y axis and normal are
  // reversed and the interval becomes [-m_angle[1], -m_angle[0]].
  void Reverse();

  // The arc as a rational quadratic NURBS curve (dimension 3, order 3) on
  // the knots of its angle interval: spans of equal angle, one for a sweep
  // up to a quarter turn, two up to a half, four for a full circle, else
  // three; CV count 2 * spans + 1, the knots m_angle[0] twice, each
  // inner span end twice and m_angle[1] twice. Span ends are on the arc
  // with weight 1; each middle control point lies on the span's bisector at
  // radius / cos(h / 2) with weight cos(h / 2), h the span's angle. A full
  // circle ends exactly where it starts. The NURBS curve runs through the
  // arc's points in the same order, but its parameter is not the angle
  // between the knots. Returns 2 (the point set matches), or 0 for an
  // invalid arc or when memory runs out, the curve then untouched.
  int GetNurbForm(ON_NurbsCurve& nurbs_curve) const;
};
