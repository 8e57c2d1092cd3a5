#include "nurbs_arrays.h"

namespace bridge_nurbs {

bool HasWholeData(const ON_NurbsCurve& curve) {
  return curve.Order() >= 2 && curve.CVCount() >= curve.Order() && curve.m_knot && curve.m_cv;
}

bool HasWholeData(const ON_NurbsSurface& surface) {
  for (int dir = 0; dir < 2; ++dir)
    if (surface.Order(dir) < 2 || surface.CVCount(dir) < surface.Order(dir) || !surface.m_knot[dir]) return false;
  return surface.m_cv != nullptr;
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
