// ON_Curve: the abstract parametric curve, and ON_CurveArray, an array that
// owns its curves.
#pragma once

#include <new>

#include "opennurbs_array.h"
#include "opennurbs_geometry.h"
#include "opennurbs_interval.h"

class ON_NurbsCurve;

class ON_Curve : public ON_Geometry {
 public:
  ON_Curve() = default;
  ON_Curve(const ON_Curve&) = default;
  ON_Curve& operator=(const ON_Curve&) = default;
  ~ON_Curve() override;

  // The parameter interval (increasing for a valid curve).
  virtual ON_Interval Domain() const = 0;
  // The point at parameter t; outside the domain the curve's end pieces
  // are extended. ON_UNSET_POINT when the curve cannot be evaluated.
  virtual ON_3dPoint PointAt(double t) const = 0;
  ON_3dPoint PointAtStart() const;
  ON_3dPoint PointAtEnd() const;

  // True when the curve is valid, ends where it starts
  // (ON_PointsAreCoincident) and is not a single point.
  virtual bool IsClosed() const;
  // True when the curve is periodic (a closed NURBS curve whose ends join
  // smoothly by wrapped control points); false for the other classes.
  virtual bool IsPeriodic() const;

  // The curve, or with `subdomain` its part over that interval of its own
  // parameter, as a NURBS curve on the same parameter. `tolerance` is
  // accepted for the interface: every class here converts exactly. Returns
  // 1 when the NURBS curve has the curve's parameterisation, 2 when it has
  // its points but a different parameterisation between the knots (arcs),
  // and 0 when it cannot be made (an invalid curve, a sub-domain that is
  // not an increasing interval inside the domain, no memory); on 0 the
  // given curve is untouched.
  virtual int GetNurbForm(ON_NurbsCurve& nurbs_curve, double tolerance = 0.0,
                          const ON_Interval* subdomain = nullptr) const = 0;

  // A new copy of the same class, which the caller deletes; null when
  // there is no memory.
  virtual ON_Curve* DuplicateCurve() const = 0;

  // The object as a curve (any class derived from ON_Curve), else null.
  static ON_Curve* Cast(ON_Geometry* geometry) { return dynamic_cast<ON_Curve*>(geometry); }
  static const ON_Curve* Cast(const ON_Geometry* geometry) { return dynamic_cast<const ON_Curve*>(geometry); }

 protected:
  // The interval GetNurbForm works on: `subdomain` when given (false unless
  // it is an increasing interval inside `domain`), else `domain`.
  static bool NurbFormDomain(const ON_Interval& domain, const ON_Interval* subdomain, ON_Interval& result);
};

// A new copy of `src` for DuplicateCurve: null instead of std::bad_alloc.
template <class T>
ON_Curve* ON_NewCurveCopy(const T& src) noexcept {
  try {
    return new T(src);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

// An array of curve pointers that owns the curves: Destroy and the
// destructor delete them. A copy holds duplicates of the curves.
class ON_CurveArray : public ON_SimpleArray<ON_Curve*> {
 public:
  ON_CurveArray() = default;
  explicit ON_CurveArray(int initial_capacity) : ON_SimpleArray<ON_Curve*>(initial_capacity) {}
  // Duplicates every curve (null entries stay null); throws std::bad_alloc
  // when memory runs out, having deleted the duplicates it made.
  ON_CurveArray(const ON_CurveArray& src);
  ON_CurveArray& operator=(const ON_CurveArray& src);
  ON_CurveArray(ON_CurveArray&& src) noexcept = default;
  ON_CurveArray& operator=(ON_CurveArray&& src) noexcept;
  ~ON_CurveArray();

  // Deletes every curve, empties the array and frees its memory.
  void Destroy();
};
