// Reading one generated 3DS file of 1,228,800 triangles in 24 objects (the
// most vertices an object may hold is 65,535) with our reader, lib3ds and
// assimp, beside the floor: reading the file into memory and filling arrays
// of the size of the meshes our reader returns (12 bytes a vertex, 16 a face).
//
// Every reader gets the same treatment: one untimed read, then the same
// number of timed warm reads in this process; and one cold read in a fresh
// process (this program run again with --cold READER FILE), which reports
// its time and its peak memory growth (VmHWM after the read less VmRSS
// before it). The summary gives each as a multiple of the floor's.
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

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

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

std::vector<three_ds::Mesh> Meshes() {
  std::vector<three_ds::Mesh> meshes;
  for (int i = 0; i < kObjects; ++i) meshes.push_back(Grid(i));
  return meshes;
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
    const std::vector<three_ds::Mesh> meshes = Meshes();
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

// The least any reader must do: the file's bytes into memory, and arrays of
// the meshes' size filled (vertices copied from the file, faces written).
long ReadFloor(const std::string& path) {
  // The sizes of Grid's meshes, without building them.
  const std::vector<std::pair<int, int>> sizes(kObjects, {(kGrid + 1) * (kGrid + 1), 2 * kGrid * kGrid});
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return -1;
  std::fseek(file, 0, SEEK_END);
  const long size = std::ftell(file);
  std::fseek(file, 0, SEEK_SET);
  std::unique_ptr<unsigned char[]> data(new unsigned char[static_cast<std::size_t>(size)]);
  const bool read = std::fread(data.get(), 1, static_cast<std::size_t>(size), file) == static_cast<std::size_t>(size);
  std::fclose(file);
  if (!read) return -1;
  // Held until all are filled, as a reader's meshes are.
  std::vector<std::unique_ptr<float[]>> vertex_arrays;
  std::vector<std::unique_ptr<int[]>> face_arrays;
  long triangles = 0;
  std::size_t at = 0;
  for (const auto& [vertices, faces] : sizes) {
    const std::size_t vertex_bytes = 12 * static_cast<std::size_t>(vertices);
    vertex_arrays.emplace_back(new float[3 * static_cast<std::size_t>(vertices)]);
    face_arrays.emplace_back(new int[4 * static_cast<std::size_t>(faces)]);
    if (at + vertex_bytes > static_cast<std::size_t>(size)) at = 0;
    std::memcpy(vertex_arrays.back().get(), data.get() + at, vertex_bytes);
    at += vertex_bytes;
    int* f = face_arrays.back().get();
    for (int i = 0; i < 4 * faces; ++i) f[i] = i & 0xFFFF;
    benchmark::DoNotOptimize(vertex_arrays.back().get());
    benchmark::DoNotOptimize(f);
    triangles += faces;
  }
  return triangles;
}
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

using Reader = long (*)(const std::string&);

struct Entry {
  const char* name;
  Reader read;
};

const std::vector<Entry>& Readers() {
  static const std::vector<Entry> readers = {
      {"floor", ReadFloor},
      {"Ombra3DS", ReadOmbra},
#if TESSALY_HAVE_LIB3DS
      {"lib3ds", ReadLib3ds},
#endif
#if TESSALY_HAVE_ASSIMP
      {"assimp", ReadAssimp},
#endif
  };
  return readers;
}

constexpr int kWarmReads = 5;

struct Figures {
  double warm_ms = -1;
  double cold_ms = -1;
  double peak_mb = -1;
};

std::map<std::string, Figures>& Results() {
  static std::map<std::string, Figures> results;
  return results;
}

// The cold read, in the fresh process: prints "ms peak_bytes triangles".
int ColdRead(const std::string& name, const std::string& path) {
  for (const Entry& entry : Readers()) {
    if (name != entry.name) continue;
    const long before = StatusKB("VmRSS");
    const auto start = std::chrono::steady_clock::now();
    const long triangles = entry.read(path);
    const auto stop = std::chrono::steady_clock::now();
    const long peak = StatusKB("VmHWM");
    std::printf("%.3f %.0f %ld\n", std::chrono::duration<double, std::milli>(stop - start).count(),
                1024.0 * double(peak - before), triangles);
    return triangles < 0 ? 1 : 0;
  }
  std::fprintf(stderr, "no reader named %s\n", name.c_str());
  return 2;
}

// Runs this program again for one cold read; false when that fails.
bool ColdRun(const char* self, const Entry& entry, const BenchFile& file, Figures& figures) {
  int pipe_fds[2];
  if (pipe(pipe_fds) != 0) return false;
  const pid_t child = fork();
  if (child == 0) {
    dup2(pipe_fds[1], STDOUT_FILENO);
    close(pipe_fds[0]);
    close(pipe_fds[1]);
    execl(self, self, "--cold", entry.name, file.path.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  close(pipe_fds[1]);
  char text[128] = {};
  std::size_t got = 0;
  for (ssize_t n; got < sizeof text - 1 && (n = read(pipe_fds[0], text + got, sizeof text - 1 - got)) > 0;)
    got += static_cast<std::size_t>(n);
  close(pipe_fds[0]);
  int status = 0;
  waitpid(child, &status, 0);
  double ms = 0, peak = 0;
  long triangles = 0;
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || std::sscanf(text, "%lf %lf %ld", &ms, &peak, &triangles) != 3 ||
      triangles != file.triangles)
    return false;
  figures.cold_ms = ms;
  figures.peak_mb = peak / 1e6;
  return true;
}

void Run(benchmark::State& state, const Entry& entry) {
  const BenchFile& file = File();
  if (entry.read(file.path) != file.triangles) {  // untimed, as for every reader
    state.SkipWithError("the untimed first read failed");
    return;
  }
  for (auto _ : state) {
    const long triangles = entry.read(file.path);
    if (triangles != file.triangles) {
      state.SkipWithError(("read " + std::to_string(triangles) + " triangles of " + std::to_string(file.triangles)).c_str());
      break;
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * file.bytes));
  state.counters["file_MB"] = file.bytes / 1e6;
  state.counters["triangles"] = double(file.triangles);
}

// Keeps each run's time per read for the summary.
class Recorder : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs)
      if (!run.error_occurred && run.iterations > 0)
        Results()[run.run_name.function_name.substr(3)].warm_ms =
            1e3 * run.real_accumulated_time / static_cast<double>(run.iterations);
    ConsoleReporter::ReportRuns(runs);
  }
};

std::string Multiple(double value, double floor) {
  if (value < 0 || floor <= 0) return "-";
  char text[32];
  std::snprintf(text, sizeof text, "%.1fx", value / floor);
  return text;
}

void PrintSummary(const BenchFile& file) {
  const Figures floor = Results()["floor"];
  std::printf("\n%.1f MB file, %ld triangles; %d warm reads each after one untimed read; one cold read each in a "
              "fresh process.\n",
              file.bytes / 1e6, file.triangles, kWarmReads);
  std::printf("%-10s %10s %8s %10s %8s %10s %8s\n", "reader", "warm ms", "x floor", "cold ms", "x floor", "peak MB",
              "x floor");
  for (const Entry& entry : Readers()) {
    const Figures f = Results()[entry.name];
    std::printf("%-10s %10.1f %8s %10.1f %8s %10.1f %8s\n", entry.name, f.warm_ms,
                Multiple(f.warm_ms, floor.warm_ms).c_str(), f.cold_ms, Multiple(f.cold_ms, floor.cold_ms).c_str(),
                f.peak_mb, Multiple(f.peak_mb, floor.peak_mb).c_str());
  }
  std::printf("Cold figures are dominated by the memory a read touches: on this machine the first touch of a fresh "
              "page costs about 10 to 20 us (4 KB), so every 100 MB touched adds 0.25 to 0.5 s. The file itself is in "
              "the page cache for every read, and a single cold read varies from run to run with the machine's "
              "load. Peak MB: the growth of the cold process's peak resident memory during the read.\n");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "--cold") == 0) return ColdRead(argv[2], argv[3]);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  for (const Entry& entry : Readers())
    benchmark::RegisterBenchmark((std::string("BM_") + entry.name).c_str(), Run, entry)
        ->Iterations(kWarmReads)
        ->Unit(benchmark::kMillisecond);
  const BenchFile& file = File();
  for (const Entry& entry : Readers())
    if (!ColdRun("/proc/self/exe", entry, file, Results()[entry.name]))
      std::fprintf(stderr, "the cold read of %s failed\n", entry.name);
  Recorder recorder;
  benchmark::RunSpecifiedBenchmarks(&recorder);
  PrintSummary(file);
  benchmark::Shutdown();
  return 0;
}
