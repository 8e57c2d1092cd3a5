// OmbraLib100Ux64.dll: the 3DS reader.
//
// _3DSToMesh reads the triangle meshes of a .3ds file: one ON_Mesh for each
// triangle mesh that has faces, appended to `meshes` in file order, with the
// vertices as stored (single precision, no transform) and each face (a, b, c)
// as the face (a, b, c, c). Objects without faces, lights, cameras,
// materials, texture coordinates and keyframer data add nothing.
//
// It returns non-zero when the file was read, even if it holds no mesh, and 0
// when it could not be read; GetError then gives a text for the user that
// names the file, what is wrong and where (chunk id and byte offset). A file
// that cannot be read appends nothing: the caller's array is left as it was.
//
// How it treats the cases that the format leaves open:
//   - An object with more than one triangle-mesh chunk gives one mesh per
//     chunk, in file order (each chunk holds its own vertices and faces).
//   - A mesh with more than one vertex list or more than one face list is
//     refused: which vertices its faces index would be a guess.
//   - A mesh with faces but no vertex list is refused: its faces name
//     vertices the mesh does not have.
//   - A vertex list longer than its count needs is read; the rest is skipped.
//   - Bytes after the main chunk are ignored: the main chunk's length says
//     where the data ends, and padding after it loses nothing.
//   - Bytes inside a chunk the reader walks (main, editor, object, mesh,
//     face list) that are too few to make a chunk header are refused.
//   - Chunks it does not walk are only checked to lie inside their parent.
//
// Only the main chunk is read, as far as its length says: whatever follows it
// is never read, so what a file costs is its 3DS content. What the reader
// allocates is bounded by that length (a count is checked against its chunk
// before anything is allocated). Object names in the texts are taken as
// UTF-8 when they are valid UTF-8, else as Windows-1252.
#pragma once

#include <afx.h>

#include "opennurbs.h"

class AFX_EXT_CLASS Ombra3DS {
 public:
  static int _3DSToMesh(CString path, ON_ClassArray<ON_Mesh>& meshes);
  // The text of the failure of the last _3DSToMesh call (one for the
  // process, whichever thread called); empty after a call that succeeded.
  static CString GetError();
};
