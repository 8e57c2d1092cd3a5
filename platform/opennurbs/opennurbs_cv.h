// Control points of NURBS curves and surfaces: `dim` coordinates, followed
// for a rational one (is_rat) by the weight, the coordinates then being
// homogeneous. Shared by ON_NurbsCurve and ON_NurbsSurface; not part of the
// openNURBS interface.
#pragma once

#include "opennurbs_point.h"

class ON_Xform;

namespace ON_CV {

// `count` doubles from malloc, null when the count is impossible or memory
// runs out.
double* NewDoubles(long long count);
// Sets the first `dim` coordinates from a Euclidean point, weight 1.
void Set(int dim, bool is_rat, double* cv, const ON_3dPoint& point);
// From a homogeneous point: kept as is when rational, else divided by the
// weight (false for weight 0).
bool Set(int dim, bool is_rat, double* cv, const ON_4dPoint& point);
// The Euclidean point (false for weight 0): its first three coordinates,
// those past dim 0.
bool Get(int dim, bool is_rat, const double* cv, ON_3dPoint& point);
// The homogeneous point (weight 1 when not rational), as above.
void Get(int dim, bool is_rat, const double* cv, ON_4dPoint& point);
// Every value finite and the weight above 0.
bool IsValid(int dim, bool is_rat, const double* cv);
// The three-dimensional control point by the transformation: homogeneous
// ones by the whole matrix, others with the homogeneous divide.
void Transform(bool is_rat, double* cv, const ON_Xform& xform);

// Copy-and-swap assignment for the NURBS classes: the copy is made first
// (and may throw), so a failure leaves `self` as it was.
template <class T>
T& CopyAssign(T& self, const T& src) {
  if (&self != &src) {
    T copy(src);
    self.Swap(copy);
  }
  return self;
}
// Move assignment: frees what `self` holds and takes `src`'s arrays.
template <class T>
T& MoveAssign(T& self, T& src) noexcept {
  if (&self != &src) {
    self.Destroy();
    self.Swap(src);
  }
  return self;
}

}  // namespace ON_CV
