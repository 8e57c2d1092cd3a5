// The curve read-back against sketches given as raw records: the record
// layouts, the arc rules, and records that do not add up.
#include <gtest/gtest.h>

#include <atlbase.h>

#include "VLMSWON.h"
#include "alloc_limit.h"
#include "fail_each_allocation.h"
#include "stand_in/host.h"

#include <cmath>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace {

// A sketch that hands out the records a test wrote, as a host would.
class RecordSketch final : public IHostSketch {
 public:
  std::vector<double> lines, arcs, splines, polylines;
  LONG lineCount = 0, arcCount = 0, splineCount = 0, polylineCount = 0;
  LONG splineSize = -1, polylineSize = -1;  // -1: the records' own size

  // Makes the call of this name do nothing and answer `result`.
  void Fail(const std::string& call, HRESULT result) {
    failing = call;
    failure = result;
  }

  STDMETHODIMP QueryInterface(REFIID, void** object) override {
    *object = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return 1; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }
  STDMETHODIMP LineCount(LONG* count) override {
    if (failing == "LineCount") return failure;
    return *count = lineCount, S_OK;
  }
  STDMETHODIMP LineData(double* data) override {
    if (failing == "LineData") return failure;
    return Copy(lines, data);
  }
  STDMETHODIMP ArcCount(LONG* count) override {
    if (failing == "ArcCount") return failure;
    return *count = arcCount, S_OK;
  }
  STDMETHODIMP ArcData(double* data) override {
    if (failing == "ArcData") return failure;
    return Copy(arcs, data);
  }
  STDMETHODIMP SplineDataSize(LONG* size, LONG* count) override {
    if (failing == "SplineDataSize") return failure;
    *size = splineSize < 0 ? static_cast<LONG>(splines.size()) : splineSize;
    *count = splineCount;
    return S_OK;
  }
  STDMETHODIMP SplineData(double* data) override {
    if (failing == "SplineData") return failure;
    const size_t size = splineSize < 0 ? splines.size() : static_cast<size_t>(splineSize);
    std::copy(splines.begin(), splines.begin() + static_cast<long>(std::min(size, splines.size())), data);
    return S_OK;
  }
  STDMETHODIMP PolylineDataSize(LONG* size, LONG* count) override {
    if (failing == "PolylineDataSize") return failure;
    *size = polylineSize < 0 ? static_cast<LONG>(polylines.size()) : polylineSize;
    *count = polylineCount;
    return S_OK;
  }
  STDMETHODIMP PolylineData(double* data) override {
    if (failing == "PolylineData") return failure;
    const size_t size = polylineSize < 0 ? polylines.size() : static_cast<size_t>(polylineSize);
    std::copy(polylines.begin(), polylines.begin() + static_cast<long>(std::min(size, polylines.size())), data);
    return S_OK;
  }

  void AddLine(ON_3dPoint from, ON_3dPoint to) {
    Append(lines, {0, 0, 0, 0, 0, 0, from.x, from.y, from.z, to.x, to.y, to.z});
    ++lineCount;
  }
  void AddArc(ON_3dPoint start, ON_3dPoint end, ON_3dPoint centre, double direction) {
    Append(arcs, {0, 0, 0, 0, 0, 0, start.x, start.y, start.z, end.x, end.y, end.z, centre.x, centre.y, centre.z,
                  direction});
    ++arcCount;
  }
  void AddSpline(const std::vector<ON_3dPoint>& points) {
    Append(splines, {0, 0, 0, 0, 0, 0, static_cast<double>(points.size())});
    for (const ON_3dPoint& p : points) Append(splines, {p.x, p.y, p.z});
    ++splineCount;
  }
  // k values the reader skips, then the point count at 8 + k.
  void AddPolyline(const std::vector<ON_3dPoint>& points, int k = 0) {
    Append(polylines, {0, static_cast<double>(k)});
    for (int i = 0; i < k + 6; ++i) polylines.push_back(-7.0);
    polylines.push_back(static_cast<double>(points.size()));
    for (const ON_3dPoint& p : points) Append(polylines, {p.x, p.y, p.z});
    ++polylineCount;
  }

 private:
  std::string failing;
  HRESULT failure = S_OK;

  static HRESULT Copy(const std::vector<double>& from, double* to) {
    std::copy(from.begin(), from.end(), to);
    return S_OK;
  }
  static void Append(std::vector<double>& to, std::initializer_list<double> values) {
    to.insert(to.end(), values.begin(), values.end());
  }
};

void ExpectPoint(const ON_3dPoint& actual, const ON_3dPoint& expected, double tolerance = 1e-12) {
  EXPECT_NEAR(actual.x, expected.x, tolerance);
  EXPECT_NEAR(actual.y, expected.y, tolerance);
  EXPECT_NEAR(actual.z, expected.z, tolerance);
}

TEST(SketchLinesReadBack, LinesFromTheirRecordsAndNoneEmptiesTheArray) {
  RecordSketch sketch;
  ON_ClassArray<ON_Line> lines;
  lines.Append(ON_Line(ON_3dPoint(9, 9, 9), ON_3dPoint(8, 8, 8)));
  EXPECT_EQ(VLMSWON::GetSketchLines(&sketch, lines), 0);
  EXPECT_EQ(lines.Count(), 0);

  sketch.AddLine({1, 2, 3}, {4, 5, 6});
  sketch.AddLine({-1, 0, 0.5}, {0, 0, 0});
  ASSERT_EQ(VLMSWON::GetSketchLines(&sketch, lines), 1);
  ASSERT_EQ(lines.Count(), 2);
  ExpectPoint(lines[0].from, {1, 2, 3});
  ExpectPoint(lines[0].to, {4, 5, 6});
  ExpectPoint(lines[1].from, {-1, 0, 0.5});
}

// Each arc must run from its start to its end through the half of the
// circle its direction names: `through` is a point of the arc's own side.
struct ArcCase {
  const char* name;
  ON_3dPoint start, end;
  double direction;
  ON_3dPoint through;
  double sweep;
};

TEST(SketchArcsReadBack, EachArcRunsThroughItsOwnSideOfTheCircle) {
  const double s = std::sqrt(0.5), d = 1e-10, c = std::sqrt(1 - d * d);
  const ArcCase cases[] = {
      {"quarter counter-clockwise", {1, 0, 0}, {0, 1, 0}, 1.0, {s, s, 0}, ON_PI / 2},
      {"quarter clockwise", {1, 0, 0}, {0, -1, 0}, -1.0, {s, -s, 0}, ON_PI / 2},
      {"three quarters clockwise", {1, 0, 0}, {0, 1, 0}, -1.0, {-s, -s, 0}, 1.5 * ON_PI},
      {"three quarters counter-clockwise", {1, 0, 0}, {0, -1, 0}, 1.0, {-s, s, 0}, 1.5 * ON_PI},
      {"half clockwise", {1, 0, 0}, {-1, 0, 0}, -1.0, {0, -1, 0}, ON_PI},
      {"half counter-clockwise", {1, 0, 0}, {-1, 0, 0}, 1.0, {0, 1, 0}, ON_PI},
      {"direction 0 is counter-clockwise", {1, 0, 0}, {0, 1, 0}, 0.0, {s, s, 0}, ON_PI / 2},
      // Ends a hair from opposite: the frame through them cannot be trusted.
      {"just under half counter-clockwise", {1, 0, 0}, {-c, d, 0}, 1.0, {0, 1, 0}, ON_PI},
      {"just over half clockwise", {1, 0, 0}, {-c, d, 0}, -1.0, {0, -1, 0}, ON_PI},
      {"just over half counter-clockwise", {1, 0, 0}, {-c, -d, 0}, 1.0, {0, 1, 0}, ON_PI},
      {"just under half clockwise", {1, 0, 0}, {-c, -d, 0}, -1.0, {0, -1, 0}, ON_PI},
  };
  for (const ArcCase& c : cases) {
    SCOPED_TRACE(c.name);
    RecordSketch sketch;
    const ON_3dPoint centre(2, 3, 0.25);
    const ON_3dVector offset(centre);
    sketch.AddArc(c.start + offset, c.end + offset, centre, c.direction);
    ON_ClassArray<ON_Arc> arcs;
    ASSERT_EQ(VLMSWON::GetSketchArcs(&sketch, arcs), 1);
    ASSERT_EQ(arcs.Count(), 1);
    const ON_Arc& arc = arcs[0];
    EXPECT_NEAR(arc.Radius(), 1.0, 1e-12);
    EXPECT_NEAR(std::fabs(arc.AngleRadians()), c.sweep, 1e-9);
    ExpectPoint(arc.Center(), centre);
    // Whichever way the arc is parametrised, its ends are the record's and
    // its middle lies on the named side.
    const ON_3dPoint a = arc.StartPoint(), b = arc.EndPoint();
    const bool forward = a.DistanceTo(c.start + offset) < 1e-9;
    ExpectPoint(forward ? a : b, c.start + offset, 1e-9);
    ExpectPoint(forward ? b : a, c.end + offset, 1e-9);
    const ON_3dPoint middle = arc.MidPoint();
    const ON_3dVector side = middle - centre;
    const ON_3dVector expectedSide(c.through);
    // The middle is on the far side of the chord from the other half.
    const ON_3dVector chordMiddle = (ON_3dVector(c.start) + ON_3dVector(c.end)) * 0.5;
    EXPECT_GT((side - chordMiddle) * (expectedSide - chordMiddle), 0.0) << "middle at " << side.x << ", " << side.y;
  }
}

TEST(SketchArcsReadBack, StartAndEndTogetherMakeAFullCircleParallelToXy) {
  for (double direction : {-1.0, 1.0}) {
    RecordSketch sketch;
    sketch.AddArc({3, 0, 1}, {3, 0.00009, 1}, {1, 0, 1}, direction);
    ON_ClassArray<ON_Arc> arcs;
    ASSERT_EQ(VLMSWON::GetSketchArcs(&sketch, arcs), 1);
    EXPECT_TRUE(arcs[0].IsCircle());
    EXPECT_NEAR(arcs[0].Radius(), 2.0, 1e-12);
    EXPECT_NEAR(std::fabs(arcs[0].Normal().z), 1.0, 1e-12);
    ExpectPoint(arcs[0].Center(), {1, 0, 1});
    // On the plane made from the normal +Z: it starts at centre + r * x.
    ExpectPoint(arcs[0].StartPoint(), {3, 0, 1}, 1e-12);
  }
  // Just past the closeness that makes a circle, the record is an arc.
  RecordSketch apart;
  apart.AddArc({3, 0, 1}, {3, 0.00011, 1}, {1, 0, 1}, 1.0);
  ON_ClassArray<ON_Arc> arcs;
  ASSERT_EQ(VLMSWON::GetSketchArcs(&apart, arcs), 1);
  EXPECT_FALSE(arcs[0].IsCircle());
}

TEST(SketchArcsReadBack, ArcsAreAppendedAfterWhatTheArrayHolds) {
  RecordSketch sketch;
  sketch.AddArc({1, 0, 0}, {0, 1, 0}, {0, 0, 0}, 1.0);
  ON_ClassArray<ON_Arc> arcs;
  arcs.Append(ON_Arc(ON_Circle(ON_3dPoint(5, 5, 5), 1.0), ON_PI));
  arcs.Append(ON_Arc(ON_Circle(ON_3dPoint(6, 6, 6), 1.0), ON_PI));
  ASSERT_EQ(VLMSWON::GetSketchArcs(&sketch, arcs), 1);
  ASSERT_EQ(arcs.Count(), 3);
  ExpectPoint(arcs[0].Center(), {5, 5, 5});
  ExpectPoint(arcs[2].Center(), {0, 0, 0});

  RecordSketch none;
  EXPECT_EQ(VLMSWON::GetSketchArcs(&none, arcs), 0);
  EXPECT_EQ(arcs.Count(), 3);
}

TEST(SketchSplinesReadBack, PointsBecomeAClampedQuadraticSpacedOne) {
  RecordSketch sketch;
  sketch.AddSpline({{0, 0, 0}, {1, 2, 0}, {3, 2, 1}, {4, 0, 0}});
  sketch.AddSpline({{0, 0, 0}, {1, 1, 1}});  // two points: the straight curve
  sketch.AddSpline({{5, 5, 5}});             // one point: no curve
  sketch.AddSpline({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}});
  ON_ClassArray<ON_NurbsCurve> splines;
  ASSERT_EQ(VLMSWON::GetSketchSplines(&sketch, splines), 1);
  ASSERT_EQ(splines.Count(), 3);

  const ON_NurbsCurve& first = splines[0];
  EXPECT_EQ(first.Order(), 3);
  ASSERT_EQ(first.CVCount(), 4);
  const double knots[] = {0, 0, 1, 2, 2};
  ASSERT_EQ(first.KnotCount(), 5);
  for (int i = 0; i < 5; ++i) EXPECT_DOUBLE_EQ(first.Knot(i), knots[i]);
  ON_3dPoint cv;
  first.GetCV(2, cv);
  ExpectPoint(cv, {3, 2, 1});

  EXPECT_EQ(splines[1].Order(), 2);
  ExpectPoint(splines[1].PointAtEnd(), {1, 1, 1});
  EXPECT_EQ(splines[2].CVCount(), 3);
}

TEST(SketchSplinesReadBack, RecordsRunningPastTheReportedSizeGiveNothing) {
  RecordSketch sketch;
  sketch.AddSpline({{0, 0, 0}, {1, 2, 0}, {3, 2, 1}});
  sketch.AddSpline({{0, 0, 0}, {1, 2, 0}, {3, 2, 1}});
  sketch.splineSize = static_cast<LONG>(sketch.splines.size()) - 1;
  ON_ClassArray<ON_NurbsCurve> splines;
  splines.Append(ON_NurbsCurve());
  EXPECT_EQ(VLMSWON::GetSketchSplines(&sketch, splines), 0);
  EXPECT_EQ(splines.Count(), 0);

  RecordSketch hostile;
  hostile.AddSpline({{0, 0, 0}, {1, 2, 0}, {3, 2, 1}});
  hostile.splines[6] = 1e300;  // a count no buffer holds
  EXPECT_EQ(VLMSWON::GetSketchSplines(&hostile, splines), 0);
}

TEST(SketchPolylinesReadBack, TheCountStandsAfterKSkippedValues) {
  RecordSketch sketch;
  sketch.AddPolyline({{1, 2, 3}, {4, 5, 6}}, 3);
  sketch.AddPolyline({}, 0);
  sketch.AddPolyline({{7, 8, 9}}, 1);
  ASSERT_EQ(sketch.polylines[11], 2.0);  // k = 3: the count at 11, the first point at 12
  ON_ClassArray<ON_Polyline> polylines;
  ASSERT_EQ(VLMSWON::GetSketchPolylines(&sketch, polylines), 1);
  ASSERT_EQ(polylines.Count(), 3);
  ASSERT_EQ(polylines[0].Count(), 2);
  ExpectPoint(polylines[0][0], {1, 2, 3});
  ExpectPoint(polylines[0][1], {4, 5, 6});
  EXPECT_EQ(polylines[1].Count(), 0);
  ExpectPoint(polylines[2][0], {7, 8, 9});
}

TEST(SketchPolylinesReadBack, AFailedDataCallOrBrokenRecordsGiveNothing) {
  RecordSketch failing;
  failing.AddPolyline({{1, 2, 3}, {4, 5, 6}});
  failing.Fail("PolylineData", S_FALSE);
  ON_ClassArray<ON_Polyline> polylines;
  EXPECT_EQ(VLMSWON::GetSketchPolylines(&failing, polylines), 0);
  EXPECT_EQ(polylines.Count(), 0);

  RecordSketch broken;
  broken.AddPolyline({{1, 2, 3}, {4, 5, 6}}, 2);
  broken.polylines[1] = 40.0;  // k past the data
  EXPECT_EQ(VLMSWON::GetSketchPolylines(&broken, polylines), 0);
  EXPECT_EQ(polylines.Count(), 0);
}

// Counts the curves alive, to see that the array owns what it holds.
struct CountedLine : ON_LineCurve {
  static int alive;
  CountedLine() { ++alive; }
  ~CountedLine() override { --alive; }
};
int CountedLine::alive = 0;

TEST(SketchCurvesReadBack, KindsInOrderAndEarlierCurvesDeleted) {
  RecordSketch sketch;
  sketch.AddArc({1, 0, 0}, {1, 0, 0}, {0, 0, 0}, 1.0);
  sketch.AddLine({0, 0, 0}, {1, 0, 0});
  sketch.AddLine({1, 0, 0}, {1, 1, 0});
  sketch.AddPolyline({{0, 0, 0}, {0, 1, 0}, {0, 1, 1}});
  ON_CurveArray curves;
  curves.Append(new CountedLine);
  ASSERT_EQ(CountedLine::alive, 1);
  ASSERT_EQ(VLMSWON::GetSketchCurves(&sketch, curves), 1);
  EXPECT_EQ(CountedLine::alive, 0);
  ASSERT_EQ(curves.Count(), 4);
  EXPECT_NE(ON_LineCurve::Cast(curves[0]), nullptr);
  EXPECT_NE(ON_LineCurve::Cast(curves[1]), nullptr);
  EXPECT_NE(ON_PolylineCurve::Cast(curves[2]), nullptr);
  EXPECT_NE(ON_ArcCurve::Cast(curves[3]), nullptr);
  ExpectPoint(curves[1]->PointAtEnd(), {1, 1, 0});

  RecordSketch empty;
  curves.Append(new CountedLine);
  EXPECT_EQ(VLMSWON::GetSketchCurves(&empty, curves), 1);
  EXPECT_EQ(curves.Count(), 0);
  EXPECT_EQ(CountedLine::alive, 0);
}

// Broken records of one kind take nothing from the other kinds.
TEST(SketchCurvesReadBack, BrokenRecordsOfOneKindLeaveTheOthers) {
  struct Case {
    const char* what;
    bool brokenSplines;
  } const cases[] = {{"splines past the size", true}, {"polylines past the size", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RecordSketch sketch;
    sketch.AddLine({0, 0, 0}, {1, 0, 0});
    sketch.AddPolyline({{0, 0, 0}, {0, 1, 0}});
    sketch.AddSpline({{0, 0, 0}, {1, 2, 0}, {3, 2, 1}});
    sketch.AddArc({1, 0, 0}, {1, 0, 0}, {0, 0, 0}, 1.0);
    if (c.brokenSplines)
      sketch.splines[6] = 40.0;
    else
      sketch.polylines[8] = 40.0;
    ON_CurveArray curves;
    ASSERT_EQ(VLMSWON::GetSketchCurves(&sketch, curves), 1);
    ASSERT_EQ(curves.Count(), 3);
    EXPECT_NE(ON_LineCurve::Cast(curves[0]), nullptr);
    if (c.brokenSplines)
      EXPECT_NE(ON_PolylineCurve::Cast(curves[1]), nullptr);
    else
      EXPECT_NE(ON_NurbsCurve::Cast(curves[1]), nullptr);
    EXPECT_NE(ON_ArcCurve::Cast(curves[2]), nullptr);
  }
}

// What a read gave, as text, to tell a whole read from a partial one.
void Put(std::ostream& out, const ON_3dPoint& p) { out << '(' << p.x << ' ' << p.y << ' ' << p.z << ')'; }
void Put(std::ostream& out, const ON_Line& line) {
  Put(out, line.from);
  Put(out, line.to);
}
void Put(std::ostream& out, const ON_Arc& arc) {
  Put(out, arc.Center());
  out << arc.Radius() << ' ' << arc.AngleRadians();
}
void Put(std::ostream& out, const ON_NurbsCurve& curve) {
  out << "order " << curve.Order();
  for (int i = 0; i < curve.CVCount(); ++i) {
    ON_3dPoint cv;
    curve.GetCV(i, cv);
    Put(out, cv);
  }
}
void Put(std::ostream& out, const ON_Polyline& polyline) {
  for (int i = 0; i < polyline.Count(); ++i) Put(out, polyline[i]);
}
void Put(std::ostream& out, const ON_Curve* curve) {
  if (const ON_NurbsCurve* nurbs = ON_NurbsCurve::Cast(curve)) return Put(out, *nurbs);
  out << (ON_LineCurve::Cast(curve) ? "line " : ON_PolylineCurve::Cast(curve) ? "polyline " : "arc ");
  Put(out, curve->PointAtStart());
  Put(out, curve->PointAtEnd());
}
template <class Items>
std::string Describe(const Items& items) {
  std::ostringstream out;
  out << items.Count() << ':';
  for (int i = 0; i < items.Count(); ++i) {
    out << ' ';
    Put(out, items[i]);
  }
  return out.str();
}

// Two lines, two polylines, three spline records (one of a single point,
// which makes no curve) and two arcs: two curves of each kind.
void AddEveryKind(RecordSketch& sketch) {
  sketch.AddLine({0, 0, 0}, {1, 0, 0});
  sketch.AddLine({1, 0, 0}, {1, 1, 0});
  sketch.AddPolyline({{0, 0, 0}, {0, 1, 0}, {0, 1, 1}}, 2);
  sketch.AddPolyline({{5, 0, 0}, {6, 0, 0}});
  sketch.AddSpline({{0, 0, 0}, {1, 2, 0}, {3, 2, 1}, {4, 0, 0}});
  sketch.AddSpline({{7, 7, 7}});
  sketch.AddSpline({{0, 0, 1}, {1, 1, 1}});
  sketch.AddArc({1, 0, 0}, {0, 1, 0}, {0, 0, 0}, 1.0);
  sketch.AddArc({3, 0, 1}, {3, 0, 1}, {1, 0, 1}, -1.0);
}
constexpr int kCurvesOfEachKind = 2, kEveryKindCurves = 4 * kCurvesOfEachKind;

// Runs `read` into `output`, made afresh by `preset` each time, failing each
// of its allocations in turn: each run gives the whole result, or answers 0
// and leaves the output empty, or as `preset` made it when it `keeps` that.
template <class Output, class Preset, class Read>
void ExpectWholeOrFailed(Output& output, Preset&& preset, Read&& read, bool keeps) {
  preset(output);
  const std::string failed = keeps ? Describe(output) : "0:";
  std::string whole;
  long long failures = 0;
  const long long total = test_support::FailEachAllocation(
      [&] { preset(output); }, [&] { return read(output); },
      [&](int result, long long n) {
        const std::string got = Describe(output);
        if (n == 0) {
          EXPECT_EQ(result, 1);
          whole = got;
        } else if (result == 1) {
          EXPECT_EQ(got, whole) << "a read answered whole when allocation " << n << " failed";
        } else {
          EXPECT_EQ(result, 0) << "allocation " << n;
          EXPECT_EQ(got, failed) << "allocation " << n;
          ++failures;
        }
      });
  EXPECT_GT(total, 0);
  EXPECT_GT(failures, 0) << "no allocation of the read could fail it";
}

// The preset of each reader: what a failed read must leave.
void OneLine(ON_ClassArray<ON_Line>& lines) {
  lines.Destroy();
  lines.Append(ON_Line(ON_3dPoint(9, 9, 9), ON_3dPoint(8, 8, 8)));
}
void OneArc(ON_ClassArray<ON_Arc>& arcs) {
  arcs.Destroy();
  arcs.Append(ON_Arc(ON_Circle(ON_3dPoint(5, 5, 5), 1.0), ON_PI));
}
void OneSpline(ON_ClassArray<ON_NurbsCurve>& splines) {
  splines.Destroy();
  splines.AppendNew();
}
void OnePolyline(ON_ClassArray<ON_Polyline>& polylines) {
  polylines.Destroy();
  polylines.AppendNew().Append(ON_3dPoint(9, 9, 9));
}
void OneCurve(ON_CurveArray& curves) {
  curves.Destroy();
  curves.Append(new ON_LineCurve(ON_Line(ON_3dPoint(9, 9, 9), ON_3dPoint(8, 8, 8))));
}

// Out of memory anywhere in a read, a spline's own curve among it, fails
// the read: no path answers 1 with a record missing. Arcs keep what the
// array held; every other output is emptied. `fresh` gives the sketch of
// each run, made outside the limit.
template <class Fresh>
void ExpectEachReaderWholeOrFailed(Fresh&& fresh, bool hasPolylines = true) {
  IHostSketch* sketch = nullptr;
  auto preset = [&](auto one) {
    return [&, one](auto& out) {
      sketch = fresh();
      one(out);
    };
  };
  {
    SCOPED_TRACE("GetSketchLines");
    ON_ClassArray<ON_Line> lines;
    ExpectWholeOrFailed(lines, preset(OneLine), [&](auto& out) { return VLMSWON::GetSketchLines(sketch, out); },
                        false);
  }
  {
    SCOPED_TRACE("GetSketchArcs");
    ON_ClassArray<ON_Arc> arcs;
    ExpectWholeOrFailed(arcs, preset(OneArc), [&](auto& out) { return VLMSWON::GetSketchArcs(sketch, out); }, true);
  }
  {
    SCOPED_TRACE("GetSketchSplines");
    ON_ClassArray<ON_NurbsCurve> splines;
    ExpectWholeOrFailed(splines, preset(OneSpline),
                        [&](auto& out) { return VLMSWON::GetSketchSplines(sketch, out); }, false);
  }
  if (hasPolylines) {
    SCOPED_TRACE("GetSketchPolylines");
    ON_ClassArray<ON_Polyline> polylines;
    ExpectWholeOrFailed(polylines, preset(OnePolyline),
                        [&](auto& out) { return VLMSWON::GetSketchPolylines(sketch, out); }, false);
  }
  {
    SCOPED_TRACE("GetSketchCurves");
    ON_CurveArray curves;
    ExpectWholeOrFailed(curves, preset(OneCurve), [&](auto& out) { return VLMSWON::GetSketchCurves(sketch, out); },
                        false);
  }
}

// A stand-in host's part whose one sketch holds a line, an arc, a circle
// and a spline through points (it keeps no polylines). Built with the
// recorder off, so that the calls of a read are the first it records and
// allocates for.
struct HostSketch {
  stand_in::Host host;
  CComPtr<IHostPartDocument> part;
  CComPtr<IHostDocument> document;
  CComPtr<IHostSketch> sketch;

  HostSketch() {
    host.SetRecording(false);
    EXPECT_EQ(host.Application()->NewPartDocument(&part), S_OK);
    EXPECT_EQ(part.QueryInterface(&document), S_OK);
    EXPECT_EQ(document->Toggle3DSketch(0), S_OK);
    CComPtr<IUnknown> out;
    auto made = [&](HRESULT hr) {
      EXPECT_EQ(hr, S_OK);
      out.Release();
    };
    made(document->CreateSketchLine(0, 0, 0, 3, 4, 0, &out));
    made(document->CreateSketchArc(0, 0, 1, 2, 0, 1, 0, -2, 1, -1, &out));
    made(document->CreateSketchCircle(1, 2, 3, 0.5, &out));
    const double through[9] = {0, 0, 0, 1, 1, 0, 2, 0, 0};
    made(document->CreateSketchSplineByPoints(3, through, &out));
    EXPECT_EQ(document->Toggle3DSketch(0), S_OK);
    EXPECT_EQ(document->GetSketch(0, &sketch), S_OK);
    host.SetRecording(true);
  }
  ~HostSketch() {
    sketch.Release();
    document.Release();
    part.Release();
    EXPECT_EQ(host.HeldReferences(), 0) << host.DescribeHeld();
  }
};

class SketchReadBackMemory : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!test_support::AllocationLimit::Available()) GTEST_SKIP() << "no allocation hook in this build";
  }
};

TEST_F(SketchReadBackMemory, EachReaderIsWholeOrFailsWhereverMemoryRunsOut) {
  RecordSketch sketch;
  AddEveryKind(sketch);
  ExpectEachReaderWholeOrFailed([&] { return &sketch; });
}

// The host's own allocations fail too: its count and data calls then answer
// E_OUTOFMEMORY, which fails the read as the reader's own would.
TEST_F(SketchReadBackMemory, TheHostRunningOutOfMemoryFailsTheRead) {
  std::optional<HostSketch> made;
  ExpectEachReaderWholeOrFailed([&]() -> IHostSketch* {
    made.reset();
    made.emplace();
    return made->sketch;
  }, false);
}

// The stand-in host answering E_OUTOFMEMORY to a call of the read.
TEST(SketchReadBackHostFaults, TheHostOutOfMemoryInAnyCallFailsTheRead) {
  for (const char* call : {"IHostSketch::LineCount", "IHostSketch::LineData", "IHostSketch::PolylineDataSize",
                           "IHostSketch::SplineDataSize", "IHostSketch::SplineData", "IHostSketch::ArcCount",
                           "IHostSketch::ArcData"}) {
    SCOPED_TRACE(call);
    HostSketch made;
    ON_CurveArray curves;
    ASSERT_EQ(VLMSWON::GetSketchCurves(made.sketch, curves), 1);
    ASSERT_EQ(curves.Count(), 4);
    made.host.InjectFault(call, 1, E_OUTOFMEMORY);
    EXPECT_EQ(VLMSWON::GetSketchCurves(made.sketch, curves), 0);
    EXPECT_EQ(curves.Count(), 0);
  }
}

// E_OUTOFMEMORY from any call of a read fails the read; any other failure
// of a call loses that kind alone, as a sketch without it would.
TEST(SketchReadBackHostFaults, OutOfMemoryFailsTheReadOtherFailuresLoseTheKind) {
  enum Kind { kLines, kArcs, kSplines, kPolylines };
  const struct {
    const char* call;
    Kind kind;
  } calls[] = {
      {"LineCount", kLines},          {"LineData", kLines},         {"ArcCount", kArcs},
      {"ArcData", kArcs},             {"SplineDataSize", kSplines}, {"SplineData", kSplines},
      {"PolylineDataSize", kPolylines}, {"PolylineData", kPolylines},
  };
  // The kind's own reader, from one element held: its answer and count.
  auto readKind = [](RecordSketch& sketch, Kind kind) -> std::pair<int, int> {
    switch (kind) {
      case kLines: {
        ON_ClassArray<ON_Line> lines;
        OneLine(lines);
        return {VLMSWON::GetSketchLines(&sketch, lines), lines.Count()};
      }
      case kArcs: {
        ON_ClassArray<ON_Arc> arcs;
        OneArc(arcs);
        return {VLMSWON::GetSketchArcs(&sketch, arcs), arcs.Count()};
      }
      case kSplines: {
        ON_ClassArray<ON_NurbsCurve> splines;
        OneSpline(splines);
        return {VLMSWON::GetSketchSplines(&sketch, splines), splines.Count()};
      }
      case kPolylines: {
        ON_ClassArray<ON_Polyline> polylines;
        OnePolyline(polylines);
        return {VLMSWON::GetSketchPolylines(&sketch, polylines), polylines.Count()};
      }
    }
    return {-1, -1};
  };
  for (const auto& c : calls) {
    for (HRESULT failure : {E_OUTOFMEMORY, E_FAIL}) {
      SCOPED_TRACE(std::string(c.call) + (failure == E_OUTOFMEMORY ? " out of memory" : " failing"));
      RecordSketch sketch;
      AddEveryKind(sketch);
      sketch.Fail(c.call, failure);
      ON_CurveArray curves;
      OneCurve(curves);
      const int result = VLMSWON::GetSketchCurves(&sketch, curves);
      const std::pair<int, int> own = readKind(sketch, c.kind);
      EXPECT_EQ(own.first, 0);
      EXPECT_EQ(own.second, c.kind == kArcs ? 1 : 0) << "arcs keep what the array held, the others are emptied";
      if (failure == E_OUTOFMEMORY) {
        EXPECT_EQ(result, 0);
        EXPECT_EQ(curves.Count(), 0);
      } else {
        EXPECT_EQ(result, 1);
        EXPECT_EQ(curves.Count(), kEveryKindCurves - kCurvesOfEachKind);
      }
    }
  }
}

}  // namespace

namespace {

// Lines, a circle and arcs drawn by the sketch road come back as they went.
TEST(SketchCurvesRoundTrip, DrawnCurvesReadBackAsTheSameGeometry) {
  stand_in::Host host;
  CComPtr<IHostPartDocument> part;
  ASSERT_EQ(host.Application()->NewPartDocument(&part), S_OK);
  CComPtr<IHostDocument> document;
  ASSERT_EQ(part.QueryInterface(&document), S_OK);
  ASSERT_EQ(document->Toggle3DSketch(0), S_OK);

  const double scale = 0.001;
  const ON_Line line(ON_3dPoint(1, 2, 3), ON_3dPoint(4, -5, 6));
  const ON_Circle circle(ON_3dPoint(10, 20, 0), 5);
  const ON_Arc counter(ON_Circle(ON_3dPoint(-3, 0, 0), 2), 0.75 * ON_PI);
  ON_Plane flipped(ON_3dPoint(7, 7, 0), ON_3dVector(0, 0, -1));
  const ON_Arc clockwise(ON_Circle(flipped, 4), 1.25 * ON_PI);
  ON_ClassArray<ON_NurbsCurve> curves;
  ON_NurbsCurve nurbs;
  ASSERT_EQ(ON_LineCurve(line).GetNurbForm(nurbs), 1);
  curves.Append(nurbs);
  for (const ON_Arc& arc : {ON_Arc(circle, 2 * ON_PI), counter, clockwise}) {
    ASSERT_NE(arc.GetNurbForm(nurbs), 0);
    curves.Append(nurbs);
  }
  ASSERT_EQ(VLMSWON::CreateSketchCurves(document, curves, scale, 0), 1);
  ASSERT_EQ(document->Toggle3DSketch(0), S_OK);

  CComPtr<IHostSketch> sketch;
  ASSERT_EQ(document->GetSketch(0, &sketch), S_OK);
  ON_CurveArray back;
  ASSERT_EQ(VLMSWON::GetSketchCurves(sketch, back), 1);
  ASSERT_EQ(back.Count(), 4);  // the line, then the three arcs

  const ON_LineCurve* readLine = ON_LineCurve::Cast(back[0]);
  ASSERT_NE(readLine, nullptr);
  ExpectPoint(readLine->m_line.from, line.from * scale, 1e-15);
  ExpectPoint(readLine->m_line.to, line.to * scale, 1e-15);

  const ON_Arc* drawn[3] = {nullptr, &counter, &clockwise};
  for (int i = 1; i < 4; ++i) {
    SCOPED_TRACE(i);
    const ON_ArcCurve* read = ON_ArcCurve::Cast(back[i]);
    ASSERT_NE(read, nullptr);
    const ON_Arc& arc = read->m_arc;
    if (i == 1) {
      EXPECT_TRUE(arc.IsCircle());
      ExpectPoint(arc.Center(), circle.Center() * scale, 1e-12);
      EXPECT_NEAR(arc.Radius(), 5 * scale, 1e-12);
      continue;
    }
    const ON_Arc& want = *drawn[i - 1];
    ExpectPoint(arc.Center(), want.Center() * scale, 1e-12);
    EXPECT_NEAR(arc.Radius(), want.Radius() * scale, 1e-12);
    EXPECT_NEAR(arc.AngleRadians(), want.AngleRadians(), 1e-9);
    // The same points: the drawn arc's middle is on the read one.
    const ON_3dPoint middle = want.MidPoint() * scale;
    const ON_3dPoint a = arc.StartPoint(), b = arc.EndPoint(), m = arc.MidPoint();
    const bool forward = a.DistanceTo(want.StartPoint() * scale) < 1e-9;
    ExpectPoint(forward ? a : b, want.StartPoint() * scale, 1e-9);
    ExpectPoint(forward ? b : a, want.EndPoint() * scale, 1e-9);
    ExpectPoint(m, middle, 1e-9);
  }
  sketch.Release();
  document.Release();
  part.Release();
  EXPECT_EQ(host.HeldReferences(), 0) << host.DescribeHeld();
}

}  // namespace
