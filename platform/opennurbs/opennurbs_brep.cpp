#include "opennurbs_brep.h"

#include <new>
#include <utility>

const ON_Curve* ON_BrepEdge::EdgeCurveOf() const {
  if (!m_brep || m_c3i < 0 || m_c3i >= m_brep->m_C3.Count()) return nullptr;
  return m_brep->m_C3[m_c3i];
}

ON_Brep::ON_Brep(const ON_Brep& src) : ON_Geometry(src), m_C3(src.m_C3), m_V(src.m_V), m_E(src.m_E) {
  PointEdgesHere();
}

ON_Brep& ON_Brep::operator=(const ON_Brep& src) {
  if (this != &src) {
    ON_Brep copy(src);
    *this = std::move(copy);
  }
  return *this;
}

ON_Brep::ON_Brep(ON_Brep&& src) noexcept
    : ON_Geometry(src), m_C3(std::move(src.m_C3)), m_V(std::move(src.m_V)), m_E(std::move(src.m_E)) {
  PointEdgesHere();
}

ON_Brep& ON_Brep::operator=(ON_Brep&& src) noexcept {
  if (this != &src) {
    m_C3 = std::move(src.m_C3);
    m_V = std::move(src.m_V);
    m_E = std::move(src.m_E);
    PointEdgesHere();
  }
  return *this;
}

ON_Brep::~ON_Brep() = default;

void ON_Brep::PointEdgesHere() {
  for (int i = 0; i < m_E.Count(); ++i) m_E[i].m_brep = this;
}

ON_BrepVertex& ON_Brep::NewVertex() {
  ON_BrepVertex& vertex = m_V.AppendNew();
  vertex.m_vertex_index = m_V.Count() - 1;
  return vertex;
}

ON_BrepVertex& ON_Brep::NewVertex(ON_3dPoint vertex_point, double vertex_tolerance) {
  ON_BrepVertex& vertex = NewVertex();
  vertex.point = vertex_point;
  vertex.m_tolerance = vertex_tolerance;
  return vertex;
}

int ON_Brep::AddEdgeCurve(ON_Curve* curve) {
  if (!curve || !m_C3.Reserve(m_C3.Count() + 1)) return -1;
  m_C3.Append(curve);
  return m_C3.Count() - 1;
}

ON_BrepEdge& ON_Brep::NewEdge(ON_BrepVertex& v0, ON_BrepVertex& v1, int c3i, const ON_Interval* sub_domain,
                              double edge_tolerance) {
  // Room first, so that a failure leaves no half-made edge.
  if (!m_E.Reserve(m_E.Count() + 1) || !v0.m_ei.Reserve(v0.m_ei.Count() + 2) || !v1.m_ei.Reserve(v1.m_ei.Count() + 1))
    throw std::bad_alloc();
  ON_BrepEdge& edge = m_E.AppendNew();
  edge.m_edge_index = m_E.Count() - 1;
  edge.m_c3i = c3i;
  edge.m_vi[0] = v0.m_vertex_index;
  edge.m_vi[1] = v1.m_vertex_index;
  edge.m_tolerance = edge_tolerance;
  edge.m_brep = this;
  const ON_Curve* curve = edge.EdgeCurveOf();
  if (sub_domain)
    edge.SetProxyCurveDomain(*sub_domain);
  else if (curve)
    edge.SetProxyCurveDomain(curve->Domain());
  v0.m_ei.Append(edge.m_edge_index);
  v1.m_ei.Append(edge.m_edge_index);
  return edge;
}

void ON_Brep::Destroy() {
  m_C3.Destroy();
  m_V.Destroy();
  m_E.Destroy();
}

bool ON_Brep::IsValid(ON_TextLog*) const {
  const int vertex_count = m_V.Count(), edge_count = m_E.Count();
  for (int vi = 0; vi < vertex_count; ++vi) {
    const ON_BrepVertex& vertex = m_V[vi];
    if (vertex.m_vertex_index != vi || !vertex.point.IsValid()) return false;
    for (int k = 0; k < vertex.m_ei.Count(); ++k) {
      const int ei = vertex.m_ei[k];
      if (ei < 0 || ei >= edge_count || (m_E[ei].m_vi[0] != vi && m_E[ei].m_vi[1] != vi)) return false;
    }
  }
  for (int ei = 0; ei < edge_count; ++ei) {
    const ON_BrepEdge& edge = m_E[ei];
    const ON_Curve* curve = edge.EdgeCurveOf();
    if (edge.m_edge_index != ei || edge.m_brep != this || !curve || !curve->IsValid()) return false;
    const ON_Interval domain = edge.Domain(), curve_domain = curve->Domain();
    if (!domain.IsIncreasing() || domain[0] < curve_domain[0] || domain[1] > curve_domain[1]) return false;
    for (int end = 0; end < 2; ++end) {
      const int vi = edge.m_vi[end];
      if (vi < 0 || vi >= vertex_count) return false;
      const ON_SimpleArray<int>& listed = m_V[vi].m_ei;
      bool found = false;
      for (int k = 0; k < listed.Count() && !found; ++k) found = listed[k] == ei;
      if (!found) return false;
    }
  }
  return true;
}

bool ON_Brep::GetBBox(double* boxmin, double* boxmax, bool grow_box) const {
  ON_BoundingBox box;
  for (int i = 0; i < m_V.Count(); ++i) box.Set(m_V[i].point, true);
  for (int i = 0; i < m_C3.Count(); ++i)
    if (m_C3[i]) box.Union(m_C3[i]->BoundingBox());
  return ReturnBBox(box, boxmin, boxmax, grow_box);
}

bool ON_Brep::Transform(const ON_Xform& xform) {
  try {
    ON_CurveArray curves(m_C3);
    for (int i = 0; i < curves.Count(); ++i)
      if (curves[i] && !curves[i]->Transform(xform)) return false;
    m_C3 = std::move(curves);
  } catch (const std::bad_alloc&) {
    return false;
  }
  for (int i = 0; i < m_V.Count(); ++i) m_V[i].point.Transform(xform);
  return true;
}
