// Feeds arbitrary bytes to the 3DS reader. Besides the sanitizers' checks, a
// read must keep its promises: all or nothing, and every face inside its mesh.
#include "stand_in/three_ds.h"

#include <cstddef>
#include <cstdint>

namespace {

void Require(bool condition) {
  if (!condition) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  ON_ClassArray<ON_Mesh> meshes;
  meshes.AppendNew().m_V.Append(ON_3fPoint(1, 2, 3));  // the caller's
  CString error;
  const int read = stand_in::Read3DS(data, size, L"fuzz.3ds", meshes, error);
  Require(meshes[0].m_V.Count() == 1 && meshes[0].m_F.Count() == 0);
  if (!read) {
    Require(meshes.Count() == 1);
    Require(error.Find(L"Cannot read the 3DS file \"fuzz.3ds\": ") == 0 && error.GetLength() > 40);
    return 0;
  }
  for (int m = 1; m < meshes.Count(); ++m) {
    const ON_Mesh& mesh = meshes[m];
    Require(mesh.m_F.Count() > 0 && mesh.m_V.Count() <= 65535);
    for (int f = 0; f < mesh.m_F.Count(); ++f) {
      const int* vi = mesh.m_F[f].vi;
      Require(vi[2] == vi[3]);
      for (int k = 0; k < 3; ++k) Require(vi[k] >= 0 && vi[k] < mesh.m_V.Count());
    }
  }
  return 0;
}
