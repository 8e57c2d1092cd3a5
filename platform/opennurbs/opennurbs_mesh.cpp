#include "opennurbs_mesh.h"
#include "opennurbs_float_words.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <new>
#include <utility>
#include <vector>

bool ON_MeshFace::IsValid(int mesh_vertex_count) const {
  for (int k = 0; k < 4; ++k)
    if (vi[k] < 0 || vi[k] >= mesh_vertex_count) return false;
  if (vi[0] == vi[1] || vi[1] == vi[2] || vi[2] == vi[0]) return false;
  return vi[2] == vi[3] || (vi[3] != vi[0] && vi[3] != vi[1]);
}

void ON_MeshFace::Flip() {
  if (IsTriangle()) {
    const int a = vi[0];
    vi[0] = vi[2];
    vi[2] = vi[3] = a;
  } else {
    int t = vi[0];
    vi[0] = vi[3];
    vi[3] = t;
    t = vi[1];
    vi[1] = vi[2];
    vi[2] = t;
  }
}

ON_Mesh::ON_Mesh(int initial_face_array_capacity, int initial_vertex_array_capacity, bool has_vertex_normals,
                 bool /*has_texture_coordinates*/) {
  m_F.Reserve(initial_face_array_capacity);
  m_V.Reserve(initial_vertex_array_capacity);
  if (has_vertex_normals) m_N.Reserve(initial_vertex_array_capacity);
}

ON_Mesh::ON_Mesh(const ON_Mesh& src)
    : ON_Geometry(src), m_V(src.m_V), m_F(src.m_F), m_N(src.m_N), m_FN(src.m_FN), m_C(src.m_C) {}

ON_Mesh& ON_Mesh::operator=(const ON_Mesh& src) {
  if (this != &src) {
    DestroyTopology();
    ON_Geometry::operator=(src);
    m_V = src.m_V;
    m_F = src.m_F;
    m_N = src.m_N;
    m_FN = src.m_FN;
    m_C = src.m_C;
  }
  return *this;
}

ON_Mesh::ON_Mesh(ON_Mesh&& src) noexcept
    : ON_Geometry(src),
      m_V(std::move(src.m_V)),
      m_F(std::move(src.m_F)),
      m_N(std::move(src.m_N)),
      m_FN(std::move(src.m_FN)),
      m_C(std::move(src.m_C)) {
  src.DestroyTopology();
}

ON_Mesh& ON_Mesh::operator=(ON_Mesh&& src) noexcept {
  if (this != &src) {
    DestroyTopology();
    ON_Geometry::operator=(src);
    m_V = std::move(src.m_V);
    m_F = std::move(src.m_F);
    m_N = std::move(src.m_N);
    m_FN = std::move(src.m_FN);
    m_C = std::move(src.m_C);
    src.DestroyTopology();
  }
  return *this;
}

ON_Mesh::~ON_Mesh() = default;

int ON_Mesh::TriangleCount() const {
  int count = 0;
  for (int i = 0; i < m_F.Count(); ++i)
    if (m_F[i].IsTriangle()) ++count;
  return count;
}

int ON_Mesh::QuadCount() const { return m_F.Count() - TriangleCount(); }

bool ON_Mesh::SetVertex(int vertex_index, const ON_3dPoint& location) {
  return SetVertex(vertex_index, ON_3fPoint(location));
}

namespace {

// Room for `extra` more elements, grown geometrically so that appending
// one at a time costs amortised O(1). False when it cannot be had.
template <class T>
bool RoomFor(ON_SimpleArray<T>& a, int extra) {
  if (extra <= a.Capacity() - a.Count()) return true;
  if (extra > ON_ArrayMaximumCount(sizeof(T)) - a.Count()) return false;
  const int needed = a.Count() + extra;
  const int grown = ON_ArrayGrowCapacity(a.Capacity(), needed, sizeof(T));
  return (grown != 0 && a.SetCapacity(grown)) || a.SetCapacity(needed);
}

}  // namespace

bool ON_Mesh::SetVertex(int vertex_index, const ON_3fPoint& location) {
  if (vertex_index < 0 || vertex_index > m_V.Count()) return false;
  if (vertex_index == m_V.Count() && !RoomFor(m_V, 1)) return false;
  DestroyTopology();
  if (vertex_index == m_V.Count())
    m_V.Append(location);
  else
    m_V[vertex_index] = location;
  return true;
}

bool ON_Mesh::SetTriangle(int face_index, int a, int b, int c) { return SetQuad(face_index, a, b, c, c); }

bool ON_Mesh::SetQuad(int face_index, int a, int b, int c, int d) {
  if (face_index < 0 || face_index > m_F.Count()) return false;
  if (face_index == m_F.Count() && !RoomFor(m_F, 1)) return false;
  DestroyTopology();
  ON_MeshFace& face = (face_index == m_F.Count()) ? m_F.AppendNew() : m_F[face_index];
  face.vi[0] = a;
  face.vi[1] = b;
  face.vi[2] = c;
  face.vi[3] = d;
  return true;
}

bool ON_Mesh::Append(const ON_Mesh& mesh) {
  const int vertex_count = m_V.Count(), face_count = m_F.Count();
  const int more_vertices = mesh.m_V.Count(), more_faces = mesh.m_F.Count();
  if (more_vertices == 0 && more_faces == 0) return true;
  // What the joined mesh keeps per vertex and per face.
  const bool normals = m_N.Count() == vertex_count && mesh.m_N.Count() == more_vertices;
  const bool face_normals = m_FN.Count() == face_count && mesh.m_FN.Count() == more_faces;
  const bool colours = vertex_count > 0 && m_C.Count() == vertex_count && mesh.m_C.Count() == more_vertices;
  // Room for everything first, so that a failure changes nothing.
  if (!RoomFor(m_V, more_vertices) || !RoomFor(m_F, more_faces) || (normals && !RoomFor(m_N, more_vertices)) ||
      (face_normals && !RoomFor(m_FN, more_faces)) || (colours && !RoomFor(m_C, more_vertices)))
    return false;
  DestroyTopology();
  // Counted above, so that a mesh appending itself reads only its old part.
  m_V.Append(more_vertices, mesh.m_V.Array());
  for (int i = 0; i < more_faces; ++i) {
    ON_MeshFace f = mesh.m_F[i];
    for (int& vi : f.vi) vi += vertex_count;
    m_F.Append(f);
  }
  if (normals)
    m_N.Append(more_vertices, mesh.m_N.Array());
  else
    m_N.Destroy();
  if (face_normals)
    m_FN.Append(more_faces, mesh.m_FN.Array());
  else
    m_FN.Destroy();
  if (colours) m_C.Append(more_vertices, mesh.m_C.Array());
  return true;
}

namespace {

// What must match for two vertices to merge, as words: the location, then
// the normal and the colour when they are compared.
struct VertexWords {
  std::uint32_t w[7];
  int n;
  bool operator==(const VertexWords& o) const { return std::equal(w, w + n, o.w); }
  std::uint64_t Hash() const {
    std::uint64_t h = 0;
    for (int k = 0; k < n; ++k) h = (h ^ w[k]) * 0x9e3779b97f4a7c15u;
    return h ^ (h >> 29);
  }
};

// Numbers the vertices by the first vertex equal to each: index[i] is the
// new place of vertex i (where the lowest vertex equal to it goes, in the old
// order). `words(i, key)` fills vertex i's words, false for a vertex that
// equals none. Answers the number of new places. One pass in vertex order
// over an open-addressing table of the distinct vertices, so that equal
// vertices met close together (as neighbouring faces give them) stay in
// cache. Throws std::bad_alloc.
template <class Words>
int NumberDistinct(int count, Words&& words, std::vector<int>& index) {
  index.resize(static_cast<size_t>(count));
  struct Slot {
    std::uint32_t hash;
    int vertex;  // -1: empty
  };
  std::vector<Slot> table(1024, Slot{0, -1});
  size_t mask = table.size() - 1;
  int kept = 0, distinct = 0;
  VertexWords key, other;
  for (int i = 0; i < count; ++i) {
    if (!words(i, key)) {
      index[static_cast<size_t>(i)] = kept++;
      continue;
    }
    const std::uint64_t h = key.Hash();
    const std::uint32_t tag = static_cast<std::uint32_t>(h >> 32);
    size_t s = static_cast<size_t>(h) & mask;
    int found = -1;
    for (; table[s].vertex >= 0; s = (s + 1) & mask) {
      if (table[s].hash != tag) continue;
      words(table[s].vertex, other);
      if (other == key) {
        found = table[s].vertex;
        break;
      }
    }
    if (found >= 0) {
      index[static_cast<size_t>(i)] = index[static_cast<size_t>(found)];
      continue;
    }
    index[static_cast<size_t>(i)] = kept++;
    table[s] = Slot{tag, i};
    if (2 * static_cast<size_t>(++distinct) <= table.size()) continue;
    // Half full: twice the room, the slots placed again by their hashes.
    std::vector<Slot> grown(2 * table.size(), Slot{0, -1});
    const size_t grown_mask = grown.size() - 1;
    for (const Slot& slot : table) {
      if (slot.vertex < 0) continue;
      words(slot.vertex, other);
      size_t g = static_cast<size_t>(other.Hash()) & grown_mask;
      while (grown[g].vertex >= 0) g = (g + 1) & grown_mask;
      grown[g] = slot;
    }
    table.swap(grown);
    mask = grown_mask;
  }
  return kept;
}

}  // namespace

bool ON_Mesh::CombineIdenticalVertices(bool ignore_vertex_normals, bool /*ignore_texture_coordinates*/) {
  const int count = m_V.Count();
  const bool normals = count > 0 && m_N.Count() == count;
  const bool compare_normals = normals && !ignore_vertex_normals;
  const bool colours = count > 0 && m_C.Count() == count;
  // Float comparison, so -0 and +0 are equal; a vertex with a NaN among
  // the compared values equals none.
  auto words = [&](int i, VertexWords& key) {
    if (!on_float_words::Words3(m_V[i], key.w)) return false;
    key.n = 3;
    if (compare_normals) {
      if (!on_float_words::Words3(m_N[i], key.w + 3)) return false;
      key.n = 6;
    }
    if (colours) {
      const ON_Color& c = m_C[i];
      key.w[key.n++] = static_cast<std::uint32_t>(c.Red()) | static_cast<std::uint32_t>(c.Green()) << 8 |
                       static_cast<std::uint32_t>(c.Blue()) << 16 | static_cast<std::uint32_t>(c.Alpha()) << 24;
    }
    return true;
  };
  try {
    std::vector<int> index;
    const int kept = NumberDistinct(count, words, index);
    if (kept == count) return false;

    // The new arrays, made whole before anything changes. A vertex is the
    // first of its kind where its new place is the next one free.
    ON_3fPointArray vertices;
    ON_3fVectorArray vertex_normals;
    ON_SimpleArray<ON_Color> vertex_colours;
    ON_SimpleArray<ON_MeshFace> faces(m_F);
    if (!vertices.SetCount(kept) || (normals && !vertex_normals.SetCount(kept)) ||
        (colours && !vertex_colours.SetCount(kept)))
      return false;
    for (int i = 0, next = 0; i < count; ++i) {
      const int k = index[static_cast<size_t>(i)];
      if (k != next) continue;
      ++next;
      vertices[k] = m_V[i];
      if (normals) vertex_normals[k] = m_N[i];
      if (colours) vertex_colours[k] = m_C[i];
    }
    for (int f = 0; f < faces.Count(); ++f)
      for (int& vi : faces[f].vi)
        if (vi >= 0 && vi < count) vi = index[static_cast<size_t>(vi)];
    DestroyTopology();
    m_V = std::move(vertices);
    m_F = std::move(faces);
    if (normals) m_N = std::move(vertex_normals);
    if (colours) m_C = std::move(vertex_colours);
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

bool ON_Mesh::GetBBox(double* boxmin, double* boxmax, bool grow_box) const {
  ON_BoundingBox box;
  for (int i = 0; i < m_V.Count(); ++i) box.Set(ON_3dPoint(m_V[i]), true);
  return ReturnBBox(box, boxmin, boxmax, grow_box);
}

bool ON_Mesh::IsValid(ON_TextLog*) const {
  const int vertex_count = m_V.Count();
  const int face_count = m_F.Count();
  if (vertex_count < 3 || face_count < 1) return false;
  if (m_N.Count() != 0 && m_N.Count() != vertex_count) return false;
  if (m_FN.Count() != 0 && m_FN.Count() != face_count) return false;
  for (int i = 0; i < vertex_count; ++i)
    if (!m_V[i].IsValid()) return false;
  for (int i = 0; i < face_count; ++i)
    if (!m_F[i].IsValid(vertex_count)) return false;
  return true;
}

namespace {

// The cofactor matrix of the upper-left 3x3 of xform (det * inverse
// transpose): maps a x b to (M a) x (M b).
void NormalMatrix(const ON_Xform& xform, double n[3][3]) {
  const auto& m = xform.m_xform;
  for (int i = 0; i < 3; ++i) {
    const int i1 = (i + 1) % 3, i2 = (i + 2) % 3;
    for (int j = 0; j < 3; ++j) {
      const int j1 = (j + 1) % 3, j2 = (j + 2) % 3;
      n[i][j] = m[i1][j1] * m[i2][j2] - m[i1][j2] * m[i2][j1];
    }
  }
}

void TransformNormals(const double n[3][3], ON_3fVectorArray& normals) {
  for (int i = 0; i < normals.Count(); ++i) {
    const ON_3dVector v(normals[i]);
    ON_3dVector w(n[0][0] * v.x + n[0][1] * v.y + n[0][2] * v.z, n[1][0] * v.x + n[1][1] * v.y + n[1][2] * v.z,
                  n[2][0] * v.x + n[2][1] * v.y + n[2][2] * v.z);
    w.Unitize();  // a zero normal stays zero
    normals[i] = ON_3fVector(w);
  }
}

}  // namespace

bool ON_Mesh::Transform(const ON_Xform& xform) {
  DestroyTopology();
  for (int i = 0; i < m_V.Count(); ++i) m_V[i] = ON_3fPoint(xform * ON_3dPoint(m_V[i]));
  if (m_N.Count() > 0 || m_FN.Count() > 0) {
    double n[3][3];
    NormalMatrix(xform, n);
    TransformNormals(n, m_N);
    TransformNormals(n, m_FN);
  }
  return true;
}

const ON_MeshTopology& ON_Mesh::Topology() const {
  if (m_top.m_mesh != this) {
    m_top.m_mesh = this;
    // A build that failed is not kept: the next call tries again.
    if (!m_top.Create()) m_top.m_mesh = nullptr;
  }
  return m_top;
}

void ON_Mesh::DestroyTopology() {
  m_top.Destroy();
  m_top.m_mesh = nullptr;
}

void ON_Mesh::Destroy() {
  DestroyTopology();
  m_V.Destroy();
  m_F.Destroy();
  m_N.Destroy();
  m_FN.Destroy();
  m_C.Destroy();
}
