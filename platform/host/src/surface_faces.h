// Faces made from surfaces: a plane cut by its trimming loop, a B-spline
// surface bounded by a parameter range, each as a closed boundary polyline
// and triangles within the chordal tolerance of its surface; and the
// sewing of such faces into bodies.
#pragma once

#include "stand_in/host.h"

#include <string>

namespace stand_in {

// The host's limits on what it is given: curves of a loop, control points
// of a surface or of all the curves of a loop, points of a face.
constexpr int kMostLoopCurves = 4096;
constexpr size_t kMostControlPoints = size_t{1} << 22;
constexpr size_t kMostFacePoints = size_t{1} << 22;

// The face the loop cuts from the plane, as a set of one face; empty when
// the host takes the loop, else why not. The curves must join end to end,
// each taken either way round, in the order given, into one closed loop
// within the sewing tolerance of the loop's size; their control points lie
// within it of the plane; the loop neither crosses nor touches itself and
// encloses an area. Each curve is sampled at the parameters it alone
// decides (CurveParameters); where two curves meet the first one's point
// stands.
std::string TrimPlane(const Surface& plane, const std::vector<NurbsCurve>& loop, SurfaceFaces* face);

// The face of the B-spline surface over u0..u1 x v0..v1 (`range`, within
// the surface's domain), as a set of one face; empty when made, else why
// not. Its boundary is the four iso-curves at the range's edges, each
// sampled as a curve of its own; its inside a grid fine enough for the
// chordal tolerance of the surface's size, joined to the boundary by a
// ring of triangles one grid step wide. It looks the way of the surface's
// u derivative crossed with its v derivative.
std::string BoundSurface(const Surface& surface, const double range[4], SurfaceFaces* face);

// Adds a set of one face to a collector, after its planar faces so far;
// all or nothing. False when the collector cannot index more.
bool AddSurfaceFace(Body& collector, const SurfaceFaces& face);

// Sews the collector's faces (its faces of surfaces and its planar faces,
// in the order they came) into `made`: boundary points within the sewing
// tolerance of the body's size weld into one vertex, then the faces sew as
// the planar ones do. Empty when sewn, with `closed` true for a solid; else
// why not (a face that collapses within the tolerance).
std::string SewSurfaceFaces(const Body& collector, SurfaceFaces* made, bool* closed);

}  // namespace stand_in
