#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "VLMGeo.h"

namespace {

ON_Mesh Mesh(int vertexCount, std::initializer_list<std::array<int, 4>> faces) {
  ON_Mesh mesh;
  for (int i = 0; i < vertexCount; ++i) mesh.m_V.Append(ON_3fPoint(static_cast<float>(i), static_cast<float>(i * i), 0));
  for (const auto& f : faces) {
    ON_MeshFace face;
    for (int k = 0; k < 4; ++k) face.vi[k] = f[k];
    mesh.m_F.Append(face);
  }
  return mesh;
}

std::vector<std::array<int, 4>> Faces(const ON_Mesh& mesh) {
  std::vector<std::array<int, 4>> out;
  for (int i = 0; i < mesh.m_F.Count(); ++i)
    out.push_back({mesh.m_F[i].vi[0], mesh.m_F[i].vi[1], mesh.m_F[i].vi[2], mesh.m_F[i].vi[3]});
  return out;
}

}  // namespace

TEST(BreakQuads, SplitsAlongTheFirstToThirdCornerDiagonal) {
  struct Case {
    int keepOrder;
    std::vector<std::array<int, 4>> expected;
  } cases[] = {
      {1, {{0, 1, 2, 2}, {0, 2, 3, 3}, {1, 4, 5, 5}, {4, 5, 6, 6}, {4, 6, 7, 7}}},
      {0, {{0, 1, 2, 2}, {1, 4, 5, 5}, {4, 5, 6, 6}, {0, 2, 3, 3}, {4, 6, 7, 7}}},
  };
  for (const Case& c : cases) {
    ON_Mesh mesh = Mesh(8, {{0, 1, 2, 3}, {1, 4, 5, 5}, {4, 5, 6, 7}});
    int split = -1;
    EXPECT_EQ(VLMMesh::BreakQuads(mesh, c.keepOrder, &split), 1);
    EXPECT_EQ(split, 2);
    EXPECT_EQ(Faces(mesh), c.expected) << "keepOrder " << c.keepOrder;
    EXPECT_EQ(mesh.QuadCount(), 0);
  }
}

TEST(BreakQuads, TrianglesOnlyAndEmptyMeshesStayAsTheyAre) {
  ON_Mesh mesh = Mesh(3, {{0, 1, 2, 2}});
  EXPECT_EQ(VLMMesh::BreakQuads(mesh, 1, nullptr), 1);
  EXPECT_EQ(Faces(mesh), (std::vector<std::array<int, 4>>{{0, 1, 2, 2}}));
  ON_Mesh empty;
  EXPECT_EQ(VLMMesh::BreakQuads(empty, 1, nullptr), 1);
  EXPECT_EQ(empty.FaceCount(), 0);
}

TEST(BreakQuads, CarriesFaceNormalsAndDropsStaleTopology) {
  ON_Mesh mesh = Mesh(4, {{0, 1, 2, 3}});
  mesh.m_FN.Append(ON_3fVector(0, 0, 1));
  EXPECT_EQ(mesh.Topology().TopEdgeCount(), 4);
  VLMMesh::BreakQuads(mesh, 1, nullptr);
  ASSERT_EQ(mesh.m_FN.Count(), 2);
  EXPECT_EQ(mesh.m_FN[1].z, 1.0f);
  EXPECT_EQ(mesh.Topology().TopEdgeCount(), 5);  // the diagonal is an edge now
}
