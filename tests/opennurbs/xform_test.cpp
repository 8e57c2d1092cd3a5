#include <gtest/gtest.h>

#include <cmath>

#include "opennurbs.h"

namespace {

// The determinant of the upper-left 3x3 of x (the linear part).
double LinearDeterminant(const ON_Xform& x) {
  const auto& m = x.m_xform;
  return m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) - m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
         m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
}

TEST(Xform, DefaultsAsInOpenNurbs) {
  const ON_Xform zero;
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) EXPECT_EQ(zero.m_xform[i][j], (i == 3 && j == 3) ? 1.0 : 0.0);
  EXPECT_TRUE(ON_Xform(1).IsIdentity());
  ON_Xform x;
  x.Identity();
  EXPECT_TRUE(x.IsIdentity());
  EXPECT_EQ(x * ON_3dPoint(1, 2, 3), ON_3dPoint(1, 2, 3));
  EXPECT_EQ(x[2][2], 1.0);
}

// The case the importer relies on: a quarter turn about X maps coordinates
// exactly (no 6e-17 left where a 0 belongs).
TEST(Xform, MinusQuarterTurnAboutXIsExact) {
  ON_Xform r;
  ASSERT_TRUE(r.Rotation(-ON_PI / 2, ON_xaxis, ON_origin));
  const double expected[4][4] = {{1, 0, 0, 0}, {0, 0, 1, 0}, {0, -1, 0, 0}, {0, 0, 0, 1}};
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) EXPECT_EQ(r.m_xform[i][j], expected[i][j]) << i << "," << j;
  const ON_3fPoint samples[] = {ON_3fPoint(1, 2, 3), ON_3fPoint(-0.1f, 12.75f, -1e-3f), ON_3fPoint(3.3e7f, -7.1f, 0.5f)};
  for (const ON_3fPoint& p : samples) {
    const ON_3fPoint q(r * ON_3dPoint(p));
    EXPECT_EQ(q.x, p.x);
    EXPECT_EQ(q.y, p.z);
    EXPECT_EQ(q.z, -p.y);
  }
  // The sine/cosine form gives the same matrix.
  ON_Xform r2;
  ASSERT_TRUE(r2.Rotation(-1.0, 0.0, ON_xaxis, ON_origin));
  EXPECT_EQ(r, r2);
  ON_Xform r3;  // and the plain library values of sin and cos are snapped
  ASSERT_TRUE(r3.Rotation(std::sin(-ON_PI / 2), std::cos(-ON_PI / 2), ON_xaxis, ON_origin));
  EXPECT_EQ(r, r3);
}

TEST(Xform, QuarterTurnsAreExactAndRightHanded) {
  ON_Xform r;
  ASSERT_TRUE(r.Rotation(ON_PI / 2, ON_zaxis, ON_origin));
  EXPECT_EQ(r * ON_3dPoint(1, 0, 0), ON_3dPoint(0, 1, 0));  // x turns toward y
  EXPECT_EQ(r * ON_3dVector(0, 1, 0), ON_3dVector(-1, 0, 0));
  ASSERT_TRUE(r.Rotation(ON_PI / 2, ON_xaxis, ON_origin));
  EXPECT_EQ(r * ON_3dPoint(1, 2, 3), ON_3dPoint(1, -3, 2));
  ASSERT_TRUE(r.Rotation(ON_PI, ON_yaxis, ON_origin));
  EXPECT_EQ(r * ON_3dPoint(1, 2, 3), ON_3dPoint(-1, 2, -3));
  ASSERT_TRUE(r.Rotation(3 * ON_PI / 2, ON_xaxis, ON_origin));
  EXPECT_EQ(r * ON_3dPoint(1, 2, 3), ON_3dPoint(1, 3, -2));
  // Multiples whose library sine or cosine is off by several ulps.
  ASSERT_TRUE(r.Rotation(11 * ON_PI / 2, ON_xaxis, ON_origin));
  EXPECT_EQ(r * ON_3dPoint(1, 2, 3), ON_3dPoint(1, 3, -2));
  ASSERT_TRUE(r.Rotation(-11 * ON_PI, ON_xaxis, ON_origin));
  EXPECT_EQ(r * ON_3dPoint(1, 2, 3), ON_3dPoint(1, -2, -3));
  ASSERT_TRUE(r.Rotation(2 * ON_PI, ON_xaxis, ON_origin));
  EXPECT_TRUE(r.IsIdentity());
  ASSERT_TRUE(r.Rotation(-20 * ON_PI, ON_zaxis, ON_origin));
  EXPECT_TRUE(r.IsIdentity());
  ASSERT_TRUE(r.Rotation(0.0, ON_zaxis, ON_origin));
  EXPECT_TRUE(r.IsIdentity());
  // The axis need not be unit length.
  ASSERT_TRUE(r.Rotation(ON_PI / 2, ON_3dVector(0, 0, 5), ON_origin));
  EXPECT_EQ(r * ON_3dPoint(1, 0, 0), ON_3dPoint(0, 1, 0));
}

TEST(Xform, GeneralRotation) {
  const ON_3dVector axis(1, 2, -2);  // length 3
  const double angle = 0.3;
  ON_Xform r;
  ASSERT_TRUE(r.Rotation(angle, axis, ON_origin));
  // Orthonormal with determinant 1.
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) {
      double dot = 0;
      for (int k = 0; k < 3; ++k) dot += r[i][k] * r[j][k];
      EXPECT_NEAR(dot, i == j ? 1.0 : 0.0, 1e-15);
    }
  // With the last row exactly (0, 0, 0, 1) the 4x4 determinant is that of
  // the linear part.
  for (int j = 0; j < 4; ++j) EXPECT_EQ(r[3][j], j == 3 ? 1.0 : 0.0);
  EXPECT_NEAR(LinearDeterminant(r), 1.0, 1e-15);
  // The axis is fixed; a perpendicular vector turns by the angle, right-handed.
  ON_3dVector u = axis;
  u.Unitize();
  const ON_3dVector a = r * u;
  EXPECT_NEAR((a - u).Length(), 0.0, 1e-15);
  ON_3dVector p;
  ASSERT_TRUE(p.PerpendicularTo(u));
  p.Unitize();
  const ON_3dVector q = r * p;
  EXPECT_NEAR(q * p, std::cos(angle), 1e-15);
  EXPECT_NEAR(ON_CrossProduct(p, q) * u, std::sin(angle), 1e-15);
  // Composition adds angles.
  ON_Xform r2;
  ASSERT_TRUE(r2.Rotation(2 * angle, axis, ON_origin));
  const ON_Xform rr = r * r;
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) EXPECT_NEAR(rr[i][j], r2[i][j], 1e-15);
  // Unnormalised sine and cosine are normalised.
  ON_Xform r3;
  ASSERT_TRUE(r3.Rotation(4 * std::sin(angle), 4 * std::cos(angle), axis, ON_origin));
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) EXPECT_NEAR(r3[i][j], r[i][j], 1e-15);
}

TEST(Xform, RotationAboutACenterKeepsItFixed) {
  const ON_3dPoint center(1, 2, 3);
  ON_Xform r;
  ASSERT_TRUE(r.Rotation(ON_PI / 2, ON_zaxis, center));
  EXPECT_EQ(r * center, center);
  EXPECT_EQ(r * ON_3dPoint(2, 2, 3), ON_3dPoint(1, 3, 3));
  ASSERT_TRUE(r.Rotation(0.7, ON_3dVector(1, 1, 0), center));
  const ON_3dPoint c = r * center;
  EXPECT_NEAR(c.DistanceTo(center), 0.0, 1e-15);
}

TEST(Xform, RejectsBadRotations) {
  ON_Xform r;
  EXPECT_FALSE(r.Rotation(0.5, ON_3dVector(0, 0, 0), ON_origin));
  EXPECT_TRUE(r.IsIdentity());
  EXPECT_FALSE(r.Rotation(std::nan(""), ON_zaxis, ON_origin));
  EXPECT_TRUE(r.IsIdentity());
  EXPECT_FALSE(r.Rotation(0.0, 0.0, ON_zaxis, ON_origin));
  EXPECT_TRUE(r.IsIdentity());
}

TEST(Xform, ProductsAndHomogeneousPoints) {
  ON_Xform t, r;
  t.Translation(10, 0, 0);
  r.Rotation(ON_PI / 2, ON_zaxis, ON_origin);
  // (t * r) rotates first, then translates.
  EXPECT_EQ((t * r) * ON_3dPoint(1, 0, 0), ON_3dPoint(10, 1, 0));
  EXPECT_EQ((r * t) * ON_3dPoint(1, 0, 0), ON_3dPoint(0, 11, 0));
  EXPECT_EQ(t * ON_3dVector(1, 0, 0), ON_3dVector(1, 0, 0));  // vectors do not translate
  ON_Xform h(1);
  h.m_xform[3][3] = 2.0;
  EXPECT_EQ(h * ON_3dPoint(2, 4, 6), ON_3dPoint(1, 2, 3));
  ON_3dPoint p(1, 0, 0);
  p.Transform(t);
  EXPECT_EQ(p, ON_3dPoint(11, 0, 0));
}

}  // namespace
