// The host's own small evaluator of sketch curves: the angles of arcs, and
// points along arcs, circles and splines for whoever draws them.
#pragma once

#include "stand_in/host.h"

#include <functional>

namespace stand_in {

// Where an arc starts, as the angle of its start from +x about +z
// (-pi to pi), and how far it turns its own way: more than 0, up to 2 pi
// (a circle).
struct ArcAngles {
  double start, sweep;
};
ArcAngles AnglesOf(const SketchArc& arc);

// Steps per whole turn of an arc or circle, and per piece of a spline (a
// span between two of its points, or between two knots).
constexpr int kTurnSteps = 64;
constexpr int kPieceSteps = 16;

// Points along the curve, handed to `sink` one by one from its start to its
// end, so that a long curve never sits in memory whole: the start and end
// of an arc and the points of a spline through points exactly as they were
// given. A circle's last point is one step short of its first, to which the
// curve closes.
using PointSink = std::function<void(const Point3&)>;
void SampleArc(const SketchArc& arc, const PointSink& sink);
void SampleSpline(const SketchSpline& spline, const PointSink& sink);

}  // namespace stand_in
