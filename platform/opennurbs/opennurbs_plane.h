// ON_Plane: an origin and a right-handed orthonormal frame; zaxis is the
// normal. A plane point is origin + s * xaxis + t * yaxis.
#pragma once

#include "opennurbs_point.h"

class ON_Xform;

class ON_Plane {
 public:
  // The world XY plane.
  ON_Plane();
  // As CreateFromNormal and CreateFromFrame; when those fail the axes are
  // zero and the plane is not valid.
  ON_Plane(const ON_3dPoint& origin, const ON_3dVector& normal);
  ON_Plane(const ON_3dPoint& origin, const ON_3dVector& x_dir, const ON_3dVector& y_dir);

  ON_3dPoint origin;
  ON_3dVector xaxis;
  ON_3dVector yaxis;
  ON_3dVector zaxis;

  // The plane through `origin` with the unit normal of `normal`, its x axis
  // the unit ON_3dVector::PerpendicularTo of the normal and its y axis
  // normal x xaxis: +Z gives the world XY frame, -Z the x axis (-1, 0, 0)
  // and the y axis (0, 1, 0), +X the x axis (0, 1, 0). False (plane
  // unchanged) for a zero or non-finite normal or an invalid origin.
  bool CreateFromNormal(const ON_3dPoint& origin, const ON_3dVector& normal);
  // The plane through `origin` whose x axis is the unit x_dir and whose y
  // axis is y_dir made perpendicular to it (on the side of y_dir), so the
  // normal is x_dir x y_dir, unitised. False (plane unchanged) when a
  // direction is zero or not finite, when the origin is not valid, or when
  // the directions are parallel: the sine of the angle between them at most
  // ON_SQRT_EPSILON, below which the normal could not be told to that
  // accuracy.
  bool CreateFromFrame(const ON_3dPoint& origin, const ON_3dVector& x_dir, const ON_3dVector& y_dir);

  // The origin valid and the axes of unit length, perpendicular and
  // right-handed, each within ON_SQRT_EPSILON.
  bool IsValid() const;

  const ON_3dPoint& Origin() const { return origin; }
  const ON_3dVector& Xaxis() const { return xaxis; }
  const ON_3dVector& Yaxis() const { return yaxis; }
  const ON_3dVector& Zaxis() const { return zaxis; }
  const ON_3dVector& Normal() const { return zaxis; }
  void SetOrigin(const ON_3dPoint& point) { origin = point; }

  // origin + s * xaxis + t * yaxis.
  ON_3dPoint PointAt(double s, double t) const;
  // The signed distance from the plane, positive on the side of the normal.
  double DistanceTo(const ON_3dPoint& point) const;
  // The plane coordinates of the point's projection onto the plane.
  bool ClosestPointTo(const ON_3dPoint& point, double* s, double* t) const;

  // Swaps the x and y axes and reverses the normal: the same plane seen from
  // the other side.
  void Flip();
  // Moves the origin and turns the axes by the transformation (the frame is
  // made orthonormal again as by CreateFromFrame). False, plane unchanged,
  // when the image is not a plane frame.
  bool Transform(const ON_Xform& xform);

  static const ON_Plane World_xy;
};
