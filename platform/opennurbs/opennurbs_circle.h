// ON_Circle: a circle of `radius` about plane.origin in `plane`; the point at
// angle t (radians) is origin + radius * (cos t * xaxis + sin t * yaxis), so
// it runs counter-clockwise seen from the side of the plane's normal.
#pragma once

#include "opennurbs_plane.h"

class ON_NurbsCurve;
class ON_Xform;

class ON_Circle {
 public:
  // The unit circle in the world XY plane.
  ON_Circle();
  // The circle in `plane` about its origin.
  ON_Circle(const ON_Plane& plane, double radius);
  // The circle about `center` in the plane through it parallel to the
  // world XY plane.
  ON_Circle(const ON_3dPoint& center, double radius);
  // The circle in the plane parallel to `plane` through `center`.
  ON_Circle(const ON_Plane& plane, const ON_3dPoint& center, double radius);

  ON_Plane plane;
  double radius = 1.0;

  // As the constructors; true when the circle is then valid.
  bool Create(const ON_Plane& plane, double radius);
  bool Create(const ON_3dPoint& center, double radius);
  bool Create(const ON_Plane& plane, const ON_3dPoint& center, double radius);

  // A valid plane and a finite radius above 0.
  bool IsValid() const;
  // True when the eight points of the circle at every eighth of a turn
  // (angles 0, pi/4, ..., 7 pi/4) are each within `tolerance` of `test_plane`.
  bool IsInPlane(const ON_Plane& test_plane, double tolerance = ON_ZERO_TOLERANCE) const;

  const ON_3dPoint& Center() const { return plane.origin; }
  const ON_3dVector& Normal() const { return plane.zaxis; }
  const ON_Plane& Plane() const { return plane; }
  double Radius() const { return radius; }
  double Diameter() const { return 2.0 * radius; }

  // The point at angle t; quarter turns land exactly on the axes.
  ON_3dPoint PointAt(double t) const;
  // The unit tangent at angle t, in the direction of increasing angle.
  ON_3dVector TangentAt(double t) const;

  // The whole circle as ON_Arc::GetNurbForm makes it (four quarter spans,
  // knots 0 to 2 pi). 0 for an invalid circle (curve untouched), else 2.
  int GetNurbForm(ON_NurbsCurve& nurbs_curve) const;

  // Moves the circle by a transformation that keeps circles circles
  // (rotations, translations, uniform scaling, mirrors); false, circle
  // unchanged, for any other.
  bool Transform(const ON_Xform& xform);
};
