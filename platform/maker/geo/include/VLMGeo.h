// The maker's geometry library: tests and conversions on openNURBS objects.
#pragma once

#include "opennurbs.h"

class VLMMesh {
 public:
  // Splits every quadrilateral (a, b, c, d) of `mesh` into the triangles
  // (a, b, c) and (a, c, d): the diagonal from the first to the third corner,
  // so the first triangle keeps the quadrilateral's first three corners and
  // their normal. The first triangle takes the quadrilateral's place; with
  // `keepOrder` non-zero the second follows it directly, otherwise it is
  // appended after the last face. Face normals, when present, are copied to
  // the new triangles. `split`, when not null, receives the number of
  // quadrilaterals split. Returns 1; 0 when there is not the memory to split
  // them, the mesh then unchanged.
  static int BreakQuads(ON_Mesh& mesh, int keepOrder, int* split);
};
