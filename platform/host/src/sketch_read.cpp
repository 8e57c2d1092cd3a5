// The read side of sketches: a document's sketch as IHostSketch records,
// and its sketches as a list to walk.
#include "state.h"

#include "sketch_curves.h"

#include <climits>
#include <cmath>

namespace stand_in {
namespace {

// A record's six values a caller need not read (see SketchRecordKind).
double* Head(double* out, int kind, size_t index, double a, double b, double c, double d) {
  const double head[6] = {double(kind), double(index), a, b, c, d};
  for (double v : head) *out++ = v;
  return out;
}

double* Put(double* out, const Point3& p) {
  *out++ = p.x;
  *out++ = p.y;
  *out++ = p.z;
  return out;
}

struct LineRecords {
  const SketchLines& lines;
  size_t Available() const { return lines.size(); }
  size_t Size(size_t n) const { return 12 * n; }
  void Write(size_t n, double* out) const {
    for (size_t i = 0; i < n; ++i) {
      const SketchLine line = lines[i];
      const double dx = line.to.x - line.from.x, dy = line.to.y - line.from.y, dz = line.to.z - line.from.z;
      const double length = std::hypot(std::hypot(dx, dy), dz);
      out = Head(out, kSketchRecordLine, i, length, dx / length, dy / length, dz / length);
      out = Put(Put(out, line.from), line.to);
    }
  }
};

struct ArcRecords {
  const std::vector<SketchArc>& arcs;
  size_t Available() const { return arcs.size(); }
  size_t Size(size_t n) const { return 16 * n; }
  void Write(size_t n, double* out) const {
    for (size_t i = 0; i < n; ++i) {
      const SketchArc& arc = arcs[i];
      const ArcAngles angles = AnglesOf(arc);
      out = Head(out, arc.circle ? kSketchRecordCircle : kSketchRecordArc, i, arc.radius, angles.start,
                 angles.sweep, arc.radius * angles.sweep);
      out = Put(Put(Put(out, arc.start), arc.end), arc.centre);
      *out++ = arc.direction;
    }
  }
};

struct SplineRecords {
  const std::vector<SketchSpline>& splines;
  size_t Available() const { return splines.size(); }
  size_t Size(size_t n) const {
    size_t total = 0;
    for (size_t i = 0; i < n; ++i) total += 7 + 3 * splines[i].points.size();
    return total;
  }
  void Write(size_t n, double* out) const {
    for (size_t i = 0; i < n; ++i) {
      const SketchSpline& s = splines[i];
      out = Head(out, s.nurbs ? kSketchRecordNurbsSpline : kSketchRecordSplineThroughPoints, i, s.order,
                 s.periodic ? 1 : 0, double(s.knots.size()), 0);
      *out++ = double(s.points.size());
      for (const Point3& p : s.points) out = Put(out, p);
    }
  }
};

struct NoRecords {
  size_t Available() const { return 0; }
  size_t Size(size_t) const { return 0; }
  void Write(size_t, double*) const {}
};

}  // namespace

STDMETHODIMP DocumentObject::GetSketch(LONG index, IHostSketch** sketch) {
  return ComNoThrow([&] {
    CallScope call(host_, Op::DocGetSketch, *this);
    call.Long(index);
    call.Out(sketch, nullptr);
    if (call.Faulted()) return call.Fault();
    if (!sketch) return call.Finish(E_POINTER, "sketch is null");
    if (index < 0) return call.Finish(E_INVALIDARG, "index " + std::to_string(index) + " is negative");
    if (static_cast<size_t>(index) >= document_.sketches.size())
      return call.Finish(S_FALSE, document_.title + " has " + std::to_string(document_.sketches.size()) +
                                      (document_.sketches.size() == 1 ? " sketch" : " sketches"));
    *sketch = HandOut<IHostSketch>(host_.Make<SketchObject>(document_, static_cast<size_t>(index)));
    return call.Finish(S_OK);
  });
}

STDMETHODIMP DocumentObject::ListOwner::FirstItem(IHostListItem** item) {
  HostState& host = document_.host_;
  const Document& model = document_.document_;
  return ComNoThrow([&] {
    CallScope call(host, Op::OwnerFirstItem, document_);
    call.Out(item, nullptr);
    if (call.Faulted()) return call.Fault();
    if (!item) return call.Finish(E_POINTER, "item is null");
    if (model.sketches.empty()) return call.Finish(S_FALSE);
    *item = HandOut<IHostListItem>(host.Make<ListItemObject>(model, 0));
    return call.Finish(S_OK);
  });
}

void* SketchObject::Role(REFIID iid) {
  if (iid == __uuidof(IUnknown) || iid == __uuidof(IHostSketch)) return static_cast<IHostSketch*>(this);
  if (iid == __uuidof(IHostAttachedObject)) return static_cast<IHostAttachedObject*>(&attached_);
  return nullptr;
}

// A failed count answers nothing: the data call after it writes nothing.
template <class Records>
HRESULT SketchObject::Count(Op op, bool sized, LONG* size, LONG* count, Answer& answer, const Records& records) {
  return ComNoThrow([&] {
    CallScope call(host_, op, *this);
    answer.given = false;
    if (sized) call.Out(size, 0);
    call.Out(count, 0);
    if (call.Faulted()) return call.Fault();
    if (sized && !size) return call.Finish(E_POINTER, "size is null");
    if (!count) return call.Finish(E_POINTER, "count is null");
    const size_t n = records.Available(), doubles = records.Size(n);
    if (doubles > static_cast<size_t>(LONG_MAX))
      return call.Finish(E_FAIL, "the records of " + std::to_string(n) + " entities take " + std::to_string(doubles) +
                                     " doubles, more than a LONG counts");
    if (sized) *size = static_cast<LONG>(doubles);
    *count = static_cast<LONG>(n);
    answer = {true, n};
    return call.Finish(S_OK);
  });
}

template <class Records>
HRESULT SketchObject::Data(Op op, const char* countCall, double* data, const Answer& answer, const Records& records) {
  return ComNoThrow([&] {
    CallScope call(host_, op, *this);
    if (call.Faulted()) return call.Fault();
    if (!data) return call.Finish(E_POINTER, "data is null");
    if (!answer.given)
      return call.Finish(E_FAIL, std::string(countCall) + " has answered nothing on this sketch object, so " +
                                     "the host knows no room to write into");
    records.Write(answer.count, data);
    return call.Finish(S_OK);
  });
}

STDMETHODIMP SketchObject::LineCount(LONG* count) {
  return Count(Op::SketchLineCount, false, nullptr, count, lines_, LineRecords{document_.sketches[sketch_].lines});
}
STDMETHODIMP SketchObject::LineData(double* data) {
  return Data(Op::SketchLineData, "LineCount", data, lines_, LineRecords{document_.sketches[sketch_].lines});
}
STDMETHODIMP SketchObject::ArcCount(LONG* count) {
  return Count(Op::SketchArcCount, false, nullptr, count, arcs_, ArcRecords{document_.sketches[sketch_].arcs});
}
STDMETHODIMP SketchObject::ArcData(double* data) {
  return Data(Op::SketchArcData, "ArcCount", data, arcs_, ArcRecords{document_.sketches[sketch_].arcs});
}
STDMETHODIMP SketchObject::SplineDataSize(LONG* size, LONG* count) {
  return Count(Op::SketchSplineDataSize, true, size, count, splines_,
               SplineRecords{document_.sketches[sketch_].splines});
}
STDMETHODIMP SketchObject::SplineData(double* data) {
  return Data(Op::SketchSplineData, "SplineDataSize", data, splines_,
              SplineRecords{document_.sketches[sketch_].splines});
}
STDMETHODIMP SketchObject::PolylineDataSize(LONG* size, LONG* count) {
  return Count(Op::SketchPolylineDataSize, true, size, count, polylines_, NoRecords{});
}
STDMETHODIMP SketchObject::PolylineData(double* data) {
  return Data(Op::SketchPolylineData, "PolylineDataSize", data, polylines_, NoRecords{});
}

STDMETHODIMP SketchObject::Attached::InnerObject(IHostInnerObject** inner) {
  HostState& host = sketch_.host_;
  return ComNoThrow([&] {
    CallScope call(host, Op::AttachedInnerObject, sketch_);
    call.Out(inner, nullptr);
    if (call.Faulted()) return call.Fault();
    if (!inner) return call.Finish(E_POINTER, "inner is null");
    *inner = HandOut<IHostInnerObject>(host.Make<stand_in::InnerObject>(sketch_.document_, sketch_.sketch_));
    return call.Finish(S_OK);
  });
}

void* ListItemObject::Role(REFIID iid) {
  if (iid == __uuidof(IUnknown) || iid == __uuidof(IHostListItem)) return static_cast<IHostListItem*>(this);
  return nullptr;
}

STDMETHODIMP ListItemObject::AttachedObject(IHostAttachedObject** object) {
  return ComNoThrow([&] {
    CallScope call(host_, Op::ItemAttachedObject, *this);
    call.Out(object, nullptr);
    if (call.Faulted()) return call.Fault();
    if (!object) return call.Finish(E_POINTER, "object is null");
    SketchObject* sketch = host_.Make<SketchObject>(document_, sketch_);
    sketch->Grant();
    *object = sketch->AsAttached();
    return call.Finish(S_OK);
  });
}

// Nothing more to give than the sketch again, as IUnknown.
STDMETHODIMP ListItemObject::ExtraObject(IUnknown** object) {
  return ComNoThrow([&] {
    CallScope call(host_, Op::ItemExtraObject, *this);
    call.Out(object, nullptr);
    if (call.Faulted()) return call.Fault();
    if (!object) return call.Finish(E_POINTER, "object is null");
    *object = HandOut<IHostSketch>(host_.Make<SketchObject>(document_, sketch_));
    return call.Finish(S_OK);
  });
}

STDMETHODIMP ListItemObject::NextItem(IHostListItem** next) {
  return ComNoThrow([&] {
    CallScope call(host_, Op::ItemNextItem, *this);
    call.Out(next, nullptr);
    if (call.Faulted()) return call.Fault();
    if (!next) return call.Finish(E_POINTER, "next is null");
    if (sketch_ + 1 >= document_.sketches.size()) return call.Finish(S_FALSE);
    *next = HandOut<IHostListItem>(host_.Make<ListItemObject>(document_, sketch_ + 1));
    return call.Finish(S_OK);
  });
}

void* InnerObject::Role(REFIID iid) {
  if (iid == __uuidof(IUnknown) || iid == __uuidof(IHostInnerObject)) return static_cast<IHostInnerObject*>(this);
  return nullptr;
}

STDMETHODIMP InnerObject::ItemCount(LONG* count) {
  return ComNoThrow([&] {
    CallScope call(host_, Op::InnerItemCount, *this);
    call.Out(count, 0);
    if (call.Faulted()) return call.Fault();
    if (!count) return call.Finish(E_POINTER, "count is null");
    const Sketch& s = document_.sketches[sketch_];
    const size_t n = s.points.size() + s.lines.size() + s.arcs.size() + s.splines.size();
    if (n > static_cast<size_t>(LONG_MAX))
      return call.Finish(E_FAIL, "the sketch's " + std::to_string(n) + " entities are more than a LONG counts");
    *count = static_cast<LONG>(n);
    return call.Finish(S_OK);
  });
}

}  // namespace stand_in
