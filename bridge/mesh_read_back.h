// What the mesh read-back shares with its tests.
#pragma once

#include "opennurbs.h"

namespace bridge {

// Whether three corners make a triangle AppendTriangle appends: no two of
// them equal in single precision (-0 equal to +0, a NaN equal to nothing),
// which is when the one-triangle topology has three proper edges.
inline bool IsProperTriangle(const ON_3fPoint& p1, const ON_3fPoint& p2, const ON_3fPoint& p3) {
  return !(p1 == p2) && !(p2 == p3) && !(p3 == p1);
}

}  // namespace bridge
