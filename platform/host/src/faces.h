// The host's own geometric rules for faces.
#pragma once

#include "stand_in/host.h"

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

// Why the host refuses the polygon of `count` (3 or 4) finite or non-finite
// points: empty when it accepts it.
std::string CheckPlanarPolygon(const Point3* points, int count);

// A sewn body's faces as the read side sees them, whatever kind they are:
// how many, and one face's triangles into `corners` (replacing what it
// held), three corners a triangle in metres, each wound as the face is.
size_t FaceCount(const Body& body);
void FaceTriangles(const Body& body, size_t face, std::vector<Point3>* corners);

}  // namespace stand_in
