#include "opennurbs_cv.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "opennurbs_array.h"
#include "opennurbs_xform.h"

namespace ON_CV {

double* NewDoubles(long long count) {
  if (count <= 0 || count > ON_ArrayMaximumCount(sizeof(double))) return nullptr;
  return static_cast<double*>(std::malloc(static_cast<size_t>(count) * sizeof(double)));
}

void Set(int dim, bool is_rat, double* cv, const ON_3dPoint& point) {
  for (int k = 0; k < dim; ++k) cv[k] = point[k];
  if (is_rat) cv[dim] = 1.0;
}

bool Set(int dim, bool is_rat, double* cv, const ON_4dPoint& point) {
  if (is_rat) {
    for (int k = 0; k < dim; ++k) cv[k] = point[k];
    cv[dim] = point.w;
    return true;
  }
  if (point.w == 0.0) return false;
  for (int k = 0; k < dim; ++k) cv[k] = point[k] / point.w;
  return true;
}

bool Get(int dim, bool is_rat, const double* cv, ON_3dPoint& point) {
  const double w = is_rat ? cv[dim] : 1.0;
  if (w == 0.0) return false;
  ON_3dPoint p;
  for (int k = 0; k < std::min(dim, 3); ++k) p[k] = is_rat ? cv[k] / w : cv[k];
  point = p;
  return true;
}

void Get(int dim, bool is_rat, const double* cv, ON_4dPoint& point) {
  ON_4dPoint p(0.0, 0.0, 0.0, is_rat ? cv[dim] : 1.0);
  for (int k = 0; k < std::min(dim, 3); ++k) p[k] = cv[k];
  point = p;
}

bool IsValid(int dim, bool is_rat, const double* cv) {
  for (int k = 0; k < dim + (is_rat ? 1 : 0); ++k)
    if (!ON_IsValid(cv[k])) return false;
  return !is_rat || cv[dim] > 0.0;
}

void Transform(bool is_rat, double* cv, const ON_Xform& xform) {
  if (is_rat) {
    const auto& m = xform.m_xform;
    double h[4];
    for (int r = 0; r < 4; ++r) h[r] = m[r][0] * cv[0] + m[r][1] * cv[1] + m[r][2] * cv[2] + m[r][3] * cv[3];
    std::memcpy(cv, h, sizeof(h));
  } else {
    const ON_3dPoint p = xform * ON_3dPoint(cv);
    cv[0] = p.x;
    cv[1] = p.y;
    cv[2] = p.z;
  }
}

}  // namespace ON_CV
