#include <gtest/gtest.h>

#include <atlbase.h>

#include "VLMSWON.h"
#include "host_args.h"
#include "host_calls.h"
#include "stand_in/host.h"
#include "stand_in/ui.h"
#include "surfaces.h"

#include <cmath>
#include <cstdlib>
#include <functional>
#include <limits>
#include <string>
#include <vector>

namespace {

using test_support::Args;
using test_support::CallsOf;
using test_support::LineCurve;
using test_support::Loop;
using test_support::Patch;

const std::string kNewBody = "IHostPartDocument::NewBody";
const std::string kBSpline = "IHostBody::CreateBSplineSurface";
const std::string kPlane = "IHostBody::CreatePlaneSurface";
const std::string kLoop = "IHostSurface::AddTrimmingLoop";
const std::string kTrimmed = "IHostBody::CreateTrimmedSurface";
const std::string kBounded = "IHostBody::CreateBoundedSurface";
const std::string kSew = "IHostBody::CreateBodyFromSurfaces";

// The corners of a surface over the rectangle [0, 4] x [0, 3], u along +X
// and v along +Y, at four different heights: (0, 0, 0), (4, 0, 1), (0, 3, 2)
// and (4, 3, 3).
ON_NurbsSurface SlopedPatch() {
  return Patch(2, 2, 2, 2, [](int i, int j) { return ON_3dPoint(4.0 * i, 3.0 * j, i + 2.0 * j); });
}

// A bicubic patch over [0, 3] x [0, 2] with a bump in the middle.
ON_NurbsSurface BicubicPatch() {
  return Patch(4, 4, 4, 4, [](int i, int j) {
    const bool inner = i > 0 && i < 3 && j > 0 && j < 3;
    return ON_3dPoint(i, 2.0 * j / 3.0, inner ? 1.0 : 0.25 * i);
  });
}

// A surface of a class of its own: neither a plane nor a NURBS surface.
class OtherSurface : public ON_Surface {
 public:
  int Dimension() const override { return 3; }
  bool IsValid(ON_TextLog*) const override { return true; }
  bool GetBBox(double*, double*, bool) const override { return false; }
  bool Transform(const ON_Xform&) override { return true; }
  ON_Interval Domain(int) const override { return ON_Interval(0, 1); }
  ON_3dPoint PointAt(double u, double v) const override { return ON_3dPoint(u, v, u * v); }
  ON_Curve* IsoCurve(int, double) const override { return nullptr; }
};

class SurfaceRoad : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(app->NewPartDocument(&part), S_OK);
    ASSERT_EQ(part->NewBody(&body), S_OK);
    host.ClearCalls();
  }
  void TearDown() override {
    body.Release();
    part.Release();
    EXPECT_EQ(host.HeldReferences(), 0) << host.DescribeHeld();
    EXPECT_EQ(host.OverReleases(), 0);
    EXPECT_EQ(host.UseAfterRelease(), 0) << host.DescribeUseAfterRelease();
  }
  std::vector<stand_in::Call> Calls(const std::string& op) const { return CallsOf(host, op); }

  stand_in::ui::ScriptedDriver ui;
  stand_in::Host host;
  IHostApplication* app = host.Application();
  CComPtr<IHostPartDocument> part;
  CComPtr<IHostBody> body;
};

}  // namespace

TEST_F(SurfaceRoad, NurbsSurfaceArraysKeepOrdersUBeforeVAndCountsVBeforeU) {
  struct Case {
    const char* name;
    ON_NurbsSurface surface;
    std::vector<double> properties, uKnots, vKnots;
  } cases[] = {
      {"clamped bicubic 4 x 4", Patch(4, 4, 4, 4, [](int i, int j) { return ON_3dPoint(i, j, 0); }),
       {4, 4, 4, 4, 0, 0, 3, 0}, {0, 0, 0, 0, 1, 1, 1, 1}, {0, 0, 0, 0, 1, 1, 1, 1}},
      {"order 2 by 3 with 3 by 5 points", Patch(2, 3, 3, 5, [](int i, int j) { return ON_3dPoint(i, j, 0); }),
       {2, 3, 5, 3, 0, 0, 3, 0}, {0, 0, 1, 2, 2}, {0, 0, 0, 1, 2, 3, 3, 3}},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    host.ClearCalls();
    CComPtr<IHostSurface> made;
    ASSERT_EQ(VLMSWON::CreateNurbsSurface(body, &made, c.surface, 1.0), 1);
    EXPECT_TRUE(made);
    const auto calls = Calls(kBSpline);
    ASSERT_EQ(calls.size(), 1u);
    const auto args = Args(calls[0].args);
    ASSERT_EQ(args.size(), 4u);
    EXPECT_EQ(args[0], c.properties);
    EXPECT_EQ(args[1], c.uKnots);
    EXPECT_EQ(args[2], c.vKnots);
    // Control point (i, j) sits at (i, j, 0): the u index runs fastest.
    std::vector<double> points;
    for (int j = 0; j < c.surface.CVCount(1); ++j)
      for (int i = 0; i < c.surface.CVCount(0); ++i) points.insert(points.end(), {double(i), double(j), 0.0});
    EXPECT_EQ(args[3], points);
  }
}

TEST_F(SurfaceRoad, ARationalSurfaceGivesItsPointsDividedByTheirWeights) {
  ON_NurbsSurface surface(3, true, 2, 2, 2, 2);
  for (int d = 0; d < 2; ++d) surface.MakeClampedUniformKnotVector(d, 1.0);
  const double w[2][2] = {{1, 2}, {4, 0.5}};
  for (int i = 0; i < 2; ++i)
    for (int j = 0; j < 2; ++j)
      surface.SetCV(i, j, ON_4dPoint(i * w[i][j], j * w[i][j], 8 * w[i][j], w[i][j]));
  CComPtr<IHostSurface> made;
  ASSERT_EQ(VLMSWON::CreateNurbsSurface(body, &made, surface, 1.0), 1);
  const auto args = Args(Calls(kBSpline).at(0).args);
  EXPECT_EQ(args[0], (std::vector<double>{2, 2, 2, 2, 0, 0, 3, 0}));
  EXPECT_EQ(args[3], (std::vector<double>{0, 0, 8, 1, 0, 8, 0, 1, 8, 1, 1, 8}));
}

TEST_F(SurfaceRoad, APeriodicDirectionOrCurveIsFlaggedWhereItStands) {
  // Order 3 on the uniform knots 0 to 5 over five control points whose
  // last two repeat the first two: periodic.
  const double periodicKnots[6] = {0, 1, 2, 3, 4, 5};
  const ON_3dPoint ring[5] = {{0, 0, 0}, {2, 0, 0}, {1, 2, 0}, {0, 0, 0}, {2, 0, 0}};
  struct Case {
    const char* name;
    int periodicDir;
    std::vector<double> properties;
  } cases[] = {
      {"periodic in u", 0, {3, 2, 2, 5, 1, 0, 3, 0}},
      {"periodic in v", 1, {2, 3, 5, 2, 0, 1, 3, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const int p = c.periodicDir, q = 1 - p;
    ON_NurbsSurface surface(3, false, p == 0 ? 3 : 2, p == 0 ? 2 : 3, p == 0 ? 5 : 2, p == 0 ? 2 : 5);
    for (int k = 0; k < 6; ++k) surface.SetKnot(p, k, periodicKnots[k]);
    surface.SetKnot(q, 0, 0);
    surface.SetKnot(q, 1, 1);
    for (int i = 0; i < 5; ++i)
      for (int j = 0; j < 2; ++j) {
        const ON_3dPoint cv = ring[i] + ON_3dVector(0, 0, j);
        p == 0 ? surface.SetCV(i, j, cv) : surface.SetCV(j, i, cv);
      }
    ASSERT_TRUE(surface.IsPeriodic(p));
    ASSERT_FALSE(surface.IsPeriodic(q));
    host.ClearCalls();
    CComPtr<IHostSurface> made;
    VLMSWON::CreateNurbsSurface(body, &made, surface, 1.0);
    EXPECT_EQ(Args(Calls(kBSpline).at(0).args).at(0), c.properties);
  }

  // A loop of a periodic curve after a straight one: the flags by curve.
  ON_NurbsCurve periodic(3, false, 3, 5);
  for (int k = 0; k < 6; ++k) periodic.SetKnot(k, periodicKnots[k]);
  for (int i = 0; i < 5; ++i) periodic.SetCV(i, ring[i]);
  ASSERT_TRUE(periodic.IsPeriodic());
  CComPtr<IHostSurface> made;
  ASSERT_EQ(VLMSWON::CreatePlaneSurface(body, &made, ON_PlaneSurface(ON_Plane::World_xy), 1.0), 1);
  host.ClearCalls();
  VLMSWON::AddTrimmingLoops(made, Loop({LineCurve({0, 0, 0}, {1, 0, 0}), periodic}), 1.0);
  const auto args = Args(Calls(kLoop).at(0).args);
  EXPECT_EQ(args.at(3), (std::vector<double>{0, 1}));
  EXPECT_EQ(args.at(6), (std::vector<double>{0, 0, 1, 1, 0, 0, 1, 2, 3, 4, 5, 5}));
}

TEST_F(SurfaceRoad, TheScaleReachesPointsButNotKnotsNormalsOrRanges) {
  const double s = 0.001;
  // A B-spline surface: points scaled, knots not.
  ON_NurbsSurface surface = Patch(2, 3, 3, 5, [](int i, int j) { return ON_3dPoint(i, j, 7); });
  CComPtr<IHostSurface> made;
  ASSERT_EQ(VLMSWON::CreateNurbsSurface(body, &made, surface, s), 1);
  auto args = Args(Calls(kBSpline).at(0).args);
  EXPECT_EQ(args[1], (std::vector<double>{0, 0, 1, 2, 2}));
  EXPECT_EQ(args[3][3], 1 * s);
  EXPECT_EQ(args[3][5], 7 * s);
  made.Release();

  // A plane: the root point scaled, the normal not.
  ON_PlaneSurface plane(ON_Plane(ON_3dPoint(10, 20, 30), ON_3dVector(0, 0, 5)));
  ASSERT_EQ(VLMSWON::CreatePlaneSurface(body, &made, plane, s), 1);
  args = Args(Calls(kPlane).at(0).args);
  EXPECT_EQ(args[0], (std::vector<double>{10 * s, 20 * s, 30 * s}));
  EXPECT_EQ(args[1], (std::vector<double>{0, 0, 1}));

  // A trimming loop: control points scaled, knots not.
  const auto triangle = Loop({LineCurve({10, 20, 30}, {1000, 20, 30}), LineCurve({1000, 20, 30}, {10, 900, 30}),
                              LineCurve({10, 900, 30}, {10, 20, 30})});
  ASSERT_EQ(VLMSWON::AddTrimmingLoops(made, triangle, s), 1);
  args = Args(Calls(kLoop).at(0).args);
  EXPECT_EQ(args[6], (std::vector<double>{0, 0, 1, 1, 0, 0, 1, 1, 0, 0, 1, 1}));
  EXPECT_EQ(args[7], (std::vector<double>{10 * s, 20 * s, 30 * s, 1000 * s, 20 * s, 30 * s, 1000 * s, 20 * s,
                                          30 * s, 10 * s, 900 * s, 30 * s, 10 * s, 900 * s, 30 * s, 10 * s, 20 * s,
                                          30 * s}));
  made.Release();

  // A bounded surface: the range is the domain, unscaled.
  const ON_ClassArray<ON_NurbsCurve> none;
  ASSERT_EQ(VLMSWON::CreateTrimmedSurface(body, surface, none, s), 1);
  args = Args(Calls(kBounded).at(0).args);
  EXPECT_EQ(args, (std::vector<std::vector<double>>{{1}, {1}, {0, 2, 0, 3}}));
}

TEST_F(SurfaceRoad, ALoopGivesPerCurveArraysAndAllKnotsAndPointsCurveAfterCurve) {
  CComPtr<IHostSurface> made;
  ON_PlaneSurface plane(ON_Plane(ON_3dPoint(0, 0, 0), ON_3dVector(0, 0, 1)));
  ASSERT_EQ(VLMSWON::CreatePlaneSurface(body, &made, plane, 1.0), 1);

  // Four straight lines round a square.
  const auto square = Loop({LineCurve({0, 0, 0}, {2, 0, 0}), LineCurve({2, 0, 0}, {2, 2, 0}),
                            LineCurve({2, 2, 0}, {0, 2, 0}), LineCurve({0, 2, 0}, {0, 0, 0})});
  ASSERT_EQ(VLMSWON::AddTrimmingLoops(made, square, 1.0), 1);
  // A closed polygon as one curve of order 2 with five points.
  ON_NurbsCurve polygon(3, false, 2, 5);
  const ON_3dPoint corners[5] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {0, 0, 0}};
  for (int i = 0; i < 5; ++i) polygon.SetCV(i, corners[i]);
  for (int i = 0; i < 5; ++i) polygon.SetKnot(i, i);
  made.Release();  // the host takes one loop per plane
  ASSERT_EQ(VLMSWON::CreatePlaneSurface(body, &made, plane, 1.0), 1);
  ASSERT_EQ(VLMSWON::AddTrimmingLoops(made, Loop({polygon}), 1.0), 1);

  const auto calls = Calls(kLoop);
  ASSERT_EQ(calls.size(), 2u);
  auto args = Args(calls[0].args);
  ASSERT_EQ(args.size(), 9u);
  EXPECT_EQ(args[0], std::vector<double>{4});
  EXPECT_EQ(args[1], (std::vector<double>{2, 2, 2, 2}));
  EXPECT_EQ(args[2], (std::vector<double>{-3, 3, 3, 3}));
  EXPECT_EQ(args[3], (std::vector<double>{0, 0, 0, 0}));
  EXPECT_EQ(args[4], (std::vector<double>{4, 4, 4, 4}));
  EXPECT_EQ(args[5], (std::vector<double>{2, 2, 2, 2}));
  EXPECT_EQ(args[6], (std::vector<double>{0, 0, 1, 1, 0, 0, 1, 1, 0, 0, 1, 1, 0, 0, 1, 1}));
  EXPECT_EQ(args[7], (std::vector<double>{0, 0, 0, 2, 0, 0, 2, 0, 0, 2, 2, 0, 2, 2, 0, 0, 2, 0, 0, 2, 0, 0, 0, 0}));
  EXPECT_EQ(calls[0].args.substr(calls[0].args.size() - 4), "null");

  args = Args(calls[1].args);
  EXPECT_EQ(args[0], std::vector<double>{1});
  EXPECT_EQ(args[2], std::vector<double>{-3});
  EXPECT_EQ(args[4], std::vector<double>{7});
  EXPECT_EQ(args[6], (std::vector<double>{0, 0, 1, 2, 3, 4, 4}));
}

TEST_F(SurfaceRoad, AFaceIsTrimmedByItsCurvesOrBoundedByItsDomain) {
  const auto square = Loop({LineCurve({0, 0, 0}, {2, 0, 0}), LineCurve({2, 0, 0}, {2, 2, 0}),
                            LineCurve({2, 2, 0}, {0, 2, 0}), LineCurve({0, 2, 0}, {0, 0, 0})});
  const ON_ClassArray<ON_NurbsCurve> none;
  const ON_PlaneSurface plane(ON_Plane(ON_3dPoint(0, 0, 0), ON_3dVector(0, 0, 1)));
  const ON_ClippingPlaneSurface clipping(ON_Plane(ON_3dPoint(0, 0, 0), ON_3dVector(0, 0, 1)));
  const ON_NurbsSurface nurbs = Patch(2, 2, 2, 2, [](int i, int j) { return ON_3dPoint(2.0 * i, 2.0 * j, 0); });
  // The host trims planes and bounds B-spline surfaces, as a modeller may;
  // the other two ways are refused by the host, not by the bridge.
  struct Case {
    const char* name;
    const ON_Surface& surface;
    const ON_ClassArray<ON_NurbsCurve>& curves;
    std::vector<std::string> ops;
    const wchar_t* refusal;  // null: made
  } cases[] = {
      {"plane, trimmed", plane, square, {kPlane, kLoop, kTrimmed}, nullptr},
      {"a class derived from the plane surface", clipping, square, {kPlane, kLoop, kTrimmed}, nullptr},
      {"nurbs, bounded", nurbs, none, {kBSpline, kBounded}, nullptr},
      {"plane, bounded", plane, none, {kPlane, kBounded}, L"Unable to create bounded surface"},
      {"nurbs, trimmed", nurbs, square, {kBSpline, kLoop}, L"Unable to add trimming loop"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    host.ClearCalls();
    VLMSWON::SetError(L"before");
    EXPECT_EQ(VLMSWON::CreateTrimmedSurface(body, c.surface, c.curves, 1.0), c.refusal ? 0 : 1);
    EXPECT_EQ(host.Operations(), c.ops);
    EXPECT_EQ(VLMSWON::GetError(), c.refusal ? c.refusal : L"before");
    EXPECT_EQ(host.HeldReferences(), 2) << "only the fixture's part and body: " << host.DescribeHeld();
  }
  // What was made: three faces on the body, which sew into a sheet.
  CComPtr<IHostBody> sewn;
  ASSERT_EQ(body->CreateBodyFromSurfaces(&sewn), S_OK);
  EXPECT_EQ(stand_in::FaceCount(host.Documents().at(0).bodies.at(0)), 3u);
}

TEST_F(SurfaceRoad, EveryHostCallButSOkFailsTheFaceWithItsTextAndReleasesTheSurface) {
  const auto square = Loop({LineCurve({0, 0, 0}, {2, 0, 0}), LineCurve({2, 0, 0}, {2, 2, 0}),
                            LineCurve({2, 2, 0}, {0, 2, 0}), LineCurve({0, 2, 0}, {0, 0, 0})});
  const ON_ClassArray<ON_NurbsCurve> none;
  const ON_PlaneSurface plane(ON_Plane(ON_3dPoint(0, 0, 0), ON_3dVector(0, 0, 1)));
  const ON_NurbsSurface nurbs = Patch(2, 2, 2, 2, [](int i, int j) { return ON_3dPoint(2.0 * i, 2.0 * j, 0); });
  enum Kind { kFail, kMisreport };
  struct Case {
    const std::string& op;
    HRESULT hr;
    Kind kind;
    bool planar, trimmed;
    const wchar_t* text;
    size_t calls;  // host calls made, the failing one included
  } cases[] = {
      {kBSpline, E_FAIL, kFail, false, true, L"Unable to create nurbs surface", 1},
      {kBSpline, S_FALSE, kFail, false, false, L"Unable to create nurbs surface", 1},
      {kBSpline, S_FALSE, kMisreport, false, true, L"Unable to create nurbs surface", 1},
      {kBSpline, S_OK, kFail, false, true, L"Unable to create valid nurbs surface", 1},
      {kPlane, E_FAIL, kFail, true, false, L"Unable to create plane surface", 1},
      {kPlane, S_FALSE, kMisreport, true, true, L"Unable to create plane surface", 1},
      {kPlane, S_OK, kFail, true, true, L"Unable to create valid plane surface", 1},
      {kLoop, E_FAIL, kFail, true, true, L"Unable to add trimming loop", 2},
      {kLoop, S_FALSE, kMisreport, true, true, L"Unable to add trimming loop", 2},
      {kTrimmed, E_FAIL, kFail, true, true, L"Unable to create trimmed surface", 3},
      {kTrimmed, S_FALSE, kMisreport, true, true, L"Unable to create trimmed surface", 3},
      {kTrimmed, S_OK, kFail, true, true, L"Unable to create trimmed surface", 3},  // S_OK with VARIANT_FALSE
      {kBounded, E_FAIL, kFail, false, false, L"Unable to create bounded surface", 2},
      {kBounded, S_FALSE, kMisreport, false, false, L"Unable to create bounded surface", 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.op + (c.kind == kMisreport ? " misreported as " : " failing with ") + std::to_string(c.hr));
    host.ClearCalls();
    host.ClearFaults();
    if (c.kind == kFail)
      host.InjectFault(c.op, 1, c.hr);
    else
      host.InjectMisreport(c.op, 1, c.hr);
    VLMSWON::SetError(L"before");
    const ON_Surface& surface = c.planar ? static_cast<const ON_Surface&>(plane) : nurbs;
    EXPECT_EQ(VLMSWON::CreateTrimmedSurface(body, surface, c.trimmed ? square : none, 1.0), 0);
    EXPECT_EQ(VLMSWON::GetError(), c.text);
    EXPECT_EQ(host.Operations().size(), c.calls) << "nothing after the failing call";
    EXPECT_EQ(host.HeldReferences(), 2) << host.DescribeHeld();
  }
}

TEST_F(SurfaceRoad, WhatCannotBecomeAFaceIsRefusedBeforeTheHostSeesIt) {
  const auto square = Loop({LineCurve({0, 0, 0}, {2, 0, 0}), LineCurve({2, 0, 0}, {2, 2, 0}),
                            LineCurve({2, 2, 0}, {0, 2, 0}), LineCurve({0, 2, 0}, {0, 0, 0})});
  const ON_ClassArray<ON_NurbsCurve> none;

  // A surface that is neither a plane nor a NURBS surface: trimming or
  // bounding would act on whichever surface the body made last.
  const OtherSurface other;
  for (const auto* curves : {&square, &none}) {
    EXPECT_EQ(VLMSWON::CreateTrimmedSurface(body, other, *curves, 1.0), 0);
    EXPECT_EQ(VLMSWON::GetError(), L"Unable to create surface: it is neither a plane nor a nurbs surface");
  }

  // A NURBS surface or loop curve whose knots or points could not be read.
  ON_NurbsSurface flat = Patch(2, 2, 2, 2, [](int i, int j) { return ON_3dPoint(i, j, 0); });
  flat.m_order[1] = 3;  // more than its 2 points
  EXPECT_EQ(VLMSWON::CreateTrimmedSurface(body, flat, none, 1.0), 0);
  EXPECT_EQ(VLMSWON::GetError(), L"Unable to create nurbs surface: orders 2 and 3 with 2 by 2 control points");
  EXPECT_TRUE(host.Operations().empty());

  CComPtr<IHostSurface> made;
  ON_PlaneSurface plane(ON_Plane(ON_3dPoint(0, 0, 0), ON_3dVector(0, 0, 1)));
  ASSERT_EQ(VLMSWON::CreatePlaneSurface(body, &made, plane, 1.0), 1);
  host.ClearCalls();
  EXPECT_EQ(VLMSWON::AddTrimmingLoops(made, none, 1.0), 0);
  EXPECT_EQ(VLMSWON::GetError(), L"Unable to add trimming loop: the loop has no curve");
  auto broken = square;
  broken[2] = ON_NurbsCurve();
  EXPECT_EQ(VLMSWON::AddTrimmingLoops(made, broken, 1.0), 0);
  EXPECT_EQ(VLMSWON::GetError(), L"Unable to add trimming loop: curve 2 has order 0 and 0 control points");

  EXPECT_TRUE(host.Operations().empty());
}

namespace {

// A rational bilinear patch over [0, 1] x [0, 1], its weights 1 to 4.
ON_NurbsSurface RationalPatch() {
  ON_NurbsSurface surface(3, true, 2, 2, 2, 2);
  for (int d = 0; d < 2; ++d) surface.MakeClampedUniformKnotVector(d, 1.0);
  for (int i = 0; i < 2; ++i)
    for (int j = 0; j < 2; ++j) {
      const double w = 1.0 + i + 2 * j;
      surface.SetCV(i, j, ON_4dPoint(i * w, j * w, 0, w));
    }
  return surface;
}

}  // namespace

TEST_F(SurfaceRoad, ASurfaceOrCurveWhoseDataAreNotWholeIsRefusedBeforeAnyArrayIsRead) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct Case {
    const char* name;
    std::function<void(ON_NurbsSurface&)> spoil;
    const wchar_t* why;
  } cases[] = {
      // Two control points in u, three by its count: its knots and points
      // would be read past their arrays.
      {"a u count past its arrays", [](ON_NurbsSurface& s) { s.m_cv_count[0] = 3; },
       L"a u knot array of 2 values for 3 knots"},
      {"a v order past its arrays", [](ON_NurbsSurface& s) { s.m_order[1] = 3; s.m_cv_count[1] = 3; },
       L"a v knot array of 2 values for 4 knots"},
      {"no u knots", [](ON_NurbsSurface& s) { std::free(s.m_knot[0]); s.m_knot[0] = nullptr; }, L"no u knot array"},
      {"dimension 0", [](ON_NurbsSurface& s) { s.m_dim = 0; }, L"dimension 0"},
      {"a point array short of its counts", [](ON_NurbsSurface& s) { s.m_cv_capacity = 15; },
       L"a control-point array of 15 values for 16"},
      {"rows that overlap", [](ON_NurbsSurface& s) { s.m_cv_stride[0] = 4; },
       L"control-point strides of 4 and 4 for 2 by 2 points of 4 values"},
      {"a stride short of a point", [](ON_NurbsSurface& s) { s.m_cv_stride[1] = 3; },
       L"control-point strides of 8 and 3 for 2 by 2 points of 4 values"},
      {"a weight of 0", [](ON_NurbsSurface& s) { s.CV(1, 0)[3] = 0.0; }, L"a weight of 0 at control point (1, 0)"},
      {"a weight that is not a number", [nan](ON_NurbsSurface& s) { s.CV(0, 1)[3] = nan; },
       L"a weight of nan at control point (0, 1)"},
      {"an infinite weight", [](ON_NurbsSurface& s) { s.CV(1, 1)[3] = HUGE_VAL; },
       L"a weight of inf at control point (1, 1)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    host.ClearCalls();
    ON_NurbsSurface surface = RationalPatch();
    c.spoil(surface);
    CComPtr<IHostSurface> made;
    EXPECT_EQ(VLMSWON::CreateNurbsSurface(body, &made, surface, 1.0), 0);
    EXPECT_EQ(VLMSWON::GetError(), CString(L"Unable to create nurbs surface: ") + c.why);
    EXPECT_FALSE(made);
    EXPECT_EQ(VLMSWON::CreateBoxedSolidFromSurface(body, surface, 1.0, 1, 1.0), 0);
    if (surface.m_dim == 3) {  // else it is refused as not three-dimensional first
      EXPECT_EQ(VLMSWON::GetError(), CString(L"Unable to close the solid under the surface: ") + c.why);
    }
    EXPECT_TRUE(host.Operations().empty());
  }
  // Memory the surface does not own (a capacity of 0) is of a size it does
  // not know: its counts are taken as they stand.
  host.ClearCalls();
  ON_NurbsSurface borrowed = RationalPatch();
  borrowed.m_cv_capacity = borrowed.m_knot_capacity[0] = borrowed.m_knot_capacity[1] = 0;
  const ON_ClassArray<ON_NurbsCurve> none;
  EXPECT_EQ(VLMSWON::CreateTrimmedSurface(body, borrowed, none, 1.0), 1);
  EXPECT_EQ(host.Operations(), (std::vector<std::string>{kBSpline, kBounded}));

  // A loop curve the same way.
  CComPtr<IHostSurface> made;
  ON_PlaneSurface plane(ON_Plane(ON_3dPoint(0, 0, 0), ON_3dVector(1, 0, 0), ON_3dVector(0, 1, 0)));
  ASSERT_EQ(VLMSWON::CreatePlaneSurface(body, &made, plane, 1.0), 1);
  host.ClearCalls();
  ON_NurbsCurve arc;
  ASSERT_NE(ON_Arc(ON_Circle(ON_Plane::World_xy, 1.0), 0.5 * ON_PI).GetNurbForm(arc), 0);
  ASSERT_TRUE(arc.IsRational());
  auto loop = Loop({LineCurve({0, 1, 0}, {0, 0, 0}), LineCurve({0, 0, 0}, {1, 0, 0}), arc});
  loop[2].CV(1)[3] = 0.0;
  EXPECT_EQ(VLMSWON::AddTrimmingLoops(made, loop, 1.0), 0);
  EXPECT_EQ(VLMSWON::GetError(), L"Unable to add trimming loop: curve 2 has a weight of 0 at control point 1");
  loop[2] = arc;
  loop[1].m_cv_count = 3;
  EXPECT_EQ(VLMSWON::AddTrimmingLoops(made, loop, 1.0), 0);
  EXPECT_EQ(VLMSWON::GetError(), L"Unable to add trimming loop: curve 1 has a knot array of 2 values for 3 knots");
  loop[1].m_cv_count = 2;
  EXPECT_TRUE(host.Operations().empty());
}

namespace {

// The faces of a boxed solid as the host was asked for them: for each
// surface made, its root point and normal (a plane) or its control points
// (a B-spline), with the control points of the loop that trimmed it.
struct Face {
  std::vector<double> plane;  // root point, then normal; empty for a B-spline
  std::vector<double> bspline;
  std::vector<double> loop;   // control points, curve after curve; empty when bounded
};

std::vector<Face> FacesAsked(const stand_in::Host& host) {
  std::vector<Face> faces;
  for (const stand_in::Call& c : host.Calls()) {
    if (c.op == kPlane) {
      const auto a = Args(c.args);
      Face f;
      f.plane = a[0];
      f.plane.insert(f.plane.end(), a[1].begin(), a[1].end());
      faces.push_back(f);
    } else if (c.op == kBSpline) {
      faces.push_back(Face{{}, Args(c.args)[3], {}});
    } else if (c.op == kLoop) {
      faces.back().loop = Args(c.args)[7];
    }
  }
  return faces;
}

using Doubles = std::vector<double>;
Doubles Join(std::initializer_list<Doubles> parts) {
  Doubles out;
  for (const Doubles& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

}  // namespace

TEST_F(SurfaceRoad, ABodyIsClosedDownwardsOnlyForADepthAboveZero) {
  const ON_NurbsSurface surface = SlopedPatch();
  const std::vector<std::string> oneFace = {kNewBody, kBSpline, kBounded, kSew};
  const std::vector<std::string> side = {kPlane, kLoop, kTrimmed};
  struct Case {
    double depth;
    int flat;
    std::vector<std::string> ops;
  } cases[] = {
      {0.0, 0, oneFace},
      {-1.0, 1, oneFace},
      {std::numeric_limits<double>::quiet_NaN(), 1, oneFace},
      {1.0, 1, {kNewBody, kBSpline, kBounded, kPlane, kLoop, kTrimmed, kPlane, kLoop, kTrimmed, kPlane, kLoop, kTrimmed,
                kPlane, kLoop, kTrimmed, kPlane, kLoop, kTrimmed, kSew}},
      {1.0, 0, {kNewBody, kBSpline, kBounded, kPlane, kLoop, kTrimmed, kPlane, kLoop, kTrimmed, kPlane, kLoop, kTrimmed,
                kPlane, kLoop, kTrimmed, kBSpline, kBounded, kSew}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("depth " + std::to_string(c.depth) + (c.flat ? ", flat bottom" : ""));
    host.ClearCalls();
    VLMSWON::SetError(L"before");
    EXPECT_EQ(VLMSWON::CreateBodyFromSurface(part, surface, c.depth, c.flat, 1.0), 1);
    EXPECT_EQ(host.Operations(), c.ops);
    EXPECT_EQ(VLMSWON::GetError(), L"before");
  }
}

TEST_F(SurfaceRoad, AFlatBottomLiesAtTheLowestZLessTheDepth) {
  // Corners at heights 0, 1, 2 and 3; one unit down from the lowest, the
  // vertical edges are 1, 2, 4 and 3 long.
  ASSERT_EQ(VLMSWON::CreateBoxedSolidFromSurface(body, SlopedPatch(), 1.0, 1, 0.5), 1);
  const double h = 0.5;  // every point is scaled; normals are not
  const Doubles p00 = {0, 0, 0}, p10 = {4 * h, 0, 1 * h}, p01 = {0, 3 * h, 2 * h}, p11 = {4 * h, 3 * h, 3 * h};
  const Doubles b00 = {0, 0, -h}, b10 = {4 * h, 0, -h}, b01 = {0, 3 * h, -h}, b11 = {4 * h, 3 * h, -h};
  const std::vector<Face> faces = FacesAsked(host);
  ASSERT_EQ(faces.size(), 5u);
  // Face k: T(k), V(k), B(k), V(k + 1), each curve from its start.
  const Doubles v1 = Join({p00, b00}), v2 = Join({p10, b10}), v3 = Join({p11, b11}), v4 = Join({p01, b01});
  EXPECT_EQ(faces[0].plane, Join({p00, {0, -1, 0}}));
  EXPECT_EQ(faces[0].loop, Join({p00, p10, v1, b00, b10, v2}));
  EXPECT_EQ(faces[1].plane, Join({p10, {1, 0, 0}}));
  EXPECT_EQ(faces[1].loop, Join({p10, p11, v2, b10, b11, v3}));
  EXPECT_EQ(faces[2].plane, Join({p01, {0, 1, 0}}));
  EXPECT_EQ(faces[2].loop, Join({p01, p11, v3, b01, b11, v4}));
  EXPECT_EQ(faces[3].plane, Join({p00, {-1, 0, 0}}));
  EXPECT_EQ(faces[3].loop, Join({p00, p01, v4, b00, b01, v1}));
  EXPECT_EQ(faces[4].plane, Join({b00, {0, 0, -1}}));
  EXPECT_EQ(faces[4].loop, Join({b00, b10, b10, b11, b01, b11, b00, b01}));
}

TEST_F(SurfaceRoad, WithoutAFlatBottomTheSurfaceMovesDownWhole) {
  ASSERT_EQ(VLMSWON::CreateBoxedSolidFromSurface(body, SlopedPatch(), 1.0, 0, 1.0), 1);
  const Doubles p00 = {0, 0, 0}, p10 = {4, 0, 1}, p01 = {0, 3, 2}, p11 = {4, 3, 3};
  const Doubles b00 = {0, 0, -1}, b10 = {4, 0, 0}, b01 = {0, 3, 1}, b11 = {4, 3, 2};
  const std::vector<Face> faces = FacesAsked(host);
  ASSERT_EQ(faces.size(), 5u);
  // Every vertical edge is the depth long.
  EXPECT_EQ(faces[0].loop, Join({p00, p10, p00, b00, b00, b10, p10, b10}));
  EXPECT_EQ(faces[2].loop, Join({p01, p11, p11, b11, b01, b11, p01, b01}));
  EXPECT_TRUE(faces[4].plane.empty());
  EXPECT_EQ(faces[4].bspline, Join({b00, b10, b01, b11}));
  EXPECT_TRUE(faces[4].loop.empty()) << "bounded by its domain";
  EXPECT_EQ(Args(Calls(kBounded).at(0).args).back(), (Doubles{0, 1, 0, 1}));
}

TEST_F(SurfaceRoad, ARefusedSideLeavesTheFacesBeforeItAndTheBodyIsStillSewn) {
  // Side 2 is the second plane surface asked for.
  host.InjectFault(kPlane, 2, E_FAIL);
  VLMSWON::SetError(L"before");
  EXPECT_EQ(VLMSWON::CreateBoxedSolidFromSurface(body, SlopedPatch(), 1.0, 1, 1.0), 0);
  EXPECT_EQ(VLMSWON::GetError(), L"Unable to create plane surface");
  EXPECT_EQ(host.Operations(), (std::vector<std::string>{kPlane, kLoop, kTrimmed, kPlane}));

  // Through the body: the sewing is still asked for and its outcome is the
  // result, the side's text standing.
  const ON_NurbsSurface surface = SlopedPatch();
  for (HRESULT sewing : {S_OK, E_FAIL}) {
    host.ClearCalls();
    host.ClearFaults();
    host.InjectFault(kPlane, 2, E_FAIL);
    if (sewing != S_OK) host.InjectFault(kSew, 1, sewing);
    VLMSWON::SetError(L"before");
    EXPECT_EQ(VLMSWON::CreateBodyFromSurface(part, surface, 1.0, 0, 1.0), sewing == S_OK ? 1 : 0);
    EXPECT_EQ(Calls(kSew).size(), 1u);
    EXPECT_EQ(Calls(kPlane).size(), 2u) << "sides 3 and 4 are not made";
    EXPECT_TRUE(Calls(kBounded).size() == 1u) << "nor the bottom";
    EXPECT_EQ(VLMSWON::GetError(),
              sewing == S_OK ? L"Unable to create plane surface" : L"Unable to create body from surface");
  }
}

TEST_F(SurfaceRoad, TheBodyEndsAtItsFirstFailure) {
  const ON_NurbsSurface surface = SlopedPatch();
  struct Case {
    const std::string& op;
    HRESULT hr;
    const wchar_t* text;
    std::vector<std::string> ops;
  } cases[] = {
      {kNewBody, E_FAIL, L"Unable to create new body", {kNewBody}},
      {kNewBody, S_OK, L"Unable to create new body", {kNewBody}},
      {kBSpline, E_FAIL, L"Unable to create nurbs surface", {kNewBody, kBSpline}},
      {kBounded, S_FALSE, L"Unable to create bounded surface", {kNewBody, kBSpline, kBounded}},
      {kSew, S_FALSE, L"Unable to create body from surface", {kNewBody, kBSpline, kBounded, kSew}},
      {kSew, S_OK, L"Unable to create body from surface", {kNewBody, kBSpline, kBounded, kSew}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.op + " " + std::to_string(c.hr));
    host.ClearCalls();
    host.ClearFaults();
    host.InjectFault(c.op, 1, c.hr);
    EXPECT_EQ(VLMSWON::CreateBodyFromSurface(part, surface, 0.0, 0, 1.0), 0);
    EXPECT_EQ(VLMSWON::GetError(), c.text);
    EXPECT_EQ(host.Operations(), c.ops);
    EXPECT_EQ(host.HeldReferences(), 2) << host.DescribeHeld();
  }
  // A misreported new body or sewn body is released all the same.
  for (const std::string& op : {kNewBody, kSew}) {
    host.ClearFaults();
    host.InjectMisreport(op, 1, S_FALSE);
    EXPECT_EQ(VLMSWON::CreateBodyFromSurface(part, surface, 0.0, 0, 1.0), 0) << op;
    EXPECT_EQ(host.HeldReferences(), 2) << op << ": " << host.DescribeHeld();
  }
}

TEST_F(SurfaceRoad, TheHostSewsABoxedBicubicPatchIntoASolidOfSixFacesAndAnOpenBoxIntoASheet) {
  const ON_NurbsSurface surface = BicubicPatch();
  for (int flat : {0, 1}) {
    SCOPED_TRACE(flat ? "flat bottom" : "the surface moved down");
    ASSERT_EQ(VLMSWON::CreateBodyFromSurface(part, surface, 0.5, flat, 0.01), 1);
    const stand_in::Body& made = host.Documents().at(0).bodies.back();
    EXPECT_EQ(made.kind, stand_in::BodyKind::Solid);
    EXPECT_EQ(stand_in::FaceCount(made), 6u);
  }
  host.InjectFault(kPlane, 2, E_FAIL);
  ASSERT_EQ(VLMSWON::CreateBodyFromSurface(part, surface, 0.5, 1, 0.01), 1);
  const stand_in::Body& open = host.Documents().at(0).bodies.back();
  EXPECT_EQ(open.kind, stand_in::BodyKind::Sheet);
  EXPECT_EQ(stand_in::FaceCount(open), 2u);
  EXPECT_EQ(VLMSWON::GetError(), L"Unable to create plane surface");
}

TEST_F(SurfaceRoad, ABoxWhoseEdgesCannotBeMadeIsRefusedBeforeTheHostSeesIt) {
  struct Case {
    const char* name;
    ON_NurbsSurface surface;
    double depth;
    const wchar_t* text;
  } cases[] = {
      {"no depth: vertical edges without length", SlopedPatch(), 0.0,
       L"Unable to close the solid under the surface: a straight edge of it has coinciding or non-finite ends"},
      {"a depth that is not a number", SlopedPatch(), std::numeric_limits<double>::quiet_NaN(),
       L"Unable to close the solid under the surface: a straight edge of it has coinciding or non-finite ends"},
      {"a surface in the plane", ON_NurbsSurface(2, false, 2, 2, 2, 2),
       1.0, L"Unable to close the solid under the surface: the surface is not three-dimensional"},
      {"an empty surface", ON_NurbsSurface(), 1.0,
       L"Unable to close the solid under the surface: the surface is not three-dimensional"},
  };
  for (const Case& c : cases) {
    for (int flat : {0, 1}) {
      SCOPED_TRACE(std::string(c.name) + (flat ? ", flat bottom" : ""));
      host.ClearCalls();
      EXPECT_EQ(VLMSWON::CreateBoxedSolidFromSurface(body, c.surface, c.depth, flat, 1.0), 0);
      EXPECT_EQ(VLMSWON::GetError(), c.text);
      EXPECT_TRUE(host.Operations().empty());
    }
  }
  // A surface in space whose knots go backwards has no iso-curves.
  ON_NurbsSurface backwards = SlopedPatch();
  backwards.SetKnot(0, 0, 1.0);
  backwards.SetKnot(0, 1, 0.0);
  EXPECT_EQ(VLMSWON::CreateBoxedSolidFromSurface(body, backwards, 1.0, 1, 1.0), 0);
  EXPECT_EQ(VLMSWON::GetError(), L"Unable to close the solid under the surface: the surface is not valid");
}
