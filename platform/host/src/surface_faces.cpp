// Faces of planes cut by trimming loops and of B-spline surfaces bounded by
// parameter ranges.
#include "surface_faces.h"

#include "faces.h"
#include "nurbs.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <limits>

namespace stand_in {
namespace {

struct P2 {
  double x, y;
};

double Distance(const Point3& a, const Point3& b) {
  const double dx = a.x - b.x, dy = a.y - b.y, dz = a.z - b.z;
  return std::sqrt(dx * dx + dy * dy + dz * dz);
}

std::string Text(const Point3& p) {
  char text[96];
  std::snprintf(text, sizeof text, "(%.9g, %.9g, %.9g)", p.x, p.y, p.z);
  return text;
}

std::string CurveName(size_t i) { return "curve " + std::to_string(i); }

// Twice the signed area of a, b, c: positive when they turn
// counter-clockwise.
double Orient(const P2& a, const P2& b, const P2& c) { return (b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x); }

bool OnSegment(const P2& a, const P2& b, const P2& p) {
  return std::min(a.x, b.x) <= p.x && p.x <= std::max(a.x, b.x) && std::min(a.y, b.y) <= p.y &&
         p.y <= std::max(a.y, b.y);
}

// Whether the closed segments ab and cd have a point in common.
bool Meet(const P2& a, const P2& b, const P2& c, const P2& d) {
  const double d1 = Orient(c, d, a), d2 = Orient(c, d, b), d3 = Orient(a, b, c), d4 = Orient(a, b, d);
  if (((d1 > 0 && d2 < 0) || (d1 < 0 && d2 > 0)) && ((d3 > 0 && d4 < 0) || (d3 < 0 && d4 > 0))) return true;
  return (d1 == 0 && OnSegment(c, d, a)) || (d2 == 0 && OnSegment(c, d, b)) || (d3 == 0 && OnSegment(a, b, c)) ||
         (d4 == 0 && OnSegment(a, b, d));
}

// Edges whose boxes overlap the box x0..x1 x y0..y1 (closed) are compared
// pairwise once few; else the box is cut in four and each edge goes to
// every quarter its box touches. Two edges that meet share a point, so some
// quarter at every level holds both. Cutting on, rather than a fixed grid,
// keeps a loop whose points crowd into one corner from costing the square
// of its length.
void FindCrossings(const std::vector<P2>& p, const std::vector<uint32_t>& edges, double x0, double y0, double x1,
                   double y1, int depth, long* first) {
  const size_t n = p.size();
  constexpr size_t kFewEdges = 24;
  constexpr int kDeepest = 40;
  if (edges.size() > kFewEdges && depth < kDeepest) {
    const double xm = x0 + (x1 - x0) / 2, ym = y0 + (y1 - y0) / 2;
    std::vector<uint32_t> quarter[4];
    for (uint32_t i : edges) {
      const P2 &a = p[i], &b = p[(i + 1) % n];
      const bool lowX = std::min(a.x, b.x) <= xm, highX = std::max(a.x, b.x) >= xm;
      const bool lowY = std::min(a.y, b.y) <= ym, highY = std::max(a.y, b.y) >= ym;
      if (lowX && lowY) quarter[0].push_back(i);
      if (highX && lowY) quarter[1].push_back(i);
      if (lowX && highY) quarter[2].push_back(i);
      if (highX && highY) quarter[3].push_back(i);
    }
    // Edges that all reach into every quarter are not parted by cutting.
    bool parted = false;
    for (const auto& q : quarter) parted = parted || q.size() < edges.size();
    if (parted) {
      FindCrossings(p, quarter[0], x0, y0, xm, ym, depth + 1, first);
      FindCrossings(p, quarter[1], xm, y0, x1, ym, depth + 1, first);
      FindCrossings(p, quarter[2], x0, ym, xm, y1, depth + 1, first);
      FindCrossings(p, quarter[3], xm, ym, x1, y1, depth + 1, first);
      return;
    }
  }
  for (size_t s = 0; s < edges.size(); ++s)
    for (size_t t = s + 1; t < edges.size(); ++t) {
      const size_t i = edges[s], j = edges[t];
      if ((i + 1) % n == j || (j + 1) % n == i) continue;
      if (Meet(p[i], p[(i + 1) % n], p[j], p[(j + 1) % n])) {
        const long at = static_cast<long>(std::min(i, j));
        if (*first < 0 || at < *first) *first = at;
      }
    }
}

// The first edge (by its first corner) of the closed polygon that meets an
// edge it does not follow or precede, or a corner where the polygon turns
// straight back; -1 when it is simple.
long CrossingAt(const std::vector<P2>& p) {
  const size_t n = p.size();
  for (size_t i = 0; i < n; ++i) {
    const P2 &a = p[(i + n - 1) % n], &b = p[i], &c = p[(i + 1) % n];
    if (Orient(a, b, c) == 0 && (b.x - a.x) * (c.x - b.x) + (b.y - a.y) * (c.y - b.y) < 0) return static_cast<long>(i);
  }
  double x0 = p[0].x, x1 = p[0].x, y0 = p[0].y, y1 = p[0].y;
  for (const P2& q : p) {
    x0 = std::min(x0, q.x);
    x1 = std::max(x1, q.x);
    y0 = std::min(y0, q.y);
    y1 = std::max(y1, q.y);
  }
  std::vector<uint32_t> edges(n);
  for (size_t i = 0; i < n; ++i) edges[i] = static_cast<uint32_t>(i);
  long first = -1;
  FindCrossings(p, edges, x0, y0, x1, y1, 0, &first);
  return first;
}

// Triangles of a simple polygon wound counter-clockwise, by cutting ears:
// a corner that turns left and holds no other corner in its triangle. Only
// a corner that turns right can lie in an ear, so only those are tested.
void CutEars(const std::vector<P2>& p, std::vector<uint32_t>* corners) {
  const size_t n = p.size();
  std::vector<uint32_t> prev(n), next(n);
  std::vector<char> gone(n, 0);
  for (size_t i = 0; i < n; ++i) {
    prev[i] = static_cast<uint32_t>((i + n - 1) % n);
    next[i] = static_cast<uint32_t>((i + 1) % n);
  }
  auto turn = [&](uint32_t b) { return Orient(p[prev[b]], p[b], p[next[b]]); };
  // The reflex corners in a tree cut at the median alternately across x and
  // y, so that an ear's test visits those near it, not all of them.
  std::vector<uint32_t> reflex;
  for (uint32_t i = 0; i < n; ++i)
    if (turn(i) <= 0) reflex.push_back(i);
  auto key = [&](uint32_t v, int axis) { return axis == 0 ? p[v].x : p[v].y; };
  std::function<void(size_t, size_t, int)> build = [&](size_t lo, size_t hi, int axis) {
    if (hi - lo <= 1) return;
    const size_t mid = lo + (hi - lo) / 2;
    std::nth_element(reflex.begin() + static_cast<long>(lo), reflex.begin() + static_cast<long>(mid),
                     reflex.begin() + static_cast<long>(hi),
                     [&](uint32_t a, uint32_t b) { return key(a, axis) < key(b, axis); });
    build(lo, mid, 1 - axis);
    build(mid + 1, hi, 1 - axis);
  };
  build(0, reflex.size(), 0);
  auto isEar = [&](uint32_t b) {
    if (turn(b) <= 0) return false;
    const uint32_t a = prev[b], c = next[b];
    const double lo[2] = {std::min({p[a].x, p[b].x, p[c].x}), std::min({p[a].y, p[b].y, p[c].y})};
    const double hi[2] = {std::max({p[a].x, p[b].x, p[c].x}), std::max({p[a].y, p[b].y, p[c].y})};
    auto inside = [&](uint32_t v) {
      if (gone[v] || v == a || v == b || v == c || turn(v) > 0) return false;
      return Orient(p[a], p[b], p[v]) >= 0 && Orient(p[b], p[c], p[v]) >= 0 && Orient(p[c], p[a], p[v]) >= 0;
    };
    std::function<bool(size_t, size_t, int)> any = [&](size_t from, size_t to, int axis) {
      if (from >= to) return false;
      const size_t mid = from + (to - from) / 2;
      const uint32_t v = reflex[mid];
      const double k = key(v, axis);
      if (p[v].x >= lo[0] && p[v].x <= hi[0] && p[v].y >= lo[1] && p[v].y <= hi[1] && inside(v)) return true;
      return (lo[axis] <= k && any(from, mid, 1 - axis)) || (hi[axis] >= k && any(mid + 1, to, 1 - axis));
    };
    return !any(0, reflex.size(), 0);
  };
  auto cut = [&](uint32_t b) {
    corners->insert(corners->end(), {prev[b], b, next[b]});
    gone[b] = 1;
    next[prev[b]] = next[b];
    prev[next[b]] = prev[b];
  };
  uint32_t at = 0;
  for (size_t left = n; left > 3; --left) {
    uint32_t ear = at;
    bool found = false;
    for (size_t k = 0; k < left; ++k, ear = next[ear])
      if (isEar(ear)) {
        found = true;
        break;
      }
    if (!found) {
      // Rounding can hide every ear of a polygon that is nearly straight
      // somewhere: cut the corner that turns left the most.
      double best = 0;
      uint32_t v = at;
      for (size_t k = 0; k < left; ++k, v = next[v])
        if (turn(v) > best) {
          best = turn(v);
          ear = v;
          found = true;
        }
      if (!found) return;  // what is left has no area
    }
    at = next[ear];
    cut(ear);
  }
  if (turn(at) > 0) corners->insert(corners->end(), {prev[at], at, next[at]});
}

// Two unit vectors across the plane with unit normal n, e1 x e2 = n.
void PlaneAxes(const Point3& n, Point3* e1, Point3* e2) {
  const double ax = std::fabs(n.x), ay = std::fabs(n.y), az = std::fabs(n.z);
  Point3 a = ax <= ay && ax <= az ? Point3{1, 0, 0} : ay <= az ? Point3{0, 1, 0} : Point3{0, 0, 1};
  Point3 c{n.y * a.z - n.z * a.y, n.z * a.x - n.x * a.z, n.x * a.y - n.y * a.x};
  const double l = std::sqrt(c.x * c.x + c.y * c.y + c.z * c.z);
  *e1 = {c.x / l, c.y / l, c.z / l};
  *e2 = {n.y * e1->z - n.z * e1->y, n.z * e1->x - n.x * e1->z, n.x * e1->y - n.y * e1->x};
}

struct CurveEnds {
  Point3 start, end;
};

CurveEnds Ends(const NurbsCurve& c) {
  const Basis b{c.order, static_cast<int>(c.points.size()), c.knots.data()};
  return {CurvePoint(b, c.points.data(), 1, b.Start()), CurvePoint(b, c.points.data(), 1, b.End())};
}

// The curves chained end to end: whether each runs backwards, or why they
// do not close one loop.
std::string Chain(const std::vector<NurbsCurve>& loop, double tolerance, std::vector<char>* backwards) {
  const size_t n = loop.size();
  std::vector<CurveEnds> ends(n);
  for (size_t i = 0; i < n; ++i) ends[i] = Ends(loop[i]);
  backwards->assign(n, 0);
  auto near = [&](const Point3& a, const Point3& b) { return Distance(a, b) <= tolerance; };
  if (n == 1) {
    const double gap = Distance(ends[0].start, ends[0].end);
    if (gap > tolerance) return "the loop's one curve is not closed: its ends lie " + MetresText(gap) + " apart";
    return {};
  }
  const CurveEnds& second = ends[1];
  if (near(ends[0].end, second.start) || near(ends[0].end, second.end)) {
    (*backwards)[0] = 0;
  } else if (near(ends[0].start, second.start) || near(ends[0].start, second.end)) {
    (*backwards)[0] = 1;
  } else {
    return "curve 0 and curve 1 do not meet: no end of one lies within " + MetresText(tolerance) + " of an end of the other";
  }
  auto head = [&](size_t i) { return (*backwards)[i] ? ends[i].end : ends[i].start; };
  auto tail = [&](size_t i) { return (*backwards)[i] ? ends[i].start : ends[i].end; };
  for (size_t i = 1; i < n; ++i) {
    const Point3 free = tail(i - 1);
    if (near(ends[i].start, free)) {
      (*backwards)[i] = 0;
    } else if (near(ends[i].end, free)) {
      (*backwards)[i] = 1;
    } else {
      return CurveName(i) + " neither starts nor ends where " + CurveName(i - 1) + " ends, " + Text(free) +
             ": its nearer end lies " +
             MetresText(std::min(Distance(ends[i].start, free), Distance(ends[i].end, free))) + " from it";
    }
  }
  const double gap = Distance(tail(n - 1), head(0));
  if (gap > tolerance)
    return "the loop does not close: " + CurveName(n - 1) + " ends " + MetresText(gap) + " from where " + CurveName(0) +
           " starts";
  return {};
}

// The loop's boundary points, curve after curve, each curve's last point
// left to the next curve's first; a point within `tolerance` of the one
// before it is the same point.
std::vector<Point3> LoopPoints(const std::vector<NurbsCurve>& loop, const std::vector<char>& backwards,
                               double tolerance) {
  std::vector<Point3> out;
  for (size_t i = 0; i < loop.size(); ++i) {
    const NurbsCurve& c = loop[i];
    const Basis b{c.order, static_cast<int>(c.points.size()), c.knots.data()};
    std::vector<double> t = CurveParameters(b, c.points.data(), 1, b.Start(), b.End());
    if (backwards[i]) std::reverse(t.begin(), t.end());
    for (size_t k = 0; k + 1 < t.size(); ++k) {
      const Point3 p = CurvePoint(b, c.points.data(), 1, t[k]);
      if (out.empty() || Distance(out.back(), p) > tolerance) out.push_back(p);
    }
  }
  while (out.size() > 1 && Distance(out.back(), out.front()) <= tolerance) out.pop_back();
  return out;
}


}  // namespace

std::string TrimPlane(const Surface& plane, const std::vector<NurbsCurve>& loop, SurfaceFaces* face) {
  *face = SurfaceFaces();
  std::vector<Point3> all;
  for (const NurbsCurve& c : loop) all.insert(all.end(), c.points.begin(), c.points.end());
  const double size = BoxSize(all.data(), all.size());
  const double tolerance = Tolerance(kSewingTolerance, size);
  for (size_t i = 0; i < loop.size(); ++i)
    if (BoxSize(loop[i].points.data(), loop[i].points.size()) <= tolerance)
      return CurveName(i) + " has no length: its control points lie within " + MetresText(tolerance) + " of each other";
  const Point3& n = plane.normal;
  for (size_t i = 0; i < loop.size(); ++i)
    for (size_t k = 0; k < loop[i].points.size(); ++k) {
      const Point3& p = loop[i].points[k];
      const double off = (p.x - plane.root.x) * n.x + (p.y - plane.root.y) * n.y + (p.z - plane.root.z) * n.z;
      if (std::fabs(off) > tolerance)
        return "control point " + std::to_string(k) + " of " + CurveName(i) + " lies " + MetresText(std::fabs(off)) +
               " off the plane, more than the tolerance of " + MetresText(tolerance);
    }
  std::vector<char> backwards;
  std::string why = Chain(loop, tolerance, &backwards);
  if (!why.empty()) return why;
  std::vector<Point3> points = LoopPoints(loop, backwards, tolerance);
  if (points.size() > kMostFacePoints) return "the loop needs more than " + std::to_string(kMostFacePoints) + " points";
  if (points.size() < 3) return "the loop encloses no area";

  // In the plane's own axes, about the first point.
  Point3 e1, e2;
  PlaneAxes(n, &e1, &e2);
  std::vector<P2> flat(points.size());
  for (size_t i = 0; i < points.size(); ++i) {
    const Point3 d{points[i].x - points[0].x, points[i].y - points[0].y, points[i].z - points[0].z};
    flat[i] = {d.x * e1.x + d.y * e1.y + d.z * e1.z, d.x * e2.x + d.y * e2.y + d.z * e2.z};
  }
  double area2 = 0;
  for (size_t i = 0; i < flat.size(); ++i) {
    const P2 &a = flat[i], &b = flat[(i + 1) % flat.size()];
    area2 += a.x * b.y - b.x * a.y;
  }
  if (!(std::fabs(area2) > tolerance * size)) return "the loop encloses no area";
  if (area2 < 0) {
    std::reverse(points.begin() + 1, points.end());
    std::reverse(flat.begin() + 1, flat.end());
  }
  const long crossing = CrossingAt(flat);
  if (crossing >= 0) return "the loop crosses or touches itself near " + Text(points[static_cast<size_t>(crossing)]);

  face->points = std::move(points);
  const uint32_t count = static_cast<uint32_t>(face->points.size());
  face->boundary.resize(count);
  for (uint32_t i = 0; i < count; ++i) face->boundary[i] = i;
  CutEars(flat, &face->corners);
  face->faces.push_back({0, count, 0, static_cast<uint32_t>(face->corners.size())});
  return {};
}

namespace {

// One edge of a bounded face: the iso-curve's control points over the
// basis it runs in, how many steps each of its spans takes, and its
// parameters from the range's start to its end.
struct Edge {
  std::vector<Point3> points;
  Basis basis;
  std::vector<int> steps;
  std::vector<double> t;
};

Edge MakeEdge(const Surface& s, int fixed, double at, double from, double to) {
  Edge e{IsoCurvePoints(s, fixed, at), SurfaceBasis(s, 1 - fixed), {}, {}};
  std::vector<double> bound(static_cast<size_t>(e.basis.count), 0);
  RaiseSecondDerivativeBounds(e.basis, e.points.data(), 1, &bound);
  const double tolerance = Tolerance(kChordTolerance, BoxSize(e.points.data(), e.points.size()));
  e.steps = SpanSteps(e.basis, bound, from, to, tolerance);
  e.t = StepParameters(e.basis, e.steps, from, to);
  return e;
}

int TotalSteps(const std::vector<int>& steps) {
  int total = 0;
  for (int m : steps) total += m;
  return total;
}

// Triangles between two chains of points that run the same way along
// opposite sides of a convex piece of the parameter plane, in the order of
// their keys (parameters along the chains).
void Zip(const std::vector<uint32_t>& outer, const std::vector<double>& outerKey, const std::vector<uint32_t>& inner,
         const std::vector<double>& innerKey, std::vector<uint32_t>* corners) {
  size_t i = 0, j = 0;
  const size_t p = outer.size() - 1, q = inner.size() - 1;
  while (i < p || j < q) {
    if (j == q || (i < p && outerKey[i + 1] <= innerKey[j + 1])) {
      corners->insert(corners->end(), {outer[i], outer[i + 1], inner[j]});
      ++i;
    } else {
      corners->insert(corners->end(), {outer[i], inner[j + 1], inner[j]});
      ++j;
    }
  }
}

// A bounded face's points with their parameters, and its triangles, each
// marked with the side of the ring it lies in (0 bottom, 1 right, 2 top,
// 3 left) or 4 inside the grid.
struct Weave {
  std::vector<Point3> points;
  std::vector<P2> at;  // (u, v) of each point
  std::vector<uint32_t> corners;
  std::vector<uint8_t> side;  // per triangle
  std::vector<uint32_t> cellU, cellV;  // per triangle inside the grid: its cell's column and row
};

// How many times at most the grid is cut finer or a ring made narrower:
// enough for a span's steps to go from 1 to kMostSpanSteps and a ring to
// a millionth of its first width.
constexpr int kMostRounds = 24;

// Whether the surface over the cell bends more along u (positive) or
// along v (negative): the distance of the surface at the middle of each
// of the cell's lines from the middle of its chord, the u lines' most less
// the v lines' most.
double Lean(const Surface& s, double ua, double ub, double va, double vb) {
  auto off = [&](double u0, double v0, double u1, double v1) {
    const Point3 a = SurfacePoint(s, u0, v0), b = SurfacePoint(s, u1, v1);
    return Distance(SurfacePoint(s, (u0 + u1) / 2, (v0 + v1) / 2),
                    {(a.x + b.x) / 2, (a.y + b.y) / 2, (a.z + b.z) / 2});
  };
  const double alongU = std::max(off(ua, va, ub, va), off(ua, vb, ub, vb));
  const double alongV = std::max(off(ua, va, ua, vb), off(ub, va, ub, vb));
  return alongU - alongV;
}

// The face over the grid lines gu x gv, whose outer lines are the range's
// edges: boundary points first, edge by edge counter-clockwise, each
// edge's last point left to the next edge; then the points inside, row by
// row. The ring between the edges and the grid's next lines is zipped in
// four trapezoids; the cells inside are cut in two.
Weave WeaveBounded(const Surface& s, const Edge* const edges[4], const std::vector<double>& gu,
                   const std::vector<double>& gv) {
  Weave w;
  const size_t cu = gu.size() - 1, cv = gv.size() - 1;
  const double fixed[4] = {gv.front(), gu.back(), gv.back(), gu.front()};
  std::vector<uint32_t> chain[4];
  std::vector<double> key[4];
  for (int k = 0; k < 4; ++k) {
    const Edge& e = *edges[k];
    const bool back = k >= 2;  // top and left run from the range's end to its start
    const size_t m = e.t.size();
    for (size_t a = 0; a < m; ++a) {
      const double t = e.t[back ? m - 1 - a : a];
      key[k].push_back(back ? -t : t);
      if (a + 1 < m) {
        chain[k].push_back(static_cast<uint32_t>(w.points.size()));
        w.points.push_back(CurvePoint(e.basis, e.points.data(), 1, t));
        w.at.push_back(k % 2 == 0 ? P2{t, fixed[k]} : P2{fixed[k], t});
      } else {
        chain[k].push_back(static_cast<uint32_t>(k == 3 ? 0 : w.points.size()));
      }
    }
  }
  const uint32_t base = static_cast<uint32_t>(w.points.size());
  auto at = [&](size_t a, size_t b) { return base + static_cast<uint32_t>((a - 1) + (b - 1) * (cu - 1)); };
  for (size_t b = 1; b < cv; ++b)
    for (size_t a = 1; a < cu; ++a) {
      w.points.push_back(SurfacePoint(s, gu[a], gv[b]));
      w.at.push_back({gu[a], gv[b]});
    }
  std::vector<uint32_t> inner[4];
  std::vector<double> innerKey[4];
  for (size_t a = 1; a < cu; ++a) {
    inner[0].push_back(at(a, 1));
    innerKey[0].push_back(gu[a]);
    inner[2].push_back(at(cu - a, cv - 1));
    innerKey[2].push_back(-gu[cu - a]);
  }
  for (size_t b = 1; b < cv; ++b) {
    inner[1].push_back(at(cu - 1, b));
    innerKey[1].push_back(gv[b]);
    inner[3].push_back(at(1, cv - b));
    innerKey[3].push_back(-gv[cv - b]);
  }
  for (int k = 0; k < 4; ++k) {
    Zip(chain[k], key[k], inner[k], innerKey[k], &w.corners);
    w.side.resize(w.corners.size() / 3, static_cast<uint8_t>(k));
  }
  w.cellU.resize(w.side.size(), 0);
  w.cellV.resize(w.side.size(), 0);
  for (size_t b = 1; b + 1 < cv; ++b)
    for (size_t a = 1; a + 1 < cu; ++a) {
      w.corners.insert(w.corners.end(),
                       {at(a, b), at(a + 1, b), at(a + 1, b + 1), at(a, b), at(a + 1, b + 1), at(a, b + 1)});
      w.side.insert(w.side.end(), {4, 4});
      w.cellU.insert(w.cellU.end(), {static_cast<uint32_t>(a), static_cast<uint32_t>(a)});
      w.cellV.insert(w.cellV.end(), {static_cast<uint32_t>(b), static_cast<uint32_t>(b)});
    }
  return w;
}

// How far triangle i strays from the surface: the most, over points spread
// across it, between the triangle's point and the surface's point at the
// same place in the parameter plane. Its corners are the surface's own.
double Stray(const Surface& s, const Weave& w, size_t i) {
  const uint32_t* c = &w.corners[3 * i];
  double most = 0;
  for (int a = 0; a <= 4; ++a)
    for (int b = 0; a + b <= 4; ++b) {
      if ((a == 4) || (b == 4) || (a + b == 0)) continue;
      const double wa = a / 4.0, wb = b / 4.0, wc = 1 - wa - wb;
      const Point3 &p = w.points[c[0]], &q = w.points[c[1]], &r = w.points[c[2]];
      const Point3 on = SurfacePoint(s, wa * w.at[c[0]].x + wb * w.at[c[1]].x + wc * w.at[c[2]].x,
                                     wa * w.at[c[0]].y + wb * w.at[c[1]].y + wc * w.at[c[2]].y);
      most = std::max(most, Distance(on, {wa * p.x + wb * q.x + wc * r.x, wa * p.y + wb * q.y + wc * r.y,
                                          wa * p.z + wb * q.z + wc * r.z}));
    }
  return most;
}

}  // namespace

std::string BoundSurface(const Surface& s, const double range[4], SurfaceFaces* face) {
  *face = SurfaceFaces();
  const double u0 = range[0], u1 = range[1], v0 = range[2], v1 = range[3];
  const Basis bu = SurfaceBasis(s, 0), bv = SurfaceBasis(s, 1);
  const size_t nu = static_cast<size_t>(s.count[0]), nv = static_cast<size_t>(s.count[1]);
  const double size = BoxSize(s.points.data(), s.points.size());

  // The edges, counter-clockwise in the parameter plane.
  const Edge bottom = MakeEdge(s, 1, v0, u0, u1), right = MakeEdge(s, 0, u1, v0, v1);
  const Edge top = MakeEdge(s, 1, v1, u0, u1), left = MakeEdge(s, 0, u0, v0, v1);

  // The grid: each span cut as the surface's bending in that direction asks
  // (its rows' or columns' second-derivative bounds, as for a curve), then
  // cut finer where a cell's triangles stray from the surface by more than
  // the tolerance, in the direction whose lines through the cell stray
  // more (both when they stray alike, as on a twisted cell). The ring
  // between the edges and the grid is as wide as its inset on each side
  // (bottom, right, top, left): at most half the grid's first step, and
  // halved while a triangle of that side strays. An edge sampled more
  // coarsely than the grid beside it needs a narrow ring.
  // A range too narrow for its sides to part: its triangles would fold over
  // one curve, and the area they add up to would not show it. The middle
  // line is measured against both sides, so that a closed surface whose
  // sides meet still has its width.
  const double narrow = Tolerance(kSewingTolerance, size);
  for (int d = 0; d < 2; ++d) {
    const Edge& along = d == 0 ? left : bottom;  // its parameters run across the direction measured
    const double from = range[2 * d], to = range[2 * d + 1], middle = from + (to - from) / 2;
    double widest = 0;
    for (double t : along.t) {
      auto at = [&](double w) { return d == 0 ? SurfacePoint(s, w, t) : SurfacePoint(s, t, w); };
      const Point3 m = at(middle);
      widest = std::max({widest, Distance(at(from), m), Distance(m, at(to))});
    }
    if (!(widest > narrow))
      return std::string("the range in ") + (d == 0 ? "u" : "v") + " is too narrow: the face is nowhere wider than " +
             MetresText(narrow);
  }
  const double tolerance = Tolerance(kChordTolerance, size);
  std::vector<double> boundU(nu, 0), boundV(nv, 0);
  for (size_t j = 0; j < nv; ++j) RaiseSecondDerivativeBounds(bu, &s.points[j * nu], 1, &boundU);
  for (size_t i = 0; i < nu; ++i) RaiseSecondDerivativeBounds(bv, &s.points[i], nu, &boundV);
  std::vector<int> steps[2] = {SpanSteps(bu, boundU, u0, u1, tolerance), SpanSteps(bv, boundV, v0, v1, tolerance)};
  // At least two steps each way, so that the grid has an inside.
  for (std::vector<int>& each : steps)
    if (TotalSteps(each) < 2)
      for (int& m : each)
        if (m > 0) m = 2;
  const size_t boundaryCount = (bottom.t.size() - 1) + (right.t.size() - 1) + (top.t.size() - 1) + (left.t.size() - 1);
  const Edge* edges[4] = {&bottom, &right, &top, &left};
  double inset[4] = {HUGE_VAL, HUGE_VAL, HUGE_VAL, HUGE_VAL};
  Weave woven;
  for (int round = 0;; ++round) {
    std::vector<int> spanOf[2];
    const std::vector<double> coreU = StepParameters(bu, steps[0], u0, u1, &spanOf[0]);
    const std::vector<double> coreV = StepParameters(bv, steps[1], v0, v1, &spanOf[1]);
    if (boundaryCount + (coreU.size() + 1) * (coreV.size() + 1) > kMostFacePoints)
      return "the face needs more than " + std::to_string(kMostFacePoints) + " points to follow its surface";
    const size_t cu = coreU.size() - 1, cv = coreV.size() - 1;
    const double first[4] = {coreV[1] - v0, u1 - coreU[cu - 1], v1 - coreV[cv - 1], coreU[1] - u0};
    for (int k = 0; k < 4; ++k) inset[k] = std::min(inset[k], first[k] / 2);
    std::vector<double> gu{u0, u0 + inset[3]}, gv{v0, v0 + inset[0]};
    gu.insert(gu.end(), coreU.begin() + 1, coreU.end() - 1);
    gv.insert(gv.end(), coreV.begin() + 1, coreV.end() - 1);
    gu.insert(gu.end(), {u1 - inset[1], u1});
    gv.insert(gv.end(), {v1 - inset[2], v1});
    woven = WeaveBounded(s, edges, gu, gv);

    bool side[4] = {false, false, false, false};
    std::vector<char> refine[2] = {std::vector<char>(nu, 0), std::vector<char>(nv, 0)};
    bool any = false;
    for (size_t i = 0; i < woven.side.size(); ++i) {
      const int k = woven.side[i];
      if ((k < 4 && side[k]) || Stray(s, woven, i) <= tolerance) continue;
      any = true;
      if (k < 4) {
        side[k] = true;
        continue;
      }
      // Grid column a lies in core step a - 1 (column 0 is the ring).
      const size_t a = woven.cellU[i], b = woven.cellV[i];
      const double lean = Lean(s, gu[a], gu[a + 1], gv[b], gv[b + 1]);
      if (lean >= 0) refine[0][static_cast<size_t>(spanOf[0][a - 1])] = 1;
      if (lean <= 0) refine[1][static_cast<size_t>(spanOf[1][b - 1])] = 1;
    }
    if (!any || round == kMostRounds) break;
    bool changed = false;
    for (int k = 0; k < 4; ++k)
      if (side[k]) {
        inset[k] /= 2;
        changed = true;
      }
    for (int d = 0; d < 2; ++d)
      for (size_t i = 0; i < refine[d].size(); ++i)
        if (refine[d][i] && steps[d][i] < kMostSpanSteps) {
          steps[d][i] *= 2;
          changed = true;
        }
    if (!changed) break;
  }

  double area2 = 0;
  for (size_t i = 0; i < woven.corners.size(); i += 3) {
    const Point3 &a = woven.points[woven.corners[i]], &b = woven.points[woven.corners[i + 1]],
                 &c = woven.points[woven.corners[i + 2]];
    const double ux = b.x - a.x, uy = b.y - a.y, uz = b.z - a.z, wx = c.x - a.x, wy = c.y - a.y, wz = c.z - a.z;
    const double x = uy * wz - uz * wy, y = uz * wx - ux * wz, z = ux * wy - uy * wx;
    area2 += std::sqrt(x * x + y * y + z * z);
  }
  if (!(area2 > Tolerance(kSewingTolerance, size) * size)) return "the surface has no area over the range";
  face->points = std::move(woven.points);
  face->corners = std::move(woven.corners);
  face->boundary.resize(boundaryCount);
  for (uint32_t i = 0; i < boundaryCount; ++i) face->boundary[i] = i;
  face->faces.push_back(
      {0, static_cast<uint32_t>(boundaryCount), 0, static_cast<uint32_t>(face->corners.size())});
  return {};
}

bool AddSurfaceFace(Body& collector, const SurfaceFaces& one) {
  SurfaceFaces& to = collector.surfaceFaces;
  constexpr size_t kMost = std::numeric_limits<uint32_t>::max();
  if (to.points.size() + one.points.size() >= kMost || to.boundary.size() + one.boundary.size() >= kMost ||
      to.corners.size() + one.corners.size() >= kMost || to.faces.size() + collector.faces.Count() + 1 >= kMost)
    return false;
  ReserveMore(to.points, one.points.size());
  ReserveMore(to.boundary, one.boundary.size());
  ReserveMore(to.corners, one.corners.size());
  ReserveMore(to.faces, 1);
  ReserveMore(collector.planarBefore, 1);
  // Nothing below allocates.
  const uint32_t offset = static_cast<uint32_t>(to.points.size());
  const uint32_t boundary = static_cast<uint32_t>(to.boundary.size());
  const uint32_t corners = static_cast<uint32_t>(to.corners.size());
  to.points.insert(to.points.end(), one.points.begin(), one.points.end());
  for (uint32_t i : one.boundary) to.boundary.push_back(offset + i);
  for (uint32_t i : one.corners) to.corners.push_back(offset + i);
  to.faces.push_back({boundary, static_cast<uint32_t>(one.boundary.size()), corners,
                      static_cast<uint32_t>(one.corners.size())});
  collector.planarBefore.push_back(static_cast<uint32_t>(collector.faces.Count()));
  return true;
}

}  // namespace stand_in
