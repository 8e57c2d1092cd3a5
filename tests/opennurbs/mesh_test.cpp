#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <vector>

#include "alloc_limit.h"
#include "opennurbs.h"

namespace {

// Two triangles sharing the edge 0-2, in the z = 0 plane, normals +z.
ON_Mesh Square() {
  ON_Mesh mesh;
  mesh.SetVertex(0, ON_3dPoint(0, 0, 0));
  mesh.SetVertex(1, ON_3dPoint(1, 0, 0));
  mesh.SetVertex(2, ON_3dPoint(1, 1, 0));
  mesh.SetVertex(3, ON_3dPoint(0, 1, 0));
  mesh.SetTriangle(0, 0, 1, 2);
  mesh.SetTriangle(1, 0, 2, 3);
  return mesh;
}

// Sets m_FN to the right-hand-rule unit normals of the mesh's triangles;
// false for a quad or a degenerate triangle.
bool SetTriangleNormals(ON_Mesh& mesh) {
  if (!mesh.m_FN.SetCount(mesh.FaceCount())) return false;
  for (int fi = 0; fi < mesh.FaceCount(); ++fi) {
    const ON_MeshFace& f = mesh.m_F[fi];
    ON_3dVector n;
    if (!f.IsTriangle() ||
        !n.PerpendicularTo(ON_3dPoint(mesh.m_V[f.vi[0]]), ON_3dPoint(mesh.m_V[f.vi[1]]), ON_3dPoint(mesh.m_V[f.vi[2]])))
      return false;
    mesh.m_FN[fi] = ON_3fVector(n);
  }
  return true;
}

TEST(MeshFace, Kinds) {
  const ON_MeshFace tri = {{0, 1, 2, 2}};
  const ON_MeshFace quad = {{0, 1, 2, 3}};
  EXPECT_TRUE(tri.IsTriangle());
  EXPECT_FALSE(tri.IsQuad());
  EXPECT_TRUE(quad.IsQuad());
  EXPECT_FALSE(quad.IsTriangle());
  EXPECT_TRUE(tri.IsValid(3));
  EXPECT_FALSE(tri.IsValid(2));
  EXPECT_TRUE(quad.IsValid(4));
  EXPECT_FALSE(quad.IsValid(3));
  EXPECT_FALSE((ON_MeshFace{{0, 0, 1, 1}}).IsValid(3));
  EXPECT_FALSE((ON_MeshFace{{0, 1, 0, 0}}).IsValid(3));
  EXPECT_FALSE((ON_MeshFace{{0, 1, 2, 0}}).IsValid(3));
  EXPECT_FALSE((ON_MeshFace{{-1, 1, 2, 2}}).IsValid(3));
  ON_MeshFace flipped = tri;
  flipped.Flip();
  EXPECT_TRUE(flipped.IsTriangle());
  EXPECT_EQ(flipped.vi[0], 2);
  EXPECT_EQ(flipped.vi[1], 1);
  EXPECT_EQ(flipped.vi[2], 0);
}

TEST(Mesh, SettersAppendOrReplace) {
  ON_Mesh mesh;
  EXPECT_FALSE(mesh.SetVertex(1, ON_3dPoint(1, 1, 1)));  // not the next index
  EXPECT_FALSE(mesh.SetVertex(-1, ON_3dPoint(1, 1, 1)));
  EXPECT_TRUE(mesh.SetVertex(0, ON_3dPoint(0.1, 0, 0)));
  EXPECT_TRUE(mesh.SetVertex(1, ON_3fPoint(1, 0, 0)));
  EXPECT_TRUE(mesh.SetVertex(2, ON_3dPoint(0, 1, 0)));
  EXPECT_TRUE(mesh.SetVertex(3, ON_3dPoint(1, 1, 0)));
  EXPECT_TRUE(mesh.SetVertex(0, ON_3dPoint(0, 0, 0)));  // replaces
  EXPECT_EQ(mesh.VertexCount(), 4);
  EXPECT_EQ(mesh.m_V[0], ON_3fPoint(0, 0, 0));
  EXPECT_EQ(mesh.m_V[1], ON_3fPoint(1, 0, 0));
  EXPECT_FALSE(mesh.SetTriangle(1, 0, 1, 2));
  EXPECT_TRUE(mesh.SetTriangle(0, 0, 1, 2));
  EXPECT_TRUE(mesh.SetQuad(1, 0, 1, 3, 2));
  EXPECT_EQ(mesh.FaceCount(), 2);
  EXPECT_EQ(mesh.m_F[0].vi[2], 2);
  EXPECT_EQ(mesh.m_F[0].vi[3], 2);  // a triangle repeats its last index
  EXPECT_EQ(mesh.m_F[1].vi[3], 2);
  EXPECT_EQ(mesh.TriangleCount(), 1);
  EXPECT_EQ(mesh.QuadCount(), 1);
  EXPECT_TRUE(mesh.IsValid());
  EXPECT_TRUE(mesh.SetTriangle(1, 1, 2, 3));  // replaces the quad
  EXPECT_EQ(mesh.TriangleCount(), 2);
  EXPECT_EQ(mesh.QuadCount(), 0);
}

TEST(Mesh, Validity) {
  ON_Mesh mesh = Square();
  EXPECT_TRUE(mesh.IsValid());
  mesh.SetTriangle(2, 0, 1, 4);  // index out of range
  EXPECT_FALSE(mesh.IsValid());
  mesh.m_F.Remove();
  EXPECT_TRUE(mesh.IsValid());
  mesh.m_N.SetCount(2);  // normals must be none or one per vertex
  EXPECT_FALSE(mesh.IsValid());
  mesh.m_N.SetCount(4);
  EXPECT_TRUE(mesh.IsValid());
  mesh.m_V[1].x = std::nanf("");
  EXPECT_FALSE(mesh.IsValid());
  EXPECT_FALSE(ON_Mesh().IsValid());
}

TEST(Mesh, RotateMinusQuarterTurnAboutXIsExact) {
  ON_Mesh mesh;
  const ON_3fPoint points[] = {ON_3fPoint(1, 2, 3), ON_3fPoint(-0.1f, 12.75f, -1e-3f), ON_3fPoint(3.3e7f, -7.1f, 0.5f)};
  for (int i = 0; i < 3; ++i) mesh.SetVertex(i, points[i]);
  mesh.SetTriangle(0, 0, 1, 2);
  mesh.m_N.Append(ON_3fVector(0, 1, 0));
  mesh.m_N.Append(ON_3fVector(0, 0, 1));
  mesh.m_N.Append(ON_3fVector(0.6f, 0.8f, 0));
  ON_Geometry& geometry = mesh;  // through the base class, as callers do
  ASSERT_TRUE(geometry.Rotate(-ON_PI / 2, ON_xaxis, ON_origin));
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(mesh.m_V[i].x, points[i].x);
    EXPECT_EQ(mesh.m_V[i].y, points[i].z);
    EXPECT_EQ(mesh.m_V[i].z, -points[i].y);
  }
  EXPECT_EQ(mesh.m_N[0], ON_3fVector(0, 0, -1));
  EXPECT_EQ(mesh.m_N[1], ON_3fVector(0, 1, 0));
  EXPECT_EQ(mesh.m_N[2].x, 0.6f);
  EXPECT_EQ(mesh.m_N[2].z, -0.8f);
  // The sine/cosine form turns it back.
  ASSERT_TRUE(mesh.Rotate(1.0, 0.0, ON_xaxis, ON_origin));
  for (int i = 0; i < 3; ++i) EXPECT_EQ(mesh.m_V[i], points[i]);
}

TEST(Mesh, TransformComputesInDoubleAndStoresFloat) {
  ON_Mesh mesh;
  for (int i = 0; i < 200; ++i)
    mesh.SetVertex(i, ON_3fPoint(3.3e7f + 1.37f * i, -7.1f * i, 0.5f + 1e4f * static_cast<float>(i % 7)));
  const ON_Mesh original = mesh;
  const ON_3dVector axis(0.3, -1.0, 2.0);
  const ON_3dPoint center(1e6, 2.5, -3.0);
  ASSERT_TRUE(mesh.Rotate(0.3, axis, center));
  ON_Xform r;
  ASSERT_TRUE(r.Rotation(0.3, axis, center));
  for (int i = 0; i < 200; ++i) ASSERT_EQ(mesh.m_V[i], ON_3fPoint(r * ON_3dPoint(original.m_V[i]))) << i;
}

TEST(Mesh, TransformKeepsNormalsConsistentWithWinding) {
  ON_Mesh mesh;
  mesh.SetVertex(0, ON_3dPoint(0, 0, 0));
  mesh.SetVertex(1, ON_3dPoint(1, 0, 0));
  mesh.SetVertex(2, ON_3dPoint(0, 1, 1));
  mesh.SetVertex(3, ON_3dPoint(1, 2, 0.5));
  mesh.SetTriangle(0, 0, 1, 2);
  mesh.SetTriangle(1, 1, 3, 2);
  ASSERT_TRUE(SetTriangleNormals(mesh));
  ON_Xform skew(1);
  skew.m_xform[0][0] = 3.0;   // non-uniform scale
  skew.m_xform[2][2] = -0.5;  // and a mirror
  skew.m_xform[0][1] = 0.25;  // and a shear
  ASSERT_TRUE(mesh.Transform(skew));
  ON_Mesh recomputed = mesh;
  ASSERT_TRUE(SetTriangleNormals(recomputed));
  for (int i = 0; i < 2; ++i) {
    EXPECT_NEAR(mesh.m_FN[i].x, recomputed.m_FN[i].x, 1e-6);
    EXPECT_NEAR(mesh.m_FN[i].y, recomputed.m_FN[i].y, 1e-6);
    EXPECT_NEAR(mesh.m_FN[i].z, recomputed.m_FN[i].z, 1e-6);
  }
}

TEST(Mesh, CopiesDoNotShareTopology) {
  ON_Mesh* original = new ON_Mesh(Square());
  const ON_MeshTopology& top = original->Topology();
  ASSERT_EQ(top.TopEdgeCount(), 5);
  ASSERT_EQ(top.m_mesh, original);

  ON_Mesh copy(*original);
  ON_Mesh assigned;
  assigned.SetVertex(0, ON_3dPoint(5, 5, 5));
  EXPECT_EQ(assigned.Topology().TopVertexCount(), 1);
  assigned = *original;
  const ON_MeshTopology& copy_top = copy.Topology();
  const ON_MeshTopology& assigned_top = assigned.Topology();
  EXPECT_NE(&copy_top, &top);
  EXPECT_EQ(copy_top.m_mesh, &copy);
  EXPECT_EQ(assigned_top.m_mesh, &assigned);
  EXPECT_NE(copy_top.m_topv[0].m_vi, top.m_topv[0].m_vi);
  EXPECT_NE(copy_top.m_tope[0].m_topfi, top.m_tope[0].m_topfi);
  EXPECT_EQ(assigned_top.TopVertexCount(), 4);  // rebuilt for the new data
  EXPECT_EQ(assigned_top.TopEdgeCount(), 5);

  // Changing and then deleting the original leaves the copies intact (ASan
  // would see a copy reading the original's pools).
  original->SetVertex(3, ON_3dPoint(0, 0, 0));
  EXPECT_EQ(original->Topology().TopVertexCount(), 3);
  delete original;
  for (const ON_MeshTopology* t : {&copy_top, &assigned_top}) {
    EXPECT_TRUE(t->IsValid());
    EXPECT_EQ(t->TopVertexCount(), 4);
    EXPECT_EQ(t->TopEdgeCount(), 5);
    for (int v = 0; v < t->TopVertexCount(); ++v) EXPECT_EQ(t->m_topv[v].m_vi[0], v);
    EXPECT_EQ(t->m_tope[t->TopEdge(0, 2)].m_topfi[1], 1);
  }

  // A mesh inside an ON_ClassArray survives reallocation with its data.
  ON_ClassArray<ON_Mesh> meshes;
  for (int i = 0; i < 20; ++i) {
    meshes.Append(copy);
    EXPECT_EQ(meshes[0].Topology().m_mesh, &meshes[0]);
  }
  EXPECT_EQ(meshes[19].Topology().TopEdgeCount(), 5);
}

TEST(Mesh, MovesTakeTheDataAndLeaveNoStaleTopology) {
  ON_Mesh source(Square());
  ASSERT_EQ(source.Topology().TopEdgeCount(), 5);
  const ON_3fPoint* vertices = source.m_V.Array();
  ON_Mesh moved(std::move(source));
  EXPECT_EQ(moved.m_V.Array(), vertices) << "no copy";
  EXPECT_EQ(source.VertexCount(), 0);
  EXPECT_EQ(source.Topology().TopEdgeCount(), 0) << "the source's topology described data it no longer has";
  EXPECT_EQ(moved.Topology().m_mesh, &moved);
  EXPECT_EQ(moved.Topology().TopEdgeCount(), 5);

  ON_Mesh target;
  target.SetVertex(0, ON_3dPoint(1, 2, 3));
  EXPECT_EQ(target.Topology().TopVertexCount(), 1);
  target = std::move(moved);
  EXPECT_EQ(target.Topology().TopVertexCount(), 4);
  EXPECT_EQ(moved.FaceCount(), 0);
}

TEST(Mesh, ChangesDropTheCachedTopology) {
  ON_Mesh mesh = Square();
  mesh.SetVertex(4, ON_3dPoint(0, 0, 1));
  mesh.SetTriangle(2, 0, 1, 4);
  EXPECT_EQ(mesh.Topology().TopVertexCount(), 5);
  EXPECT_EQ(mesh.Topology().TopEdgeCount(), 7);

  // Flattening z merges vertex 4 into vertex 0: Transform must rebuild.
  ON_Xform flatten(1);
  flatten.m_xform[2][2] = 0.0;
  ASSERT_TRUE(mesh.Transform(flatten));
  EXPECT_EQ(mesh.Topology().TopVertexCount(), 4);
  EXPECT_EQ(mesh.Topology().m_topv_map[4], 0);
  EXPECT_FALSE(mesh.Topology().IsValid());  // triangle 2 now has two corners at one place

  mesh.SetVertex(4, ON_3dPoint(7, 7, 7));  // SetVertex
  EXPECT_EQ(mesh.Topology().TopVertexCount(), 5);
  mesh.SetTriangle(2, 1, 2, 3);  // SetTriangle
  EXPECT_EQ(mesh.Topology().TopEdgeCount(), 6);
  mesh.SetQuad(2, 0, 1, 2, 4);  // SetQuad
  EXPECT_EQ(mesh.Topology().TopEdgeCount(), 7);
  EXPECT_TRUE(mesh.Topology().IsValid());

  // Direct writes need DestroyTopology.
  mesh.m_V[4] = mesh.m_V[3];
  mesh.DestroyTopology();
  EXPECT_EQ(mesh.Topology().TopVertexCount(), 4);
  EXPECT_TRUE(mesh.Topology().IsValid());

  mesh.Destroy();
  EXPECT_EQ(mesh.VertexCount(), 0);
  EXPECT_EQ(mesh.Topology().TopVertexCount(), 0);
  EXPECT_TRUE(mesh.Topology().IsValid());
}

}  // namespace

namespace {

// A one-triangle mesh made as a reader of triangles makes it: room for one
// face and three vertices, the corners stored in single precision.
ON_Mesh OneTriangle(const ON_3dPoint& p1, const ON_3dPoint& p2, const ON_3dPoint& p3) {
  ON_Mesh mesh(1, 3, false, false);
  EXPECT_TRUE(mesh.SetVertex(0, p1));
  EXPECT_TRUE(mesh.SetVertex(1, p2));
  EXPECT_TRUE(mesh.SetVertex(2, p3));
  EXPECT_TRUE(mesh.SetTriangle(0, 0, 1, 2));
  return mesh;
}

}  // namespace

TEST(Mesh, ADegenerateTrianglesTopologyIsInvalid) {
  EXPECT_TRUE(OneTriangle({0, 0, 0}, {1, 0, 0}, {0, 1, 0}).Topology().IsValid());
  // Collinear but with three different corners: still a triangle here.
  EXPECT_TRUE(OneTriangle({0, 0, 0}, {1, 0, 0}, {2, 0, 0}).Topology().IsValid());
  const ON_3dPoint degenerate[][3] = {
      {{0, 0, 0}, {0, 0, 0}, {0, 1, 0}},         // P1 = P2
      {{0, 0, 0}, {0, 1, 0}, {0, 1, 0}},         // P2 = P3
      {{2, 2, 2}, {2, 2, 2}, {2, 2, 2}},         // a point
      {{1, 0, 0}, {1 + 1e-12, 0, 0}, {0, 1, 0}},  // equal once stored as float
  };
  for (const auto& c : degenerate) {
    const ON_Mesh mesh = OneTriangle(c[0], c[1], c[2]);
    EXPECT_FALSE(mesh.Topology().IsValid()) << c[1].x;
  }
}

TEST(Mesh, CombineIdenticalVerticesMergesCornersThatCoincide) {
  // Two triangles with six corners, two pairs of which coincide.
  ON_Mesh mesh = OneTriangle({0, 0, 0}, {1, 0, 0}, {1, 1, 0});
  ASSERT_TRUE(mesh.Append(OneTriangle({0, 0, -0.0}, {1, 1, 0}, {0, 1, 0})));
  ASSERT_EQ(mesh.VertexCount(), 6);
  ASSERT_TRUE(mesh.CombineIdenticalVertices(true, true));
  EXPECT_EQ(mesh.VertexCount(), 4);
  EXPECT_EQ(mesh.FaceCount(), 2);
  EXPECT_EQ(mesh.m_V[3], ON_3fPoint(0, 1, 0));
  EXPECT_EQ(mesh.m_F[1].vi[0], 0);
  EXPECT_EQ(mesh.m_F[1].vi[1], 2);
  EXPECT_EQ(mesh.m_F[1].vi[2], 3);
  EXPECT_EQ(mesh.m_F[1].vi[3], 3);
  EXPECT_TRUE(mesh.IsValid());
  EXPECT_EQ(mesh.Topology().TopEdgeCount(), 5);
  // Nothing left to merge.
  EXPECT_FALSE(mesh.CombineIdenticalVertices(true, true));
  EXPECT_EQ(mesh.VertexCount(), 4);
}

TEST(Mesh, CombineIdenticalVerticesComparesNormalsAndColoursUnlessIgnored) {
  ON_Mesh mesh;
  for (int i = 0; i < 4; ++i) mesh.SetVertex(i, ON_3dPoint(0, 0, 0));
  mesh.SetVertex(4, ON_3fPoint(std::nanf(""), 0, 0));
  mesh.SetVertex(5, ON_3fPoint(std::nanf(""), 0, 0));
  const ON_3fVector normals[6] = {{0, 0, 1}, {0, 0, 1}, {0, 1, 0}, {0, 1, 0}, {0, 0, 1}, {0, 0, 1}};
  for (const ON_3fVector& n : normals) mesh.m_N.Append(n);
  for (int i = 0; i < 6; ++i) mesh.m_C.Append(ON_Color(i == 3 ? 9 : 0, 0, 0));
  mesh.SetTriangle(0, 0, 2, 3);
  ON_Mesh by_normal = mesh;
  ASSERT_TRUE(by_normal.CombineIdenticalVertices(false, true));
  // 0 and 1 share normal and colour; 3 differs from 2 in colour; NaNs stay.
  EXPECT_EQ(by_normal.VertexCount(), 5);
  EXPECT_EQ(by_normal.m_N.Count(), 5);
  EXPECT_EQ(by_normal.m_C.Count(), 5);
  EXPECT_EQ(by_normal.m_N[1], ON_3fVector(0, 1, 0));
  EXPECT_EQ(by_normal.m_C[2].Red(), 9);
  EXPECT_EQ(by_normal.m_F[0].vi[1], 1);
  ON_Mesh ignoring = mesh;
  ASSERT_TRUE(ignoring.CombineIdenticalVertices(true, true));
  EXPECT_EQ(ignoring.VertexCount(), 4);  // 0, 1, 2 merged; 3 has its own colour
  EXPECT_EQ(ignoring.m_N.Count(), 4);
  // A colour list that is not one per vertex is not compared and is kept.
  mesh.m_C.SetCount(1);
  ASSERT_TRUE(mesh.CombineIdenticalVertices(true, true));
  EXPECT_EQ(mesh.VertexCount(), 3);
  EXPECT_EQ(mesh.m_C.Count(), 1);
}

// Against the rule itself, vertex by vertex: each vertex goes where the
// lowest vertex equal to it went. Thousands of vertices on a few hundred
// places (so that the merge's table grows several times), with -0, NaNs,
// and normals and colours that split some places.
TEST(Mesh, CombineIdenticalVerticesMatchesTheRuleOnALargeMesh) {
  const float nan = std::nanf("");
  ON_Mesh mesh;
  unsigned state = 12345;
  auto next = [&state](unsigned n) {
    state = state * 1103515245u + 12345u;
    return (state >> 16) % n;
  };
  for (int i = 0; i < 6000; ++i) {
    const unsigned place = next(1500);
    ON_3fPoint p(static_cast<float>(place % 40), static_cast<float>(place / 40), place % 7 == 0 ? -0.0f : 0.0f);
    if (place == 3) p.y = nan;
    mesh.SetVertex(i, p);
    mesh.m_N.Append(ON_3fVector(0, 0, next(5) == 0 ? -1.0f : 1.0f));
    mesh.m_C.Append(ON_Color(next(7) == 0 ? 1 : 0, 0, 0));
  }
  for (int f = 0; f + 2 < mesh.VertexCount(); f += 3) mesh.SetTriangle(f / 3, f, f + 1, f + 2);

  for (bool ignore_normals : {true, false}) {
    SCOPED_TRACE(ignore_normals ? "normals ignored" : "normals compared");
    auto same = [&](int a, int b) {
      const ON_3fPoint &p = mesh.m_V[a], &q = mesh.m_V[b];
      return p.x == q.x && p.y == q.y && p.z == q.z && (ignore_normals || mesh.m_N[a] == mesh.m_N[b]) &&
             mesh.m_C[a] == mesh.m_C[b];
    };
    std::vector<int> place(static_cast<size_t>(mesh.VertexCount()));
    std::vector<ON_3fPoint> kept;
    for (int i = 0; i < mesh.VertexCount(); ++i) {
      int j = 0;
      while (j < i && !same(j, i)) ++j;
      place[static_cast<size_t>(i)] = j < i ? place[static_cast<size_t>(j)] : static_cast<int>(kept.size());
      if (j == i) kept.push_back(mesh.m_V[i]);
    }
    ON_Mesh merged = mesh;
    ASSERT_TRUE(merged.CombineIdenticalVertices(ignore_normals, true));
    ASSERT_EQ(static_cast<size_t>(merged.VertexCount()), kept.size());
    EXPECT_EQ(merged.m_N.Count(), merged.VertexCount());
    EXPECT_EQ(merged.m_C.Count(), merged.VertexCount());
    for (int i = 0; i < merged.VertexCount(); ++i) {
      const ON_3fPoint &got = merged.m_V[i], &want = kept[static_cast<size_t>(i)];
      ASSERT_TRUE(got == want || (std::isnan(got.y) && std::isnan(want.y))) << "vertex " << i;
    }
    for (int f = 0; f < merged.FaceCount(); ++f)
      for (int k = 0; k < 4; ++k)
        ASSERT_EQ(merged.m_F[f].vi[k], place[static_cast<size_t>(mesh.m_F[f].vi[k])]) << "face " << f;
  }
}

TEST(Mesh, AppendMovesIndexesAndKeepsWhatCoversEveryVertex) {
  ON_Mesh a = Square(), b = OneTriangle({5, 5, 5}, {6, 5, 5}, {5, 6, 5});
  for (int i = 0; i < 4; ++i) a.m_N.Append(ON_3fVector(0, 0, 1));
  for (int i = 0; i < 3; ++i) b.m_N.Append(ON_3fVector(1, 0, 0));
  a.m_C.Append(ON_Color(1, 2, 3));  // one colour for the whole mesh
  a.Topology();
  ASSERT_TRUE(a.Append(b));
  EXPECT_EQ(a.VertexCount(), 7);
  EXPECT_EQ(a.FaceCount(), 3);
  EXPECT_EQ(a.m_F[2].vi[0], 4);
  EXPECT_EQ(a.m_F[2].vi[3], 6);
  EXPECT_EQ(a.m_N.Count(), 7);
  EXPECT_EQ(a.m_N[6], ON_3fVector(1, 0, 0));
  EXPECT_EQ(a.m_C.Count(), 1);
  EXPECT_EQ(a.Topology().TopFaceCount(), 3);  // the cached topology was dropped
  ASSERT_TRUE(a.Append(Square()));  // without normals: they no longer cover every vertex
  EXPECT_EQ(a.m_N.Count(), 0);
  EXPECT_TRUE(a.IsValid());
  // Appending itself doubles it.
  ON_Mesh self = Square();
  ASSERT_TRUE(self.Append(self));
  EXPECT_EQ(self.VertexCount(), 8);
  EXPECT_EQ(self.m_F[3].vi[2], 7);
  EXPECT_EQ(self.m_V[6], self.m_V[2]);
  EXPECT_TRUE(a.Append(ON_Mesh()));
  EXPECT_EQ(a.VertexCount(), 11);
}

TEST(Mesh, ColoursAndTheirCopies) {
  struct Case {
    int in[4];
    int out[4];
  } cases[] = {
      {{127, 63, 255, 127}, {127, 63, 255, 127}},
      {{306, -25, 256, -1}, {255, 0, 255, 0}},
      {{INT_MAX, INT_MIN, 0, 255}, {255, 0, 0, 255}},
  };
  for (const Case& c : cases) {
    ON_Color colour;
    colour.SetRGBA(c.in[0], c.in[1], c.in[2], c.in[3]);
    EXPECT_EQ(colour.Red(), c.out[0]);
    EXPECT_EQ(colour.Green(), c.out[1]);
    EXPECT_EQ(colour.Blue(), c.out[2]);
    EXPECT_EQ(colour.Alpha(), c.out[3]);
    EXPECT_EQ(ON_Color(c.in[0], c.in[1], c.in[2], c.in[3]), colour);
  }
  const ON_Color white(255, 255, 255);
  EXPECT_EQ(white.Alpha(), 0);
  EXPECT_EQ(ON_Color(300, 0, 0).Red(), 255);
  ON_Mesh mesh = Square();
  mesh.m_C.Append(white);
  const ON_Mesh copy = mesh;
  ASSERT_EQ(copy.m_C.Count(), 1);
  EXPECT_EQ(copy.m_C[0], white);
  ON_Mesh moved = std::move(mesh);
  EXPECT_EQ(moved.m_C.Count(), 1);
  EXPECT_EQ(mesh.m_C.Count(), 0);
  moved.Destroy();
  EXPECT_EQ(moved.m_C.Count(), 0);
}

TEST(MeshMemory, GrowingAndMergingFailWithoutChangingTheMesh) {
  if (!test_support::AllocationLimit::Available()) GTEST_SKIP() << "no allocation hook under AddressSanitizer";
  ON_Mesh mesh = OneTriangle({0, 0, 0}, {1, 0, 0}, {1, 1, 0});
  mesh.Append(OneTriangle({0, 0, 0}, {1, 1, 0}, {0, 1, 0}));
  mesh.m_V.SetCapacity(mesh.VertexCount());
  mesh.m_F.SetCapacity(mesh.FaceCount());
  const ON_Mesh other = Square();
  test_support::AllocationLimit limit(test_support::AllocationLimit::FailFrom(1));
  EXPECT_FALSE(mesh.SetVertex(6, ON_3dPoint(1, 2, 3)));
  EXPECT_FALSE(mesh.SetTriangle(2, 0, 1, 2));
  EXPECT_FALSE(mesh.Append(other));
  EXPECT_FALSE(mesh.CombineIdenticalVertices(true, true));
  limit.End();
  EXPECT_EQ(mesh.VertexCount(), 6);
  EXPECT_EQ(mesh.FaceCount(), 2);
  EXPECT_TRUE(mesh.CombineIdenticalVertices(true, true));
}

