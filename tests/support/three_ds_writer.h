// Builds 3DS files chunk by chunk: well-formed ones from meshes, and broken
// ones with a wrong length, a wrong count or stray bytes where a test wants
// them. Little-endian, as the format is.
//
//   three_ds::Mesh tri{"Tri", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}}};
//   std::vector<std::uint8_t> good = three_ds::FileOf({tri});
//   three_ds::Chunk bad = three_ds::File({three_ds::Chunk(three_ds::kObject).Name("x").Length(3)});
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace three_ds {

enum ChunkId : std::uint16_t {
  kMain = 0x4D4D,
  kVersion = 0x0002,
  kEditor = 0x3D3D,
  kMeshVersion = 0x3D3E,
  kMasterScale = 0x0100,
  kObject = 0x4000,
  kTriMesh = 0x4100,
  kVertices = 0x4110,
  kFaces = 0x4120,
  kFaceMaterial = 0x4130,
  kTexCoords = 0x4140,
  kSmoothing = 0x4150,
  kLocalAxes = 0x4160,
  kLight = 0x4600,
  kCamera = 0x4700,
  kMaterial = 0xAFFF,
  kKeyframer = 0xB000,
};

// A chunk: a 6-byte header (id, length) and a body of values and child
// chunks in the order they are added. The length is the true one unless
// Length sets another.
class Chunk {
 public:
  explicit Chunk(std::uint16_t id) : id_(id) {}

  Chunk& U8(std::uint8_t value);
  Chunk& U16(std::uint16_t value);
  Chunk& U32(std::uint32_t value);
  Chunk& F32(float value);
  Chunk& Name(const std::string& name);  // with its terminating zero
  Chunk& Raw(const std::vector<std::uint8_t>& bytes);
  Chunk& Add(const Chunk& child);
  // Writes `length` into the header in place of the true length.
  Chunk& Length(std::uint32_t length);

  std::uint16_t id() const { return id_; }
  // Header and body: the bytes of the chunk in a file.
  std::vector<std::uint8_t> Bytes() const;

 private:
  std::uint16_t id_;
  std::optional<std::uint32_t> length_;
  std::vector<std::uint8_t> body_;
};

using Vertex = std::array<float, 3>;
using Face = std::array<std::uint16_t, 3>;

struct Mesh {
  std::string name;
  std::vector<Vertex> vertices;
  std::vector<Face> faces;
};

// 0x4110 with the count and the vertices.
Chunk VertexList(const std::vector<Vertex>& vertices);
// 0x4120 with the count and the faces, each with the flags 0x0007 (all edges
// visible) as exporters write them.
Chunk FaceList(const std::vector<Face>& faces);
// 0x4000 named `mesh.name` holding 0x4100 with the vertex and face lists.
Chunk MeshObject(const Mesh& mesh);
// 0x4D4D holding the version chunk and 0x3D3D, which holds the mesh version
// chunk and then `editor` in order.
Chunk File(const std::vector<Chunk>& editor);
// A well-formed file of the meshes, one object each.
std::vector<std::uint8_t> FileOf(const std::vector<Mesh>& meshes);

// Writes `bytes` to the file at `native_path`; false when it cannot.
[[nodiscard]] bool Save(const std::string& native_path, const std::vector<std::uint8_t>& bytes);

}  // namespace three_ds
