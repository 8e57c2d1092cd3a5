// Planar faces: the host's check of a polygon, the compact face store, and
// the test that sewn faces close up into a solid.
#include "faces.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace stand_in {
namespace {

constexpr uint32_t kEmptySlot = std::numeric_limits<uint32_t>::max();

struct Vec {
  double x, y, z;
};
Vec Sub(const Point3& a, const Point3& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Vec Cross(const Vec& a, const Vec& b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
double Dot(const Vec& a, const Vec& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
double Length(const Vec& a) { return std::sqrt(Dot(a, a)); }

std::string PointName(int i) { return "point[" + std::to_string(i) + "]"; }

// Geometric growth even when the caller asks for a few more at a time.
template <class T>
void Reserve(std::vector<T>& v, size_t extra) {
  if (v.capacity() - v.size() < extra) v.reserve(std::max(v.size() + extra, v.capacity() * 2));
}

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
  if (size == 0) return "all points coincide";
  const double near = kCoincidentTolerance * size;
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
    if (std::fabs(Dot(unit, Sub(p[i], centre))) > kPlanarTolerance * size)
      return PointName(i) + " lies off the plane of the polygon";
  // A simple quadrilateral turns the same way at three or four corners; one
  // that crosses itself turns each way at two.
  int forward = 0;
  for (int i = 0; i < n; ++i) forward += Dot(unit, turn[i]) > 0;
  if (forward < 3) return "the polygon crosses itself";
  return {};
}

int FaceSet::CornerCount(size_t face) const noexcept {
  const size_t end = face + 1 < starts_.size() ? starts_[face + 1] : corners_.size();
  return static_cast<int>(end - starts_[face]);
}

bool FaceSet::Add(const Point3* points, int count) {
  const size_t n = static_cast<size_t>(count);
  if (corners_.size() + n >= kEmptySlot || vertices_.size() + n >= kEmptySlot) return false;
  Reserve(corners_, n);
  Reserve(starts_, 1);
  Reserve(vertices_, n);
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

bool FaceSet::IsClosed() const {
  if (starts_.empty()) return false;
  // Each edge as (lower vertex, higher vertex); sorted, a closed set has
  // every edge exactly twice.
  std::vector<uint64_t> edges;
  edges.reserve(corners_.size());
  for (size_t f = 0; f < starts_.size(); ++f) {
    const size_t begin = starts_[f];
    const size_t end = f + 1 < starts_.size() ? starts_[f + 1] : corners_.size();
    for (size_t k = begin; k < end; ++k) {
      const uint64_t a = corners_[k];
      const uint64_t b = corners_[k + 1 == end ? begin : k + 1];
      edges.push_back(a < b ? (a << 32) | b : (b << 32) | a);
    }
  }
  std::sort(edges.begin(), edges.end());
  for (size_t i = 0; i < edges.size();) {
    size_t j = i + 1;
    while (j < edges.size() && edges[j] == edges[i]) ++j;
    if (j - i != 2) return false;
    i = j;
  }
  return true;
}

}  // namespace stand_in
