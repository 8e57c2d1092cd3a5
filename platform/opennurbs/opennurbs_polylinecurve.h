// ON_PolylineCurve: a polyline as a curve; vertex i is at parameter m_t[i].
#pragma once

#include "opennurbs_curve.h"
#include "opennurbs_line.h"

class ON_PolylineCurve : public ON_Curve {
 public:
  // No points (not valid).
  ON_PolylineCurve();
  // The points in order, vertex i at parameter i.
  ON_PolylineCurve(const ON_3dPointArray& points);  // NOLINT: as in openNURBS

  ON_Polyline m_pline;
  ON_SimpleArray<double> m_t;
  int m_dim = 3;

  int PointCount() const { return m_pline.PointCount(); }

  int Dimension() const override { return m_dim; }
  // A valid polyline (ON_Polyline::IsValid) and one finite, strictly
  // increasing parameter per point.
  bool IsValid(ON_TextLog* text_log = nullptr) const override;
  bool GetBBox(double* boxmin, double* boxmax, bool grow_box = false) const override;
  bool Transform(const ON_Xform& xform) override;
  ON_Interval Domain() const override;
  ON_3dPoint PointAt(double t) const override;
  // At least four points, the last coinciding with the first.
  bool IsClosed() const override;
  // Order 2, the points as control points, m_t as knots (trimmed to the
  // sub-domain). Returns 1, or 0.
  int GetNurbForm(ON_NurbsCurve& nurbs_curve, double tolerance = 0.0,
                  const ON_Interval* subdomain = nullptr) const override;
  ON_Curve* DuplicateCurve() const override;

  static ON_PolylineCurve* Cast(ON_Geometry* geometry) { return dynamic_cast<ON_PolylineCurve*>(geometry); }
  static const ON_PolylineCurve* Cast(const ON_Geometry* geometry) {
    return dynamic_cast<const ON_PolylineCurve*>(geometry);
  }
};
