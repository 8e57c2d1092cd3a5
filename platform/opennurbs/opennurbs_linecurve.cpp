#include "opennurbs_linecurve.h"

#include "opennurbs_nurbscurve.h"

ON_LineCurve::ON_LineCurve() : m_t(0.0, 1.0) {}

ON_LineCurve::ON_LineCurve(const ON_Line& line) : m_line(line), m_t(0.0, line.Length()) {}

ON_LineCurve::ON_LineCurve(const ON_3dPoint& from, const ON_3dPoint& to) : ON_LineCurve(ON_Line(from, to)) {}

ON_LineCurve::ON_LineCurve(const ON_Line& line, double t0, double t1) : m_line(line), m_t(t0, t1) {}

bool ON_LineCurve::IsValid(ON_TextLog*) const { return m_line.IsValid() && m_t.IsIncreasing(); }

bool ON_LineCurve::GetBBox(double* boxmin, double* boxmax, bool grow_box) const {
  ON_BoundingBox box;
  box.Set(m_line.from, false);
  box.Set(m_line.to, true);
  return ReturnBBox(box, boxmin, boxmax, grow_box);
}

bool ON_LineCurve::Transform(const ON_Xform& xform) {
  m_line.Transform(xform);
  return true;
}

ON_3dPoint ON_LineCurve::PointAt(double t) const {
  if (!m_t.IsIncreasing() || !ON_IsValid(t)) return ON_UNSET_POINT;
  return m_line.PointAt(m_t.NormalizedParameterAt(t));
}

int ON_LineCurve::GetNurbForm(ON_NurbsCurve& nurbs_curve, double, const ON_Interval* subdomain) const {
  ON_Interval domain;
  if (!IsValid() || !NurbFormDomain(m_t, subdomain, domain)) return 0;
  ON_NurbsCurve curve;
  if (!curve.Create(m_dim, false, 2, 2)) return 0;
  curve.SetCV(0, PointAt(domain[0]));
  curve.SetCV(1, PointAt(domain[1]));
  curve.m_knot[0] = domain[0];
  curve.m_knot[1] = domain[1];
  nurbs_curve.Swap(curve);
  return 1;
}

ON_Curve* ON_LineCurve::DuplicateCurve() const { return ON_NewCurveCopy(*this); }
