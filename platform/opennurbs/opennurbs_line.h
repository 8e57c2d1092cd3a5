// ON_Line (a segment from `from` to `to`) and ON_Polyline (its vertices in
// order).
#pragma once

#include "opennurbs_point.h"

class ON_Xform;

class ON_Line {
 public:
  // Both ends at the origin: not valid until set.
  ON_Line() = default;
  ON_Line(const ON_3dPoint& from_point, const ON_3dPoint& to_point) : from(from_point), to(to_point) {}

  ON_3dPoint from;
  ON_3dPoint to;

  ON_3dPoint& operator[](int i) { return i <= 0 ? from : to; }
  const ON_3dPoint& operator[](int i) const { return i <= 0 ? from : to; }

  // Sets the ends; true when the line is then valid.
  bool Create(const ON_3dPoint& from_point, const ON_3dPoint& to_point);
  // Both ends valid and different.
  bool IsValid() const;

  double Length() const { return from.DistanceTo(to); }
  // to - from.
  ON_3dVector Direction() const { return to - from; }
  // The unit direction; (0,0,0) for a line of length 0.
  ON_3dVector Tangent() const;
  // (1 - t) * from + t * to: from at 0, to at 1, exactly.
  ON_3dPoint PointAt(double t) const;

  // The parameter of the point of the infinite line nearest to `point`.
  // False (and *t untouched) for a line of length 0.
  bool ClosestPointTo(const ON_3dPoint& point, double* t) const;
  // The distance from `point` to the infinite line.
  double DistanceTo(const ON_3dPoint& point) const;
  // The distance from `point` to the segment between the ends.
  double MinimumDistanceTo(const ON_3dPoint& point) const;

  void Transform(const ON_Xform& xform);
};

class ON_Polyline : public ON_3dPointArray {
 public:
  ON_Polyline() = default;
  ON_Polyline(const ON_3dPointArray& points) : ON_3dPointArray(points) {}  // NOLINT: as in openNURBS

  int PointCount() const { return Count(); }
  // PointCount() - 1, and 0 when there are fewer than two points.
  int SegmentCount() const { return Count() > 1 ? Count() - 1 : 0; }

  // At least two points, all valid, each more than `tolerance` from the one
  // before it.
  bool IsValid(double tolerance = 0.0) const;
  // At least four points, the last within `tolerance` of the first, and some
  // point farther than `tolerance` from the first.
  bool IsClosed(double tolerance = 0.0) const;
  // Segment i, from point i to point i + 1 (a line at the origin when there
  // is no such segment).
  ON_Line Segment(int segment_index) const;
};
