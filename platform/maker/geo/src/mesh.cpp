#include "VLMGeo.h"

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
    ON_MeshFace first;
    first.vi[0] = f.vi[0];
    first.vi[1] = f.vi[1];
    first.vi[2] = first.vi[3] = f.vi[2];
    faces.Append(first);
    if (faceNormals) normals.Append(mesh.m_FN[i]);
    if (keepOrder) {
      ON_MeshFace second;
      second.vi[0] = f.vi[0];
      second.vi[1] = f.vi[2];
      second.vi[2] = second.vi[3] = f.vi[3];
      faces.Append(second);
      if (faceNormals) normals.Append(mesh.m_FN[i]);
    } else {
      tail.Append(i);
    }
  }
  for (int t = 0; t < tail.Count(); ++t) {
    const ON_MeshFace& f = mesh.m_F[tail[t]];
    ON_MeshFace second;
    second.vi[0] = f.vi[0];
    second.vi[1] = f.vi[2];
    second.vi[2] = second.vi[3] = f.vi[3];
    faces.Append(second);
    if (faceNormals) normals.Append(mesh.m_FN[tail[t]]);
  }

  mesh.m_F = faces;
  if (faceNormals) mesh.m_FN = normals;
  mesh.DestroyTopology();
  return 1;
}
