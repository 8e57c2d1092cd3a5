// The reader behind Ombra3DS::_3DSToMesh, for a file already in memory
// (the fuzzer and the tests feed it bytes directly).
#pragma once

#include <afx.h>

#include "opennurbs.h"

#include <cstddef>

namespace stand_in {

// Reads the 3DS file held in data[0, size) as Ombra3DS::_3DSToMesh reads one
// from disk: non-zero with the meshes appended, or 0 with `error` set and
// `meshes` untouched. `name` is what the error text calls the file. Does not
// change Ombra3DS::GetError.
int Read3DS(const unsigned char* data, std::size_t size, const CString& name, ON_ClassArray<ON_Mesh>& meshes,
            CString& error);

}  // namespace stand_in
