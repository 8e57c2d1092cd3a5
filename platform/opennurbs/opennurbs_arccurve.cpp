#include "opennurbs_arccurve.h"

#include "opennurbs_nurbscurve.h"

ON_ArcCurve::ON_ArcCurve() : ON_ArcCurve(ON_Arc()) {}

ON_ArcCurve::ON_ArcCurve(const ON_Arc& arc) : m_arc(arc), m_t(0.0, arc.Length() == 0.0 ? 1.0 : arc.Length()) {}

ON_ArcCurve::ON_ArcCurve(const ON_Arc& arc, double t0, double t1) : m_arc(arc), m_t(t0, t1) {}

bool ON_ArcCurve::IsValid(ON_TextLog*) const { return m_arc.IsValid() && m_t.IsIncreasing(); }

bool ON_ArcCurve::GetBBox(double* boxmin, double* boxmax, bool grow_box) const {
  // The control points of the NURBS form hold the arc.
  ON_NurbsCurve nurbs;
  return GetNurbForm(nurbs) != 0 && nurbs.GetBBox(boxmin, boxmax, grow_box);
}

bool ON_ArcCurve::Transform(const ON_Xform& xform) { return m_arc.Transform(xform); }

ON_3dPoint ON_ArcCurve::PointAt(double t) const {
  if (!m_t.IsIncreasing() || !ON_IsValid(t)) return ON_UNSET_POINT;
  return m_arc.PointAt(m_arc.m_angle.ParameterAt(m_t.NormalizedParameterAt(t)));
}

bool ON_ArcCurve::IsClosed() const { return IsValid() && m_arc.IsCircle(); }

int ON_ArcCurve::GetNurbForm(ON_NurbsCurve& nurbs_curve, double, const ON_Interval* subdomain) const {
  ON_Interval domain;
  if (!IsValid() || !NurbFormDomain(m_t, subdomain, domain)) return 0;
  ON_Arc arc = m_arc;
  if (subdomain) {
    arc.m_angle.Set(m_arc.m_angle.ParameterAt(m_t.NormalizedParameterAt(domain[0])),
                    m_arc.m_angle.ParameterAt(m_t.NormalizedParameterAt(domain[1])));
  }
  ON_NurbsCurve curve;
  if (!arc.GetNurbForm(curve) || !curve.SetDomain(domain[0], domain[1])) return 0;
  nurbs_curve.Swap(curve);
  return 2;
}

ON_Curve* ON_ArcCurve::DuplicateCurve() const { return ON_NewCurveCopy(*this); }
