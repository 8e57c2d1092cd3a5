// ON_Geometry: the abstract base of transformable geometry.
#pragma once

#include "opennurbs_bounding_box.h"
#include "opennurbs_xform.h"

class ON_Geometry {
 public:
  ON_Geometry() = default;
  ON_Geometry(const ON_Geometry&) = default;
  ON_Geometry& operator=(const ON_Geometry&) = default;
  virtual ~ON_Geometry();

  // The number of coordinates of the geometry's points (2 or 3).
  virtual int Dimension() const = 0;
  // True when the object can be used: every value set, finite and consistent.
  virtual bool IsValid(ON_TextLog* text_log = nullptr) const = 0;

  // The box holding the object, as three coordinates each (z is 0 for
  // two-dimensional geometry). With grow_box and a valid box already in
  // boxmin/boxmax, the box is enlarged to hold the object too. False (the
  // arrays untouched) when the object has no box, such as an invalid one.
  virtual bool GetBBox(double* boxmin, double* boxmax, bool grow_box = false) const = 0;
  // The object's box; an empty (invalid) box when it has none.
  ON_BoundingBox BoundingBox() const;

  // Applies the transformation; false when it could not be applied.
  virtual bool Transform(const ON_Xform& xform) = 0;

  // Rotation by `angle` radians (right-hand rule) about the line through
  // `center` along `axis`: builds ON_Xform::Rotation and calls Transform.
  // A zero angle does nothing and succeeds; a zero axis fails.
  bool Rotate(double angle, const ON_3dVector& axis, const ON_3dPoint& center);
  bool Rotate(double sin_angle, double cos_angle, const ON_3dVector& axis, const ON_3dPoint& center);
  // Translation by delta.
  bool Translate(const ON_3dVector& delta);

 protected:
  // Writes `box` into boxmin/boxmax as GetBBox does (growing the box there
  // with grow_box); false when `box` is not valid.
  static bool ReturnBBox(const ON_BoundingBox& box, double* boxmin, double* boxmax, bool grow_box);
};
