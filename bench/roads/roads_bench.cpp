// Both mesh roads through the stand-in host, over generated grids of 10^4,
// 10^5 and 10^6 triangles, and the topology build alone. Counters: time per
// face, and the peak resident memory the run added (VmHWM, reset per run).

#include <benchmark/benchmark.h>

#include "VLMSWON.h"
#include "meshes.h"
#include "stand_in/host.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

namespace {

long ReadKb(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  const size_t n = std::strlen(field);
  while (std::getline(status, line))
    if (line.compare(0, n, field) == 0) return std::stol(line.substr(n + 1));
  return 0;
}

void ResetPeak() {
  if (FILE* f = std::fopen("/proc/self/clear_refs", "w")) {
    std::fputs("5", f);
    std::fclose(f);
  }
}

void Finish(benchmark::State& state, long baseKb, int64_t faces) {
  state.counters["faces"] = static_cast<double>(faces);
  state.counters["per_face"] = benchmark::Counter(static_cast<double>(faces) * state.iterations(),
                                                  benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.counters["peak_MB"] = static_cast<double>(ReadKb("VmHWM:") - baseKb) / 1024.0;
}

void Road(benchmark::State& state, int mode) {
  ON_ClassArray<ON_Mesh> meshes;
  meshes.Append(test_support::TriangleGrid(state.range(0)));
  const int64_t faces = meshes[0].m_F.Count();
  meshes[0].Topology();  // built by the caller's earlier work, not timed here
  ResetPeak();
  const long base = ReadKb("VmRSS:");
  for (auto _ : state) {
    stand_in::Host host;
    host.SetRecording(false);
    if (!VLMSWON::CreatePartFromMeshes(host.Application(), meshes, 0, mode, 1, 0)) state.SkipWithError("road failed");
  }
  Finish(state, base, faces);
}

void BM_SolidRoad(benchmark::State& state) { Road(state, 0); }
void BM_SketchRoad(benchmark::State& state) { Road(state, 1); }

void BM_TopologyBuild(benchmark::State& state) {
  const ON_Mesh grid = test_support::TriangleGrid(state.range(0));
  ResetPeak();
  const long base = ReadKb("VmRSS:");
  ON_Mesh mesh(grid);
  for (auto _ : state) {
    state.PauseTiming();
    mesh.DestroyTopology();
    state.ResumeTiming();
    benchmark::DoNotOptimize(mesh.Topology().TopEdgeCount());
  }
  Finish(state, base, grid.m_F.Count());
}

}  // namespace

BENCHMARK(BM_SolidRoad)->RangeMultiplier(10)->Range(10000, 1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SketchRoad)->RangeMultiplier(10)->Range(10000, 1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TopologyBuild)->RangeMultiplier(10)->Range(10000, 1000000)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
