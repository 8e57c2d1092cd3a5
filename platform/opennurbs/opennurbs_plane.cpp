#include "opennurbs_plane.h"

#include <cmath>
#include <utility>

#include "opennurbs_xform.h"

const ON_Plane ON_Plane::World_xy;

ON_Plane::ON_Plane() : origin(0.0, 0.0, 0.0), xaxis(1.0, 0.0, 0.0), yaxis(0.0, 1.0, 0.0), zaxis(0.0, 0.0, 1.0) {}

ON_Plane::ON_Plane(const ON_3dPoint& origin_point, const ON_3dVector& normal) : origin(origin_point) {
  CreateFromNormal(origin_point, normal);
}

ON_Plane::ON_Plane(const ON_3dPoint& origin_point, const ON_3dVector& x_dir, const ON_3dVector& y_dir)
    : origin(origin_point) {
  CreateFromFrame(origin_point, x_dir, y_dir);
}

bool ON_Plane::CreateFromNormal(const ON_3dPoint& origin_point, const ON_3dVector& normal) {
  ON_3dVector z = normal, x;
  if (!z.Unitize() || !x.PerpendicularTo(z)) return false;
  // x and z x x are perpendicular, so the frame's normal is z.
  return CreateFromFrame(origin_point, x, ON_CrossProduct(z, x));
}

bool ON_Plane::CreateFromFrame(const ON_3dPoint& origin_point, const ON_3dVector& x_dir, const ON_3dVector& y_dir) {
  ON_3dVector x = x_dir, y = y_dir;
  if (!origin_point.IsValid() || !x.Unitize() || !y.Unitize()) return false;
  // The cross product of unit vectors is the sine of their angle; its
  // direction is good to about ON_EPSILON / sine.
  ON_3dVector z = ON_CrossProduct(x, y);
  if (!(z.Length() > ON_SQRT_EPSILON) || !z.Unitize()) return false;
  y = ON_CrossProduct(z, x);
  y.Unitize();
  origin = origin_point;
  xaxis = x;
  yaxis = y;
  zaxis = z;
  return true;
}

bool ON_Plane::IsValid() const {
  if (!origin.IsValid() || !xaxis.IsValid() || !yaxis.IsValid() || !zaxis.IsValid()) return false;
  const double tolerance = ON_SQRT_EPSILON;
  if (std::fabs(xaxis.Length() - 1.0) > tolerance || std::fabs(yaxis.Length() - 1.0) > tolerance ||
      std::fabs(zaxis.Length() - 1.0) > tolerance)
    return false;
  if (std::fabs(xaxis * yaxis) > tolerance || std::fabs(yaxis * zaxis) > tolerance ||
      std::fabs(zaxis * xaxis) > tolerance)
    return false;
  return (ON_CrossProduct(xaxis, yaxis) - zaxis).Length() <= tolerance;
}

ON_3dPoint ON_Plane::PointAt(double s, double t) const {
  return ON_3dPoint(origin.x + s * xaxis.x + t * yaxis.x, origin.y + s * xaxis.y + t * yaxis.y,
                    origin.z + s * xaxis.z + t * yaxis.z);
}

double ON_Plane::DistanceTo(const ON_3dPoint& point) const { return (point - origin) * zaxis; }

bool ON_Plane::ClosestPointTo(const ON_3dPoint& point, double* s, double* t) const {
  if (!IsValid() || !point.IsValid()) return false;
  const ON_3dVector v = point - origin;
  if (s) *s = v * xaxis;
  if (t) *t = v * yaxis;
  return true;
}

void ON_Plane::Flip() {
  std::swap(xaxis, yaxis);
  zaxis.Reverse();
}

bool ON_Plane::Transform(const ON_Xform& xform) {
  const ON_3dPoint moved = xform * origin;
  // The images of the axis tips, so a projective part is honoured.
  const ON_3dVector x = xform * (origin + xaxis) - moved;
  const ON_3dVector y = xform * (origin + yaxis) - moved;
  ON_Plane image;
  if (!image.CreateFromFrame(moved, x, y)) return false;
  *this = image;
  return true;
}
