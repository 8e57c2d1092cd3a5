#include "mesh_builder.h"

#include <cstring>
#include <new>
#include <type_traits>

namespace ombra {
namespace {

#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
constexpr bool kLittleEndianHost = false;
#else
constexpr bool kLittleEndianHost = true;
#endif

std::uint16_t U16(const unsigned char* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }

// Only big-endian hosts decode vertices one by one.
[[maybe_unused]] float F32(const unsigned char* p) {
  const std::uint32_t bits = static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
                             static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
  float value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

void CopyVertices(const unsigned char* in, std::uint32_t count, ON_3fPoint* out) {
  // The file's vertex list already is an array of ON_3fPoint on this host.
  if constexpr (kLittleEndianHost && sizeof(ON_3fPoint) == 3 * sizeof(float) &&
                std::is_trivially_copyable_v<ON_3fPoint>) {
    if (count) std::memcpy(static_cast<void*>(out), in, std::size_t{count} * sizeof(ON_3fPoint));
  } else {
    for (std::uint32_t i = 0; i < count; ++i, in += 12) {
      out[i].x = F32(in);
      out[i].y = F32(in + 4);
      out[i].z = F32(in + 8);
    }
  }
}

}  // namespace

void BuildMesh(const MeshSource& source, ON_Mesh& mesh) {
  const int vertex_count = static_cast<int>(source.vertex_count);
  // Explicit size requests report a failed allocation by returning false.
  if (!mesh.m_V.SetCount(vertex_count)) throw std::bad_alloc();
  CopyVertices(source.vertices, source.vertex_count, mesh.m_V.Array());

  const int face_count = static_cast<int>(source.face_count);
  if (!mesh.m_F.SetCount(face_count)) throw std::bad_alloc();
  ON_MeshFace* face = mesh.m_F.Array();
  const unsigned char* in = source.faces;
  for (int i = 0; i < face_count; ++i, in += 8) {
    // A triangle repeats its last vertex; the flags (edge visibility) are not kept.
    face[i].vi[0] = U16(in);
    face[i].vi[1] = U16(in + 2);
    face[i].vi[2] = face[i].vi[3] = U16(in + 4);
  }
}

}  // namespace ombra
