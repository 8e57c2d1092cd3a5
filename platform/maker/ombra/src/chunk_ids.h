// The chunk ids of the 3DS format that the reader looks at. Every other chunk
// is skipped by its length.
#pragma once

#include <cstdint>

namespace ombra {

enum ChunkId : std::uint16_t {
  kChunkMain = 0x4D4D,      // the whole file
  kChunkEditor = 0x3D3D,    // the 3D editor part: objects, materials, settings
  kChunkObject = 0x4000,    // a named object: zero-terminated name, then sub-chunks
  kChunkTriMesh = 0x4100,   // the object's triangle mesh
  kChunkVertices = 0x4110,  // uint16 count, then count x 3 float32
  kChunkFaces = 0x4120,     // uint16 count, then count x (3 x uint16 index, uint16 flags), then sub-chunks
};

// Every chunk starts with a uint16 id and a uint32 length that counts the
// header itself.
constexpr std::uint32_t kChunkHeaderSize = 6;
constexpr std::uint32_t kVertexSize = 3 * 4;
constexpr std::uint32_t kFaceSize = 4 * 2;

}  // namespace ombra
