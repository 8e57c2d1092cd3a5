// The class factory of a test server module: makes objects of one class,
// counts the server locks and, where asked, the clients holding it. Header
// only, since a probe module links nothing of the tests.
#pragma once

#include <unknwn.h>

#include <new>

namespace test_support {

template <typename Object>
class ProbeFactory final : public IClassFactory {
 public:
  // `refs` counts the references to the factory; null leaves it uncounted,
  // as a factory that lives as long as its module.
  explicit ProbeFactory(long& locks, long* refs = nullptr) : locks_(locks), refs_(refs) {}

  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!(iid == __uuidof(IUnknown)) && !(iid == __uuidof(IClassFactory))) return E_NOINTERFACE;
    *out = static_cast<IClassFactory*>(this);
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return refs_ ? static_cast<ULONG>(++*refs_) : 2; }
  STDMETHODIMP_(ULONG) Release() override { return refs_ ? static_cast<ULONG>(--*refs_) : 1; }
  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    Object* object = new (std::nothrow) Object;
    if (!object) return E_OUTOFMEMORY;
    object->AddRef();
    const HRESULT hr = object->QueryInterface(iid, out);
    object->Release();
    return hr;
  }
  STDMETHODIMP LockServer(BOOL lock) override {
    locks_ += lock ? 1 : -1;
    return S_OK;
  }

 private:
  long& locks_;
  long* refs_;
};

}  // namespace test_support
