#include "chunk_tree.h"

#include "chunk_ids.h"

#include <algorithm>
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

// The characters 0x80-0x9F of Windows-1252; 0 where it has none.
constexpr char32_t kCp1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

// The code point of the UTF-8 sequence at text[at, length), or -1 when none
// starts there (overlong forms and surrogates are none); `at` moves past it.
long NextUtf8(const unsigned char* text, std::size_t length, std::size_t& at) {
  const unsigned char lead = text[at];
  if (lead < 0x80) return text[at++];
  std::size_t extra;
  char32_t c, min;
  if (lead >= 0xC2 && lead <= 0xDF) extra = 1, c = lead & 0x1F, min = 0x80;
  else if (lead >= 0xE0 && lead <= 0xEF) extra = 2, c = lead & 0x0F, min = 0x800;
  else if (lead >= 0xF0 && lead <= 0xF4) extra = 3, c = lead & 0x07, min = 0x10000;
  else return -1;
  if (length - at <= extra) return -1;
  for (std::size_t k = 1; k <= extra; ++k) {
    if ((text[at + k] & 0xC0) != 0x80) return -1;
    c = c << 6 | (text[at + k] & 0x3F);
  }
  if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return -1;
  at += extra + 1;
  return static_cast<long>(c);
}

bool IsUtf8(const unsigned char* text, std::size_t length) {
  for (std::size_t at = 0; at < length;)
    if (NextUtf8(text, length, at) < 0) return false;
  return true;
}

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | c >> 6);
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | c >> 12);
    out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | c >> 18);
    out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
    out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// Object names go into error texts: keep them printable and short. A name is
// UTF-8 when it is valid UTF-8, else Windows-1252 as older exporters wrote it.
std::string Printable(const unsigned char* name, std::size_t length) {
  constexpr std::size_t kShown = 40;  // characters
  const bool utf8 = IsUtf8(name, length);
  std::string out = "\"";
  std::size_t at = 0, shown = 0;
  for (; at < length && shown < kShown; ++shown) {
    char32_t c;
    if (utf8) {
      c = static_cast<char32_t>(NextUtf8(name, length, at));
    } else {
      c = name[at++];
      if (c >= 0x80 && c < 0xA0) c = kCp1252High[c - 0x80] ? kCp1252High[c - 0x80] : U'?';
    }
    const bool control = c < 0x20 || (c >= 0x7F && c < 0xA0);
    AppendUtf8(out, control ? U'?' : c);
  }
  if (at < length) out += "...";
  return out + "\"";
}

void CheckLength(const Chunk& chunk) {
  if (chunk.end - chunk.offset < kChunkHeaderSize)
    throw FormatError(Describe(chunk) + " has the length " + Num(chunk.end - chunk.offset) + ", less than its " +
                      Num(kChunkHeaderSize) + "-byte header");
}

class TreeReader {
 public:
  TreeReader(const unsigned char* data, std::size_t size) : data_(data), size_(size) {}

  std::vector<MeshSource> Read() {
    // Bytes after the main chunk are ignored.
    const Chunk main{kChunkMain, 0, MainChunkEnd(data_, size_, size_)};
    ForEachChild(main, kChunkHeaderSize, [this](const Chunk& child) {
      if (child.id == kChunkEditor) ReadEditor(child);
    });
    return std::move(meshes_);
  }

 private:

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
    Chunk vertex_list{}, face_list{};
    ForEachChild(mesh, mesh.offset + kChunkHeaderSize, [&](const Chunk& child) {
      if (child.id == kChunkVertices) {
        if (have_vertices)
          throw FormatError(label + ": its mesh " + Describe(mesh) + " has a second vertex list, " + Describe(child));
        have_vertices = true;
        vertex_list = child;
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
    CheckCoordinates(source, vertex_list, label);
    meshes_.push_back(source);
  }

  // A coordinate that is NaN or infinite is damage: the host could make no
  // face of it. Only the meshes that are read are looked at.
  void CheckCoordinates(const MeshSource& source, const Chunk& list, const std::string& label) const {
    // All exponent bits set carries into the top bit: one branch-free pass
    // tells whether any coordinate is such, the second says which.
    std::uint32_t carry = 0;
    const std::size_t words = std::size_t{source.vertex_count} * 3;
    for (std::size_t w = 0; w < words; ++w) carry |= (U32(source.vertices + 4 * w) & 0x7F800000u) + 0x00800000u;
    if (!(carry & 0x80000000u)) return;
    const unsigned char* at = source.vertices;
    for (std::uint32_t i = 0; i < source.vertex_count; ++i) {
      for (int k = 0; k < 3; ++k, at += 4) {
        // All exponent bits set: an infinity, or NaN when a fraction bit is.
        const std::uint32_t bits = U32(at);
        if ((bits & 0x7F800000u) != 0x7F800000u) continue;
        const char* value = (bits & 0x007FFFFFu) ? "NaN" : (bits >> 31) ? "-infinity" : "infinity";
        throw FormatError(label + ": vertex " + Num(i) + " of the vertex list " + Describe(list) + " has the " +
                          "xyz"[k] + " coordinate " + value + " at offset " + Num(at - data_) +
                          ", not a finite number");
      }
    }
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

std::uint64_t MainChunkEnd(const unsigned char* head, std::size_t head_size, std::uint64_t file_size) {
  if (file_size == 0) throw FormatError("the file is empty");
  if (head_size >= 2 && U16(head) != kChunkMain)
    throw FormatError("it is not a 3DS file: it begins with " + Hex(U16(head)) + ", not with the main chunk " +
                      Hex(kChunkMain));
  if (head_size == 1 && head[0] != (kChunkMain & 0xFF))
    throw FormatError("it is not a 3DS file: it does not begin with the main chunk " + Hex(kChunkMain));
  if (head_size < kChunkHeaderSize || file_size < kChunkHeaderSize)
    throw FormatError("the file is truncated: it ends at byte " + Num(std::min<std::uint64_t>(head_size, file_size)) +
                      ", inside the header of the main chunk " + Hex(kChunkMain) + " at offset 0");
  const Chunk main{kChunkMain, 0, U32(head + 2)};
  CheckLength(main);
  if (main.end > file_size)
    throw FormatError("the file is truncated: the main chunk " + Hex(kChunkMain) + " at offset 0 claims " +
                      Num(main.end) + " bytes, but the file has only " + Num(file_size));
  return main.end;
}

std::vector<MeshSource> ReadChunkTree(const unsigned char* data, std::size_t size) {
  return TreeReader(data, size).Read();
}

}  // namespace ombra
