#include "opennurbs_line.h"

#include "opennurbs_xform.h"

bool ON_Line::Create(const ON_3dPoint& from_point, const ON_3dPoint& to_point) {
  from = from_point;
  to = to_point;
  return IsValid();
}

bool ON_Line::IsValid() const { return from.IsValid() && to.IsValid() && from != to; }

ON_3dVector ON_Line::Tangent() const {
  ON_3dVector v = Direction();
  v.Unitize();
  return v;
}

ON_3dPoint ON_Line::PointAt(double t) const {
  if (t == 0.0) return from;
  if (t == 1.0) return to;
  const double s = 1.0 - t;
  return ON_3dPoint(s * from.x + t * to.x, s * from.y + t * to.y, s * from.z + t * to.z);
}

bool ON_Line::ClosestPointTo(const ON_3dPoint& point, double* t) const {
  const ON_3dVector d = Direction();
  const double length_squared = d.LengthSquared();
  if (!(length_squared > 0.0) || !t) return false;
  *t = ((point - from) * d) / length_squared;
  return true;
}

double ON_Line::DistanceTo(const ON_3dPoint& point) const {
  double t = 0.0;
  if (!ClosestPointTo(point, &t)) return point.DistanceTo(from);
  return point.DistanceTo(PointAt(t));
}

double ON_Line::MinimumDistanceTo(const ON_3dPoint& point) const {
  double t = 0.0;
  if (!ClosestPointTo(point, &t)) return point.DistanceTo(from);
  if (t <= 0.0) return point.DistanceTo(from);
  if (t >= 1.0) return point.DistanceTo(to);
  return point.DistanceTo(PointAt(t));
}

void ON_Line::Transform(const ON_Xform& xform) {
  from.Transform(xform);
  to.Transform(xform);
}

bool ON_Polyline::IsValid(double tolerance) const {
  const int count = Count();
  if (count < 2) return false;
  for (int i = 0; i < count; ++i) {
    if (!(*this)[i].IsValid()) return false;
    if (i > 0 && !((*this)[i].DistanceTo((*this)[i - 1]) > tolerance)) return false;
  }
  return true;
}

bool ON_Polyline::IsClosed(double tolerance) const {
  const int count = Count();
  if (count < 4) return false;
  const ON_3dPoint& first = (*this)[0];
  if (!(first.DistanceTo((*this)[count - 1]) <= tolerance)) return false;
  for (int i = 1; i < count - 1; ++i)
    if (first.DistanceTo((*this)[i]) > tolerance) return true;
  return false;
}

ON_Line ON_Polyline::Segment(int segment_index) const {
  if (segment_index < 0 || segment_index >= SegmentCount()) return ON_Line();
  return ON_Line((*this)[segment_index], (*this)[segment_index + 1]);
}
