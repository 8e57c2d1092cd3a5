// Sewing faces of surfaces: boundary points welded within the sewing
// tolerance, then the shell test the planar faces use.
#include "surface_faces.h"

#include "faces.h"
#include "nurbs.h"
#include "sewing.h"

#include <cmath>
#include <limits>
#include <unordered_map>

namespace stand_in {
namespace {

// Points welded within `tolerance`: a point joins the first vertex kept
// within the tolerance of it, else becomes a vertex of its own. Cells of
// the tolerance's width, counted from the low corner of the body's box, so
// that a neighbour lies in one of the 27 cells around a point.
class Welder {
 public:
  Welder(const Point3& low, double tolerance, std::vector<Point3>* vertices)
      : low_(low), tolerance_(tolerance), vertices_(vertices) {}

  uint32_t Weld(const Point3& p) {
    const int64_t cx = Cell(p.x - low_.x), cy = Cell(p.y - low_.y), cz = Cell(p.z - low_.z);
    for (int64_t dz = -1; dz <= 1; ++dz)
      for (int64_t dy = -1; dy <= 1; ++dy)
        for (int64_t dx = -1; dx <= 1; ++dx) {
          const auto found = heads_.find(Key(cx + dx, cy + dy, cz + dz));
          if (found == heads_.end()) continue;
          for (uint32_t v = found->second; v != kNone; v = next_[v]) {
            const Point3& q = (*vertices_)[v];
            const double ex = q.x - p.x, ey = q.y - p.y, ez = q.z - p.z;
            if (ex * ex + ey * ey + ez * ez <= tolerance_ * tolerance_) return v;
          }
        }
    const uint32_t v = static_cast<uint32_t>(vertices_->size());
    vertices_->push_back(p);
    next_.resize(vertices_->size(), kNone);
    uint32_t& head = heads_.emplace(Key(cx, cy, cz), kNone).first->second;
    next_[v] = head;
    head = v;
    return v;
  }
  // A vertex that is not welded (a point inside a face).
  uint32_t Keep(const Point3& p) {
    vertices_->push_back(p);
    next_.resize(vertices_->size(), kNone);
    return static_cast<uint32_t>(vertices_->size() - 1);
  }

 private:
  static constexpr uint32_t kNone = ~uint32_t{0};
  // The box is at most 1e6 tolerances wide, so a cell index fits 21 bits.
  int64_t Cell(double offset) const { return static_cast<int64_t>(std::floor(offset / tolerance_)); }
  static uint64_t Key(int64_t x, int64_t y, int64_t z) {
    const uint64_t mask = (uint64_t{1} << 21) - 1;
    return (static_cast<uint64_t>(x + 1) & mask) | (static_cast<uint64_t>(y + 1) & mask) << 21 |
           (static_cast<uint64_t>(z + 1) & mask) << 42;
  }

  Point3 low_;
  double tolerance_;
  std::vector<Point3>* vertices_;
  std::vector<uint32_t> next_;  // the next vertex in the same cell
  std::unordered_map<uint64_t, uint32_t> heads_;
};

// A face as it comes to the sewing: its boundary points and its triangles,
// with the indexes of the boundary's points among the triangles' points.
struct Loose {
  std::vector<Point3> points;
  size_t boundaryCount = 0;        // points[0 .. boundaryCount) are the boundary, in order
  std::vector<uint32_t> corners;   // into points
};

Loose FromPlanar(const FaceSet& set, size_t f) {
  Loose out;
  const int count = set.CornerCount(f);
  for (int k = 0; k < count; ++k) out.points.push_back(set.Corner(f, k));
  out.boundaryCount = static_cast<size_t>(count);
  int t[2][3];
  const int n = PolygonTriangles(out.points.data(), count, t);
  for (int i = 0; i < n; ++i)
    for (int k = 0; k < 3; ++k) out.corners.push_back(static_cast<uint32_t>(t[i][k]));
  return out;
}

Loose FromSurface(const SurfaceFaces& set, size_t f) {
  Loose out;
  const SurfaceFaces::Face& face = set.faces[f];
  std::unordered_map<uint32_t, uint32_t> local;
  auto take = [&](uint32_t i) {
    const auto added = local.emplace(i, static_cast<uint32_t>(out.points.size()));
    if (added.second) out.points.push_back(set.points[i]);
    return added.first->second;
  };
  for (uint32_t k = 0; k < face.boundaryCount; ++k) take(set.boundary[face.boundary + k]);
  out.boundaryCount = out.points.size();
  for (uint32_t k = 0; k < face.cornerCount; ++k) out.corners.push_back(take(set.corners[face.corners + k]));
  return out;
}

// The sewn faces as the shell test sees them: a face's corners are its
// boundary, its volume that of its triangles.
class CycleView {
 public:
  // The first `edgeVertices` points are the boundaries' vertices.
  CycleView(const SurfaceFaces& set, const std::vector<uint32_t>& faceOf, size_t edgeVertices)
      : set_(set), faceOf_(faceOf), edgeVertices_(edgeVertices) {}
  size_t Faces() const { return set_.faces.size(); }
  uint32_t Corners() const { return static_cast<uint32_t>(set_.boundary.size()); }
  size_t VertexCount() const { return edgeVertices_; }
  uint32_t First(size_t face) const { return set_.faces[face].boundary; }
  uint32_t End(uint32_t first) const {
    const SurfaceFaces::Face& f = set_.faces[faceOf_[first]];
    return f.boundary + f.boundaryCount;
  }
  uint32_t Next(uint32_t h) const { return h + 1 < End(h) ? h + 1 : FaceFirst(h); }
  uint32_t FaceFirst(uint32_t h) const { return set_.faces[faceOf_[h]].boundary; }
  uint32_t Vertex(uint32_t h) const { return set_.boundary[h]; }
  const Point3& Point(uint32_t v) const { return set_.points[v]; }
  double Volume6(uint32_t first, const Point3& o, double* area2, Point3* lo, Point3* hi) const {
    const SurfaceFaces::Face& f = set_.faces[faceOf_[first]];
    double volume6 = 0;
    for (uint32_t i = f.corners; i < f.corners + f.cornerCount; i += 3) {
      Point3 c[3];
      for (int k = 0; k < 3; ++k) {
        const Point3& p = set_.points[set_.corners[i + static_cast<uint32_t>(k)]];
        c[k] = {p.x - o.x, p.y - o.y, p.z - o.z};
        *lo = {std::min(lo->x, p.x), std::min(lo->y, p.y), std::min(lo->z, p.z)};
        *hi = {std::max(hi->x, p.x), std::max(hi->y, p.y), std::max(hi->z, p.z)};
      }
      const double x = c[1].y * c[2].z - c[1].z * c[2].y, y = c[1].z * c[2].x - c[1].x * c[2].z,
                   z = c[1].x * c[2].y - c[1].y * c[2].x;
      volume6 += c[0].x * x + c[0].y * y + c[0].z * z;
      const Point3 u{c[1].x - c[0].x, c[1].y - c[0].y, c[1].z - c[0].z}, w{c[2].x - c[0].x, c[2].y - c[0].y, c[2].z - c[0].z};
      const double ax = u.y * w.z - u.z * w.y, ay = u.z * w.x - u.x * w.z, az = u.x * w.y - u.y * w.x;
      *area2 += std::sqrt(ax * ax + ay * ay + az * az);
    }
    return volume6;
  }

 private:
  const SurfaceFaces& set_;
  const std::vector<uint32_t>& faceOf_;
  size_t edgeVertices_;
};

}  // namespace

std::string SewSurfaceFaces(const Body& c, SurfaceFaces* made, bool* closed) {
  *made = SurfaceFaces();
  *closed = false;
  // The faces in the order they came: each face of a surface after the
  // planar faces collected before it.
  std::vector<Loose> faces;
  faces.reserve(c.faces.Count() + c.surfaceFaces.Count());
  size_t planar = 0;
  for (size_t s = 0; s < c.surfaceFaces.Count(); ++s) {
    for (; planar < c.planarBefore[s]; ++planar) faces.push_back(FromPlanar(c.faces, planar));
    faces.push_back(FromSurface(c.surfaceFaces, s));
  }
  for (; planar < c.faces.Count(); ++planar) faces.push_back(FromPlanar(c.faces, planar));

  size_t total = 0;
  for (const Loose& f : faces) total += f.points.size();
  if (total >= std::numeric_limits<uint32_t>::max()) return "the body has more points than the host can sew";
  std::vector<Point3> edgePoints;
  for (const Loose& f : faces) edgePoints.insert(edgePoints.end(), f.points.begin(), f.points.begin() + static_cast<std::ptrdiff_t>(f.boundaryCount));
  Point3 low = edgePoints.front();
  for (const Point3& p : edgePoints) low = {std::min(low.x, p.x), std::min(low.y, p.y), std::min(low.z, p.z)};
  const double tolerance = Tolerance(kSewingTolerance, BoxSize(edgePoints.data(), edgePoints.size()));

  SurfaceFaces out;
  std::vector<uint32_t> faceOf;
  Welder welder(low, tolerance, &out.points);
  // Boundary points first, so that the vertices the shell test looks at
  // come before those inside the faces.
  std::vector<std::vector<uint32_t>> vertexOf(faces.size());
  for (size_t f = 0; f < faces.size(); ++f) {
    vertexOf[f].resize(faces[f].points.size());
    for (size_t i = 0; i < faces[f].boundaryCount; ++i) vertexOf[f][i] = welder.Weld(faces[f].points[i]);
  }
  const size_t edgeVertices = out.points.size();
  for (size_t f = 0; f < faces.size(); ++f)
    for (size_t i = faces[f].boundaryCount; i < faces[f].points.size(); ++i)
      vertexOf[f][i] = welder.Keep(faces[f].points[i]);
  for (size_t f = 0; f < faces.size(); ++f) {
    const Loose& loose = faces[f];
    const std::vector<uint32_t>& vertex = vertexOf[f];
    // The boundary without the steps the welding made empty.
    std::vector<uint32_t> cycle;
    for (size_t i = 0; i < loose.boundaryCount; ++i)
      if (cycle.empty() || cycle.back() != vertex[i]) cycle.push_back(vertex[i]);
    while (cycle.size() > 1 && cycle.back() == cycle.front()) cycle.pop_back();
    if (cycle.size() < 3)
      return "face " + std::to_string(f) + " collapses within the sewing tolerance of " + MetresText(tolerance);
    SurfaceFaces::Face face{static_cast<uint32_t>(out.boundary.size()), static_cast<uint32_t>(cycle.size()),
                            static_cast<uint32_t>(out.corners.size()), 0};
    out.boundary.insert(out.boundary.end(), cycle.begin(), cycle.end());
    faceOf.insert(faceOf.end(), cycle.size(), static_cast<uint32_t>(f));
    for (size_t i = 0; i < loose.corners.size(); i += 3) {
      const uint32_t a = vertex[loose.corners[i]], b = vertex[loose.corners[i + 1]], d = vertex[loose.corners[i + 2]];
      if (a == b || b == d || d == a) continue;  // welded flat
      out.corners.insert(out.corners.end(), {a, b, d});
    }
    face.cornerCount = static_cast<uint32_t>(out.corners.size()) - face.corners;
    out.faces.push_back(face);
  }

  std::vector<uint32_t> turn;
  *closed = SewShells(CycleView(out, faceOf, edgeVertices), kSewingTolerance, &turn);
  // The first corner stays first, so a face keeps its place.
  for (uint32_t f : turn) {
    const SurfaceFaces::Face& face = out.faces[f];
    std::reverse(out.boundary.begin() + face.boundary + 1, out.boundary.begin() + face.boundary + face.boundaryCount);
    for (uint32_t i = face.corners; i < face.corners + face.cornerCount; i += 3)
      std::swap(out.corners[i + 1], out.corners[i + 2]);
  }
  *made = std::move(out);
  return {};
}

}  // namespace stand_in
