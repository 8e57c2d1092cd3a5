// Sketch entities: each kind made and kept with its data, the refusals of
// a modeller, faults, the record of the calls, and a drawing's sheet.
#include "sketch_fixture.h"

#include "alloc_limit.h"

#include <cmath>
#include <limits>

using stand_in::Point3;

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

}  // namespace

TEST_F(SketchTest, EachKindIsKeptWithItsData) {
  const long base = host.HeldReferences();
  std::vector<CComPtr<IUnknown>> made(6);
  ASSERT_EQ(doc->CreateSketchPoint(1, -2, 0.5, &made[0]), S_OK);
  ASSERT_EQ(doc->CreateSketchCircle(1, 2, 3, 0.25, &made[1]), S_OK);
  ASSERT_EQ(doc->CreateSketchArc(0, 0, 1, 2, 0, 1, 0, -2, 1, -1, &made[2]), S_OK);
  const double through[9] = {0, 0, 0, 1, 1, 0, 2, 0, 0};
  ASSERT_EQ(doc->CreateSketchSplineByPoints(3, through, &made[3]), S_OK);
  const LONG props[4] = {3, 3, 4, 1};
  const double knots[7] = {0, 0, 0, 1, 2, 2, 2}, cps[12] = {0, 0, 0, 1, 1, 0, 2, -1, 0, 3, 0, 0};
  ASSERT_EQ(doc->CreateSketchSplineByNurbs(props, knots, cps, &made[4]), S_OK);
  ASSERT_EQ(doc->CreateSketchLine(0, 0, 0, 0, 0, 1, &made[5]), S_OK);
  for (size_t i = 0; i < made.size(); ++i) {
    ASSERT_TRUE(made[i]) << i;
    for (size_t j = 0; j < i; ++j) EXPECT_NE(made[i], made[j]) << i << " " << j;
  }

  const stand_in::Sketch& s = sketch();
  ASSERT_EQ(s.points.size(), 1u);
  EXPECT_EQ(s.points[0], (Point3{1, -2, 0.5}));
  ASSERT_EQ(s.arcs.size(), 2u);
  EXPECT_TRUE(s.arcs[0].circle);
  EXPECT_EQ(s.arcs[0].centre, (Point3{1, 2, 3}));
  EXPECT_EQ(s.arcs[0].radius, 0.25);
  EXPECT_EQ(s.arcs[0].start, (Point3{1.25, 2, 3}));
  EXPECT_EQ(s.arcs[0].end, s.arcs[0].start);
  EXPECT_FALSE(s.arcs[1].circle);
  EXPECT_EQ(s.arcs[1].start, (Point3{2, 0, 1}));
  EXPECT_EQ(s.arcs[1].end, (Point3{0, -2, 1}));
  EXPECT_EQ(s.arcs[1].radius, 2);
  EXPECT_EQ(s.arcs[1].direction, -1);
  ASSERT_EQ(s.splines.size(), 2u);
  EXPECT_FALSE(s.splines[0].nurbs);
  EXPECT_EQ(s.splines[0].points, (std::vector<Point3>{{0, 0, 0}, {1, 1, 0}, {2, 0, 0}}));
  EXPECT_TRUE(s.splines[1].nurbs);
  EXPECT_EQ(s.splines[1].order, 3);
  EXPECT_TRUE(s.splines[1].periodic);
  EXPECT_EQ(s.splines[1].knots, std::vector<double>(knots, knots + 7));
  EXPECT_EQ(s.splines[1].points, (std::vector<Point3>{{0, 0, 0}, {1, 1, 0}, {2, -1, 0}, {3, 0, 0}}));
  EXPECT_EQ(s.lines.size(), 1u);

  EXPECT_EQ(host.DescribeHeld(),
            "Part1: 2 held\nPart1 sketch 1 point 1: 1 held\nPart1 sketch 1 circle 1: 1 held\n"
            "Part1 sketch 1 arc 2: 1 held\nPart1 sketch 1 spline 1: 1 held\nPart1 sketch 1 spline 2: 1 held\n"
            "Part1 sketch 1 line 1: 1 held\n");
  made.clear();
  EXPECT_EQ(host.HeldReferences(), base);
  EXPECT_EQ(host.OverReleases(), 0);
}

// Arcs: ends at one distance from the centre within a millionth of the
// radius, either way round; a spline of two points, or closed on itself.
TEST_F(SketchTest, AcceptsWhatLiesWithinTheTolerances) {
  struct Case {
    const char* what;
    std::function<HRESULT(IUnknown**)> make;
  } cases[] = {
      {"end 5e-7 of the radius out",
       [&](IUnknown** o) { return doc->CreateSketchArc(0, 0, 0, 1, 0, 0, 0, 1 + 5e-7, 0, 1, o); }},
      {"ends 5e-7 of the radius off the plane",
       [&](IUnknown** o) { return doc->CreateSketchArc(0, 0, 0, 1, 0, 5e-7, -1, 0, -5e-7, -1, o); }},
      {"a millimetre arc at the resolution's floor",
       [&](IUnknown** o) { return doc->CreateSketchArc(0, 0, 0, 1e-3, 0, 0, 0, 1e-3 + 9e-9, 0, 1, o); }},
      {"three-quarter arc clockwise",
       [&](IUnknown** o) { return doc->CreateSketchArc(5, 5, 5, 6, 5, 5, 5, 6, 5, -1, o); }},
      {"closed spline", [&](IUnknown** o) {
         const double p[12] = {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 0, 0};
         return doc->CreateSketchSplineByPoints(4, p, o);
       }},
      {"unclamped NURBS with an inner double knot", [&](IUnknown** o) {
         const LONG props[4] = {3, 3, 5, 0};
         const double knots[8] = {0, 1, 2, 3, 3, 4, 5, 6};
         const double cps[15] = {0, 0, 0, 1, 0, 0, 2, 1, 0, 3, 0, 0, 4, 1, 1};
         return doc->CreateSketchSplineByNurbs(props, knots, cps, o);
       }},
      {"a circle at the edge of the model space",
       [&](IUnknown** o) { return doc->CreateSketchCircle(-1e9 + 1, 0, 1e9, 1, o); }},
  };
  for (const Case& c : cases) {
    CComPtr<IUnknown> out;
    EXPECT_EQ(c.make(&out), S_OK) << c.what << ": " << host.Calls().back().error;
    EXPECT_TRUE(out) << c.what;
  }
  EXPECT_EQ(EntityCount(sketch()), std::size(cases));
}

TEST_F(SketchTest, RefusesWhatAModellerRefuses) {
  const LONG nurbs[4] = {3, 3, 4, 0};
  const double knots[7] = {0, 0, 0, 1, 2, 2, 2}, cps[12] = {0, 0, 0, 1, 1, 0, 2, -1, 0, 3, 0, 0};
  auto spline = [&](std::vector<LONG> props, std::vector<double> k, std::vector<double> p) {
    return [=](IHostDocument* d, IUnknown** o) { return d->CreateSketchSplineByNurbs(props.data(), k.data(), p.data(), o); };
  };
  auto through = [](LONG count, std::vector<double> p) {
    return [=](IHostDocument* d, IUnknown** o) { return d->CreateSketchSplineByPoints(count, p.data(), o); };
  };
  auto arc = [](double cx, double cy, double cz, double sx, double sy, double sz, double ex, double ey, double ez,
                short dir) {
    return [=](IHostDocument* d, IUnknown** o) { return d->CreateSketchArc(cx, cy, cz, sx, sy, sz, ex, ey, ez, dir, o); };
  };
  auto circle = [](double cx, double cy, double cz, double r) {
    return [=](IHostDocument* d, IUnknown** o) { return d->CreateSketchCircle(cx, cy, cz, r, o); };
  };
  const std::vector<double> k(knots, knots + 7), p(cps, cps + 12);
  const std::vector<LONG> props(nurbs, nurbs + 4);
  struct Case {
    std::function<HRESULT(IHostDocument*, IUnknown**)> make;
    const char* error;
  } cases[] = {
      {[](IHostDocument* d, IUnknown** o) { return d->CreateSketchPoint(kNaN, 0, 0, o); }, "x is not a finite number"},
      {[](IHostDocument* d, IUnknown** o) { return d->CreateSketchLine(0, 0, 0, 0, kInf, 0, o); },
       "y2 is not a finite number"},
      {circle(0, 0, 0, 0), "radius is 0; a circle's radius is more than the host's resolution of 1e-08 m"},
      {circle(0, 0, 0, -1), "radius is -1;"},
      {circle(0, 0, 0, 1e-9), "radius is 1e-09;"},
      {circle(0, 0, kInf, 1), "cz is not a finite number"},
      {circle(0, 0, 0, kNaN), "radius is not a finite number"},
      {arc(0, 0, 0, 1, 0, 0, 0, 1, 0, 0), "direction is 0; it is +1 (counter-clockwise) or -1 (clockwise)"},
      {arc(0, 0, 0, 1, 0, 0, 0, 1, 0, 2), "direction is 2;"},
      {arc(0, 0, 0, 1, 0, 0, 0, 1.5, 0, 1), "the start lies 1 from the centre and the end 1.5"},
      {arc(0, 0, 0, 1, 0, 0, 0, 1 + 2e-6, 0, 1), "and the end 1.000002"},
      {arc(0, 0, 0, 1, 0, 0, 1, 0, 0, 1), "the start and end coincide"},
      {arc(0, 0, 0, 1, 0, 0, 1, 1e-7, 0, -1), "the start and end coincide"},
      {arc(0, 0, 0, 1, 0, 0.1, 0, 1, 0.1, 1), "off the centre's plane parallel to XY (z 0.1 and 0.1, centre 0)"},
      {arc(0, 0, 0, 0, 0, 0, 0, 1, 0, 1), "the start coincides with the centre"},
      {arc(0, 0, 0, 1, 0, 0, 0, kNaN, 0, 1), "ey is not a finite number"},
      {through(1, {0, 0, 0}), "count is 1; a spline has at least 2 points"},
      {through(0, {}), "count is 0;"},
      {through(-3, {}), "count is -3;"},
      {[](IHostDocument* d, IUnknown** o) { return d->CreateSketchSplineByPoints(2, nullptr, o); }, "points is null"},
      {through(2, {0, 0, 0, 1, 1, kNaN}), "point[1].z is not a finite number"},
      {through(3, {0, 0, 0, 1, 0, 0, 1, 0, 5e-9}), "point[1] and point[2] coincide"},
      {[&](IHostDocument* d, IUnknown** o) { return d->CreateSketchSplineByNurbs(nullptr, knots, cps, o); },
       "properties is null"},
      {spline({2, 3, 4, 0}, k, p), "the dimension is 2; the host takes 3"},
      {spline({3, 1, 4, 0}, k, p), "the order is 1; it is 2 to 32"},
      {spline({3, 33, 40, 0}, k, p), "the order is 33;"},
      {spline({3, 3, 2, 0}, k, p), "2 control points are fewer than the order 3"},
      {spline({3, 3, 4, 2}, k, p), "the periodic flag is 2; it is 0 or 1"},
      {[&](IHostDocument* d, IUnknown** o) { return d->CreateSketchSplineByNurbs(nurbs, nullptr, cps, o); },
       "knots is null"},
      {[&](IHostDocument* d, IUnknown** o) { return d->CreateSketchSplineByNurbs(nurbs, knots, nullptr, o); },
       "controlPoints is null"},
      {spline(props, {0, 0, 0, 1, 0.5, 2, 2}, p), "knot[4] (0.5) is less than knot[3] (1): knots do not decrease"},
      {spline(props, {0, 0, 0, kNaN, 2, 2, 2}, p), "knot[3] is not a finite number"},
      {spline(props, {0, 0, 0, 0, 2, 2, 2}, p), "the knot 0 appears more often than the order 3"},
      {spline({3, 2, 2, 0}, {0, 1, 1, 2}, {0, 0, 0, 1, 0, 0}), "the spline has no domain: knot[1] equals knot[2]"},
      {spline(props, k, {0, 0, 0, 1, 1, 0, kInf, -1, 0, 3, 0, 0}), "controlPoint[2].x is not a finite number"},
      {spline(props, k, {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1 + 1e-9}), "all control points coincide"},
      // Beyond the model space a line's length and a curve's samples
      // overflow.
      {[](IHostDocument* d, IUnknown** o) { return d->CreateSketchLine(-1e308, 0, 0, 1e308, 0, 0, o); },
       "x1 is -1e+308 m, beyond the host's model space of 1e+09 m"},
      {[](IHostDocument* d, IUnknown** o) { return d->CreateSketchLine(0, 0, 0, 0, 0, -2e9, o); }, "z2 is -2e+09 m"},
      {circle(1e308, 0, 0, 1), "cx is 1e+308 m, beyond the host's model space of 1e+09 m"},
      {circle(0, 0, 0, 2e9), "radius is 2e+09 m, beyond"},
      {arc(0, 0, 0, 0, -1e308, 0, 0, 1e308, 0, 1), "sy is -1e+308 m, beyond"},
      {through(3, {-1e308, 0, 0, 1e308, 0, 0, 1e308, 1, 0}), "point[0].x is -1e+308 m, beyond"},
      {through(2, {0, 0, 0, 0, 0, 1e9 + 1}), "point[1].z is 1000000001 m, beyond"},
      {spline({3, 2, 2, 0}, {-1e308, -1e308, 1e308, 1e308}, {0, 0, 0, 1, 0, 0}),
       "knot[0] is -1e+308, beyond the host's limit of 1e+15"},
      {spline(props, {0, 0, 0, 1, 2, 2, 2e15}, p), "knot[6] is 2e+15, beyond"},
      {spline(props, k, {0, 0, 0, 1, 1, 0, 2, -1e300, 0, 3, 0, 0}), "controlPoint[2].y is -1e+300 m, beyond"},
  };
  for (const Case& c : cases) {
    IUnknown* out = reinterpret_cast<IUnknown*>(&out);  // the host must set it to null
    EXPECT_EQ(c.make(doc, &out), E_FAIL) << c.error;
    EXPECT_EQ(out, nullptr) << c.error;
    EXPECT_NE(host.Calls().back().error.find(c.error), std::string::npos)
        << "want: " << c.error << "\ngot:  " << host.Calls().back().error;
  }
  EXPECT_EQ(EntityCount(sketch()), 0u);
  EXPECT_EQ(host.HeldReferences(), 2);  // the part and the document
}

// Every kind: a null out is E_POINTER, no open sketch E_FAIL, a planted
// fault answers for the call and draws nothing.
TEST_F(HostTest, EntityCallsNeedAnOutPointerAndAnOpenSketch) {
  OpenPart();
  for (const EntityCall& call : ValidEntityCalls()) {
    CComPtr<IUnknown> out;
    EXPECT_EQ(call.make(doc, &out), E_FAIL) << call.op;
    EXPECT_EQ(host.Calls().back().error, "no 3D sketch is open") << call.op;
  }
  ASSERT_EQ(doc->Toggle3DSketch(0), S_OK);
  for (const EntityCall& call : ValidEntityCalls()) {
    EXPECT_EQ(call.make(doc, nullptr), E_POINTER) << call.op;
  }
  EXPECT_EQ(EntityCount(model().sketches[0]), 0u);
  ASSERT_EQ(doc->Toggle3DSketch(0), S_OK);
  for (const EntityCall& call : ValidEntityCalls()) {
    CComPtr<IUnknown> out;
    EXPECT_EQ(call.make(doc, &out), E_FAIL) << call.op << ": the sketch is closed";
  }
  EXPECT_EQ(EntityCount(model().sketches[0]), 0u);
}

TEST_F(SketchTest, FaultsAnswerForTheCallAndDrawNothing) {
  for (const EntityCall& call : ValidEntityCalls()) {
    host.InjectFault(call.op, 1, E_FAIL);
    host.InjectFault(call.op, 2, S_OK);
    host.InjectFaultLeavingOutputs(call.op, 3, E_FAIL);
    host.InjectMisreport(call.op, 4, S_FALSE);
    CComPtr<IUnknown> out;
    EXPECT_EQ(call.make(doc, &out), E_FAIL) << call.op;
    EXPECT_FALSE(out);
    EXPECT_EQ(call.make(doc, &out), S_OK) << call.op;
    EXPECT_FALSE(out) << call.op << ": succeeds with a null result";
    IUnknown* kept = reinterpret_cast<IUnknown*>(&out);
    EXPECT_EQ(call.make(doc, &kept), E_FAIL) << call.op;
    EXPECT_EQ(kept, reinterpret_cast<IUnknown*>(&out)) << call.op << ": the output is left as it was";
    EXPECT_EQ(EntityCount(sketch()), 0u) << call.op;
    EXPECT_EQ(call.make(doc, &out), S_FALSE) << call.op;
    EXPECT_TRUE(out) << call.op << ": misreported, but made";
    EXPECT_EQ(EntityCount(sketch()), 1u) << call.op;
    out.Release();
    EXPECT_EQ(host.HeldReferences(), 2);
    ASSERT_EQ(doc->Toggle3DSketch(0), S_OK);
    ASSERT_EQ(doc->Toggle3DSketch(0), S_OK);
  }
}

// Out of memory at any step is E_OUTOFMEMORY, with nothing drawn and no
// view left held. The views made are kept, so each call needs a new one.
TEST_F(SketchTest, RunningOutOfMemoryDrawsNothing) {
  if (!test_support::AllocationLimit::Available()) GTEST_SKIP() << "no allocation hook under the sanitizers";
  std::vector<CComPtr<IUnknown>> made;
  for (const EntityCall& call : ValidEntityCalls()) {
    for (long long n = 1;; ++n) {
      IUnknown* out = nullptr;
      test_support::AllocationLimit limit(test_support::AllocationLimit::FailOnly(n));
      const HRESULT hr = call.make(doc, &out);
      limit.End();
      if (limit.Failures() == 0) {
        ASSERT_EQ(hr, S_OK) << call.op;
        ASSERT_TRUE(out);
        made.emplace_back().Attach(out);
        EXPECT_EQ(EntityCount(sketch()), made.size()) << call.op;
        break;
      }
      ASSERT_EQ(hr, E_OUTOFMEMORY) << call.op << ", allocation " << n;
      EXPECT_EQ(out, nullptr);
      ASSERT_EQ(EntityCount(sketch()), made.size()) << call.op << ", allocation " << n;
      ASSERT_EQ(host.HeldReferences(), 2 + static_cast<long>(made.size())) << call.op << ", allocation " << n;
    }
  }
}

TEST_F(SketchTest, CallsAreRecordedWithTheirArguments) {
  CComPtr<IUnknown> out;
  doc->CreateSketchPoint(0.5, -1, 2, &out);
  out.Release();
  doc->CreateSketchCircle(1, 2, 3, 0.125, &out);
  out.Release();
  doc->CreateSketchArc(0, 0, 0, 1, 0, 0, 0, 1, 0, -1, &out);
  out.Release();
  const double through[6] = {0, 0, 0, 1e-3, 2, 0};
  doc->CreateSketchSplineByPoints(2, through, &out);
  doc->CreateSketchSplineByPoints(-1, through, &out);  // the buffer's size is unknown
  out.Release();
  const LONG props[4] = {3, 2, 2, 1}, wrong[4] = {3, 5, 2, 0};
  const double knots[4] = {0, 0, 1, 1}, cps[6] = {0, 0, 0, 0, 0, 1};
  doc->CreateSketchSplineByNurbs(props, knots, cps, &out);
  out.Release();
  doc->CreateSketchSplineByNurbs(wrong, knots, cps, &out);
  doc->CreateSketchSplineByNurbs(nullptr, nullptr, cps, &out);

  std::vector<stand_in::Call> calls = host.Calls();
  calls.erase(calls.begin(), calls.end() - 8);
  const std::vector<std::pair<std::string, std::string>> want = {
      {"IHostDocument::CreateSketchPoint", "0.5, -1, 2"},
      {"IHostDocument::CreateSketchCircle", "1, 2, 3, 0.125"},
      {"IHostDocument::CreateSketchArc", "0, 0, 0, 1, 0, 0, 0, 1, 0, -1"},
      {"IHostDocument::CreateSketchSplineByPoints", "2, [0, 0, 0, 0.001, 2, 0]"},
      {"IHostDocument::CreateSketchSplineByPoints", "-1, [not read]"},
      {"IHostDocument::CreateSketchSplineByNurbs", "[3, 2, 2, 1], [0, 0, 1, 1], [0, 0, 0, 0, 0, 1]"},
      {"IHostDocument::CreateSketchSplineByNurbs", "[3, 5, 2, 0], [not read], [not read]"},
      {"IHostDocument::CreateSketchSplineByNurbs", "null, null, [not read]"},
  };
  for (size_t i = 0; i < want.size(); ++i) {
    EXPECT_EQ(calls[i].op, want[i].first) << i;
    EXPECT_EQ(calls[i].args, want[i].second) << i;
  }
}

TEST_F(DrawingTest, EntitiesGoOnTheSheetAndThereIsNo3DSketch) {
  EXPECT_EQ(doc->Toggle3DSketch(0), E_FAIL);
  for (const EntityCall& call : ValidEntityCalls()) {
    CComPtr<IUnknown> out;
    ASSERT_EQ(call.make(doc, &out), S_OK) << call.op;
    EXPECT_TRUE(out);
  }
  ASSERT_EQ(drawing().sketches.size(), 1u);
  const stand_in::Sketch& sheet = drawing().sketches[0];
  EXPECT_EQ(sheet.lines.size(), 1u);
  EXPECT_EQ(sheet.points.size(), 1u);
  EXPECT_EQ(sheet.arcs.size(), 2u);
  EXPECT_EQ(sheet.splines.size(), 2u);

  std::vector<stand_in::Call> calls = state.recorder.Render();
  EXPECT_EQ(calls.front().op, "IHostDocument::Toggle3DSketch");
  EXPECT_EQ(calls.front().error, "a drawing has no 3D sketch");
  CComPtr<IUnknown> held;
  ASSERT_EQ(doc->CreateSketchCircle(0, 0, 0, 1, &held), S_OK);
  bool labelled = false;
  for (const auto& object : state.objects)
    if (object->Outside() > 0 && object->Label() == "Drawing1 sheet circle 3") labelled = true;
  EXPECT_TRUE(labelled) << "the entity is named by the sheet it lies on";
}

TEST_F(DrawingTest, ADrawingWithoutItsSheetTakesNothing) {
  state.documents.front().sketches.clear();
  CComPtr<IUnknown> out;
  EXPECT_EQ(doc->CreateSketchPoint(0, 0, 0, &out), E_FAIL);
  EXPECT_EQ(state.recorder.Render().back().error, "the drawing has no sheet");
}
