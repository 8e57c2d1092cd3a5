// The sketch road against the stand-in host: what each function hands the
// host, scaled, in what order, under which progress, and what it answers.
#include <gtest/gtest.h>

#include <atlbase.h>

#include "VLMGeo.h"
#include "VLMSWON.h"
#include "alloc_limit.h"
#include "host_calls.h"
#include "quiet_ui.h"
#include "stand_in/host.h"
#include "stand_in/ui.h"

#include <cmath>
#include <functional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace {

using stand_in::Point3;
using test_support::Runs;

const std::string kPoint = "IHostDocument::CreateSketchPoint";
const std::string kLine = "IHostDocument::CreateSketchLine";
const std::string kCircle = "IHostDocument::CreateSketchCircle";
const std::string kArc = "IHostDocument::CreateSketchArc";
const std::string kByPoints = "IHostDocument::CreateSketchSplineByPoints";
const std::string kByNurbs = "IHostDocument::CreateSketchSplineByNurbs";

void ExpectNear(const Point3& a, const Point3& b) {
  EXPECT_NEAR(a.x, b.x, 1e-12);
  EXPECT_NEAR(a.y, b.y, 1e-12);
  EXPECT_NEAR(a.z, b.z, 1e-12);
}
Point3 Scaled(const ON_3dPoint& p, double s) { return {p.x * s, p.y * s, p.z * s}; }

ON_3dPointArray Points(std::initializer_list<ON_3dPoint> list) {
  ON_3dPointArray out;
  for (const ON_3dPoint& p : list) out.Append(p);
  return out;
}

// The clamped curve of `order` on the knots 0, 1, 2, ... through these
// control points.
ON_NurbsCurve Clamped(int order, std::initializer_list<ON_3dPoint> cvs) {
  const ON_3dPointArray points = Points(cvs);
  ON_NurbsCurve c;
  EXPECT_TRUE(c.CreateClampedUniformNurbs(3, order, points.Count(), points.Array()));
  return c;
}

ON_NurbsCurve NurbsOf(const ON_Arc& arc) {
  ON_NurbsCurve c;
  EXPECT_NE(arc.GetNurbForm(c), 0);
  return c;
}

// The open clamped cubic of five control points on 0, 0, 0, 1, 2, 2, 2.
ON_NurbsCurve ClampedCubic() {
  ON_NurbsCurve c(3, false, 4, 5);
  const double knots[7] = {0, 0, 0, 1, 2, 2, 2};
  for (int i = 0; i < 7; ++i) c.SetKnot(i, knots[i]);
  const ON_3dPoint cvs[5] = {{0, 0, 0}, {1, 2, 0}, {3, 2, 1}, {4, 0, 1}, {6, 1, 2}};
  for (int i = 0; i < 5; ++i) c.SetCV(i, cvs[i]);
  EXPECT_TRUE(c.IsValid());
  return c;
}

// What a progress step saw: beside the scripted record, how many host calls
// had been made when each step came.
class Timeline : public stand_in::ui::ScriptedDriver {
 public:
  explicit Timeline(const stand_in::Host& host) : host_(host) {}
  void ProgressStep(int id, double step) override {
    ScriptedDriver::ProgressStep(id, step);
    stepsAt.push_back(host_.Operations().size());
  }
  std::vector<size_t> stepsAt;

 private:
  const stand_in::Host& host_;
};

// A part whose 3D sketch is open; the host must hold no more than the
// test's own two references after every call.
class SketchRoad : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(host.Application()->NewPartDocument(&part), S_OK);
    ASSERT_EQ(part.QueryInterface(&doc), S_OK);
    ASSERT_EQ(doc->Toggle3DSketch(0), S_OK);
    held = host.HeldReferences();
    host.ClearCalls();
  }
  void TearDown() override {
    EXPECT_EQ(host.HeldReferences(), held) << host.DescribeHeld();
    doc.Release();
    part.Release();
    EXPECT_EQ(host.HeldReferences(), 0) << host.DescribeHeld();
    EXPECT_EQ(host.OverReleases(), 0);
    EXPECT_EQ(host.UseAfterRelease(), 0) << host.DescribeUseAfterRelease();
  }
  // A fresh record, sketch and fault list for the next case of a table.
  void NextCase() {
    EXPECT_EQ(host.HeldReferences(), held) << host.DescribeHeld();
    host.ClearCalls();
    host.ClearFaults();
    ui.events.clear();
    ui.stepsAt.clear();
    doc->Toggle3DSketch(0);
    doc->Toggle3DSketch(0);
    host.ClearCalls();
  }
  const stand_in::Sketch& sketch() const { return host.Documents().at(0).sketches.back(); }
  std::vector<std::string> Steps() const { return Runs(host.Operations()); }
  std::vector<std::string> ProgressKinds() const {
    std::vector<std::string> out;
    for (const auto& e : ui.events)
      if (e.what.rfind("progress.", 0) == 0) out.push_back(e.what);
    return Runs(out);
  }

  stand_in::Host host;
  Timeline ui{host};
  CComPtr<IHostPartDocument> part;
  CComPtr<IHostDocument> doc;
  long held = 0;
};

}  // namespace

TEST_F(SketchRoad, APointAnswersTheHostsCodeAndALineOneOrZero) {
  EXPECT_EQ(VLMSWON::CreateSketchPoint(doc, ON_3dPoint(1, 2, 3), 0.5), S_OK);
  EXPECT_EQ(VLMSWON::CreateSketchLine(doc, ON_Line(ON_3dPoint(1, 2, 3), ON_3dPoint(-4, 0, 2)), 0.5), 1);
  ASSERT_EQ(sketch().points.size(), 1u);
  EXPECT_EQ(sketch().points[0], (Point3{0.5, 1, 1.5}));
  ASSERT_EQ(sketch().lines.size(), 1u);
  EXPECT_EQ(sketch().lines[0].from, (Point3{0.5, 1, 1.5}));
  EXPECT_EQ(sketch().lines[0].to, (Point3{-2, 0, 1}));

  for (HRESULT code : {E_FAIL, S_FALSE, E_OUTOFMEMORY}) {
    host.InjectFault(kPoint, 1, code);
    host.InjectFault(kLine, 1, code);
    EXPECT_EQ(VLMSWON::CreateSketchPoint(doc, ON_3dPoint(1, 2, 3), 1.0), code);
    EXPECT_EQ(VLMSWON::CreateSketchLine(doc, ON_Line(ON_3dPoint(0, 0, 0), ON_3dPoint(1, 0, 0)), 1.0), 0);
  }
  // The host's own refusal: a line whose ends coincide.
  EXPECT_EQ(VLMSWON::CreateSketchLine(doc, ON_Line(ON_3dPoint(1, 1, 1), ON_3dPoint(1, 1, 1)), 1.0), 0);
  EXPECT_EQ(sketch().points.size(), 1u);
  EXPECT_EQ(sketch().lines.size(), 1u);
}

TEST_F(SketchRoad, PointsGoInOrderUnderTheirOwnProgressAndARefusalDoesNotStopThem) {
  ON_3dPointArray none;
  EXPECT_EQ(VLMSWON::CreateSketchPoints(doc, none, 1.0, 1), 1);
  EXPECT_TRUE(host.Operations().empty());
  EXPECT_EQ(ProgressKinds(), (std::vector<std::string>{"progress.open", "progress.setmax", "progress.start",
                                                       "progress.end", "progress.close"}));
  EXPECT_EQ(ui.events[0].title, L"Creating points");
  EXPECT_EQ(ui.events[0].value2, 100.0);
  EXPECT_EQ(ui.events[1].value, 0.0);

  NextCase();
  host.InjectFault(kPoint, 2, E_FAIL);
  const ON_3dPointArray three = Points({{1, 0, 0}, {0, 2, 0}, {0, 0, 3}});
  EXPECT_EQ(VLMSWON::CreateSketchPoints(doc, three, 2.0, 1), 1);
  EXPECT_EQ(Steps(), (std::vector<std::string>{kPoint + " x3"}));
  EXPECT_EQ(sketch().points, (std::vector<Point3>{{2, 0, 0}, {0, 0, 6}}));
  EXPECT_EQ(ui.stepsAt, (std::vector<size_t>{0, 1, 2})) << "each step before its point";
  EXPECT_EQ(ui.EventsOf("progress.setmax").at(0).value, 3.0);

  NextCase();
  EXPECT_EQ(VLMSWON::CreateSketchPoints(doc, three, 1.0, 0), 1);
  EXPECT_EQ(ProgressKinds(), (std::vector<std::string>{"progress.open", "progress.close"}));
}

TEST_F(SketchRoad, PolylinesLineBySegmentAndStopAtTheFirstRefusal) {
  struct Case {
    const char* name;
    ON_3dPointArray points;
    int refused;  // the line call the host refuses, 0 for none
    size_t calls;
    size_t kept;
    int result;
  } cases[] = {
      {"no point", Points({}), 0, 0, 0, 1},
      {"one point", Points({{1, 1, 1}}), 0, 0, 0, 1},
      {"four points", Points({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {1, 1, 1}}), 0, 3, 3, 1},
      {"the second line refused", Points({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {1, 1, 1}}), 2, 2, 1, 0},
      {"closed by its last point", Points({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 0, 0}}), 0, 3, 3, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    NextCase();
    if (c.refused) host.InjectFault(kLine, c.refused, E_FAIL);
    EXPECT_EQ(VLMSWON::CreateSketchPolyline(doc, ON_Polyline(c.points), 10.0), c.result);
    EXPECT_EQ(test_support::CallsOf(host, kLine).size(), c.calls);
    ASSERT_EQ(sketch().lines.size(), c.kept);
    for (size_t i = 0; i < c.kept; ++i) {
      EXPECT_EQ(sketch().lines[i].from, Scaled(c.points[static_cast<int>(i)], 10.0));
      EXPECT_EQ(sketch().lines[i].to, Scaled(c.points[static_cast<int>(i) + 1], 10.0));
    }
  }
}

TEST_F(SketchRoad, SplineThroughPointsTakesThemScaledInOrderAndAnyCount) {
  const ON_3dPointArray points = Points({{0, 0, 0}, {1, 2, 0}, {3, 1, 4}});
  EXPECT_EQ(VLMSWON::CreateSketchSplineThroughPoints(doc, points, 0.25), 1);
  ASSERT_EQ(sketch().splines.size(), 1u);
  EXPECT_FALSE(sketch().splines[0].nurbs);
  EXPECT_EQ(sketch().splines[0].points, (std::vector<Point3>{{0, 0, 0}, {0.25, 0.5, 0}, {0.75, 0.25, 1}}));

  // The count is the host's to judge: an empty list reaches it as 0.
  NextCase();
  EXPECT_EQ(VLMSWON::CreateSketchSplineThroughPoints(doc, ON_3dPointArray(), 1.0), 0);
  const auto calls = test_support::CallsOf(host, kByPoints);
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].args.substr(0, 2), "0,");

  NextCase();
  host.InjectFault(kByPoints, 1, S_FALSE);
  EXPECT_EQ(VLMSWON::CreateSketchSplineThroughPoints(doc, points, 1.0), 0);
}

TEST_F(SketchRoad, ArcsAndCirclesByTheirPlaneScaleAndDirection) {
  const ON_3dVector up(0, 0, 1), down(0, 0, -1);
  const ON_Arc circleXY(ON_Circle(ON_Plane(ON_3dPoint(1, 2, 0), up), 2.0), 2 * ON_PI);
  const ON_Arc quarter(ON_Circle(ON_Plane::World_xy, 1.0), 0.5 * ON_PI);
  const ON_Arc facingDown(ON_Circle(ON_Plane(ON_3dPoint(1, 1, 0), down), 3.0), 1.0);
  struct Case {
    const char* name;
    ON_Arc arc;
    double scale;
    std::string op;  // the one host call
  } cases[] = {
      {"circle in XY", circleXY, 0.001, kCircle},
      {"circle in XY facing down", ON_Arc(ON_Circle(ON_Plane(ON_3dPoint(1, 2, 0), down), 2.0), 2 * ON_PI), 1.0,
       kCircle},
      {"circle a hair above XY", ON_Arc(ON_Circle(ON_Plane(ON_3dPoint(0, 0, 1e-13), up), 1.0), 2 * ON_PI), 1.0,
       kCircle},
      {"circle just off XY", ON_Arc(ON_Circle(ON_Plane(ON_3dPoint(0, 0, 1e-11), up), 1.0), 2 * ON_PI), 1.0,
       kByPoints},
      {"quarter arc", quarter, 1.0, kArc},
      {"arc facing down", facingDown, 0.5, kArc},
      {"circle above XY", ON_Arc(ON_Circle(ON_Plane(ON_3dPoint(1, 2, 0.5), up), 2.0), 2 * ON_PI), 0.001, kByPoints},
      {"half circle above XY", ON_Arc(ON_Circle(ON_Plane(ON_3dPoint(0, 0, 1), up), 1.0), ON_PI), 2.0, kByNurbs},
      {"arc standing in XZ",
       ON_Arc(ON_Circle(ON_Plane(ON_origin, ON_3dVector(1, 0, 0), ON_3dVector(0, 0, 1)), 1.0), 1.0), 1.0, kByNurbs},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    NextCase();
    ASSERT_TRUE(c.arc.IsValid());
    EXPECT_EQ(VLMSWON::CreateSketchArc(doc, c.arc, c.scale), 1);
    ASSERT_EQ(host.Operations(), std::vector<std::string>{c.op});
    const double s = c.scale;
    if (c.op == kCircle || c.op == kArc) {
      ASSERT_EQ(sketch().arcs.size(), 1u);
      const stand_in::SketchArc& a = sketch().arcs[0];
      EXPECT_EQ(a.centre, Scaled(c.arc.Center(), s));
      if (c.op == kCircle) {
        EXPECT_EQ(a.radius, c.arc.Radius() * s);
      } else {
        EXPECT_EQ(a.start, Scaled(c.arc.StartPoint(), s));
        EXPECT_EQ(a.end, Scaled(c.arc.EndPoint(), s));
        EXPECT_EQ(a.direction, c.arc.Normal().z > 0 ? 1 : -1);
      }
      continue;
    }
    // Off the plane: the NURBS form, sampled when closed.
    ASSERT_EQ(sketch().splines.size(), 1u);
    const stand_in::SketchSpline& spline = sketch().splines[0];
    const ON_NurbsCurve form = NurbsOf(c.arc);
    std::vector<Point3> expected;
    if (c.op == kByPoints) {
      ON_3dPointArray samples;
      ASSERT_EQ(VLMNurbsCurve::GetPoints(form, samples, 15.0), 1);
      for (int i = 0; i < samples.Count(); ++i) expected.push_back(Scaled(samples[i], s));
    } else {
      for (int i = 0; i < form.CVCount(); ++i) {
        ON_3dPoint p;
        form.GetCV(i, p);
        expected.push_back(Scaled(p, s));
      }
    }
    EXPECT_EQ(spline.points, expected);
  }
  // The spelled-out cases: scale 0.001 on the circle, the quarter arc's
  // ends and turn, and the other way round seen from +z.
  NextCase();
  VLMSWON::CreateSketchArc(doc, circleXY, 0.001);
  EXPECT_EQ(test_support::CallsOf(host, kCircle).at(0).args, "0.001, 0.002, 0, 0.002");
  NextCase();
  VLMSWON::CreateSketchArc(doc, quarter, 1.0);
  EXPECT_EQ(test_support::CallsOf(host, kArc).at(0).args, "0, 0, 0, 1, 0, 0, 0, 1, 0, 1");
  NextCase();
  VLMSWON::CreateSketchArc(doc, facingDown, 0.5);
  EXPECT_EQ(sketch().arcs.at(0).direction, -1);
}

TEST_F(SketchRoad, ACircleOrArcTheHostRefusesIsAZero) {
  const ON_Arc circle(ON_Circle(ON_Plane::World_xy, 2.0), 2 * ON_PI);
  const ON_Arc quarter(ON_Circle(ON_Plane::World_xy, 1.0), 0.5 * ON_PI);
  for (const auto& [arc, op] : {std::make_pair(circle, kCircle), std::make_pair(quarter, kArc)}) {
    for (HRESULT code : {E_FAIL, S_FALSE}) {
      SCOPED_TRACE(op + " " + std::to_string(code));
      NextCase();
      host.InjectFault(op, 1, code);
      EXPECT_EQ(VLMSWON::CreateSketchArc(doc, arc, 1.0), 0);
      EXPECT_EQ(host.Operations(), std::vector<std::string>{op});
    }
  }
}

// The host takes arc ends within a millionth of the radius, or within its
// resolution of 1e-8 m, for one point, and refuses such an arc.
TEST_F(SketchRoad, AnArcWhoseEndsTheHostTakesForOnePointIsItsCircleOrItsChord) {
  const double turn = 2 * ON_PI;
  // Turning clockwise seen from +z, so that the direction is not the default.
  const ON_Plane down(ON_3dPoint(1, 2, 0), ON_3dVector(1, 0, 0), ON_3dVector(0, -1, 0));
  struct Case {
    const char* name;
    ON_Plane plane;
    double sweep, scale;
    std::string op;
  } cases[] = {
      {"1e-7 short of a full turn", ON_Plane::World_xy, turn - 1e-7, 1.0, kCircle},
      {"1e-7 short, turning clockwise", down, turn - 1e-7, 1.0, kCircle},
      {"1e-5 short: ends the host tells apart", ON_Plane::World_xy, turn - 1e-5, 1.0, kArc},
      {"1e-6 short at 1 mm: within the resolution", ON_Plane::World_xy, turn - 1e-6, 0.001, kCircle},
      {"1e-4 short at 1 mm: beyond it", down, turn - 1e-4, 0.001, kArc},
      {"a sliver of 5e-6 at 1 mm", ON_Plane::World_xy, 5e-6, 0.001, kLine},
      {"a sliver of 1e-3", down, 1e-3, 1.0, kArc},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    NextCase();
    const ON_Arc arc(ON_Circle(c.plane, 1.0), c.sweep);
    ASSERT_TRUE(arc.IsValid());
    ASSERT_FALSE(arc.IsCircle());
    EXPECT_EQ(VLMSWON::CreateSketchArc(doc, arc, c.scale), 1);
    ASSERT_EQ(host.Operations(), std::vector<std::string>{c.op});
    const double s = c.scale;
    if (c.op == kLine) {
      ASSERT_EQ(sketch().lines.size(), 1u);
      EXPECT_EQ(sketch().lines[0].from, Scaled(arc.StartPoint(), s));
      EXPECT_EQ(sketch().lines[0].to, Scaled(arc.EndPoint(), s));
      continue;
    }
    const stand_in::SketchArc& a = sketch().arcs.at(0);
    EXPECT_EQ(a.centre, Scaled(arc.Center(), s));
    EXPECT_EQ(a.circle, c.op == kCircle);
    if (c.op == kCircle) {
      EXPECT_EQ(a.radius, s);
    } else {
      EXPECT_EQ(a.end, Scaled(arc.EndPoint(), s));
      EXPECT_EQ(a.direction, c.plane.zaxis.z > 0 ? 1 : -1);
    }
  }

  // The shape test passes the curve of such an arc as an open arc: drawn,
  // as its circle, not lost.
  NextCase();
  ON_ClassArray<ON_NurbsCurve> curves;
  curves.Append(NurbsOf(ON_Arc(ON_Circle(ON_Plane::World_xy, 1.0), turn - 1e-7)));
  ON_Arc seen;
  ASSERT_EQ(VLMCurve::IsArc(&curves[0], seen), 1);
  ASSERT_FALSE(seen.IsCircle());
  EXPECT_EQ(VLMSWON::CreateSketchCurves(doc, curves, 1.0, 0), 1);
  ASSERT_EQ(sketch().arcs.size(), 1u);
  EXPECT_TRUE(sketch().arcs[0].circle);
  EXPECT_NEAR(sketch().arcs[0].radius, 1.0, 1e-9);
}

TEST_F(SketchRoad, ARationalCurveReachesTheHostDividedByItsWeights) {
  // The half circle of radius 1 about (0, 0, 1): its middle control points
  // are (1, 1, 1) and (-1, 1, 1) once divided by their weights of cos 45.
  const ON_Plane lifted(ON_3dPoint(0, 0, 1), ON_3dVector(1, 0, 0), ON_3dVector(0, 1, 0));
  const ON_Arc half(ON_Circle(lifted, 1.0), ON_PI);
  ASSERT_TRUE(NurbsOf(half).IsRational());
  EXPECT_EQ(VLMSWON::CreateSketchSpline(doc, NurbsOf(half), 1.0), 1);
  ASSERT_EQ(sketch().splines.size(), 1u);
  const auto& spline = sketch().splines[0];
  ASSERT_EQ(spline.points.size(), 5u);
  const Point3 expected[5] = {{1, 0, 1}, {1, 1, 1}, {0, 1, 1}, {-1, 1, 1}, {-1, 0, 1}};
  for (int i = 0; i < 5; ++i) {
    EXPECT_NEAR(spline.points[i].x, expected[i].x, 1e-15) << i;
    EXPECT_NEAR(spline.points[i].y, expected[i].y, 1e-15) << i;
    EXPECT_NEAR(spline.points[i].z, expected[i].z, 1e-15) << i;
  }
  EXPECT_EQ(spline.order, 3);
  EXPECT_EQ(spline.knots, (std::vector<double>{0, 0, 0, ON_PI / 2, ON_PI / 2, ON_PI, ON_PI, ON_PI}));
  // Rational and open: not periodic.
  EXPECT_EQ(test_support::CallsOf(host, kByNurbs).at(0).args.substr(0, 14), "[3, 3, 5, 0], ");
  EXPECT_FALSE(spline.periodic);
}

TEST_F(SketchRoad, AnOpenCurveGoesWithItsWholeKnotVectorUnscaled) {
  EXPECT_EQ(VLMSWON::CreateSketchSpline(doc, ClampedCubic(), 0.01), 1);
  const auto calls = test_support::CallsOf(host, kByNurbs);
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].args.substr(0, 14), "[3, 4, 5, 0], ");
  ASSERT_EQ(sketch().splines.size(), 1u);
  const auto& spline = sketch().splines[0];
  EXPECT_TRUE(spline.nurbs);
  EXPECT_FALSE(spline.periodic);
  EXPECT_EQ(spline.knots, (std::vector<double>{0, 0, 0, 0, 1, 2, 2, 2, 2}));
  EXPECT_EQ(spline.points, (std::vector<Point3>{
                               {0, 0, 0}, {0.01, 0.02, 0}, {0.03, 0.02, 0.01}, {0.04, 0, 0.01}, {0.06, 0.01, 0.02}}));

  // A closed curve goes as points sampled along it.
  NextCase();
  const ON_NurbsCurve closed = Clamped(4, {{0, 0, 0}, {2, 0, 0}, {2, 2, 1}, {0, 2, 0}, {0, 0, 0}});
  ASSERT_TRUE(closed.IsClosed());
  EXPECT_EQ(VLMSWON::CreateSketchSpline(doc, closed, 3.0), 1);
  EXPECT_EQ(host.Operations(), std::vector<std::string>{kByPoints});
  ON_3dPointArray samples;
  VLMNurbsCurve::GetPoints(closed, samples, 15.0);
  ASSERT_EQ(sketch().splines.at(0).points.size(), static_cast<size_t>(samples.Count()));
  EXPECT_EQ(sketch().splines[0].points.back(), Scaled(samples[samples.Count() - 1], 3.0));

  // Unclamped, its end knots all differ: each end's knot is repeated once.
  NextCase();
  ON_NurbsCurve unclamped(3, false, 3, 4);
  const ON_3dPoint unclampedCvs[4] = {{0, 0, 0}, {1, 2, 0}, {3, 2, 1}, {4, 0, 1}};
  for (int i = 0; i < 4; ++i) unclamped.SetCV(i, unclampedCvs[i]);
  for (int i = 0; i < 5; ++i) unclamped.SetKnot(i, i);
  ASSERT_TRUE(unclamped.IsValid());
  ASSERT_FALSE(unclamped.IsClosed());
  EXPECT_EQ(VLMSWON::CreateSketchSpline(doc, unclamped, 1.0), 1);
  EXPECT_EQ(sketch().splines.at(0).knots, (std::vector<double>{0, 0, 1, 2, 3, 4, 4}));

  NextCase();
  host.InjectFault(kByNurbs, 1, E_FAIL);
  EXPECT_EQ(VLMSWON::CreateSketchSpline(doc, ClampedCubic(), 1.0), 0);
}

TEST_F(SketchRoad, ACurveWithoutAKnotFormNeverReachesTheHost) {
  struct Case {
    const char* name;
    std::function<void(ON_NurbsCurve&)> spoil;  // undone after the call but for "empty"
    int order, count;
  } cases[] = {
      {"empty", [](ON_NurbsCurve& c) { c.Destroy(); }, 0, 0},
      {"order 1", [](ON_NurbsCurve& c) { c.m_order = 1; }, 1, 5},
      {"fewer control points than its order", [](ON_NurbsCurve& c) { c.m_cv_count = 3; }, 4, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    NextCase();
    ON_ClassArray<ON_NurbsCurve> list;
    list.Append(ClampedCubic());
    ON_NurbsCurve& curve = list[0];
    c.spoil(curve);
    ASSERT_EQ(curve.m_order, c.order);
    ASSERT_EQ(curve.m_cv_count, c.count);
    EXPECT_EQ(VLMSWON::CreateSketchSpline(doc, curve, 1.0), 0);
    EXPECT_EQ(VLMSWON::CreateSketchCurves(doc, list, 1.0, 0), 1);
    EXPECT_TRUE(host.Operations().empty());
    if (curve.m_cv) {
      curve.m_order = 4;
      curve.m_cv_count = 5;
    }
  }
  // So an invalid arc off the XY plane draws nothing: its NURBS form stays
  // the empty curve.
  NextCase();
  const ON_Arc flat(ON_Circle(ON_Plane(ON_3dPoint(0, 0, 1), ON_3dVector(0, 0, 1)), 0.0), 1.0);
  ASSERT_FALSE(flat.IsValid());
  EXPECT_EQ(VLMSWON::CreateSketchArc(doc, flat, 1.0), 0);
  EXPECT_TRUE(host.Operations().empty());
}

namespace {

// An open rational cubic whose control points lie off XY, weights 1 to 5.
ON_NurbsCurve RationalCubic() {
  ON_NurbsCurve c(3, true, 4, 5);
  const double knots[7] = {0, 0, 0, 1, 2, 2, 2};
  for (int i = 0; i < 7; ++i) c.SetKnot(i, knots[i]);
  const ON_3dPoint cvs[5] = {{0, 0, 1}, {1, 2, 2}, {3, 2, 3}, {4, 0, 4}, {6, 1, 5}};
  for (int i = 0; i < 5; ++i) {
    const double w = 1.0 + i;
    c.SetCV(i, ON_4dPoint(cvs[i].x * w, cvs[i].y * w, cvs[i].z * w, w));
  }
  EXPECT_TRUE(c.IsValid());
  return c;
}

}  // namespace

TEST_F(SketchRoad, ACurveWhoseDataAreNotWholeNeverReachesTheHost) {
  struct Case {
    const char* name;
    std::function<void(ON_NurbsCurve&)> spoil;
  } cases[] = {
      {"a weight of 0", [](ON_NurbsCurve& c) { c.CV(2)[3] = 0.0; }},
      {"a weight that is not a number", [](ON_NurbsCurve& c) { c.CV(4)[3] = std::nan(""); }},
      {"an infinite weight", [](ON_NurbsCurve& c) { c.CV(0)[3] = HUGE_VAL; }},
      {"a count past its arrays", [](ON_NurbsCurve& c) { c.m_cv_count = 6; }},
      {"an order past its arrays", [](ON_NurbsCurve& c) { c.m_order = 5; }},
      {"a point array short of its count", [](ON_NurbsCurve& c) { c.m_cv_capacity = 19; }},
      {"a stride short of a point", [](ON_NurbsCurve& c) { c.m_cv_stride = 3; }},
      {"dimension 0, no weights", [](ON_NurbsCurve& c) { c.m_dim = c.m_is_rat = 0; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    NextCase();
    ON_ClassArray<ON_NurbsCurve> list;
    list.Append(RationalCubic());
    c.spoil(list[0]);
    EXPECT_EQ(VLMSWON::CreateSketchSpline(doc, list[0], 1.0), 0);
    EXPECT_EQ(VLMSWON::CreateSketchCurves(doc, list, 1.0, 0), 1) << "left out of the list";
    EXPECT_TRUE(host.Operations().empty());
  }

  // Whole, with two coordinates, with four (of which the host takes the
  // first three), and on memory the curve does not own (a capacity of 0:
  // its size unknown, its counts taken as they stand).
  const ON_NurbsCurve whole = RationalCubic();
  std::vector<Point3> wholePoints;
  for (int i = 0; i < 5; ++i) {
    ON_3dPoint p;
    whole.GetCV(i, p);
    wholePoints.push_back(Scaled(p, 1.0));
  }
  ON_NurbsCurve flat(2, false, 4, 5);
  for (int i = 0; i < 7; ++i) flat.SetKnot(i, whole.Knot(i));
  for (int i = 0; i < 5; ++i) flat.SetCV(i, ON_3dPoint(wholePoints[i].x, wholePoints[i].y, 7.0));
  std::vector<Point3> flatPoints = wholePoints;
  for (Point3& p : flatPoints) p.z = 0.0;
  // The homogeneous coordinates and weight read as four coordinates.
  ON_NurbsCurve four = whole;
  four.m_dim = 4;
  four.m_is_rat = 0;
  std::vector<Point3> fourPoints;
  for (int i = 0; i < 5; ++i) fourPoints.push_back({four.CV(i)[0], four.CV(i)[1], four.CV(i)[2]});
  ON_NurbsCurve borrowed = whole;
  borrowed.m_knot_capacity = borrowed.m_cv_capacity = 0;
  struct Drawn {
    const char* name;
    const ON_NurbsCurve& curve;
    const std::vector<Point3>& points;
  } drawn[] = {
      {"dimension 2", flat, flatPoints},
      {"dimension 4", four, fourPoints},
      {"memory it does not own", borrowed, wholePoints},
  };
  for (const Drawn& d : drawn) {
    SCOPED_TRACE(d.name);
    NextCase();
    EXPECT_EQ(VLMSWON::CreateSketchSpline(doc, d.curve, 1.0), 1);
    ASSERT_EQ(sketch().splines.size(), 1u);
    ASSERT_EQ(sketch().splines[0].points.size(), 5u);
    for (int i = 0; i < 5; ++i) ExpectNear(sketch().splines[0].points[i], d.points[i]);
  }
}

TEST_F(SketchRoad, TheFirstShapeTestThatAnswersOneDecides) {
  // But for the last, each curve is one that a later test, or the spline at
  // the end, would take too.
  ON_ClassArray<ON_NurbsCurve> curves;
  curves.Append(Clamped(2, {{0, 0, 0}, {4, 0, 0}}));             // line and polyline: a line
  curves.Append(Clamped(2, {{0, 0, 0}, {1, 1, 1}, {2, 2, 2}}));  // the same, three vertices on it
  curves.Append(NurbsOf(ON_Arc(ON_Circle(ON_Plane(ON_origin, ON_3dVector(0, 0, 1)), 2.0), 1.0)));  // arc, spline
  curves.Append(NurbsOf(ON_Arc(ON_Circle(ON_3dPoint(1, 1, 0), 2.0), 2 * ON_PI)));  // circle, closed spline
  curves.Append(Clamped(2, {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 1}}));         // polyline, spline
  curves.Append(ClampedCubic());
  ON_Polyline scratch;
  ASSERT_EQ(VLMCurve::IsPolyline(&curves[0], scratch), 1);
  ASSERT_EQ(VLMCurve::IsPolyline(&curves[1], scratch), 1);

  // The first line refused: the rest are still drawn.
  host.InjectFault(kLine, 1, E_FAIL);
  EXPECT_EQ(VLMSWON::CreateSketchCurves(doc, curves, 0.5, 1), 1);
  EXPECT_EQ(Steps(), (std::vector<std::string>{kLine + " x2", kArc, kCircle, kLine + " x3", kByNurbs}));
  ASSERT_EQ(sketch().lines.size(), 4u);
  EXPECT_EQ(sketch().lines[0].from, (Point3{0, 0, 0}));
  EXPECT_EQ(sketch().lines[0].to, (Point3{1, 1, 1}));
  EXPECT_EQ(sketch().lines[3].to, (Point3{0, 0.5, 0.5}));
  ASSERT_EQ(sketch().arcs.size(), 2u);
  EXPECT_TRUE(sketch().arcs[1].circle);
  ExpectNear(sketch().arcs[1].centre, {0.5, 0.5, 0});
  EXPECT_NEAR(sketch().arcs[1].radius, 1.0, 1e-12);

  EXPECT_EQ(ui.events.at(0).title, L"Creating curves");
  EXPECT_EQ(ui.EventsOf("progress.setmax").at(0).value, 6.0);
  EXPECT_EQ(ui.stepsAt, (std::vector<size_t>{0, 1, 2, 3, 4, 7})) << "each step before its curve";
  EXPECT_EQ(ProgressKinds(), (std::vector<std::string>{"progress.open", "progress.setmax", "progress.start",
                                                       "progress.step x6", "progress.end", "progress.close"}));
}

namespace {

// A flat NURBS surface whose point (u, v) is (u, v, 0): clamped uniform
// knots over the domains and control points at their Greville abscissae.
ON_NurbsSurface Flat(int order0, int order1, int count0, int count1, ON_Interval u, ON_Interval v) {
  ON_NurbsSurface s(3, false, order0, order1, count0, count1);
  const ON_Interval domains[2] = {u, v};
  for (int dir = 0; dir < 2; ++dir) {
    const int spans = s.CVCount(dir) - s.Order(dir) + 1;
    for (int k = 0; k < s.KnotCount(dir); ++k) {
      const double x = std::min(std::max(k - (s.Order(dir) - 2), 0), spans) / static_cast<double>(spans);
      s.SetKnot(dir, k, domains[dir].ParameterAt(x));
    }
  }
  auto greville = [&](int dir, int i) {
    double sum = 0;
    for (int k = 0; k < s.Order(dir) - 1; ++k) sum += s.Knot(dir, i + k);
    return sum / (s.Order(dir) - 1);
  };
  for (int i = 0; i < count0; ++i)
    for (int j = 0; j < count1; ++j) s.SetCV(i, j, ON_3dPoint(greville(0, i), greville(1, j), 0));
  EXPECT_TRUE(s.IsValid());
  return s;
}

// A surface that notes every iso-curve asked of it, and answers none (or,
// with `empty`, a curve with no NURBS form) at the values it is told to.
class NotingSurface : public ON_NurbsSurface {
 public:
  explicit NotingSurface(const ON_NurbsSurface& s) : ON_NurbsSurface(s) {}
  ON_Curve* IsoCurve(int dir, double c) const override {
    asked[dir].push_back(c);
    if (refused.count({dir, c})) return empty ? new ON_NurbsCurve() : nullptr;
    return ON_NurbsSurface::IsoCurve(dir, c);
  }
  mutable std::vector<double> asked[2];
  std::set<std::pair<int, double>> refused;
  bool empty = false;
};

}  // namespace

TEST_F(SketchRoad, IsoCurvesAtSummedStepsThenAtTheEnd) {
  const ON_Interval unit(0, 1);
  struct Case {
    const char* name;
    NotingSurface surface;
    std::vector<double> alongU;  // the values of v, in order
    std::vector<double> alongV;  // the values of u
  } cases[] = {
      {"bicubic, four by four", NotingSurface(Flat(4, 4, 4, 4, unit, unit)),
       {0, 0.25, 0.5, 0.75, 1}, {0, 0.25, 0.5, 0.75, 1}},
      {"three in u on 2 to 5", NotingSurface(Flat(2, 2, 3, 2, ON_Interval(2, 5), unit)), {0, 0.5, 1}, {2, 3, 4, 5}},
      {"ten in v", NotingSurface(Flat(2, 2, 2, 10, unit, unit)),
       {0, 0.1, 0.2, 0.30000000000000004, 0.4, 0.5, 0.6, 0.7, 0.7999999999999999, 0.8999999999999999,
        0.9999999999999999, 1.0},
       {0, 0.5, 1}},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    NextCase();
    EXPECT_EQ(VLMSWON::CreateSurfaceCurves(doc, c.surface, 2.0, 1), 1);
    EXPECT_EQ(c.surface.asked[0], c.alongU);
    EXPECT_EQ(c.surface.asked[1], c.alongV);
    // Straight iso-curves, each one host line: first along u, then along v.
    const size_t count = c.alongU.size() + c.alongV.size();
    EXPECT_EQ(Steps(), std::vector<std::string>{kLine + " x" + std::to_string(count)});
    ASSERT_EQ(sketch().lines.size(), count);
    for (size_t i = 0; i < count; ++i) {
      const stand_in::SketchLine l = sketch().lines[i];
      const bool alongU = i < c.alongU.size();
      const double value = alongU ? c.alongU[i] : c.alongV[i - c.alongU.size()];
      EXPECT_NEAR(alongU ? l.from.y : l.from.x, 2 * value, 1e-12) << i;
      EXPECT_NEAR(alongU ? l.to.y : l.to.x, 2 * value, 1e-12) << i;
    }
    EXPECT_EQ(ui.EventsOf("progress.open").at(0).title, L"Creating curves");
    EXPECT_EQ(ui.EventsOf("progress.setmax").at(0).value, static_cast<double>(count));
    EXPECT_EQ(ui.EventsOf("progress.step").size(), count);
  }

  NextCase();
  NotingSurface seven(Flat(2, 2, 7, 2, unit, unit));
  VLMSWON::CreateSurfaceCurves(doc, seven, 1.0, 0);
  ASSERT_EQ(seven.asked[1].size(), 9u);
  EXPECT_EQ(seven.asked[1][7], 0.9999999999999998);
  EXPECT_EQ(seven.asked[1][8], 1.0);
}

TEST_F(SketchRoad, AStepLostToRoundingEndsTheWalkAtTheEnd) {
  // v from 1e17 to 1e17 + 64, where doubles lie 16 apart, over thirteen
  // control points: a step of 64 / 13 adds nothing to 1e17.
  const double b = 1e17;
  ON_NurbsSurface s(3, false, 2, 4, 2, 13);
  s.SetKnot(0, 0, 0);
  s.SetKnot(0, 1, 1);
  for (int k = 0; k < 15; ++k) s.SetKnot(1, k, b + 16 * (k / 3));
  for (int i = 0; i < 2; ++i)
    for (int j = 0; j < 13; ++j) s.SetCV(i, j, ON_3dPoint(i, j, 0));
  ASSERT_TRUE(s.IsValid());
  ASSERT_EQ(b + 64.0 / 13, b);
  NotingSurface surface(s);
  EXPECT_EQ(VLMSWON::CreateSurfaceCurves(doc, surface, 1.0, 0), 1);
  EXPECT_EQ(surface.asked[0], (std::vector<double>{b, b + 64}));
}

TEST_F(SketchRoad, AValueWithoutAnIsoCurveIsSkipped) {
  for (bool empty : {false, true}) {
    SCOPED_TRACE(empty ? "a curve with no NURBS form" : "no curve");
    NextCase();
    NotingSurface surface(Flat(4, 4, 4, 4, ON_Interval(0, 1), ON_Interval(0, 1)));
    surface.refused = {{0, 0.5}, {1, 1.0}};
    surface.empty = empty;
    EXPECT_EQ(VLMSWON::CreateSurfaceCurves(doc, surface, 1.0, 0), 1);
    ASSERT_EQ(sketch().lines.size(), 8u);
    EXPECT_NEAR(sketch().lines[2].from.y, 0.75, 1e-12) << "not the curve before it again";
    EXPECT_NEAR(sketch().lines[7].from.x, 0.75, 1e-12);
  }
  // A surface whose data are not whole, an empty one or one whose count
  // runs past its arrays, is refused before its domains are read.
  for (int count : {0, 3}) {
    SCOPED_TRACE(count ? "count past its arrays" : "empty");
    NextCase();
    ON_NurbsSurface surface;
    if (count) surface = Flat(2, 2, 2, 2, ON_Interval(0, 1), ON_Interval(0, 1));
    surface.m_cv_count[0] = count;
    EXPECT_EQ(VLMSWON::CreateSurfaceCurves(doc, surface, 1.0, 1), 0);
    EXPECT_TRUE(host.Operations().empty());
    surface.m_cv_count[0] = count ? 2 : 0;
  }
}

namespace {

// A square of line edges and a quarter-arc edge on its corner.
ON_Brep SquareAndArc() {
  ON_Brep brep;
  const ON_3dPoint corners[4] = {{0, 0, 0}, {2, 0, 0}, {2, 2, 0}, {0, 2, 0}};
  for (const ON_3dPoint& p : corners) brep.NewVertex(p);
  for (int i = 0; i < 4; ++i) {
    const int c = brep.AddEdgeCurve(new ON_LineCurve(corners[i], corners[(i + 1) % 4]));
    brep.NewEdge(brep.m_V[i], brep.m_V[(i + 1) % 4], c);
  }
  const int arc = brep.AddEdgeCurve(new ON_ArcCurve(ON_Arc(ON_Circle(ON_3dPoint(0, 0, 0), 2.0), 0.5 * ON_PI)));
  brep.NewEdge(brep.m_V[1], brep.m_V[3], arc);
  return brep;
}

}  // namespace

TEST_F(SketchRoad, BrepsAsTheirEdgeCurves) {
  EXPECT_EQ(VLMSWON::CreateBrepCurves(doc, SquareAndArc(), 0.5, 0), 1);
  EXPECT_EQ(Steps(), (std::vector<std::string>{kLine + " x4", kArc}));
  EXPECT_EQ(sketch().lines[1].from, (Point3{1, 0, 0}));
  ExpectNear(sketch().arcs.at(0).end, {0, 1, 0});

  NextCase();
  EXPECT_EQ(VLMSWON::CreateBrepCurves(doc, ON_Brep(), 1.0, 1), 1);
  EXPECT_TRUE(host.Operations().empty());
}

TEST_F(SketchRoad, TheListFunctionsDriveOnlyTheirOuterProgress) {
  ON_ClassArray<ON_NurbsSurface> noSurfaces;
  EXPECT_EQ(VLMSWON::CreateSketchFromSurfaces(doc, noSurfaces, 1.0, 1), 1);
  EXPECT_EQ(ProgressKinds(), (std::vector<std::string>{"progress.open", "progress.setmax", "progress.start",
                                                       "progress.end", "progress.close"}));
  EXPECT_EQ(ui.events[0].title, L"Creating surface curves");
  EXPECT_EQ(ui.events[1].value, 0.0);

  struct Case {
    const wchar_t* title;
    std::function<int(int)> run;  // the function over three items, with this flag
    size_t linesEach;
  } cases[] = {
      {L"Creating surface curves",
       [&](int flag) {
         ON_ClassArray<ON_NurbsSurface> surfaces;
         for (int i = 0; i < 3; ++i) surfaces.Append(Flat(2, 2, 2, 2, ON_Interval(0, 1), ON_Interval(0, 1)));
         return VLMSWON::CreateSketchFromSurfaces(doc, surfaces, 1.0, flag);
       },
       6},
      {L"Creating brep curves",
       [&](int flag) {
         ON_ClassArray<ON_Brep> breps;
         for (int i = 0; i < 3; ++i) breps.Append(SquareAndArc());
         return VLMSWON::CreateSketchFromBreps(doc, breps, 1.0, flag);
       },
       5},
  };
  for (const Case& c : cases) {
    NextCase();
    EXPECT_EQ(c.run(1), 1);
    EXPECT_EQ(ProgressKinds(),
              (std::vector<std::string>{"progress.open", "progress.setmax", "progress.start", "progress.step",
                                        "progress.open", "progress.close", "progress.step", "progress.open",
                                        "progress.close", "progress.step", "progress.open", "progress.close",
                                        "progress.end", "progress.close"}));
    const auto opens = ui.EventsOf("progress.open");
    EXPECT_EQ(opens[0].title, c.title);
    for (size_t i = 1; i < opens.size(); ++i) EXPECT_EQ(opens[i].title, L"Creating curves");
    EXPECT_EQ(ui.EventsOf("progress.setmax").at(0).value, 3.0);
    const size_t n = c.linesEach;
    EXPECT_EQ(ui.stepsAt, (std::vector<size_t>{0, n, 2 * n})) << "each step before its item";
    EXPECT_EQ(host.Operations().size(), 3 * n);

    NextCase();
    EXPECT_EQ(c.run(0), 1);
    EXPECT_TRUE(ui.EventsOf("progress.setmax").empty());
    EXPECT_TRUE(ui.EventsOf("progress.step").empty());
  }
}

namespace {

using test_support::AllocationLimit;

// One call of a sketch-road function into a host of its own, every
// allocation counted or capped as `options` say. What it answered and how
// many entities the host kept.
struct Outcome {
  int result = -1;
  size_t entities = 0;
  long long allocations = 0;
  std::vector<stand_in::SketchArc> arcs;
  size_t splines = 0;
};

Outcome UnderLimit(const std::function<int(IHostDocument*)>& call, const AllocationLimit::Options& options) {
  test_support::QuietDriver ui;
  stand_in::Host host;
  host.SetRecording(false);
  Outcome run;
  {
    CComPtr<IHostPartDocument> part;
    CComPtr<IHostDocument> doc;
    EXPECT_EQ(host.Application()->NewPartDocument(&part), S_OK);
    EXPECT_EQ(part.QueryInterface(&doc), S_OK);
    doc->Toggle3DSketch(0);
    {
      AllocationLimit limit(options);
      run.result = call(doc);
      run.allocations = limit.Allocations();
    }
    const stand_in::Sketch& s = host.Documents()[0].sketches[0];
    run.entities = s.points.size() + s.lines.size() + s.arcs.size() + s.splines.size();
    run.arcs = s.arcs;
    run.splines = s.splines.size();
  }
  EXPECT_EQ(host.HeldReferences(), 0) << host.DescribeHeld();
  EXPECT_EQ(ui.opened, ui.closed);
  return run;
}

}  // namespace

// Every allocation of each function is made to fail in turn (once, and from
// there on): no exception leaves the bridge, a 0 has drawn nothing, a 1 of
// one entity has drawn it whole, and a list has drawn each item whole or
// left it out: never more entities than with memory.
TEST(SketchRoadMemory, RunningOutOfMemoryIsAZeroOrASkippedItem) {
  if (!AllocationLimit::Available()) GTEST_SKIP() << "no allocation hook under AddressSanitizer";
  const ON_NurbsCurve cubic = ClampedCubic();
  const ON_NurbsCurve closed = Clamped(4, {{0, 0, 0}, {2, 0, 0}, {2, 2, 1}, {0, 2, 0}, {0, 0, 0}});
  const ON_Arc offPlane(ON_Circle(ON_Plane(ON_3dPoint(0, 0, 1), ON_3dVector(0, 0, 1)), 1.0), 2.0);
  ON_ClassArray<ON_NurbsCurve> curves;
  curves.Append(cubic);
  curves.Append(closed);
  curves.Append(Clamped(2, {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}}));
  ON_ClassArray<ON_NurbsSurface> surfaces;
  surfaces.Append(Flat(4, 2, 4, 3, ON_Interval(0, 1), ON_Interval(0, 1)));
  ON_ClassArray<ON_Brep> breps;
  breps.Append(SquareAndArc());
  const ON_3dPointArray points = Points({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}});

  struct Case {
    const char* name;
    std::function<int(IHostDocument*)> call;
    bool list;  // of several entities
  } cases[] = {
      {"points", [&](IHostDocument* d) { return VLMSWON::CreateSketchPoints(d, points, 1.0, 1); }, true},
      {"spline through points",
       [&](IHostDocument* d) { return VLMSWON::CreateSketchSplineThroughPoints(d, points, 1.0); }, false},
      {"open spline", [&](IHostDocument* d) { return VLMSWON::CreateSketchSpline(d, cubic, 1.0); }, false},
      {"closed spline", [&](IHostDocument* d) { return VLMSWON::CreateSketchSpline(d, closed, 1.0); }, false},
      {"arc off the plane", [&](IHostDocument* d) { return VLMSWON::CreateSketchArc(d, offPlane, 1.0); }, false},
      {"curves", [&](IHostDocument* d) { return VLMSWON::CreateSketchCurves(d, curves, 1.0, 1); }, true},
      {"surface", [&](IHostDocument* d) { return VLMSWON::CreateSurfaceCurves(d, surfaces[0], 1.0, 1); }, true},
      {"surfaces", [&](IHostDocument* d) { return VLMSWON::CreateSketchFromSurfaces(d, surfaces, 1.0, 1); }, true},
      {"brep", [&](IHostDocument* d) { return VLMSWON::CreateBrepCurves(d, breps[0], 1.0, 1); }, true},
      {"breps", [&](IHostDocument* d) { return VLMSWON::CreateSketchFromBreps(d, breps, 1.0, 1); }, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Outcome whole = UnderLimit(c.call, {});
    ASSERT_EQ(whole.result, 1);
    ASSERT_GT(whole.entities, 0u);
    int zeros = 0;
    for (bool persistent : {false, true}) {
      for (long long n = 1; n <= whole.allocations; ++n) {
        SCOPED_TRACE("allocation " + std::to_string(n) + (persistent ? " and on" : " only"));
        const Outcome run = UnderLimit(c.call, persistent ? AllocationLimit::FailFrom(n) : AllocationLimit::FailOnly(n));
        if (run.result == 0) {
          ++zeros;
          EXPECT_EQ(run.entities, 0u) << "a 0 draws nothing";
        } else {
          EXPECT_EQ(run.result, 1);
          if (!c.list) {
            EXPECT_EQ(run.entities, whole.entities) << "a 1 is the whole entity";
          } else {
            EXPECT_LE(run.entities, whole.entities);
          }
        }
        if (::testing::Test::HasFailure()) return;
      }
    }
    if (!c.list) {
      EXPECT_GT(zeros, 0);
    }
  }
}

// A shape test that runs out of memory cannot tell: the curve is left out
// (or the call answers 0), not drawn as the spline on its control points, which for an arc lies off
// its circle.
TEST(SketchRoadMemory, ACurveWhoseShapeCouldNotBeToldIsLeftOut) {
  if (!AllocationLimit::Available()) GTEST_SKIP() << "no allocation hook under AddressSanitizer";
  ON_ClassArray<ON_NurbsCurve> curves;
  curves.Append(NurbsOf(ON_Arc(ON_Circle(ON_Plane::World_xy, 1.0), 0.5 * ON_PI)));
  const auto call = [&](IHostDocument* d) { return VLMSWON::CreateSketchCurves(d, curves, 1.0, 0); };
  const Outcome whole = UnderLimit(call, {});
  ASSERT_EQ(whole.entities, 1u);
  ASSERT_EQ(whole.arcs.size(), 1u);
  int leftOut = 0;
  for (long long n = 1; n <= whole.allocations; ++n) {
    SCOPED_TRACE("allocation " + std::to_string(n));
    const Outcome run = UnderLimit(call, AllocationLimit::FailOnly(n));
    EXPECT_EQ(run.splines, 0u) << "not the spline on the arc's control points";
    if (run.entities == 0) {
      if (run.result == 1) ++leftOut;  // else the call itself failed
      continue;
    }
    EXPECT_EQ(run.result, 1);
    ASSERT_EQ(run.arcs.size(), 1u);
    const stand_in::SketchArc& arc = run.arcs[0];
    EXPECT_FALSE(arc.circle);
    ExpectNear(arc.centre, {0, 0, 0});
    ExpectNear(arc.start, {1, 0, 0});
    ExpectNear(arc.end, {0, 1, 0});
    EXPECT_EQ(arc.direction, 1);
  }
  EXPECT_GT(leftOut, 0);
}
