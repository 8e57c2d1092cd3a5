#include "opennurbs_circle.h"

#include <cmath>

#include "opennurbs_arc.h"
#include "opennurbs_xform.h"

ON_Circle::ON_Circle() = default;

ON_Circle::ON_Circle(const ON_Plane& plane_, double radius_) { Create(plane_, radius_); }

ON_Circle::ON_Circle(const ON_3dPoint& center, double radius_) { Create(center, radius_); }

ON_Circle::ON_Circle(const ON_Plane& plane_, const ON_3dPoint& center, double radius_) {
  Create(plane_, center, radius_);
}

bool ON_Circle::Create(const ON_Plane& plane_, double radius_) {
  plane = plane_;
  radius = radius_;
  return IsValid();
}

bool ON_Circle::Create(const ON_3dPoint& center, double radius_) { return Create(ON_Plane::World_xy, center, radius_); }

bool ON_Circle::Create(const ON_Plane& plane_, const ON_3dPoint& center, double radius_) {
  plane = plane_;
  plane.origin = center;
  radius = radius_;
  return IsValid();
}

bool ON_Circle::IsValid() const { return ON_IsValid(radius) && radius > 0.0 && plane.IsValid(); }

bool ON_Circle::IsInPlane(const ON_Plane& test_plane, double tolerance) const {
  // cos and sin of k pi/4, exact at the quarter turns.
  const double h = 0.5 * ON_SQRT2;
  static const double kCos[8] = {1.0, h, 0.0, -h, -1.0, -h, 0.0, h};
  const double* kSin = kCos;  // sin(k pi/4) = cos((k - 2) pi/4)
  for (int k = 0; k < 8; ++k) {
    const double c = kCos[k], s = kSin[(k + 6) % 8];
    const ON_3dPoint p = plane.PointAt(radius * c, radius * s);
    if (!(std::fabs(test_plane.DistanceTo(p)) <= tolerance)) return false;
  }
  return true;
}

ON_3dPoint ON_Circle::PointAt(double t) const {
  double s = 0.0, c = 1.0;
  ON_SinCos(t, &s, &c);
  return plane.PointAt(radius * c, radius * s);
}

ON_3dVector ON_Circle::TangentAt(double t) const {
  double s = 0.0, c = 1.0;
  ON_SinCos(t, &s, &c);
  ON_3dVector tangent = plane.yaxis * c - plane.xaxis * s;
  tangent.Unitize();
  return tangent;
}

int ON_Circle::GetNurbForm(ON_NurbsCurve& nurbs_curve) const {
  return ON_Arc(*this, 2.0 * ON_PI).GetNurbForm(nurbs_curve);
}

bool ON_Circle::Transform(const ON_Xform& xform) {
  // The images of two radii: a circle stays a circle when they are
  // perpendicular and of equal length.
  const ON_3dPoint center = xform * plane.origin;
  const ON_3dVector x = xform * (plane.origin + plane.xaxis * radius) - center;
  const ON_3dVector y = xform * (plane.origin + plane.yaxis * radius) - center;
  const double rx = x.Length(), ry = y.Length();
  const double tolerance = ON_SQRT_EPSILON * (rx + ry);
  if (!(rx > 0.0) || !(std::fabs(rx - ry) <= tolerance) || !(std::fabs(x * y) <= tolerance * (rx + ry))) return false;
  ON_Plane image;
  if (!image.CreateFromFrame(center, x, y)) return false;
  plane = image;
  radius = 0.5 * (rx + ry);
  return true;
}
