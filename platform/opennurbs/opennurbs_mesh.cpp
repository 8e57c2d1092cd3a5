#include "opennurbs_mesh.h"

#include <utility>

#include <cmath>

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
    : ON_Geometry(src), m_V(src.m_V), m_F(src.m_F), m_N(src.m_N), m_FN(src.m_FN) {}

ON_Mesh& ON_Mesh::operator=(const ON_Mesh& src) {
  if (this != &src) {
    DestroyTopology();
    ON_Geometry::operator=(src);
    m_V = src.m_V;
    m_F = src.m_F;
    m_N = src.m_N;
    m_FN = src.m_FN;
  }
  return *this;
}

ON_Mesh::ON_Mesh(ON_Mesh&& src) noexcept
    : ON_Geometry(src),
      m_V(std::move(src.m_V)),
      m_F(std::move(src.m_F)),
      m_N(std::move(src.m_N)),
      m_FN(std::move(src.m_FN)) {
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

bool ON_Mesh::SetVertex(int vertex_index, const ON_3fPoint& location) {
  if (vertex_index < 0 || vertex_index > m_V.Count()) return false;
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
  DestroyTopology();
  ON_MeshFace& face = (face_index == m_F.Count()) ? m_F.AppendNew() : m_F[face_index];
  face.vi[0] = a;
  face.vi[1] = b;
  face.vi[2] = c;
  face.vi[3] = d;
  return true;
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
}
