// ON_LineCurve: a line segment as a curve, m_line.from at m_t[0] and
// m_line.to at m_t[1].
#pragma once

#include "opennurbs_curve.h"
#include "opennurbs_line.h"

class ON_LineCurve : public ON_Curve {
 public:
  // Both ends at the origin (not valid), domain [0, 1].
  ON_LineCurve();
  // Domain [0, line length].
  ON_LineCurve(const ON_Line& line);  // NOLINT: as in openNURBS
  ON_LineCurve(const ON_3dPoint& from, const ON_3dPoint& to);
  ON_LineCurve(const ON_Line& line, double t0, double t1);

  ON_Line m_line;
  ON_Interval m_t;
  int m_dim = 3;

  int Dimension() const override { return m_dim; }
  // A valid line and an increasing domain.
  bool IsValid(ON_TextLog* text_log = nullptr) const override;
  bool GetBBox(double* boxmin, double* boxmax, bool grow_box = false) const override;
  bool Transform(const ON_Xform& xform) override;
  ON_Interval Domain() const override { return m_t; }
  ON_3dPoint PointAt(double t) const override;
  bool IsClosed() const override { return false; }
  // Order 2, two control points, knots the (sub-)domain. Returns 1, or 0.
  int GetNurbForm(ON_NurbsCurve& nurbs_curve, double tolerance = 0.0,
                  const ON_Interval* subdomain = nullptr) const override;
  ON_Curve* DuplicateCurve() const override;

  static ON_LineCurve* Cast(ON_Geometry* geometry) { return dynamic_cast<ON_LineCurve*>(geometry); }
  static const ON_LineCurve* Cast(const ON_Geometry* geometry) { return dynamic_cast<const ON_LineCurve*>(geometry); }
};
