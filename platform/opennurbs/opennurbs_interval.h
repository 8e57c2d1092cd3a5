// ON_Interval: a parameter interval from m_t[0] to m_t[1]. It may be
// decreasing (m_t[0] > m_t[1]); Min() and Max() order the ends.
#pragma once

#include "opennurbs_defines.h"

class ON_Interval {
 public:
  // Both ends ON_UNSET_VALUE: not valid until set.
  ON_Interval();
  ON_Interval(double t0, double t1) : m_t{t0, t1} {}

  double m_t[2];

  void Set(double t0, double t1) {
    m_t[0] = t0;
    m_t[1] = t1;
  }
  // Unsets both ends.
  void Destroy();

  double& operator[](int i) { return m_t[i <= 0 ? 0 : 1]; }
  double operator[](int i) const { return m_t[i <= 0 ? 0 : 1]; }

  double Min() const { return m_t[0] <= m_t[1] ? m_t[0] : m_t[1]; }
  double Max() const { return m_t[0] <= m_t[1] ? m_t[1] : m_t[0]; }
  double Mid() const { return 0.5 * (m_t[0] + m_t[1]); }
  // m_t[1] - m_t[0]: negative for a decreasing interval.
  double Length() const { return m_t[1] - m_t[0]; }

  // Both ends set and finite (they may be equal).
  bool IsValid() const { return ON_IsValid(m_t[0]) && ON_IsValid(m_t[1]); }
  bool IsIncreasing() const { return IsValid() && m_t[0] < m_t[1]; }
  bool IsDecreasing() const { return IsValid() && m_t[0] > m_t[1]; }

  // m_t[0] + x * Length(): 0 gives m_t[0] and 1 gives m_t[1] exactly, and
  // the result never decreases as x grows (for an increasing interval).
  double ParameterAt(double x) const;
  // The x with ParameterAt(x) == t; t itself for an interval of length 0.
  double NormalizedParameterAt(double t) const;
  // Min() <= t <= Max() (for a valid interval and t).
  bool Includes(double t) const;

  // Swaps the ends.
  void Swap();
  // [-m_t[1], -m_t[0]]: the interval of the reversed parameter.
  void Reverse();

  bool operator==(const ON_Interval& other) const { return m_t[0] == other.m_t[0] && m_t[1] == other.m_t[1]; }
  bool operator!=(const ON_Interval& other) const { return !(*this == other); }
};
