#include "nurbs_arrays.h"

#include <cmath>

namespace bridge_nurbs {

namespace {

// False, with the phrase in `why` when given.
template <class... Args>
bool Broken(CString* why, const wchar_t* format, Args... args) {
  if (why) why->Format(format, args...);
  return false;
}

// The stored knots of one direction: present, and as many as the counts
// say where their array's size is known.
bool KnotsWhole(const double* knots, int capacity, int order, int count, const wchar_t* which, CString* why) {
  if (!knots) return Broken(why, L"no %sknot array", which);
  const long long needed = static_cast<long long>(order) + count - 2;
  if (capacity > 0 && capacity < needed)
    return Broken(why, L"a %sknot array of %d values for %lld knots", which, capacity, needed);
  return true;
}

// The control-point array: present, and holding the `end` doubles at which
// the last point ends where its size is known.
bool PointsFit(const double* cv, int capacity, long long end, CString* why) {
  if (!cv) return Broken(why, L"no control-point array");
  if (capacity > 0 && capacity < end)
    return Broken(why, L"a control-point array of %d values for %lld", capacity, end);
  return true;
}

// A weight by which a homogeneous point can be divided.
bool WeightWhole(double w) { return std::isfinite(w) && w != 0.0; }

}  // namespace

bool HasWholeData(const ON_NurbsCurve& curve, CString* why) {
  const int order = curve.m_order, count = curve.m_cv_count;
  if (order < 2 || count < order) return Broken(why, L"order %d and %d control points", order, count);
  if (curve.m_dim < 1) return Broken(why, L"dimension %d", curve.m_dim);
  if (!KnotsWhole(curve.m_knot, curve.m_knot_capacity, order, count, L"", why)) return false;
  const int size = curve.CVSize();
  if (curve.m_cv_stride < size)
    return Broken(why, L"a control-point stride of %d for points of %d values", curve.m_cv_stride, size);
  const long long end = static_cast<long long>(curve.m_cv_stride) * (count - 1) + size;
  if (!PointsFit(curve.m_cv, curve.m_cv_capacity, end, why)) return false;
  if (curve.IsRational())
    for (int i = 0; i < count; ++i)
      if (const double w = curve.Weight(i); !WeightWhole(w))
        return Broken(why, L"a weight of %g at control point %d", w, i);
  return true;
}

bool HasWholeData(const ON_NurbsSurface& surface, CString* why) {
  const int* order = surface.m_order;
  const int* count = surface.m_cv_count;
  if (order[0] < 2 || order[1] < 2 || count[0] < order[0] || count[1] < order[1])
    return Broken(why, L"orders %d and %d with %d by %d control points", order[0], order[1], count[0], count[1]);
  if (surface.m_dim < 1) return Broken(why, L"dimension %d", surface.m_dim);
  const wchar_t* const names[2] = {L"u ", L"v "};
  for (int dir = 0; dir < 2; ++dir)
    if (!KnotsWhole(surface.m_knot[dir], surface.m_knot_capacity[dir], order[dir], count[dir], names[dir], why))
      return false;
  // One direction steps over whole points, the other over whole rows of
  // the first.
  const long long size = surface.CVSize();
  const long long s0 = surface.m_cv_stride[0], s1 = surface.m_cv_stride[1];
  if (!((s1 >= size && s0 >= s1 * count[1]) || (s0 >= size && s1 >= s0 * count[0])))
    return Broken(why, L"control-point strides of %lld and %lld for %d by %d points of %lld values", s0, s1, count[0],
                  count[1], size);
  const long long end = s0 * (count[0] - 1) + s1 * (count[1] - 1) + size;
  if (!PointsFit(surface.m_cv, surface.m_cv_capacity, end, why)) return false;
  if (surface.IsRational())
    for (int i = 0; i < count[0]; ++i)
      for (int j = 0; j < count[1]; ++j)
        if (const double w = surface.Weight(i, j); !WeightWhole(w))
          return Broken(why, L"a weight of %g at control point (%d, %d)", w, i, j);
  return true;
}

double* WriteScaledPoint(const ON_3dPoint& p, double scale, double* out) {
  out[0] = p.x * scale;
  out[1] = p.y * scale;
  out[2] = p.z * scale;
  return out + 3;
}

double* WriteWholeKnots(const double* stored, int storedCount, double* out) {
  *out++ = stored[0];
  for (int i = 0; i < storedCount; ++i) *out++ = stored[i];
  *out++ = stored[storedCount - 1];
  return out;
}

double* WriteScaledPoints(const ON_NurbsCurve& curve, double scale, double* out) {
  ON_3dPoint p;
  for (int i = 0; i < curve.CVCount(); ++i) {
    curve.GetCV(i, p);
    out = WriteScaledPoint(p, scale, out);
  }
  return out;
}

double* WriteScaledPoints(const ON_NurbsSurface& surface, double scale, double* out) {
  ON_3dPoint p;
  for (int j = 0; j < surface.CVCount(1); ++j) {
    for (int i = 0; i < surface.CVCount(0); ++i) {
      surface.GetCV(i, j, p);
      out = WriteScaledPoint(p, scale, out);
    }
  }
  return out;
}

}  // namespace bridge_nurbs
