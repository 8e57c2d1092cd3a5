#include "three_ds_writer.h"

#include <cstdio>
#include <cstring>

namespace three_ds {

Chunk& Chunk::U8(std::uint8_t value) {
  body_.push_back(value);
  return *this;
}

Chunk& Chunk::U16(std::uint16_t value) {
  body_.push_back(static_cast<std::uint8_t>(value));
  body_.push_back(static_cast<std::uint8_t>(value >> 8));
  return *this;
}

Chunk& Chunk::U32(std::uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) body_.push_back(static_cast<std::uint8_t>(value >> shift));
  return *this;
}

Chunk& Chunk::F32(float value) {
  std::uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return U32(bits);
}

Chunk& Chunk::Name(const std::string& name) {
  body_.insert(body_.end(), name.begin(), name.end());
  body_.push_back(0);
  return *this;
}

Chunk& Chunk::Raw(const std::vector<std::uint8_t>& bytes) {
  body_.insert(body_.end(), bytes.begin(), bytes.end());
  return *this;
}

Chunk& Chunk::Add(const Chunk& child) { return Raw(child.Bytes()); }

Chunk& Chunk::Length(std::uint32_t length) {
  length_ = length;
  return *this;
}

std::vector<std::uint8_t> Chunk::Bytes() const {
  Chunk header(0);
  header.U16(id_).U32(length_ ? *length_ : static_cast<std::uint32_t>(6 + body_.size()));
  std::vector<std::uint8_t> out = header.body_;
  out.insert(out.end(), body_.begin(), body_.end());
  return out;
}

Chunk VertexList(const std::vector<Vertex>& vertices) {
  Chunk list(kVertices);
  list.U16(static_cast<std::uint16_t>(vertices.size()));
  for (const Vertex& v : vertices) list.F32(v[0]).F32(v[1]).F32(v[2]);
  return list;
}

Chunk FaceList(const std::vector<Face>& faces) {
  Chunk list(kFaces);
  list.U16(static_cast<std::uint16_t>(faces.size()));
  for (const Face& f : faces) list.U16(f[0]).U16(f[1]).U16(f[2]).U16(0x0007);
  return list;
}

Chunk MeshObject(const Mesh& mesh) {
  return Chunk(kObject).Name(mesh.name).Add(Chunk(kTriMesh).Add(VertexList(mesh.vertices)).Add(FaceList(mesh.faces)));
}

Chunk File(const std::vector<Chunk>& editor) {
  Chunk body(kEditor);
  body.Add(Chunk(kMeshVersion).U32(3));
  for (const Chunk& chunk : editor) body.Add(chunk);
  return Chunk(kMain).Add(Chunk(kVersion).U32(3)).Add(body);
}

std::vector<std::uint8_t> FileOf(const std::vector<Mesh>& meshes) {
  std::vector<Chunk> objects;
  for (const Mesh& mesh : meshes) objects.push_back(MeshObject(mesh));
  return File(objects).Bytes();
}

bool Save(const std::string& native_path, const std::vector<std::uint8_t>& bytes) {
  std::FILE* file = std::fopen(native_path.c_str(), "wb");
  if (!file) return false;
  const bool written = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return std::fclose(file) == 0 && written;
}

}  // namespace three_ds
