// The curve read-back: a host sketch's lines, arcs, splines and polylines as
// openNURBS curves, from the flat records of doubles the host gives.

#include <atlbase.h>

#include <cmath>
#include <memory>
#include <new>
#include <vector>

#include "VLMGeo.h"
#include "VLMSWON.h"
#include "roads.h"

namespace {

// The host out of memory in any call of a read is the read's own, not a
// sketch without entities.
using bridge::HostChecked;

constexpr int kLineRecord = 12;
constexpr int kArcRecord = 16;

// A count stored in a record, truncated toward zero; -1 for one that is no
// number or cannot be a count of what is left (`room`), so that a record
// never sends the read past the data.
long long RecordCount(double value, long long room) {
  if (!(value > -1.0)) return value <= -1.0 ? 0 : -1;  // negative: none; NaN: broken
  if (value >= static_cast<double>(room) + 1.0) return -1;
  return static_cast<long long>(value);
}

// The host's data for `size` doubles; false when it cannot give it.
template <class Fill>
bool Fetch(long long size, std::vector<double>& data, Fill&& fill) {
  data.assign(static_cast<size_t>(size), 0.0);
  return HostChecked(fill(data.data())) == S_OK;
}

ON_3dPoint PointAt(const std::vector<double>& data, size_t at) { return ON_3dPoint(&data[at]); }

// The arc of one record: start at 6, end at 9, centre at 12, direction at 15.
ON_Arc ArcOfRecord(const double* record) {
  const ON_3dPoint start(record + 6), end(record + 9), centre(record + 12);
  const double radius = centre.DistanceTo(start);
  ON_Arc arc;
  if (start.DistanceTo(end) <= 0.0001) {
    // Start and end one point: the full circle, parallel to the XY plane.
    arc.Create(ON_Circle(ON_Plane(centre, ON_3dVector(0.0, 0.0, 1.0)), radius), 2.0 * ON_PI);
    return arc;
  }
  const ON_3dVector normal(0.0, 0.0, record[15] == -1.0 ? -1.0 : 1.0);
  const ON_3dVector x = start - centre;
  double angle = VLMVector::Angle(x, end - centre, normal, 0);
  ON_Plane plane;
  if (!plane.CreateFromFrame(centre, x, end - centre)) {
    // Start and end (about) opposite: the frame's y is the start direction
    // turned a quarter turn about Z, the way that makes the sweep below run
    // through the arc's own half of the circle (about the normal for a sweep
    // under pi, against it for one that is negated).
    plane.CreateFromFrame(centre, x, angle >= ON_PI ? ON_CrossProduct(x, normal) : ON_CrossProduct(normal, x));
  }
  if (angle >= ON_PI) angle = -angle;
  arc.Create(plane, centre, radius, angle);
  return arc;
}

// The spline of one record's points: order 3 on a clamped knot vector spaced
// 1.0; two points make the straight order-2 curve between them. False for
// fewer than two, which make no curve; from two on only memory can fail it.
bool SplineOfPoints(const ON_3dPoint* points, int count, ON_NurbsCurve& curve) {
  if (count < 2) return false;
  if (!curve.CreateClampedUniformNurbs(3, count < 3 ? 2 : 3, count, points, 1.0)) throw std::bad_alloc();
  return true;
}

template <class T>
void Truncate(ON_ClassArray<T>& items, int count) {
  while (items.Count() > count) items.Remove();
}

// Records that do not add up give none of their kind, and only that kind:
// the other kinds of a sketch still read.
template <class T>
int Broken(ON_ClassArray<T>& items) {
  items.Destroy();
  return 0;
}

// The reads throw when memory runs out, theirs or the host's; the entries
// answer for that.

int ReadLines(IHostSketch* sketch, ON_ClassArray<ON_Line>& lines) {
  lines.Destroy();
  LONG count = 0;
  HostChecked(sketch->LineCount(&count));
  if (count <= 0) return 0;
  std::vector<double> data;
  if (!Fetch(static_cast<long long>(count) * kLineRecord, data, [&](double* d) { return sketch->LineData(d); }))
    return 0;
  lines.Reserve(count);
  for (size_t i = 0; i < static_cast<size_t>(count); ++i) {
    const size_t at = i * kLineRecord;
    lines.Append(ON_Line(PointAt(data, at + 6), PointAt(data, at + 9)));
  }
  return 1;
}

int ReadArcs(IHostSketch* sketch, ON_ClassArray<ON_Arc>& arcs) {
  LONG count = 0;
  HostChecked(sketch->ArcCount(&count));
  if (count <= 0) return 0;
  std::vector<double> data;
  if (!Fetch(static_cast<long long>(count) * kArcRecord, data, [&](double* d) { return sketch->ArcData(d); }))
    return 0;
  for (size_t i = 0; i < static_cast<size_t>(count); ++i) arcs.Append(ArcOfRecord(&data[i * kArcRecord]));
  return 1;
}

int ReadSplines(IHostSketch* sketch, ON_ClassArray<ON_NurbsCurve>& splines) {
  splines.Destroy();
  LONG size = 0, count = 0;
  HostChecked(sketch->SplineDataSize(&size, &count));
  if (size <= 0 || count <= 0) return 0;
  std::vector<double> data;
  if (!Fetch(size, data, [&](double* d) { return sketch->SplineData(d); })) return 0;
  ON_NurbsCurve working;
  ON_SimpleArray<ON_3dPoint> points;
  size_t at = 0;
  for (LONG r = 0; r < count; ++r) {
    // A record that runs past the size the host reported is broken data:
    // no splines rather than some read from beyond it.
    if (at + 7 > data.size()) return Broken(splines);
    const long long n = RecordCount(data[at + 6], static_cast<long long>(data.size() - at - 7) / 3);
    if (n < 0) return Broken(splines);
    points.Empty();
    for (long long k = 0; k < n; ++k) points.Append(PointAt(data, at + 7 + 3 * static_cast<size_t>(k)));
    if (SplineOfPoints(points.Array(), points.Count(), working)) splines.Append(working);
    at += 7 + 3 * static_cast<size_t>(n);
  }
  return 1;
}

int ReadPolylines(IHostSketch* sketch, ON_ClassArray<ON_Polyline>& polylines) {
  polylines.Destroy();
  LONG size = 0, count = 0;
  HostChecked(sketch->PolylineDataSize(&size, &count));
  if (size <= 0 || count <= 0) return 0;
  std::vector<double> data;
  if (!Fetch(size, data, [&](double* d) { return sketch->PolylineData(d); })) return 0;
  ON_Polyline working;
  size_t at = 0;
  for (LONG r = 0; r < count; ++r) {
    if (at + 2 > data.size()) return Broken(polylines);
    const long long k = RecordCount(data[at + 1], static_cast<long long>(data.size() - at - 2));
    if (k < 0 || at + 9 + static_cast<size_t>(k) > data.size()) return Broken(polylines);
    const size_t first = at + 9 + static_cast<size_t>(k);
    const long long n = RecordCount(data[first - 1], static_cast<long long>(data.size() - first) / 3);
    if (n < 0) return Broken(polylines);
    working.Empty();
    for (long long p = 0; p < n; ++p) working.Append(PointAt(data, first + 3 * static_cast<size_t>(p)));
    polylines.Append(working);
    at = first + 3 * static_cast<size_t>(n);
  }
  return 1;
}

}  // namespace

int VLMSWON::GetSketchLines(IHostSketch* sketch, ON_ClassArray<ON_Line>& lines) {
  try {
    return ReadLines(sketch, lines);
  } catch (...) {
    lines.Destroy();  // out of memory: no lines rather than some
    return 0;
  }
}

int VLMSWON::GetSketchArcs(IHostSketch* sketch, ON_ClassArray<ON_Arc>& arcs) {
  const int held = arcs.Count();
  try {
    return ReadArcs(sketch, arcs);
  } catch (...) {
    Truncate(arcs, held);
    return 0;
  }
}

int VLMSWON::GetSketchSplines(IHostSketch* sketch, ON_ClassArray<ON_NurbsCurve>& splines) {
  try {
    return ReadSplines(sketch, splines);
  } catch (...) {
    splines.Destroy();
    return 0;
  }
}

int VLMSWON::GetSketchPolylines(IHostSketch* sketch, ON_ClassArray<ON_Polyline>& polylines) {
  try {
    return ReadPolylines(sketch, polylines);
  } catch (...) {
    polylines.Destroy();
    return 0;
  }
}

int VLMSWON::GetSketchCurves(IHostSketch* sketch, ON_CurveArray& curves) {
  curves.Destroy();
  try {
    // Each new curve is owned until the array holds it.
    auto append = [&](std::unique_ptr<ON_Curve> curve) {
      curves.Append(curve.get());
      curve.release();
    };
    {
      ON_ClassArray<ON_Line> lines;
      ReadLines(sketch, lines);
      for (int i = 0; i < lines.Count(); ++i) append(std::make_unique<ON_LineCurve>(lines[i]));
    }
    {
      ON_ClassArray<ON_Polyline> polylines;
      ReadPolylines(sketch, polylines);
      for (int i = 0; i < polylines.Count(); ++i) append(std::make_unique<ON_PolylineCurve>(polylines[i]));
    }
    {
      ON_ClassArray<ON_NurbsCurve> splines;
      ReadSplines(sketch, splines);
      for (int i = 0; i < splines.Count(); ++i) append(std::make_unique<ON_NurbsCurve>(splines[i]));
    }
    {
      ON_ClassArray<ON_Arc> arcs;
      ReadArcs(sketch, arcs);
      for (int i = 0; i < arcs.Count(); ++i) append(std::make_unique<ON_ArcCurve>(arcs[i]));
    }
    return 1;
  } catch (...) {  // out of memory: no curves rather than some
    curves.Destroy();
    return 0;
  }
}
