#include "opennurbs_geometry.h"

ON_Geometry::~ON_Geometry() = default;

bool ON_Geometry::Rotate(double angle, const ON_3dVector& axis, const ON_3dPoint& center) {
  if (angle == 0.0) return true;
  ON_Xform rotation;
  if (!rotation.Rotation(angle, axis, center)) return false;
  return Transform(rotation);
}

bool ON_Geometry::Rotate(double sin_angle, double cos_angle, const ON_3dVector& axis, const ON_3dPoint& center) {
  if (sin_angle == 0.0 && cos_angle == 1.0) return true;
  ON_Xform rotation;
  if (!rotation.Rotation(sin_angle, cos_angle, axis, center)) return false;
  return Transform(rotation);
}

bool ON_Geometry::Translate(const ON_3dVector& delta) {
  if (delta.IsZeroVector()) return true;
  ON_Xform translation;
  translation.Translation(delta);
  return Transform(translation);
}
