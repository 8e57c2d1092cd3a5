#include "opennurbs_bounding_box.h"

#include <algorithm>

ON_BoundingBox::ON_BoundingBox() : m_min(1.0, 0.0, 0.0), m_max(-1.0, 0.0, 0.0) {}

void ON_BoundingBox::Destroy() { *this = ON_BoundingBox(); }

bool ON_BoundingBox::IsValid() const {
  return m_min.IsValid() && m_max.IsValid() && m_min.x <= m_max.x && m_min.y <= m_max.y && m_min.z <= m_max.z;
}

bool ON_BoundingBox::Set(const ON_3dPoint& point, bool grow_box) {
  if (!point.IsValid()) return false;
  if (grow_box && IsValid()) {
    for (int i = 0; i < 3; ++i) {
      m_min[i] = std::min(m_min[i], point[i]);
      m_max[i] = std::max(m_max[i], point[i]);
    }
  } else {
    m_min = m_max = point;
  }
  return true;
}

void ON_BoundingBox::Union(const ON_BoundingBox& other) {
  if (!other.IsValid()) return;
  if (!IsValid()) {
    *this = other;
    return;
  }
  Set(other.m_min, true);
  Set(other.m_max, true);
}
