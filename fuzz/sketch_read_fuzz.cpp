// Feeds the sketch readers (GetSketchLines, GetSketchArcs, GetSketchSplines,
// GetSketchPolylines and GetSketchCurves) a stand-in sketch whose counts,
// results and records come from the input (see sketch_read_input.h). The
// sketch keeps the interface's contract, writing exactly the room its count
// call promised; everything else is hostile: counts that disagree with the
// records, negative, huge or NaN counts inside records, records running past
// the size, failing calls. Besides the sanitizers' checks, each read keeps
// its promises: a data call only after a count that promised room; 0 or 1;
// out of memory from the sketch fails the read; a failed read leaves its
// output empty (arcs: as it was); GetSketchCurves gives exactly the curves
// the four readers give, kind by kind.
#include "VLMSWON.h"
#include "sketch_read_input.h"

#include <cstddef>
#include <cstdint>

namespace {

using namespace sketch_read_fuzz;

void Require(bool condition) {
  if (!condition) __builtin_trap();
}

// Rooms bigger than this are cut down to it: the memory a read takes
// follows the room, and a host with that much to say is not what is tested.
constexpr long long kMostDoubles = 1 << 12;

class FuzzSketch final : public IHostSketch {
 public:
  explicit FuzzSketch(const KindInput (&kinds)[kKinds]) : kinds_(kinds) {}

  bool outOfMemory = false;  // answered E_OUTOFMEMORY since the last Begin
  void Begin() {
    outOfMemory = false;
    for (long long& room : room_) room = -1;
  }
  // The count the last count call of this kind wrote.
  LONG Counted(Kind kind) const { return counted_[kind]; }

  STDMETHODIMP QueryInterface(REFIID, void** object) override {
    *object = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return 1; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }

  STDMETHODIMP LineCount(LONG* count) override { return Count(kLines, 12, nullptr, count); }
  STDMETHODIMP LineData(double* data) override { return Data(kLines, data); }
  STDMETHODIMP ArcCount(LONG* count) override { return Count(kArcs, 16, nullptr, count); }
  STDMETHODIMP ArcData(double* data) override { return Data(kArcs, data); }
  STDMETHODIMP SplineDataSize(LONG* size, LONG* count) override { return Count(kSplines, 0, size, count); }
  STDMETHODIMP SplineData(double* data) override { return Data(kSplines, data); }
  STDMETHODIMP PolylineDataSize(LONG* size, LONG* count) override { return Count(kPolylines, 0, size, count); }
  STDMETHODIMP PolylineData(double* data) override { return Data(kPolylines, data); }

 private:
  HRESULT Answer(HRESULT hr) {
    if (hr == E_OUTOFMEMORY) outOfMemory = true;
    return hr;
  }

  // A record count (`perRecord` doubles each) or a size: the room promised.
  HRESULT Count(Kind kind, long long perRecord, LONG* size, LONG* count) {
    Require(count != nullptr && (perRecord > 0 || size != nullptr));
    const KindInput& in = kinds_[kind];
    const HRESULT hr = ResultOf(in.countCall);
    if (hr != S_OK && !(in.countCall & kWritesWhenFailing)) return Answer(hr);
    LONG n = in.count, doubles = in.size;
    if (perRecord > 0) {
      if (n > kMostDoubles / perRecord) n = static_cast<LONG>(n % (kMostDoubles / perRecord + 1));
      doubles = n > 0 ? static_cast<LONG>(n * perRecord) : 0;
    } else if (doubles > kMostDoubles) {
      doubles = static_cast<LONG>(doubles % (kMostDoubles + 1));
    }
    *count = counted_[kind] = n;
    if (size) *size = doubles;
    room_[kind] = doubles > 0 ? doubles : 0;
    return Answer(hr);
  }

  HRESULT Data(Kind kind, double* data) {
    // The contract: the room is the one a count call of this read promised.
    Require(room_[kind] > 0 && data != nullptr);
    const KindInput& in = kinds_[kind];
    const HRESULT hr = ResultOf(in.dataCall);
    if (hr != S_OK) return Answer(hr);
    const std::vector<double>& pool = in.pool;
    for (long long i = 0; i < room_[kind]; ++i)
      data[i] = pool.empty() ? 0.0 : pool[static_cast<size_t>(i) % pool.size()];
    return S_OK;
  }

  const KindInput (&kinds_)[kKinds];
  long long room_[kKinds] = {-1, -1, -1, -1};
  LONG counted_[kKinds] = {};
};

// Each reader from one element held; the number of elements it gave (-1
// when it failed), checked against what a failed read must leave.
int Lines(FuzzSketch& sketch) {
  ON_ClassArray<ON_Line> lines;
  lines.AppendNew();
  sketch.Begin();
  const int result = VLMSWON::GetSketchLines(&sketch, lines);
  Require(result == 0 || result == 1);
  if (result == 0 || sketch.outOfMemory) {
    Require(result == 0 && lines.Count() == 0);
    return -1;
  }
  return lines.Count();
}

int Arcs(FuzzSketch& sketch) {
  ON_ClassArray<ON_Arc> arcs;
  arcs.Append(ON_Arc(ON_Circle(ON_3dPoint(1, 2, 3), 4.0), ON_PI));
  sketch.Begin();
  const int result = VLMSWON::GetSketchArcs(&sketch, arcs);
  Require(result == 0 || result == 1);
  Require(arcs.Count() >= 1 && arcs[0].Center() == ON_3dPoint(1, 2, 3));
  if (result == 0 || sketch.outOfMemory) {
    Require(result == 0 && arcs.Count() == 1);
    return -1;
  }
  return arcs.Count() - 1;
}

int Splines(FuzzSketch& sketch) {
  ON_ClassArray<ON_NurbsCurve> splines;
  splines.AppendNew();
  sketch.Begin();
  const int result = VLMSWON::GetSketchSplines(&sketch, splines);
  Require(result == 0 || result == 1);
  if (result == 0 || sketch.outOfMemory) {
    Require(result == 0 && splines.Count() == 0);
    return -1;
  }
  for (int i = 0; i < splines.Count(); ++i) Require(splines[i].CVCount() >= 2);
  return splines.Count();
}

int Polylines(FuzzSketch& sketch) {
  ON_ClassArray<ON_Polyline> polylines;
  polylines.AppendNew();
  sketch.Begin();
  const int result = VLMSWON::GetSketchPolylines(&sketch, polylines);
  Require(result == 0 || result == 1);
  if (result == 0 || sketch.outOfMemory) {
    Require(result == 0 && polylines.Count() == 0);
    return -1;
  }
  return polylines.Count();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  KindInput kinds[kKinds];
  Decode(data, size, kinds);
  FuzzSketch sketch(kinds);

  // One element per record; splines none for a record of fewer than two
  // points.
  int given[kKinds];
  given[kLines] = Lines(sketch);
  Require(given[kLines] < 0 || given[kLines] == sketch.Counted(kLines));
  given[kArcs] = Arcs(sketch);
  Require(given[kArcs] < 0 || given[kArcs] == sketch.Counted(kArcs));
  given[kSplines] = Splines(sketch);
  Require(given[kSplines] < 0 || given[kSplines] <= sketch.Counted(kSplines));
  given[kPolylines] = Polylines(sketch);
  Require(given[kPolylines] < 0 || given[kPolylines] == sketch.Counted(kPolylines));

  ON_CurveArray curves;
  curves.Append(new ON_LineCurve());
  sketch.Begin();
  const int result = VLMSWON::GetSketchCurves(&sketch, curves);
  if (sketch.outOfMemory) {
    Require(result == 0 && curves.Count() == 0);
    return 0;
  }
  Require(result == 1);
  // Lines, polylines, splines, arcs: each kind as its own reader gave it.
  const Kind order[kKinds] = {kLines, kPolylines, kSplines, kArcs};
  int at = 0;
  for (Kind kind : order) {
    for (int i = 0; i < (given[kind] > 0 ? given[kind] : 0); ++i, ++at) {
      Require(at < curves.Count() && curves[at] != nullptr);
      const ON_Curve* curve = curves[at];
      switch (kind) {
        case kLines:
          Require(ON_LineCurve::Cast(curve) != nullptr);
          break;
        case kPolylines:
          Require(ON_PolylineCurve::Cast(curve) != nullptr);
          break;
        case kSplines:
          Require(ON_NurbsCurve::Cast(curve) != nullptr);
          break;
        default:
          Require(ON_ArcCurve::Cast(curve) != nullptr);
      }
    }
  }
  Require(at == curves.Count());
  return 0;
}
