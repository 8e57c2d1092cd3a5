// Planar faces: the host's check of a polygon, the compact face store, and
// the test that sewn faces close up into a solid.
#include "faces.h"

#include "sewing.h"

#include <algorithm>
#include <cstdio>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>

namespace stand_in {
namespace {

constexpr uint32_t kEmptySlot = std::numeric_limits<uint32_t>::max();

struct Vec {
  double x, y, z;
};
Vec Sub(const Point3& a, const Point3& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Vec Minus(const Vec& a, const Vec& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Vec Cross(const Vec& a, const Vec& b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
double Dot(const Vec& a, const Vec& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
double Length(const Vec& a) { return std::sqrt(Dot(a, a)); }

std::string PointName(int i) { return "point[" + std::to_string(i) + "]"; }

uint64_t Bits(double v) {
  if (v == 0.0) v = 0.0;  // -0.0 and 0.0 weld
  uint64_t b;
  std::memcpy(&b, &v, sizeof b);
  return b;
}

uint64_t Mix(uint64_t h) {
  h ^= h >> 33;
  h *= 0xFF51AFD7ED558CCDull;
  h ^= h >> 33;
  h *= 0xC4CEB9FE1A85EC53ull;
  h ^= h >> 33;
  return h;
}

uint64_t Hash(const Point3& p) {
  return Mix(Bits(p.x) * 0x9E3779B97F4A7C15ull ^ Bits(p.y) * 0xC2B2AE3D27D4EB4Full ^ Bits(p.z) * 0x165667B19E3779F9ull);
}

// Sketch points weld only when equal to the bit: a line keeps its -0.0.
uint64_t RawBits(double v) {
  uint64_t b;
  std::memcpy(&b, &v, sizeof b);
  return b;
}

uint64_t RawHash(const Point3& p) {
  return Mix(RawBits(p.x) * 0x9E3779B97F4A7C15ull ^ RawBits(p.y) * 0xC2B2AE3D27D4EB4Full ^
             RawBits(p.z) * 0x165667B19E3779F9ull);
}

bool SameBits(const Point3& a, const Point3& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

}  // namespace

std::string CheckPlanarPolygon(const Point3* p, int n) {
  static const char* const kAxis[3] = {"x", "y", "z"};
  for (int i = 0; i < n; ++i) {
    const double c[3] = {p[i].x, p[i].y, p[i].z};
    for (int a = 0; a < 3; ++a)
      if (!std::isfinite(c[a])) return PointName(i) + "." + kAxis[a] + " is not a finite number";
  }
  double size = 0;
  for (int i = 0; i < n; ++i)
    for (int j = i + 1; j < n; ++j) size = std::max(size, Length(Sub(p[i], p[j])));
  if (size <= kResolution) return "all points coincide";
  const double near = std::max(kCoincidentTolerance * size, kResolution);
  for (int i = 0; i < n; ++i)
    for (int j = i + 1; j < n; ++j)
      if (Length(Sub(p[i], p[j])) <= near) return PointName(i) + " and " + PointName(j) + " coincide";
  // A corner within `near` of the line through its neighbours is no corner.
  Vec turn[4];
  for (int i = 0; i < n; ++i) {
    const Point3& prev = p[(i + n - 1) % n];
    const Point3& next = p[(i + 1) % n];
    turn[i] = Cross(Sub(p[i], prev), Sub(next, p[i]));
    if (Length(turn[i]) <= near * Length(Sub(next, prev)))
      return PointName(i) + " is collinear with " + PointName((i + n - 1) % n) + " and " + PointName((i + 1) % n);
  }
  if (n == 3) return {};
  // Newell's normal: the polygon's area vector, whatever its shape.
  Vec area{0, 0, 0};
  for (int i = 0; i < n; ++i) {
    const Point3& a = p[i];
    const Point3& b = p[(i + 1) % n];
    area.x += (a.y - b.y) * (a.z + b.z);
    area.y += (a.z - b.z) * (a.x + b.x);
    area.z += (a.x - b.x) * (a.y + b.y);
  }
  const double twiceArea = Length(area);
  if (twiceArea <= near * size) return "the polygon has no area";
  const Vec unit{area.x / twiceArea, area.y / twiceArea, area.z / twiceArea};
  Point3 centre{0, 0, 0};
  for (int i = 0; i < n; ++i) {
    centre.x += p[i].x / n;
    centre.y += p[i].y / n;
    centre.z += p[i].z / n;
  }
  for (int i = 0; i < n; ++i)
    if (std::fabs(Dot(unit, Sub(p[i], centre))) > std::max(kPlanarTolerance * size, kResolution))
      return PointName(i) + " lies off the plane of the polygon";
  // A simple quadrilateral turns the same way at three or four corners; one
  // that crosses itself turns each way at two.
  int forward = 0;
  for (int i = 0; i < n; ++i) forward += Dot(unit, turn[i]) > 0;
  if (forward < 3) return "the polygon crosses itself";
  return {};
}

std::string MetresText(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3g m", v);
  return text;
}

int PolygonTriangles(const Point3* p, int count, int (*t)[3]) {
  static const int kAlong02[2][3] = {{0, 1, 2}, {0, 2, 3}}, kAlong13[2][3] = {{1, 2, 3}, {1, 3, 0}};
  const int(*pick)[3] = kAlong02;
  if (count == 4) {
    Vec area{0, 0, 0};
    for (int i = 0; i < 4; ++i) {
      const Point3& a = p[i];
      const Point3& b = p[(i + 1) % 4];
      area.x += (a.y - b.y) * (a.z + b.z);
      area.y += (a.z - b.z) * (a.x + b.x);
      area.z += (a.x - b.x) * (a.y + b.y);
    }
    for (int k : {1, 3})
      if (Dot(area, Cross(Sub(p[k], p[k - 1]), Sub(p[(k + 1) % 4], p[k]))) < 0) pick = kAlong13;
  }
  const int n = count == 4 ? 2 : 1;
  for (int i = 0; i < n; ++i)
    for (int k = 0; k < 3; ++k) t[i][k] = pick[i][k];
  return n;
}

size_t FaceCount(const Body& body) { return body.faces.Count() + body.surfaceFaces.Count(); }

void FaceTriangles(const Body& body, size_t face, std::vector<Point3>* corners) {
  corners->clear();
  const size_t planar = body.faces.Count();
  if (face < planar) {
    const int count = body.faces.CornerCount(face);
    Point3 c[4];
    for (int k = 0; k < count; ++k) c[k] = body.faces.Corner(face, k);
    int t[2][3];
    const int n = PolygonTriangles(c, count, t);
    for (int i = 0; i < n; ++i)
      for (int k = 0; k < 3; ++k) corners->push_back(c[t[i][k]]);
    return;
  }
  const SurfaceFaces& s = body.surfaceFaces;
  const SurfaceFaces::Face& f = s.faces[face - planar];
  corners->reserve(f.cornerCount);
  for (uint32_t i = 0; i < f.cornerCount; ++i) corners->push_back(s.points[s.corners[f.corners + i]]);
}

int FaceSet::CornerCount(size_t face) const noexcept {
  const size_t end = face + 1 < starts_.size() ? starts_[face + 1] : corners_.size();
  return static_cast<int>(end - starts_[face]);
}

bool FaceSet::Add(const Point3* points, int count) {
  const size_t n = static_cast<size_t>(count);
  if (corners_.size() + n >= kEmptySlot || vertices_.size() + n >= kEmptySlot) return false;
  ReserveMore(corners_, n);
  ReserveMore(starts_, 1);
  ReserveMore(vertices_, n);
  if ((vertices_.size() + n) * 2 > weld_.size()) GrowWeldIndex(vertices_.size() + n);
  // Nothing below allocates: the set changes whole or not at all.
  starts_.push_back(static_cast<uint32_t>(corners_.size()));
  for (size_t k = 0; k < n; ++k) corners_.push_back(Weld(points[k]));
  return true;
}

uint32_t FaceSet::Weld(const Point3& p) noexcept {
  const size_t mask = weld_.size() - 1;
  for (size_t slot = Hash(p) & mask;; slot = (slot + 1) & mask) {
    const uint32_t v = weld_[slot];
    if (v == kEmptySlot) {
      weld_[slot] = static_cast<uint32_t>(vertices_.size());
      vertices_.push_back(p);
      return weld_[slot];
    }
    if (vertices_[v] == p) return v;
  }
}

void FaceSet::GrowWeldIndex(size_t vertices) {
  size_t capacity = std::max<size_t>(weld_.size(), 16);
  while (capacity < vertices * 2) capacity *= 2;
  std::vector<uint32_t> grown(capacity, kEmptySlot);
  const size_t mask = capacity - 1;
  for (size_t v = 0; v < vertices_.size(); ++v) {
    size_t slot = Hash(vertices_[v]) & mask;
    while (grown[slot] != kEmptySlot) slot = (slot + 1) & mask;
    grown[slot] = static_cast<uint32_t>(v);
  }
  weld_.swap(grown);
}

void FaceSet::Seal() { std::vector<uint32_t>().swap(weld_); }

namespace {

// The set's corners as the sewing sees them: each corner's place in its
// face (low bits) and its face's corner count packed in a byte.
class PlanarView {
 public:
  PlanarView(const std::vector<Point3>& vertices, const std::vector<uint32_t>& corners,
             const std::vector<uint32_t>& starts, const std::vector<uint8_t>& shape)
      : vertices_(vertices), corners_(corners), starts_(starts), shape_(shape) {}
  size_t Faces() const { return starts_.size(); }
  uint32_t Corners() const { return static_cast<uint32_t>(corners_.size()); }
  size_t VertexCount() const { return vertices_.size(); }
  uint32_t First(size_t face) const { return starts_[face]; }
  uint32_t End(uint32_t first) const { return first + (shape_[first] >> 2); }
  uint32_t Next(uint32_t h) const {
    const unsigned k = shape_[h] & 3u;
    return k + 1 < (shape_[h] >> 2) ? h + 1 : h - k;
  }
  uint32_t FaceFirst(uint32_t h) const { return h - (shape_[h] & 3u); }
  uint32_t Vertex(uint32_t h) const { return corners_[h]; }
  const Point3& Point(uint32_t v) const { return vertices_[v]; }
  double Volume6(uint32_t first, const Point3& origin, double* area2, Point3* lo, Point3* hi) const {
    const unsigned count = shape_[first] >> 2;
    Vec c[4];
    for (unsigned k = 0; k < count; ++k) {
      const Point3& p = vertices_[corners_[first + k]];
      c[k] = Sub(p, origin);
      *lo = {std::min(lo->x, p.x), std::min(lo->y, p.y), std::min(lo->z, p.z)};
      *hi = {std::max(hi->x, p.x), std::max(hi->y, p.y), std::max(hi->z, p.z)};
    }
    double face = 0;
    for (unsigned k = 1; k + 1 < count; ++k) {
      face += Dot(c[0], Cross(c[k], c[k + 1]));
      *area2 += Length(Cross(Minus(c[k], c[0]), Minus(c[k + 1], c[0])));
    }
    return face;
  }

 private:
  const std::vector<Point3>& vertices_;
  const std::vector<uint32_t>& corners_;
  const std::vector<uint32_t>& starts_;
  const std::vector<uint8_t>& shape_;
};

}  // namespace

bool FaceSet::Sew(std::vector<uint32_t>* turn) const {
  turn->clear();
  const size_t faces = starts_.size();
  if (faces == 0) return false;
  std::vector<uint8_t> shape(corners_.size());
  for (size_t f = 0; f < faces; ++f) {
    const uint32_t begin = starts_[f];
    const unsigned count = static_cast<unsigned>(CornerCount(f));
    for (unsigned k = 0; k < count; ++k) shape[begin + k] = static_cast<uint8_t>(k | count << 2);
  }
  return SewShells(PlanarView(vertices_, corners_, starts_, shape), kCoincidentTolerance, turn);
}

// The first corner stays first, so a face keeps its place in the record.
void FaceSet::Turn(const std::vector<uint32_t>& faces) noexcept {
  for (uint32_t f : faces) {
    const size_t begin = starts_[f];
    const size_t end = f + 1 < starts_.size() ? starts_[f + 1] : corners_.size();
    std::reverse(corners_.begin() + static_cast<std::ptrdiff_t>(begin) + 1,
                 corners_.begin() + static_cast<std::ptrdiff_t>(end));
  }
}

template <class T>
void SketchLines::Blocks<T>::Reserve(size_t extra) {
  while (capacity_ - count_ < extra) {
    const size_t size = BlockSize(blocks_.size());
    blocks_.reserve(blocks_.size() + 1);
    blocks_.emplace_back(new T[size]);
    capacity_ += size;
  }
}

// The weld index is a direct-mapped table of recent end points, at most
// 2^16 slots: lines drawn in any local order (as a mesh's edges are) share
// nearly all their ends, and the index never outgrows a cache. A point it
// has forgotten is kept again, which costs memory, never a wrong line.
constexpr size_t kMostWeldSlots = size_t{1} << 16;

void SketchLines::Reserve() {
  if (points_.size() + 2 >= kEmptySlot) throw std::bad_alloc();
  points_.Reserve(2);
  ends_.Reserve(1);
  if (weld_.size() >= kMostWeldSlots || (points_.size() + 2) * 2 <= weld_.size()) return;
  size_t capacity = std::max<size_t>(weld_.size(), 64);
  while (capacity < (points_.size() + 2) * 2 && capacity < kMostWeldSlots) capacity *= 2;
  std::vector<WeldSlot> grown(capacity, WeldSlot{kEmptySlot, 0});
  const size_t mask = capacity - 1;
  for (size_t v = 0; v < points_.size(); ++v) {
    const uint64_t h = RawHash(points_[v]);
    grown[h & mask] = {static_cast<uint32_t>(v), static_cast<uint32_t>(h >> 32)};
  }
  weld_.swap(grown);
}

uint32_t SketchLines::Weld(const Point3& p) noexcept {
  const uint64_t h = RawHash(p);
  const auto tag = static_cast<uint32_t>(h >> 32);
  WeldSlot& slot = weld_[h & (weld_.size() - 1)];
  if (slot.point != kEmptySlot && slot.tag == tag && SameBits(points_[slot.point], p)) return slot.point;
  slot = {static_cast<uint32_t>(points_.size()), tag};
  points_.PushBack(p);
  return slot.point;
}

// Lines are often drawn in fans from one point: the last line's start is
// tried first.
void SketchLines::Append(const SketchLine& line) noexcept {
  uint32_t from;
  if (ends_.size() > 0 && SameBits(points_[ends_[ends_.size() - 1].from], line.from))
    from = ends_[ends_.size() - 1].from;
  else
    from = Weld(line.from);
  ends_.PushBack({from, Weld(line.to)});
}

void SketchLines::Seal() { std::vector<WeldSlot>().swap(weld_); }

}  // namespace stand_in
