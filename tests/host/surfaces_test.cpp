// Surfaces, trimming loops and the faces made of them: what the host
// refuses, what it records, and the references it hands out.
#include "surface_builders.h"

#include <limits>

using namespace surfaces;

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();

// The unit square in the plane z = 1 as four lines, in the given order.
std::vector<Curve> Square(double z = 1) {
  const Point3 a{0, 0, z}, b{1, 0, z}, c{1, 1, z}, d{0, 1, z};
  return {Line(a, b), Line(b, c), Line(c, d), Line(d, a)};
}

}  // namespace

class SurfaceTest : public HostTest {
 protected:
  void SetUp() override {
    OpenPart();
    body = NewBody();
  }
  const stand_in::Body& collected() const { return model().collectors.at(0); }
  std::string Error() const { return host.Calls().back().error; }

  CComPtr<IHostBody> body;
};

TEST_F(SurfaceTest, RefusesMalformedBSplineSurfaces) {
  struct Case {
    const char* name;
    void (*spoil)(Patch&);
    const char* error;  // part of the reason the host gives
  } cases[] = {
      {"order 1 in u", [](Patch& s) { s.order[0] = 1; }, "the order in u is 1"},
      {"order 33 in v", [](Patch& s) { s.order[1] = 33; }, "the order in v is 33"},
      {"fewer control points than the order",
       [](Patch& s) {
         s.order[0] = 5;
       },
       "4 control points in u, fewer than its order 5"},
      {"periodic flag 2", [](Patch& s) { s.periodic[1] = 2; }, "properties[5] (periodic in v) is 2"},
      {"decreasing u knots", [](Patch& s) { s.knots[0][5] = -1; }, "uKnots[5] is -1, less than the knot before it"},
      {"a knot that is not a number", [](Patch& s) { s.knots[1][0] = kNaN; }, "vKnots[0] is not a finite number"},
      {"a knot five times in order 4", [](Patch& s) { s.knots[0] = {0, 0, 0, 0, 0, 1, 1, 1}; }, "repeat 0 5 times"},
      {"an inner knot as often as the order",
       [](Patch& s) {
         s.count[0] = 8;
         s.knots[0] = {0, 0, 0, 0, 0.5, 0.5, 0.5, 0.5, 1, 1, 1, 1};
         s.points.clear();
         for (int j = 0; j < 4; ++j)
           for (int i = 0; i < 8; ++i) s.points.push_back({double(i), double(j), 0});
       },
       "repeat 0.5 4 times; order 4 allows 3 inside the domain"},
      {"an empty domain", [](Patch& s) { s.knots[1] = {-1, -1, -1, 0, 0, 1, 1, 1}; },
       "vKnots give an empty domain: vKnots[3] and vKnots[4] are both 0"},
      {"a control point that is not a number", [](Patch& s) { s.points[6].y = kNaN; },
       "control point (2, 1).y is not a finite number"},
      {"an infinite control point", [](Patch& s) { s.points[15].z = HUGE_VAL; }, "control point (3, 3).z"},
      {"a control point beyond the model space", [](Patch& s) { s.points[1].x = -1e300; },
       "control point (1, 0).x is -1e+300 m, beyond the host's model space of 1e+09 m"},
      {"a knot beyond the host's limit", [](Patch& s) { s.knots[0][7] = 1e300; },
       "uKnots[7] is 1e+300, beyond the host's limit of 1e+15"},
      {"all control points in one place", [](Patch& s) { s.points.assign(16, Point3{1, 2, 3}); },
       "all control points coincide"},
      {"periodic in u but not wrapped", [](Patch& s) { s.periodic[0] = 1; },
       "periodic, but its control points (0, 0) and (1, 0) differ"},
  };
  for (const Case& c : cases) {
    Patch s = Bump();
    c.spoil(s);
    CComPtr<IHostSurface> surface;
    EXPECT_EQ(MakeBSpline(body, s, &surface), E_FAIL) << c.name;
    EXPECT_FALSE(surface) << c.name;
    EXPECT_NE(Error().find(c.error), std::string::npos) << c.name << ": " << Error();
  }
  // The dimension and the eighth property, and the null arrays.
  const Patch s = Bump();
  const std::vector<double> xyz = s.Xyz();
  struct Raw {
    std::vector<LONG> properties;
    const double *u, *v, *points;
    const char* error;
  } raws[] = {
      {{4, 4, 4, 4, 0, 0, 2, 0}, s.knots[0].data(), s.knots[1].data(), xyz.data(), "properties[6] (the dimension) is 2"},
      {{4, 4, 4, 4, 0, 0, 3, 1}, s.knots[0].data(), s.knots[1].data(), xyz.data(), "properties[7] is 1; it is 0"},
      {{}, s.knots[0].data(), s.knots[1].data(), xyz.data(), "properties is null"},
      {s.Properties(), nullptr, s.knots[1].data(), xyz.data(), "uKnots is null"},
      {s.Properties(), s.knots[0].data(), nullptr, xyz.data(), "vKnots is null"},
      {s.Properties(), s.knots[0].data(), s.knots[1].data(), nullptr, "controlPoints is null"},
  };
  for (const Raw& r : raws) {
    CComPtr<IHostSurface> surface;
    EXPECT_EQ(body->CreateBSplineSurface(r.properties.empty() ? nullptr : r.properties.data(), r.u, r.v, r.points,
                                         &surface),
              E_FAIL)
        << r.error;
    EXPECT_NE(Error().find(r.error), std::string::npos) << Error();
  }
  EXPECT_TRUE(collected().surfaces.empty());
}

// Orders and counts differ per direction; the counts stand v before u.
TEST_F(SurfaceTest, ReadsCountsVBeforeUAndControlPointsUFastest) {
  Patch s = Over(3, 4, 2, {{0, 0, 0}, {0, 1, 0}, {0, 0, 0}, {1, 0, 0}, {0, 0, 2}});  // 3 in u, 5 in v
  s.order[1] = 3;
  s.knots[1] = Clamped(3, 5);
  CComPtr<IHostSurface> surface;
  ASSERT_EQ(MakeBSpline(body, s, &surface), S_OK) << Error();
  EXPECT_EQ(host.Calls().back().args.substr(0, 26), "[2, 3, 5, 3, 0, 0, 3, 0], ");
  const stand_in::Surface& made = collected().surfaces.at(0);
  EXPECT_EQ(made.count[0], 3);
  EXPECT_EQ(made.count[1], 5);
  EXPECT_EQ(made.order[1], 3);
  EXPECT_EQ(made.points[4], (Point3{1.5, 1, 1}));  // (1, 1)
}

TEST_F(SurfaceTest, RefusesPlanesWithoutADirection) {
  const double root[3] = {0, 0, 0}, up[3] = {0, 0, 1}, zero[3] = {0, 0, 0}, tiny[3] = {0, 1e-300, 0};
  const double nanRoot[3] = {0, kNaN, 0}, infNormal[3] = {HUGE_VAL, 0, 0}, farRoot[3] = {0, 0, 1e300};
  struct Case {
    const double *root, *normal;
    const char* error;
  } cases[] = {
      {nullptr, up, "rootPoint is null"},         {root, nullptr, "normal is null"},
      {root, zero, "the normal is zero"},          {nanRoot, up, "rootPoint.y is not a finite number"},
      {root, infNormal, "normal.x is not a finite number"},
      {farRoot, up, "rootPoint.z is 1e+300 m, beyond the host's model space of 1e+09 m"},
  };
  for (const Case& c : cases) {
    CComPtr<IHostSurface> surface;
    EXPECT_EQ(body->CreatePlaneSurface(c.root, c.normal, &surface), E_FAIL) << c.error;
    EXPECT_EQ(Error(), c.error);
  }
  // Any length but zero gives the direction.
  CComPtr<IHostSurface> surface;
  ASSERT_EQ(body->CreatePlaneSurface(root, tiny, &surface), S_OK) << Error();
  EXPECT_EQ(collected().surfaces.at(0).normal, (Point3{0, 1, 0}));
}

TEST_F(SurfaceTest, RefusesLoopsThatDoNotCloseInThePlane) {
  const std::vector<Curve> square = Square();
  auto spoiled = [&](void (*spoil)(std::vector<Curve>&)) {
    std::vector<Curve> loop = square;
    spoil(loop);
    return loop;
  };
  struct Case {
    const char* name;
    std::vector<Curve> loop;
    const char* error;
  } cases[] = {
      {"a gap between two curves", spoiled([](std::vector<Curve>& l) { l[2].points[0].x = 0.9; }),
       "curve 2 neither starts nor ends where curve 1 ends, (1, 1, 1): its nearer end lies 0.1 m from it"},
      {"the first curve meets no end of the second", spoiled([](std::vector<Curve>& l) { l[1].points[0].y = 0.5; }),
       "curve 0 and curve 1 do not meet"},
      {"open at the end", {square[0], square[1], square[2]}, "the loop does not close: curve 2 ends 1 m from where curve 0 starts"},
      {"a curve off the plane", spoiled([](std::vector<Curve>& l) { l[1].points[1].z = 1.01; }),
       "control point 1 of curve 1 lies 0.01 m off the plane"},
      {"one open curve", {square[0]}, "the loop's one curve is not closed"},
      {"there and back", {Line({0, 0, 1}, {1, 0, 1}), Line({1, 0, 1}, {0, 0, 1})}, "the loop encloses no area"},
      {"a bow tie",
       {Line({0, 0, 1}, {2, 1, 1}), Line({2, 1, 1}, {2, 0, 1}), Line({2, 0, 1}, {0, 2, 1}), Line({0, 2, 1}, {0, 0, 1})},
       "the loop crosses or touches itself"},
      {"a curve of no length", {square[0], square[1], Line({1, 1, 1}, {1, 1, 1}), square[2], square[3]},
       "curve 2 has no length"},
      {"decreasing knots", spoiled([](std::vector<Curve>& l) { l[3].knots = {0, 1, 0.5, 1}; }),
       "knots[14] (knot 2 of curve 3) is 0.5, less than the knot before it"},
      {"a control point that is not a number", spoiled([](std::vector<Curve>& l) { l[1].points[1].x = kNaN; }),
       "controlPoints[3] (control point 1 of curve 1).x is not a finite number"},
      {"fewer control points than the order", spoiled([](std::vector<Curve>& l) { l[0].order = 3; l[0].knots.push_back(1); }),
       "controlPointCounts[0] is 2, fewer than the order 3"},
      {"order 1", spoiled([](std::vector<Curve>& l) { l[0].order = 1; }), "orders[0] is 1"},
      {"periodic but not wrapped", spoiled([](std::vector<Curve>& l) { l[0].periodic = true; }),
       "curve 0 is periodic, but its control points 0 and 1 differ"},
  };
  for (const Case& c : cases) {
    CComPtr<IHostSurface> surface;
    ASSERT_EQ(MakePlane(body, {0, 0, 1}, {0, 0, 1}, &surface), S_OK);
    EXPECT_EQ(LoopArrays(c.loop).Add(surface), E_FAIL) << c.name;
    EXPECT_NE(Error().find(c.error), std::string::npos) << c.name << ": " << Error();
    EXPECT_TRUE(collected().surfaces.back().loop.empty()) << c.name;
  }
}

// The per-curve arrays must agree with each other and with the bridge's
// convention: the first curve's dimension -3, every other's 3.
TEST_F(SurfaceTest, RefusesLoopArraysThatDisagree) {
  const LoopArrays good(Square());
  struct Case {
    const char* name;
    void (*spoil)(LoopArrays&);
    const char* error;
  } cases[] = {
      {"first dimension 3", [](LoopArrays& a) { a.dimensions[0] = 3; }, "dimensions[0] is 3; a loop's first curve has -3"},
      {"second dimension -3", [](LoopArrays& a) { a.dimensions[1] = -3; }, "dimensions[1] is -3"},
      {"dimension 2", [](LoopArrays& a) { a.dimensions[3] = 2; }, "dimensions[3] is 2"},
      {"knot count disagrees", [](LoopArrays& a) { a.knotCounts[2] = 5; },
       "knotCounts[2] is 5; a curve of order 2 with 2 control points has 4 knots"},
      {"periodic flag 2", [](LoopArrays& a) { a.periodic[1] = 2; }, "periodic[1] is 2; it is 0 or 1"},
  };
  for (const Case& c : cases) {
    CComPtr<IHostSurface> surface;
    ASSERT_EQ(MakePlane(body, {0, 0, 1}, {0, 0, 1}, &surface), S_OK);
    LoopArrays a = good;
    c.spoil(a);
    EXPECT_EQ(a.Add(surface), E_FAIL) << c.name;
    EXPECT_NE(Error().find(c.error), std::string::npos) << c.name << ": " << Error();
  }
  CComPtr<IHostSurface> surface;
  ASSERT_EQ(MakePlane(body, {0, 0, 1}, {0, 0, 1}, &surface), S_OK);
  const LoopArrays& a = good;
  const double reserved[1] = {0};
  EXPECT_EQ(surface->AddTrimmingLoop(0, a.orders.data(), a.dimensions.data(), a.periodic.data(), a.knotCounts.data(),
                                     a.counts.data(), a.knots.data(), a.points.data(), nullptr),
            E_FAIL);
  EXPECT_EQ(Error(), "count is 0; a loop has one curve or more");
  EXPECT_EQ(surface->AddTrimmingLoop(4, a.orders.data(), nullptr, a.periodic.data(), a.knotCounts.data(),
                                     a.counts.data(), a.knots.data(), a.points.data(), nullptr),
            E_FAIL);
  EXPECT_EQ(Error(), "dimensions is null");
  EXPECT_EQ(surface->AddTrimmingLoop(4, a.orders.data(), a.dimensions.data(), a.periodic.data(), a.knotCounts.data(),
                                     a.counts.data(), a.knots.data(), a.points.data(), reserved),
            E_FAIL);
  EXPECT_EQ(Error(), "reserved is not null");
  EXPECT_EQ(a.Add(surface), S_OK) << Error();
}

// Trimming and bounding act on the surface made last, once; a plane is only
// trimmed and a B-spline surface only bounded, within its domain.
TEST_F(SurfaceTest, FacesComeFromTheLastSurfaceOnceAndInItsWay) {
  VARIANT_BOOL ok = VARIANT_TRUE;
  const double unit[4] = {0, 1, 0, 1};
  EXPECT_EQ(body->CreateTrimmedSurface(&ok), E_FAIL);
  EXPECT_EQ(ok, VARIANT_FALSE);
  EXPECT_EQ(Error(), "no surface was made on the body");
  EXPECT_EQ(body->CreateBoundedSurface(1, 1, unit), E_FAIL);
  EXPECT_EQ(Error(), "no surface was made on the body");

  CComPtr<IHostSurface> plane;
  ASSERT_EQ(MakePlane(body, {0, 0, 1}, {0, 0, 1}, &plane), S_OK);
  EXPECT_EQ(body->CreateTrimmedSurface(&ok), E_FAIL);
  EXPECT_EQ(Error(), "the surface made last has no trimming loop");
  EXPECT_EQ(body->CreateBoundedSurface(1, 1, unit), E_FAIL);
  EXPECT_NE(Error().find("is a plane, which has no parameter range"), std::string::npos);
  ASSERT_EQ(LoopArrays(Square()).Add(plane), S_OK) << Error();
  EXPECT_EQ(LoopArrays(Square()).Add(plane), E_FAIL);
  EXPECT_EQ(Error(), "the surface has its trimming loop already; it takes one");
  ASSERT_EQ(body->CreateTrimmedSurface(&ok), S_OK) << Error();
  EXPECT_EQ(ok, VARIANT_TRUE);
  EXPECT_EQ(body->CreateTrimmedSurface(&ok), E_FAIL);
  EXPECT_EQ(ok, VARIANT_FALSE);
  EXPECT_EQ(Error(), "the surface made last is a face already");
  EXPECT_EQ(collected().surfaceFaces.Count(), 1u);

  CComPtr<IHostSurface> bump;
  ASSERT_EQ(MakeBSpline(body, Bump(), &bump), S_OK);
  EXPECT_EQ(LoopArrays(Square()).Add(bump), E_FAIL);
  EXPECT_EQ(Error(), "the host trims plane surfaces only; a B-spline surface is bounded by its domain");
  const double nan[4] = {0, kNaN, 0, 1};
  struct Case {
    LONG u, v;
    const double* range;
    const char* error;
  } cases[] = {
      {0, 1, unit, "uBounded is 0; it is 1"},
      {1, 2, unit, "vBounded is 2; it is 1"},
      {1, 1, nullptr, "range is null"},
      {1, 1, nan, "range[1] is not a finite number"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(body->CreateBoundedSurface(c.u, c.v, c.range), E_FAIL) << c.error;
    EXPECT_EQ(Error(), c.error);
  }
  const double ranges[][4] = {{0, 1.5, 0, 1}, {-0.1, 1, 0, 1}, {0, 1, 0.5, 0.5}, {0.7, 0.2, 0, 1}};
  const char* errors[] = {"the range in u, 0 to 1.5, leaves the surface's domain, 0 to 1",
                          "the range in u, -0.1 to 1, leaves",
                          "the range in v is empty: it runs from 0.5 to 0.5", "the range in u is empty"};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(body->CreateBoundedSurface(1, 1, ranges[i]), E_FAIL) << errors[i];
    EXPECT_NE(Error().find(errors[i]), std::string::npos) << Error();
  }
  const double part[4] = {0.25, 0.75, 0, 0.5};
  ASSERT_EQ(body->CreateBoundedSurface(1, 1, part), S_OK) << Error();
  EXPECT_EQ(body->CreateBoundedSurface(1, 1, part), E_FAIL);
  EXPECT_EQ(Error(), "the surface made last is a face already");
  EXPECT_EQ(LoopArrays(Square()).Add(plane), E_FAIL);
  EXPECT_EQ(Error(), "the surface is a face already");
  EXPECT_EQ(collected().surfaceFaces.Count(), 2u);
}

TEST_F(SurfaceTest, ASewnBodyTakesNoSurfaces) {
  ASSERT_EQ(Bounded(body, Bump()), S_OK);
  CComPtr<IHostBody> sewn;
  ASSERT_EQ(body->CreateBodyFromSurfaces(&sewn), S_OK);
  CComPtr<IHostSurface> surface;
  EXPECT_EQ(MakeBSpline(sewn, Bump(), &surface), E_FAIL);
  EXPECT_EQ(Error(), "a sewn body takes no more faces");
  EXPECT_EQ(MakePlane(sewn, {0, 0, 0}, {0, 0, 1}, &surface), E_FAIL);
  VARIANT_BOOL ok;
  EXPECT_EQ(sewn->CreateTrimmedSurface(&ok), E_FAIL);
  const double unit[4] = {0, 1, 0, 1};
  EXPECT_EQ(sewn->CreateBoundedSurface(1, 1, unit), E_FAIL);
  // The collector gathers again; its old surface is a face already.
  EXPECT_EQ(body->CreateBoundedSurface(1, 1, unit), E_FAIL);
  EXPECT_EQ(Error(), "the surface made last is a face already");
}

TEST_F(SurfaceTest, RecordsTheArraysAsTheCountsGiveThem) {
  const Patch s = Over(1, 1, 2, {{0, 0}, {0, 0}});
  CComPtr<IHostSurface> surface;
  ASSERT_EQ(MakeBSpline(body, s, &surface), S_OK);
  EXPECT_EQ(host.Calls().back().args,
            "[2, 2, 2, 2, 0, 0, 3, 0], [0, 0, 1, 1], [0, 0, 1, 1], [0, 0, 0, 1, 0, 0, 0, 1, 0, 1, 1, 0]");
  const std::vector<LONG> bad = {2, 2, 2, 0, 0, 0, 3, 0};  // no control points in u: lengths unknown
  CComPtr<IHostSurface> none;
  EXPECT_EQ(body->CreateBSplineSurface(bad.data(), s.knots[0].data(), nullptr, nullptr, &none), E_FAIL);
  EXPECT_EQ(host.Calls().back().args, "[2, 2, 2, 0, 0, 0, 3, 0], [not read], null, null");

  const double range[4] = {0, 1, 0, 1};
  ASSERT_EQ(body->CreateBoundedSurface(1, 1, range), S_OK);
  EXPECT_EQ(host.Calls().back().args, "1, 1, [0, 1, 0, 1]");

  CComPtr<IHostSurface> plane;
  ASSERT_EQ(MakePlane(body, {0, 0, 1}, {0, 0, 2}, &plane), S_OK);
  EXPECT_EQ(host.Calls().back().args, "[0, 0, 1], [0, 0, 2]");
  ASSERT_EQ(LoopArrays({Line({0, 0, 1}, {1, 0, 1}), Line({1, 0, 1}, {0, 1, 1}), Line({0, 1, 1}, {0, 0, 1})}).Add(plane),
            S_OK);
  EXPECT_EQ(host.Calls().back().op, "IHostSurface::AddTrimmingLoop");
  EXPECT_EQ(host.Calls().back().args,
            "3, [2, 2, 2], [-3, 3, 3], [0, 0, 0], [4, 4, 4], [2, 2, 2], [0, 0, 1, 1, 0, 0, 1, 1, 0, 0, 1, 1], "
            "[0, 0, 1, 1, 0, 1, 1, 0, 1, 0, 1, 1, 0, 1, 1, 0, 0, 1], null");
  VARIANT_BOOL ok;
  ASSERT_EQ(body->CreateTrimmedSurface(&ok), S_OK);
  EXPECT_EQ(host.Calls().back().args, "");

  // Knot counts that disagree with the orders and control points say
  // nothing the host can trust: the knots are not read.
  CComPtr<IHostSurface> other;
  ASSERT_EQ(MakePlane(body, {0, 0, 1}, {0, 0, 1}, &other), S_OK);
  LoopArrays wrong({Line({0, 0, 1}, {1, 0, 1}), Line({1, 0, 1}, {0, 1, 1}), Line({0, 1, 1}, {0, 0, 1})});
  wrong.knotCounts[1] = 400000;
  EXPECT_EQ(wrong.Add(other), E_FAIL);
  EXPECT_EQ(host.Calls().back().args,
            "3, [2, 2, 2], [-3, 3, 3], [0, 0, 0], [4, 400000, 4], [2, 2, 2], [not read], "
            "[0, 0, 1, 1, 0, 1, 1, 0, 1, 0, 1, 1, 0, 1, 1, 0, 0, 1], null");
}

// Every surface handed out is counted until released; a planted fault
// makes the call fail with no surface.
TEST_F(SurfaceTest, SurfacesAreCountedAndFaultsFailThem) {
  const long before = host.HeldReferences();
  {
    CComPtr<IHostSurface> a, b;
    ASSERT_EQ(MakeBSpline(body, Bump(), &a), S_OK);
    ASSERT_EQ(MakePlane(body, {0, 0, 1}, {0, 0, 1}, &b), S_OK);
    EXPECT_EQ(host.HeldReferences(), before + 2);
    EXPECT_NE(host.DescribeHeld().find("Part1 collector 1 surface 2: 1 held"), std::string::npos)
        << host.DescribeHeld();
  }
  EXPECT_EQ(host.HeldReferences(), before);
  EXPECT_EQ(host.OverReleases(), 0);

  host.InjectFault("IHostBody::CreateBSplineSurface", 1, E_FAIL);
  host.InjectFault("IHostBody::CreatePlaneSurface", 1, S_OK);
  CComPtr<IHostSurface> a, b;
  EXPECT_EQ(MakeBSpline(body, Bump(), &a), E_FAIL);
  EXPECT_EQ(MakePlane(body, {0, 0, 1}, {0, 0, 1}, &b), S_OK);
  EXPECT_FALSE(a);
  EXPECT_FALSE(b);
  EXPECT_EQ(collected().surfaces.size(), 2u);
  host.InjectFault("IHostBody::CreateTrimmedSurface", 1, S_OK);
  ASSERT_EQ(MakePlane(body, {0, 0, 1}, {0, 0, 1}, &b), S_OK);
  ASSERT_EQ(LoopArrays(Square()).Add(b), S_OK);
  VARIANT_BOOL ok = VARIANT_TRUE;
  EXPECT_EQ(body->CreateTrimmedSurface(&ok), S_OK);
  EXPECT_EQ(ok, VARIANT_FALSE);
  EXPECT_EQ(collected().surfaceFaces.Count(), 0u);
  EXPECT_EQ(host.HeldReferences(), before + 1);
}

// A loop whose points crowd into one corner of its box: a serpentine of
// sixty rows of 334 points, 3 mm apart, beside a square a kilometre wide.
// Its face is the whole loop cut into triangles, and a point of its second
// row moved onto or across the first is found among the crowd.
TEST_F(SurfaceTest, CrowdedLoopsAreCutWholeAndTheirTouchesFound) {
  const double h = 3e-3;
  const int rows = 60, across = 333;
  struct Case {
    const char* name;
    double movedY;  // of point 100 of row 1, at y = 2h; NaN leaves it
    bool taken;
  } cases[] = {{"a simple serpentine", kNaN, true},
               {"a point of row 1 on a point of row 0", 0, false},
               {"a point of row 1 across row 0", -h, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Curve s;
    for (int r = 0; r < rows; ++r)
      for (int k = 0; k <= across; ++k)
        s.points.push_back({(r % 2 == 0 ? k : across - k) * h, 2 * r * h, 0});
    if (!std::isnan(c.movedY)) s.points[across + 1 + 100].y = c.movedY;
    s.knots = {0};
    for (size_t i = 0; i < s.points.size(); ++i) s.knots.push_back(double(i));
    s.knots.push_back(double(s.points.size() - 1));
    const Point3 e = s.points.back();
    const std::vector<Curve> loop{s,
                                  Line(e, {e.x, 1000, 0}),
                                  Line({e.x, 1000, 0}, {-1000, 1000, 0}),
                                  Line({-1000, 1000, 0}, {-1000, -1, 0}),
                                  Line({-1000, -1, 0}, {0, -1, 0}),
                                  Line({0, -1, 0}, {0, 0, 0})};
    CComPtr<IHostBody> own = NewBody();
    const HRESULT hr = TrimmedPlane(own, {0, 0, 0}, {0, 0, 1}, loop);
    if (!c.taken) {
      EXPECT_EQ(hr, E_FAIL);
      EXPECT_NE(Error().find("the loop crosses or touches itself"), std::string::npos) << Error();
      continue;
    }
    ASSERT_EQ(hr, S_OK) << Error();
    const stand_in::SurfaceFaces& f = model().collectors.back().surfaceFaces;
    ASSERT_EQ(f.boundary.size(), s.points.size() + 4);
    EXPECT_EQ(f.corners.size(), 3 * (f.boundary.size() - 2));
    double loopArea = 0, triangleArea = 0;
    for (size_t i = 0; i < f.boundary.size(); ++i) {
      const Point3 &a = f.points[f.boundary[i]], &b = f.points[f.boundary[(i + 1) % f.boundary.size()]];
      loopArea += (a.x * b.y - b.x * a.y) / 2;
    }
    for (size_t i = 0; i < f.corners.size(); i += 3) {
      const Point3 &a = f.points[f.corners[i]], &b = f.points[f.corners[i + 1]], &d = f.points[f.corners[i + 2]];
      const double twice = (b.x - a.x) * (d.y - a.y) - (b.y - a.y) * (d.x - a.x);
      EXPECT_GE(twice, 0) << "triangle " << i / 3 << " is wound against the loop";
      triangleArea += twice / 2;
    }
    EXPECT_NEAR(std::fabs(loopArea), triangleArea, 1e-9 * std::fabs(loopArea));
  }
}

// A range may be narrow, but not so narrow that the face's sides do not
// part: its triangles would fold over one curve. A surface whose sides
// meet, as a tube's do, is not narrow for that.
TEST_F(SurfaceTest, RangesTooNarrowForAFaceAreRefused) {
  Patch tube;
  tube.order[0] = tube.order[1] = 2;
  tube.count[0] = 5;
  tube.count[1] = 2;
  tube.knots[0] = Clamped(2, 5);
  tube.knots[1] = Clamped(2, 2);
  for (double z : {0.0, 1.0})
    for (const Point3& p : {Point3{0, 0, z}, Point3{1, 0, z}, Point3{1, 1, z}, Point3{0, 1, z}, Point3{0, 0, z}})
      tube.points.push_back(p);
  const double half = 0.5, hair = std::nextafter(half, 1.0);
  struct Case {
    const char* name;
    Patch surface;
    double range[4];
    const char* error;  // null when taken
  } cases[] = {
      {"one ulp in u", Bump(), {half, hair, 0, 1}, "the range in u is too narrow: the face is nowhere wider than"},
      {"a millionth of a micrometre in v", Bump(), {0, 1, half, half + 1e-12}, "the range in v is too narrow"},
      {"a strip 20 micrometres wide", Bump(), {half, half + 1e-5, 0, 1}, nullptr},
      {"a tube whose sides meet", tube, {0, 1, 0, 1}, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CComPtr<IHostBody> own = NewBody();
    CComPtr<IHostSurface> surface;
    ASSERT_EQ(MakeBSpline(own, c.surface, &surface), S_OK) << Error();
    const HRESULT hr = own->CreateBoundedSurface(1, 1, c.range);
    if (c.error) {
      EXPECT_EQ(hr, E_FAIL);
      EXPECT_NE(Error().find(c.error), std::string::npos) << Error();
      EXPECT_EQ(model().collectors.back().surfaceFaces.Count(), 0u);
    } else {
      EXPECT_EQ(hr, S_OK) << Error();
      EXPECT_EQ(model().collectors.back().surfaceFaces.Count(), 1u);
    }
  }
}
