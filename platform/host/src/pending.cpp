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


STDMETHODIMP BodyObject::CreateBSplineSurface(const LONG*, const double*, const double*, const double*,
                                              IHostSurface** surface) {
  Clear(surface);
  return NotYet(host_, Op::BodyCreateBSplineSurface, *this);
}
STDMETHODIMP BodyObject::CreatePlaneSurface(const double*, const double*, IHostSurface** surface) {
  Clear(surface);
  return NotYet(host_, Op::BodyCreatePlaneSurface, *this);
}
STDMETHODIMP BodyObject::CreateTrimmedSurface(VARIANT_BOOL* ok) {
  if (ok) *ok = VARIANT_FALSE;
  return NotYet(host_, Op::BodyCreateTrimmedSurface, *this);
}
STDMETHODIMP BodyObject::CreateBoundedSurface(LONG, LONG, const double*) {
  return NotYet(host_, Op::BodyCreateBoundedSurface, *this);
}

}  // namespace stand_in
