// Surfaces and trimming loops handed to the host as the bridge hands them:
// property arrays, whole knot vectors, control points u fastest, loops
// whose first curve has dimension -3.
#pragma once

#include "fixture.h"

#include <cmath>
#include <string>
#include <vector>

namespace surfaces {

using stand_in::Point3;

struct Curve {
  int order = 2;
  std::vector<double> knots;
  std::vector<Point3> points;
  bool periodic = false;

  Point3 Start() const { return points.front(); }  // clamped curves only
  Point3 End() const { return points.back(); }
};

struct Patch {
  int order[2] = {4, 4};
  int count[2] = {4, 4};
  std::vector<double> knots[2];
  std::vector<Point3> points;  // u fastest
  LONG periodic[2] = {0, 0};

  const Point3& At(int i, int j) const { return points[static_cast<size_t>(j * count[0] + i)]; }
  // A clamped patch's edges as curves: the row at v index j, the column at u index i.
  Curve Row(int j) const {
    Curve c{order[0], knots[0], {}, false};
    for (int i = 0; i < count[0]; ++i) c.points.push_back(At(i, j));
    return c;
  }
  Curve Column(int i) const {
    Curve c{order[1], knots[1], {}, false};
    for (int j = 0; j < count[1]; ++j) c.points.push_back(At(i, j));
    return c;
  }
  std::vector<LONG> Properties() const {
    return {order[0], order[1], count[1], count[0], periodic[0], periodic[1], 3, 0};
  }
  std::vector<double> Xyz() const {
    std::vector<double> out;
    for (const Point3& p : points) out.insert(out.end(), {p.x, p.y, p.z});
    return out;
  }
};

inline std::vector<double> Clamped(int order, int count) {
  std::vector<double> k;
  const int spans = count - order + 1;
  for (int i = 0; i < order; ++i) k.push_back(0);
  for (int i = 1; i < spans; ++i) k.push_back(double(i) / spans);
  for (int i = 0; i < order; ++i) k.push_back(1);
  return k;
}

inline Curve Line(const Point3& a, const Point3& b) { return {2, {0, 0, 1, 1}, {a, b}, false}; }

inline Curve Moved(Curve c, double dz) {
  for (Point3& p : c.points) p.z += dz;
  return c;
}

inline Patch Moved(Patch s, double dz) {
  for (Point3& p : s.points) p.z += dz;
  return s;
}

// A clamped patch over width x height in x and y, u along +x and v along
// +y, with the control points' heights given row by row (v index outer).
inline Patch Over(double width, double height, int order, const std::vector<std::vector<double>>& z) {
  Patch s;
  s.count[1] = static_cast<int>(z.size());
  s.count[0] = static_cast<int>(z[0].size());
  s.order[0] = s.order[1] = order;
  s.knots[0] = Clamped(order, s.count[0]);
  s.knots[1] = Clamped(order, s.count[1]);
  for (int j = 0; j < s.count[1]; ++j)
    for (int i = 0; i < s.count[0]; ++i)
      s.points.push_back({width * i / (s.count[0] - 1), height * j / (s.count[1] - 1), z[j][i]});
  return s;
}

// A bicubic Bezier patch over 2 x 1 with a bump: control heights up to 0.9.
inline Patch Bump() {
  return Over(2, 1, 4, {{0.0, 0.2, 0.1, 0.0}, {0.1, 0.9, 0.7, 0.2}, {0.2, 0.6, 0.8, 0.1}, {0.0, 0.1, 0.3, 0.2}});
}

inline HRESULT MakeBSpline(IHostBody* body, const Patch& s, IHostSurface** out) {
  const std::vector<LONG> p = s.Properties();
  const std::vector<double> xyz = s.Xyz();
  return body->CreateBSplineSurface(p.data(), s.knots[0].data(), s.knots[1].data(), xyz.data(), out);
}

inline HRESULT MakePlane(IHostBody* body, const Point3& root, const Point3& normal, IHostSurface** out) {
  const double r[3] = {root.x, root.y, root.z}, n[3] = {normal.x, normal.y, normal.z};
  return body->CreatePlaneSurface(r, n, out);
}

// The nine arguments of a trimming loop, as the bridge fills them.
struct LoopArrays {
  explicit LoopArrays(const std::vector<Curve>& loop) {
    for (size_t i = 0; i < loop.size(); ++i) {
      const Curve& c = loop[i];
      orders.push_back(c.order);
      dimensions.push_back(i == 0 ? -3 : 3);
      periodic.push_back(c.periodic ? 1 : 0);
      knotCounts.push_back(static_cast<LONG>(c.knots.size()));
      counts.push_back(static_cast<LONG>(c.points.size()));
      knots.insert(knots.end(), c.knots.begin(), c.knots.end());
      for (const Point3& p : c.points) points.insert(points.end(), {p.x, p.y, p.z});
    }
  }
  HRESULT Add(IHostSurface* surface) const {
    return surface->AddTrimmingLoop(static_cast<LONG>(orders.size()), orders.data(), dimensions.data(),
                                    periodic.data(), knotCounts.data(), counts.data(), knots.data(), points.data(),
                                    nullptr);
  }
  std::vector<LONG> orders, dimensions, periodic, knotCounts, counts;
  std::vector<double> knots, points;
};

inline HRESULT Bounded(IHostBody* body, const Patch& s) {
  CComPtr<IHostSurface> surface;
  HRESULT hr = MakeBSpline(body, s, &surface);
  if (hr != S_OK) return hr;
  const double range[4] = {s.knots[0][s.order[0] - 1], s.knots[0][s.count[0]], s.knots[1][s.order[1] - 1],
                           s.knots[1][s.count[1]]};
  return body->CreateBoundedSurface(1, 1, range);
}

inline HRESULT TrimmedPlane(IHostBody* body, const Point3& root, const Point3& normal,
                            const std::vector<Curve>& loop) {
  CComPtr<IHostSurface> surface;
  HRESULT hr = MakePlane(body, root, normal, &surface);
  if (hr != S_OK) return hr;
  hr = LoopArrays(loop).Add(surface);
  if (hr != S_OK) return hr;
  VARIANT_BOOL ok = VARIANT_FALSE;
  hr = body->CreateTrimmedSurface(&ok);
  return hr == S_OK && ok == VARIANT_FALSE ? E_UNEXPECTED : hr;
}

// The closed solid under a clamped surface over a rectangle, made as the
// bridge makes it: the surface bounded by its domain, then side faces 1 to
// 4 trimmed by their top, vertical and bottom edges in the bridge's order
// (T1 V1 B1 V2, ...), then the bottom: flat, trimmed by B1 to B4, or the
// surface moved down and bounded. `skip` leaves a side face out.
inline void AddBox(IHostBody* body, const Patch& s, double depth, bool flat, int skip = 0) {
  const Curve t[4] = {s.Row(0), s.Column(s.count[0] - 1), s.Row(s.count[1] - 1), s.Column(0)};
  double z0 = s.points[0].z;
  for (const Point3& p : s.points) z0 = std::min(z0, p.z);
  Curve b[4];
  for (int k = 0; k < 4; ++k) {
    if (flat) {
      b[k] = Line({t[k].Start().x, t[k].Start().y, z0}, {t[k].End().x, t[k].End().y, z0});
      b[k] = Moved(b[k], -depth);
    } else {
      b[k] = Moved(t[k], -depth);
    }
  }
  const Curve v[4] = {Line(t[0].Start(), b[0].Start()), Line(t[1].Start(), b[1].Start()),
                      Line(t[2].End(), b[2].End()), Line(t[3].End(), b[3].End())};
  const Point3 normals[4] = {{0, -1, 0}, {1, 0, 0}, {0, 1, 0}, {-1, 0, 0}};
  EXPECT_EQ(Bounded(body, s), S_OK);
  for (int k = 0; k < 4; ++k) {
    if (k + 1 == skip) continue;
    EXPECT_EQ(TrimmedPlane(body, t[k].Start(), normals[k], {t[k], v[k], b[k], v[(k + 1) % 4]}), S_OK) << "side " << k + 1;
  }
  if (flat)
    EXPECT_EQ(TrimmedPlane(body, b[0].Start(), {0, 0, -1}, {b[0], b[1], b[2], b[3]}), S_OK);
  else
    EXPECT_EQ(Bounded(body, Moved(s, -depth)), S_OK);
}

}  // namespace surfaces
