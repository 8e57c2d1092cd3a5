// ON_Xform: a 4x4 homogeneous transformation acting on column vectors,
// m_xform[row][column], as in openNURBS: p' = M * (p.x, p.y, p.z, 1), with the
// translation in the last column.
#pragma once

#include "opennurbs_point.h"

// The sine and cosine of `angle` (radians). An angle within a few ulps of a
// multiple of pi/2 gives exactly 0 and +-1, so quarter turns land exactly.
void ON_SinCos(double angle, double* sin_angle, double* cos_angle);

class ON_Xform {
 public:
  double m_xform[4][4];

  // As in openNURBS, the default transformation is the zero matrix with
  // m_xform[3][3] = 1 (not the identity); ON_Xform(1) is the identity.
  ON_Xform();
  // Diagonal d, d, d, 1.
  explicit ON_Xform(int d);
  explicit ON_Xform(double d);
  // From 16 values in row order.
  explicit ON_Xform(const double m[4][4]);

  double* operator[](int row) { return m_xform[row]; }
  const double* operator[](int row) const { return m_xform[row]; }

  void Zero();      // all 0 but m_xform[3][3] = 1
  void Identity();  // the identity
  void Diagonal(double d);
  bool IsIdentity(double tolerance = 0.0) const;
  bool IsValid() const;  // all entries finite

  // Right-hand rotation by `angle` radians about the line through `center`
  // along `axis`. An angle within a few ulps of a multiple of pi/2 is taken
  // as exactly that multiple (sin and cos exactly 0 or +-1), so quarter
  // turns map coordinates exactly. False, and the identity, when the axis is
  // zero or a value is not finite.
  bool Rotation(double angle, ON_3dVector axis, ON_3dPoint center);
  // The same from the sine and cosine of the angle. They are normalised when
  // sin^2 + cos^2 is not 1, and a sine or cosine within a few ulps of 0 is
  // taken as exactly 0 (the other then exactly +-1).
  bool Rotation(double sin_angle, double cos_angle, ON_3dVector axis, ON_3dPoint center);
  void Translation(const ON_3dVector& delta);
  void Translation(double dx, double dy, double dz);

  void Transpose();

  // The product, this * rhs: rhs applies first.
  ON_Xform operator*(const ON_Xform& rhs) const;
  // The transformed point, divided by the homogeneous w unless w is 0 or 1.
  ON_3dPoint operator*(const ON_3dPoint& p) const;
  // The vector under the linear (upper-left 3x3) part.
  ON_3dVector operator*(const ON_3dVector& v) const;

  bool operator==(const ON_Xform& other) const;
  bool operator!=(const ON_Xform& other) const { return !(*this == other); }
};
