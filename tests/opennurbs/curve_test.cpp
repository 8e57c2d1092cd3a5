#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <functional>
#include <memory>
#include <vector>

#include "alloc_limit.h"
#include "opennurbs.h"

namespace {

void ExpectNear(const ON_3dPoint& a, const ON_3dPoint& b, double tolerance = 1e-12) {
  EXPECT_NEAR(a.x, b.x, tolerance);
  EXPECT_NEAR(a.y, b.y, tolerance);
  EXPECT_NEAR(a.z, b.z, tolerance);
}

// The Cox-de Boor recursion on the full knot vector (openNURBS's knots with
// the end knots repeated once more): an evaluation independent of de Boor's.
double Basis(const std::vector<double>& u, int i, int degree, double t) {
  if (degree == 0) {
    const bool last = u[i + 1] == u.back() && t == u.back();
    return (u[i] <= t && (t < u[i + 1] || last) && u[i] < u[i + 1]) ? 1.0 : 0.0;
  }
  double value = 0.0;
  if (u[i + degree] > u[i]) value += (t - u[i]) / (u[i + degree] - u[i]) * Basis(u, i, degree - 1, t);
  if (u[i + degree + 1] > u[i + 1])
    value += (u[i + degree + 1] - t) / (u[i + degree + 1] - u[i + 1]) * Basis(u, i + 1, degree - 1, t);
  return value;
}

ON_3dPoint CoxDeBoor(const ON_NurbsCurve& c, double t) {
  std::vector<double> u{c.Knot(0)};
  for (int i = 0; i < c.KnotCount(); ++i) u.push_back(c.Knot(i));
  u.push_back(c.Knot(c.KnotCount() - 1));
  double h[4] = {0, 0, 0, 0};
  for (int i = 0; i < c.CVCount(); ++i) {
    ON_4dPoint cv;
    c.GetCV(i, cv);
    const double b = Basis(u, i, c.Order() - 1, t);
    for (int k = 0; k < 4; ++k) h[k] += b * cv[k];
  }
  return ON_3dPoint(h[0] / h[3], h[1] / h[3], h[2] / h[3]);
}

ON_NurbsCurve ClampedCubic() {
  const ON_3dPoint points[5] = {{0, 0, 0}, {1, 2, 0}, {3, 3, 1}, {4, 0, 2}, {6, 1, 0}};
  ON_NurbsCurve c;
  EXPECT_TRUE(c.CreateClampedUniformNurbs(3, 4, 5, points));
  return c;
}

// The angle of p about the circle, measured in its plane from its x axis.
double AngleOn(const ON_Circle& circle, const ON_3dPoint& p) {
  const ON_3dVector v = p - circle.Center();
  return std::atan2(v * circle.plane.yaxis, v * circle.plane.xaxis);
}

}  // namespace

TEST(Interval, EndsAreExactAndOrderIsKept) {
  EXPECT_FALSE(ON_Interval().IsValid());
  const ON_Interval i(2.0, 5.0), d(5.0, 2.0);
  EXPECT_EQ(i.ParameterAt(0.0), 2.0);
  EXPECT_EQ(i.ParameterAt(1.0), 5.0);
  EXPECT_EQ(i.NormalizedParameterAt(3.5), 0.5);
  EXPECT_EQ(d.Length(), -3.0);
  EXPECT_TRUE(i.IsIncreasing());
  EXPECT_TRUE(d.IsDecreasing());
  EXPECT_EQ(d.Min(), 2.0);
  EXPECT_TRUE(d.Includes(4.0));
  EXPECT_FALSE(ON_Interval(1.0, ON_UNSET_VALUE).IsValid());
}

TEST(Plane, CreateFromFrameOrthonormalisesAndRefusesParallelDirections) {
  ON_Plane plane;
  ASSERT_TRUE(plane.CreateFromFrame(ON_3dPoint(1, 2, 3), ON_3dVector(2, 0, 0), ON_3dVector(1, 1, 0)));
  EXPECT_TRUE(plane.IsValid());
  ExpectNear(ON_3dPoint(plane.xaxis), ON_3dPoint(1, 0, 0));
  ExpectNear(ON_3dPoint(plane.yaxis), ON_3dPoint(0, 1, 0));
  ExpectNear(ON_3dPoint(plane.zaxis), ON_3dPoint(0, 0, 1));
  EXPECT_DOUBLE_EQ(plane.DistanceTo(ON_3dPoint(0, 0, 5)), 2.0);
  // y on the other side: the normal turns over.
  ASSERT_TRUE(plane.CreateFromFrame(ON_3dPoint(0, 0, 0), ON_3dVector(1, 0, 0), ON_3dVector(1, -1, 0)));
  ExpectNear(ON_3dPoint(plane.zaxis), ON_3dPoint(0, 0, -1));
  // Nearly parallel but clear of rounding: accepted.
  EXPECT_TRUE(plane.CreateFromFrame(ON_origin, ON_3dVector(1, 0, 0), ON_3dVector(-1, 1e-7, 0)));
  ExpectNear(ON_3dPoint(plane.zaxis), ON_3dPoint(0, 0, 1));
  const ON_Plane before = plane;
  for (const ON_3dVector& y :
       {ON_3dVector(-3, 0, 0), ON_3dVector(2, 1e-9, 0), ON_3dVector(0, 0, 0), ON_3dVector(ON_UNSET_VALUE, 1, 0)}) {
    EXPECT_FALSE(plane.CreateFromFrame(ON_3dPoint(5, 5, 5), ON_3dVector(1, 0, 0), y)) << y.x << " " << y.y;
    EXPECT_EQ(plane.origin, before.origin);
    EXPECT_EQ(plane.zaxis, before.zaxis);
  }
  EXPECT_TRUE(ON_Plane::World_xy.IsValid());
  EXPECT_FALSE(ON_Plane(ON_origin, ON_3dVector(0, 0, 0)).IsValid());
}

TEST(Circle, IsInPlaneTestsEightPointsAgainstTheTolerance) {
  EXPECT_TRUE(ON_Circle(ON_3dPoint(1, 2, 0), 2.0).IsInPlane(ON_Plane::World_xy, 1e-12));
  EXPECT_FALSE(ON_Circle(ON_3dPoint(1, 2, 0.5), 2.0).IsInPlane(ON_Plane::World_xy, 1e-12));
  // Tilted so that its highest point is 1e-10 above the plane.
  ON_Plane tilted(ON_3dPoint(0, 0, 0), ON_3dVector(1, 0, 1e-10), ON_3dVector(0, 1, 0));
  EXPECT_FALSE(ON_Circle(tilted, 1.0).IsInPlane(ON_Plane::World_xy, 1e-12));
  EXPECT_TRUE(ON_Circle(tilted, 1.0).IsInPlane(ON_Plane::World_xy, 1e-9));
  // Quarter turns land exactly.
  const ON_Circle unit;
  EXPECT_EQ(unit.PointAt(0.5 * ON_PI), ON_3dPoint(0, 1, 0));
  EXPECT_EQ(unit.PointAt(ON_PI), ON_3dPoint(-1, 0, 0));
}

TEST(Arc, CreateWithANegativeAngleTurnsTheOtherWayFromTheSameStartAndAnswersFalse) {
  const ON_Circle circle(ON_3dPoint(1, 1, 0), 2.0);
  ON_Arc arc;
  EXPECT_FALSE(arc.Create(circle, -0.5 * ON_PI));
  EXPECT_TRUE(arc.IsValid());
  EXPECT_TRUE(arc.m_angle.IsIncreasing());
  ExpectNear(arc.StartPoint(), ON_3dPoint(3, 1, 0));
  ExpectNear(arc.EndPoint(), ON_3dPoint(1, -1, 0));
  ExpectNear(arc.MidPoint(), ON_3dPoint(1 + std::sqrt(2.0), 1 - std::sqrt(2.0), 0));
  EXPECT_EQ(arc.Normal(), ON_3dVector(0, 0, -1));
  EXPECT_DOUBLE_EQ(arc.AngleRadians(), 0.5 * ON_PI);
  // A decreasing interval: from its first angle backwards to its second.
  EXPECT_FALSE(arc.Create(circle, ON_Interval(2.0, 1.0)));
  EXPECT_TRUE(arc.IsValid());
  EXPECT_EQ(arc.m_angle, ON_Interval(-2.0, -1.0));
  ExpectNear(arc.StartPoint(), circle.PointAt(2.0));
  ExpectNear(arc.EndPoint(), circle.PointAt(1.0));
  ExpectNear(arc.MidPoint(), circle.PointAt(1.5));
  EXPECT_EQ(arc.Normal(), ON_3dVector(0, 0, -1));

  // From a plane, a centre, a radius: the plane moved to the centre.
  ASSERT_TRUE(arc.Create(ON_Plane::World_xy, ON_3dPoint(0, 0, 4), 1.0, ON_PI));
  ExpectNear(arc.EndPoint(), ON_3dPoint(-1, 0, 4));
  ASSERT_TRUE(arc.Create(circle, 2.0 * ON_PI));
  EXPECT_TRUE(arc.IsCircle());
  // More than a turn is cut to one and reported; no angle is no arc.
  EXPECT_FALSE(arc.Create(circle, 7.0));
  EXPECT_DOUBLE_EQ(arc.AngleRadians(), 2.0 * ON_PI);
  EXPECT_FALSE(arc.Create(circle, 0.0));
  EXPECT_FALSE(arc.Create(ON_Circle(ON_origin, -1.0), 1.0));
}

TEST(Arc, NurbsFormLiesOnTheCircleInTheArcsDirection) {
  struct Case {
    double a0, a1;
    int spans;
    ON_Plane plane;
  };
  const ON_Plane up = ON_Plane::World_xy;
  const ON_Plane down(ON_3dPoint(0, 0, 0), ON_3dVector(1, 0, 0), ON_3dVector(0, -1, 0));
  const ON_Plane tilted(ON_3dPoint(1, -2, 3), ON_3dVector(1, 2, 2), ON_3dVector(-2, 1, 0));
  // Beyond a half turn three spans, up to just short of a whole circle,
  // which keeps the circle's four.
  const Case cases[] = {
      {0, 0.5 * ON_PI, 1, up},   {0, ON_PI, 2, up},      {0, 1.5 * ON_PI, 3, up},           {0, 2 * ON_PI, 4, up},
      {0, 0.5 * ON_PI, 1, down}, {0, ON_PI, 2, down},    {0, 1.5 * ON_PI, 3, down},         {0, 2 * ON_PI, 4, down},
      {0.3, 1.0, 1, tilted},     {-1.0, 2.0, 2, tilted}, {1.0, 1.0 + 2 * ON_PI, 4, tilted}, {0, 1.6 * ON_PI, 3, up},
      {0, 1.2 * ON_PI, 3, down}, {-2.0, 4.2, 3, tilted},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.a0 << ".." << c.a1 << " spans " << c.spans);
    ON_Arc arc(ON_Circle(c.plane, 2.5), ON_Interval(c.a0, c.a1));
    ASSERT_TRUE(arc.IsValid());
    ON_NurbsCurve nurbs;
    ASSERT_EQ(arc.GetNurbForm(nurbs), 2);
    ASSERT_TRUE(nurbs.IsValid());
    EXPECT_TRUE(nurbs.IsRational());
    EXPECT_EQ(nurbs.Order(), 3);
    ASSERT_EQ(nurbs.CVCount(), 2 * c.spans + 1);
    ASSERT_EQ(nurbs.KnotCount(), 2 * c.spans + 2);
    EXPECT_EQ(nurbs.Domain(), arc.m_angle);
    const double h = (c.a1 - c.a0) / c.spans;
    for (int i = 0; i < c.spans; ++i) {
      EXPECT_DOUBLE_EQ(nurbs.Knot(2 * i + 1), c.a0 + i * h);
      EXPECT_DOUBLE_EQ(nurbs.Knot(2 * i + 2), c.a0 + (i + 1) * h);
      EXPECT_DOUBLE_EQ(nurbs.Weight(2 * i + 1), std::cos(0.5 * h));
      EXPECT_EQ(nurbs.Weight(2 * i), 1.0);
    }
    ExpectNear(nurbs.PointAtStart(), arc.StartPoint());
    ExpectNear(nurbs.PointAtEnd(), arc.EndPoint());
    EXPECT_EQ(nurbs.IsClosed(), arc.IsCircle());
    if (arc.IsCircle()) {
      EXPECT_EQ(nurbs.PointAtStart(), nurbs.PointAtEnd());
    }
    // On the circle at every parameter, and always moving forward.
    double previous = AngleOn(arc, nurbs.PointAtStart()), turned = 0.0;
    for (int k = 1; k <= 1000; ++k) {
      const ON_3dPoint p = nurbs.PointAt(nurbs.Domain().ParameterAt(k / 1000.0));
      EXPECT_NEAR(p.DistanceTo(arc.Center()), 2.5, 1e-12);
      EXPECT_NEAR(arc.plane.DistanceTo(p), 0.0, 1e-12);
      const double angle = AngleOn(arc, p);
      const double step = std::remainder(angle - previous, 2.0 * ON_PI);
      ASSERT_GT(step, 0.0) << "at " << k;
      turned += step;
      previous = angle;
    }
    EXPECT_NEAR(turned, c.a1 - c.a0, 1e-9);
  }
  // An invalid arc leaves the curve untouched.
  ON_NurbsCurve kept = ClampedCubic();
  EXPECT_EQ(ON_Arc(ON_Circle(ON_origin, 0.0), 1.0).GetNurbForm(kept), 0);
  EXPECT_EQ(kept.CVCount(), 5);
}

TEST(NurbsCurve, DeBoorMatchesAHandComputedClampedCubic) {
  const ON_NurbsCurve c = ClampedCubic();
  ASSERT_TRUE(c.IsValid());
  // openNURBS knots 0, 0, 0, 1, 2, 2, 2.
  const double knots[7] = {0, 0, 0, 1, 2, 2, 2};
  ASSERT_EQ(c.KnotCount(), 7);
  for (int i = 0; i < 7; ++i) EXPECT_EQ(c.Knot(i), knots[i]);
  EXPECT_EQ(c.Domain(), ON_Interval(0, 2));
  ON_3dPoint p[5];
  for (int i = 0; i < 5; ++i) c.GetCV(i, p[i]);
  EXPECT_EQ(c.PointAt(0.0), p[0]);
  EXPECT_EQ(c.PointAt(2.0), p[4]);
  // At the inner knot: (P1 + 2 P2 + P3) / 4.
  ExpectNear(c.PointAt(1.0), (p[1] + p[2] * 2.0 + p[3]) * 0.25, 1e-15);
  // At 0.5, on the first span: N0 = (1 - t)^3 = 1/8, N3 = t^3 / 4 = 1/32, and
  // by hand N1 = 19/32, N2 = 1/4.
  ExpectNear(c.PointAt(0.5), p[0] * (1.0 / 8) + p[1] * (19.0 / 32) + p[2] * 0.25 + p[3] * (1.0 / 32), 1e-15);
  for (double t = 0.0; t <= 2.0; t += 0.0625) ExpectNear(c.PointAt(t), CoxDeBoor(c, t), 1e-13);
  EXPECT_FALSE(c.PointAt(std::nan("")).IsValid());
  EXPECT_FALSE(ON_NurbsCurve().PointAt(0.0).IsValid());
}

TEST(NurbsCurve, ControlPointsAndWeights) {
  ON_NurbsCurve c(3, true, 3, 3);
  ASSERT_EQ(c.CVSize(), 4);
  ASSERT_TRUE(c.SetCV(1, ON_4dPoint(2, 4, 6, 2)));
  ON_3dPoint p;
  ASSERT_TRUE(c.GetCV(1, p));
  EXPECT_EQ(p, ON_3dPoint(1, 2, 3));  // divided by the weight
  EXPECT_EQ(c.Weight(1), 2.0);
  ASSERT_TRUE(c.SetCV(1, ON_3dPoint(5, 5, 5)));
  EXPECT_EQ(c.Weight(1), 1.0);
  ASSERT_TRUE(c.SetWeight(1, 4.0));  // homogeneous: the point moves
  c.GetCV(1, p);
  EXPECT_EQ(p, ON_3dPoint(1.25, 1.25, 1.25));
  EXPECT_FALSE(c.SetWeight(1, 0.0) && c.IsValid());
  EXPECT_FALSE(c.GetCV(3, p));
  EXPECT_EQ(c.CV(-1), nullptr);
  EXPECT_EQ(c.Knot(99), 0.0);
  EXPECT_FALSE(c.SetKnot(4, 1.0));

  ON_NurbsCurve plain(2, false, 2, 2);
  ASSERT_TRUE(plain.SetCV(0, ON_4dPoint(2, 4, 6, 2)));
  plain.GetCV(0, p);
  EXPECT_EQ(p, ON_3dPoint(1, 2, 0));  // two-dimensional: z is 0
  EXPECT_FALSE(plain.SetCV(0, ON_4dPoint(1, 1, 1, 0)));
  EXPECT_FALSE(plain.SetWeight(0, 2.0));
  EXPECT_FALSE(ON_NurbsCurve().Create(4, false, 2, 2));
  // Arrays emptied or a shape broken by hand copy without reading them.
  ON_NurbsCurve emptied(3, false, 2, 2);
  std::free(emptied.m_cv);
  emptied.m_cv = nullptr;
  const ON_NurbsCurve copy = emptied;
  EXPECT_EQ(copy.CVCount(), 2);
  EXPECT_FALSE(copy.IsValid());
  emptied.m_order = 5;
  EXPECT_EQ(ON_NurbsCurve(emptied).CVCount(), 0);
}

TEST(NurbsCurve, CreateClampedUniformNurbsAndItsRefusals) {
  const ON_3dPoint points[4] = {{0, 0, 0}, {1, 1, 0}, {2, 0, 0}, {3, 1, 0}};
  ON_NurbsCurve c;
  ASSERT_TRUE(c.CreateClampedUniformNurbs(3, 3, 4, points, 1.0));
  EXPECT_EQ(c.CVCount(), 4);
  EXPECT_FALSE(c.IsRational());
  const double knots[5] = {0, 0, 1, 2, 2};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(c.Knot(i), knots[i]);
  // Every refusal leaves the curve as it was.
  EXPECT_FALSE(c.CreateClampedUniformNurbs(3, 3, 2, points));
  EXPECT_FALSE(c.CreateClampedUniformNurbs(3, 1, 4, points));
  EXPECT_FALSE(c.CreateClampedUniformNurbs(3, 3, 4, nullptr));
  EXPECT_FALSE(c.CreateClampedUniformNurbs(3, 3, 4, points, 0.0));
  EXPECT_FALSE(c.CreateClampedUniformNurbs(0, 3, 4, points));
  EXPECT_EQ(c.CVCount(), 4);
  EXPECT_EQ(c.Knot(2), 1.0);
  ASSERT_TRUE(c.CreateClampedUniformNurbs(3, 2, 3, points, 0.5));
  EXPECT_EQ(c.Domain(), ON_Interval(0.0, 1.0));
}

TEST(NurbsCurve, TrimKeepsThePointsOfTheSubDomain) {
  ON_NurbsCurve arc;
  ON_Arc(ON_Circle(ON_3dPoint(1, 0, 0), 2.0), 1.5 * ON_PI).GetNurbForm(arc);
  // A periodic (unclamped) quadratic: the wrapped square.
  ON_NurbsCurve periodic(3, false, 3, 6);
  const ON_3dPoint square[4] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
  for (int i = 0; i < 6; ++i) periodic.SetCV(i, square[i % 4]);
  for (int i = 0; i < 7; ++i) periodic.SetKnot(i, i - 1.0);
  ASSERT_TRUE(periodic.IsPeriodic());
  EXPECT_TRUE(periodic.IsClosed());
  EXPECT_FALSE(arc.IsPeriodic());
  EXPECT_FALSE(ClampedCubic().IsClosed());

  for (const ON_NurbsCurve* curve :
       {static_cast<const ON_NurbsCurve*>(&arc), static_cast<const ON_NurbsCurve*>(&periodic)}) {
    const ON_Interval domain = curve->Domain();
    for (const ON_Interval& sub : {domain, ON_Interval(domain.ParameterAt(0.2), domain.ParameterAt(0.7)),
                                   ON_Interval(domain[0], domain.ParameterAt(0.5))}) {
      ON_NurbsCurve part;
      ASSERT_EQ(curve->GetNurbForm(part, 0.0, &sub), 1);
      ASSERT_TRUE(part.IsValid());
      EXPECT_EQ(part.Domain(), sub);
      EXPECT_EQ(part.Knot(0), part.Knot(part.Order() - 2));  // clamped
      ON_3dPoint first;
      part.GetCV(0, first);
      ExpectNear(first, curve->PointAt(sub[0]));
      for (int k = 0; k <= 50; ++k) {
        const double t = sub.ParameterAt(k / 50.0);
        ExpectNear(part.PointAt(t), curve->PointAt(t));
      }
    }
    ON_NurbsCurve untouched = ClampedCubic();
    const ON_Interval outside(domain[0] - 1.0, domain[1]), backwards(domain[1], domain[0]);
    EXPECT_EQ(curve->GetNurbForm(untouched, 0.0, &outside), 0);
    EXPECT_EQ(curve->GetNurbForm(untouched, 0.0, &backwards), 0);
    EXPECT_EQ(untouched.CVCount(), 5);
  }
}

TEST(Curves, LinePolylineAndArcCurvesAndTheirNurbsForms) {
  const ON_LineCurve line(ON_3dPoint(1, 1, 1), ON_3dPoint(4, 5, 1));
  const ON_3dPointArray points(ON_SimpleArray<ON_3dPoint>{});
  ON_3dPointArray vertices;
  vertices.Append(ON_3dPoint(0, 0, 0));
  vertices.Append(ON_3dPoint(2, 0, 0));
  vertices.Append(ON_3dPoint(2, 2, 0));
  vertices.Append(ON_3dPoint(0, 0, 0));
  const ON_PolylineCurve polyline(vertices);
  const ON_ArcCurve arc(ON_Arc(ON_Circle(ON_3dPoint(0, 0, 1), 3.0), ON_Interval(0.5, 2.5)), 10.0, 20.0);

  EXPECT_EQ(line.Domain(), ON_Interval(0, 5));
  ExpectNear(line.PointAt(2.5), ON_3dPoint(2.5, 3, 1));
  EXPECT_EQ(polyline.Domain(), ON_Interval(0, 3));
  ExpectNear(polyline.PointAt(1.5), ON_3dPoint(2, 1, 0));
  ExpectNear(polyline.PointAt(-1.0), ON_3dPoint(-2, 0, 0));  // the end segment extended
  ExpectNear(arc.PointAt(15.0), arc.m_arc.PointAt(1.5));
  EXPECT_TRUE(polyline.IsClosed());
  EXPECT_FALSE(line.IsClosed());
  EXPECT_FALSE(arc.IsClosed());
  EXPECT_TRUE(ON_ArcCurve(ON_Arc()).IsClosed());

  const ON_Curve* curves[] = {&line, &polyline, &arc};
  for (const ON_Curve* curve : curves) {
    SCOPED_TRACE(curve == &line ? "line" : curve == &polyline ? "polyline" : "arc");
    ASSERT_TRUE(curve->IsValid());
    const ON_Interval domain = curve->Domain();
    const ON_Interval sub(domain.ParameterAt(0.25), domain.ParameterAt(0.8));
    for (const ON_Interval* s : {static_cast<const ON_Interval*>(nullptr), &sub}) {
      ON_NurbsCurve nurbs;
      ASSERT_NE(curve->GetNurbForm(nurbs, 0.0, s), 0);
      const ON_Interval expected = s ? *s : domain;
      EXPECT_EQ(nurbs.Domain(), expected);
      ExpectNear(nurbs.PointAtStart(), curve->PointAt(expected[0]));
      ExpectNear(nurbs.PointAtEnd(), curve->PointAt(expected[1]));
      if (curve != &arc) {  // lines and polylines keep the parameter
        for (int k = 0; k <= 20; ++k)
          ExpectNear(nurbs.PointAt(expected.ParameterAt(k / 20.0)), curve->PointAt(expected.ParameterAt(k / 20.0)));
      } else {
        EXPECT_EQ(curve->GetNurbForm(nurbs, 0.0, s), 2);
        for (int k = 0; k <= 20; ++k)
          EXPECT_NEAR(nurbs.PointAt(expected.ParameterAt(k / 20.0)).DistanceTo(arc.m_arc.Center()), 3.0, 1e-12);
      }
    }
    ON_Curve* copy = curve->DuplicateCurve();
    ASSERT_NE(copy, nullptr);
    ExpectNear(copy->PointAt(domain.Mid()), curve->PointAt(domain.Mid()), 0.0);
    delete copy;
  }
  // Cast accepts the class and those derived from it.
  EXPECT_EQ(ON_Curve::Cast(static_cast<const ON_Geometry*>(&line)), &line);
  EXPECT_EQ(ON_LineCurve::Cast(static_cast<const ON_Geometry*>(&arc)), nullptr);
  EXPECT_EQ(ON_NurbsCurve::Cast(static_cast<const ON_Geometry*>(&line)), nullptr);
  // Invalid curves give no NURBS form.
  ON_NurbsCurve kept = ClampedCubic();
  EXPECT_EQ(ON_LineCurve().GetNurbForm(kept), 0);
  EXPECT_EQ(ON_PolylineCurve(points).GetNurbForm(kept), 0);
  EXPECT_EQ(kept.CVCount(), 5);
}

TEST(Curves, BoundingBoxesHoldTheCurves) {
  const ON_ArcCurve circle(ON_Arc(ON_Circle(ON_3dPoint(1, 2, 3), 2.0), 2.0 * ON_PI));
  const ON_BoundingBox box = circle.BoundingBox();
  ASSERT_TRUE(box.IsValid());
  for (int k = 0; k < 64; ++k) {
    const ON_3dPoint p = circle.PointAt(k * ON_PI / 32);
    for (int i = 0; i < 3; ++i) {
      EXPECT_LE(box.m_min[i], p[i] + 1e-12);
      EXPECT_GE(box.m_max[i], p[i] - 1e-12);
    }
  }
  EXPECT_EQ(box.m_min.z, 3.0);
  EXPECT_FALSE(ON_LineCurve().BoundingBox().IsValid() && ON_NurbsCurve().BoundingBox().IsValid());
  EXPECT_FALSE(ON_NurbsCurve().BoundingBox().IsValid());
}

namespace {

// A line curve that counts its destructions.
struct CountedLine : ON_LineCurve {
  explicit CountedLine(int* deaths) : ON_LineCurve(ON_3dPoint(0, 0, 0), ON_3dPoint(1, 0, 0)), deaths(deaths) {}
  CountedLine(const CountedLine&) = default;
  ~CountedLine() override { ++*deaths; }
  ON_Curve* DuplicateCurve() const override { return ON_NewCurveCopy(*this); }
  int* deaths;
};

}  // namespace

TEST(CurveArray, OwnsItsCurves) {
  int deaths = 0;
  {
    ON_CurveArray curves;
    curves.Append(new CountedLine(&deaths));
    curves.Append(nullptr);
    curves.Append(new CountedLine(&deaths));
    ON_CurveArray copy(curves);
    ASSERT_EQ(copy.Count(), 3);
    EXPECT_NE(copy[0], curves[0]);
    EXPECT_EQ(copy[1], nullptr);
    curves.Destroy();
    EXPECT_EQ(deaths, 2);
    EXPECT_EQ(curves.Count(), 0);
    ON_CurveArray moved(std::move(copy));
    EXPECT_EQ(copy.Count(), 0);
    moved = ON_CurveArray();
    EXPECT_EQ(deaths, 4);
    moved.Append(new CountedLine(&deaths));
  }
  EXPECT_EQ(deaths, 5);
}

// Running out of memory: the functions that answer with a result answer it,
// leaving their outputs as they were; copies throw std::bad_alloc.
TEST(CurveMemory, FailuresAreResultsAndLeaveTargetsUntouched) {
  if (!test_support::AllocationLimit::Available()) GTEST_SKIP() << "no allocation hook under AddressSanitizer";
  const ON_Arc arc(ON_Circle(ON_origin, 1.0), 2.0);
  const ON_ArcCurve arc_curve(arc);
  const ON_NurbsCurve cubic = ClampedCubic();
  const ON_Interval sub(0.5, 1.5);
  const std::vector<std::function<bool(ON_NurbsCurve&)>> calls = {
      [&](ON_NurbsCurve& c) { return arc.GetNurbForm(c) != 0; },
      [&](ON_NurbsCurve& c) { return arc_curve.GetNurbForm(c, 0.0, &sub) != 0; },
      [&](ON_NurbsCurve& c) { return cubic.GetNurbForm(c, 0.0, &sub) != 0; },
      [&](ON_NurbsCurve& c) { return c.Trim(sub); },
      [&](ON_NurbsCurve& c) { return c.Create(3, true, 4, 10); },
      [&](ON_NurbsCurve& c) {
        const ON_3dPoint p[3] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}};
        return c.CreateClampedUniformNurbs(3, 2, 3, p);
      },
  };
  for (size_t i = 0; i < calls.size(); ++i) {
    ON_NurbsCurve target = ClampedCubic();
    bool ok;
    {
      test_support::AllocationLimit limit(test_support::AllocationLimit::FailFrom(1));
      ok = calls[i](target);
    }
    EXPECT_FALSE(ok) << "call " << i;
    EXPECT_EQ(target.CVCount(), 5) << "call " << i;
    EXPECT_EQ(target.Knot(3), 1.0);
  }
  {
    test_support::AllocationLimit limit(test_support::AllocationLimit::FailFrom(1));
    EXPECT_THROW(ON_NurbsCurve copy(cubic), std::bad_alloc);
    EXPECT_EQ(cubic.DuplicateCurve(), nullptr);
    EXPECT_FALSE(arc_curve.BoundingBox().IsValid());
  }
}
