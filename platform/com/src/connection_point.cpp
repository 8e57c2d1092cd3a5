#include <stand_in/connection_point.h>

#include <new>

const IID IID_IEnumConnections = __uuidof(IEnumConnections);
const IID IID_IEnumConnectionPoints = __uuidof(IEnumConnectionPoints);
const IID IID_IConnectionPoint = __uuidof(IConnectionPoint);
const IID IID_IConnectionPointContainer = __uuidof(IConnectionPointContainer);
const IID IID_IClassFactory = __uuidof(IClassFactory);

namespace stand_in {

ConnectionPoint::ConnectionPoint(IConnectionPointContainer* container, REFIID iid) noexcept
    : container_(container), iid_(iid) {}

ConnectionPoint::~ConnectionPoint() {
  std::vector<Sink> left;
  left.swap(sinks_);
  for (const Sink& s : left) static_cast<IUnknown*>(s.pointer)->Release();
}

STDMETHODIMP ConnectionPoint::QueryInterface(REFIID riid, void** object) {
  if (!object) return E_POINTER;
  if (riid == IID_IUnknown || riid == IID_IConnectionPoint) {
    *object = static_cast<IConnectionPoint*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) ConnectionPoint::AddRef() { return container_->AddRef(); }

STDMETHODIMP_(ULONG) ConnectionPoint::Release() { return container_->Release(); }

STDMETHODIMP ConnectionPoint::GetConnectionInterface(IID* iid) {
  if (!iid) return E_POINTER;
  *iid = iid_;
  return S_OK;
}

STDMETHODIMP ConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** container) {
  if (!container) return E_POINTER;
  *container = container_;
  container_->AddRef();
  return S_OK;
}

STDMETHODIMP ConnectionPoint::Advise(IUnknown* sink, DWORD* cookie) {
  if (!cookie) return E_POINTER;
  *cookie = 0;
  if (!sink) return E_POINTER;
  void* pointer = nullptr;
  if (FAILED(sink->QueryInterface(iid_, &pointer)) || !pointer) return CONNECT_E_CANNOTCONNECT;
  try {
    sinks_.push_back(Sink{next_cookie_, pointer});
  } catch (const std::bad_alloc&) {
    static_cast<IUnknown*>(pointer)->Release();
    return E_OUTOFMEMORY;
  }
  *cookie = next_cookie_++;
  if (next_cookie_ == 0) next_cookie_ = 1;
  return S_OK;
}

STDMETHODIMP ConnectionPoint::Unadvise(DWORD cookie) {
  for (auto it = sinks_.begin(); it != sinks_.end(); ++it) {
    if (it->cookie != cookie) continue;
    void* pointer = it->pointer;
    sinks_.erase(it);
    // Released last: the sink may call back into the point as it goes.
    static_cast<IUnknown*>(pointer)->Release();
    return S_OK;
  }
  return CONNECT_E_NOCONNECTION;
}

STDMETHODIMP ConnectionPoint::EnumConnections(IEnumConnections** connections) {
  if (connections) *connections = nullptr;
  return E_NOTIMPL;
}

HRESULT ConnectionPoint::Fire(DISPID dispid, DISPPARAMS* params, std::vector<HRESULT>* results) {
  if (results) results->clear();
  // A sink may unadvise itself or others while it is called: call the ones
  // advised now, each held for its call.
  std::vector<IDispatch*> targets;
  try {
    targets.reserve(sinks_.size());
    if (results) results->reserve(sinks_.size());
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  for (const Sink& s : sinks_) {
    IDispatch* d = static_cast<IDispatch*>(s.pointer);
    d->AddRef();
    targets.push_back(d);
  }
  DISPPARAMS none = {nullptr, nullptr, 0, 0};
  HRESULT first = S_OK;
  for (IDispatch* d : targets) {
    const HRESULT hr = d->Invoke(dispid, IID_NULL, 0, DISPATCH_METHOD, params ? params : &none, nullptr, nullptr,
                                 nullptr);
    if (results) results->push_back(hr);
    if (hr != S_OK && first == S_OK) first = hr;
    d->Release();
  }
  return first;
}

}  // namespace stand_in
