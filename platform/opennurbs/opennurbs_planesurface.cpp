#include "opennurbs_planesurface.h"

#include <cmath>
#include <new>

#include "opennurbs_linecurve.h"
#include "opennurbs_xform.h"

ON_PlaneSurface::ON_PlaneSurface() : ON_PlaneSurface(ON_Plane::World_xy) {}

ON_PlaneSurface::ON_PlaneSurface(const ON_Plane& plane)
    : m_plane(plane), m_domain{{0.0, 1.0}, {0.0, 1.0}}, m_extents{{0.0, 1.0}, {0.0, 1.0}} {}

ON_PlaneSurface::~ON_PlaneSurface() = default;

ON_ClippingPlaneSurface::~ON_ClippingPlaneSurface() = default;

bool ON_PlaneSurface::SetExtents(int dir, ON_Interval extents, bool sync_domain) {
  if ((dir != 0 && dir != 1) || !extents.IsIncreasing()) return false;
  m_extents[dir] = extents;
  if (sync_domain) m_domain[dir] = extents;
  return true;
}

ON_Interval ON_PlaneSurface::Extents(int dir) const { return (dir == 0 || dir == 1) ? m_extents[dir] : ON_Interval(); }

bool ON_PlaneSurface::SetDomain(int dir, double t0, double t1) {
  const ON_Interval domain(t0, t1);
  if ((dir != 0 && dir != 1) || !domain.IsIncreasing()) return false;
  m_domain[dir] = domain;
  return true;
}

bool ON_PlaneSurface::IsValid(ON_TextLog*) const {
  return m_plane.IsValid() && m_domain[0].IsIncreasing() && m_domain[1].IsIncreasing() && m_extents[0].IsIncreasing() &&
         m_extents[1].IsIncreasing();
}

bool ON_PlaneSurface::GetBBox(double* boxmin, double* boxmax, bool grow_box) const {
  if (!IsValid()) return false;
  ON_BoundingBox box;
  for (int i = 0; i < 4; ++i) box.Set(m_plane.PointAt(m_extents[0][i & 1], m_extents[1][i >> 1]), true);
  return ReturnBBox(box, boxmin, boxmax, grow_box);
}

bool ON_PlaneSurface::Transform(const ON_Xform& xform) {
  const ON_3dPoint origin = xform * m_plane.origin;
  const ON_3dVector x = xform * (m_plane.origin + m_plane.xaxis) - origin;
  const ON_3dVector y = xform * (m_plane.origin + m_plane.yaxis) - origin;
  const double sx = x.Length(), sy = y.Length();
  if (!(sx > 0.0) || !(sy > 0.0) || !(std::fabs(x * y) <= ON_SQRT_EPSILON * sx * sy)) return false;
  ON_Plane plane;
  if (!plane.CreateFromFrame(origin, x, y)) return false;
  m_plane = plane;
  m_extents[0].Set(m_extents[0][0] * sx, m_extents[0][1] * sx);
  m_extents[1].Set(m_extents[1][0] * sy, m_extents[1][1] * sy);
  return true;
}

ON_Interval ON_PlaneSurface::Domain(int dir) const { return (dir == 0 || dir == 1) ? m_domain[dir] : ON_Interval(); }

ON_3dPoint ON_PlaneSurface::PointAt(double u, double v) const {
  if (!IsValid() || !ON_IsValid(u) || !ON_IsValid(v)) return ON_UNSET_POINT;
  return m_plane.PointAt(m_extents[0].ParameterAt(m_domain[0].NormalizedParameterAt(u)),
                         m_extents[1].ParameterAt(m_domain[1].NormalizedParameterAt(v)));
}

ON_Curve* ON_PlaneSurface::IsoCurve(int dir, double c) const {
  if ((dir != 0 && dir != 1) || !IsValid() || !ON_IsValid(c)) return nullptr;
  const ON_Interval& t = m_domain[dir];
  const ON_Line line =
      dir == 0 ? ON_Line(PointAt(t[0], c), PointAt(t[1], c)) : ON_Line(PointAt(c, t[0]), PointAt(c, t[1]));
  return new (std::nothrow) ON_LineCurve(line, t[0], t[1]);
}
