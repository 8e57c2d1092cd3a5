// ON_NurbsSurface: a tensor-product NURBS surface in openNURBS's form.
//
// Direction 0 is u, direction 1 is v. Control point (i, j), 0 <= i <
// m_cv_count[0], 0 <= j < m_cv_count[1], starts at m_cv + i * m_cv_stride[0]
// + j * m_cv_stride[1] (j runs fastest: m_cv_stride[1] = CVSize(),
// m_cv_stride[0] = CVSize() * m_cv_count[1]); its m_dim coordinates are
// followed, for a rational surface, by the weight, the coordinates being
// homogeneous. m_knot[dir] holds KnotCount(dir) = m_order[dir] +
// m_cv_count[dir] - 2 knots (see opennurbs_knot.h). The surface owns its
// arrays.
#pragma once

#include "opennurbs_nurbscurve.h"
#include "opennurbs_surface.h"

class ON_NurbsSurface : public ON_Surface {
 public:
  // An empty surface (not valid).
  ON_NurbsSurface();
  // As Create; an empty surface when that fails.
  ON_NurbsSurface(int dimension, bool is_rational, int order0, int order1, int cv_count0, int cv_count1);
  // Copies throw std::bad_alloc when there is no memory (the target then
  // unchanged); a surface of a shape Create refuses copies as an empty one.
  // Moves take the arrays.
  ON_NurbsSurface(const ON_NurbsSurface& src);
  ON_NurbsSurface& operator=(const ON_NurbsSurface& src);
  ON_NurbsSurface(ON_NurbsSurface&& src) noexcept;
  ON_NurbsSurface& operator=(ON_NurbsSurface&& src) noexcept;
  ~ON_NurbsSurface() override;

  int m_dim = 0;
  int m_is_rat = 0;
  int m_order[2] = {0, 0};
  int m_cv_count[2] = {0, 0};
  int m_knot_capacity[2] = {0, 0};
  double* m_knot[2] = {nullptr, nullptr};
  int m_cv_stride[2] = {0, 0};
  int m_cv_capacity = 0;
  double* m_cv = nullptr;

  // Makes the arrays for the shape: knots 0, control points at the origin,
  // weights 1. False, surface unchanged, for a dimension outside 1..3, an
  // order below 2, a count below its order, or no memory.
  bool Create(int dimension, bool is_rational, int order0, int order1, int cv_count0, int cv_count1);
  void Destroy();

  int Dimension() const override { return m_dim; }
  // The shape consistent, both knot vectors valid, every value finite and
  // every weight above 0.
  bool IsValid(ON_TextLog* text_log = nullptr) const override;
  // The box of the Euclidean control points, which holds the surface.
  bool GetBBox(double* boxmin, double* boxmax, bool grow_box = false) const override;
  // Transforms the control points (homogeneous ones by the whole matrix).
  // False for a surface that is not three-dimensional.
  bool Transform(const ON_Xform& xform) override;
  // [Knot(dir, Order(dir) - 2), Knot(dir, CVCount(dir) - 1)].
  ON_Interval Domain(int dir) const override;
  // By de Boor's algorithm in v, then in u.
  ON_3dPoint PointAt(double u, double v) const override;
  // The knots of the direction are periodic (ON_IsKnotVectorPeriodic) and
  // every row of control points along it wraps: its last Order(dir) - 1
  // control points are its first ones.
  bool IsPeriodic(int dir) const override;
  // A new ON_NurbsCurve of the direction's order, control-point count and
  // knots, whose control points are the surface's rows evaluated across at
  // c: exactly the surface's points along the iso-line (outside the other
  // direction's domain the surface's end spans are extended).
  ON_Curve* IsoCurve(int dir, double c) const override;

  int Order(int dir) const { return (dir == 0 || dir == 1) ? m_order[dir] : 0; }
  int CVCount(int dir) const { return (dir == 0 || dir == 1) ? m_cv_count[dir] : 0; }
  // CVCount(0) * CVCount(1).
  int CVCount() const { return m_cv_count[0] * m_cv_count[1]; }
  int KnotCount(int dir) const;
  int CVSize() const { return m_dim + (m_is_rat ? 1 : 0); }
  bool IsRational() const { return m_is_rat != 0; }

  // Knot i of the direction; 0.0 out of range.
  double Knot(int dir, int knot_index) const;
  bool SetKnot(int dir, int knot_index, double knot_value);
  // Sets the direction's clamped uniform knots spaced delta.
  bool MakeClampedUniformKnotVector(int dir, double delta = 1.0);

  // Control point (i, j); null out of range.
  double* CV(int i, int j) const;
  // As ON_NurbsCurve::SetCV, GetCV, Weight and SetWeight.
  bool SetCV(int i, int j, const ON_3dPoint& point);
  bool SetCV(int i, int j, const ON_4dPoint& point);
  bool GetCV(int i, int j, ON_3dPoint& point) const;
  bool GetCV(int i, int j, ON_4dPoint& point) const;
  double Weight(int i, int j) const;
  bool SetWeight(int i, int j, double weight);

  static ON_NurbsSurface* Cast(ON_Geometry* geometry) { return dynamic_cast<ON_NurbsSurface*>(geometry); }
  static const ON_NurbsSurface* Cast(const ON_Geometry* geometry) {
    return dynamic_cast<const ON_NurbsSurface*>(geometry);
  }

  void Swap(ON_NurbsSurface& other) noexcept;

 private:
  // The homogeneous points of the iso-line of `dir` at c for the control
  // point indexes [first, first + count) along dir, CVSize() doubles each.
  bool IsoPoints(int dir, double c, int first, int count, double* points) const;
  // IsValid but for the values of the control points.
  bool ShapeIsValid() const;
};
