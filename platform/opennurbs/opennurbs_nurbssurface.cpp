#include "opennurbs_nurbssurface.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

#include "opennurbs_cv.h"
#include "opennurbs_knot.h"

namespace {

bool IsDirection(int dir) { return dir == 0 || dir == 1; }

}  // namespace

ON_NurbsSurface::ON_NurbsSurface() = default;

ON_NurbsSurface::ON_NurbsSurface(int dimension, bool is_rational, int order0, int order1, int cv_count0,
                                 int cv_count1) {
  Create(dimension, is_rational, order0, order1, cv_count0, cv_count1);
}

ON_NurbsSurface::ON_NurbsSurface(const ON_NurbsSurface& src) : ON_Surface(src) {
  // A shape Create refuses (an empty surface, or one set up wrongly by hand)
  // copies as an empty surface.
  if (src.m_dim < 1 || src.m_dim > 3 || src.KnotCount(0) == 0 || src.KnotCount(1) == 0) return;
  ON_NurbsSurface copy;
  if (!copy.Create(src.m_dim, src.m_is_rat != 0, src.m_order[0], src.m_order[1], src.m_cv_count[0], src.m_cv_count[1]))
    throw std::bad_alloc();
  // Arrays a caller emptied by hand are copied as the zeros Create made.
  for (int dir = 0; dir < 2; ++dir)
    if (src.m_knot[dir]) std::copy(src.m_knot[dir], src.m_knot[dir] + src.KnotCount(dir), copy.m_knot[dir]);
  for (int i = 0; i < src.m_cv_count[0]; ++i)
    for (int j = 0; j < src.m_cv_count[1]; ++j)
      if (src.CV(i, j)) std::copy(src.CV(i, j), src.CV(i, j) + src.CVSize(), copy.CV(i, j));
  Swap(copy);
}

ON_NurbsSurface& ON_NurbsSurface::operator=(const ON_NurbsSurface& src) { return ON_CV::CopyAssign(*this, src); }

ON_NurbsSurface::ON_NurbsSurface(ON_NurbsSurface&& src) noexcept : ON_Surface(src) { Swap(src); }

ON_NurbsSurface& ON_NurbsSurface::operator=(ON_NurbsSurface&& src) noexcept { return ON_CV::MoveAssign(*this, src); }

ON_NurbsSurface::~ON_NurbsSurface() { Destroy(); }

void ON_NurbsSurface::Swap(ON_NurbsSurface& other) noexcept {
  std::swap(m_dim, other.m_dim);
  std::swap(m_is_rat, other.m_is_rat);
  std::swap(m_order, other.m_order);
  std::swap(m_cv_count, other.m_cv_count);
  std::swap(m_knot_capacity, other.m_knot_capacity);
  std::swap(m_knot, other.m_knot);
  std::swap(m_cv_stride, other.m_cv_stride);
  std::swap(m_cv_capacity, other.m_cv_capacity);
  std::swap(m_cv, other.m_cv);
}

bool ON_NurbsSurface::Create(int dimension, bool is_rational, int order0, int order1, int cv_count0, int cv_count1) {
  if (dimension < 1 || dimension > 3) return false;
  const int knot_count[2] = {ON_KnotCount(order0, cv_count0), ON_KnotCount(order1, cv_count1)};
  if (knot_count[0] == 0 || knot_count[1] == 0) return false;
  const int size = dimension + (is_rational ? 1 : 0);
  const long long cv_doubles = static_cast<long long>(size) * cv_count0 * cv_count1;
  if (cv_doubles > ON_ArrayMaximumCount(sizeof(double))) return false;
  double* knot0 = ON_CV::NewDoubles(knot_count[0]);
  double* knot1 = ON_CV::NewDoubles(knot_count[1]);
  double* cv = ON_CV::NewDoubles(cv_doubles);
  if (!knot0 || !knot1 || !cv) {
    std::free(knot0);
    std::free(knot1);
    std::free(cv);
    return false;
  }
  std::fill(knot0, knot0 + knot_count[0], 0.0);
  std::fill(knot1, knot1 + knot_count[1], 0.0);
  std::fill(cv, cv + cv_doubles, 0.0);
  if (is_rational)
    for (long long k = dimension; k < cv_doubles; k += size) cv[k] = 1.0;
  Destroy();
  m_dim = dimension;
  m_is_rat = is_rational ? 1 : 0;
  m_order[0] = order0;
  m_order[1] = order1;
  m_cv_count[0] = cv_count0;
  m_cv_count[1] = cv_count1;
  m_knot_capacity[0] = knot_count[0];
  m_knot_capacity[1] = knot_count[1];
  m_knot[0] = knot0;
  m_knot[1] = knot1;
  m_cv_stride[1] = size;
  m_cv_stride[0] = size * cv_count1;
  m_cv_capacity = static_cast<int>(cv_doubles);
  m_cv = cv;
  return true;
}

void ON_NurbsSurface::Destroy() {
  std::free(m_knot[0]);
  std::free(m_knot[1]);
  std::free(m_cv);
  m_dim = m_is_rat = 0;
  for (int dir = 0; dir < 2; ++dir) {
    m_order[dir] = m_cv_count[dir] = m_knot_capacity[dir] = m_cv_stride[dir] = 0;
    m_knot[dir] = nullptr;
  }
  m_cv_capacity = 0;
  m_cv = nullptr;
}

int ON_NurbsSurface::KnotCount(int dir) const {
  return IsDirection(dir) ? ON_KnotCount(m_order[dir], m_cv_count[dir]) : 0;
}

bool ON_NurbsSurface::IsValid(ON_TextLog*) const {
  if (!ShapeIsValid()) return false;
  for (int i = 0; i < m_cv_count[0]; ++i)
    for (int j = 0; j < m_cv_count[1]; ++j)
      if (!ON_CV::IsValid(m_dim, m_is_rat != 0, CV(i, j))) return false;
  return true;
}

bool ON_NurbsSurface::ShapeIsValid() const {
  if (m_dim < 1 || m_dim > 3 || !m_cv) return false;
  for (int dir = 0; dir < 2; ++dir) {
    const int knot_count = KnotCount(dir);
    if (knot_count == 0 || !m_knot[dir] || m_knot_capacity[dir] < knot_count ||
        !ON_IsValidKnotVector(m_order[dir], m_cv_count[dir], m_knot[dir]) || m_cv_stride[dir] < CVSize())
      return false;
  }
  const long long last = static_cast<long long>(m_cv_stride[0]) * (m_cv_count[0] - 1) +
                         static_cast<long long>(m_cv_stride[1]) * (m_cv_count[1] - 1) + CVSize();
  return last <= m_cv_capacity;
}

bool ON_NurbsSurface::GetBBox(double* boxmin, double* boxmax, bool grow_box) const {
  if (!IsValid()) return false;
  ON_BoundingBox box;
  for (int i = 0; i < m_cv_count[0]; ++i) {
    for (int j = 0; j < m_cv_count[1]; ++j) {
      ON_3dPoint p;
      GetCV(i, j, p);
      box.Set(p, true);
    }
  }
  return ReturnBBox(box, boxmin, boxmax, grow_box);
}

bool ON_NurbsSurface::Transform(const ON_Xform& xform) {
  if (m_dim != 3 || !m_cv) return false;
  for (int i = 0; i < m_cv_count[0]; ++i)
    for (int j = 0; j < m_cv_count[1]; ++j) ON_CV::Transform(m_is_rat != 0, CV(i, j), xform);
  return true;
}

ON_Interval ON_NurbsSurface::Domain(int dir) const {
  if (KnotCount(dir) == 0 || !m_knot[dir]) return ON_Interval();
  return ON_Interval(m_knot[dir][m_order[dir] - 2], m_knot[dir][m_cv_count[dir] - 1]);
}

bool ON_NurbsSurface::IsoPoints(int dir, double c, int first, int count, double* points) const {
  // Along dir, each control point index k gives the line of control points
  // across (the other direction) evaluated at c.
  const int across = 1 - dir;
  const int size = CVSize();
  for (int k = first; k < first + count; ++k) {
    const double* line = dir == 0 ? CV(k, 0) : CV(0, k);
    if (!ON_EvaluateNurbsPoint(size, m_order[across], m_cv_count[across], m_knot[across], line, m_cv_stride[across], c,
                               points + static_cast<long long>(k - first) * size))
      return false;
  }
  return true;
}

ON_3dPoint ON_NurbsSurface::PointAt(double u, double v) const {
  // The shape is checked, not every value: de Boor refuses empty spans, and
  // other bad values show in the point.
  if (m_dim < 1 || m_dim > 3 || !m_cv || !m_knot[0] || !m_knot[1] || KnotCount(0) == 0 || KnotCount(1) == 0 ||
      m_cv_stride[0] < CVSize() || m_cv_stride[1] < CVSize() || !ON_IsValid(u) || !ON_IsValid(v))
    return ON_UNSET_POINT;
  // The order[0] control points of the u span, evaluated across at v, are
  // the control points of that span of the iso-curve at v.
  const int order = m_order[0], size = CVSize();
  const int s = ON_NurbsSpanIndex(order, m_cv_count[0], m_knot[0], u);
  const long long doubles = static_cast<long long>(order) * size;
  double local[64];
  double* row = doubles <= 64 ? local : ON_CV::NewDoubles(doubles);
  if (!row) return ON_UNSET_POINT;
  double h[4] = {0.0, 0.0, 0.0, 1.0};
  ON_3dPoint p = ON_UNSET_POINT;
  if (!IsoPoints(0, v, s, order, row) || !ON_EvaluateNurbsPoint(size, order, order, m_knot[0] + s, row, size, u, h) ||
      !ON_CV::Get(m_dim, m_is_rat != 0, h, p))
    p = ON_UNSET_POINT;
  if (row != local) std::free(row);
  return p;
}

bool ON_NurbsSurface::IsPeriodic(int dir) const {
  if (!IsDirection(dir) || !IsValid() || !ON_IsKnotVectorPeriodic(m_order[dir], m_cv_count[dir], m_knot[dir]))
    return false;
  const int shift = m_cv_count[dir] - m_order[dir] + 1;
  for (int k = 0; k < m_cv_count[1 - dir]; ++k) {
    for (int i = 0; i < m_order[dir] - 1; ++i) {
      const double* a = dir == 0 ? CV(i, k) : CV(k, i);
      const double* b = dir == 0 ? CV(i + shift, k) : CV(k, i + shift);
      if (!ON_PointsAreCoincident(m_dim, m_is_rat != 0, a, b)) return false;
    }
  }
  return true;
}

ON_Curve* ON_NurbsSurface::IsoCurve(int dir, double c) const {
  if (!IsDirection(dir) || !ShapeIsValid() || !ON_IsValid(c)) return nullptr;
  // The iso-curve is made of the control points of one span across, all
  // along the direction: only those need be valid, so that drawing every
  // iso-curve of a surface stays linear in its control points.
  const int across = 1 - dir;
  const int span = ON_NurbsSpanIndex(m_order[across], m_cv_count[across], m_knot[across], c);
  for (int k = 0; k < m_cv_count[dir]; ++k)
    for (int i = span; i < span + m_order[across]; ++i)
      if (!ON_CV::IsValid(m_dim, m_is_rat != 0, dir == 0 ? CV(k, i) : CV(i, k))) return nullptr;
  ON_NurbsCurve* curve = new (std::nothrow) ON_NurbsCurve();
  if (!curve) return nullptr;
  if (!curve->Create(m_dim, m_is_rat != 0, m_order[dir], m_cv_count[dir]) ||
      !IsoPoints(dir, c, 0, m_cv_count[dir], curve->m_cv)) {
    delete curve;
    return nullptr;
  }
  std::copy(m_knot[dir], m_knot[dir] + KnotCount(dir), curve->m_knot);
  return curve;
}

double ON_NurbsSurface::Knot(int dir, int knot_index) const {
  return (IsDirection(dir) && m_knot[dir] && knot_index >= 0 && knot_index < KnotCount(dir)) ? m_knot[dir][knot_index]
                                                                                             : 0.0;
}

bool ON_NurbsSurface::SetKnot(int dir, int knot_index, double knot_value) {
  if (!IsDirection(dir) || !m_knot[dir] || knot_index < 0 || knot_index >= KnotCount(dir)) return false;
  m_knot[dir][knot_index] = knot_value;
  return true;
}

bool ON_NurbsSurface::MakeClampedUniformKnotVector(int dir, double delta) {
  return IsDirection(dir) && m_knot[dir] &&
         ON_MakeClampedUniformKnotVector(m_order[dir], m_cv_count[dir], m_knot[dir], delta);
}

double* ON_NurbsSurface::CV(int i, int j) const {
  if (!m_cv || i < 0 || j < 0 || i >= m_cv_count[0] || j >= m_cv_count[1]) return nullptr;
  return m_cv + static_cast<long long>(i) * m_cv_stride[0] + static_cast<long long>(j) * m_cv_stride[1];
}

bool ON_NurbsSurface::SetCV(int i, int j, const ON_3dPoint& point) {
  double* cv = CV(i, j);
  if (!cv) return false;
  ON_CV::Set(m_dim, m_is_rat != 0, cv, point);
  return true;
}

bool ON_NurbsSurface::SetCV(int i, int j, const ON_4dPoint& point) {
  double* cv = CV(i, j);
  return cv && ON_CV::Set(m_dim, m_is_rat != 0, cv, point);
}

bool ON_NurbsSurface::GetCV(int i, int j, ON_3dPoint& point) const {
  const double* cv = CV(i, j);
  return cv && ON_CV::Get(m_dim, m_is_rat != 0, cv, point);
}

bool ON_NurbsSurface::GetCV(int i, int j, ON_4dPoint& point) const {
  const double* cv = CV(i, j);
  if (!cv) return false;
  ON_CV::Get(m_dim, m_is_rat != 0, cv, point);
  return true;
}

double ON_NurbsSurface::Weight(int i, int j) const {
  const double* cv = CV(i, j);
  return (cv && m_is_rat) ? cv[m_dim] : 1.0;
}

bool ON_NurbsSurface::SetWeight(int i, int j, double weight) {
  double* cv = CV(i, j);
  if (!cv) return false;
  if (!m_is_rat) return weight == 1.0;
  cv[m_dim] = weight;
  return true;
}
