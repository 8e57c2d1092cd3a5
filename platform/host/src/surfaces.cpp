// Surfaces on bodies: B-spline and plane surfaces, a plane's trimming loop,
// and the faces CreateTrimmedSurface and CreateBoundedSurface make of the
// surface made last on a body.
#include "state.h"

#include "faces.h"
#include "nurbs.h"
#include "surface_faces.h"

#include <cmath>

namespace stand_in {
namespace {

const char* const kDirection[2] = {"u", "v"};
const char* const kAxis[3] = {"x", "y", "z"};
const char* const kBodyFull = "the body holds as many faces as it can";

// Records an array whose length the call's other arguments give: known,
// or null, or else not read.
void RecordArray(CallScope& call, const double* values, size_t count, bool known) {
  if (known || !values) call.Doubles(values, count);
  else call.Unread();
}
void RecordArray(CallScope& call, const LONG* values, size_t count, bool known) {
  if (known || !values) call.Longs(values, count);
  else call.Unread();
}

// Points of three values each, all finite; `name(i)` names point i.
std::string ReadPoints(const double* xyz, size_t count, const std::function<std::string(size_t)>& name,
                       std::vector<Point3>* out) {
  out->resize(count);
  for (size_t i = 0; i < count; ++i) {
    for (int a = 0; a < 3; ++a) {
      const double v = xyz[3 * i + static_cast<size_t>(a)];
      if (!std::isfinite(v)) return name(i) + "." + kAxis[a] + " is not a finite number";
      if (std::fabs(v) > kFarthestPoint)
        return name(i) + "." + kAxis[a] + " is " + NumberText(v) + " m, beyond the host's model space of " +
               NumberText(kFarthestPoint) + " m";
    }
    (*out)[i] = {xyz[3 * i], xyz[3 * i + 1], xyz[3 * i + 2]};
  }
  return {};
}

// Orders, counts and periodic flags from the property array: order in u,
// order in v, control points in v, control points in u, periodic in u,
// periodic in v, the dimension 3, 0.
std::string ReadProperties(const LONG* p, Surface* s) {
  const LONG order[2] = {p[0], p[1]}, count[2] = {p[3], p[2]}, periodic[2] = {p[4], p[5]};
  for (int d = 0; d < 2; ++d) {
    const std::string dir = kDirection[d];
    if (order[d] < 2) return "the order in " + dir + " is " + std::to_string(order[d]) + "; a B-spline has order 2 or more";
    if (order[d] > kMostOrder)
      return "the order in " + dir + " is " + std::to_string(order[d]) + "; the host takes orders up to " +
             std::to_string(kMostOrder);
    if (count[d] < order[d])
      return "the surface has " + std::to_string(count[d]) + " control points in " + dir + ", fewer than its order " +
             std::to_string(order[d]);
    if (periodic[d] != 0 && periodic[d] != 1)
      return "properties[" + std::to_string(4 + d) + "] (periodic in " + dir + ") is " + std::to_string(periodic[d]) +
             "; it is 0 or 1";
  }
  if (p[6] != 3) return "properties[6] (the dimension) is " + std::to_string(p[6]) + "; it is 3";
  if (p[7] != 0) return "properties[7] is " + std::to_string(p[7]) + "; it is 0";
  const uint64_t points = static_cast<uint64_t>(count[0]) * static_cast<uint64_t>(count[1]);
  if (points > kMostControlPoints)
    return "the surface has " + std::to_string(points) + " control points; the host takes at most " +
           std::to_string(kMostControlPoints);
  for (int d = 0; d < 2; ++d) {
    s->order[d] = order[d];
    s->count[d] = count[d];
    s->periodic[d] = periodic[d] == 1;
  }
  return {};
}

std::string WrapText(const std::string& what, const std::string& a, const std::string& b) {
  return what + " is periodic, but its control points " + a + " and " + b +
         " differ: a periodic B-spline repeats its first order - 1 control points at its end";
}

// The B-spline surface the arguments describe, or why the host refuses it.
std::string ReadBSpline(const LONG* properties, const double* uKnots, const double* vKnots,
                        const double* controlPoints, Surface* s) {
  s->kind = SurfaceKind::BSpline;
  std::string why = ReadProperties(properties, s);
  if (!why.empty()) return why;
  const double* given[2] = {uKnots, vKnots};
  for (int d = 0; d < 2; ++d) {
    const std::string name = std::string(kDirection[d]) + "Knots";
    if (!given[d]) return name + " is null";
    s->knots[d].assign(given[d], given[d] + s->order[d] + s->count[d]);
    why = CheckKnots(SurfaceBasis(*s, d), name, [&](int i) { return name + "[" + std::to_string(i) + "]"; });
    if (!why.empty()) return why;
  }
  if (!controlPoints) return "controlPoints is null";
  const size_t nu = static_cast<size_t>(s->count[0]), nv = static_cast<size_t>(s->count[1]);
  auto place = [nu](size_t i) { return "(" + std::to_string(i % nu) + ", " + std::to_string(i / nu) + ")"; };
  auto pointName = [&](size_t i) { return "control point " + place(i); };
  why = ReadPoints(controlPoints, nu * nv, pointName, &s->points);
  if (!why.empty()) return why;
  const double size = BoxSize(s->points.data(), s->points.size());
  if (size <= kResolution) return "all control points coincide";
  const double tolerance = Tolerance(kSewingTolerance, size);
  for (size_t j = 0; s->periodic[0] && j < nv; ++j) {
    const int i = WrapMismatch(&s->points[j * nu], 1, s->count[0], s->order[0], tolerance);
    if (i >= 0)
      return WrapText("the surface in u", place(j * nu + static_cast<size_t>(i)),
                      place(j * nu + static_cast<size_t>(i + s->count[0] - s->order[0] + 1)));
  }
  for (size_t i = 0; s->periodic[1] && i < nu; ++i) {
    const int j = WrapMismatch(&s->points[i], nu, s->count[1], s->order[1], tolerance);
    if (j >= 0)
      return WrapText("the surface in v", place(static_cast<size_t>(j) * nu + i),
                      place(static_cast<size_t>(j + s->count[1] - s->order[1] + 1) * nu + i));
  }
  return {};
}

// The curves of a trimming loop, as many as `count`, or why the host
// refuses them. The arrays are there and `count` within the host's limit.
std::string ReadLoop(LONG count, const LONG* orders, const LONG* dimensions, const LONG* periodic,
                     const LONG* knotCounts, const LONG* controlPointCounts, const double* knots,
                     const double* controlPoints, std::vector<NurbsCurve>* loop) {
  const size_t n = static_cast<size_t>(count);
  uint64_t totalPoints = 0;
  for (size_t i = 0; i < n; ++i) {
    const std::string at = "[" + std::to_string(i) + "]";
    const LONG want = i == 0 ? -3 : 3;
    if (dimensions[i] != want)
      return "dimensions" + at + " is " + std::to_string(dimensions[i]) +
             "; a loop's first curve has -3 and every other curve 3";
    if (orders[i] < 2 || orders[i] > kMostOrder)
      return "orders" + at + " is " + std::to_string(orders[i]) + "; the host takes orders 2 to " +
             std::to_string(kMostOrder);
    if (periodic[i] != 0 && periodic[i] != 1) return "periodic" + at + " is " + std::to_string(periodic[i]) + "; it is 0 or 1";
    if (controlPointCounts[i] < orders[i])
      return "controlPointCounts" + at + " is " + std::to_string(controlPointCounts[i]) + ", fewer than the order " +
             std::to_string(orders[i]);
    if (static_cast<int64_t>(knotCounts[i]) != static_cast<int64_t>(orders[i]) + controlPointCounts[i])
      return "knotCounts" + at + " is " + std::to_string(knotCounts[i]) + "; a curve of order " +
             std::to_string(orders[i]) + " with " + std::to_string(controlPointCounts[i]) + " control points has " +
             std::to_string(static_cast<int64_t>(orders[i]) + controlPointCounts[i]) + " knots";
    totalPoints += static_cast<uint64_t>(controlPointCounts[i]);
    if (totalPoints > kMostControlPoints)
      return "the loop has more than " + std::to_string(kMostControlPoints) +
             " control points, more than the host takes";
  }
  loop->resize(n);
  size_t knot = 0, point = 0;
  for (size_t i = 0; i < n; ++i) {
    NurbsCurve& c = (*loop)[i];
    const std::string curve = "curve " + std::to_string(i);
    c.order = orders[i];
    c.periodic = periodic[i] == 1;
    c.knots.assign(knots + knot, knots + knot + knotCounts[i]);
    const Basis b{c.order, controlPointCounts[i], c.knots.data()};
    const size_t firstKnot = knot;
    std::string why = CheckKnots(b, "the knots of " + curve, [&](int k) {
      return "knots[" + std::to_string(firstKnot + static_cast<size_t>(k)) + "] (knot " + std::to_string(k) + " of " +
             curve + ")";
    });
    if (!why.empty()) return why;
    const size_t firstPoint = point;
    why = ReadPoints(controlPoints + 3 * point, static_cast<size_t>(controlPointCounts[i]),
                     [&](size_t k) {
                       return "controlPoints[" + std::to_string(firstPoint + k) + "] (control point " +
                              std::to_string(k) + " of " + curve + ")";
                     },
                     &c.points);
    if (!why.empty()) return why;
    if (c.periodic) {
      const double tolerance = Tolerance(kSewingTolerance, BoxSize(c.points.data(), c.points.size()));
      const int k = WrapMismatch(c.points.data(), 1, b.count, b.order, tolerance);
      if (k >= 0) return WrapText(curve, std::to_string(k), std::to_string(k + b.count - b.order + 1));
    }
    knot += static_cast<size_t>(knotCounts[i]);
    point += static_cast<size_t>(controlPointCounts[i]);
  }
  return {};
}

}  // namespace

HRESULT BodyObject::MakeSurface(CallScope& call, Surface&& surface, IHostSurface** out) {
  body_.surfaces.push_back(std::move(surface));
  SurfaceObject* object = nullptr;
  try {
    object = host_.Make<SurfaceObject>(document_, body_, index_, body_.surfaces.size() - 1);
  } catch (...) {
    body_.surfaces.pop_back();
    throw;
  }
  *out = HandOut<IHostSurface>(object);
  return call.Finish(S_OK);
}

Surface* BodyObject::LastSurface(std::string* why) {
  if (body_.surfaces.empty()) {
    *why = "no surface was made on the body";
    return nullptr;
  }
  Surface& s = body_.surfaces.back();
  if (s.face) {
    *why = "the surface made last is a face already";
    return nullptr;
  }
  return &s;
}

STDMETHODIMP BodyObject::CreateBSplineSurface(const LONG* properties, const double* uKnots, const double* vKnots,
                                              const double* controlPoints, IHostSurface** surface) {
  return ComNoThrow([&] {
    CallScope call(host_, Op::BodyCreateBSplineSurface, *this);
    Surface made;
    const std::string sizes = properties ? ReadProperties(properties, &made) : "properties is null";
    const bool known = sizes.empty();
    call.Longs(properties, 8);
    for (int d = 0; d < 2; ++d)
      RecordArray(call, d == 0 ? uKnots : vKnots, known ? static_cast<size_t>(made.order[d] + made.count[d]) : 0,
                  known);
    RecordArray(call, controlPoints, known ? 3 * static_cast<size_t>(made.count[0]) * made.count[1] : 0, known);
    call.Out(surface, nullptr);
    if (call.Faulted()) return call.Fault();
    if (!surface) return call.Finish(E_POINTER, "surface is null");
    if (body_.kind != BodyKind::Collector) return call.Finish(E_FAIL, "a sewn body takes no more faces");
    if (!known) return call.Finish(E_FAIL, sizes);
    const std::string why = ReadBSpline(properties, uKnots, vKnots, controlPoints, &made);
    if (!why.empty()) return call.Finish(E_FAIL, why);
    return MakeSurface(call, std::move(made), surface);
  });
}

// The normal need not be of unit length: the host takes its direction.
STDMETHODIMP BodyObject::CreatePlaneSurface(const double* rootPoint, const double* normal, IHostSurface** surface) {
  return ComNoThrow([&] {
    CallScope call(host_, Op::BodyCreatePlaneSurface, *this);
    call.Doubles(rootPoint, 3).Doubles(normal, 3);
    call.Out(surface, nullptr);
    if (call.Faulted()) return call.Fault();
    if (!surface) return call.Finish(E_POINTER, "surface is null");
    if (body_.kind != BodyKind::Collector) return call.Finish(E_FAIL, "a sewn body takes no more faces");
    if (!rootPoint) return call.Finish(E_FAIL, "rootPoint is null");
    if (!normal) return call.Finish(E_FAIL, "normal is null");
    std::vector<Point3> root;
    const std::string why = ReadPoints(rootPoint, 1, [](size_t) { return std::string("rootPoint"); }, &root);
    if (!why.empty()) return call.Finish(E_FAIL, why);
    for (int a = 0; a < 3; ++a)
      if (!std::isfinite(normal[a]))
        return call.Finish(E_FAIL, std::string("normal.") + kAxis[a] + " is not a finite number");
    const double most = std::max({std::fabs(normal[0]), std::fabs(normal[1]), std::fabs(normal[2])});
    if (most == 0) return call.Finish(E_FAIL, "the normal is zero");
    const double x = normal[0] / most, y = normal[1] / most, z = normal[2] / most;
    const double length = std::sqrt(x * x + y * y + z * z);
    Surface made;
    made.kind = SurfaceKind::Plane;
    made.root = root[0];
    made.normal = {x / length, y / length, z / length};
    return MakeSurface(call, std::move(made), surface);
  });
}

STDMETHODIMP BodyObject::CreateTrimmedSurface(VARIANT_BOOL* ok) {
  return ComNoThrow([&] {
    CallScope call(host_, Op::BodyCreateTrimmedSurface, *this);
    call.Out(ok, VARIANT_FALSE);
    if (call.Faulted()) return call.Fault();
    if (!ok) return call.Finish(E_POINTER, "ok is null");
    if (body_.kind != BodyKind::Collector) return call.Finish(E_FAIL, "a sewn body takes no more faces");
    std::string why;
    Surface* s = LastSurface(&why);
    if (!s) return call.Finish(E_FAIL, why);
    if (s->loop.empty()) return call.Finish(E_FAIL, "the surface made last has no trimming loop");
    if (!AddSurfaceFace(body_, s->trimmed)) return call.Finish(E_OUTOFMEMORY, kBodyFull);
    s->face = true;
    *ok = VARIANT_TRUE;
    return call.Finish(S_OK);
  });
}

STDMETHODIMP BodyObject::CreateBoundedSurface(LONG uBounded, LONG vBounded, const double* range) {
  return ComNoThrow([&] {
    CallScope call(host_, Op::BodyCreateBoundedSurface, *this);
    call.Long(uBounded).Long(vBounded).Doubles(range, 4);
    if (call.Faulted()) return call.Fault();
    if (body_.kind != BodyKind::Collector) return call.Finish(E_FAIL, "a sewn body takes no more faces");
    if (uBounded != 1) return call.Finish(E_FAIL, "uBounded is " + std::to_string(uBounded) + "; it is 1");
    if (vBounded != 1) return call.Finish(E_FAIL, "vBounded is " + std::to_string(vBounded) + "; it is 1");
    if (!range) return call.Finish(E_FAIL, "range is null");
    for (int i = 0; i < 4; ++i)
      if (!std::isfinite(range[i]))
        return call.Finish(E_FAIL, "range[" + std::to_string(i) + "] is not a finite number");
    std::string why;
    Surface* s = LastSurface(&why);
    if (!s) return call.Finish(E_FAIL, why);
    if (s->kind == SurfaceKind::Plane)
      return call.Finish(E_FAIL, "the surface made last is a plane, which has no parameter range: a plane becomes a "
                                 "face by its trimming loop");
    for (int d = 0; d < 2; ++d) {
      const Basis b = SurfaceBasis(*s, d);
      const double from = range[2 * d], to = range[2 * d + 1];
      const std::string dir = kDirection[d];
      if (!(from < to))
        return call.Finish(E_FAIL, "the range in " + dir + " is empty: it runs from " + NumberText(from) + " to " +
                                       NumberText(to));
      if (from < b.Start() || to > b.End())
        return call.Finish(E_FAIL, "the range in " + dir + ", " + NumberText(from) + " to " + NumberText(to) +
                                       ", leaves the surface's domain, " + NumberText(b.Start()) + " to " +
                                       NumberText(b.End()));
    }
    SurfaceFaces face;
    why = BoundSurface(*s, range, &face);
    if (!why.empty()) return call.Finish(E_FAIL, why);
    if (!AddSurfaceFace(body_, face)) return call.Finish(E_OUTOFMEMORY, kBodyFull);
    s->face = true;
    return call.Finish(S_OK);
  });
}

void* SurfaceObject::Role(REFIID iid) {
  if (iid == __uuidof(IUnknown) || iid == __uuidof(IHostSurface)) return static_cast<IHostSurface*>(this);
  return nullptr;
}

std::string SurfaceObject::Label() const {
  return document_.title + " collector " + std::to_string(collectorIndex_ + 1) + " surface " +
         std::to_string(index_ + 1);
}

STDMETHODIMP SurfaceObject::AddTrimmingLoop(LONG count, const LONG* orders, const LONG* dimensions,
                                            const LONG* periodic, const LONG* knotCounts,
                                            const LONG* controlPointCounts, const double* knots,
                                            const double* controlPoints, const double* reserved) {
  return ComNoThrow([&] {
    CallScope call(host_, Op::SurfaceAddTrimmingLoop, *this);
    const bool countOk = count >= 1 && count <= kMostLoopCurves;
    const size_t n = countOk ? static_cast<size_t>(count) : 0;
    // The knots and control points are read as far as the counts say, when
    // they agree with each other and the host could take them: a knot
    // count that is not the order plus the control points leaves the knots
    // unread.
    uint64_t knotTotal = 0, pointTotal = 0;
    bool pointsKnown = countOk && controlPointCounts;
    for (size_t i = 0; pointsKnown && i < n; ++i) {
      pointsKnown = controlPointCounts[i] >= 0;
      pointTotal += pointsKnown ? static_cast<uint64_t>(controlPointCounts[i]) : 0;
    }
    pointsKnown = pointsKnown && pointTotal <= kMostControlPoints;
    bool knotsKnown = pointsKnown && orders && knotCounts;
    for (size_t i = 0; knotsKnown && i < n; ++i) {
      knotsKnown = orders[i] >= 0 && orders[i] <= kMostOrder &&
                   static_cast<int64_t>(knotCounts[i]) == static_cast<int64_t>(orders[i]) + controlPointCounts[i];
      knotTotal += knotsKnown ? static_cast<uint64_t>(knotCounts[i]) : 0;
    }
    call.Long(count);
    for (const LONG* array : {orders, dimensions, periodic, knotCounts, controlPointCounts})
      RecordArray(call, array, n, countOk);
    RecordArray(call, knots, knotTotal, knotsKnown);
    RecordArray(call, controlPoints, 3 * pointTotal, pointsKnown);
    if (reserved) call.Unread();
    else call.Doubles(nullptr, 0);
    if (call.Faulted()) return call.Fault();

    Surface& s = collector_.surfaces[index_];
    if (s.face) return call.Finish(E_FAIL, "the surface is a face already");
    if (!s.loop.empty()) return call.Finish(E_FAIL, "the surface has its trimming loop already; it takes one");
    if (s.kind == SurfaceKind::BSpline)
      return call.Finish(E_FAIL, "the host trims plane surfaces only; a B-spline surface is bounded by its domain");
    if (count < 1) return call.Finish(E_FAIL, "count is " + std::to_string(count) + "; a loop has one curve or more");
    if (!countOk)
      return call.Finish(E_FAIL, "count is " + std::to_string(count) + "; the host takes at most " +
                                     std::to_string(kMostLoopCurves) + " curves a loop");
    const std::pair<const char*, const void*> arrays[] = {
        {"orders", orders},         {"dimensions", dimensions},       {"periodic", periodic},
        {"knotCounts", knotCounts}, {"controlPointCounts", controlPointCounts}, {"knots", knots},
        {"controlPoints", controlPoints}};
    for (const auto& array : arrays)
      if (!array.second) return call.Finish(E_FAIL, std::string(array.first) + " is null");
    if (reserved) return call.Finish(E_FAIL, "reserved is not null");
    std::vector<NurbsCurve> loop;
    std::string why = ReadLoop(count, orders, dimensions, periodic, knotCounts, controlPointCounts, knots,
                               controlPoints, &loop);
    if (!why.empty()) return call.Finish(E_FAIL, why);
    SurfaceFaces face;
    why = TrimPlane(s, loop, &face);
    if (!why.empty()) return call.Finish(E_FAIL, why);
    s.loop = std::move(loop);
    s.trimmed = std::move(face);
    return call.Finish(S_OK);
  });
}

}  // namespace stand_in
