#include "opennurbs_point.h"

#include <algorithm>
#include <cmath>

const ON_3dPoint ON_origin(0.0, 0.0, 0.0);
const ON_3dVector ON_xaxis(1.0, 0.0, 0.0);
const ON_3dVector ON_yaxis(0.0, 1.0, 0.0);
const ON_3dVector ON_zaxis(0.0, 0.0, 1.0);
const ON_3dPoint ON_UNSET_POINT(ON_UNSET_VALUE, ON_UNSET_VALUE, ON_UNSET_VALUE);

namespace {

bool AllFinite(const ON_3dVector& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

double MaxAbs(const ON_3dVector& v) { return std::max(std::fabs(v.x), std::max(std::fabs(v.y), std::fabs(v.z))); }

// v times 2^e, exact unless a component becomes subnormal.
ON_3dVector Scaled(const ON_3dVector& v, int e) {
  return ON_3dVector(std::ldexp(v.x, e), std::ldexp(v.y, e), std::ldexp(v.z, e));
}

// The exponent e with 2^e * m in [0.5, 1), for finite m > 0.
int ExponentOf(double m) {
  int e = 0;
  std::frexp(m, &e);
  return e;
}

}  // namespace

double ON_Length3d(double x, double y, double z) {
  if (!(std::isfinite(x) && std::isfinite(y) && std::isfinite(z))) return std::hypot(x, std::hypot(y, z));
  x = std::fabs(x);
  y = std::fabs(y);
  z = std::fabs(z);
  // Put the largest in x.
  if (y > x) std::swap(x, y);
  if (z > x) std::swap(x, z);
  if (x == 0.0) return 0.0;
  y /= x;
  z /= x;
  return x * std::sqrt(1.0 + y * y + z * z);
}

bool ON_PointsAreCoincident(const ON_3dPoint& a, const ON_3dPoint& b) {
  if (!a.IsValid() || !b.IsValid()) return false;
  const double scale = std::max(1.0, std::max(MaxAbs(ON_3dVector(a)), MaxAbs(ON_3dVector(b))));
  return a.DistanceTo(b) <= ON_ZERO_TOLERANCE * scale;
}

bool ON_PointsAreCoincident(int dim, bool is_rat, const double* a, const double* b) {
  if (dim < 1 || dim > 3 || !a || !b) return false;
  const double wa = is_rat ? a[dim] : 1.0, wb = is_rat ? b[dim] : 1.0;
  if (!(wa != 0.0) || !(wb != 0.0)) return false;
  if (!(std::fabs(wa - wb) <= ON_ZERO_TOLERANCE * std::max(std::fabs(wa), std::fabs(wb)))) return false;
  ON_3dPoint pa, pb;
  for (int k = 0; k < dim; ++k) {
    pa[k] = a[k] / wa;
    pb[k] = b[k] / wb;
  }
  return ON_PointsAreCoincident(pa, pb);
}

double ON_3dVector::Length() const { return ON_Length3d(x, y, z); }

double ON_3dPoint::DistanceTo(const ON_3dPoint& p) const { return ON_Length3d(p.x - x, p.y - y, p.z - z); }

bool ON_3dVector::Unitize() {
  const double m = MaxAbs(*this);
  if (!AllFinite(*this) || m == 0.0) {
    Zero();
    return false;
  }
  // Bring the largest component near 1 (exactly, by a power of two) when the
  // vector is so small or large that its length could lose precision.
  ON_3dVector v = *this;
  if (m < 0x1p-500 || m > 0x1p500) v = Scaled(v, -ExponentOf(m));
  const double d = v.Length();
  x = v.x / d;
  y = v.y / d;
  z = v.z / d;
  return true;
}

bool ON_3fVector::Unitize() {
  ON_3dVector v(*this);
  const bool rc = v.Unitize();
  *this = ON_3fVector(v);
  return rc;
}

bool ON_3dVector::PerpendicularTo(const ON_3dPoint& p0, const ON_3dPoint& p1, const ON_3dPoint& p2) {
  Zero();
  const ON_3dVector q0(p0), q1(p1), q2(p2);
  if (!AllFinite(q0) || !AllFinite(q1) || !AllFinite(q2)) return false;

  // Differences of huge coordinates could overflow: scale the points down
  // first (by a power of two, exactly for all but negligible coordinates).
  const double m = std::max(MaxAbs(q0), std::max(MaxAbs(q1), MaxAbs(q2)));
  const int pre = m > 0x1p500 ? -600 : 0;
  const ON_3dVector s0 = Scaled(q0, pre), s1 = Scaled(q1, pre), s2 = Scaled(q2, pre);

  // The edges, each opposite the point of its index + 2: e0 = p1-p0 (opposite
  // p2), e1 = p2-p1 (opposite p0), e2 = p0-p2 (opposite p1); scaled so that
  // their largest component is in [0.5, 1), so that neither their squares nor
  // the cross product underflows or overflows.
  ON_3dVector e0 = s1 - s0, e1 = s2 - s1, e2 = s0 - s2;
  const double em = std::max(MaxAbs(e0), std::max(MaxAbs(e1), MaxAbs(e2)));
  if (em == 0.0) return false;  // coincident points
  const int k = -ExponentOf(em);
  e0 = Scaled(e0, k);
  e1 = Scaled(e1, k);
  e2 = Scaled(e2, k);

  // The cross product at the vertex opposite the longest edge uses the two
  // shortest edges, whose rounding error (about eps * |a| * |b|) is the
  // smallest. In cyclic order each vertex gives the same normal:
  // (p1-p0)x(p2-p0) = (p2-p1)x(p0-p1) = (p0-p2)x(p1-p2).
  const double l0 = e0.LengthSquared(), l1 = e1.LengthSquared(), l2 = e2.LengthSquared();
  ON_3dVector a, b;
  if (l1 >= l0 && l1 >= l2) {  // at p0
    a = e0;
    b = -e2;
  } else if (l2 >= l0) {  // at p1
    a = e1;
    b = -e0;
  } else {  // at p2
    a = e2;
    b = -e1;
  }
  const ON_3dVector n = ON_CrossProduct(a, b);
  // Below its own rounding error the cross product says nothing about the
  // direction: the points are collinear as far as doubles can tell.
  const double noise = 8.0 * ON_EPSILON * a.Length() * b.Length();
  const double length = n.Length();
  if (!(length > noise)) return false;
  *this = n / length;
  return true;
}

bool ON_3dVector::PerpendicularTo(const ON_3dVector& v) {
  Zero();
  if (!AllFinite(v) || v.IsZeroVector()) return false;
  const double a[3] = {std::fabs(v.x), std::fabs(v.y), std::fabs(v.z)};
  // The largest component (the first of equals) and the larger of the other
  // two (of equals, the one after it, cyclically) trade places, the latter
  // negated; the third is 0. Keeping the largest, the result is never zero.
  const int big = (a[0] >= a[1] && a[0] >= a[2]) ? 0 : (a[1] >= a[2] ? 1 : 2);
  const int next = (big + 1) % 3, last = (big + 2) % 3;
  const int second = a[last] > a[next] ? last : next;
  (*this)[second] = v[big];
  (*this)[big] = -v[second];
  return true;
}
