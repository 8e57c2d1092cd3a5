#include "chunk_tree.h"

#include "chunk_ids.h"

#include <cstdio>

namespace ombra {
namespace {

std::uint16_t U16(const unsigned char* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }

std::uint32_t U32(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

std::string Hex(std::uint16_t id) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%04X", id);
  return text;
}

std::string Num(std::uint64_t n) { return std::to_string(n); }

struct Chunk {
  std::uint16_t id;
  std::uint64_t offset;  // of its header
  std::uint64_t end;     // one past its last byte
};

std::string Describe(const Chunk& chunk) { return "chunk " + Hex(chunk.id) + " at offset " + Num(chunk.offset); }

// Object names go into error texts: keep them printable and short.
std::string Printable(const unsigned char* name, std::size_t length) {
  constexpr std::size_t kShown = 40;
  std::string out = "\"";
  for (std::size_t i = 0; i < length && i < kShown; ++i) {
    const unsigned char c = name[i];
    out += (c >= 0x20 && c < 0x7F) || c >= 0xA0 ? static_cast<char>(c) : '?';
  }
  if (length > kShown) out += "...";
  return out + "\"";
}

class TreeReader {
 public:
  TreeReader(const unsigned char* data, std::size_t size) : data_(data), size_(size) {}

  std::vector<MeshSource> Read() {
    if (size_ == 0) throw FormatError("the file is empty");
    if (size_ >= 2 && U16(data_) != kChunkMain)
      throw FormatError("it is not a 3DS file: it begins with " + Hex(U16(data_)) + ", not with the main chunk " +
                        Hex(kChunkMain));
    if (size_ == 1 && data_[0] != (kChunkMain & 0xFF))
      throw FormatError("it is not a 3DS file: it does not begin with the main chunk " + Hex(kChunkMain));
    if (size_ < kChunkHeaderSize)
      throw FormatError("the file is truncated: it ends at byte " + Num(size_) + ", inside the header of the main chunk " +
                        Hex(kChunkMain) + " at offset 0");
    const Chunk main{kChunkMain, 0, U32(data_ + 2)};
    CheckLength(main);
    // Bytes after the main chunk are ignored.
    if (main.end > size_)
      throw FormatError("the file is truncated: the main chunk " + Hex(kChunkMain) + " at offset 0 claims " +
                        Num(main.end) + " bytes, but the file has only " + Num(size_));
    ForEachChild(main, kChunkHeaderSize, [this](const Chunk& child) {
      if (child.id == kChunkEditor) ReadEditor(child);
    });
    return std::move(meshes_);
  }

 private:
  void CheckLength(const Chunk& chunk) const {
    if (chunk.end - chunk.offset < kChunkHeaderSize)
      throw FormatError(Describe(chunk) + " has the length " + Num(chunk.end - chunk.offset) + ", less than its " +
                        Num(kChunkHeaderSize) + "-byte header");
  }

  // Walks the chunks that fill parent from `begin` to its end. Each is checked
  // to lie inside its parent before `visit` sees it; a chunk's length is at
  // least its header, so the walk always moves on.
  template <class Visit>
  void ForEachChild(const Chunk& parent, std::uint64_t begin, Visit&& visit) const {
    std::uint64_t at = begin;
    while (at < parent.end) {
      const std::uint64_t left = parent.end - at;
      if (left < kChunkHeaderSize)
        throw FormatError(Num(left) + " stray byte" + (left == 1 ? "" : "s") + " at offset " + Num(at) +
                          " at the end of " + Describe(parent) + ", too few for a chunk header");
      const Chunk child{U16(data_ + at), at, at + U32(data_ + at + 2)};
      CheckLength(child);
      if (child.end - at > left)
        throw FormatError(Describe(child) + " claims " + Num(child.end - at) +
                          " bytes, which runs past the end of its parent " + Describe(parent) + " at byte " +
                          Num(parent.end));
      visit(child);
      at = child.end;
    }
  }

  void ReadEditor(const Chunk& editor) {
    ForEachChild(editor, editor.offset + kChunkHeaderSize, [this](const Chunk& child) {
      if (child.id == kChunkObject) ReadObject(child);
    });
  }

  void ReadObject(const Chunk& object) {
    const std::uint64_t name = object.offset + kChunkHeaderSize;
    std::uint64_t zero = name;
    while (zero < object.end && data_[zero] != 0) ++zero;
    if (zero == object.end)
      throw FormatError("the name of the object " + Describe(object) + " has no terminating zero inside the chunk");
    const std::string label = "object " + Printable(data_ + name, zero - name);
    ForEachChild(object, zero + 1, [&](const Chunk& child) {
      if (child.id == kChunkTriMesh) ReadTriMesh(child, label);
    });
  }

  // The body of a list chunk starts with a uint16 count of `item_size`-byte
  // items; returns the count after checking that they fit the chunk.
  std::uint32_t ListCount(const Chunk& list, std::uint32_t item_size, const char* items,
                          const std::string& label) const {
    const std::uint64_t body = list.end - list.offset - kChunkHeaderSize;
    if (body < 2) throw FormatError(label + ": " + Describe(list) + " is too short to hold its count of " + items);
    const std::uint32_t count = U16(data_ + list.offset + kChunkHeaderSize);
    const std::uint64_t need = 2 + std::uint64_t{item_size} * count;
    if (need > body)
      throw FormatError(label + ": " + Describe(list) + " gives " + Num(count) + " " + items + ", which need " + Num(need) +
                        " bytes, but the chunk holds only " + Num(body));
    return count;
  }

  void ReadTriMesh(const Chunk& mesh, const std::string& label) {
    MeshSource source;
    bool have_vertices = false, have_faces = false;
    Chunk face_list{};
    ForEachChild(mesh, mesh.offset + kChunkHeaderSize, [&](const Chunk& child) {
      if (child.id == kChunkVertices) {
        if (have_vertices)
          throw FormatError(label + ": its mesh " + Describe(mesh) + " has a second vertex list, " + Describe(child));
        have_vertices = true;
        source.vertex_count = ListCount(child, kVertexSize, "vertices", label);
        source.vertices = data_ + child.offset + kChunkHeaderSize + 2;
      } else if (child.id == kChunkFaces) {
        if (have_faces)
          throw FormatError(label + ": its mesh " + Describe(mesh) + " has a second face list, " + Describe(child));
        have_faces = true;
        face_list = child;
        source.face_count = ListCount(child, kFaceSize, "faces", label);
        source.faces = data_ + child.offset + kChunkHeaderSize + 2;
        // Face materials, smoothing groups and the like follow the faces.
        ForEachChild(child, child.offset + kChunkHeaderSize + 2 + std::uint64_t{kFaceSize} * source.face_count,
                     [](const Chunk&) {});
      }
    });
    if (source.face_count == 0) return;
    CheckIndices(source, face_list, label, have_vertices);
    meshes_.push_back(source);
  }

  static void CheckIndices(const MeshSource& source, const Chunk& faces, const std::string& label,
                           bool have_vertices) {
    const std::uint32_t limit = source.vertex_count;
    const unsigned char* face = source.faces;
    for (std::uint32_t i = 0; i < source.face_count; ++i, face += kFaceSize) {
      const std::uint16_t a = U16(face), b = U16(face + 2), c = U16(face + 4);
      if (a < limit && b < limit && c < limit) continue;
      const std::uint16_t bad = a >= limit ? a : b >= limit ? b : c;
      throw FormatError(label + ": face " + Num(i) + " of the face list " + Describe(faces) + " names vertex " +
                        Num(bad) +
                        (have_vertices ? ", but the mesh has only " + Num(limit) + " vertices"
                                       : ", but the mesh has no vertex list"));
    }
  }

  const unsigned char* data_;
  std::size_t size_;
  std::vector<MeshSource> meshes_;
};

}  // namespace

std::vector<MeshSource> ReadChunkTree(const unsigned char* data, std::size_t size) {
  return TreeReader(data, size).Read();
}

}  // namespace ombra
