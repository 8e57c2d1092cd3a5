#include "opennurbs_geometry.h"

ON_Geometry::~ON_Geometry() = default;

ON_BoundingBox ON_Geometry::BoundingBox() const {
  ON_BoundingBox box;
  double boxmin[3], boxmax[3];
  if (GetBBox(boxmin, boxmax, false)) box = ON_BoundingBox(ON_3dPoint(boxmin), ON_3dPoint(boxmax));
  if (!box.IsValid()) box.Destroy();
  return box;
}

bool ON_Geometry::ReturnBBox(const ON_BoundingBox& box, double* boxmin, double* boxmax, bool grow_box) {
  if (!box.IsValid() || !boxmin || !boxmax) return false;
  ON_BoundingBox result = box;
  if (grow_box) {
    const ON_BoundingBox given{ON_3dPoint(boxmin), ON_3dPoint(boxmax)};
    result.Union(given);
  }
  for (int i = 0; i < 3; ++i) {
    boxmin[i] = result.m_min[i];
    boxmax[i] = result.m_max[i];
  }
  return true;
}

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
