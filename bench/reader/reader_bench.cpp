// Reading one generated 3DS file of 1,228,800 triangles in 24 objects (the
// most vertices an object may hold is 65,535) with our reader, lib3ds and
// assimp.
//
// Counters: MB/s of file read (bytes_per_second), and the peak memory growth
// of one read in a forked child (VmHWM after the read less VmRSS before it),
// in MB and as a multiple of the size of the meshes our reader returns
// (12 bytes a vertex, 16 a face).
#include <benchmark/benchmark.h>

#include "Ombra3DS.h"
#include "stand_in/paths.h"
#include "three_ds_writer.h"

#if TESSALY_HAVE_LIB3DS
#include <lib3ds/file.h>
#include <lib3ds/mesh.h>
#endif
#if TESSALY_HAVE_ASSIMP
#include <assimp/Importer.hpp>
#include <assimp/scene.h>
#endif

#include <malloc.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <string>

namespace {

constexpr int kObjects = 24;
constexpr int kGrid = 160;  // quads a side: (161 x 161) vertices, 2 x 160 x 160 triangles an object

// A wavy grid, so that no two vertices are alike.
three_ds::Mesh Grid(int object) {
  three_ds::Mesh mesh{"Grid" + std::to_string(object), {}, {}};
  const int side = kGrid + 1;
  for (int y = 0; y < side; ++y)
    for (int x = 0; x < side; ++x)
      mesh.vertices.push_back({x * 0.5f + object * 100.0f, y * 0.5f, 0.01f * float((x * 7 + y * 13) % 17)});
  for (int y = 0; y < kGrid; ++y)
    for (int x = 0; x < kGrid; ++x) {
      const auto v = static_cast<std::uint16_t>(y * side + x);
      mesh.faces.push_back({v, static_cast<std::uint16_t>(v + 1), static_cast<std::uint16_t>(v + side + 1)});
      mesh.faces.push_back({v, static_cast<std::uint16_t>(v + side + 1), static_cast<std::uint16_t>(v + side)});
    }
  return mesh;
}

struct BenchFile {
  std::string path;
  double bytes = 0;
  long triangles = 0;
  double mesh_bytes = 0;  // what our reader returns

  BenchFile() {
    char pattern[] = "/tmp/ombra-bench-XXXXXX.3ds";
    const int fd = mkstemps(pattern, 4);
    if (fd < 0) std::abort();
    close(fd);
    path = pattern;
    std::vector<three_ds::Mesh> meshes;
    for (int i = 0; i < kObjects; ++i) meshes.push_back(Grid(i));
    for (const three_ds::Mesh& m : meshes) {
      triangles += static_cast<long>(m.faces.size());
      mesh_bytes += 12.0 * m.vertices.size() + 16.0 * m.faces.size();
    }
    const std::vector<std::uint8_t> data = three_ds::FileOf(meshes);
    bytes = static_cast<double>(data.size());
    if (!three_ds::Save(path, data)) std::abort();
  }
  ~BenchFile() { std::remove(path.c_str()); }
};

const BenchFile& File() {
  static const BenchFile file;
  return file;
}

// Each reader returns its triangle count, or -1 when it fails.
long ReadOmbra(const std::string& path) {
  ON_ClassArray<ON_Mesh> meshes;
  if (!Ombra3DS::_3DSToMesh(CString(stand_in::WindowsPath(path)), meshes)) return -1;
  long triangles = 0;
  for (int i = 0; i < meshes.Count(); ++i) triangles += meshes[i].m_F.Count();
  return triangles;
}

#if TESSALY_HAVE_LIB3DS
long ReadLib3ds(const std::string& path) {
  Lib3dsFile* file = lib3ds_file_load(path.c_str());
  if (!file) return -1;
  long triangles = 0;
  for (Lib3dsMesh* mesh = file->meshes; mesh; mesh = mesh->next) triangles += static_cast<long>(mesh->faces);
  lib3ds_file_free(file);
  return triangles;
}
#endif

#if TESSALY_HAVE_ASSIMP
long ReadAssimp(const std::string& path) {
  Assimp::Importer importer;
  const aiScene* scene = importer.ReadFile(path, 0);
  if (!scene) return -1;
  long triangles = 0;
  for (unsigned i = 0; i < scene->mNumMeshes; ++i) triangles += scene->mMeshes[i]->mNumFaces;
  return triangles;
}
#endif

long StatusKB(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  const std::string key = std::string(field) + ":";
  while (std::getline(status, line))
    if (line.compare(0, key.size(), key) == 0) return std::atol(line.c_str() + key.size());
  return -1;
}

// The peak memory growth of one read, in bytes, measured in a child so that
// each reader starts from the same heap.
double PeakGrowth(long (*reader)(const std::string&), const std::string& path) {
  int pipe_fds[2];
  if (pipe(pipe_fds) != 0) return -1;
  const pid_t child = fork();
  if (child == 0) {
    close(pipe_fds[0]);
    malloc_trim(0);
    // Resets VmHWM to the current RSS (Linux 4.0 and later).
    if (FILE* clear = std::fopen("/proc/self/clear_refs", "w")) {
      std::fputs("5", clear);
      std::fclose(clear);
    }
    const long before = StatusKB("VmRSS");
    const long triangles = reader(path);
    const long peak = StatusKB("VmHWM");
    const double growth = triangles < 0 ? -1.0 : 1024.0 * double(peak - before);
    if (write(pipe_fds[1], &growth, sizeof growth) != sizeof growth) _exit(1);
    _exit(0);
  }
  close(pipe_fds[1]);
  double growth = -1;
  if (read(pipe_fds[0], &growth, sizeof growth) != sizeof growth) growth = -1;
  close(pipe_fds[0]);
  int status = 0;
  waitpid(child, &status, 0);
  return growth;
}

void Run(benchmark::State& state, long (*reader)(const std::string&)) {
  const BenchFile& file = File();
  static std::map<long (*)(const std::string&), double> peaks;
  if (!peaks.count(reader)) peaks[reader] = PeakGrowth(reader, file.path);
  for (auto _ : state) {
    const long triangles = reader(file.path);
    if (triangles != file.triangles) {
      state.SkipWithError(("read " + std::to_string(triangles) + " triangles of " + std::to_string(file.triangles)).c_str());
      break;
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * file.bytes));
  state.counters["file_MB"] = file.bytes / 1e6;
  state.counters["triangles"] = double(file.triangles);
  state.counters["peak_MB"] = peaks[reader] / 1e6;
  state.counters["peak_per_mesh_size"] = peaks[reader] / file.mesh_bytes;
}

void BM_Ombra3DS(benchmark::State& state) { Run(state, ReadOmbra); }
BENCHMARK(BM_Ombra3DS)->Unit(benchmark::kMillisecond);
#if TESSALY_HAVE_LIB3DS
void BM_Lib3ds(benchmark::State& state) { Run(state, ReadLib3ds); }
BENCHMARK(BM_Lib3ds)->Unit(benchmark::kMillisecond);
#endif
#if TESSALY_HAVE_ASSIMP
void BM_Assimp(benchmark::State& state) { Run(state, ReadAssimp); }
BENCHMARK(BM_Assimp)->Unit(benchmark::kMillisecond);
#endif

}  // namespace

BENCHMARK_MAIN();
