// The host's own geometric rules for faces.
#pragma once

#include "stand_in/host.h"

#include <algorithm>
#include <string>
#include <vector>

namespace stand_in {

// Relative to the polygon's size (its largest corner-to-corner distance):
// corners closer than this coincide, and a corner this close to the line
// through its neighbours is collinear with them.
constexpr double kCoincidentTolerance = 1e-9;
// A quadrilateral whose corners lie farther than this (relative to its size)
// from their mean plane is not planar. Looser, because corners that came
// from single-precision data are planar only to about 1e-7.
constexpr double kPlanarTolerance = 1e-6;
// The floor under both, in metres: the host's resolution. Below it two
// points are one, whatever the size of the polygon, so a millimetre face
// is not held to a picometre.
constexpr double kResolution = 1e-8;

// Faces of surfaces meet where their boundaries come within this of each
// other, relative to the size (the diagonal of the box) of what is joined:
// a trimming loop's curves end to end, a loop and its plane, a body's faces
// when they are sewn. Never below kResolution.
constexpr double kSewingTolerance = 1e-6;
// A face of a surface follows its surface, and a boundary its curve, within
// this, relative to the size of the surface or curve (the diagonal of the
// box around its control points). Never below kResolution.
constexpr double kChordTolerance = 1e-3;

// A tolerance relative to `size`, with the host's resolution as its floor.
inline double Tolerance(double relative, double size) {
  const double t = relative * size;
  return t > kResolution ? t : kResolution;
}

// A number as the host's messages and records give it: the shortest text
// that reads back as the same double ("0.1", "1e+300"). Beside the
// recorder.
std::string NumberText(double v);
// A length in metres to three figures ("0.00141 m").
std::string MetresText(double v);

// Room for `extra` more, growing geometrically even when the caller asks
// for a few more at a time.
template <class T>
void ReserveMore(std::vector<T>& v, size_t extra) {
  if (v.capacity() - v.size() < extra) v.reserve(std::max(v.size() + extra, v.capacity() * 2));
}

// A planar polygon of 3 or 4 corners cut into triangles of its corner
// indexes, wound as the polygon: a quadrilateral along the diagonal that
// lies inside it (the one from its reflex corner, if it has one). Returns
// the count, 1 or 2.
int PolygonTriangles(const Point3* corners, int count, int (*triangles)[3]);

// Why the host refuses the polygon of `count` (3 or 4) finite or non-finite
// points: empty when it accepts it.
std::string CheckPlanarPolygon(const Point3* points, int count);

// A body's faces as the read side sees them, whatever kind they are, are
// FaceCount and FaceTriangles of stand_in/host.h, which the command line
// reads too.

}  // namespace stand_in
