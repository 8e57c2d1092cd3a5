#include "VLMGeo.h"

namespace {

ON_MeshFace Triangle(int a, int b, int c) {
  ON_MeshFace f;
  f.vi[0] = a;
  f.vi[1] = b;
  f.vi[2] = f.vi[3] = c;
  return f;
}

// The two halves of the quadrilateral (a, b, c, d), split along a-c.
ON_MeshFace FirstHalf(const ON_MeshFace& q) { return Triangle(q.vi[0], q.vi[1], q.vi[2]); }
ON_MeshFace SecondHalf(const ON_MeshFace& q) { return Triangle(q.vi[0], q.vi[2], q.vi[3]); }

}  // namespace

int VLMMesh::BreakQuads(ON_Mesh& mesh, int keepOrder, int* split) {
  const int faceCount = mesh.m_F.Count();
  int quads = 0;
  for (int i = 0; i < faceCount; ++i)
    if (mesh.m_F[i].IsQuad()) ++quads;
  if (split) *split = quads;
  if (quads == 0) return 1;

  const bool faceNormals = mesh.m_FN.Count() == faceCount;
  ON_SimpleArray<ON_MeshFace> faces;
  ON_3fVectorArray normals;
  faces.Reserve(faceCount + quads);
  if (faceNormals) normals.Reserve(faceCount + quads);
  ON_SimpleArray<int> tail;  // quads whose second triangle goes last
  if (!keepOrder) tail.Reserve(quads);

  for (int i = 0; i < faceCount; ++i) {
    const ON_MeshFace& f = mesh.m_F[i];
    if (!f.IsQuad()) {
      faces.Append(f);
      if (faceNormals) normals.Append(mesh.m_FN[i]);
      continue;
    }
    faces.Append(FirstHalf(f));
    if (faceNormals) normals.Append(mesh.m_FN[i]);
    if (keepOrder) {
      faces.Append(SecondHalf(f));
      if (faceNormals) normals.Append(mesh.m_FN[i]);
    } else {
      tail.Append(i);
    }
  }
  for (int t = 0; t < tail.Count(); ++t) {
    faces.Append(SecondHalf(mesh.m_F[tail[t]]));
    if (faceNormals) normals.Append(mesh.m_FN[tail[t]]);
  }

  mesh.m_F = faces;
  if (faceNormals) mesh.m_FN = normals;
  mesh.DestroyTopology();
  return 1;
}
