// Both mesh roads through the stand-in host, over generated grids of 10^4,
// 10^5 and 10^6 triangles, the walk over the faces of the body the solid
// road made, the read-back of that body into a mesh, and the topology build
// alone; and a part from one surface of 4 x 4 to 256 x 256 control points
// boxed into a solid. Counters: time per face (per control point for the
// surfaces), and the peak heap memory of one run.

#include <benchmark/benchmark.h>

#include "VLMSWON.h"
#include "alloc_limit.h"
#include "meshes.h"
#include "stand_in/host.h"
#include "surfaces.h"

#include <cmath>

#include <vector>


namespace {

// Counters: faces, time per face, and the most heap memory the run itself
// had live at once, measured by the allocation hook over one more run after
// the timed ones (so that memory kept from an earlier, larger run does not
// hide it, as resident-set figures would).
void Finish(benchmark::State& state, int64_t faces, size_t peakBytes) {
  state.counters["faces"] = static_cast<double>(faces);
  state.counters["per_face"] = benchmark::Counter(static_cast<double>(faces) * state.iterations(),
                                                  benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.counters["peak_MB"] = static_cast<double>(peakBytes) / (1024.0 * 1024.0);
}

bool RunRoad(ON_ClassArray<ON_Mesh>& meshes, int mode) {
  stand_in::Host host;
  host.SetRecording(false);
  return VLMSWON::CreatePartFromMeshes(host.Application(), meshes, 0, mode, 1, 0) == 1;
}

void Road(benchmark::State& state, int mode) {
  ON_ClassArray<ON_Mesh> meshes;
  meshes.Append(test_support::TriangleGrid(state.range(0)));
  const int64_t faces = meshes[0].m_F.Count();
  meshes[0].Topology();  // built by the caller's earlier work, not timed here
  for (auto _ : state)
    if (!RunRoad(meshes, mode)) state.SkipWithError("road failed");
  test_support::AllocationLimit count;
  RunRoad(meshes, mode);
  count.End();
  Finish(state, faces, count.PeakBytes());
}

void BM_SolidRoad(benchmark::State& state) { Road(state, 0); }
void BM_SketchRoad(benchmark::State& state) { Road(state, 1); }

// The host's side of reading a body back: every face of the solid road's
// body walked as a reader walks it (next face before letting go of this
// one), its triangles copied out.
bool WalkFaces(IHostBody* body, std::vector<float>& data, int64_t* triangles) {
  IHostFace* face = nullptr;
  if (body->FirstFace(&face) != S_OK) return false;
  *triangles = 0;
  while (face) {
    LONG n = 0;
    if (face->TriangleCount(&n) != S_OK) break;
    data.resize(9 * static_cast<size_t>(n));
    if (face->TriangleData(0, data.data()) != S_OK) break;
    *triangles += n;
    IHostFace* next = nullptr;
    face->NextFace(&next);
    face->Release();
    face = next;
  }
  if (face) face->Release();
  return !face;
}

void BM_FaceWalk(benchmark::State& state) {
  ON_ClassArray<ON_Mesh> meshes;
  meshes.Append(test_support::TriangleGrid(state.range(0)));
  stand_in::Host host;
  host.SetRecording(false);
  if (!VLMSWON::CreatePartFromMeshes(host.Application(), meshes, 0, 0, 1, 0))
    return state.SkipWithError("road failed");
  IHostDocument* document = nullptr;
  IHostPartDocument* part = nullptr;
  IHostBodyEnumerator* bodies = nullptr;
  IHostBody* body = nullptr;
  host.Application()->ActiveModel(&document);
  if (document) document->QueryInterface(__uuidof(IHostPartDocument), reinterpret_cast<void**>(&part));
  if (part) part->BodyEnumerator(hostSheetBody, VARIANT_TRUE, &bodies);
  if (bodies) bodies->Next(1, &body, nullptr);
  std::vector<float> data;
  int64_t triangles = 0;
  bool ok = body != nullptr;
  for (auto _ : state)
    if (ok && !WalkFaces(body, data, &triangles)) ok = false;
  test_support::AllocationLimit count;
  if (ok) WalkFaces(body, data, &triangles);
  count.End();
  for (IUnknown* held : {static_cast<IUnknown*>(body), static_cast<IUnknown*>(bodies), static_cast<IUnknown*>(part),
                         static_cast<IUnknown*>(document)})
    if (held) held->Release();
  if (!ok || triangles != meshes[0].m_F.Count()) return state.SkipWithError("walk failed");
  Finish(state, triangles, count.PeakBytes());
}

// A bicubic patch of n x n control points over a square, gently waved,
// boxed down into a solid through CreatePartFromSurface (the host
// tessellates and sews its six faces). Counters: per control point.
bool RunBoxedSurface(const ON_NurbsSurface& surface, int flatBottom) {
  stand_in::Host host;
  host.SetRecording(false);
  return VLMSWON::CreatePartFromSurface(host.Application(), surface, 0, 0, 5.0, flatBottom, 0) == 1;
}

void BoxedSurface(benchmark::State& state, int flatBottom) {
  const int n = static_cast<int>(state.range(0));
  const ON_NurbsSurface surface = test_support::Patch(4, 4, n, n, [n](int i, int j) {
    return ON_3dPoint(i, j, 1.0 + 0.5 * std::sin(6.0 * i / n) * std::cos(6.0 * j / n));
  });
  for (auto _ : state)
    if (!RunBoxedSurface(surface, flatBottom)) state.SkipWithError("road failed");
  test_support::AllocationLimit count;
  RunBoxedSurface(surface, flatBottom);
  count.End();
  const double points = static_cast<double>(n) * n;
  state.counters["control_points"] = points;
  state.counters["per_point"] =
      benchmark::Counter(points * state.iterations(), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.counters["peak_MB"] = static_cast<double>(count.PeakBytes()) / (1024.0 * 1024.0);
}

void BM_BoxedSurface(benchmark::State& state) { BoxedSurface(state, 0); }
void BM_BoxedSurfaceFlat(benchmark::State& state) { BoxedSurface(state, 1); }

// The read-back road: the part the solid road made, read back whole as the
// bridge's document read does (faces' triangles appended one by one,
// identical vertices merged).
void BM_ReadBackRoad(benchmark::State& state) {
  ON_ClassArray<ON_Mesh> meshes;
  meshes.Append(test_support::TriangleGrid(state.range(0)));
  const int64_t faces = meshes[0].m_F.Count();
  stand_in::Host host;
  host.SetRecording(false);
  if (!VLMSWON::CreatePartFromMeshes(host.Application(), meshes, 2, 0, 1, 0)) return state.SkipWithError("road failed");
  IHostDocument* document = nullptr;
  host.Application()->ActiveModel(&document);
  if (!document) return state.SkipWithError("no document");
  ON_ClassArray<ON_Mesh> read;
  bool ok = true;
  for (auto _ : state)
    if (!VLMSWON::GetDocumentMeshes(document, read, nullptr) || read.Count() != 1 || read[0].m_F.Count() != faces)
      ok = false;
  read.Destroy();
  test_support::AllocationLimit count;
  VLMSWON::GetDocumentMeshes(document, read, nullptr);
  count.End();
  document->Release();
  if (!ok) return state.SkipWithError("read failed");
  Finish(state, faces, count.PeakBytes());
}

void BM_TopologyBuild(benchmark::State& state) {
  ON_Mesh mesh = test_support::TriangleGrid(state.range(0));
  for (auto _ : state) {
    state.PauseTiming();
    mesh.DestroyTopology();
    state.ResumeTiming();
    benchmark::DoNotOptimize(mesh.Topology().TopEdgeCount());
  }
  mesh.DestroyTopology();
  test_support::AllocationLimit count;
  mesh.Topology();
  count.End();
  Finish(state, mesh.m_F.Count(), count.PeakBytes());
}

}  // namespace

BENCHMARK(BM_SolidRoad)->RangeMultiplier(10)->Range(10000, 1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SketchRoad)->RangeMultiplier(10)->Range(10000, 1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FaceWalk)->RangeMultiplier(10)->Range(10000, 1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BoxedSurface)->RangeMultiplier(4)->Range(4, 256)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BoxedSurfaceFlat)->RangeMultiplier(4)->Range(4, 256)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadBackRoad)->RangeMultiplier(10)->Range(10000, 1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TopologyBuild)->RangeMultiplier(10)->Range(10000, 1000000)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
