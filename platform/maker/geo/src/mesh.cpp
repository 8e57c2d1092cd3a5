#include "VLMGeo.h"

#include <utility>

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

  // Built aside in arrays of the exact size, so that a mesh the memory cannot
  // split is left as it was (and 0 returned) rather than half split.
  if (quads > ON_ArrayMaximumCount(sizeof(ON_MeshFace)) - faceCount) return 0;
  const int total = faceCount + quads;
  const bool faceNormals = mesh.m_FN.Count() == faceCount;
  ON_SimpleArray<ON_MeshFace> faces;
  ON_3fVectorArray normals;
  if (!faces.SetCount(total) || (faceNormals && !normals.SetCount(total))) return 0;

  int out = 0;
  int tail = faceCount;  // where the second halves go when not kept in order
  for (int i = 0; i < faceCount; ++i) {
    const ON_MeshFace& f = mesh.m_F[i];
    if (!f.IsQuad()) {
      if (faceNormals) normals[out] = mesh.m_FN[i];
      faces[out++] = f;
      continue;
    }
    if (faceNormals) normals[out] = mesh.m_FN[i];
    faces[out++] = FirstHalf(f);
    const int second = keepOrder ? out++ : tail++;
    if (faceNormals) normals[second] = mesh.m_FN[i];
    faces[second] = SecondHalf(f);
  }

  mesh.m_F = std::move(faces);
  if (faceNormals) mesh.m_FN = std::move(normals);
  mesh.DestroyTopology();
  return 1;
}
