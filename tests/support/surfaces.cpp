#include "surfaces.h"

namespace test_support {

ON_NurbsSurface Patch(int ou, int ov, int nu, int nv, const std::function<ON_3dPoint(int, int)>& point) {
  ON_NurbsSurface surface(3, false, ou, ov, nu, nv);
  surface.MakeClampedUniformKnotVector(0, 1.0);
  surface.MakeClampedUniformKnotVector(1, 1.0);
  for (int i = 0; i < nu; ++i)
    for (int j = 0; j < nv; ++j) surface.SetCV(i, j, point(i, j));
  return surface;
}

ON_NurbsCurve LineCurve(const ON_3dPoint& from, const ON_3dPoint& to) {
  ON_NurbsCurve curve(3, false, 2, 2);
  curve.SetKnot(0, 0.0);
  curve.SetKnot(1, 1.0);
  curve.SetCV(0, from);
  curve.SetCV(1, to);
  return curve;
}

ON_ClassArray<ON_NurbsCurve> Loop(std::initializer_list<ON_NurbsCurve> curves) {
  ON_ClassArray<ON_NurbsCurve> out;
  for (const ON_NurbsCurve& c : curves) out.Append(c);
  return out;
}

}  // namespace test_support
