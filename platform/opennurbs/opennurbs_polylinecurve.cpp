#include "opennurbs_polylinecurve.h"

#include <algorithm>

#include "opennurbs_nurbscurve.h"

ON_PolylineCurve::ON_PolylineCurve() = default;

ON_PolylineCurve::ON_PolylineCurve(const ON_3dPointArray& points) : m_pline(points) {
  m_t.Reserve(points.Count());
  for (int i = 0; i < points.Count(); ++i) m_t.Append(static_cast<double>(i));
}

bool ON_PolylineCurve::IsValid(ON_TextLog*) const {
  if (!m_pline.IsValid() || m_t.Count() != m_pline.Count()) return false;
  for (int i = 0; i < m_t.Count(); ++i) {
    if (!ON_IsValid(m_t[i])) return false;
    if (i > 0 && !(m_t[i - 1] < m_t[i])) return false;
  }
  return true;
}

bool ON_PolylineCurve::GetBBox(double* boxmin, double* boxmax, bool grow_box) const {
  ON_BoundingBox box;
  for (int i = 0; i < m_pline.Count(); ++i) box.Set(m_pline[i], true);
  return ReturnBBox(box, boxmin, boxmax, grow_box);
}

bool ON_PolylineCurve::Transform(const ON_Xform& xform) {
  for (int i = 0; i < m_pline.Count(); ++i) m_pline[i].Transform(xform);
  return true;
}

ON_Interval ON_PolylineCurve::Domain() const {
  if (m_t.Count() < 1) return ON_Interval();
  return ON_Interval(m_t[0], m_t[m_t.Count() - 1]);
}

ON_3dPoint ON_PolylineCurve::PointAt(double t) const {
  const int count = m_pline.Count();
  if (count < 2 || m_t.Count() != count || !ON_IsValid(t)) return ON_UNSET_POINT;
  // The segment whose parameters hold t; the end segments extend outward.
  const double* begin = m_t.Array();
  int i = static_cast<int>(std::upper_bound(begin + 1, begin + count - 1, t) - begin) - 1;
  const ON_Interval segment(m_t[i], m_t[i + 1]);
  if (!segment.IsIncreasing()) return ON_UNSET_POINT;
  return ON_Line(m_pline[i], m_pline[i + 1]).PointAt(segment.NormalizedParameterAt(t));
}

bool ON_PolylineCurve::IsClosed() const {
  return IsValid() && m_pline.Count() >= 4 && ON_PointsAreCoincident(m_pline[0], m_pline[m_pline.Count() - 1]);
}

int ON_PolylineCurve::GetNurbForm(ON_NurbsCurve& nurbs_curve, double, const ON_Interval* subdomain) const {
  ON_Interval domain;
  if (!IsValid() || !NurbFormDomain(Domain(), subdomain, domain)) return 0;
  const int count = m_pline.Count();
  ON_NurbsCurve curve;
  if (!curve.Create(m_dim, false, 2, count)) return 0;
  for (int i = 0; i < count; ++i) {
    curve.SetCV(i, m_pline[i]);
    curve.m_knot[i] = m_t[i];
  }
  if (subdomain && !curve.Trim(domain)) return 0;
  nurbs_curve.Swap(curve);
  return 1;
}

ON_Curve* ON_PolylineCurve::DuplicateCurve() const { return ON_NewCurveCopy(*this); }
