// The sketch road: openNURBS points and curves, the iso-curves of NURBS
// surfaces and the edges of breps, as entities of a document's open sketch.
// Nothing here sets the last-error text: results alone report.

#include <atlbase.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "VLMGeo.h"
#include "VLMSWON.h"
#include "nurbs_arrays.h"
#include "roads.h"

namespace {

int Ok(HRESULT hr) { return hr == S_OK ? 1 : 0; }

HRESULT DrawPoint(IHostDocument* document, const ON_3dPoint& p, double scale) {
  CComPtr<IUnknown> point;  // not used
  return document->CreateSketchPoint(p.x * scale, p.y * scale, p.z * scale, &point);
}

HRESULT DrawLine(IHostDocument* document, const ON_3dPoint& a, const ON_3dPoint& b, double scale) {
  CComPtr<IUnknown> segment;
  return document->CreateSketchLine(a.x * scale, a.y * scale, a.z * scale, b.x * scale, b.y * scale, b.z * scale,
                                    &segment);
}

// The host refuses an arc whose ends lie within a millionth of its radius,
// or within its resolution of 1e-8 m, of each other: it takes them for one
// point. Twice that, so that rounding on either side cannot part the two.
bool HostTakesForOnePoint(const ON_3dPoint& centre, const ON_3dPoint& start, const ON_3dPoint& end) {
  const double radius = std::max(centre.DistanceTo(start), centre.DistanceTo(end));
  return start.DistanceTo(end) <= 2.0 * std::max(1e-6 * radius, 1e-8);
}

// A shape test answers 1 for yes and 0 for no; any other answer is one
// that could not be finished (the library ran out of memory), which tells
// nothing about the shape. False for that, else whether it said yes.
bool Decided(int answer, bool* yes) {
  *yes = answer == 1;
  return answer == 0 || answer == 1;
}

// The curve by the first shape test that says yes, as a spline when none
// does. A curve whose data cannot be read, or whose shape could not be told,
// is left out rather than drawn as a shape it may not have.
void DrawCurve(IHostDocument* document, const ON_NurbsCurve& curve, ON_Line& line, ON_Arc& arc,
               ON_Polyline& polyline, double scale) {
  if (!bridge_nurbs::HasWholeData(curve)) return;
  bool yes = false;
  if (!Decided(VLMCurve::IsLine(&curve, line), &yes)) return;
  if (yes) {
    DrawLine(document, line.from, line.to, scale);
    return;
  }
  if (!Decided(VLMCurve::IsArc(&curve, arc), &yes)) return;
  if (yes) {
    VLMSWON::CreateSketchArc(document, arc, scale);
    return;
  }
  if (!Decided(VLMCurve::IsPolyline(&curve, polyline), &yes)) return;
  if (yes)
    VLMSWON::CreateSketchPolyline(document, polyline, scale);
  else
    VLMSWON::CreateSketchSpline(document, curve, scale);
}

// The iso-curve of direction `dir` at `value`, as a NURBS curve, onto the
// list. A value at which the surface gives no curve, or none with a NURBS
// form, adds nothing: the reused form would still hold the curve before.
void AddIsoCurve(const ON_Surface& surface, int dir, double value, ON_NurbsCurve& form,
                 ON_ClassArray<ON_NurbsCurve>& curves) {
  const std::unique_ptr<ON_Curve> iso(surface.IsoCurve(dir, value));
  if (!iso || !iso->GetNurbForm(form, 0.0, nullptr)) return;
  curves.Append(form);
}

// The iso-curves of direction `dir` at the start of `domain`, then on by
// steps of its length over `cvCount`, summed, while below the end, and at
// the end itself.
void AddIsoCurves(const ON_Surface& surface, int dir, const ON_Interval& domain, int cvCount, ON_NurbsCurve& form,
                  ON_ClassArray<ON_NurbsCurve>& curves) {
  const double end = domain[1];
  const double step = domain.Length() / static_cast<double>(cvCount);
  for (double t = domain[0]; end > t;) {
    AddIsoCurve(surface, dir, t, form, curves);
    const double next = t + step;
    if (!(next > t)) break;  // a step lost to rounding would never reach the end
    t = next;
  }
  AddIsoCurve(surface, dir, end, form, curves);
}

}  // namespace

HRESULT VLMSWON::CreateSketchPoint(IHostDocument* document, const ON_3dPoint& point, double scale) {
  return DrawPoint(document, point, scale);
}

int VLMSWON::CreateSketchLine(IHostDocument* document, const ON_Line& line, double scale) {
  return Ok(DrawLine(document, line.from, line.to, scale));
}

int VLMSWON::CreateSketchPoints(IHostDocument* document, const ON_3dPointArray& points, double scale,
                                int showProgress) {
  return bridge::Contain(0, [&] {
    return bridge::EachItem(L"Creating points", points.Count(), showProgress, [&](int i) {
      DrawPoint(document, points[i], scale);
      return 1;
    });
  });
}

int VLMSWON::CreateSketchPolyline(IHostDocument* document, const ON_Polyline& polyline, double scale) {
  for (int i = 0; i + 1 < polyline.Count(); ++i)
    if (DrawLine(document, polyline[i], polyline[i + 1], scale) != S_OK) return 0;
  return 1;
}

int VLMSWON::CreateSketchSplineThroughPoints(IHostDocument* document, const ON_3dPointArray& points,
                                             double scale) {
  return bridge::Contain(0, [&] {
    const int count = points.Count();
    std::vector<double> coordinates(3 * static_cast<size_t>(count));
    double* out = coordinates.data();
    for (int i = 0; i < count; ++i) out = bridge_nurbs::WriteScaledPoint(points[i], scale, out);
    CComPtr<IUnknown> segment;
    return Ok(document->CreateSketchSplineByPoints(count, coordinates.data(), &segment));
  });
}

int VLMSWON::CreateSketchSpline(IHostDocument* document, const ON_NurbsCurve& curve, double scale) {
  return bridge::Contain(0, [&] {
    // An empty curve, such as the untouched result of a failed conversion,
    // has no knot vector to give.
    if (!bridge_nurbs::HasWholeData(curve)) return 0;
    if (curve.IsClosed()) {
      ON_3dPointArray points;
      VLMNurbsCurve::GetPoints(curve, points, 15.0);
      return CreateSketchSplineThroughPoints(document, points, scale);
    }
    const int order = curve.Order();
    const int count = curve.CVCount();
    const LONG properties[4] = {3, order, count, curve.IsPeriodic() ? 1 : 0};
    std::vector<double> knots(static_cast<size_t>(order) + static_cast<size_t>(count));
    bridge_nurbs::WriteWholeKnots(curve.m_knot, curve.KnotCount(), knots.data());
    std::vector<double> controlPoints(3 * static_cast<size_t>(count));
    bridge_nurbs::WriteScaledPoints(curve, scale, controlPoints.data());
    CComPtr<IUnknown> segment;
    return Ok(document->CreateSketchSplineByNurbs(properties, knots.data(), controlPoints.data(), &segment));
  });
}

int VLMSWON::CreateSketchArc(IHostDocument* document, const ON_Arc& arc, double scale) {
  return bridge::Contain(0, [&] {
    if (arc.IsInPlane(ON_Plane::World_xy, 1e-12)) {
      const ON_3dPoint c = arc.Center() * scale;
      const ON_3dPoint s = arc.StartPoint() * scale;
      const ON_3dPoint e = arc.EndPoint() * scale;
      // Ends the host takes for one point: an arc a hair short of a full
      // turn is its circle, and a sliver of one its chord.
      const bool oneEnd = HostTakesForOnePoint(c, s, e);
      CComPtr<IUnknown> segment;
      if (arc.IsCircle() || (oneEnd && arc.AngleRadians() > ON_PI))
        return Ok(document->CreateSketchCircle(c.x, c.y, c.z, arc.Radius() * scale, &segment));
      if (oneEnd) return Ok(DrawLine(document, s, e, 1.0));
      const short direction = arc.Normal().z > 0.0 ? 1 : -1;
      return Ok(document->CreateSketchArc(c.x, c.y, c.z, s.x, s.y, s.z, e.x, e.y, e.z, direction, &segment));
    }
    ON_NurbsCurve nurbs;
    arc.GetNurbForm(nurbs);  // an invalid arc leaves it empty, which draws nothing
    return CreateSketchSpline(document, nurbs, scale);
  });
}

int VLMSWON::CreateSketchCurves(IHostDocument* document, const ON_ClassArray<ON_NurbsCurve>& curves, double scale,
                                int showProgress) {
  return bridge::Contain(0, [&] {
    ON_Line line;
    ON_Arc arc;
    ON_Polyline polyline;
    // A curve that fails, the host's refusal or out of memory, is skipped.
    return bridge::EachItem(L"Creating curves", curves.Count(), showProgress, [&](int i) {
      DrawCurve(document, curves[i], line, arc, polyline, scale);
      return 1;
    });
  });
}

int VLMSWON::CreateSurfaceCurves(IHostDocument* document, const ON_NurbsSurface& surface, double scale,
                                 int showProgress) {
  return bridge::Contain(0, [&] {
    // Even the domains of a surface whose data are not whole cannot be read.
    if (!bridge_nurbs::HasWholeData(surface)) return 0;
    // Every curve is collected before the first is drawn.
    ON_ClassArray<ON_NurbsCurve> curves;
    ON_NurbsCurve form;  // reused for each iso-curve
    AddIsoCurves(surface, 0, surface.Domain(1), surface.CVCount(1), form, curves);
    AddIsoCurves(surface, 1, surface.Domain(0), surface.CVCount(0), form, curves);
    return CreateSketchCurves(document, curves, scale, showProgress);
  });
}

int VLMSWON::CreateSketchFromSurfaces(IHostDocument* document, const ON_ClassArray<ON_NurbsSurface>& surfaces,
                                      double scale, int showProgress) {
  return bridge::Contain(0, [&] {
    return bridge::EachItem(L"Creating surface curves", surfaces.Count(), showProgress,
                            [&](int i) { return CreateSurfaceCurves(document, surfaces[i], scale, 0); });
  });
}

int VLMSWON::CreateBrepCurves(IHostDocument* document, const ON_Brep& brep, double scale, int showProgress) {
  return bridge::Contain(0, [&] {
    ON_ClassArray<ON_NurbsCurve> curves;
    VLMBrep::GetEdgeCurves(brep, curves);
    return CreateSketchCurves(document, curves, scale, showProgress);
  });
}

int VLMSWON::CreateSketchFromBreps(IHostDocument* document, const ON_ClassArray<ON_Brep>& breps, double scale,
                                   int showProgress) {
  return bridge::Contain(0, [&] {
    return bridge::EachItem(L"Creating brep curves", breps.Count(), showProgress,
                            [&](int i) { return CreateBrepCurves(document, breps[i], scale, 0); });
  });
}
