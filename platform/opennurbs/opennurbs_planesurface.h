// ON_PlaneSurface: a rectangle of a plane. Parameter u runs over
// m_domain[0] while the plane coordinate x runs over m_extents[0] (the same
// for v, m_domain[1] and y), linearly.
#pragma once

#include "opennurbs_plane.h"
#include "opennurbs_surface.h"

class ON_PlaneSurface : public ON_Surface {
 public:
  // The world XY plane; domains and extents [0, 1].
  ON_PlaneSurface();
  // Domains and extents [0, 1].
  explicit ON_PlaneSurface(const ON_Plane& plane);
  ~ON_PlaneSurface() override;

  ON_Plane m_plane;
  ON_Interval m_domain[2];
  ON_Interval m_extents[2];

  // Sets the plane coordinates the direction covers, and with sync_domain
  // the parameter domain to the same interval. False, unchanged, for
  // another direction or an interval that is not increasing.
  bool SetExtents(int dir, ON_Interval extents, bool sync_domain = false);
  ON_Interval Extents(int dir) const;
  // False, unchanged, for another direction or unless t0 < t1.
  bool SetDomain(int dir, double t0, double t1);

  int Dimension() const override { return 3; }
  // A valid plane, increasing domains and extents.
  bool IsValid(ON_TextLog* text_log = nullptr) const override;
  bool GetBBox(double* boxmin, double* boxmax, bool grow_box = false) const override;
  // Moves the plane; the extents follow a transformation that scales the
  // plane's two axes by any amounts but keeps them perpendicular. False,
  // unchanged, for one that shears the plane.
  bool Transform(const ON_Xform& xform) override;
  ON_Interval Domain(int dir) const override;
  ON_3dPoint PointAt(double u, double v) const override;
  // An ON_LineCurve across the rectangle on the direction's domain.
  ON_Curve* IsoCurve(int dir, double c) const override;

  // The object as a plane surface (any class derived from it), else null.
  static ON_PlaneSurface* Cast(ON_Geometry* geometry) { return dynamic_cast<ON_PlaneSurface*>(geometry); }
  static const ON_PlaneSurface* Cast(const ON_Geometry* geometry) {
    return dynamic_cast<const ON_PlaneSurface*>(geometry);
  }
};

// A plane surface used as a clipping plane; geometrically a plane surface.
class ON_ClippingPlaneSurface : public ON_PlaneSurface {
 public:
  ON_ClippingPlaneSurface() = default;
  explicit ON_ClippingPlaneSurface(const ON_Plane& plane) : ON_PlaneSurface(plane) {}
  ~ON_ClippingPlaneSurface() override;
};
