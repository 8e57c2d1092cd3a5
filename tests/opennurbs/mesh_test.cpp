#include <gtest/gtest.h>

#include <climits>

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
  EXPECT_TRUE(mesh.Topology().IsValid());

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
