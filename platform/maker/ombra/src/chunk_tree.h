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

// What is wrong with the file and where (UTF-8); the caller adds which file.
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

// How many bytes of a file of `file_size` bytes the reader needs: the main
// chunk's length. `head` holds the file's first min(head_size, 6) bytes, which
// are enough to tell. Throws FormatError when they show the file to be
// malformed (empty, not a 3DS file, shorter than its main chunk claims).
std::uint64_t MainChunkEnd(const unsigned char* head, std::size_t head_size, std::uint64_t file_size);

// Throws FormatError for a malformed file.
std::vector<MeshSource> ReadChunkTree(const unsigned char* data, std::size_t size);

}  // namespace ombra
