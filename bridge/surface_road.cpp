// The surface road: plane and NURBS surfaces into faces of host bodies,
// trimmed by a loop of curves or bounded by their domain, and a NURBS
// surface into a body of its own, closed downwards into a solid on request.
//
// Each entry runs its work through Guarded; the work calls the work of the
// others directly, so that running out of memory anywhere ends the outermost
// entry with 0 and its text. A host that answers E_OUTOFMEMORY is taken as
// the same: a face it had not the memory for must not leave a sheet passed
// off as the solid asked for.

#include <atlbase.h>

#include <memory>
#include <new>
#include <vector>

#include "VLMSWON.h"
#include "document_steps.h"
#include "nurbs_arrays.h"
#include "roads.h"

namespace {

const wchar_t kNurbsOutOfMemory[] = L"Out of memory while creating a nurbs surface";
const wchar_t kPlaneOutOfMemory[] = L"Out of memory while creating a plane surface";
const wchar_t kLoopOutOfMemory[] = L"Out of memory while adding a trimming loop";
const wchar_t kFaceOutOfMemory[] = L"Out of memory while creating a face from a surface";
const wchar_t kBoxOutOfMemory[] = L"Out of memory while closing the solid under a surface";
const wchar_t kBodyOutOfMemory[] = L"Out of memory while creating the body of a surface";

// Only S_OK is success; a host out of memory is our own running out of it.
bool Succeeded(HRESULT hr) { return bridge::HostChecked(hr) == S_OK; }

// The surface the host made, handed on with the host's reference; a call
// that failed, or gave no surface, has the text given for it.
int HandOn(HRESULT hr, CComPtr<IHostSurface>& hostSurface, IHostSurface** made, const wchar_t* failedText,
           const wchar_t* noSurfaceText) {
  if (!Succeeded(hr)) {
    VLMSWON::SetError(failedText);
    return 0;
  }
  if (!hostSurface) {
    VLMSWON::SetError(noSurfaceText);
    return 0;
  }
  *made = hostSurface.Detach();
  return 1;
}

// A surface whose data are not whole is refused before any array is read.
bool RefuseBrokenSurface(const ON_NurbsSurface& surface, const wchar_t* failed) {
  CString why;
  if (bridge_nurbs::HasWholeData(surface, &why)) return false;
  CString text;
  text.Format(L"%s: %s", failed, why.GetString());
  VLMSWON::SetError(text);
  return true;
}

int MakeNurbsSurface(IHostBody* body, IHostSurface** made, const ON_NurbsSurface& surface, double scale) {
  *made = nullptr;
  if (RefuseBrokenSurface(surface, L"Unable to create nurbs surface")) return 0;
  const int nu = surface.CVCount(0), nv = surface.CVCount(1);
  const LONG properties[8] = {surface.Order(0), surface.Order(1), nv, nu,
                              surface.IsPeriodic(0) ? 1 : 0, surface.IsPeriodic(1) ? 1 : 0, 3, 0};
  std::vector<double> uKnots(static_cast<size_t>(surface.Order(0)) + nu);
  std::vector<double> vKnots(static_cast<size_t>(surface.Order(1)) + nv);
  std::vector<double> points(3 * static_cast<size_t>(nu) * static_cast<size_t>(nv));
  bridge_nurbs::WriteWholeKnots(surface.m_knot[0], surface.KnotCount(0), uKnots.data());
  bridge_nurbs::WriteWholeKnots(surface.m_knot[1], surface.KnotCount(1), vKnots.data());
  bridge_nurbs::WriteScaledPoints(surface, scale, points.data());

  CComPtr<IHostSurface> hostSurface;
  const HRESULT hr = body->CreateBSplineSurface(properties, uKnots.data(), vKnots.data(), points.data(), &hostSurface);
  return HandOn(hr, hostSurface, made, L"Unable to create nurbs surface", L"Unable to create valid nurbs surface");
}

int MakePlaneSurface(IHostBody* body, IHostSurface** made, const ON_PlaneSurface& surface, double scale) {
  *made = nullptr;
  const ON_Plane& plane = surface.m_plane;
  const double root[3] = {plane.origin.x * scale, plane.origin.y * scale, plane.origin.z * scale};
  const double normal[3] = {plane.zaxis.x, plane.zaxis.y, plane.zaxis.z};
  CComPtr<IHostSurface> hostSurface;
  const HRESULT hr = body->CreatePlaneSurface(root, normal, &hostSurface);
  return HandOn(hr, hostSurface, made, L"Unable to create plane surface", L"Unable to create valid plane surface");
}

int AddLoop(IHostSurface* surface, const ON_ClassArray<ON_NurbsCurve>& curves, double scale) {
  const int n = curves.Count();
  if (n == 0) {
    VLMSWON::SetError(L"Unable to add trimming loop: the loop has no curve");
    return 0;
  }
  std::vector<LONG> orders(n), dimensions(n), periodic(n), knotCounts(n), counts(n);
  size_t knotTotal = 0, pointTotal = 0;
  for (int i = 0; i < n; ++i) {
    const ON_NurbsCurve& curve = curves[i];
    CString why;
    if (!bridge_nurbs::HasWholeData(curve, &why)) {
      CString text;
      text.Format(L"Unable to add trimming loop: curve %d has %s", i, why.GetString());
      VLMSWON::SetError(text);
      return 0;
    }
    orders[i] = curve.Order();
    dimensions[i] = 3;
    periodic[i] = curve.IsPeriodic() ? 1 : 0;
    knotCounts[i] = curve.Order() + curve.CVCount();
    counts[i] = curve.CVCount();
    knotTotal += static_cast<size_t>(knotCounts[i]);
    pointTotal += 3 * static_cast<size_t>(counts[i]);
  }
  dimensions[0] = -3;

  std::vector<double> knots(knotTotal), points(pointTotal);
  double* k = knots.data();
  double* p = points.data();
  for (int i = 0; i < n; ++i) {
    k = bridge_nurbs::WriteWholeKnots(curves[i].m_knot, curves[i].KnotCount(), k);
    p = bridge_nurbs::WriteScaledPoints(curves[i], scale, p);
  }
  if (!Succeeded(surface->AddTrimmingLoop(n, orders.data(), dimensions.data(), periodic.data(), knotCounts.data(),
                                          counts.data(), knots.data(), points.data(), nullptr))) {
    VLMSWON::SetError(L"Unable to add trimming loop");
    return 0;
  }
  return 1;
}

int MakeFace(IHostBody* body, const ON_Surface& surface, const ON_ClassArray<ON_NurbsCurve>& curves, double scale) {
  CComPtr<IHostSurface> hostSurface;  // released on every path
  int made = 0;
  if (const ON_PlaneSurface* plane = ON_PlaneSurface::Cast(&surface)) {
    made = MakePlaneSurface(body, &hostSurface, *plane, scale);
  } else if (const ON_NurbsSurface* nurbs = ON_NurbsSurface::Cast(&surface)) {
    made = MakeNurbsSurface(body, &hostSurface, *nurbs, scale);
  } else {
    // No host surface to trim or bound: the host would act on whichever
    // surface the body made last.
    VLMSWON::SetError(L"Unable to create surface: it is neither a plane nor a nurbs surface");
    return 0;
  }
  if (!made) return 0;

  if (curves.Count() > 0) {
    if (!AddLoop(hostSurface, curves, scale)) return 0;
    VARIANT_BOOL ok = VARIANT_FALSE;
    if (!Succeeded(body->CreateTrimmedSurface(&ok)) || ok == VARIANT_FALSE) {
      VLMSWON::SetError(L"Unable to create trimmed surface");
      return 0;
    }
    return 1;
  }

  const ON_Interval u = surface.Domain(0), v = surface.Domain(1);
  const double range[4] = {u[0], u[1], v[0], v[1]};
  if (!Succeeded(body->CreateBoundedSurface(1, 1, range))) {
    VLMSWON::SetError(L"Unable to create bounded surface");
    return 0;
  }
  return 1;
}

// The edges of the closed solid in NURBS form. A conversion that fails on
// input it accepts has run out of memory.
void TakeNurbForm(const ON_Curve& curve, ON_NurbsCurve& edge) {
  if (!curve.GetNurbForm(edge, 0.0, nullptr)) throw std::bad_alloc();
}

// From the surface's iso-curve, which is the caller's to delete once its
// form is taken. False for a surface that has none.
bool IsoEdge(const ON_NurbsSurface& surface, int dir, double c, ON_NurbsCurve& edge) {
  const std::unique_ptr<ON_Curve> iso(surface.IsoCurve(dir, c));
  if (!iso) {
    if (surface.IsValid()) throw std::bad_alloc();
    return false;
  }
  TakeNurbForm(*iso, edge);
  return true;
}

// False for ends that coincide or are not finite.
bool LineEdge(const ON_3dPoint& from, const ON_3dPoint& to, ON_NurbsCurve& edge) {
  const ON_LineCurve line(ON_Line(from, to));
  if (!line.IsValid()) return false;
  TakeNurbForm(line, edge);
  return true;
}

int MakeBox(IHostBody* body, const ON_NurbsSurface& surface, double depth, int flatBottom, double scale) {
  // Only a surface in space can be moved down.
  if (surface.Dimension() != 3) {
    VLMSWON::SetError(L"Unable to close the solid under the surface: the surface is not three-dimensional");
    return 0;
  }
  if (RefuseBrokenSurface(surface, L"Unable to close the solid under the surface")) return 0;
  const ON_Interval u = surface.Domain(0), v = surface.Domain(1);
  ON_NurbsCurve t[4], b[4], side[4];
  if (!IsoEdge(surface, 0, v[0], t[0]) || !IsoEdge(surface, 1, u[1], t[1]) || !IsoEdge(surface, 0, v[1], t[2]) ||
      !IsoEdge(surface, 1, u[0], t[3])) {
    VLMSWON::SetError(L"Unable to close the solid under the surface: the surface is not valid");
    return 0;
  }
  const ON_3dVector down(0.0, 0.0, -depth);
  bool edges = true;
  const double z0 = surface.BoundingBox().m_min.z;
  for (int k = 0; k < 4 && edges; ++k) {
    if (flatBottom) {
      ON_3dPoint from = t[k].PointAtStart(), to = t[k].PointAtEnd();
      from.z = z0;
      to.z = z0;
      edges = LineEdge(from, to, b[k]);
    } else {
      b[k] = t[k];
    }
    b[k].Translate(down);
  }
  edges = edges && LineEdge(t[0].PointAtStart(), b[0].PointAtStart(), side[0]) &&
          LineEdge(t[1].PointAtStart(), b[1].PointAtStart(), side[1]) &&
          LineEdge(t[2].PointAtEnd(), b[2].PointAtEnd(), side[2]) &&
          LineEdge(t[3].PointAtEnd(), b[3].PointAtEnd(), side[3]);
  if (!edges) {
    VLMSWON::SetError(
        L"Unable to close the solid under the surface: a straight edge of it has coinciding or non-finite ends");
    return 0;
  }

  // Side k runs along T(k), down the vertical edge at its corner, back along
  // B(k) and up the next vertical edge; the normals are the axes.
  const ON_3dVector normals[4] = {ON_3dVector(0, -1, 0), ON_3dVector(1, 0, 0), ON_3dVector(0, 1, 0),
                                  ON_3dVector(-1, 0, 0)};
  ON_ClassArray<ON_NurbsCurve> loop;
  for (int k = 0; k < 4; ++k) {
    loop.Empty();
    loop.Append(t[k]);
    loop.Append(side[k]);
    loop.Append(b[k]);
    loop.Append(side[(k + 1) % 4]);
    const ON_PlaneSurface plane(ON_Plane(t[k].PointAtStart(), normals[k]));
    if (!MakeFace(body, plane, loop, scale)) return 0;
  }

  loop.Empty();
  if (flatBottom) {
    for (int k = 0; k < 4; ++k) loop.Append(b[k]);
    const ON_PlaneSurface bottom(ON_Plane(b[0].PointAtStart(), ON_3dVector(0, 0, -1)));
    return MakeFace(body, bottom, loop, scale);
  }
  ON_NurbsSurface bottom(surface);
  bottom.Translate(down);
  return MakeFace(body, bottom, loop, scale);
}

int MakeBody(IHostPartDocument* part, const ON_NurbsSurface& surface, double depth, int flatBottom, double scale) {
  CComPtr<IHostBody> body;
  if (!Succeeded(part->NewBody(&body)) || !body) {
    VLMSWON::SetError(L"Unable to create new body");
    return 0;
  }
  const ON_ClassArray<ON_NurbsCurve> none;
  if (!MakeFace(body, surface, none, scale)) return 0;
  // A side the host refuses leaves the body open: the sewing below says
  // what it became, and the side's text stands.
  if (depth > 0) MakeBox(body, surface, depth, flatBottom, scale);

  CComPtr<IHostBody> sewn;
  // A host that reports success without a body has made none.
  if (!Succeeded(body->CreateBodyFromSurfaces(&sewn)) || !sewn) {
    VLMSWON::SetError(L"Unable to create body from surface");
    return 0;
  }
  return 1;
}

}  // namespace

int VLMSWON::CreateNurbsSurface(IHostBody* body, IHostSurface** surface, const ON_NurbsSurface& nurbs,
                                double scale) {
  return Guarded(kNurbsOutOfMemory, [&] { return MakeNurbsSurface(body, surface, nurbs, scale); });
}

int VLMSWON::CreatePlaneSurface(IHostBody* body, IHostSurface** surface, const ON_PlaneSurface& plane,
                                double scale) {
  return Guarded(kPlaneOutOfMemory, [&] { return MakePlaneSurface(body, surface, plane, scale); });
}

int VLMSWON::AddTrimmingLoops(IHostSurface* surface, const ON_ClassArray<ON_NurbsCurve>& curves, double scale) {
  return Guarded(kLoopOutOfMemory, [&] { return AddLoop(surface, curves, scale); });
}

int VLMSWON::CreateTrimmedSurface(IHostBody* body, const ON_Surface& surface,
                                  const ON_ClassArray<ON_NurbsCurve>& curves, double scale) {
  return Guarded(kFaceOutOfMemory, [&] { return MakeFace(body, surface, curves, scale); });
}

int VLMSWON::CreateBoxedSolidFromSurface(IHostBody* body, const ON_NurbsSurface& surface, double depth,
                                         int flatBottom, double scale) {
  return Guarded(kBoxOutOfMemory, [&] { return MakeBox(body, surface, depth, flatBottom, scale); });
}

int VLMSWON::CreateBodyFromSurface(IHostPartDocument* part, const ON_NurbsSurface& surface, double depth,
                                   int flatBottom, double scale) {
  return Guarded(kBodyOutOfMemory, [&] { return MakeBody(part, surface, depth, flatBottom, scale); });
}
