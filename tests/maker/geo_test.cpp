#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "VLMGeo.h"
#include "meshes.h"

namespace {

using test_support::FacesOf;

// `vertexCount` vertices on a parabola, so that no three are collinear.
ON_Mesh Mesh(int vertexCount, const std::vector<std::array<int, 4>>& faces) {
  std::vector<test_support::Vertex> vertices;
  for (int i = 0; i < vertexCount; ++i) vertices.push_back({static_cast<float>(i), static_cast<float>(i * i), 0});
  return test_support::MakeMesh(vertices, faces);
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
    EXPECT_EQ(FacesOf(mesh), c.expected) << "keepOrder " << c.keepOrder;
    EXPECT_EQ(mesh.QuadCount(), 0);
  }
}

TEST(BreakQuads, TrianglesOnlyAndEmptyMeshesStayAsTheyAre) {
  ON_Mesh mesh = Mesh(3, {{0, 1, 2, 2}});
  EXPECT_EQ(VLMMesh::BreakQuads(mesh, 1, nullptr), 1);
  EXPECT_EQ(FacesOf(mesh), (std::vector<std::array<int, 4>>{{0, 1, 2, 2}}));
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
