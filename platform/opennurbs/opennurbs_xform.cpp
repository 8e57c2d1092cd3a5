#include "opennurbs_xform.h"

#include <cmath>
#include <cstring>
#include <utility>

ON_Xform::ON_Xform() { Zero(); }

ON_Xform::ON_Xform(int d) { Diagonal(static_cast<double>(d)); }

ON_Xform::ON_Xform(double d) { Diagonal(d); }

ON_Xform::ON_Xform(const double m[4][4]) { std::memcpy(m_xform, m, sizeof(m_xform)); }

void ON_Xform::Zero() {
  std::memset(m_xform, 0, sizeof(m_xform));
  m_xform[3][3] = 1.0;
}

void ON_Xform::Identity() { Diagonal(1.0); }

void ON_Xform::Diagonal(double d) {
  Zero();
  m_xform[0][0] = m_xform[1][1] = m_xform[2][2] = d;
}

bool ON_Xform::IsIdentity(double tolerance) const {
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j)
      if (!(std::fabs(m_xform[i][j] - (i == j ? 1.0 : 0.0)) <= tolerance)) return false;
  return true;
}

bool ON_Xform::IsValid() const {
  for (const auto& row : m_xform)
    for (double v : row)
      if (!std::isfinite(v)) return false;
  return true;
}

void ON_SinCos(double angle, double* sin_angle, double* cos_angle) {
  double s = std::sin(angle), c = std::cos(angle);
  // Snap an angle within a few ulps of k * pi/2 to k * pi/2 exactly (for
  // moderate k, where "a few ulps" is still far below a quarter turn).
  const double quarter = 0.5 * ON_PI;
  if (std::fabs(angle) <= 1048576.0 * quarter) {
    const double k = std::nearbyint(angle / quarter);
    const double tolerance = 4.0 * ON_EPSILON * std::fmax(std::fabs(angle), 1.0);
    if (std::fabs(angle - k * quarter) <= tolerance) {
      static const double kSin[4] = {0.0, 1.0, 0.0, -1.0};
      static const double kCos[4] = {1.0, 0.0, -1.0, 0.0};
      const int q = static_cast<int>(std::fmod(k, 4.0) + 4.0) % 4;
      s = kSin[q];
      c = kCos[q];
    }
  }
  *sin_angle = s;
  *cos_angle = c;
}

bool ON_Xform::Rotation(double angle, ON_3dVector axis, ON_3dPoint center) {
  if (!std::isfinite(angle)) {
    Identity();
    return false;
  }
  double s = 0.0, c = 1.0;
  ON_SinCos(angle, &s, &c);
  return Rotation(s, c, axis, center);
}

bool ON_Xform::Rotation(double s, double c, ON_3dVector axis, ON_3dPoint center) {
  Identity();
  if (!std::isfinite(s) || !std::isfinite(c) || !center.IsValid()) return false;
  const double r = std::hypot(s, c);
  if (r == 0.0 || !axis.Unitize()) return false;
  if (std::fabs(r - 1.0) > 4.0 * ON_EPSILON) {
    s /= r;
    c /= r;
  }
  const double snap = 4.0 * ON_EPSILON;
  if (std::fabs(s) <= snap) {
    s = 0.0;
    c = c < 0.0 ? -1.0 : 1.0;
  } else if (std::fabs(c) <= snap) {
    c = 0.0;
    s = s < 0.0 ? -1.0 : 1.0;
  }
  if (s == 0.0 && c == 1.0) return true;

  // Rodrigues' rotation matrix R = c I + s [axis]x + (1 - c) axis axis^T.
  const double t = 1.0 - c;
  const double x = axis.x, y = axis.y, z = axis.z;
  m_xform[0][0] = t * x * x + c;
  m_xform[0][1] = t * x * y - s * z;
  m_xform[0][2] = t * x * z + s * y;
  m_xform[1][0] = t * x * y + s * z;
  m_xform[1][1] = t * y * y + c;
  m_xform[1][2] = t * y * z - s * x;
  m_xform[2][0] = t * x * z - s * y;
  m_xform[2][1] = t * y * z + s * x;
  m_xform[2][2] = t * z * z + c;
  // Keep center fixed: translation = center - R * center.
  for (int i = 0; i < 3; ++i) {
    const double moved = m_xform[i][0] * center.x + m_xform[i][1] * center.y + m_xform[i][2] * center.z;
    m_xform[i][3] = center[i] - moved;
  }
  return true;
}

void ON_Xform::Translation(const ON_3dVector& delta) { Translation(delta.x, delta.y, delta.z); }

void ON_Xform::Translation(double dx, double dy, double dz) {
  Identity();
  m_xform[0][3] = dx;
  m_xform[1][3] = dy;
  m_xform[2][3] = dz;
}

void ON_Xform::Transpose() {
  for (int i = 0; i < 4; ++i)
    for (int j = i + 1; j < 4; ++j) std::swap(m_xform[i][j], m_xform[j][i]);
}

ON_Xform ON_Xform::operator*(const ON_Xform& rhs) const {
  ON_Xform product;
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j)
      product.m_xform[i][j] = m_xform[i][0] * rhs.m_xform[0][j] + m_xform[i][1] * rhs.m_xform[1][j] +
                              m_xform[i][2] * rhs.m_xform[2][j] + m_xform[i][3] * rhs.m_xform[3][j];
  return product;
}

ON_3dPoint ON_Xform::operator*(const ON_3dPoint& p) const {
  const auto& m = m_xform;
  double x = m[0][0] * p.x + m[0][1] * p.y + m[0][2] * p.z + m[0][3];
  double y = m[1][0] * p.x + m[1][1] * p.y + m[1][2] * p.z + m[1][3];
  double z = m[2][0] * p.x + m[2][1] * p.y + m[2][2] * p.z + m[2][3];
  const double w = m[3][0] * p.x + m[3][1] * p.y + m[3][2] * p.z + m[3][3];
  if (w != 0.0 && w != 1.0) {
    x /= w;
    y /= w;
    z /= w;
  }
  return ON_3dPoint(x, y, z);
}

ON_3dVector ON_Xform::operator*(const ON_3dVector& v) const {
  const auto& m = m_xform;
  return ON_3dVector(m[0][0] * v.x + m[0][1] * v.y + m[0][2] * v.z, m[1][0] * v.x + m[1][1] * v.y + m[1][2] * v.z,
                     m[2][0] * v.x + m[2][1] * v.y + m[2][2] * v.z);
}

bool ON_Xform::operator==(const ON_Xform& other) const {
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j)
      if (m_xform[i][j] != other.m_xform[i][j]) return false;
  return true;
}

void ON_3dPoint::Transform(const ON_Xform& xform) { *this = xform * *this; }

void ON_3dVector::Transform(const ON_Xform& xform) { *this = xform * *this; }
