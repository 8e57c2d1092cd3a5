// Feeds arbitrary bytes to the 3DS reader, in memory and through
// Ombra3DS::_3DSToMesh on a real file. Besides the sanitizers' checks, a read
// must keep its promises: all or nothing, every face inside its mesh, and the
// same answer from both entries.
#include "Ombra3DS.h"
#include "stand_in/paths.h"
#include "stand_in/three_ds.h"

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

void Require(bool condition) {
  if (!condition) __builtin_trap();
}

// The folder behind drive F:, made once per process in $TMPDIR and removed
// at exit (run.sh clears what a killed process leaves).
std::string g_folder;

void RemoveFolder() {
  std::remove((g_folder + "/fuzz.3ds").c_str());
  rmdir(g_folder.c_str());
}

const std::string& Folder() {
  if (g_folder.empty()) {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/three-ds-fuzz-XXXXXX";
    Require(mkdtemp(pattern.data()) != nullptr);
    g_folder = pattern;
    stand_in::SetDriveRoot(L'F', g_folder);
    std::atexit(RemoveFolder);
  }
  return g_folder;
}

void WriteFile(const std::uint8_t* data, std::size_t size) {
  std::FILE* file = std::fopen((Folder() + "/fuzz.3ds").c_str(), "wb");
  Require(file != nullptr);
  Require(size == 0 || std::fwrite(data, 1, size, file) == size);
  Require(std::fclose(file) == 0);
}

void CheckMeshes(const ON_ClassArray<ON_Mesh>& meshes) {
  for (int m = 1; m < meshes.Count(); ++m) {
    const ON_Mesh& mesh = meshes[m];
    Require(mesh.m_F.Count() > 0 && mesh.m_V.Count() <= 65535);
    for (int f = 0; f < mesh.m_F.Count(); ++f) {
      const int* vi = mesh.m_F[f].vi;
      Require(vi[2] == vi[3]);
      for (int k = 0; k < 3; ++k) Require(vi[k] >= 0 && vi[k] < mesh.m_V.Count());
    }
  }
}

bool SameMeshes(const ON_ClassArray<ON_Mesh>& a, const ON_ClassArray<ON_Mesh>& b) {
  if (a.Count() != b.Count()) return false;
  for (int m = 0; m < a.Count(); ++m) {
    const ON_Mesh& x = a[m];
    const ON_Mesh& y = b[m];
    if (x.m_V.Count() != y.m_V.Count() || x.m_F.Count() != y.m_F.Count()) return false;
    if (x.m_V.Count() > 0 && std::memcmp(x.m_V.Array(), y.m_V.Array(), sizeof(ON_3fPoint) * x.m_V.Count()) != 0)
      return false;
    for (int f = 0; f < x.m_F.Count(); ++f)
      if (std::memcmp(x.m_F[f].vi, y.m_F[f].vi, sizeof x.m_F[f].vi) != 0) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  ON_ClassArray<ON_Mesh> meshes;
  meshes.AppendNew().m_V.Append(ON_3fPoint(1, 2, 3));  // the caller's
  CString error;
  const int read = stand_in::Read3DS(data, size, L"F:\\fuzz.3ds", meshes, error);
  Require(meshes[0].m_V.Count() == 1 && meshes[0].m_F.Count() == 0);
  if (!read) {
    Require(meshes.Count() == 1);
    Require(error.Find(L"Cannot read the 3DS file \"F:\\fuzz.3ds\": ") == 0 && error.GetLength() > 40);
  } else {
    CheckMeshes(meshes);
  }

  WriteFile(data, size);
  ON_ClassArray<ON_Mesh> from_file;
  from_file.AppendNew().m_V.Append(ON_3fPoint(1, 2, 3));
  const int read_file = Ombra3DS::_3DSToMesh(L"F:\\fuzz.3ds", from_file);
  Require((read_file != 0) == (read != 0));
  Require(SameMeshes(meshes, from_file));
  Require(Ombra3DS::GetError() == (read ? CString() : error));
  return 0;
}
