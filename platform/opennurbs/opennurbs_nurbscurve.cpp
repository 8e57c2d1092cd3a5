#include "opennurbs_nurbscurve.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

#include "opennurbs_cv.h"
#include "opennurbs_knot.h"
#include "opennurbs_xform.h"

ON_NurbsCurve::ON_NurbsCurve() = default;

ON_NurbsCurve::ON_NurbsCurve(int dimension, bool is_rational, int order, int cv_count) {
  Create(dimension, is_rational, order, cv_count);
}

ON_NurbsCurve::ON_NurbsCurve(const ON_NurbsCurve& src) : ON_Curve(src) {
  // A shape Create refuses (an empty curve, or one set up wrongly by hand)
  // copies as an empty curve.
  if (src.m_dim < 1 || src.m_dim > 3 || ON_KnotCount(src.m_order, src.m_cv_count) == 0) return;
  ON_NurbsCurve copy;
  if (!copy.Create(src.m_dim, src.m_is_rat != 0, src.m_order, src.m_cv_count)) throw std::bad_alloc();
  // Arrays a caller emptied by hand are copied as the zeros Create made.
  if (src.m_knot) std::memcpy(copy.m_knot, src.m_knot, sizeof(double) * static_cast<size_t>(src.KnotCount()));
  const int size = src.CVSize();
  for (int i = 0; i < src.m_cv_count; ++i)
    if (src.CV(i))
      std::memcpy(copy.m_cv + static_cast<long long>(i) * size, src.CV(i), sizeof(double) * static_cast<size_t>(size));
  Swap(copy);
}

ON_NurbsCurve& ON_NurbsCurve::operator=(const ON_NurbsCurve& src) { return ON_CV::CopyAssign(*this, src); }

ON_NurbsCurve::ON_NurbsCurve(ON_NurbsCurve&& src) noexcept : ON_Curve(src) { Swap(src); }

ON_NurbsCurve& ON_NurbsCurve::operator=(ON_NurbsCurve&& src) noexcept { return ON_CV::MoveAssign(*this, src); }

ON_NurbsCurve::~ON_NurbsCurve() { Destroy(); }

void ON_NurbsCurve::Swap(ON_NurbsCurve& other) noexcept {
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

bool ON_NurbsCurve::Create(int dimension, bool is_rational, int order, int cv_count) {
  if (dimension < 1 || dimension > 3) return false;
  const int knot_count = ON_KnotCount(order, cv_count);
  if (knot_count == 0) return false;
  const int size = dimension + (is_rational ? 1 : 0);
  const long long cv_doubles = static_cast<long long>(size) * cv_count;
  double* knot = ON_CV::NewDoubles(knot_count);
  double* cv = ON_CV::NewDoubles(cv_doubles);
  if (!knot || !cv) {
    std::free(knot);
    std::free(cv);
    return false;
  }
  std::fill(knot, knot + knot_count, 0.0);
  std::fill(cv, cv + cv_doubles, 0.0);
  if (is_rational)
    for (int i = 0; i < cv_count; ++i) cv[static_cast<long long>(i) * size + dimension] = 1.0;
  Destroy();
  m_dim = dimension;
  m_is_rat = is_rational ? 1 : 0;
  m_order = order;
  m_cv_count = cv_count;
  m_knot_capacity = knot_count;
  m_knot = knot;
  m_cv_stride = size;
  m_cv_capacity = static_cast<int>(cv_doubles);
  m_cv = cv;
  return true;
}

bool ON_NurbsCurve::CreateClampedUniformNurbs(int dimension, int order, int point_count, const ON_3dPoint* point,
                                              double knot_delta) {
  if (!point || !ON_IsValid(knot_delta) || !(knot_delta > 0.0) || ON_KnotCount(order, point_count) == 0) return false;
  ON_NurbsCurve curve;
  if (!curve.Create(dimension, false, order, point_count)) return false;
  for (int i = 0; i < point_count; ++i) curve.SetCV(i, point[i]);
  ON_MakeClampedUniformKnotVector(order, point_count, curve.m_knot, knot_delta);
  Swap(curve);
  return true;
}

void ON_NurbsCurve::Destroy() {
  std::free(m_knot);
  std::free(m_cv);
  m_dim = m_is_rat = m_order = m_cv_count = 0;
  m_knot_capacity = m_cv_stride = m_cv_capacity = 0;
  m_knot = m_cv = nullptr;
}

int ON_NurbsCurve::KnotCount() const { return ON_KnotCount(m_order, m_cv_count); }

bool ON_NurbsCurve::IsValid(ON_TextLog*) const {
  if (m_dim < 1 || m_dim > 3 || !m_knot || !m_cv || m_cv_stride < CVSize()) return false;
  const int knot_count = KnotCount();
  if (knot_count == 0 || m_knot_capacity < knot_count) return false;
  if (static_cast<long long>(m_cv_stride) * (m_cv_count - 1) + CVSize() > m_cv_capacity) return false;
  if (!ON_IsValidKnotVector(m_order, m_cv_count, m_knot)) return false;
  for (int i = 0; i < m_cv_count; ++i)
    if (!ON_CV::IsValid(m_dim, m_is_rat != 0, CV(i))) return false;
  return true;
}

bool ON_NurbsCurve::GetBBox(double* boxmin, double* boxmax, bool grow_box) const {
  if (!IsValid()) return false;
  ON_BoundingBox box;
  for (int i = 0; i < m_cv_count; ++i) {
    ON_3dPoint p;
    GetCV(i, p);
    box.Set(p, true);
  }
  return ReturnBBox(box, boxmin, boxmax, grow_box);
}

bool ON_NurbsCurve::Transform(const ON_Xform& xform) {
  if (m_dim != 3 || !m_cv) return false;
  for (int i = 0; i < m_cv_count; ++i) ON_CV::Transform(m_is_rat != 0, CV(i), xform);
  return true;
}

ON_Interval ON_NurbsCurve::Domain() const {
  if (KnotCount() == 0 || !m_knot) return ON_Interval();
  return ON_Interval(m_knot[m_order - 2], m_knot[m_cv_count - 1]);
}

ON_3dPoint ON_NurbsCurve::PointAt(double t) const {
  double h[4] = {0.0, 0.0, 0.0, 1.0};
  ON_3dPoint p;
  if (m_dim < 1 || m_dim > 3 ||
      !ON_EvaluateNurbsPoint(CVSize(), m_order, m_cv_count, m_knot, m_cv, m_cv_stride, t, h) ||
      !ON_CV::Get(m_dim, m_is_rat != 0, h, p))
    return ON_UNSET_POINT;
  return p;
}

bool ON_NurbsCurve::IsPeriodic() const {
  if (!IsValid() || !ON_IsKnotVectorPeriodic(m_order, m_cv_count, m_knot)) return false;
  const int shift = m_cv_count - m_order + 1;
  for (int i = 0; i < m_order - 1; ++i)
    if (!ON_PointsAreCoincident(m_dim, m_is_rat != 0, CV(i), CV(i + shift))) return false;
  return true;
}

bool ON_NurbsCurve::IsClosed() const {
  if (IsPeriodic()) return true;
  return m_cv_count >= 4 && ON_Curve::IsClosed();
}

int ON_NurbsCurve::GetNurbForm(ON_NurbsCurve& nurbs_curve, double, const ON_Interval* subdomain) const {
  if (!IsValid()) return 0;
  try {
    ON_NurbsCurve copy(*this);
    if (subdomain && !copy.Trim(*subdomain)) return 0;
    nurbs_curve.Swap(copy);
  } catch (const std::bad_alloc&) {
    return 0;
  }
  return 1;
}

ON_Curve* ON_NurbsCurve::DuplicateCurve() const { return ON_NewCurveCopy(*this); }

double ON_NurbsCurve::Knot(int knot_index) const {
  return (m_knot && knot_index >= 0 && knot_index < KnotCount()) ? m_knot[knot_index] : 0.0;
}

bool ON_NurbsCurve::SetKnot(int knot_index, double knot_value) {
  if (!m_knot || knot_index < 0 || knot_index >= KnotCount()) return false;
  m_knot[knot_index] = knot_value;
  return true;
}

bool ON_NurbsCurve::MakeClampedUniformKnotVector(double delta) {
  return m_knot && ON_MakeClampedUniformKnotVector(m_order, m_cv_count, m_knot, delta);
}

double* ON_NurbsCurve::CV(int cv_index) const {
  if (!m_cv || cv_index < 0 || cv_index >= m_cv_count) return nullptr;
  return m_cv + static_cast<long long>(cv_index) * m_cv_stride;
}

bool ON_NurbsCurve::SetCV(int cv_index, const ON_3dPoint& point) {
  double* cv = CV(cv_index);
  if (!cv) return false;
  ON_CV::Set(m_dim, m_is_rat != 0, cv, point);
  return true;
}

bool ON_NurbsCurve::SetCV(int cv_index, const ON_4dPoint& point) {
  double* cv = CV(cv_index);
  return cv && ON_CV::Set(m_dim, m_is_rat != 0, cv, point);
}

bool ON_NurbsCurve::GetCV(int cv_index, ON_3dPoint& point) const {
  const double* cv = CV(cv_index);
  return cv && ON_CV::Get(m_dim, m_is_rat != 0, cv, point);
}

bool ON_NurbsCurve::GetCV(int cv_index, ON_4dPoint& point) const {
  const double* cv = CV(cv_index);
  if (!cv) return false;
  ON_CV::Get(m_dim, m_is_rat != 0, cv, point);
  return true;
}

double ON_NurbsCurve::Weight(int cv_index) const {
  const double* cv = CV(cv_index);
  return (cv && m_is_rat) ? cv[m_dim] : 1.0;
}

bool ON_NurbsCurve::SetWeight(int cv_index, double weight) {
  double* cv = CV(cv_index);
  if (!cv) return false;
  if (!m_is_rat) return weight == 1.0;
  cv[m_dim] = weight;
  return true;
}

bool ON_NurbsCurve::SetDomain(double t0, double t1) {
  const ON_Interval domain = Domain();
  if (!ON_IsValid(t0) || !ON_IsValid(t1) || !(t0 < t1) || !domain.IsIncreasing()) return false;
  const ON_Interval target(t0, t1);
  const int count = KnotCount();
  for (int i = 0; i < count; ++i) m_knot[i] = target.ParameterAt(domain.NormalizedParameterAt(m_knot[i]));
  return true;
}

bool ON_NurbsCurve::Trim(const ON_Interval& sub_domain) {
  if (!IsValid() || !sub_domain.IsIncreasing()) return false;
  const ON_Interval domain = Domain();
  const double a = sub_domain[0], b = sub_domain[1];
  if (a < domain[0] || b > domain[1]) return false;
  const int p = m_order - 1;
  const int size = CVSize();
  try {
    std::vector<double> knot(m_knot, m_knot + KnotCount());
    std::vector<double> cv(static_cast<size_t>(m_cv_count) * size);
    for (int i = 0; i < m_cv_count; ++i) std::memcpy(&cv[static_cast<size_t>(i) * size], CV(i), sizeof(double) * size);
    // Boehm's insertion of t until it is repeated p times: the curve then
    // passes through the control point where the run of t begins.
    auto insert = [&](double t) {
      for (;;) {
        const int cv_count = static_cast<int>(cv.size()) / size;
        if (std::count(knot.begin(), knot.end(), t) >= p) return;
        const int s = ON_NurbsSpanIndex(m_order, cv_count, knot.data(), t);
        std::vector<double> next(cv.size() + size);
        for (int i = 0; i <= cv_count; ++i) {
          double* q = &next[static_cast<size_t>(i) * size];
          if (i <= s) {
            std::memcpy(q, &cv[static_cast<size_t>(i) * size], sizeof(double) * size);
          } else if (i >= s + p + 1) {
            std::memcpy(q, &cv[static_cast<size_t>(i - 1) * size], sizeof(double) * size);
          } else {
            const double alpha = (t - knot[i - 1]) / (knot[i + p - 1] - knot[i - 1]);
            for (int k = 0; k < size; ++k)
              q[k] = alpha * cv[static_cast<size_t>(i) * size + k] +
                     (1.0 - alpha) * cv[static_cast<size_t>(i - 1) * size + k];
          }
        }
        knot.insert(knot.begin() + s + p, t);
        cv.swap(next);
      }
    };
    insert(a);
    insert(b);
    const int ia = static_cast<int>(std::lower_bound(knot.begin(), knot.end(), a) - knot.begin());
    const int ib = static_cast<int>(std::lower_bound(knot.begin(), knot.end(), b) - knot.begin());
    ON_NurbsCurve trimmed;
    if (!trimmed.Create(m_dim, m_is_rat != 0, m_order, ib - ia + 1)) return false;
    std::copy(knot.begin() + ia, knot.begin() + ib + p, trimmed.m_knot);
    std::copy(cv.begin() + static_cast<std::ptrdiff_t>(ia) * size,
              cv.begin() + static_cast<std::ptrdiff_t>(ib + 1) * size, trimmed.m_cv);
    Swap(trimmed);
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}
