// ON_Brep, the part of it this subset holds: vertices, edges and the edges'
// 3D curves. An edge uses the part of its 3D curve over a sub-domain of the
// curve's domain, from vertex m_vi[0] to vertex m_vi[1]. (Faces, loops,
// trims and 2D curves are not kept.)
#pragma once

#include "opennurbs_curve.h"

class ON_Brep;

class ON_BrepVertex {
 public:
  ON_BrepVertex() = default;
  explicit ON_BrepVertex(int vertex_index) : m_vertex_index(vertex_index) {}

  int m_vertex_index = -1;
  ON_3dPoint point;
  // The edges that start or end here (an edge from the vertex to itself
  // twice).
  ON_SimpleArray<int> m_ei;
  double m_tolerance = ON_UNSET_VALUE;

  const ON_3dPoint& Point() const { return point; }
  void SetPoint(const ON_3dPoint& p) { point = p; }
  int EdgeCount() const { return m_ei.Count(); }
};

class ON_BrepEdge {
 public:
  ON_BrepEdge() = default;

  int m_edge_index = -1;
  int m_c3i = -1;  // index of the 3D curve in the brep's m_C3
  int m_vi[2] = {-1, -1};
  double m_tolerance = ON_UNSET_VALUE;
  ON_Brep* m_brep = nullptr;

  // The edge's 3D curve, null when it has none.
  const ON_Curve* EdgeCurveOf() const;
  int EdgeCurveIndexOf() const { return m_c3i; }
  // The sub-domain of the 3D curve the edge uses; the edge's own parameter
  // is the curve's.
  ON_Interval ProxyCurveDomain() const { return m_domain; }
  ON_Interval Domain() const { return m_domain; }
  void SetProxyCurveDomain(const ON_Interval& domain) { m_domain = domain; }

 private:
  ON_Interval m_domain;
};

class ON_BrepVertexArray : public ON_ClassArray<ON_BrepVertex> {};
class ON_BrepEdgeArray : public ON_ClassArray<ON_BrepEdge> {};

class ON_Brep : public ON_Geometry {
 public:
  ON_Brep() = default;
  // Copies duplicate the curves and point the copied edges at the copy;
  // they throw std::bad_alloc when memory runs out (the target unchanged).
  ON_Brep(const ON_Brep& src);
  ON_Brep& operator=(const ON_Brep& src);
  ON_Brep(ON_Brep&& src) noexcept;
  ON_Brep& operator=(ON_Brep&& src) noexcept;
  ~ON_Brep() override;

  ON_CurveArray m_C3;  // the edges' 3D curves, owned
  ON_BrepVertexArray m_V;
  ON_BrepEdgeArray m_E;

  // A new vertex at the end of m_V (std::bad_alloc when memory runs out:
  // there is no reference to answer instead). References into m_V and m_E
  // last until the next vertex or edge is added.
  ON_BrepVertex& NewVertex();
  ON_BrepVertex& NewVertex(ON_3dPoint vertex_point, double vertex_tolerance = ON_UNSET_VALUE);
  // Takes ownership of the curve and answers its index in m_C3; -1 for a
  // null curve or when memory runs out (the caller then keeps the curve).
  int AddEdgeCurve(ON_Curve* curve);
  // A new edge at the end of m_E on the 3D curve m_C3[c3i], over
  // `sub_domain` (the whole curve when null), from v0 to v1, which must be
  // vertices of this brep; it is added to their edge lists. As in NewVertex
  // for memory. Inconsistent arguments make an edge that IsValid() refuses.
  ON_BrepEdge& NewEdge(ON_BrepVertex& v0, ON_BrepVertex& v1, int c3i, const ON_Interval* sub_domain = nullptr,
                       double edge_tolerance = ON_UNSET_VALUE);

  // Deletes the curves and empties the arrays.
  void Destroy();

  int Dimension() const override { return 3; }
  // Every record's index is its place; every edge's curve exists and is
  // valid, its domain increasing inside the curve's, its vertices exist and
  // list it; every vertex point is valid and its edges exist. (The
  // geometric match of edge ends and vertices is not checked.)
  bool IsValid(ON_TextLog* text_log = nullptr) const override;
  // The box of the vertices and the 3D curves.
  bool GetBBox(double* boxmin, double* boxmax, bool grow_box = false) const override;
  // Transforms the 3D curves and the vertices; false, brep unchanged, when a
  // curve refuses the transformation or memory runs out.
  bool Transform(const ON_Xform& xform) override;

  static ON_Brep* Cast(ON_Geometry* geometry) { return dynamic_cast<ON_Brep*>(geometry); }
  static const ON_Brep* Cast(const ON_Geometry* geometry) { return dynamic_cast<const ON_Brep*>(geometry); }

 private:
  void PointEdgesHere();
};
