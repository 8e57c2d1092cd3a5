// Reading the chunk tree of a 3DS file: every chunk on the way to the
// triangle meshes is checked against its parent, and each mesh is found as
// pointers into the file's bytes. Building ON_Mesh objects from them is
// mesh_builder's job.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace ombra {

// What is wrong with the file and where; the caller adds which file.
class FormatError : public std::runtime_error {
 public:
  explicit FormatError(const std::string& what) : std::runtime_error(what) {}
};

// A triangle mesh with faces, its face indices already checked against its
// vertex count.
struct MeshSource {
  const unsigned char* vertices = nullptr;  // vertex_count x 3 float32, little-endian
  const unsigned char* faces = nullptr;     // face_count x 4 uint16 (a, b, c, flags)
  std::uint32_t vertex_count = 0;
  std::uint32_t face_count = 0;
};

// Throws FormatError for a malformed file.
std::vector<MeshSource> ReadChunkTree(const unsigned char* data, std::size_t size);

}  // namespace ombra
