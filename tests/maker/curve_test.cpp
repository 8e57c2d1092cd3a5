#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <vector>

#include "VLMGeo.h"
#include "alloc_limit.h"
#include "fail_each_allocation.h"

namespace {

void ExpectNear(const ON_3dPoint& a, const ON_3dPoint& b, double tolerance = 1e-12) {
  EXPECT_NEAR(a.x, b.x, tolerance);
  EXPECT_NEAR(a.y, b.y, tolerance);
  EXPECT_NEAR(a.z, b.z, tolerance);
}

ON_3dPointArray Points(const std::vector<ON_3dPoint>& points) {
  ON_3dPointArray a;
  for (const ON_3dPoint& p : points) a.Append(p);
  return a;
}

ON_NurbsCurve Nurbs(const ON_Curve& curve) {
  ON_NurbsCurve nurbs;
  EXPECT_NE(curve.GetNurbForm(nurbs), 0);
  return nurbs;
}

// A clamped curve of the order through control points.
ON_NurbsCurve Clamped(int order, const std::vector<ON_3dPoint>& points) {
  ON_NurbsCurve c;
  EXPECT_TRUE(c.CreateClampedUniformNurbs(3, order, static_cast<int>(points.size()), points.data()));
  return c;
}

// A rational quadratic along the circle of radius r about the origin in the
// XY plane, one span between each two successive angles (degrees), which
// may turn either way; knots spaced by the turn of each span, or by
// `steps` when given.
ON_NurbsCurve SpansOnCircle(double r, const std::vector<double>& degrees, const std::vector<double>& steps = {}) {
  const int spans = static_cast<int>(degrees.size()) - 1;
  ON_NurbsCurve c(3, true, 3, 2 * spans + 1);
  const ON_Circle circle(ON_origin, r);
  double knot = 0.0;
  for (int i = 0; i <= spans; ++i) {
    const double a = degrees[i] * ON_DEGREES_TO_RADIANS;
    c.SetCV(2 * i, circle.PointAt(a));
    c.SetKnot(2 * i, knot);
    c.SetKnot(2 * i + 1, knot);
    if (i == spans) break;
    const double b = degrees[i + 1] * ON_DEGREES_TO_RADIANS;
    const double w = std::cos(0.5 * (b - a));
    const ON_3dPoint m = ON_3dPoint(0, 0, 0) + (circle.PointAt(0.5 * (a + b)) - ON_origin) / w;
    c.SetCV(2 * i + 1, ON_4dPoint(m.x * w, m.y * w, m.z * w, w));
    knot += steps.empty() ? std::fabs(b - a) : steps[i];
  }
  EXPECT_TRUE(c.IsValid());
  return c;
}

const ON_Plane kDown(ON_3dPoint(0, 0, 0), ON_3dVector(1, 0, 0), ON_3dVector(0, -1, 0));
const ON_Plane kTilted(ON_3dPoint(1, -2, 3), ON_3dVector(1, 2, 2), ON_3dVector(-2, 1, 0));

}  // namespace

TEST(IsLine, StraightCurvesOfEveryClassAndNearMisses) {
  const ON_3dPoint a(1, 2, 3), b(11, 2, 3);  // length 10: tolerance 1e-8
  const ON_LineCurve line(a, b);
  const ON_PolylineCurve straight(Points({a, ON_3dPoint(4, 2, 3), b}));
  const ON_NurbsCurve cubic = Clamped(4, {a, ON_3dPoint(2, 2, 3), ON_3dPoint(7, 2, 3), b});
  for (const ON_Curve* curve : {static_cast<const ON_Curve*>(&line), static_cast<const ON_Curve*>(&straight),
                                static_cast<const ON_Curve*>(&cubic)}) {
    ON_Line received;
    ASSERT_EQ(VLMCurve::IsLine(curve, received), 1);
    EXPECT_EQ(received.from, a);
    EXPECT_EQ(received.to, b);
  }
  // A vertex off the segment by just inside and just outside the tolerance.
  ON_Line received;
  const ON_PolylineCurve near(Points({a, ON_3dPoint(4, 2, 3 + 0.5e-8), b}));
  EXPECT_EQ(VLMCurve::IsLine(&near, received), 1);
  const ON_3dPoint kept(7, 7, 7);
  received = ON_Line(kept, kept);
  const std::vector<ON_3dPointArray> misses = {
      Points({a, ON_3dPoint(4, 2, 3 + 2e-8), b}),  // off the line
      Points({a, ON_3dPoint(12, 2, 3), b}),        // on the line, past its end
      Points({a, b, ON_3dPoint(6, 9, 3), a}),      // closed
  };
  for (const ON_3dPointArray& points : misses) {
    const ON_PolylineCurve miss(points);
    EXPECT_EQ(VLMCurve::IsLine(&miss, received), 0);
    EXPECT_EQ(received.from, kept);
  }
  const ON_ArcCurve arc(ON_Arc(ON_Circle(a, 1.0), 0.1));
  EXPECT_EQ(VLMCurve::IsLine(&arc, received), 0);
  EXPECT_EQ(VLMCurve::IsLine(nullptr, received), 0);
  const ON_LineCurve empty;
  EXPECT_EQ(VLMCurve::IsLine(&empty, received), 0);
}

TEST(IsPolyline, DegreeOneCurvesGiveTheirVerticesInOrder) {
  const std::vector<ON_3dPoint> corners = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 1}};
  const ON_PolylineCurve polyline(Points(corners));
  const ON_NurbsCurve degree_one = Nurbs(polyline);
  ON_NurbsCurve rational(3, true, 2, 4);
  for (int i = 0; i < 4; ++i) {
    rational.SetCV(i, ON_4dPoint(corners[i].x * 2, corners[i].y * 2, corners[i].z * 2, 2.0));
    rational.SetKnot(i, i * 0.5);
  }
  const ON_Curve* curves[] = {&polyline, &degree_one, &rational};
  for (const ON_Curve* curve : curves) {
    ON_Polyline received(Points({{9, 9, 9}, {8, 8, 8}, {7, 7, 7}, {6, 6, 6}, {5, 5, 5}}));
    ASSERT_EQ(VLMCurve::IsPolyline(curve, received), 1);
    ASSERT_EQ(received.PointCount(), 4);  // replaced, not appended to
    for (int i = 0; i < 4; ++i) EXPECT_EQ(received[i], corners[i]);
  }
  ON_Polyline received;
  const ON_LineCurve line(corners[0], corners[2]);
  ASSERT_EQ(VLMCurve::IsPolyline(&line, received), 1);
  EXPECT_EQ(received.PointCount(), 2);
  // A repeated vertex is left out; a point is no polyline.
  ON_NurbsCurve repeated = Clamped(2, {corners[0], corners[1], corners[1], corners[2]});
  ASSERT_EQ(VLMCurve::IsPolyline(&repeated, received), 1);
  EXPECT_EQ(received.PointCount(), 3);
  ON_NurbsCurve point = Clamped(2, {corners[1], corners[1]});
  ON_NurbsCurve cubic = Clamped(4, corners);
  ON_ArcCurve arc(ON_Arc(ON_Circle(ON_origin, 1.0), 1.0));
  for (const ON_Curve* miss : {static_cast<const ON_Curve*>(&point), static_cast<const ON_Curve*>(&cubic),
                               static_cast<const ON_Curve*>(&arc)}) {
    EXPECT_EQ(VLMCurve::IsPolyline(miss, received), 0);
    EXPECT_EQ(received.PointCount(), 3);
  }
}

TEST(IsArc, ArcsAndCirclesInAnyPlaneKeepTheirDirection) {
  struct Case {
    ON_Plane plane;
    double sweep;
  };
  const Case cases[] = {
      {ON_Plane::World_xy, 0.5 * ON_PI},
      {ON_Plane::World_xy, ON_PI},
      {ON_Plane::World_xy, 1.5 * ON_PI},
      {ON_Plane::World_xy, 2 * ON_PI},
      {kDown, 0.5 * ON_PI},
      {kDown, 1.2 * ON_PI},
      {kDown, 2 * ON_PI},
      {kTilted, 0.01},
      {kTilted, 1.9 * ON_PI},
      {kTilted, 2 * ON_PI},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "sweep " << c.sweep << " normal z " << c.plane.zaxis.z);
    const ON_Arc given(ON_Circle(c.plane, ON_3dPoint(5, -1, 2), 3.0), ON_Interval(0.7, 0.7 + c.sweep));
    const ON_ArcCurve arc_curve(given);
    const ON_NurbsCurve nurbs = Nurbs(arc_curve);
    for (const ON_Curve* curve : {static_cast<const ON_Curve*>(&arc_curve), static_cast<const ON_Curve*>(&nurbs)}) {
      ON_Arc arc;
      ASSERT_EQ(VLMCurve::IsArc(curve, arc), 1);
      EXPECT_EQ(arc.IsCircle(), given.IsCircle());
      EXPECT_NEAR(arc.AngleRadians(), c.sweep, 1e-9);
      EXPECT_NEAR(arc.Radius(), 3.0, 1e-9);
      ExpectNear(arc.Center(), given.Center(), 1e-9);
      ExpectNear(ON_3dPoint(arc.Normal()), ON_3dPoint(given.Normal()), 1e-9);
      ExpectNear(arc.StartPoint(), given.StartPoint(), 1e-9);
      ExpectNear(arc.EndPoint(), given.EndPoint(), 1e-9);
      ExpectNear(arc.MidPoint(), given.MidPoint(), 1e-9);
    }
  }
}

TEST(IsArc, CurvesOffTheCircleOrTurningBackAreNoArcs) {
  // A half circle of radius 10: control points in a 20 x 10 box, so the
  // tolerance is 1e-9 * sqrt(500) = 2.24e-8.
  const ON_Arc half(ON_Circle(ON_3dPoint(0, 0, 0), 10.0), ON_PI);
  ON_NurbsCurve nurbs;
  half.GetNurbForm(nurbs);
  ON_Arc received;
  const ON_Arc kept(ON_Circle(ON_3dPoint(7, 7, 7), 1.0), 1.0);
  // The first span's middle control point lifted out of the plane by h
  // lifts the span's middle by h w / (1 + w) = 0.414 h: 2.07e-8 is inside
  // the tolerance, 2.49e-8 outside.
  for (double lift : {5e-8, 6e-8}) {
    ON_NurbsCurve moved = nurbs;
    ON_4dPoint cv;
    moved.GetCV(1, cv);
    cv.z = lift * cv.w;
    moved.SetCV(1, cv);
    received = kept;
    EXPECT_EQ(VLMCurve::IsArc(&moved, received), lift < 5.5e-8 ? 1 : 0) << lift;
  }
  EXPECT_EQ(received.Center(), kept.Center());
  // Out and partly back along the circle, and twice round it (the second
  // time fast, so that the points at a third and two thirds of the domain
  // run the right way round).
  const ON_NurbsCurve out_and_back = SpansOnCircle(10.0, {0, 75, 150, 120});
  const ON_NurbsCurve twice =
      SpansOnCircle(10.0, {0, 90, 180, 270, 360, 450, 540, 630, 720}, {1, 1, 1, 1, 0.1, 0.1, 0.1, 0.1});
  const ON_NurbsCurve forward = SpansOnCircle(10.0, {0, 75, 150});
  ASSERT_EQ(VLMCurve::IsArc(&forward, received), 1);
  const ON_NurbsCurve parabola = Clamped(3, {{0, 0, 0}, {1, 2, 0}, {2, 0, 0}});
  const ON_LineCurve line(ON_3dPoint(0, 0, 0), ON_3dPoint(1, 1, 1));
  for (const ON_Curve* miss : {static_cast<const ON_Curve*>(&out_and_back), static_cast<const ON_Curve*>(&twice),
                               static_cast<const ON_Curve*>(&parabola), static_cast<const ON_Curve*>(&line),
                               static_cast<const ON_Curve*>(nullptr)}) {
    received = kept;
    EXPECT_EQ(VLMCurve::IsArc(miss, received), 0);
    EXPECT_EQ(received.Center(), kept.Center());
  }
}

TEST(GetPoints, FifteenStepsPerSpanAndClosedCurvesEndWhereTheyStart) {
  const ON_Circle circle(ON_Plane(ON_3dPoint(1, 2, 0.5), ON_3dVector(0, 0, 1)), 2.0);
  ON_NurbsCurve closed;
  ASSERT_EQ(circle.GetNurbForm(closed), 2);
  ON_3dPointArray points;
  ASSERT_EQ(VLMNurbsCurve::GetPoints(closed, points, 15.0), 1);
  ASSERT_EQ(points.Count(), 4 * 15 + 1);
  EXPECT_EQ(points[0], points[60]);
  double turned = 0.0;
  for (int i = 0; i < points.Count(); ++i) {
    EXPECT_NEAR(points[i].DistanceTo(circle.Center()), 2.0, 1e-12);
    if (i > 0) {
      const ON_3dVector a = points[i - 1] - circle.Center(), b = points[i] - circle.Center();
      const double step = VLMVector::Angle(a, b, ON_zaxis, 1);
      EXPECT_GT(step, 0.0);
      turned += step;
    }
  }
  EXPECT_NEAR(turned, 2 * ON_PI, 1e-12);

  // A periodic curve's end is computed on another span than its start.
  ON_NurbsCurve periodic(3, false, 3, 6);
  const ON_3dPoint square[4] = {{0.1, 0.3, 0}, {1.7, 0.2, 0}, {1.3, 1.1, 0}, {0.2, 0.9, 0}};
  for (int i = 0; i < 6; ++i) periodic.SetCV(i, square[i % 4]);
  for (int i = 0; i < 7; ++i) periodic.SetKnot(i, 0.1 * i);
  ASSERT_TRUE(periodic.IsClosed());
  ON_3dPointArray loop;
  ASSERT_EQ(VLMNurbsCurve::GetPoints(periodic, loop, 15.0), 1);
  ASSERT_EQ(loop.Count(), 4 * 15 + 1);
  EXPECT_EQ(loop[0], loop[60]);

  // An open cubic of two spans, 2.5 rounding up to 3 steps, appended.
  const ON_NurbsCurve open = Clamped(4, {{0, 0, 0}, {1, 2, 0}, {3, 3, 1}, {4, 0, 2}, {6, 1, 0}});
  ASSERT_EQ(VLMNurbsCurve::GetPoints(open, points, 2.5), 1);
  ASSERT_EQ(points.Count(), 61 + 7);
  EXPECT_EQ(points[61], open.PointAtStart());
  ExpectNear(points[62], open.PointAt(1.0 / 3.0), 0.0);
  EXPECT_EQ(points[67], open.PointAtEnd());

  for (double density : {0.0, -1.0, std::nan(""), HUGE_VAL, 1e300}) {
    EXPECT_EQ(VLMNurbsCurve::GetPoints(open, points, density), 0) << density;
    EXPECT_EQ(points.Count(), 68);
  }
  EXPECT_EQ(VLMNurbsCurve::GetPoints(ON_NurbsCurve(), points, 15.0), 0);
  EXPECT_EQ(points.Count(), 68);
}

TEST(Angle, FromTheFirstVectorToTheSecondAboutTheNormal) {
  struct Case {
    ON_3dVector a, b, normal;
    double unsigned_angle, signed_angle;
  };
  const double pi = ON_PI;
  const Case cases[] = {
      {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, 0.5 * pi, 0.5 * pi},
      {{1, 0, 0}, {0, -1, 0}, {0, 0, 1}, 1.5 * pi, -0.5 * pi},
      {{1, 0, 0}, {0, 1, 0}, {0, 0, -1}, 1.5 * pi, -0.5 * pi},
      {{1, 0, 0}, {-1, 0, 0}, {0, 0, 1}, pi, pi},
      {{0.3, 0.7, 0}, {-0.3, -0.7, 0}, {0, 0, -1}, pi, pi},
      {{2, 0, 0}, {5, 0, 0}, {0, 0, 1}, 0.0, 0.0},
      {{1, 0, 7}, {1, 1, -3}, {0, 0, 2}, 0.25 * pi, 0.25 * pi},  // projected onto the plane
      {{0, 0, 1}, {1, 0, 0}, {0, 0, 1}, 0.0, 0.0},               // along the normal
      {{1, 0, 0}, {0, 1, 0}, {0, 0, 0}, 0.0, 0.0},
  };
  for (const Case& c : cases) {
    EXPECT_NEAR(VLMVector::Angle(c.a, c.b, c.normal, 0), c.unsigned_angle, 1e-15) << c.a.x << " " << c.b.x;
    EXPECT_NEAR(VLMVector::Angle(c.a, c.b, c.normal, 1), c.signed_angle, 1e-15) << c.a.x << " " << c.b.x;
  }
  // A turn a hair short of a full one stays in [0, 2 pi).
  const double tiny = VLMVector::Angle(ON_3dVector(1, 0, 0), ON_3dVector(1, -1e-300, 0), ON_zaxis, 0);
  EXPECT_GE(tiny, 0.0);
  EXPECT_LT(tiny, 2 * pi);
}

TEST(ShapeMemory, AShapeTestThatRunsOutOfMemoryCannotTellAndNeverSaysNo) {
  if (!test_support::AllocationLimit::Available()) GTEST_SKIP() << "no allocation hook under AddressSanitizer";
  // Each a shape its test says yes to: failing any one allocation may leave
  // the test unable to tell (-1, the receiver untouched), never a no.
  const ON_ArcCurve arc(ON_Arc(ON_Circle(ON_Plane::World_xy, 1.0), 0.5 * ON_PI));
  const ON_NurbsCurve quarter = Nurbs(arc);
  const ON_PolylineCurve polyline(Points({{0, 0, 0}, {1, 0, 0}, {2, 1, 0}}));
  const ON_PolylineCurve straight(Points({{0, 0, 0}, {1, 0, 0}, {2, 0, 0}}));
  const ON_Line keptLine(ON_3dPoint(7, 7, 7), ON_3dPoint(8, 8, 8));
  const ON_Arc keptArc(ON_Circle(ON_3dPoint(7, 7, 7), 1.0), 1.0);
  ON_Line line;
  ON_Arc received;
  ON_Polyline vertices;
  struct Case {
    const char* name;
    std::function<void()> prepare;
    std::function<int()> run;
    std::function<bool()> untouched;
  } cases[] = {
      {"line", [&] { line = keptLine; }, [&] { return VLMCurve::IsLine(&straight, line); },
       [&] { return line.from == keptLine.from && line.to == keptLine.to; }},
      {"arc", [&] { received = keptArc; }, [&] { return VLMCurve::IsArc(&arc, received); },
       [&] { return received.Center() == keptArc.Center(); }},
      {"arc as NURBS", [&] { received = keptArc; }, [&] { return VLMCurve::IsArc(&quarter, received); },
       [&] { return received.Center() == keptArc.Center(); }},
      {"polyline", [&] { vertices.Empty(); }, [&] { return VLMCurve::IsPolyline(&polyline, vertices); },
       [&] { return vertices.Count() == 0; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    int couldNotTell = 0;
    const long long total = test_support::FailEachAllocation(c.prepare, c.run, [&](int answer, long long n) {
      if (answer == -1) {
        ++couldNotTell;
        EXPECT_TRUE(c.untouched()) << "allocation " << n;
      } else {
        EXPECT_EQ(answer, 1) << "allocation " << n;
      }
    });
    EXPECT_GT(total, 0);
    EXPECT_GT(couldNotTell, 0);
  }

  // With no memory at all, the same; GetPoints, whose result no caller
  // reads, answers 0 and leaves its array as it was.
  ON_NurbsCurve closed;
  ON_Circle(ON_origin, 1.0).GetNurbForm(closed);
  ON_3dPointArray points;
  points.Append(ON_3dPoint(4, 4, 4));
  vertices.Empty();
  test_support::AllocationLimit limit(test_support::AllocationLimit::FailFrom(1));
  EXPECT_EQ(VLMCurve::IsLine(&polyline, line), -1);
  EXPECT_EQ(VLMCurve::IsArc(&arc, received), -1);
  EXPECT_EQ(VLMCurve::IsPolyline(&polyline, vertices), -1);
  EXPECT_EQ(VLMNurbsCurve::GetPoints(closed, points, 15.0), 0);
  limit.End();
  EXPECT_EQ(points.Count(), 1);
  EXPECT_EQ(vertices.Count(), 0);
}

namespace {

// A brep of three edges: part of a line, a whole arc, and a cubic edge on
// the middle of its curve.
ON_Brep ThreeEdges() {
  ON_Brep brep;
  brep.NewVertex(ON_3dPoint(0, 0, 0));
  brep.NewVertex(ON_3dPoint(4, 0, 0));
  brep.NewVertex(ON_3dPoint(0, 4, 0));
  const int line = brep.AddEdgeCurve(new ON_LineCurve(ON_3dPoint(-1, 0, 0), ON_3dPoint(5, 0, 0)));
  const int arc = brep.AddEdgeCurve(new ON_ArcCurve(ON_Arc(ON_Circle(ON_origin, 4.0), 0.5 * ON_PI)));
  const int cubic =
      brep.AddEdgeCurve(new ON_NurbsCurve(Clamped(4, {{0, 6, 0}, {0, 4, 1}, {0, 2, -1}, {0, 0, 0.5}, {0, -2, 0}})));
  const ON_Interval inner(1.0, 5.0), middle(0.5, 1.5);
  brep.NewEdge(brep.m_V[0], brep.m_V[1], line, &inner);
  brep.NewEdge(brep.m_V[1], brep.m_V[2], arc);
  brep.NewEdge(brep.m_V[2], brep.m_V[0], cubic, &middle);
  return brep;
}

}  // namespace

TEST(GetEdgeCurves, OneNurbsCurvePerEdgeOverItsDomain) {
  const ON_Brep brep = ThreeEdges();
  ON_ClassArray<ON_NurbsCurve> curves;
  curves.AppendNew();  // appended to
  ASSERT_EQ(VLMBrep::GetEdgeCurves(brep, curves), 1);
  ASSERT_EQ(curves.Count(), 4);
  for (int e = 0; e < 3; ++e) {
    const ON_NurbsCurve& c = curves[e + 1];
    const ON_BrepEdge& edge = brep.m_E[e];
    ASSERT_TRUE(c.IsValid());
    EXPECT_EQ(c.Domain(), edge.Domain());
    ExpectNear(c.PointAtStart(), edge.EdgeCurveOf()->PointAt(edge.Domain()[0]));
    ExpectNear(c.PointAtEnd(), edge.EdgeCurveOf()->PointAt(edge.Domain()[1]));
  }
  ExpectNear(curves[1].PointAtStart(), ON_3dPoint(0, 0, 0));
  ExpectNear(curves[1].PointAtEnd(), ON_3dPoint(4, 0, 0));
  EXPECT_TRUE(curves[2].IsRational());
  for (double t = 0.5; t <= 1.5; t += 0.0625) ExpectNear(curves[3].PointAt(t), brep.m_C3[2]->PointAt(t));

  // An edge that cannot be converted adds nothing at all.
  ON_Brep bad = ThreeEdges();
  bad.m_E[1].SetProxyCurveDomain(ON_Interval(0.0, 7.0));  // past the arc's domain [0, 2 pi]
  EXPECT_EQ(VLMBrep::GetEdgeCurves(bad, curves), 0);
  EXPECT_EQ(curves.Count(), 4);
  ON_ClassArray<ON_NurbsCurve> none;
  EXPECT_EQ(VLMBrep::GetEdgeCurves(ON_Brep(), none), 1);
  EXPECT_EQ(none.Count(), 0);
}

TEST(GetEdgeCurves, RunningOutOfMemoryAddsNothing) {
  if (!test_support::AllocationLimit::Available()) GTEST_SKIP() << "no allocation hook under AddressSanitizer";
  const ON_Brep brep = ThreeEdges();
  long long allocations = 0;
  {
    ON_ClassArray<ON_NurbsCurve> curves;
    test_support::AllocationLimit count;
    VLMBrep::GetEdgeCurves(brep, curves);
    allocations = count.Allocations();
  }
  for (long long n = 1; n <= allocations; ++n) {
    ON_ClassArray<ON_NurbsCurve> curves;
    int result;
    {
      test_support::AllocationLimit limit(test_support::AllocationLimit::FailOnly(n));
      result = VLMBrep::GetEdgeCurves(brep, curves);
    }
    EXPECT_EQ(result, 0) << n;
    EXPECT_EQ(curves.Count(), 0);
  }
}
