#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <map>
#include <random>
#include <set>
#include <tuple>
#include <utility>
#include <vector>

#include "alloc_limit.h"
#include "opennurbs.h"

namespace {

std::vector<int> List(const int* p, int n) { return std::vector<int>(p, p + n); }

std::vector<std::pair<int, int>> Edges(const ON_MeshTopology& top) {
  std::vector<std::pair<int, int>> edges;
  for (int e = 0; e < top.TopEdgeCount(); ++e) edges.emplace_back(top.m_tope[e].m_topvi[0], top.m_tope[e].m_topvi[1]);
  return edges;
}

using Pairs = std::vector<std::pair<int, int>>;

TEST(Topology, OneQuad) {
  ON_Mesh mesh;
  mesh.SetVertex(0, ON_3dPoint(0, 0, 0));
  mesh.SetVertex(1, ON_3dPoint(1, 0, 0));
  mesh.SetVertex(2, ON_3dPoint(1, 1, 0));
  mesh.SetVertex(3, ON_3dPoint(0, 1, 0));
  mesh.SetQuad(0, 0, 1, 2, 3);
  const ON_MeshTopology& top = mesh.Topology();
  ASSERT_TRUE(top.IsValid());
  EXPECT_EQ(top.m_mesh, &mesh);
  EXPECT_EQ(top.TopVertexCount(), 4);
  EXPECT_EQ(top.TopFaceCount(), 1);
  ASSERT_EQ(top.TopEdgeCount(), 4);
  EXPECT_EQ(Edges(top), (Pairs{{0, 1}, {0, 3}, {1, 2}, {2, 3}}));  // ascending (v0, v1)
  const ON_MeshTopologyFace& f = top.m_topf[0];
  EXPECT_EQ(List(f.m_topei, 4), (std::vector<int>{0, 2, 3, 1}));  // sides 0-1, 1-2, 2-3, 3-0
  EXPECT_EQ(f.m_reve[0], 0);
  EXPECT_EQ(f.m_reve[1], 0);
  EXPECT_EQ(f.m_reve[2], 0);
  EXPECT_EQ(f.m_reve[3], 1);  // 3 -> 0 runs against edge (0, 3)
  EXPECT_TRUE(f.IsQuad());
  for (int e = 0; e < 4; ++e) {
    EXPECT_EQ(top.m_tope[e].m_topf_count, 1);
    EXPECT_EQ(top.m_tope[e].m_topfi[0], 0);
  }
  EXPECT_EQ(List(top.m_topv[0].m_topei, top.m_topv[0].m_tope_count), (std::vector<int>{0, 1}));
  EXPECT_EQ(List(top.m_topv[2].m_topei, top.m_topv[2].m_tope_count), (std::vector<int>{2, 3}));
  int corners[4];
  for (int k = 0; k < 4; ++k) corners[k] = top.m_topv_map[mesh.m_F[0].vi[k]];
  EXPECT_EQ(List(corners, 4), (std::vector<int>{0, 1, 2, 3}));
}

TEST(Topology, TwoTrianglesShareOneEdge) {
  ON_Mesh mesh;
  mesh.SetVertex(0, ON_3dPoint(0, 0, 0));
  mesh.SetVertex(1, ON_3dPoint(1, 0, 0));
  mesh.SetVertex(2, ON_3dPoint(1, 1, 0));
  mesh.SetVertex(3, ON_3dPoint(0, 1, 0));
  mesh.SetTriangle(0, 0, 1, 2);
  mesh.SetTriangle(1, 0, 2, 3);
  const ON_MeshTopology& top = mesh.Topology();
  ASSERT_TRUE(top.IsValid());
  ASSERT_EQ(top.TopEdgeCount(), 5);
  EXPECT_EQ(Edges(top), (Pairs{{0, 1}, {0, 2}, {0, 3}, {1, 2}, {2, 3}}));
  const int shared = top.TopEdge(0, 2);
  ASSERT_EQ(shared, 1);
  EXPECT_EQ(top.TopEdge(2, 0), shared);
  EXPECT_EQ(top.m_tope[shared].m_topf_count, 2);
  EXPECT_EQ(List(top.m_tope[shared].m_topfi, 2), (std::vector<int>{0, 1}));
  EXPECT_EQ(top.TopEdge(1, 3), -1);  // the other diagonal is no edge
  EXPECT_EQ(top.TopEdge(1, 1), -1);
  EXPECT_EQ(top.TopEdge(-1, 2), -1);
  EXPECT_EQ(top.TopEdge(0, 4), -1);
  // Triangle sides: 0-1, 1-2, 2-0, with the last repeated in slot 3.
  const ON_MeshTopologyFace& f0 = top.m_topf[0];
  const ON_MeshTopologyFace& f1 = top.m_topf[1];
  EXPECT_EQ(List(f0.m_topei, 4), (std::vector<int>{0, 3, 1, 1}));
  EXPECT_EQ(List(f1.m_topei, 4), (std::vector<int>{1, 4, 2, 2}));
  EXPECT_TRUE(f0.IsTriangle());
  EXPECT_EQ(f0.m_reve[2], 1);  // 2 -> 0 against (0, 2)
  EXPECT_EQ(f0.m_reve[3], 1);
  EXPECT_EQ(f1.m_reve[0], 0);  // 0 -> 2 along it: consistently oriented
  EXPECT_EQ(f1.m_reve[2], 1);  // 3 -> 0 against (0, 3)
  // One edge per vertex pair, in ascending order at each vertex.
  EXPECT_EQ(List(top.m_topv[0].m_topei, top.m_topv[0].m_tope_count), (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(List(top.m_topv[2].m_topei, top.m_topv[2].m_tope_count), (std::vector<int>{1, 3, 4}));
}

// A cube of side 1 with its own four vertices on each side (24 vertices, as
// a 3DS file with flat shading has them), two outward triangles per side.
ON_Mesh Cube() {
  const int corners[6][4] = {
      {0, 2, 3, 1},  // z = 0, seen from below
      {4, 5, 7, 6},  // z = 1
      {0, 1, 5, 4},  // y = 0
      {2, 6, 7, 3},  // y = 1
      {0, 4, 6, 2},  // x = 0
      {1, 3, 7, 5},  // x = 1
  };
  ON_Mesh mesh;
  for (int side = 0; side < 6; ++side) {
    const int base = mesh.VertexCount();
    for (int k = 0; k < 4; ++k) {
      const int c = corners[side][k];
      mesh.SetVertex(base + k, ON_3dPoint(c & 1, (c >> 1) & 1, (c >> 2) & 1));
    }
    mesh.SetTriangle(mesh.FaceCount(), base, base + 1, base + 2);
    mesh.SetTriangle(mesh.FaceCount(), base, base + 2, base + 3);
  }
  return mesh;
}

TEST(Topology, ClosedCubeWithDuplicatedVertices) {
  ON_Mesh mesh = Cube();
  ASSERT_EQ(mesh.VertexCount(), 24);
  ASSERT_EQ(mesh.FaceCount(), 12);
  ASSERT_TRUE(mesh.IsValid());
  for (int fi = 0; fi < 12; ++fi) {  // outward
    const ON_MeshFace& f = mesh.m_F[fi];
    ON_3dVector normal;  // by the right-hand rule
    ASSERT_TRUE(normal.PerpendicularTo(ON_3dPoint(mesh.m_V[f.vi[0]]), ON_3dPoint(mesh.m_V[f.vi[1]]),
                                       ON_3dPoint(mesh.m_V[f.vi[2]])));
    const ON_3fPoint& p = mesh.m_V[f.vi[0]];
    const ON_3dVector from_center = ON_3dPoint(p) - ON_3dPoint(0.5, 0.5, 0.5);
    EXPECT_GT(from_center * normal, 0.0);
  }
  const ON_MeshTopology& top = mesh.Topology();
  ASSERT_TRUE(top.IsValid());
  EXPECT_EQ(top.TopVertexCount(), 8);
  EXPECT_EQ(top.TopEdgeCount(), 18);  // 12 sides + 6 diagonals
  EXPECT_EQ(top.TopFaceCount(), 12);
  EXPECT_EQ(top.TopVertexCount() - top.TopEdgeCount() + top.TopFaceCount(), 2);
  for (int e = 0; e < top.TopEdgeCount(); ++e) {
    const ON_MeshTopologyEdge& edge = top.m_tope[e];
    ASSERT_EQ(edge.m_topf_count, 2) << e;
    EXPECT_LT(edge.m_topfi[0], edge.m_topfi[1]);
    // Closed and consistently oriented: the two faces run opposite ways.
    int reve[2] = {-1, -1};
    for (int j = 0; j < 2; ++j) {
      const ON_MeshTopologyFace& f = top.m_topf[edge.m_topfi[j]];
      for (int k = 0; k < 3; ++k)
        if (f.m_topei[k] == e) reve[j] = f.m_reve[k];
    }
    EXPECT_NE(reve[0], -1);
    EXPECT_NE(reve[1], -1);
    EXPECT_NE(reve[0], reve[1]) << e;
    EXPECT_EQ(top.TopEdge(edge.m_topvi[0], edge.m_topvi[1]), e);
    EXPECT_EQ(top.TopEdge(edge.m_topvi[1], edge.m_topvi[0]), e);
  }
  // Each corner is shared by 3 mesh vertices, listed ascending; corners are
  // numbered by their lowest vertex index.
  int previous = -1;
  int total_vertex_edges = 0;
  for (int t = 0; t < 8; ++t) {
    const ON_MeshTopologyVertex& v = top.m_topv[t];
    ASSERT_EQ(v.m_v_count, 3);
    EXPECT_TRUE(std::is_sorted(v.m_vi, v.m_vi + 3));
    EXPECT_GT(v.m_vi[0], previous);
    previous = v.m_vi[0];
    for (int j = 0; j < 3; ++j) {
      EXPECT_EQ(top.m_topv_map[v.m_vi[j]], t);
      EXPECT_EQ(mesh.m_V[v.m_vi[j]], mesh.m_V[v.m_vi[0]]);
    }
    EXPECT_GE(v.m_tope_count, 3);
    total_vertex_edges += v.m_tope_count;
  }
  EXPECT_EQ(total_vertex_edges, 36);
  // Corner (0,0,0) is vertices 0 (bottom), 8 (y = 0) and 16 (x = 0).
  EXPECT_EQ(List(top.m_topv[0].m_vi, 3), (std::vector<int>{0, 8, 16}));
  // Opposite corners of the cube are not joined.
  EXPECT_EQ(top.TopEdge(top.m_topv_map[0], top.m_topv_map[mesh.VertexCount() - 2]), -1);
}

TEST(Topology, VertexOrderFollowsTheLowestIndex) {
  ON_Mesh mesh;
  const ON_3dPoint a(5, 5, 5), b(-1, 0, 2), c(0, 0, 0);
  const ON_3dPoint locations[] = {a, b, a, c, b, a};
  for (int i = 0; i < 6; ++i) mesh.SetVertex(i, locations[i]);
  mesh.SetTriangle(0, 5, 4, 3);
  const ON_MeshTopology& top = mesh.Topology();
  ASSERT_TRUE(top.IsValid());
  ASSERT_EQ(top.TopVertexCount(), 3);
  EXPECT_EQ(List(top.m_topv_map.Array(), 6), (std::vector<int>{0, 1, 0, 2, 1, 0}));
  EXPECT_EQ(List(top.m_topv[0].m_vi, top.m_topv[0].m_v_count), (std::vector<int>{0, 2, 5}));
  EXPECT_EQ(List(top.m_topv[1].m_vi, top.m_topv[1].m_v_count), (std::vector<int>{1, 4}));
  EXPECT_EQ(List(top.m_topv[2].m_vi, top.m_topv[2].m_v_count), (std::vector<int>{3}));
  EXPECT_EQ(Edges(top), (Pairs{{0, 1}, {0, 2}, {1, 2}}));
}

TEST(Topology, LocationsAreExactFloatEquality) {
  ON_Mesh mesh;
  mesh.SetVertex(0, ON_3fPoint(0.0f, 1.0f, 0.0f));
  mesh.SetVertex(1, ON_3fPoint(-0.0f, 1.0f, -0.0f));  // -0 == +0
  mesh.SetVertex(2, ON_3fPoint(std::nextafter(0.0f, 1.0f), 1.0f, 0.0f));
  mesh.SetVertex(3, ON_3fPoint(std::nanf(""), 0, 0));  // NaN equals nothing
  mesh.SetVertex(4, ON_3fPoint(std::nanf(""), 0, 0));
  const ON_MeshTopology& top = mesh.Topology();
  ASSERT_TRUE(top.IsValid());
  EXPECT_EQ(List(top.m_topv_map.Array(), 5), (std::vector<int>{0, 0, 1, 2, 3}));
}

TEST(Topology, OutOfRangeFacesAreSkipped) {
  ON_Mesh mesh;
  mesh.SetVertex(0, ON_3dPoint(0, 0, 0));
  mesh.SetVertex(1, ON_3dPoint(1, 0, 0));
  mesh.SetVertex(2, ON_3dPoint(0, 1, 0));
  mesh.SetTriangle(0, 0, 1, 99);
  mesh.SetTriangle(1, 0, 1, 2);
  mesh.SetTriangle(2, -1, 0, 1);
  mesh.SetQuad(3, 0, 1, 2, INT_MAX);
  mesh.SetQuad(4, INT_MIN, 1, 2, 0);
  mesh.SetTriangle(5, 0, 1, 3);  // one past the end
  const ON_MeshTopology& top = mesh.Topology();
  ASSERT_TRUE(top.IsValid());
  EXPECT_EQ(top.TopVertexCount(), 3);
  EXPECT_EQ(top.TopFaceCount(), 6);  // one record per face, skipped or not
  ASSERT_EQ(top.TopEdgeCount(), 3);
  for (int e = 0; e < 3; ++e) EXPECT_EQ(List(top.m_tope[e].m_topfi, top.m_tope[e].m_topf_count), (std::vector<int>{1}));
  for (int fi : {0, 2, 3, 4, 5}) {
    for (int k = 0; k < 4; ++k) {
      EXPECT_EQ(top.m_topf[fi].m_topei[k], -1) << fi;
      EXPECT_EQ(top.m_topf[fi].m_reve[k], 0);
    }
  }
  for (int k = 0; k < 4; ++k) EXPECT_GE(top.m_topf[1].m_topei[k], 0);  // face 1 is not skipped
  // A mesh with faces but no vertices.
  ON_Mesh no_vertices;
  no_vertices.SetTriangle(0, 0, 1, 2);
  EXPECT_EQ(no_vertices.Topology().TopEdgeCount(), 0);
  EXPECT_TRUE(no_vertices.Topology().IsValid());
}

TEST(Topology, DegenerateFacesHaveNoSelfEdges) {
  ON_Mesh mesh;
  mesh.SetVertex(0, ON_3dPoint(0, 0, 0));
  mesh.SetVertex(1, ON_3dPoint(1, 0, 0));
  mesh.SetVertex(2, ON_3dPoint(1, 0, 0));  // at vertex 1's location
  mesh.SetVertex(3, ON_3dPoint(0, 1, 0));
  mesh.SetTriangle(0, 0, 1, 2);     // folds onto edge 0-1
  mesh.SetTriangle(1, 1, 2, 2);     // a point
  mesh.SetTriangle(2, 0, 0, 3);     // repeated index
  mesh.SetQuad(3, 0, 1, 2, 3);      // a quad that is a triangle
  const ON_MeshTopology& top = mesh.Topology();
  EXPECT_FALSE(top.IsValid());  // built, but its faces are not all polygons
  EXPECT_EQ(top.TopVertexCount(), 3);
  for (int e = 0; e < top.TopEdgeCount(); ++e) EXPECT_LT(top.m_tope[e].m_topvi[0], top.m_tope[e].m_topvi[1]);
  EXPECT_EQ(Edges(top), (Pairs{{0, 1}, {0, 2}, {1, 2}}));
  // Face 0 lies on edge 0-1 with two sides, one each way; its middle side
  // is within one location.
  EXPECT_EQ(List(top.m_topf[0].m_topei, 4), (std::vector<int>{0, -1, 0, 0}));
  EXPECT_EQ(top.m_topf[0].m_reve[0], 0);
  EXPECT_EQ(top.m_topf[0].m_reve[2], 1);
  EXPECT_EQ(List(top.m_topf[1].m_topei, 4), (std::vector<int>{-1, -1, -1, -1}));
  EXPECT_EQ(List(top.m_topf[2].m_topei, 4), (std::vector<int>{-1, 1, 1, 1}));
  EXPECT_EQ(List(top.m_topf[3].m_topei, 4), (std::vector<int>{0, -1, 2, 1}));
  EXPECT_EQ(List(top.m_tope[0].m_topfi, top.m_tope[0].m_topf_count), (std::vector<int>{0, 0, 3}));
}

// Checks the topology against a plain construction with std::map and std::set.
void ExpectMatchesReference(const ON_Mesh& mesh) {
  const ON_MeshTopology& top = mesh.Topology();
  ASSERT_EQ(top.m_mesh, &mesh);
  std::map<std::tuple<float, float, float>, int> location_of;
  std::vector<int> topv(mesh.VertexCount());
  for (int vi = 0; vi < mesh.VertexCount(); ++vi) {
    const ON_3fPoint& p = mesh.m_V[vi];
    topv[vi] = location_of.emplace(std::make_tuple(p.x, p.y, p.z), static_cast<int>(location_of.size())).first->second;
  }
  ASSERT_EQ(top.TopVertexCount(), static_cast<int>(location_of.size()));
  for (int vi = 0; vi < mesh.VertexCount(); ++vi) ASSERT_EQ(top.m_topv_map[vi], topv[vi]);
  std::map<std::pair<int, int>, std::vector<int>> faces_of;
  bool degenerate = false;
  for (int fi = 0; fi < mesh.FaceCount(); ++fi) {
    const ON_MeshFace& f = mesh.m_F[fi];
    bool in_range = true;
    for (int k = 0; k < 4; ++k) in_range = in_range && f.vi[k] >= 0 && f.vi[k] < mesh.VertexCount();
    if (!in_range) continue;
    const int n = f.IsTriangle() ? 3 : 4;
    for (int k = 0; k < n; ++k) {
      const int a = topv[f.vi[k]], b = topv[f.vi[(k + 1) % n]];
      if (a != b) faces_of[{std::min(a, b), std::max(a, b)}].push_back(fi);
      degenerate = degenerate || a == b;
    }
  }
  // Valid exactly when no face has a side within one location.
  ASSERT_EQ(top.IsValid(), !degenerate);
  ASSERT_EQ(top.TopEdgeCount(), static_cast<int>(faces_of.size()));
  int e = 0;
  for (const auto& [pair, faces] : faces_of) {
    const ON_MeshTopologyEdge& edge = top.m_tope[e++];
    ASSERT_EQ(edge.m_topvi[0], pair.first);
    ASSERT_EQ(edge.m_topvi[1], pair.second);
    ASSERT_EQ(List(edge.m_topfi, edge.m_topf_count), faces);
  }
}

TEST(Topology, MatchesAPlainConstructionOnRandomMeshes) {
  std::mt19937 random(12345);
  for (int round = 0; round < 200; ++round) {
    ON_Mesh mesh;
    const int vertex_count = 1 + static_cast<int>(random() % 60);
    const int lattice = 1 + static_cast<int>(random() % 4);  // small: many shared locations
    for (int vi = 0; vi < vertex_count; ++vi)
      mesh.SetVertex(vi, ON_3fPoint(static_cast<float>(random() % lattice), static_cast<float>(random() % lattice),
                                    static_cast<float>(random() % 2)));
    const int face_count = static_cast<int>(random() % 80);
    for (int fi = 0; fi < face_count; ++fi) {
      int v[4];
      for (int& x : v) x = static_cast<int>(random() % (vertex_count + 2)) - 1;  // some out of range
      if (random() % 2)
        mesh.SetTriangle(fi, v[0], v[1], v[2]);
      else
        mesh.SetQuad(fi, v[0], v[1], v[2], v[3]);
    }
    ExpectMatchesReference(mesh);
    if (HasFatalFailure()) return;
  }
}

// A grid of nx by ny squares on [0,nx] x [0,ny], split into triangles, or with
// separate vertices for every quad when `separate_quads`.
ON_Mesh Grid(int nx, int ny, bool separate_quads) {
  ON_Mesh mesh;
  if (!separate_quads) {
    mesh.m_V.Reserve((nx + 1) * (ny + 1));
    for (int j = 0; j <= ny; ++j)
      for (int i = 0; i <= nx; ++i) mesh.m_V.Append(ON_3fPoint(static_cast<float>(i), static_cast<float>(j), 0.0f));
    mesh.m_F.Reserve(2 * nx * ny);
    for (int j = 0; j < ny; ++j)
      for (int i = 0; i < nx; ++i) {
        const int v0 = j * (nx + 1) + i, v1 = v0 + 1, v2 = v1 + nx + 1, v3 = v0 + nx + 1;
        mesh.m_F.Append(ON_MeshFace{{v0, v1, v2, v2}});
        mesh.m_F.Append(ON_MeshFace{{v0, v2, v3, v3}});
      }
  } else {
    for (int j = 0; j < ny; ++j)
      for (int i = 0; i < nx; ++i) {
        const int base = mesh.m_V.Count();
        const float x = static_cast<float>(i), y = static_cast<float>(j);
        mesh.m_V.Append(ON_3fPoint(x, y, 0));
        mesh.m_V.Append(ON_3fPoint(x + 1, y, 0));
        mesh.m_V.Append(ON_3fPoint(x + 1, y + 1, 0));
        mesh.m_V.Append(ON_3fPoint(x, y + 1, 0));
        mesh.m_F.Append(ON_MeshFace{{base, base + 1, base + 2, base + 3}});
      }
  }
  return mesh;
}

TEST(Topology, LargeGridEulerCharacteristic) {
  const int n = 200;
  const ON_Mesh triangles = Grid(n, n, false);
  const ON_MeshTopology& top = triangles.Topology();
  ASSERT_TRUE(top.IsValid());
  EXPECT_EQ(top.TopVertexCount(), (n + 1) * (n + 1));
  EXPECT_EQ(top.TopEdgeCount(), 2 * n * (n + 1) + n * n);
  EXPECT_EQ(top.TopFaceCount(), 2 * n * n);
  EXPECT_EQ(top.TopVertexCount() - top.TopEdgeCount() + top.TopFaceCount(), 1);  // a disc
  int boundary = 0;
  for (int e = 0; e < top.TopEdgeCount(); ++e) {
    ASSERT_GE(top.m_tope[e].m_topf_count, 1);
    ASSERT_LE(top.m_tope[e].m_topf_count, 2);
    if (top.m_tope[e].m_topf_count == 1) ++boundary;
  }
  EXPECT_EQ(boundary, 4 * n);

  const ON_Mesh quads = Grid(n, n, true);
  const ON_MeshTopology& qtop = quads.Topology();
  ASSERT_TRUE(qtop.IsValid());
  EXPECT_EQ(quads.VertexCount(), 4 * n * n);
  EXPECT_EQ(qtop.TopVertexCount(), (n + 1) * (n + 1));
  EXPECT_EQ(qtop.TopEdgeCount(), 2 * n * (n + 1));
  EXPECT_EQ(qtop.TopVertexCount() - qtop.TopEdgeCount() + qtop.TopFaceCount(), 1);
  // An interior grid point is shared by the four quads around it.
  const int center = qtop.m_topv_map[quads.m_F[(n / 2) * n + n / 2].vi[0]];
  EXPECT_EQ(qtop.m_topv[center].m_v_count, 4);
  EXPECT_EQ(qtop.m_topv[center].m_tope_count, 4);
}

TEST(Topology, StandaloneAndEmpty) {
  ON_MeshTopology top;
  EXPECT_FALSE(top.Create());  // no mesh
  EXPECT_FALSE(top.IsValid());
  const ON_Mesh empty;
  top.m_mesh = &empty;
  EXPECT_TRUE(top.Create());
  EXPECT_TRUE(top.IsValid());
  EXPECT_EQ(top.TopVertexCount(), 0);
  EXPECT_EQ(top.TopEdge(0, 1), -1);
  const ON_Mesh cube = Cube();
  top.m_mesh = &cube;
  EXPECT_TRUE(top.Create());
  EXPECT_EQ(top.TopEdgeCount(), 18);
  EXPECT_TRUE(top.IsValid());
  // IsValid notices a corrupted record.
  top.m_topf[3].m_reve[0] ^= 1;
  EXPECT_FALSE(top.IsValid());
  top.Destroy();
  EXPECT_EQ(top.TopEdgeCount(), 0);
}

}  // namespace

namespace {

// A small closed mesh of quads and triangles: a cube, two faces split.
ON_Mesh SplitCube() {
  ON_Mesh mesh;
  for (int i = 0; i < 8; ++i) mesh.SetVertex(i, ON_3dPoint(i & 1, (i >> 1) & 1, (i >> 2) & 1));
  const int quads[4][4] = {{0, 2, 3, 1}, {4, 5, 7, 6}, {0, 1, 5, 4}, {2, 6, 7, 3}};
  for (const auto& q : quads) mesh.SetQuad(mesh.FaceCount(), q[0], q[1], q[2], q[3]);
  mesh.SetTriangle(mesh.FaceCount(), 0, 4, 6);
  mesh.SetTriangle(mesh.FaceCount(), 0, 6, 2);
  mesh.SetTriangle(mesh.FaceCount(), 1, 3, 7);
  mesh.SetTriangle(mesh.FaceCount(), 1, 7, 5);
  return mesh;
}

}  // namespace

// Each allocation of the build fails in turn: a build that fails is empty,
// not valid and not cached, and the next call with memory back builds it.
TEST(TopologyMemory, ABuildThatRunsOutOfMemoryIsNeitherValidNorCached) {
  if (!test_support::AllocationLimit::Available()) GTEST_SKIP() << "no allocation hook under AddressSanitizer";
  long long allocations = 0;
  {
    const ON_Mesh mesh = SplitCube();
    test_support::AllocationLimit count;
    mesh.Topology();
    allocations = count.Allocations();
  }
  ASSERT_GT(allocations, 3);
  for (bool persistent : {false, true}) {
    for (long long n = 1; n <= allocations; ++n) {
      SCOPED_TRACE((persistent ? "from allocation " : "allocation ") + std::to_string(n));
      const ON_Mesh mesh = SplitCube();
      bool built;
      {
        test_support::AllocationLimit limit(persistent ? test_support::AllocationLimit::FailFrom(n)
                                                       : test_support::AllocationLimit::FailOnly(n));
        built = mesh.Topology().m_mesh == &mesh;
        ASSERT_GE(limit.Failures(), 1);
      }
      const ON_MeshTopology& top = mesh.Topology();
      if (!built) {
        // The failed build left nothing: the call above built it afresh.
        EXPECT_EQ(top.m_mesh, &mesh);
      }
      ASSERT_TRUE(top.IsValid());
      EXPECT_EQ(top.TopEdgeCount(), 14);
    }
  }
  const ON_Mesh mesh = SplitCube();
  {
    test_support::AllocationLimit limit(test_support::AllocationLimit::FailFrom(1));
    const ON_MeshTopology& top = mesh.Topology();
    EXPECT_EQ(top.m_mesh, nullptr);
    EXPECT_EQ(top.TopEdgeCount(), 0);
    EXPECT_EQ(top.TopVertexCount(), 0);
  }
  EXPECT_FALSE(ON_MeshTopology().IsValid());
  EXPECT_EQ(mesh.Topology().TopEdgeCount(), 14);
}
