// Building ON_Mesh objects from the meshes found in the chunk tree.
#pragma once

#include "chunk_tree.h"

#include "opennurbs.h"

namespace ombra {

// Fills the empty `mesh` from `source`, whose indices are already checked.
// Throws nothing but std::bad_alloc.
void BuildMesh(const MeshSource& source, ON_Mesh& mesh);

}  // namespace ombra
