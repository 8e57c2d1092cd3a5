#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <type_traits>

#include "opennurbs.h"

namespace {

// The normal that PerpendicularTo must find, from a plain cross product.
ON_3dVector ReferenceNormal(const ON_3dPoint& p0, const ON_3dPoint& p1, const ON_3dPoint& p2) {
  ON_3dVector n = ON_CrossProduct(p1 - p0, p2 - p0);
  n.Unitize();
  return n;
}

void ExpectNear(const ON_3dVector& a, const ON_3dVector& b, double tolerance) {
  EXPECT_NEAR(a.x, b.x, tolerance);
  EXPECT_NEAR(a.y, b.y, tolerance);
  EXPECT_NEAR(a.z, b.z, tolerance);
}

TEST(Point, Types) {
  static_assert(std::is_same<decltype(ON_3dPoint() - ON_3dPoint()), ON_3dVector>::value, "");
  static_assert(std::is_same<decltype(ON_3dPoint() + ON_3dVector()), ON_3dPoint>::value, "");
  static_assert(std::is_same<decltype(ON_3dPoint() - ON_3dVector()), ON_3dPoint>::value, "");
  static_assert(std::is_same<decltype(ON_3fPoint() - ON_3fPoint()), ON_3fVector>::value, "");
  static_assert(std::is_same<decltype(ON_3dVector() * ON_3dVector()), double>::value, "dot product");
  // Float to double is exact and implicit; double to float only explicit.
  static_assert(std::is_convertible<ON_3fPoint, ON_3dPoint>::value, "");
  static_assert(!std::is_convertible<ON_3dPoint, ON_3fPoint>::value, "");
  static_assert(std::is_constructible<ON_3fPoint, ON_3dPoint>::value, "");
  static_assert(std::is_convertible<ON_3fVector, ON_3dVector>::value, "");
  static_assert(!std::is_convertible<ON_3dVector, ON_3fVector>::value, "");
  static_assert(std::is_trivially_copyable<ON_3dPoint>::value && std::is_trivially_copyable<ON_3fVector>::value,
                "usable in ON_SimpleArray");
}

TEST(Point, ArithmeticAndGlobals) {
  const ON_3dPoint p(1, 2, 3);
  const ON_3dPoint q(4, 6, 3);
  EXPECT_EQ(q - p, ON_3dVector(3, 4, 0));
  EXPECT_EQ(p.DistanceTo(q), 5.0);
  EXPECT_EQ(p + ON_3dVector(1, 1, 1), ON_3dPoint(2, 3, 4));
  EXPECT_EQ(p - ON_3dVector(1, 1, 1), ON_3dPoint(0, 1, 2));
  EXPECT_EQ(p * 2.0, ON_3dPoint(2, 4, 6));
  EXPECT_EQ(2.0 * p, ON_3dPoint(2, 4, 6));
  EXPECT_EQ(p / 2.0, ON_3dPoint(0.5, 1, 1.5));
  EXPECT_EQ((p + q) * 0.5, ON_3dPoint(2.5, 4, 3));
  EXPECT_EQ(p[0], 1.0);
  EXPECT_EQ(p[1], 2.0);
  EXPECT_EQ(p[2], 3.0);
  ON_3dPoint r = p;
  r[1] = 7;
  EXPECT_EQ(r.y, 7.0);
  EXPECT_EQ(ON_3dPoint(), ON_origin);
  EXPECT_EQ(ON_origin, ON_3dPoint(0, 0, 0));
  EXPECT_EQ(ON_xaxis, ON_3dVector(1, 0, 0));
  EXPECT_EQ(ON_yaxis, ON_3dVector(0, 1, 0));
  EXPECT_EQ(ON_zaxis, ON_3dVector(0, 0, 1));
  EXPECT_EQ(ON_PI, 3.141592653589793);
  EXPECT_EQ(ON_CrossProduct(ON_xaxis, ON_yaxis), ON_zaxis);  // right-handed
  EXPECT_EQ(ON_CrossProduct(ON_yaxis, ON_zaxis), ON_xaxis);
  EXPECT_EQ(ON_DotProduct(ON_3dVector(1, 2, 3), ON_3dVector(4, 5, 6)), 32.0);
  EXPECT_EQ(ON_3dVector(1, 2, 3) * ON_3dVector(4, 5, 6), 32.0);
  const ON_3dVector v(1, -2, 2);
  EXPECT_EQ(v.Length(), 3.0);
  EXPECT_EQ(-v, ON_3dVector(-1, 2, -2));
  EXPECT_EQ(v + v - v * 2.0, ON_3dVector(0, 0, 0));
  EXPECT_TRUE((v - v).IsZeroVector());
  ON_3dVector w = v;
  w.Zero();
  EXPECT_TRUE(w.IsZeroVector());

  const ON_3fPoint f(1.5f, -2.0f, 0.25f);
  const ON_3dPoint d = f;
  EXPECT_EQ(d, ON_3dPoint(1.5, -2.0, 0.25));
  EXPECT_EQ(ON_3fPoint(ON_3dPoint(0.1, 0.2, 0.3)), ON_3fPoint(0.1f, 0.2f, 0.3f));
  EXPECT_EQ(ON_3fPoint(1, 1, 1) - ON_3fPoint(0, 1, 2), ON_3fVector(1, 0, -1));
  EXPECT_EQ(ON_CrossProduct(ON_3fVector(1, 0, 0), ON_3fVector(0, 1, 0)), ON_3fVector(0, 0, 1));
}

TEST(Vector, LengthAndUnitizeAreRobust) {
  EXPECT_DOUBLE_EQ(ON_3dVector(3e300, 4e300, 0).Length(), 5e300);    // no overflow
  EXPECT_DOUBLE_EQ(ON_3dVector(3e-300, 0, 4e-300).Length(), 5e-300);  // no underflow
  ON_3dVector v(0, 3e-320, 4e-320);                                  // subnormal
  ASSERT_TRUE(v.Unitize());
  EXPECT_NEAR(v.Length(), 1.0, 4 * ON_EPSILON);
  EXPECT_NEAR(v.y, 0.6, 1e-3);  // the subnormal inputs carry few digits
  ON_3dVector big(1e308, 1e308, 1e308);
  ASSERT_TRUE(big.Unitize());
  EXPECT_NEAR(big.x, 1.0 / std::sqrt(3.0), 1e-15);
  ON_3dVector zero;
  EXPECT_FALSE(zero.Unitize());
  EXPECT_TRUE(zero.IsZeroVector());
  ON_3dVector nan(std::numeric_limits<double>::quiet_NaN(), 1, 0);
  EXPECT_FALSE(nan.Unitize());
  EXPECT_TRUE(nan.IsZeroVector());
  ON_3fVector f(0, 0, 2);
  EXPECT_TRUE(f.Unitize());
  EXPECT_EQ(f, ON_3fVector(0, 0, 1));
}

TEST(PerpendicularTo, RightTriangleNormal) {
  ON_3dVector n;
  ASSERT_TRUE(n.PerpendicularTo(ON_3dPoint(0, 0, 0), ON_3dPoint(1, 0, 0), ON_3dPoint(0, 1, 0)));
  EXPECT_EQ(n, ON_zaxis);
  // Any starting point of the cycle gives the same normal.
  ASSERT_TRUE(n.PerpendicularTo(ON_3dPoint(1, 0, 0), ON_3dPoint(0, 1, 0), ON_3dPoint(0, 0, 0)));
  EXPECT_EQ(n, ON_zaxis);
  ASSERT_TRUE(n.PerpendicularTo(ON_3dPoint(0, 1, 0), ON_3dPoint(0, 0, 0), ON_3dPoint(1, 0, 0)));
  EXPECT_EQ(n, ON_zaxis);
  // The right triangle in another plane, with legs of different lengths.
  ASSERT_TRUE(n.PerpendicularTo(ON_3dPoint(0, 0, 0), ON_3dPoint(0, 3, 0), ON_3dPoint(0, 0, 4)));
  EXPECT_EQ(n, ON_xaxis);
}

TEST(PerpendicularTo, OrientationFollowsTheRightHandRule) {
  ON_3dVector n;
  ASSERT_TRUE(n.PerpendicularTo(ON_3dPoint(0, 0, 0), ON_3dPoint(0, 1, 0), ON_3dPoint(1, 0, 0)));
  EXPECT_EQ(n, -ON_zaxis);
  const ON_3dPoint a(0.3, -1.7, 2.2), b(4.1, 0.5, -0.9), c(-2.6, 3.3, 1.4);
  ASSERT_TRUE(n.PerpendicularTo(a, b, c));
  ExpectNear(n, ReferenceNormal(a, b, c), 1e-15);
  EXPECT_NEAR(n.Length(), 1.0, 2 * ON_EPSILON);
  EXPECT_NEAR(n * (b - a), 0.0, 1e-14);
  EXPECT_NEAR(n * (c - a), 0.0, 1e-14);
  ON_3dVector reversed;
  ASSERT_TRUE(reversed.PerpendicularTo(a, c, b));
  ExpectNear(reversed, -n, 1e-15);
}

TEST(PerpendicularTo, DegeneratePointsGiveZeroAndFalse) {
  const auto degenerate = [](const ON_3dPoint& p0, const ON_3dPoint& p1, const ON_3dPoint& p2) {
    ON_3dVector n(5, 6, 7);  // must be reset
    const bool rc = n.PerpendicularTo(p0, p1, p2);
    return !rc && n.IsZeroVector();
  };
  const ON_3dPoint p(1.25, -3.5, 8.0);
  EXPECT_TRUE(degenerate(p, p, p));                                                    // coincident
  EXPECT_TRUE(degenerate(ON_origin, ON_origin, ON_origin));                            // at the origin
  EXPECT_TRUE(degenerate(p, p, ON_3dPoint(0, 0, 1)));                                  // two coincident
  EXPECT_TRUE(degenerate(ON_3dPoint(0, 0, 1), p, p));
  EXPECT_TRUE(degenerate(ON_3dPoint(0, 0, 0), ON_3dPoint(1, 1, 1), ON_3dPoint(2, 2, 2)));  // collinear
  EXPECT_TRUE(degenerate(ON_3dPoint(0, 0, 0), ON_3dPoint(2, 2, 2), ON_3dPoint(1, 1, 1)));  // middle last
  // Collinear as far as doubles can tell: the multiples of 0.1 are inexact,
  // so a plain cross product is rounding noise in a random direction.
  EXPECT_TRUE(degenerate(ON_3dPoint(0.1, 0.2, 0.3), ON_3dPoint(0.3, 0.6, 0.9), ON_3dPoint(0.7, 1.4, 2.1)));
  // Points computed as a + t * d, so off the line only by rounding: a plain
  // cross product of these is nonzero noise.
  EXPECT_TRUE(degenerate(ON_3dPoint(0.9, 1.7, -2.4), ON_3dPoint(0.06000000000000005, 2.3, -2.52),
                         ON_3dPoint(-1.0599999999999996, 3.0999999999999996, -2.6799999999999997)));
  EXPECT_TRUE(degenerate(ON_3dPoint(1.6, -3.0, -0.3), ON_3dPoint(1.9900000000000002, -3.48, 0.51),
                         ON_3dPoint(2.51, -4.12, 1.5899999999999999)));
  // Exactly collinear far from the origin.
  const ON_3dPoint o(1e5, 0.5, 0.25);
  const ON_3dVector d(0.125, 0.25, 0.5);
  EXPECT_TRUE(degenerate(o, o + d, o + 2.0 * d));
  const double inf = std::numeric_limits<double>::infinity();
  EXPECT_TRUE(degenerate(ON_3dPoint(inf, 0, 0), ON_3dPoint(1, 0, 0), ON_3dPoint(0, 1, 0)));
  EXPECT_TRUE(degenerate(ON_3dPoint(std::nan(""), 0, 0), ON_3dPoint(1, 0, 0), ON_3dPoint(0, 1, 0)));
}

TEST(PerpendicularTo, NearDegenerateSliversStayUnitLength) {
  ON_3dVector n;
  // A flat sliver (its largest angle near 180 degrees).
  ASSERT_TRUE(n.PerpendicularTo(ON_3dPoint(0, 0, 0), ON_3dPoint(1, 0, 0), ON_3dPoint(0.5, 1e-9, 0)));
  EXPECT_EQ(n.Length(), 1.0);
  ExpectNear(n, ON_zaxis, 1e-15);
  // A needle (two points very close).
  ASSERT_TRUE(n.PerpendicularTo(ON_3dPoint(0, 0, 0), ON_3dPoint(1, 0, 0), ON_3dPoint(1, 1e-12, 1e-12)));
  EXPECT_NEAR(n.Length(), 1.0, 2 * ON_EPSILON);
  ExpectNear(n, ON_3dVector(0, -std::sqrt(0.5), std::sqrt(0.5)), 1e-12);
  // A sliver far from the origin.
  const ON_3dPoint o(1e4, -3e4, 2e4);
  ASSERT_TRUE(n.PerpendicularTo(o, o + ON_3dVector(1, 0, 0), o + ON_3dVector(0.5, 1e-6, 0)));
  EXPECT_NEAR(n.Length(), 1.0, 2 * ON_EPSILON);
  ExpectNear(n, ON_zaxis, 1e-6);
  // Tiny and huge triangles neither underflow nor overflow.
  ASSERT_TRUE(n.PerpendicularTo(ON_3dPoint(0, 0, 0), ON_3dPoint(1e-200, 0, 0), ON_3dPoint(0, 1e-200, 0)));
  EXPECT_EQ(n, ON_zaxis);
  ASSERT_TRUE(n.PerpendicularTo(ON_3dPoint(-1e308, 0, 0), ON_3dPoint(1e308, 0, 0), ON_3dPoint(0, 1e308, 0)));
  EXPECT_EQ(n, ON_zaxis);  // the edge 2e308 would overflow unscaled
  ASSERT_TRUE(n.PerpendicularTo(ON_3dPoint(1e-310, 0, 0), ON_3dPoint(0, 1e-310, 0), ON_3dPoint(0, 0, 1e-310)));
  ExpectNear(n, ON_3dVector(1, 1, 1) / std::sqrt(3.0), 1e-15);
}

// A needle with exact integer coordinates: p1 and p2 are close together,
// far from p0. Its normal, from the exact cross product (in 128-bit
// integers), must come out to full precision; a cross product taken at p0,
// of the two long edges, would lose most digits to cancellation.
TEST(PerpendicularTo, NeedleUsesTheShortEdges) {
  const long long A = 4503599627370495, B = 3002399751580331, C = -1501199875790165;
  const long long d[3] = {1, 2, -3};
  const auto D = [](long long v) { return static_cast<double>(v); };
  const ON_3dPoint p0(0, 0, 0), p1(D(A), D(B), D(C)), p2(D(A + d[0]), D(B + d[1]), D(C + d[2]));
  // (p1 - p0) x (p2 - p0) = (A, B, C) x (A, B, C) + (A, B, C) x d = (A, B, C) x d.
  const __int128 n[3] = {__int128(B) * d[2] - __int128(C) * d[1], __int128(C) * d[0] - __int128(A) * d[2],
                         __int128(A) * d[1] - __int128(B) * d[0]};
  const long double length = std::sqrt((long double)n[0] * (long double)n[0] +
                                       (long double)n[1] * (long double)n[1] + (long double)n[2] * (long double)n[2]);
  ON_3dVector normal;
  ASSERT_TRUE(normal.PerpendicularTo(p0, p1, p2));
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(normal[i], double((long double)n[i] / length), 4 * ON_EPSILON) << i;
  ASSERT_TRUE(normal.PerpendicularTo(p1, p2, p0));  // the same triangle, cycled
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(normal[i], double((long double)n[i] / length), 4 * ON_EPSILON) << i;
}

TEST(PerpendicularTo, OneVector) {
  const ON_3dVector samples[] = {ON_xaxis, ON_yaxis, ON_zaxis, ON_3dVector(1, 2, 3), ON_3dVector(-5, 0.1, 0),
                                 ON_3dVector(0, 0, -1e-300), ON_3dVector(7, 7, 7)};
  for (const ON_3dVector& v : samples) {
    ON_3dVector p;
    ASSERT_TRUE(p.PerpendicularTo(v));
    EXPECT_FALSE(p.IsZeroVector());
    EXPECT_EQ(p * v, 0.0);
  }
  ON_3dVector p(1, 1, 1);
  EXPECT_FALSE(p.PerpendicularTo(ON_3dVector(0, 0, 0)));
  EXPECT_TRUE(p.IsZeroVector());
}

}  // namespace
