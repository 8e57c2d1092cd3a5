// ON_Geometry: the abstract base of transformable geometry.
#pragma once

#include "opennurbs_xform.h"

class ON_Geometry {
 public:
  ON_Geometry() = default;
  ON_Geometry(const ON_Geometry&) = default;
  ON_Geometry& operator=(const ON_Geometry&) = default;
  virtual ~ON_Geometry();

  // Applies the transformation; false when it could not be applied.
  virtual bool Transform(const ON_Xform& xform) = 0;

  // Rotation by `angle` radians (right-hand rule) about the line through
  // `center` along `axis`: builds ON_Xform::Rotation and calls Transform.
  // A zero angle does nothing and succeeds; a zero axis fails.
  bool Rotate(double angle, const ON_3dVector& axis, const ON_3dPoint& center);
  bool Rotate(double sin_angle, double cos_angle, const ON_3dVector& axis, const ON_3dPoint& center);
  // Translation by delta.
  bool Translate(const ON_3dVector& delta);
};
