#include "opennurbs_interval.h"

#include <utility>

ON_Interval::ON_Interval() : m_t{ON_UNSET_VALUE, ON_UNSET_VALUE} {}

void ON_Interval::Destroy() { m_t[0] = m_t[1] = ON_UNSET_VALUE; }

double ON_Interval::ParameterAt(double x) const {
  if (x == 0.0) return m_t[0];
  if (x == 1.0) return m_t[1];
  return m_t[0] + x * (m_t[1] - m_t[0]);  // monotone in x
}

double ON_Interval::NormalizedParameterAt(double t) const {
  if (t == m_t[0]) return 0.0;
  if (t == m_t[1]) return 1.0;
  const double length = Length();
  return length != 0.0 ? (t - m_t[0]) / length : t;
}

bool ON_Interval::Includes(double t) const { return IsValid() && ON_IsValid(t) && Min() <= t && t <= Max(); }

void ON_Interval::Swap() { std::swap(m_t[0], m_t[1]); }

void ON_Interval::Reverse() {
  const double t0 = m_t[0];
  m_t[0] = -m_t[1];
  m_t[1] = -t0;
}
