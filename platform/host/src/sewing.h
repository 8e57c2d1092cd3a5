// Sewing faces that already share their vertices: which edges pair up,
// whether the faces close manifold shells around a volume, and which faces
// to turn round. One routine for the planar faces of the mesh road and for
// the faces of surfaces, each seen through a small view of its own store.
#pragma once

#include "faces.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

namespace stand_in {

// A face store as the sewing sees it. Corners are numbered 0 to Corners()-1,
// face after face; corner h starts the half-edge from its vertex to the
// next corner's. The view gives:
//   size_t Faces(); uint32_t Corners(); size_t VertexCount();
//   uint32_t First(size_t face)      the face's first corner
//   uint32_t End(uint32_t first)     one past the face's last corner
//   uint32_t Next(uint32_t h)        the next corner round the face
//   uint32_t FaceFirst(uint32_t h)   the first corner of h's face
//   uint32_t Vertex(uint32_t h)
//   const Point3& Point(uint32_t vertex)
//   double Volume6(uint32_t first, const Point3& origin, double* area2,
//                  Point3* lo, Point3* hi)
//     six times the signed volume the face spans with `origin`, adding
//     twice its area to *area2 and its points to the box lo..hi.
//
// An edge of two faces pairs their half-edges as mates; the faces around a
// vertex are one fan when the mates link all its corners into one cycle; a
// face and its mate's face agree when their half-edges run opposite ways.
// True when the faces close manifold shells that enclose a volume: every
// edge of exactly two half-edges, one fan at each vertex, the faces
// orientable, and each shell's volume more than its area times `thickness`
// (relative to the shell's size, never below the host's resolution).
// `turn` receives the faces to turn round so that neighbours agree and
// closed shells face outward; each open piece keeps its first face's
// winding.
template <class View>
bool SewShells(const View& t, double thickness, std::vector<uint32_t>* turn) {
  constexpr uint32_t kNone = std::numeric_limits<uint32_t>::max();
  turn->clear();
  const size_t faces = t.Faces();
  const uint32_t n = t.Corners();
  const size_t vertexCount = t.VertexCount();
  if (faces == 0) return false;

  auto low = [&](uint32_t h) { return std::min(t.Vertex(h), t.Vertex(t.Next(h))); };
  auto high = [&](uint32_t h) { return std::max(t.Vertex(h), t.Vertex(t.Next(h))); };

  // Half-edges bucketed by their lower vertex, each bucket sorted by the
  // higher one: the half-edges of one edge lie together.
  std::vector<uint32_t> order(n);
  std::vector<uint32_t> mate(n, kNone);
  bool solid = true;
  {
    std::vector<uint32_t> bucket(vertexCount + 1, 0);
    for (uint32_t h = 0; h < n; ++h) ++bucket[low(h)];
    for (size_t v = 1; v <= vertexCount; ++v) bucket[v] += bucket[v - 1];
    for (uint32_t h = n; h-- > 0;) order[--bucket[low(h)]] = h;
    for (size_t v = 0; v < vertexCount; ++v) {
      const auto first = order.begin() + bucket[v], last = order.begin() + bucket[v + 1];
      if (last - first > 2) std::sort(first, last, [&](uint32_t a, uint32_t b) { return high(a) < high(b); });
      for (auto i = first; i != last;) {
        auto j = i + 1;
        while (j != last && high(*j) == high(*i)) ++j;
        if (j - i == 2) {
          mate[i[0]] = i[1];
          mate[i[1]] = i[0];
        } else {
          solid = false;  // an edge of one face, or of three or more
        }
        i = j;
      }
    }
  }

  if (solid) {
    // The corners at one vertex, linked across each edge to the corner of
    // the mate's face at the same vertex: one group per vertex, or a vertex
    // where two fans touch.
    std::vector<uint32_t>& parent = order;
    for (uint32_t h = 0; h < n; ++h) parent[h] = h;
    auto find = [&](uint32_t x) {
      while (parent[x] != x) {
        parent[x] = parent[parent[x]];
        x = parent[x];
      }
      return x;
    };
    auto unite = [&](uint32_t a, uint32_t b) {
      a = find(a);
      b = find(b);
      if (a != b) parent[std::max(a, b)] = std::min(a, b);
    };
    auto cornerAt = [&](uint32_t m, uint32_t vertex) { return t.Vertex(m) == vertex ? m : t.Next(m); };
    for (uint32_t h = 0; h < n; ++h) {
      const uint32_t m = mate[h];
      if (m == kNone || m < h) continue;  // each edge once
      unite(h, cornerAt(m, t.Vertex(h)));
      unite(t.Next(h), cornerAt(m, t.Vertex(t.Next(h))));
    }
    size_t fans = 0;
    for (uint32_t h = 0; h < n; ++h) fans += parent[h] == h;
    solid = fans == vertexCount;
  }
  std::vector<uint32_t>().swap(order);

  // Each connected piece oriented from its first face across its edges of
  // two faces; a closed piece then turned outward by its signed volume.
  std::vector<int8_t> state(n, -1);  // by the face's first corner: 0 kept, 1 turned
  std::vector<uint32_t> queue;
  queue.reserve(faces);
  for (size_t f = 0; f < faces; ++f) {
    const uint32_t seed = t.First(f);
    if (state[seed] >= 0) continue;
    const size_t begin = queue.size();
    state[seed] = 0;
    queue.push_back(seed);
    for (size_t q = begin; q < queue.size(); ++q) {
      const uint32_t s = queue[q];
      const uint32_t end = t.End(s);
      for (uint32_t h = s; h < end; ++h) {
        const uint32_t m = mate[h];
        if (m == kNone) continue;
        const uint32_t g = t.FaceFirst(m);
        const int8_t want = static_cast<int8_t>(state[s] ^ (t.Vertex(m) == t.Vertex(h) ? 1 : 0));
        if (state[g] < 0) {
          state[g] = want;
          queue.push_back(g);
        } else if (state[g] != want) {
          solid = false;  // not orientable
        }
      }
    }
    if (!solid) continue;
    // Six times the signed volume, about the piece's first corner so that
    // far-off coordinates cancel nothing; twice the area; the bounding box.
    const Point3& origin = t.Point(t.Vertex(seed));
    double volume6 = 0, area2 = 0;
    Point3 lo = origin, hi = origin;
    for (size_t q = begin; q < queue.size(); ++q) {
      const uint32_t s = queue[q];
      const double face = t.Volume6(s, origin, &area2, &lo, &hi);
      volume6 += state[s] ? -face : face;
    }
    // A shell whose mean thickness (volume over area) is within the
    // tolerance of its size encloses nothing.
    const double dx = hi.x - lo.x, dy = hi.y - lo.y, dz = hi.z - lo.z;
    const double size = std::sqrt(dx * dx + dy * dy + dz * dz);
    const double least = std::max(thickness * size, kResolution);
    if (!(std::fabs(volume6) / 6 > least * area2 / 2)) {
      solid = false;
      continue;
    }
    if (volume6 < 0)
      for (size_t q = begin; q < queue.size(); ++q) state[queue[q]] ^= 1;
  }
  for (size_t f = 0; f < faces; ++f)
    if (state[t.First(f)] == 1) turn->push_back(static_cast<uint32_t>(f));
  return solid;
}

}  // namespace stand_in
