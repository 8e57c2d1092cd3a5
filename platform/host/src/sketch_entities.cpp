// Sketch entities drawn into a document's sketch: points, lines, arcs,
// circles and splines, each refused as a modeller refuses it, and the
// counted views the caller receives for them.
#include "state.h"

#include "faces.h"
#include "nurbs.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace stand_in {
namespace {

// Arcs: the start and end lie at one distance from the centre, and in the
// centre's plane parallel to XY, within this much of the radius; the
// host's resolution is the floor. Loose enough for ends that came from
// single-precision data or were turned by a rotation.
constexpr double kArcTolerance = 1e-6;
// The highest order a spline may have, as modellers keep one.
constexpr LONG kMaxOrder = 32;

constexpr size_t kNoSketch = std::numeric_limits<size_t>::max();

std::string Named(const char* name, size_t i) { return std::string(name) + "[" + std::to_string(i) + "]"; }

double Distance(const Point3& a, const Point3& b) { return std::hypot(std::hypot(b.x - a.x, b.y - a.y), b.z - a.z); }

// Geometric growth, one entity at a time.
template <class T>
void RoomForOne(std::vector<T>& v) {
  if (v.size() == v.capacity()) v.reserve(std::max<size_t>(4, v.capacity() * 2));
}

// A check that fails, saying why.
bool Refuse(std::string* why, std::string text) {
  *why = std::move(text);
  return false;
}

// True when every value is finite; else false, with `why` naming the first
// that is not.
bool Finite(const double* values, const char* const* names, int count, std::string* why) {
  for (int i = 0; i < count; ++i)
    if (!std::isfinite(values[i])) return Refuse(why, std::string(names[i]) + " is not a finite number");
  return true;
}

std::string BeyondModelSpace(const std::string& name, double value) {
  return name + " is " + NumberText(value) + " m, beyond the host's model space of " + NumberText(kFarthestPoint) + " m";
}

// Lines are read back as lengths and directions, and curves sampled, from
// differences of their values: beyond the model space those overflow.
bool InModelSpace(const double* values, const char* const* names, int count, std::string* why) {
  for (int i = 0; i < count; ++i)
    if (std::fabs(values[i]) > kFarthestPoint) return Refuse(why, BeyondModelSpace(names[i], values[i]));
  return true;
}

std::string CheckFinitePoints(const double* xyz, size_t count, const char* name) {
  static const char* const kAxis[3] = {"x", "y", "z"};
  for (size_t i = 0; i < 3 * count; ++i)
    if (!std::isfinite(xyz[i])) return Named(name, i / 3) + "." + kAxis[i % 3] + " is not a finite number";
    else if (std::fabs(xyz[i]) > kFarthestPoint) return BeyondModelSpace(Named(name, i / 3) + "." + kAxis[i % 3], xyz[i]);
  return {};
}

std::vector<Point3> ToPoints(const double* xyz, size_t count) {
  std::vector<Point3> points(count);
  for (size_t i = 0; i < count; ++i) points[i] = {xyz[3 * i], xyz[3 * i + 1], xyz[3 * i + 2]};
  return points;
}

// The sketch entity calls draw into: a drawing's sheet, else the open 3D
// sketch. kNoSketch, with `why`, when there is none.
size_t DrawingSketch(const Document& d, std::string* why) {
  if (d.kind == DocumentKind::Drawing) {
    if (!d.sketches.empty()) return 0;
    *why = "the drawing has no sheet";
    return kNoSketch;
  }
  if (!d.sketches.empty() && d.sketches.back().open) return d.sketches.size() - 1;
  *why = "no 3D sketch is open";
  return kNoSketch;
}

// What every entity call does once its arguments are recorded: the fault,
// the out pointer, the sketch, the entity's own `check` (false, with why,
// when it fails), then `add`, which makes room, takes its view through the
// given function and only then commits, so that a failure changes nothing.
template <class Check, class Add>
HRESULT Draw(HostState& host, Document& document, CallScope& call, IUnknown** out, const char* outName, Check check,
             Add add) {
  call.Out(out, nullptr);
  if (call.Faulted()) return call.Fault();
  if (!out) return call.Finish(E_POINTER, std::string(outName) + " is null");
  std::string why;
  const size_t s = DrawingSketch(document, &why);
  if (s == kNoSketch) return call.Finish(E_FAIL, why);
  if (!check(&why)) return call.Finish(E_FAIL, why);
  auto view = [&](EntityKind kind, size_t index) { return host.Segment(document, s, kind, index); };
  *out = HandOut<IUnknown>(add(document.sketches[s], view));
  return call.Finish(S_OK);
}

// An entity kept in one of the sketch's lists.
template <class T, class View>
SegmentObject* Keep(std::vector<T>& list, T&& entity, EntityKind kind, View& view) {
  RoomForOne(list);
  SegmentObject* object = view(kind, list.size());
  list.push_back(std::move(entity));
  return object;
}

std::string CheckArc(const SketchArc& arc) {
  if (arc.direction != 1 && arc.direction != -1)
    return "direction is " + std::to_string(arc.direction) + "; it is +1 (counter-clockwise) or -1 (clockwise)";
  const double r = arc.radius, toEnd = Distance(arc.centre, arc.end);
  if (r <= kResolution) return "the start coincides with the centre";
  const double near = std::max(kArcTolerance * std::max(r, toEnd), kResolution);
  if (std::fabs(arc.start.z - arc.centre.z) > near || std::fabs(arc.end.z - arc.centre.z) > near)
    return "the start or end is off the centre's plane parallel to XY (z " + NumberText(arc.start.z) + " and " +
           NumberText(arc.end.z) + ", centre " + NumberText(arc.centre.z) + ")";
  if (std::fabs(r - toEnd) > near)
    return "the start lies " + NumberText(r) + " from the centre and the end " + NumberText(toEnd) +
           ": an arc's ends lie at one distance from its centre";
  if (Distance(arc.start, arc.end) <= near) return "the start and end coincide";
  return {};
}

std::string CheckSplinePoints(LONG count, const double* points) {
  if (count < 2) return "count is " + std::to_string(count) + "; a spline has at least 2 points";
  if (!points) return "points is null";
  const size_t n = static_cast<size_t>(count);
  std::string why = CheckFinitePoints(points, n, "point");
  if (!why.empty()) return why;
  for (size_t i = 0; i + 1 < n; ++i) {
    const Point3 a{points[3 * i], points[3 * i + 1], points[3 * i + 2]};
    const Point3 b{points[3 * i + 3], points[3 * i + 4], points[3 * i + 5]};
    if (Distance(a, b) <= kResolution) return Named("point", i) + " and " + Named("point", i + 1) + " coincide";
  }
  return {};
}

// The properties alone, before either array is read.
std::string CheckNurbsProperties(const LONG* properties) {
  if (!properties) return "properties is null";
  const LONG dimension = properties[0], order = properties[1], count = properties[2], periodic = properties[3];
  if (dimension != 3) return "the dimension is " + std::to_string(dimension) + "; the host takes 3";
  if (order < 2 || order > kMaxOrder)
    return "the order is " + std::to_string(order) + "; it is 2 to " + std::to_string(kMaxOrder);
  if (count < order)
    return std::to_string(count) + " control points are fewer than the order " + std::to_string(order);
  if (periodic != 0 && periodic != 1) return "the periodic flag is " + std::to_string(periodic) + "; it is 0 or 1";
  return {};
}

std::string CheckNurbs(const LONG* properties, const double* knots, const double* controlPoints) {
  std::string why = CheckNurbsProperties(properties);
  if (!why.empty()) return why;
  if (!knots) return "knots is null";
  if (!controlPoints) return "controlPoints is null";
  const size_t order = static_cast<size_t>(properties[1]), count = static_cast<size_t>(properties[2]);
  const size_t knotCount = order + count;
  for (size_t i = 0; i < knotCount; ++i)
    if (!std::isfinite(knots[i])) return Named("knot", i) + " is not a finite number";
    else if (std::fabs(knots[i]) > kFarthestKnot)  // so that no span's width overflows
      return Named("knot", i) + " is " + NumberText(knots[i]) + ", beyond the host's limit of " +
             NumberText(kFarthestKnot);
  size_t run = 1;
  for (size_t i = 1; i < knotCount; ++i) {
    if (knots[i] < knots[i - 1])
      return Named("knot", i) + " (" + NumberText(knots[i]) + ") is less than " + Named("knot", i - 1) + " (" +
             NumberText(knots[i - 1]) + "): knots do not decrease";
    run = knots[i] == knots[i - 1] ? run + 1 : 1;
    if (run > order)
      return "the knot " + NumberText(knots[i]) + " appears more often than the order " + std::to_string(order);
  }
  if (!(knots[order - 1] < knots[count]))
    return "the spline has no domain: " + Named("knot", order - 1) + " equals " + Named("knot", count);
  why = CheckFinitePoints(controlPoints, count, "controlPoint");
  if (!why.empty()) return why;
  const Point3 first{controlPoints[0], controlPoints[1], controlPoints[2]};
  for (size_t i = 1; i < count; ++i)
    if (Distance(first, {controlPoints[3 * i], controlPoints[3 * i + 1], controlPoints[3 * i + 2]}) > kResolution)
      return {};
  return "all control points coincide";
}

}  // namespace

STDMETHODIMP DocumentObject::CreateSketchLine(double x1, double y1, double z1, double x2, double y2, double z2,
                                              IUnknown** segment) {
  return ComNoThrow([&] {
    CallScope call(host_, Op::DocCreateSketchLine, *this);
    const double c[6] = {x1, y1, z1, x2, y2, z2};
    if (call.Recording())  // a call per line of a million-edge sketch
      for (double v : c) call.Double(v);
    const SketchLine line{{x1, y1, z1}, {x2, y2, z2}};
    auto check = [&](std::string* why) {
      static const char* const kNames[6] = {"x1", "y1", "z1", "x2", "y2", "z2"};
      if (!Finite(c, kNames, 6, why) || !InModelSpace(c, kNames, 6, why)) return false;
      return line.from != line.to || Refuse(why, "the line's ends coincide");
    };
    auto add = [&](Sketch& sketch, auto view) {
      sketch.lines.Reserve();  // room first: nothing fails once the view is taken
      SegmentObject* object = view(EntityKind::Line, sketch.lines.size());
      sketch.lines.Append(line);
      return object;
    };
    return Draw(host_, document_, call, segment, "segment", check, add);
  });
}

STDMETHODIMP DocumentObject::CreateSketchPoint(double x, double y, double z, IUnknown** point) {
  return ComNoThrow([&] {
    CallScope call(host_, Op::DocCreateSketchPoint, *this);
    call.Double(x).Double(y).Double(z);
    const double c[3] = {x, y, z};
    auto check = [&](std::string* why) {
      static const char* const kNames[3] = {"x", "y", "z"};
      return Finite(c, kNames, 3, why);
    };
    auto add = [&](Sketch& sketch, auto view) { return Keep(sketch.points, Point3{x, y, z}, EntityKind::Point, view); };
    return Draw(host_, document_, call, point, "point", check, add);
  });
}

STDMETHODIMP DocumentObject::CreateSketchCircle(double cx, double cy, double cz, double radius, IUnknown** segment) {
  return ComNoThrow([&] {
    CallScope call(host_, Op::DocCreateSketchCircle, *this);
    call.Double(cx).Double(cy).Double(cz).Double(radius);
    auto check = [&](std::string* why) {
      static const char* const kNames[4] = {"cx", "cy", "cz", "radius"};
      const double c[4] = {cx, cy, cz, radius};
      if (!Finite(c, kNames, 4, why) || !InModelSpace(c, kNames, 4, why)) return false;
      return radius > kResolution ||
             Refuse(why, "radius is " + NumberText(radius) + "; a circle's radius is more than the host's resolution of " +
                             NumberText(kResolution) + " m");
    };
    auto add = [&](Sketch& sketch, auto view) {
      SketchArc circle;
      circle.centre = {cx, cy, cz};
      circle.start = circle.end = {cx + radius, cy, cz};
      circle.radius = radius;
      circle.circle = true;
      return Keep(sketch.arcs, std::move(circle), EntityKind::Circle, view);
    };
    return Draw(host_, document_, call, segment, "segment", check, add);
  });
}

STDMETHODIMP DocumentObject::CreateSketchArc(double cx, double cy, double cz, double sx, double sy, double sz, double ex,
                                             double ey, double ez, short direction, IUnknown** segment) {
  return ComNoThrow([&] {
    CallScope call(host_, Op::DocCreateSketchArc, *this);
    const double c[9] = {cx, cy, cz, sx, sy, sz, ex, ey, ez};
    for (double v : c) call.Double(v);
    call.Long(direction);
    SketchArc arc;
    arc.centre = {cx, cy, cz};
    arc.start = {sx, sy, sz};
    arc.end = {ex, ey, ez};
    arc.direction = direction;
    auto check = [&](std::string* why) {
      static const char* const kNames[9] = {"cx", "cy", "cz", "sx", "sy", "sz", "ex", "ey", "ez"};
      if (!Finite(c, kNames, 9, why) || !InModelSpace(c, kNames, 9, why)) return false;
      arc.radius = Distance(arc.centre, arc.start);
      *why = CheckArc(arc);
      return why->empty();
    };
    auto add = [&](Sketch& sketch, auto view) { return Keep(sketch.arcs, std::move(arc), EntityKind::Arc, view); };
    return Draw(host_, document_, call, segment, "segment", check, add);
  });
}

STDMETHODIMP DocumentObject::CreateSketchSplineByPoints(LONG count, const double* points, IUnknown** segment) {
  return ComNoThrow([&] {
    CallScope call(host_, Op::DocCreateSketchSplineByPoints, *this);
    call.Long(count);
    if (count >= 0 || !points) call.Doubles(points, 3 * static_cast<size_t>(std::max<LONG>(count, 0)));
    else call.Unread();  // the buffer's size is unknown
    auto check = [&](std::string* why) {
      *why = CheckSplinePoints(count, points);
      return why->empty();
    };
    auto add = [&](Sketch& sketch, auto view) {
      SketchSpline spline;
      spline.points = ToPoints(points, static_cast<size_t>(count));
      return Keep(sketch.splines, std::move(spline), EntityKind::Spline, view);
    };
    return Draw(host_, document_, call, segment, "segment", check, add);
  });
}

STDMETHODIMP DocumentObject::CreateSketchSplineByNurbs(const LONG* properties, const double* knots,
                                                       const double* controlPoints, IUnknown** segment) {
  return ComNoThrow([&] {
    CallScope call(host_, Op::DocCreateSketchSplineByNurbs, *this);
    call.Longs(properties, 4);
    // The arrays' sizes come from the properties: unread when those are wrong.
    const bool sized = CheckNurbsProperties(properties).empty();
    const size_t order = sized ? static_cast<size_t>(properties[1]) : 0;
    const size_t count = sized ? static_cast<size_t>(properties[2]) : 0;
    if (sized || !knots) call.Doubles(knots, order + count);
    else call.Unread();
    if (sized || !controlPoints) call.Doubles(controlPoints, 3 * count);
    else call.Unread();
    auto check = [&](std::string* why) {
      *why = CheckNurbs(properties, knots, controlPoints);
      return why->empty();
    };
    auto add = [&](Sketch& sketch, auto view) {
      SketchSpline spline;
      spline.nurbs = true;
      spline.order = static_cast<int>(order);
      spline.periodic = properties[3] == 1;
      spline.knots.assign(knots, knots + order + count);
      spline.points = ToPoints(controlPoints, count);
      return Keep(sketch.splines, std::move(spline), EntityKind::Spline, view);
    };
    return Draw(host_, document_, call, segment, "segment", check, add);
  });
}

std::string SketchLabel(const Document& document, size_t sketch) {
  if (document.kind == DocumentKind::Drawing && sketch == 0) return document.title + " sheet";
  return document.title + " sketch " + std::to_string(sketch + 1);
}

void* SegmentObject::Role(REFIID iid) { return iid == __uuidof(IUnknown) ? static_cast<IUnknown*>(this) : nullptr; }

// Arcs and circles are numbered together, as the sketch's arc records.
std::string SegmentObject::Label() const {
  static const char* const kKinds[] = {" point ", " line ", " arc ", " circle ", " spline "};
  return SketchLabel(*document_, sketch_) + kKinds[static_cast<int>(kind_)] + std::to_string(index_ + 1);
}

void SegmentObject::Bind(const Document* document, size_t sketch, EntityKind kind, size_t index) {
  document_ = document;
  sketch_ = sketch;
  kind_ = kind;
  index_ = index;
}

// A stale pointer taken up again leaves the pool.
void SegmentObject::OnAcquiredFromNone() noexcept {
  if (!pooled) return;
  pooled = false;
  auto& pool = host_.freeSegments;
  pool.erase(std::remove(pool.begin(), pool.end(), this), pool.end());
}

void SegmentObject::OnLastRelease() noexcept {
  pooled = true;
  host_.freeSegments.push_back(this);  // never allocates: capacity is kept for all
}

SegmentObject* HostState::Segment(const Document& document, size_t sketch, EntityKind kind, size_t index) {
  SegmentObject* view;
  if (!freeSegments.empty()) {
    view = freeSegments.back();
    freeSegments.pop_back();
    view->pooled = false;
  } else {
    freeSegments.reserve(segments + 1);
    view = Make<SegmentObject>();
    ++segments;
  }
  view->Bind(&document, sketch, kind, index);
  return view;
}

}  // namespace stand_in
