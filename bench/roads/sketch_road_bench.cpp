// The sketch road through the stand-in host, recording off: curve lists of
// 10^3 to 10^5 mixed curves (lines, arcs, polylines, cubic splines) and the
// iso-curves of bicubic surfaces of 10x10 to 300x300 control points.
// Counters: time per curve (and per control point of a curve, for the
// surfaces), and the peak heap memory of one run.

#include <benchmark/benchmark.h>

#include <atlbase.h>

#include <cmath>

#include "VLMSWON.h"
#include "alloc_limit.h"
#include "stand_in/host.h"

namespace {

ON_NurbsCurve Clamped(int order, const ON_3dPoint* points, int count) {
  ON_NurbsCurve c;
  c.CreateClampedUniformNurbs(3, order, count, points);
  return c;
}

// Curve i of a mixed list: a line, an arc of the XY plane, a polyline of
// four segments or a cubic of six control points, in turn, each moved a
// little so that no two coincide.
ON_NurbsCurve MixedCurve(int i) {
  const double d = 0.001 * i;
  switch (i % 4) {
    case 0: {
      const ON_3dPoint p[2] = {{d, 0, 0}, {d + 1, 2, 3}};
      return Clamped(2, p, 2);
    }
    case 1: {
      ON_NurbsCurve c;
      ON_Arc(ON_Circle(ON_3dPoint(d, 1, 0), 2.0), 1.5).GetNurbForm(c);
      return c;
    }
    case 2: {
      const ON_3dPoint p[5] = {{d, 0, 0}, {d + 1, 0, 0}, {d + 1, 1, 0}, {d, 1, 1}, {d, 2, 1}};
      return Clamped(2, p, 5);
    }
    default: {
      const ON_3dPoint p[6] = {{d, 0, 0}, {d + 1, 2, 0}, {d + 3, 2, 1}, {d + 4, 0, 1}, {d + 6, 1, 2}, {d + 7, 3, 2}};
      return Clamped(4, p, 6);
    }
  }
}

// A bicubic surface of n x n control points over [0, 1] x [0, 1], a gentle
// wave, so that its iso-curves are cubic splines.
ON_NurbsSurface Wave(int n) {
  ON_NurbsSurface s(3, false, 4, 4, n, n);
  s.MakeClampedUniformKnotVector(0, 1.0 / (n - 3));
  s.MakeClampedUniformKnotVector(1, 1.0 / (n - 3));
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j) {
      const double x = static_cast<double>(i) / (n - 1), y = static_cast<double>(j) / (n - 1);
      s.SetCV(i, j, ON_3dPoint(x, y, 0.1 * std::sin(6 * x) * std::cos(5 * y)));
    }
  return s;
}

// A host with a part whose 3D sketch is open, made and ended outside the
// timed part.
struct Sketch {
  Sketch() {
    host.SetRecording(false);
    host.Application()->NewPartDocument(&part);
    part.QueryInterface(&doc);
    doc->Toggle3DSketch(0);
  }
  stand_in::Host host;
  CComPtr<IHostPartDocument> part;
  CComPtr<IHostDocument> doc;
};

// `curves` 0: as many as the host holds entities after a run.
template <class Draw>
void Measure(benchmark::State& state, double curves, double perCurve, Draw draw) {
  for (auto _ : state) {
    state.PauseTiming();
    auto* sketch = new Sketch;
    state.ResumeTiming();
    if (draw(sketch->doc.p) != 1) state.SkipWithError("the road failed");
    state.PauseTiming();
    delete sketch;
    state.ResumeTiming();
  }
  size_t peak;
  {
    Sketch sketch;
    test_support::AllocationLimit count;
    draw(sketch.doc.p);
    count.End();
    peak = count.PeakBytes();
    const stand_in::Sketch& s = sketch.host.Documents()[0].sketches[0];
    if (curves == 0) curves = static_cast<double>(s.lines.size() + s.arcs.size() + s.splines.size());
  }
  state.counters["curves"] = curves;
  state.counters["per_curve"] =
      benchmark::Counter(curves * state.iterations(), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  if (perCurve > 0)
    state.counters["per_cv"] = benchmark::Counter(curves * perCurve * state.iterations(),
                                                  benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.counters["peak_MB"] = static_cast<double>(peak) / (1024.0 * 1024.0);
}

void BM_SketchCurves(benchmark::State& state) {
  ON_ClassArray<ON_NurbsCurve> curves;
  for (int i = 0; i < state.range(0); ++i) curves.Append(MixedCurve(i));
  Measure(state, curves.Count(), 0,
          [&](IHostDocument* doc) { return VLMSWON::CreateSketchCurves(doc, curves, 0.001, 0); });
}

void BM_SurfaceCurves(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const ON_NurbsSurface surface = Wave(n);
  Measure(state, 0, n,
          [&](IHostDocument* doc) { return VLMSWON::CreateSurfaceCurves(doc, surface, 0.001, 0); });
}

}  // namespace

BENCHMARK(BM_SketchCurves)->RangeMultiplier(10)->Range(1000, 100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SurfaceCurves)->Arg(10)->Arg(30)->Arg(100)->Arg(300)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
