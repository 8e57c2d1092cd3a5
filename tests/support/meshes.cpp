#include "meshes.h"

namespace test_support {

ON_Mesh MakeMesh(const std::vector<Vertex>& vertices, const std::vector<std::array<int, 4>>& faces) {
  ON_Mesh mesh;
  for (const Vertex& v : vertices) mesh.m_V.Append(ON_3fPoint(v.x, v.y, v.z));
  for (const auto& f : faces) {
    ON_MeshFace face;
    for (int k = 0; k < 4; ++k) face.vi[k] = f[static_cast<size_t>(k)];
    mesh.m_F.Append(face);
  }
  return mesh;
}

std::vector<std::array<int, 4>> FacesOf(const ON_Mesh& mesh) {
  std::vector<std::array<int, 4>> out;
  for (int i = 0; i < mesh.m_F.Count(); ++i)
    out.push_back({mesh.m_F[i].vi[0], mesh.m_F[i].vi[1], mesh.m_F[i].vi[2], mesh.m_F[i].vi[3]});
  return out;
}

ON_Mesh TriangleGrid(long long triangles) {
  int cells = 1;
  while (2LL * cells * cells < triangles) ++cells;
  ON_Mesh mesh;
  mesh.m_V.Reserve((cells + 1) * (cells + 1));
  mesh.m_F.Reserve(2 * cells * cells);
  for (int j = 0; j <= cells; ++j)
    for (int i = 0; i <= cells; ++i)
      mesh.m_V.Append(
          ON_3fPoint(static_cast<float>(i), static_cast<float>(j), static_cast<float>((i * i + j * j) % 7)));
  for (int j = 0; j < cells; ++j)
    for (int i = 0; i < cells; ++i) {
      const int a = j * (cells + 1) + i, b = a + 1, c = b + cells + 1, d = a + cells + 1;
      ON_MeshFace f;
      f.vi[0] = a, f.vi[1] = b, f.vi[2] = f.vi[3] = c;
      mesh.m_F.Append(f);
      f.vi[0] = a, f.vi[1] = c, f.vi[2] = f.vi[3] = d;
      mesh.m_F.Append(f);
    }
  return mesh;
}

}  // namespace test_support
