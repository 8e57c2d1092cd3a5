// What openNURBS itself answers for planes made from a normal, the arcs on
// them, arc curves and their NURBS forms, and arcs made from a decreasing
// angle: the library's answers, kept as literal values.
#include <gtest/gtest.h>

#include <vector>

#include "opennurbs.h"

namespace {

void ExpectNear(const ON_3dPoint& a, const ON_3dPoint& b, double tolerance = 1e-15) {
  EXPECT_NEAR(a.x, b.x, tolerance);
  EXPECT_NEAR(a.y, b.y, tolerance);
  EXPECT_NEAR(a.z, b.z, tolerance);
}

void ExpectNear(const ON_3dVector& a, const ON_3dVector& b) { ExpectNear(ON_3dPoint(a), ON_3dPoint(b)); }

void ExpectKnots(const ON_NurbsCurve& curve, const std::vector<double>& knots) {
  ASSERT_EQ(curve.KnotCount(), static_cast<int>(knots.size()));
  for (int i = 0; i < curve.KnotCount(); ++i) EXPECT_NEAR(curve.Knot(i), knots[i], 1e-14) << "knot " << i;
}

}  // namespace

TEST(OpenNurbsAnswers, PlanesFromNormalsArcsOnThemAndArcCurves) {
  // ON_Plane(origin, normal) and CreateFromNormal: the x axis is the unit
  // PerpendicularTo of the normal, the y axis normal x xaxis.
  struct PlaneCase {
    ON_3dVector normal, x, y;
  };
  const PlaneCase planes[] = {
      {{0, 0, 1}, {1, 0, 0}, {0, 1, 0}},
      {{0, 0, -1}, {-1, 0, 0}, {0, 1, 0}},
      {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}},
      {{-1, 0, 0}, {0, -1, 0}, {0, 0, 1}},
      {{0, 1, 0}, {0, 0, 1}, {1, 0, 0}},
      {{0, -1, 0}, {0, 0, -1}, {1, 0, 0}},
      {{1, 2, 3},
       {0, 0.8320502943378436, -0.554700196225229},
       {-0.9636241116594316, 0.14824986333222023, 0.22237479499833035}},
      {{-1, 2, -3},
       {0, -0.8320502943378436, -0.554700196225229},
       {-0.9636241116594316, -0.14824986333222023, 0.22237479499833035}},
      {{3, -1, 0.5},
       {0.31622776601683794, 0.9486832980505137, 0},
       {-0.14815943949743848, 0.0493864798324795, 0.9877295966495897}},
      {{1, 1, 1},
       {-0.7071067811865476, 0.7071067811865476, 0},
       {-0.4082482904638631, -0.4082482904638631, 0.8164965809277261}},
      {{0, 1, 1}, {0, -0.7071067811865475, 0.7071067811865475}, {1, 0, 0}},
      {{2, 2, 1},
       {-0.7071067811865475, 0.7071067811865475, 0},
       {-0.23570226039551587, -0.23570226039551587, 0.9428090415820635}},
      {{-2, 1, 2},
       {-0.7071067811865475, 0, -0.7071067811865475},
       {-0.23570226039551587, -0.9428090415820635, 0.23570226039551587}},
      {{1, 1, 2},
       {0.8944271909999159, 0, -0.4472135954999579},
       {-0.18257418583505536, 0.9128709291752767, -0.3651483716701107}},
      {{0, -1, -2}, {0, -0.8944271909999159, 0.4472135954999579}, {-1, 0, 0}},
      {{0, 0, 0.001}, {1, 0, 0}, {0, 1, 0}},
      {{0.001, 0, 1}, {0.999999500000375, 0, -0.000999999500000375}, {0, 1, 0}},
  };
  const ON_3dPoint origin(1, -2, 3);
  for (const PlaneCase& c : planes) {
    SCOPED_TRACE(testing::Message() << "normal " << c.normal.x << " " << c.normal.y << " " << c.normal.z);
    ON_3dVector z = c.normal;
    ASSERT_TRUE(z.Unitize());
    ON_Plane created;
    ASSERT_TRUE(created.CreateFromNormal(origin, c.normal));
    for (const ON_Plane& plane : {ON_Plane(origin, c.normal), created}) {
      ASSERT_TRUE(plane.IsValid());
      EXPECT_EQ(plane.origin, origin);
      ExpectNear(plane.xaxis, c.x);
      ExpectNear(plane.yaxis, c.y);
      ExpectNear(plane.zaxis, z);
    }
    ON_3dVector perpendicular;
    ASSERT_TRUE(perpendicular.PerpendicularTo(c.normal));
    ASSERT_TRUE(perpendicular.Unitize());
    ExpectNear(perpendicular, c.x);
  }
  // PerpendicularTo itself is not unitised.
  ON_3dVector perpendicular;
  ASSERT_TRUE(perpendicular.PerpendicularTo(ON_3dVector(1, 2, 3)));
  EXPECT_EQ(perpendicular, ON_3dVector(0, 3, -2));

  // Arcs on those planes start on the plane's x axis and turn towards its
  // y axis.
  struct ArcCase {
    ON_3dPoint origin;
    ON_3dVector normal;
    double radius, angle;
    ON_3dPoint start, mid, end;
  };
  const ArcCase arcs[] = {
      {{0, 0, 0}, {0, 0, 1}, 1, 1.5707963267948966, {1, 0, 0}, {0.7071067811865476, 0.7071067811865475, 0}, {0, 1, 0}},
      {{0, 0, 0}, {0, 0, -1}, 1, 1.5707963267948966, {-1, 0, 0}, {-0.7071067811865476, 0.7071067811865475, 0}, {0, 1, 0}},
      {{1, -2, 3},
       {1, 0, 0},
       2,
       1,
       {1, 0, 3},
       {1, -0.24483487621925448, 3.958851077208406},
       {1, -0.9193953882637205, 4.6829419696157935}},
      {{1, -2, 3},
       {1, 2, 3},
       2,
       2.5,
       {1, -0.3358994113243128, 1.890599607549542},
       {-0.8289289216099813, -1.1938981908677355, 3.0722417677818172},
       {-0.15340437643018068, -3.155736735102316, 4.154959282211604}},
      {{0, 0, 0}, {0, 1, 0}, 1.5, 3.141592653589793, {0, 0, 1.5}, {1.5, 0, 0}, {0, 0, -1.5}},
  };
  for (const ArcCase& c : arcs) {
    SCOPED_TRACE(testing::Message() << "arc on normal " << c.normal.x << " " << c.normal.y << " " << c.normal.z);
    const ON_Arc arc(ON_Circle(ON_Plane(c.origin, c.normal), c.radius), c.angle);
    ASSERT_TRUE(arc.IsValid());
    EXPECT_EQ(arc.m_angle, ON_Interval(0.0, c.angle));
    ExpectNear(arc.StartPoint(), c.start, 1e-14);
    ExpectNear(arc.MidPoint(), c.mid, 1e-14);
    ExpectNear(arc.EndPoint(), c.end, 1e-14);
  }

  // ON_ArcCurve(arc) runs over [0, arc length]; the knots of the arc's NURBS
  // form are its angles, those of the arc curve's its lengths. (Arcs beyond
  // a half turn that are not whole circles are left out: later versions of
  // the library draw them with four spans where this one takes three; the
  // NURBS-form test of curve_test.cpp covers them.)
  struct ArcCurveCase {
    double radius, a0, a1, length;
    std::vector<double> arc_knots, curve_knots;
  };
  const ArcCurveCase arc_curves[] = {
      {2.5,
       0,
       0.5235987755982988,
       1.308996938995747,
       {0, 0, 0.5235987755982988, 0.5235987755982988},
       {0, 0, 1.308996938995747, 1.308996938995747}},
      {2.5,
       0,
       1.5707963267948966,
       3.9269908169872414,
       {0, 0, 1.5707963267948966, 1.5707963267948966},
       {0, 0, 3.9269908169872414, 3.9269908169872414}},
      {2.5, 0.3, 1, 1.75, {0.3, 0.3, 1, 1}, {0, 0, 1.75, 1.75}},
      {2.5, -1, 2, 7.5, {-1, -1, 0.5, 0.5, 2, 2}, {0, 0, 3.75, 3.75, 7.5, 7.5}},
      {2.5,
       0,
       3.141592653589793,
       7.853981633974483,
       {0, 0, 1.5707963267948966, 1.5707963267948966, 3.141592653589793, 3.141592653589793},
       {0, 0, 3.9269908169872414, 3.9269908169872414, 7.853981633974483, 7.853981633974483}},
      {2.5,
       1,
       7.283185307179586,
       15.707963267948966,
       {1, 1, 2.5707963267948966, 2.5707963267948966, 4.141592653589793, 4.141592653589793, 5.71238898038469,
        5.71238898038469, 7.283185307179586, 7.283185307179586},
       {0, 0, 3.9269908169872414, 3.9269908169872414, 7.853981633974483, 7.853981633974483, 11.780972450961723,
        11.780972450961723, 15.707963267948966, 15.707963267948966}},
      {1,
       0,
       6.283185307179586,
       6.283185307179586,
       {0, 0, 1.5707963267948966, 1.5707963267948966, 3.141592653589793, 3.141592653589793, 4.71238898038469,
        4.71238898038469, 6.283185307179586, 6.283185307179586},
       {0, 0, 1.5707963267948966, 1.5707963267948966, 3.141592653589793, 3.141592653589793, 4.71238898038469,
        4.71238898038469, 6.283185307179586, 6.283185307179586}},
  };
  for (const ArcCurveCase& c : arc_curves) {
    SCOPED_TRACE(testing::Message() << "arc curve r " << c.radius << " over " << c.a0 << ".." << c.a1);
    const ON_Arc arc(ON_Circle(ON_origin, c.radius), ON_Interval(c.a0, c.a1));
    ASSERT_TRUE(arc.IsValid());
    const ON_ArcCurve arc_curve(arc);
    EXPECT_EQ(arc_curve.Domain()[0], 0.0);
    EXPECT_NEAR(arc_curve.Domain()[1], c.length, 1e-14);
    ON_NurbsCurve nurbs;
    ASSERT_EQ(arc.GetNurbForm(nurbs), 2);
    ExpectKnots(nurbs, c.arc_knots);
    ASSERT_EQ(arc_curve.GetNurbForm(nurbs), 2);
    ExpectKnots(nurbs, c.curve_knots);
    ExpectNear(arc_curve.PointAt(c.length), arc.EndPoint(), 1e-14);
  }
  // The control points (homogeneous) of the 30 degree arc curve's NURBS form.
  ON_NurbsCurve nurbs;
  ASSERT_EQ(ON_ArcCurve(ON_Arc(ON_Circle(ON_origin, 2.5), 0.5235987755982988)).GetNurbForm(nurbs), 2);
  const double cvs[3][4] = {{2.5, 0, 0, 1},
                            {2.4148145657226707, 0.6470476127563018, 0, 0.9659258262890683},
                            {2.165063509461097, 1.2499999999999998, 0, 1}};
  ASSERT_EQ(nurbs.CVCount(), 3);
  for (int i = 0; i < 3; ++i)
    for (int k = 0; k < 4; ++k) EXPECT_NEAR(nurbs.CV(i)[k], cvs[i][k], 1e-15) << "cv " << i << " " << k;
  // Arcs of no length give [0, 1]; a negative radius measures as its size.
  struct OddCase {
    double radius, angle, end;
  };
  for (const OddCase& c : {OddCase{0, 2, 1}, OddCase{2, 0, 1}, OddCase{-3, 2, 6}}) {
    const ON_ArcCurve arc_curve(ON_Arc(ON_Circle(ON_origin, c.radius), c.angle));
    EXPECT_EQ(arc_curve.Domain(), ON_Interval(0.0, c.end)) << c.radius << " " << c.angle;
    EXPECT_FALSE(arc_curve.IsValid());
  }

  // A negative angle is bogus input: the arc turning the other way from the
  // same start is made, on the flipped plane, and Create answers false.
  struct BackwardsCase {
    double angle, end_angle;
    ON_3dPoint end;
  };
  const BackwardsCase backwards[] = {
      {-1.5707963267948966, 1.5707963267948966, {1.0000000000000002, -1, 0}},
      {-3.141592653589793, 3.141592653589793, {-1, 0.9999999999999998, 0}},
      {-7, 6.283185307179586, {3, 1.0000000000000004, 0}},
  };
  const ON_Circle circle(ON_3dPoint(1, 1, 0), 2.0);
  for (const BackwardsCase& c : backwards) {
    SCOPED_TRACE(testing::Message() << "angle " << c.angle);
    ON_Arc arc;
    EXPECT_FALSE(arc.Create(circle, c.angle));
    EXPECT_TRUE(arc.IsValid());
    EXPECT_EQ(arc.m_angle[0], 0.0);
    EXPECT_NEAR(arc.m_angle[1], c.end_angle, 1e-15);
    ExpectNear(arc.plane.xaxis, ON_3dVector(1, 0, 0));
    ExpectNear(arc.plane.yaxis, ON_3dVector(0, -1, 0));
    ExpectNear(arc.plane.zaxis, ON_3dVector(0, 0, -1));
    ExpectNear(arc.StartPoint(), ON_3dPoint(3, 1, 0), 1e-14);
    ExpectNear(arc.EndPoint(), c.end, 1e-14);
    // The other Create forms and the constructor make the same arc.
    const ON_Arc made(circle, c.angle);
    EXPECT_EQ(made.m_angle, arc.m_angle);
    EXPECT_EQ(made.plane.zaxis, arc.plane.zaxis);
    ON_Arc from_plane;
    EXPECT_FALSE(from_plane.Create(ON_Plane::World_xy, ON_3dPoint(1, 1, 0), 2.0, c.angle));
    EXPECT_EQ(from_plane.m_angle, arc.m_angle);
  }
}
