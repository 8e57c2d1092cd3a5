// NURBS surfaces and curves built case by case.
#pragma once

#include "opennurbs.h"

#include <functional>
#include <initializer_list>

namespace test_support {

// A clamped surface of orders ou, ov with nu by nv control points, on
// uniform knots one apart (so the domain in u is [0, nu - ou + 1]);
// control point (i, j) is point(i, j).
ON_NurbsSurface Patch(int ou, int ov, int nu, int nv, const std::function<ON_3dPoint(int, int)>& point);

// A straight curve of order 2 with two control points on the knots 0, 1.
ON_NurbsCurve LineCurve(const ON_3dPoint& from, const ON_3dPoint& to);

ON_ClassArray<ON_NurbsCurve> Loop(std::initializer_list<ON_NurbsCurve> curves);

}  // namespace test_support
