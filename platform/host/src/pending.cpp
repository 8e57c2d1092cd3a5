// Host operations whose model is not built yet: each is recorded and
// refused with E_NOTIMPL, so that no caller mistakes it for a success.
#include "state.h"

namespace stand_in {
namespace {

template <class T>
void Clear(T* out) {
  if (out) *out = nullptr;
}

HRESULT NotYet(HostState& host, Op op, const Counted& object) {
  return Guarded([&] {
    CallScope call(host, op, object);
    if (call.Faulted()) return call.Fault();
    return call.Finish(E_NOTIMPL, "not built in this host yet");
  });
}

}  // namespace

STDMETHODIMP ApplicationObject::ActiveModel(IHostDocument** document) {
  Clear(document);
  return NotYet(host_, Op::AppActiveModel, *this);
}
STDMETHODIMP ApplicationObject::NewAssemblyDocument(IHostAssemblyDocument** assembly) {
  Clear(assembly);
  return NotYet(host_, Op::AppNewAssemblyDocument, *this);
}
STDMETHODIMP ApplicationObject::NewDrawingDocument(LONG, BSTR, LONG, double, double, IHostDrawingDocument** drawing) {
  Clear(drawing);
  return NotYet(host_, Op::AppNewDrawingDocument, *this);
}

STDMETHODIMP DocumentObject::CreateSketchPoint(double, double, double, IUnknown** point) {
  Clear(point);
  return NotYet(host_, Op::DocCreateSketchPoint, *this);
}
STDMETHODIMP DocumentObject::CreateSketchCircle(double, double, double, double, IUnknown** segment) {
  Clear(segment);
  return NotYet(host_, Op::DocCreateSketchCircle, *this);
}
STDMETHODIMP DocumentObject::CreateSketchArc(double, double, double, double, double, double, double, double, double,
                                             short, IUnknown** segment) {
  Clear(segment);
  return NotYet(host_, Op::DocCreateSketchArc, *this);
}
STDMETHODIMP DocumentObject::CreateSketchSplineByPoints(LONG, const double*, IUnknown** segment) {
  Clear(segment);
  return NotYet(host_, Op::DocCreateSketchSplineByPoints, *this);
}
STDMETHODIMP DocumentObject::CreateSketchSplineByNurbs(const LONG*, const double*, const double*, IUnknown** segment) {
  Clear(segment);
  return NotYet(host_, Op::DocCreateSketchSplineByNurbs, *this);
}
STDMETHODIMP DocumentObject::Title(BSTR* title) {
  Clear(title);
  return NotYet(host_, Op::DocTitle, *this);
}
STDMETHODIMP DocumentObject::ActiveConfiguration(IHostConfiguration** configuration) {
  Clear(configuration);
  return NotYet(host_, Op::DocActiveConfiguration, *this);
}
STDMETHODIMP DocumentObject::GetLengthUnit(LONG*) { return NotYet(host_, Op::DocGetLengthUnit, *this); }
STDMETHODIMP DocumentObject::GetSketch(LONG, IHostSketch** sketch) {
  Clear(sketch);
  return NotYet(host_, Op::DocGetSketch, *this);
}

STDMETHODIMP PartObject::MaterialValues(double*) { return NotYet(host_, Op::PartMaterialValues, *this); }
STDMETHODIMP PartObject::BodyEnumerator(LONG, VARIANT_BOOL, IHostBodyEnumerator** enumerator) {
  Clear(enumerator);
  return NotYet(host_, Op::PartBodyEnumerator, *this);
}

STDMETHODIMP BodyObject::FirstFace(IHostFace** face) {
  Clear(face);
  return NotYet(host_, Op::BodyFirstFace, *this);
}
STDMETHODIMP BodyObject::Name(BSTR* name) {
  Clear(name);
  return NotYet(host_, Op::BodyName, *this);
}

}  // namespace stand_in
