// ON_ArcCurve: an arc as a curve; its domain m_t maps linearly onto the
// arc's angle interval, so that made from an arc alone it is the arc length
// parameter.
#pragma once

#include "opennurbs_arc.h"
#include "opennurbs_curve.h"

class ON_ArcCurve : public ON_Curve {
 public:
  // The default arc (the unit circle), domain [0, 2 pi].
  ON_ArcCurve();
  // Domain [0, arc.Length()], or [0, 1] when that length is 0.
  ON_ArcCurve(const ON_Arc& arc);  // NOLINT: as in openNURBS
  ON_ArcCurve(const ON_Arc& arc, double t0, double t1);

  ON_Arc m_arc;
  ON_Interval m_t;
  int m_dim = 3;

  int Dimension() const override { return m_dim; }
  // A valid arc and an increasing domain.
  bool IsValid(ON_TextLog* text_log = nullptr) const override;
  bool GetBBox(double* boxmin, double* boxmax, bool grow_box = false) const override;
  // As ON_Circle::Transform: only transformations that keep circles.
  bool Transform(const ON_Xform& xform) override;
  ON_Interval Domain() const override { return m_t; }
  ON_3dPoint PointAt(double t) const override;
  // The arc is a full circle.
  bool IsClosed() const override;
  // ON_Arc::GetNurbForm of the arc (or of its part over the sub-domain),
  // its knots mapped onto the (sub-)domain. Returns 2, or 0.
  int GetNurbForm(ON_NurbsCurve& nurbs_curve, double tolerance = 0.0,
                  const ON_Interval* subdomain = nullptr) const override;
  ON_Curve* DuplicateCurve() const override;

  static ON_ArcCurve* Cast(ON_Geometry* geometry) { return dynamic_cast<ON_ArcCurve*>(geometry); }
  static const ON_ArcCurve* Cast(const ON_Geometry* geometry) { return dynamic_cast<const ON_ArcCurve*>(geometry); }
};
