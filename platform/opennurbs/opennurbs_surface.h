// ON_Surface: the abstract parametric surface, with parameters (u, v);
// direction 0 is u and direction 1 is v.
#pragma once

#include "opennurbs_geometry.h"
#include "opennurbs_interval.h"

class ON_Curve;

class ON_Surface : public ON_Geometry {
 public:
  ON_Surface() = default;
  ON_Surface(const ON_Surface&) = default;
  ON_Surface& operator=(const ON_Surface&) = default;
  ~ON_Surface() override;

  // The parameter interval of direction 0 (u) or 1 (v); unset for any other
  // direction.
  virtual ON_Interval Domain(int dir) const = 0;
  // True when the surface is periodic in the direction; false here unless a
  // class says otherwise.
  virtual bool IsPeriodic(int dir) const;
  // The point at (u, v); ON_UNSET_POINT when the surface cannot be
  // evaluated there.
  virtual ON_3dPoint PointAt(double u, double v) const = 0;
  // The iso-curve, a new object that the caller deletes: direction 0 gives
  // the curve along u at v = c (its point at t is PointAt(t, c)), direction
  // 1 the curve along v at u = c (its point at t is PointAt(c, t)). Null for
  // an invalid surface, another direction, a c that is not finite, or no
  // memory.
  virtual ON_Curve* IsoCurve(int dir, double c) const = 0;

  // The object as a surface (any class derived from ON_Surface), else null.
  static ON_Surface* Cast(ON_Geometry* geometry) { return dynamic_cast<ON_Surface*>(geometry); }
  static const ON_Surface* Cast(const ON_Geometry* geometry) { return dynamic_cast<const ON_Surface*>(geometry); }
};
