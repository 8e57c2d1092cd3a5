#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "alloc_limit.h"
#include "opennurbs.h"

namespace {

void ExpectNear(const ON_3dPoint& a, const ON_3dPoint& b, double tolerance = 1e-12) {
  EXPECT_NEAR(a.x, b.x, tolerance);
  EXPECT_NEAR(a.y, b.y, tolerance);
  EXPECT_NEAR(a.z, b.z, tolerance);
}

// The Greville abscissa of control point i: the mean of the order - 1 knots
// from knot i (openNURBS form). A non-rational NURBS with these as values
// reproduces the parameter itself (linear precision).
double Greville(const ON_NurbsSurface& s, int dir, int i) {
  double sum = 0.0;
  for (int k = 0; k < s.Order(dir) - 1; ++k) sum += s.Knot(dir, i + k);
  return sum / (s.Order(dir) - 1);
}

// A cubic by quadratic surface on uneven knots whose control points (x_i,
// y_j, x_i y_j) at the Greville abscissae make it exactly (u, v, u v).
ON_NurbsSurface Saddle() {
  ON_NurbsSurface s(3, false, 4, 3, 6, 5);
  const double u_knots[8] = {0, 0, 0, 0.5, 1.25, 3, 3, 3};
  const double v_knots[6] = {-1, -1, 0, 0.25, 2, 2};
  for (int i = 0; i < 8; ++i) s.SetKnot(0, i, u_knots[i]);
  for (int i = 0; i < 6; ++i) s.SetKnot(1, i, v_knots[i]);
  for (int i = 0; i < 6; ++i)
    for (int j = 0; j < 5; ++j) {
      const double x = Greville(s, 0, i), y = Greville(s, 1, j);
      s.SetCV(i, j, ON_3dPoint(x, y, x * y));
    }
  EXPECT_TRUE(s.IsValid());
  return s;
}

// A quarter of a cylinder of radius 2 about the z axis: rational quadratic
// in u, linear from z = 1 to z = 4 in v.
ON_NurbsSurface QuarterCylinder() {
  ON_NurbsSurface s(3, true, 3, 2, 3, 2);
  const double w = std::sqrt(0.5);
  const ON_4dPoint ring[3] = {{2, 0, 0, 1}, {2 * w, 2 * w, 0, w}, {0, 2, 0, 1}};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 2; ++j) {
      const double z = j == 0 ? 1.0 : 4.0;
      s.SetCV(i, j, ON_4dPoint(ring[i].x, ring[i].y, z * ring[i].w, ring[i].w));
    }
  s.MakeClampedUniformKnotVector(0, 1.0);
  s.MakeClampedUniformKnotVector(1, 0.5);
  EXPECT_TRUE(s.IsValid());
  return s;
}

}  // namespace

TEST(NurbsSurface, EvaluatesToClosedForms) {
  const ON_NurbsSurface saddle = Saddle();
  EXPECT_EQ(saddle.Domain(0), ON_Interval(0, 3));
  EXPECT_EQ(saddle.Domain(1), ON_Interval(-1, 2));
  EXPECT_EQ(saddle.CVCount(), 30);
  EXPECT_EQ(saddle.KnotCount(0), 8);
  for (double u = 0.0; u <= 3.0; u += 0.125)
    for (double v = -1.0; v <= 2.0; v += 0.125) ExpectNear(saddle.PointAt(u, v), ON_3dPoint(u, v, u * v));

  const ON_NurbsSurface cylinder = QuarterCylinder();
  EXPECT_EQ(cylinder.Domain(1), ON_Interval(0, 0.5));
  for (double u = 0.0; u <= 1.0; u += 0.0625)
    for (double v = 0.0; v <= 0.5; v += 0.0625) {
      const ON_3dPoint p = cylinder.PointAt(u, v);
      EXPECT_NEAR(std::hypot(p.x, p.y), 2.0, 1e-12);
      EXPECT_NEAR(p.z, 1.0 + 6.0 * v, 1e-12);
    }
  EXPECT_FALSE(ON_NurbsSurface().PointAt(0, 0).IsValid());
  EXPECT_FALSE(saddle.PointAt(std::nan(""), 0).IsValid());
}

TEST(NurbsSurface, IsoCurvesAreTheSurfacesPointsAlongThem) {
  const ON_NurbsSurface surfaces[] = {Saddle(), QuarterCylinder()};
  for (const ON_NurbsSurface& s : surfaces) {
    SCOPED_TRACE(s.IsRational() ? "rational" : "non-rational");
    for (int dir = 0; dir < 2; ++dir) {
      const ON_Interval across = s.Domain(1 - dir), along = s.Domain(dir);
      for (double x : {0.0, 0.3, 0.5, 1.0}) {
        const double c = across.ParameterAt(x);
        std::unique_ptr<ON_Curve> iso(s.IsoCurve(dir, c));
        ASSERT_TRUE(iso);
        const ON_NurbsCurve* nurbs = ON_NurbsCurve::Cast(iso.get());
        ASSERT_TRUE(nurbs);
        ASSERT_TRUE(nurbs->IsValid());
        EXPECT_EQ(nurbs->Order(), s.Order(dir));
        EXPECT_EQ(nurbs->CVCount(), s.CVCount(dir));
        EXPECT_EQ(nurbs->IsRational(), s.IsRational());
        EXPECT_EQ(iso->Domain(), along);
        for (int k = 0; k <= 40; ++k) {
          const double t = along.ParameterAt(k / 40.0);
          ExpectNear(iso->PointAt(t), dir == 0 ? s.PointAt(t, c) : s.PointAt(c, t));
        }
      }
    }
  }
}

TEST(NurbsSurface, IsoCurveOfWhatCannotGiveOneIsNull) {
  const ON_NurbsSurface saddle = Saddle();
  ON_NurbsSurface bad_knots = saddle;
  bad_knots.SetKnot(0, 4, 9.0);  // out of order
  ON_NurbsSurface bad_weight = QuarterCylinder();
  bad_weight.SetWeight(1, 1, 0.0);
  const ON_NurbsSurface invalid[] = {ON_NurbsSurface(), ON_NurbsSurface(3, false, 2, 2, 2, 2), bad_knots, bad_weight};
  for (const ON_NurbsSurface& s : invalid) {
    EXPECT_FALSE(s.IsValid());
    EXPECT_EQ(s.IsoCurve(0, 0.5), nullptr);
    EXPECT_EQ(s.IsoCurve(1, 0.5), nullptr);
  }
  EXPECT_EQ(saddle.IsoCurve(2, 0.5), nullptr);
  EXPECT_EQ(saddle.IsoCurve(0, std::nan("")), nullptr);
  EXPECT_EQ(saddle.IsoCurve(0, ON_UNSET_VALUE), nullptr);
}

TEST(NurbsSurface, PeriodicPerDirection) {
  // Rows along u wrap (a periodic quadratic around a square, raised in v).
  ON_NurbsSurface s(3, false, 3, 2, 6, 2);
  const ON_3dPoint square[4] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
  for (int i = 0; i < 6; ++i)
    for (int j = 0; j < 2; ++j) s.SetCV(i, j, square[i % 4] + ON_3dVector(0, 0, j));
  for (int i = 0; i < 7; ++i) s.SetKnot(0, i, i);
  s.MakeClampedUniformKnotVector(1);
  ASSERT_TRUE(s.IsValid());
  EXPECT_TRUE(s.IsPeriodic(0));
  EXPECT_FALSE(s.IsPeriodic(1));
  EXPECT_FALSE(s.IsPeriodic(2));
  ExpectNear(s.PointAt(s.Domain(0)[0], 0.5), s.PointAt(s.Domain(0)[1], 0.5));
  s.SetCV(5, 1, ON_3dPoint(1, 0, 1.5));  // one row no longer wraps
  EXPECT_FALSE(s.IsPeriodic(0));
  EXPECT_FALSE(Saddle().IsPeriodic(0));
}

TEST(NurbsSurface, BoxTransformAndCopies) {
  ON_NurbsSurface cylinder = QuarterCylinder();
  ON_BoundingBox box = cylinder.BoundingBox();
  ASSERT_TRUE(box.IsValid());
  ExpectNear(box.m_min, ON_3dPoint(0, 0, 1));
  ExpectNear(box.m_max, ON_3dPoint(2, 2, 4));  // the control points' box
  const ON_NurbsSurface copy = cylinder;
  ASSERT_TRUE(cylinder.Translate(ON_3dVector(1, 2, -3)));
  ExpectNear(cylinder.PointAt(0.25, 0.25), copy.PointAt(0.25, 0.25) + ON_3dVector(1, 2, -3));
  ASSERT_TRUE(cylinder.Rotate(0.5 * ON_PI, ON_zaxis, ON_origin));
  const ON_3dPoint p = copy.PointAt(0.7, 0.1) + ON_3dVector(1, 2, -3);
  ExpectNear(cylinder.PointAt(0.7, 0.1), ON_3dPoint(-p.y, p.x, p.z));
  ON_3dPoint cv;
  ASSERT_TRUE(copy.GetCV(1, 0, cv));
  EXPECT_NEAR(cv.x, 2.0, 1e-15);  // divided by the weight
  EXPECT_EQ(copy.CV(3, 0), nullptr);
  EXPECT_EQ(copy.Knot(0, 99), 0.0);
}

TEST(PlaneSurface, PointsIsoCurvesAndCasts) {
  ON_ClippingPlaneSurface clip(ON_Plane(ON_3dPoint(1, 1, 1), ON_3dVector(0, 0, 1)));
  ON_PlaneSurface& plane = clip;
  plane.m_plane = ON_Plane(ON_3dPoint(1, 1, 1), ON_3dVector(1, 0, 0), ON_3dVector(0, 0, 1));  // the XZ plane at y 1
  ASSERT_TRUE(plane.SetExtents(0, ON_Interval(-2, 2)));
  ASSERT_TRUE(plane.SetExtents(1, ON_Interval(0, 3), true));
  EXPECT_FALSE(plane.SetExtents(1, ON_Interval(3, 0)));
  EXPECT_EQ(plane.Domain(0), ON_Interval(0, 1));
  EXPECT_EQ(plane.Domain(1), ON_Interval(0, 3));
  ExpectNear(plane.PointAt(0.5, 1.5), ON_3dPoint(1, 1, 2.5));
  ExpectNear(plane.PointAt(1.0, 3.0), ON_3dPoint(3, 1, 4));
  for (int dir = 0; dir < 2; ++dir) {
    std::unique_ptr<ON_Curve> iso(plane.IsoCurve(dir, dir == 0 ? 1.5 : 0.25));
    ASSERT_TRUE(ON_LineCurve::Cast(iso.get()));
    EXPECT_EQ(iso->Domain(), plane.Domain(dir));
    for (double t : {0.0, 0.5, 1.0}) {
      const double s = plane.Domain(dir).ParameterAt(t);
      ExpectNear(iso->PointAt(s), dir == 0 ? plane.PointAt(s, 1.5) : plane.PointAt(0.25, s));
    }
  }
  const ON_BoundingBox box = plane.BoundingBox();
  ExpectNear(box.m_min, ON_3dPoint(-1, 1, 1));
  ExpectNear(box.m_max, ON_3dPoint(3, 1, 4));
  // A derived class passes the plane test; a plane surface is no NURBS surface.
  const ON_Geometry* geometry = &clip;
  EXPECT_EQ(ON_PlaneSurface::Cast(geometry), &plane);
  EXPECT_EQ(ON_Surface::Cast(geometry), &plane);
  EXPECT_EQ(ON_NurbsSurface::Cast(geometry), nullptr);
  EXPECT_EQ(ON_Curve::Cast(geometry), nullptr);
  // Transformations: a rotation with uniform scale keeps the rectangle; a
  // shear cannot.
  ON_Xform scale(2);
  ON_PlaneSurface moved = plane;
  ASSERT_TRUE(moved.Transform(scale));
  ExpectNear(moved.PointAt(1.0, 3.0), ON_3dPoint(6, 2, 8));
  ON_Xform shear(1);
  shear.m_xform[0][2] = 1.0;
  EXPECT_FALSE(moved.Transform(shear));
  ExpectNear(moved.PointAt(1.0, 3.0), ON_3dPoint(6, 2, 8));
  ON_PlaneSurface invalid;
  invalid.m_domain[0].Set(1, 1);
  EXPECT_EQ(invalid.IsoCurve(0, 0.5), nullptr);
}

TEST(Brep, EdgesOnTheirCurvesAndCopies) {
  ON_Brep brep;
  brep.NewVertex(ON_3dPoint(0, 0, 0));
  brep.NewVertex(ON_3dPoint(4, 0, 0));
  brep.NewVertex(ON_3dPoint(0, 4, 0));
  const int line = brep.AddEdgeCurve(new ON_LineCurve(ON_3dPoint(-1, 0, 0), ON_3dPoint(5, 0, 0)));
  const int arc = brep.AddEdgeCurve(new ON_ArcCurve(ON_Arc(ON_Circle(ON_origin, 4.0), 0.5 * ON_PI)));
  EXPECT_EQ(brep.AddEdgeCurve(nullptr), -1);
  const ON_Interval inner(1.0, 5.0);
  brep.NewEdge(brep.m_V[0], brep.m_V[1], line, &inner);
  brep.NewEdge(brep.m_V[1], brep.m_V[2], arc);
  ASSERT_TRUE(brep.IsValid());
  EXPECT_EQ(brep.m_E[0].EdgeCurveOf(), brep.m_C3[line]);
  EXPECT_EQ(brep.m_E[0].ProxyCurveDomain(), inner);
  EXPECT_EQ(brep.m_E[1].Domain(), brep.m_C3[arc]->Domain());
  EXPECT_EQ(brep.m_V[1].EdgeCount(), 2);

  const ON_Brep copy = brep;
  ASSERT_TRUE(copy.IsValid());
  EXPECT_NE(copy.m_E[1].EdgeCurveOf(), brep.m_E[1].EdgeCurveOf());
  EXPECT_EQ(copy.m_E[1].EdgeCurveOf(), copy.m_C3[arc]);
  ON_Brep moved = std::move(brep);
  EXPECT_EQ(moved.m_E[0].EdgeCurveOf(), moved.m_C3[line]);

  // An edge past its curve's domain, or on a missing curve, is not valid.
  ON_Brep bad = copy;
  const ON_Interval past(1.0, 7.0);
  bad.NewEdge(bad.m_V[0], bad.m_V[2], line, &past);
  EXPECT_FALSE(bad.IsValid());
  ON_Brep missing = copy;
  missing.NewEdge(missing.m_V[0], missing.m_V[2], 7);
  EXPECT_FALSE(missing.IsValid());
  EXPECT_EQ(missing.m_E[2].EdgeCurveOf(), nullptr);

  // A transformation that an arc cannot follow leaves the brep as it was.
  ON_Xform squash(1);
  squash.m_xform[1][1] = 0.5;
  EXPECT_FALSE(moved.Transform(squash));
  EXPECT_EQ(moved.m_V[2].point, ON_3dPoint(0, 4, 0));
  ASSERT_TRUE(moved.Translate(ON_3dVector(0, 0, 1)));
  EXPECT_EQ(moved.m_V[2].point, ON_3dPoint(0, 4, 1));
  EXPECT_EQ(moved.m_C3[arc]->PointAtStart(), ON_3dPoint(4, 0, 1));
  EXPECT_EQ(moved.BoundingBox().m_min.x, -1.0);
}

TEST(SurfaceMemory, IsoCurvesAreNullAndCopiesThrowWhenMemoryRunsOut) {
  if (!test_support::AllocationLimit::Available()) GTEST_SKIP() << "no allocation hook under AddressSanitizer";
  const ON_NurbsSurface saddle = Saddle();
  const ON_PlaneSurface plane;
  long long allocations = 0;
  {
    test_support::AllocationLimit count;
    delete saddle.IsoCurve(0, 0.5);
    allocations = count.Allocations();
  }
  for (long long n = 1; n <= allocations; ++n) {
    test_support::AllocationLimit limit(test_support::AllocationLimit::FailOnly(n));
    EXPECT_EQ(saddle.IsoCurve(0, 0.5), nullptr) << n;
  }
  test_support::AllocationLimit limit(test_support::AllocationLimit::FailFrom(1));
  EXPECT_EQ(plane.IsoCurve(1, 0.5), nullptr);
  EXPECT_THROW(ON_NurbsSurface copy(saddle), std::bad_alloc);
  ON_NurbsSurface target;
  EXPECT_FALSE(target.Create(3, false, 2, 2, 2, 2));
  EXPECT_EQ(target.CVCount(), 0);
}
