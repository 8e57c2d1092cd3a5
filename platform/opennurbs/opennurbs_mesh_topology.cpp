// ON_MeshTopology: building and checking.
//
// The build sorts the vertex locations (O(V log V)), numbers the locations by
// their lowest vertex index, and buckets every face side between two
// different locations by its lower location (a counting pass first, so that
// each array is allocated once at its exact size). Sorting each small bucket
// by the higher location, stably, gives the edges in order with their faces
// ascending; equal neighbours are one edge. The side buckets' face column is
// the edges' face-list pool itself, so besides the result the build needs
// five bytes per face side.

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <new>
#include <vector>

#include "opennurbs_float_words.h"
#include "opennurbs_mesh.h"

namespace {

using on_float_words::Word;

bool HasNaN(const ON_3fPoint& p) { return std::isnan(p.x) || std::isnan(p.y) || std::isnan(p.z); }

// A location and a vertex index, ordered by location, then index.
struct VertexKey {
  std::uint64_t xy;
  std::uint64_t z_index;
  std::uint64_t Location() const { return z_index >> 32; }
  int Index() const { return static_cast<int>(z_index & 0xffffffffu); }
  bool operator<(const VertexKey& o) const { return xy < o.xy || (xy == o.xy && z_index < o.z_index); }
  bool SameLocation(const VertexKey& o) const { return xy == o.xy && Location() == o.Location(); }
};

VertexKey KeyOf(const ON_3fPoint& p, int index) {
  return VertexKey{(static_cast<std::uint64_t>(Word(p.x)) << 32) | Word(p.y),
                   (static_cast<std::uint64_t>(Word(p.z)) << 32) | static_cast<std::uint32_t>(index)};
}

// The number of sides of a face: 3 for a triangle, 4 for a quad. Side k runs
// from vi[k] to vi[(k + 1) % n].
int SideCount(const ON_MeshFace& f) { return f.IsTriangle() ? 3 : 4; }

bool IndexesInRange(const ON_MeshFace& f, int vertex_count) {
  for (int k = 0; k < 4; ++k)
    if (f.vi[k] < 0 || f.vi[k] >= vertex_count) return false;
  return true;
}

}  // namespace

void ON_MeshTopology::Destroy() {
  m_topv_map.Destroy();
  m_topv.Destroy();
  m_tope.Destroy();
  m_topf.Destroy();
  m_vi_pool.Destroy();
  m_topei_pool.Destroy();
  m_topfi_pool.Destroy();
}

bool ON_MeshTopology::Create() {
  Destroy();
  if (!m_mesh) return false;
  bool ok = false;
  try {
    ok = Build();
  } catch (const std::bad_alloc&) {
    ok = false;
  }
  if (!ok) Destroy();
  return ok;
}

bool ON_MeshTopology::Build() {
  const ON_Mesh& mesh = *m_mesh;
  const int vertex_count = mesh.m_V.Count();
  const int face_count = mesh.m_F.Count();

  // 1. Locations: rep[vi] is the lowest vertex index at vi's location.
  std::vector<int> rep(static_cast<size_t>(vertex_count));
  {
    std::vector<VertexKey> keys;
    keys.reserve(static_cast<size_t>(vertex_count));
    for (int vi = 0; vi < vertex_count; ++vi) {
      rep[static_cast<size_t>(vi)] = vi;
      if (!HasNaN(mesh.m_V[vi])) keys.push_back(KeyOf(mesh.m_V[vi], vi));
    }
    std::sort(keys.begin(), keys.end());
    for (size_t i = 1; i < keys.size(); ++i)
      if (keys[i].SameLocation(keys[i - 1]))
        rep[static_cast<size_t>(keys[i].Index())] = rep[static_cast<size_t>(keys[i - 1].Index())];
  }

  // 2. Topological vertices, numbered by their lowest vertex index, and their
  // m_vi lists (filled in ascending vertex order).
  if (!m_topv_map.SetCount(vertex_count)) return false;
  int topv_count = 0;
  for (int vi = 0; vi < vertex_count; ++vi) {
    const int r = rep[static_cast<size_t>(vi)];
    m_topv_map[vi] = (r == vi) ? topv_count++ : m_topv_map[r];
  }
  if (!m_topv.SetCount(topv_count) || !m_vi_pool.SetCount(vertex_count)) return false;
  std::vector<int>& start = rep;  // reused: rep is no longer needed
  start.assign(static_cast<size_t>(topv_count) + 1, 0);
  for (int vi = 0; vi < vertex_count; ++vi) ++start[static_cast<size_t>(m_topv_map[vi]) + 1];
  for (int t = 0; t < topv_count; ++t) start[static_cast<size_t>(t) + 1] += start[static_cast<size_t>(t)];
  int* vi_pool = m_vi_pool.Array();
  for (int t = 0; t < topv_count; ++t) {
    m_topv[t].m_vi = vi_pool + start[static_cast<size_t>(t)];
    m_topv[t].m_v_count = start[static_cast<size_t>(t) + 1] - start[static_cast<size_t>(t)];
  }
  for (int vi = 0; vi < vertex_count; ++vi) vi_pool[start[static_cast<size_t>(m_topv_map[vi])]++] = vi;

  // 3. Face sides between different locations, bucketed by their lower
  // location: counted first, so that every array has its exact size.
  if (!m_topf.SetCount(face_count)) return false;
  start.assign(static_cast<size_t>(topv_count) + 1, 0);
  std::int64_t side_count = 0;
  for (int fi = 0; fi < face_count; ++fi) {
    ON_MeshTopologyFace& tf = m_topf[fi];
    for (int k = 0; k < 4; ++k) {
      tf.m_topei[k] = -1;
      tf.m_reve[k] = 0;
    }
    const ON_MeshFace& f = mesh.m_F[fi];
    if (!IndexesInRange(f, vertex_count)) continue;  // skipped face
    const int n = SideCount(f);
    for (int k = 0; k < n; ++k) {
      const int a = m_topv_map[f.vi[k]];
      const int b = m_topv_map[f.vi[(k + 1) % n]];
      if (a == b) continue;  // corners at one location: no edge
      tf.m_reve[k] = a > b ? 1 : 0;
      ++start[static_cast<size_t>(std::min(a, b)) + 1];
      ++side_count;
    }
  }
  if (side_count > INT_MAX) return false;
  const int side_total = static_cast<int>(side_count);
  for (int t = 0; t < topv_count; ++t) start[static_cast<size_t>(t) + 1] += start[static_cast<size_t>(t)];

  // Each side: its higher location, its face (in the pool that becomes the
  // edges' face lists) and its side number. Filled in face order, so each
  // bucket lists its faces in ascending order.
  std::vector<int> upper(static_cast<size_t>(side_total));
  std::vector<unsigned char> side_of(static_cast<size_t>(side_total));
  if (!m_topfi_pool.SetCount(side_total)) return false;
  int* topfi_pool = m_topfi_pool.Array();
  for (int fi = 0; fi < face_count; ++fi) {
    const ON_MeshFace& f = mesh.m_F[fi];
    if (!IndexesInRange(f, vertex_count)) continue;
    const int n = SideCount(f);
    for (int k = 0; k < n; ++k) {
      const int a = m_topv_map[f.vi[k]];
      const int b = m_topv_map[f.vi[(k + 1) % n]];
      if (a == b) continue;
      const size_t j = static_cast<size_t>(start[static_cast<size_t>(std::min(a, b))]++);
      upper[j] = std::max(a, b);
      topfi_pool[j] = fi;
      side_of[j] = static_cast<unsigned char>(k);
    }
  }
  // start[t] is now the end of bucket t (and the beginning of bucket t + 1).

  // 4. Within each bucket, order the sides by their higher location,
  // stably (faces stay ascending within an edge). Buckets are small but for
  // a vertex many faces share.
  std::vector<size_t> order;
  for (int t = 0; t < topv_count; ++t) {
    const size_t begin = t == 0 ? 0 : static_cast<size_t>(start[static_cast<size_t>(t) - 1]);
    const size_t end = static_cast<size_t>(start[static_cast<size_t>(t)]);
    if (end - begin <= 32) {
      for (size_t i = begin + 1; i < end; ++i) {
        const int u = upper[i], fi = topfi_pool[i];
        const unsigned char k = side_of[i];
        size_t j = i;
        for (; j > begin && upper[j - 1] > u; --j) {
          upper[j] = upper[j - 1];
          topfi_pool[j] = topfi_pool[j - 1];
          side_of[j] = side_of[j - 1];
        }
        upper[j] = u;
        topfi_pool[j] = fi;
        side_of[j] = k;
      }
      continue;
    }
    order.resize(end - begin);
    for (size_t i = 0; i < order.size(); ++i) order[i] = begin + i;
    std::stable_sort(order.begin(), order.end(), [&](size_t x, size_t y) { return upper[x] < upper[y]; });
    std::vector<int> u(order.size()), fis(order.size());
    std::vector<unsigned char> ks(order.size());
    for (size_t i = 0; i < order.size(); ++i) {
      u[i] = upper[order[i]];
      fis[i] = topfi_pool[order[i]];
      ks[i] = side_of[order[i]];
    }
    std::copy(u.begin(), u.end(), upper.begin() + static_cast<std::ptrdiff_t>(begin));
    std::copy(fis.begin(), fis.end(), topfi_pool + begin);
    std::copy(ks.begin(), ks.end(), side_of.begin() + static_cast<std::ptrdiff_t>(begin));
  }
  std::vector<size_t>().swap(order);

  // 5. Edges and their face lists: equal neighbours in a bucket are one edge.
  int edge_count = 0;
  for (int t = 0; t < topv_count; ++t) {
    const int begin = t == 0 ? 0 : start[static_cast<size_t>(t) - 1];
    for (int j = begin; j < start[static_cast<size_t>(t)]; ++j)
      if (j == begin || upper[static_cast<size_t>(j)] != upper[static_cast<size_t>(j) - 1]) ++edge_count;
  }
  if (!m_tope.SetCount(edge_count)) return false;
  int e = -1;
  for (int t = 0; t < topv_count; ++t) {
    const int begin = t == 0 ? 0 : start[static_cast<size_t>(t) - 1];
    for (int j = begin; j < start[static_cast<size_t>(t)]; ++j) {
      const int u = upper[static_cast<size_t>(j)];
      if (j == begin || u != upper[static_cast<size_t>(j) - 1]) {
        ON_MeshTopologyEdge& edge = m_tope[++e];
        edge.m_topvi[0] = t;
        edge.m_topvi[1] = u;
        edge.m_topf_count = 0;
        edge.m_topfi = topfi_pool + j;
      }
      ++m_tope[e].m_topf_count;
      m_topf[topfi_pool[j]].m_topei[side_of[static_cast<size_t>(j)]] = e;
    }
  }
  std::vector<int>().swap(upper);
  std::vector<unsigned char>().swap(side_of);
  for (int fi = 0; fi < face_count; ++fi) {
    const ON_MeshFace& f = mesh.m_F[fi];
    if (f.IsTriangle() && IndexesInRange(f, vertex_count)) {
      ON_MeshTopologyFace& tf = m_topf[fi];
      tf.m_topei[3] = tf.m_topei[2];
      tf.m_reve[3] = tf.m_reve[2];
    }
  }

  // 6. The edges at each vertex, in ascending edge order.
  if (2 * static_cast<std::int64_t>(edge_count) > INT_MAX) return false;
  if (!m_topei_pool.SetCount(2 * edge_count)) return false;
  start.assign(static_cast<size_t>(topv_count) + 1, 0);
  for (int i = 0; i < edge_count; ++i) {
    ++start[static_cast<size_t>(m_tope[i].m_topvi[0]) + 1];
    ++start[static_cast<size_t>(m_tope[i].m_topvi[1]) + 1];
  }
  for (int t = 0; t < topv_count; ++t) start[static_cast<size_t>(t) + 1] += start[static_cast<size_t>(t)];
  int* topei_pool = m_topei_pool.Array();
  for (int t = 0; t < topv_count; ++t) {
    const int begin = start[static_cast<size_t>(t)];
    m_topv[t].m_tope_count = start[static_cast<size_t>(t) + 1] - begin;
    m_topv[t].m_topei = m_topv[t].m_tope_count > 0 ? topei_pool + begin : nullptr;
  }
  for (int i = 0; i < edge_count; ++i) {
    topei_pool[start[static_cast<size_t>(m_tope[i].m_topvi[0])]++] = i;
    topei_pool[start[static_cast<size_t>(m_tope[i].m_topvi[1])]++] = i;
  }
  return true;
}

int ON_MeshTopology::TopEdge(int topv0, int topv1) const {
  const int n = m_topv.Count();
  if (topv0 < 0 || topv1 < 0 || topv0 >= n || topv1 >= n || topv0 == topv1) return -1;
  if (topv0 > topv1) std::swap(topv0, topv1);
  const ON_MeshTopologyEdge* begin = m_tope.Array();
  const ON_MeshTopologyEdge* end = begin + m_tope.Count();
  if (!begin) return -1;
  const ON_MeshTopologyEdge* it =
      std::lower_bound(begin, end, topv0, [topv1](const ON_MeshTopologyEdge& edge, int v0) {
        return edge.m_topvi[0] < v0 || (edge.m_topvi[0] == v0 && edge.m_topvi[1] < topv1);
      });
  if (it != end && it->m_topvi[0] == topv0 && it->m_topvi[1] == topv1) return static_cast<int>(it - begin);
  return -1;
}

bool ON_MeshTopology::IsValid() const {
  if (!m_mesh) return false;
  const ON_Mesh& mesh = *m_mesh;
  const int vertex_count = mesh.m_V.Count();
  const int face_count = mesh.m_F.Count();
  const int topv_count = m_topv.Count();
  const int edge_count = m_tope.Count();
  if (m_topv_map.Count() != vertex_count || m_topf.Count() != face_count) return false;

  // Vertices: each location's vertices, ascending, mapped back to it, at one
  // location; locations ordered by their lowest vertex; every vertex once.
  std::int64_t listed = 0;
  int previous_lowest = -1;
  std::vector<VertexKey> locations;
  for (int t = 0; t < topv_count; ++t) {
    const ON_MeshTopologyVertex& tv = m_topv[t];
    if (tv.m_v_count < 1 || !tv.m_vi) return false;
    for (int j = 0; j < tv.m_v_count; ++j) {
      const int vi = tv.m_vi[j];
      if (vi < 0 || vi >= vertex_count || m_topv_map[vi] != t) return false;
      if (j > 0 && (vi <= tv.m_vi[j - 1] || !(mesh.m_V[vi] == mesh.m_V[tv.m_vi[0]]))) return false;
    }
    if (tv.m_vi[0] <= previous_lowest) return false;
    previous_lowest = tv.m_vi[0];
    listed += tv.m_v_count;
    if (!HasNaN(mesh.m_V[tv.m_vi[0]])) locations.push_back(KeyOf(mesh.m_V[tv.m_vi[0]], t));
  }
  if (listed != vertex_count) return false;
  // Different topological vertices are at different locations.
  std::sort(locations.begin(), locations.end());
  for (size_t i = 1; i < locations.size(); ++i)
    if (locations[i].SameLocation(locations[i - 1])) return false;

  // Edges: ascending (v0, v1) with v0 < v1; faces listed in ascending order,
  // each having a side on the edge.
  std::int64_t edge_sides = 0;
  for (int e = 0; e < edge_count; ++e) {
    const ON_MeshTopologyEdge& edge = m_tope[e];
    const int v0 = edge.m_topvi[0], v1 = edge.m_topvi[1];
    if (v0 < 0 || v0 >= v1 || v1 >= topv_count) return false;
    if (e > 0 && (v0 < m_tope[e - 1].m_topvi[0] || (v0 == m_tope[e - 1].m_topvi[0] && v1 <= m_tope[e - 1].m_topvi[1])))
      return false;
    if (edge.m_topf_count < 1 || !edge.m_topfi) return false;
    for (int j = 0; j < edge.m_topf_count; ++j) {
      const int fi = edge.m_topfi[j];
      if (fi < 0 || fi >= face_count || (j > 0 && fi < edge.m_topfi[j - 1])) return false;
      const ON_MeshTopologyFace& tf = m_topf[fi];
      if (tf.m_topei[0] != e && tf.m_topei[1] != e && tf.m_topei[2] != e && tf.m_topei[3] != e) return false;
    }
    edge_sides += edge.m_topf_count;
  }

  // Each vertex's edges: ascending, touching the vertex; every edge twice.
  std::int64_t vertex_edges = 0;
  for (int t = 0; t < topv_count; ++t) {
    const ON_MeshTopologyVertex& tv = m_topv[t];
    if (tv.m_tope_count < 0 || (tv.m_tope_count > 0 && !tv.m_topei)) return false;
    for (int j = 0; j < tv.m_tope_count; ++j) {
      const int e = tv.m_topei[j];
      if (e < 0 || e >= edge_count || (j > 0 && e <= tv.m_topei[j - 1])) return false;
      if (m_tope[e].m_topvi[0] != t && m_tope[e].m_topvi[1] != t) return false;
    }
    vertex_edges += tv.m_tope_count;
  }
  if (vertex_edges != 2 * static_cast<std::int64_t>(edge_count)) return false;

  // Faces: each side's edge joins the side's locations, in the recorded
  // direction, and lists the face; a side within one location (a degenerate
  // face) makes the topology invalid; skipped faces have no edges at all.
  std::int64_t face_sides = 0;
  for (int fi = 0; fi < face_count; ++fi) {
    const ON_MeshFace& f = mesh.m_F[fi];
    const ON_MeshTopologyFace& tf = m_topf[fi];
    if (!IndexesInRange(f, vertex_count)) {
      for (int k = 0; k < 4; ++k)
        if (tf.m_topei[k] != -1 || tf.m_reve[k] != 0) return false;
      continue;
    }
    const int n = SideCount(f);
    for (int k = 0; k < n; ++k) {
      const int a = m_topv_map[f.vi[k]];
      const int b = m_topv_map[f.vi[(k + 1) % n]];
      const int e = tf.m_topei[k];
      if (a == b) return false;  // a degenerate face
      if (e < 0 || e >= edge_count) return false;
      const ON_MeshTopologyEdge& edge = m_tope[e];
      if (edge.m_topvi[0] != std::min(a, b) || edge.m_topvi[1] != std::max(a, b)) return false;
      if (tf.m_reve[k] != (a > b ? 1 : 0)) return false;
      if (!std::binary_search(edge.m_topfi, edge.m_topfi + edge.m_topf_count, fi)) return false;
      ++face_sides;
    }
    if (n == 3 && (tf.m_topei[3] != tf.m_topei[2] || tf.m_reve[3] != tf.m_reve[2])) return false;
  }
  return face_sides == edge_sides;
}
