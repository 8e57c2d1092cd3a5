#include "opennurbs_knot.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "opennurbs_defines.h"

int ON_KnotCount(int order, int cv_count) {
  if (order < 2 || cv_count < order || cv_count > INT_MAX - order) return 0;
  return order + cv_count - 2;
}

bool ON_IsValidKnotVector(int order, int cv_count, const double* knot) {
  const int count = ON_KnotCount(order, cv_count);
  if (count == 0 || !knot) return false;
  for (int i = 0; i < count; ++i) {
    if (!ON_IsValid(knot[i])) return false;
    if (i > 0 && knot[i] < knot[i - 1]) return false;
  }
  if (!(knot[order - 2] < knot[order - 1]) || !(knot[cv_count - 2] < knot[cv_count - 1])) return false;
  for (int i = 0; i + order - 1 < count; ++i)
    if (!(knot[i] < knot[i + order - 1])) return false;
  return true;
}

bool ON_IsKnotVectorPeriodic(int order, int cv_count, const double* knot) {
  const int count = ON_KnotCount(order, cv_count);
  const int shift = cv_count - order + 1;  // spans in one period
  if (count == 0 || !knot || order < 3 || shift < 3) return false;
  const double tolerance = ON_ZERO_TOLERANCE * std::max(1.0, std::max(std::fabs(knot[0]), std::fabs(knot[count - 1])));
  for (int i = 0; i <= 2 * order - 5; ++i) {
    const double d0 = knot[i + 1] - knot[i];
    const double d1 = knot[i + shift + 1] - knot[i + shift];
    if (!(std::fabs(d0 - d1) <= tolerance)) return false;
  }
  return true;
}

bool ON_MakeClampedUniformKnotVector(int order, int cv_count, double* knot, double delta) {
  const int count = ON_KnotCount(order, cv_count);
  if (count == 0 || !knot || !ON_IsValid(delta) || !(delta > 0.0)) return false;
  // Knot i of the inner run is (i - order + 2) * delta, ends held.
  for (int i = 0; i < count; ++i) {
    const int k = std::min(std::max(i - order + 2, 0), cv_count - order + 1);
    knot[i] = k * delta;
  }
  return true;
}

int ON_NurbsSpanIndex(int order, int cv_count, const double* knot, double t) {
  // The right ends of spans 0 .. last - 1; the number of them at or before
  // t is the span (repeated knots are skipped past, to a non-empty span).
  const int last = cv_count - order;
  if (last <= 0 || !knot) return 0;
  const double* right = knot + order - 1;
  return static_cast<int>(std::upper_bound(right, right + last, t) - right);
}

namespace {

// de Boor's recurrence on the order working points of span s, in place.
bool DeBoor(int cv_size, int order, const double* knot, int s, double t, double* d) {
  const int p = order - 1;
  // With the local knots u_m = knot[s + m - 1]: for r = 1..p and j = p..r,
  // alpha = (t - u_j) / (u_{j+p-r+1} - u_j) and d_j = (1 - alpha) d_{j-1}
  // + alpha d_j. Every denominator spans the span itself.
  for (int r = 1; r <= p; ++r) {
    for (int j = p; j >= r; --j) {
      const double left = knot[s + j - 1];
      const double denominator = knot[s + j + p - r] - left;
      if (!(denominator > 0.0)) return false;
      const double alpha = (t - left) / denominator;
      double* dj = d + j * cv_size;
      const double* dj1 = dj - cv_size;
      for (int k = 0; k < cv_size; ++k) dj[k] = (1.0 - alpha) * dj1[k] + alpha * dj[k];
    }
  }
  return true;
}

}  // namespace

bool ON_EvaluateNurbsPoint(int cv_size, int order, int cv_count, const double* knot, const double* cv, int cv_stride,
                           double t, double* point) {
  if (cv_size < 1 || ON_KnotCount(order, cv_count) == 0 || !knot || !cv || !point || cv_stride < cv_size ||
      !ON_IsValid(t))
    return false;
  const int s = ON_NurbsSpanIndex(order, cv_count, knot, t);
  const long long size = static_cast<long long>(order) * cv_size;
  double local[64];
  double* d = local;
  if (size > 64) {
    d = static_cast<double*>(std::malloc(static_cast<size_t>(size) * sizeof(double)));
    if (!d) return false;
  }
  for (int j = 0; j < order; ++j)
    std::memcpy(d + j * cv_size, cv + static_cast<long long>(s + j) * cv_stride, cv_size * sizeof(double));
  const bool ok = DeBoor(cv_size, order, knot, s, t, d);
  if (ok) std::memcpy(point, d + (order - 1) * cv_size, cv_size * sizeof(double));
  if (d != local) std::free(d);
  return ok;
}
