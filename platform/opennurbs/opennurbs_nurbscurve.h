// ON_NurbsCurve: a NURBS curve in openNURBS's form.
//
// m_order is the degree + 1; the m_cv_count control points lie m_cv_stride
// doubles apart in m_cv, each m_dim coordinates, followed for a rational
// curve (m_is_rat) by its weight: the coordinates are kept homogeneous, the
// Euclidean point being (x/w, y/w, z/w). m_knot holds KnotCount() = m_order +
// m_cv_count - 2 knots: the full knot vector without its first and last
// knot (see opennurbs_knot.h). The curve owns its arrays; m_knot_capacity
// and m_cv_capacity are their sizes in doubles.
#pragma once

#include "opennurbs_curve.h"
#include "opennurbs_point.h"

class ON_NurbsCurve : public ON_Curve {
 public:
  // An empty curve (not valid).
  ON_NurbsCurve();
  // As Create; an empty curve when that fails.
  ON_NurbsCurve(int dimension, bool is_rational, int order, int cv_count);
  // Copies throw std::bad_alloc when there is no memory (the target then
  // unchanged); a curve of a shape Create refuses copies as an empty one.
  // Moves take the arrays.
  ON_NurbsCurve(const ON_NurbsCurve& src);
  ON_NurbsCurve& operator=(const ON_NurbsCurve& src);
  ON_NurbsCurve(ON_NurbsCurve&& src) noexcept;
  ON_NurbsCurve& operator=(ON_NurbsCurve&& src) noexcept;
  ~ON_NurbsCurve() override;

  int m_dim = 0;
  int m_is_rat = 0;
  int m_order = 0;
  int m_cv_count = 0;
  int m_knot_capacity = 0;
  double* m_knot = nullptr;
  int m_cv_stride = 0;
  int m_cv_capacity = 0;
  double* m_cv = nullptr;

  // Makes the curve's arrays for the given shape: the knots 0, the control
  // points at the origin, weights 1. False, curve unchanged, for dimension
  // < 1, order < 2, cv_count < order, or no memory.
  bool Create(int dimension, bool is_rational, int order, int cv_count);
  // The non-rational curve of `order` whose control points are the first
  // point_count points (their first `dimension` coordinates, 1 to 3) on the
  // clamped uniform knots spaced knot_delta (ON_MakeClampedUniformKnotVector).
  // False, curve unchanged, for order < 2, point_count < order, a null
  // point list, a delta not above 0 or no memory.
  bool CreateClampedUniformNurbs(int dimension, int order, int point_count, const ON_3dPoint* point,
                                 double knot_delta = 1.0);
  // Frees the arrays and empties the curve.
  void Destroy();

  int Dimension() const override { return m_dim; }
  // The shape is consistent, the knots valid (ON_IsValidKnotVector), every
  // value finite and every weight above 0.
  bool IsValid(ON_TextLog* text_log = nullptr) const override;
  // The box of the Euclidean control points, which holds the curve.
  bool GetBBox(double* boxmin, double* boxmax, bool grow_box = false) const override;
  // Transforms the control points (homogeneous ones by the whole matrix).
  // False for a curve that is not three-dimensional.
  bool Transform(const ON_Xform& xform) override;

  // [Knot(m_order - 2), Knot(m_cv_count - 1)]; unset for an empty curve.
  ON_Interval Domain() const override;
  // By de Boor's algorithm.
  ON_3dPoint PointAt(double t) const override;
  // Periodic, or ends that coincide with at least four control points.
  bool IsClosed() const override;
  // Order 3 or more, the knot intervals repeating across the period and
  // the last m_order - 1 control points the same as the first ones.
  bool IsPeriodic() const override;
  // A copy, trimmed to the sub-domain when one is given. Returns 1, or 0.
  int GetNurbForm(ON_NurbsCurve& nurbs_curve, double tolerance = 0.0,
                  const ON_Interval* subdomain = nullptr) const override;
  ON_Curve* DuplicateCurve() const override;

  int Order() const { return m_order; }
  int CVCount() const { return m_cv_count; }
  // Order() + CVCount() - 2 (0 for an empty curve).
  int KnotCount() const;
  // Doubles per control point: m_dim, plus 1 for a rational curve.
  int CVSize() const { return m_dim + (m_is_rat ? 1 : 0); }
  bool IsRational() const { return m_is_rat != 0; }

  // Knot i; 0.0 for an index out of range.
  double Knot(int knot_index) const;
  bool SetKnot(int knot_index, double knot_value);
  // Sets the clamped uniform knots spaced delta.
  bool MakeClampedUniformKnotVector(double delta = 1.0);

  // The control point's doubles, null for an index out of range.
  double* CV(int cv_index) const;
  // Sets a control point from a Euclidean point: a rational curve's
  // weight becomes 1. Coordinates beyond m_dim are dropped.
  bool SetCV(int cv_index, const ON_3dPoint& point);
  // From a homogeneous point: stored as is on a rational curve, divided by
  // its weight (which must not be 0) on a non-rational one.
  bool SetCV(int cv_index, const ON_4dPoint& point);
  // The Euclidean control point (homogeneous coordinates divided by the
  // weight); coordinates past m_dim are 0. False for an index out of range
  // or a weight of 0.
  bool GetCV(int cv_index, ON_3dPoint& point) const;
  // The homogeneous control point (weight 1 for a non-rational curve).
  bool GetCV(int cv_index, ON_4dPoint& point) const;
  // The weight; 1 for a non-rational curve or an index out of range.
  double Weight(int cv_index) const;
  // Sets the homogeneous weight of a rational curve's control point (the
  // homogeneous coordinates are kept, so the Euclidean point moves). On a
  // non-rational curve only a weight of 1 is accepted.
  bool SetWeight(int cv_index, double weight);

  // Maps the knots linearly onto [t0, t1] (the curve's points unchanged).
  // False unless t0 < t1, both finite, and the curve has knots.
  bool SetDomain(double t0, double t1);

  // Keeps the part of the curve over the sub-interval of its domain, on the
  // same parameter, clamped at both ends (knots inserted by Boehm's
  // algorithm). False, curve unchanged, for an invalid curve, an interval
  // that is not increasing inside the domain, or no memory.
  bool Trim(const ON_Interval& sub_domain);

  static ON_NurbsCurve* Cast(ON_Geometry* geometry) { return dynamic_cast<ON_NurbsCurve*>(geometry); }
  static const ON_NurbsCurve* Cast(const ON_Geometry* geometry) { return dynamic_cast<const ON_NurbsCurve*>(geometry); }

  void Swap(ON_NurbsCurve& other) noexcept;
};
