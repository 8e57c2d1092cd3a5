// ON_BoundingBox: an axis-aligned box, m_min to m_max.
#pragma once

#include "opennurbs_point.h"

class ON_BoundingBox {
 public:
  // The empty box: m_min (1,0,0) above m_max (-1,0,0), so IsValid() is
  // false and the first point set into it with growing makes it that point.
  ON_BoundingBox();
  ON_BoundingBox(const ON_3dPoint& min_point, const ON_3dPoint& max_point) : m_min(min_point), m_max(max_point) {}

  ON_3dPoint m_min;
  ON_3dPoint m_max;

  // Empties the box.
  void Destroy();
  // Both corners valid and m_min <= m_max in every coordinate.
  bool IsValid() const;

  const ON_3dPoint& Min() const { return m_min; }
  const ON_3dPoint& Max() const { return m_max; }
  ON_3dPoint Center() const { return (m_min + m_max) * 0.5; }
  ON_3dVector Diagonal() const { return m_max - m_min; }

  // Makes the box the point, or with grow_box and a valid box, the smallest
  // box holding the box and the point. False (box unchanged) for a point
  // that is not valid.
  bool Set(const ON_3dPoint& point, bool grow_box = false);
  // The smallest box holding both; an empty box adds nothing.
  void Union(const ON_BoundingBox& other);
};
