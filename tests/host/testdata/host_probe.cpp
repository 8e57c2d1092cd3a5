// An add-in in a module of its own, as the host finds add-ins: registered
// under the AddIns key, created by COM, connected with a cookie. Connected,
// it offers the Open-dialog entry "Probe files" for .prb files, calling
// "OnOpen", which loads the chosen file into the host, and the command
// "Part", calling "OnPart", which makes a part. Disconnected, it takes both
// away. DllCanUnloadNow answers S_OK once no object lives and no lock is
// taken.
#include <HostApi.h>
#include <objbase.h>

#include <new>
#include <string>

#include "probe_factory.h"

namespace {

constexpr GUID kClsid = stand_in::GuidFromText("3F6B8E21-7C4D-4A59-9E0B-1D2C3B4A5F60");
constexpr DISPID kOpen = 1, kPart = 2;

long g_objects = 0;
long g_locks = 0;

// A text the host reads as a BSTR, freed when it goes.
class Text {
 public:
  explicit Text(const wchar_t* text) : bstr_(SysAllocString(text)) {}
  ~Text() { SysFreeString(bstr_); }
  Text(const Text&) = delete;
  Text& operator=(const Text&) = delete;
  operator BSTR() const { return bstr_; }

 private:
  BSTR bstr_;
};

class AddIn final : public SWPublished::ISwAddin, public IDispatch {
 public:
  AddIn() { ++g_objects; }
  ~AddIn() {
    if (manager_) manager_->Release();
    if (app_) app_->Release();
    --g_objects;
  }

  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (iid == __uuidof(IUnknown) || iid == __uuidof(SWPublished::ISwAddin))
      *out = static_cast<SWPublished::ISwAddin*>(this);
    else if (iid == __uuidof(IDispatch))
      *out = static_cast<IDispatch*>(this);
    else
      return E_NOINTERFACE;
    ++refs_;
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
  STDMETHODIMP_(ULONG) Release() override {
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }

  STDMETHODIMP ConnectToSW(IDispatch* host, LONG cookie, VARIANT_BOOL* connected) override {
    if (!connected) return E_POINTER;
    *connected = VARIANT_FALSE;
    if (!host || FAILED(host->QueryInterface(__uuidof(IHostApplication), reinterpret_cast<void**>(&app_))))
      return E_FAIL;
    cookie_ = cookie;
    app_->GetCommandManager(cookie, &manager_);
    VARIANT_BOOL ok = VARIANT_FALSE;
    app_->RegisterCallbackObject(0, static_cast<IDispatch*>(this), cookie, &ok);
    app_->AddFileOpenItem(cookie, Text(L"OnOpen"), Text(L"Probe files"), Text(L"prb"), Text(L""), Text(L""), &ok);
    IHostCommandGroup* group = nullptr;
    if (manager_) manager_->CreateCommandGroup(1, Text(L"Probe"), Text(L"Probe"), Text(L"Probe"), -1, &group);
    if (group) {
      LONG index = 0;
      group->AddCommandItem(Text(L"Part"), -1, Text(L"Makes a part"), Text(L"Part"), 0, Text(L"OnPart"), Text(L""),
                            0, 3, &index);
      group->Activate(&ok);
      group->Release();
    }
    *connected = VARIANT_TRUE;
    return S_OK;
  }

  STDMETHODIMP DisconnectFromSW(VARIANT_BOOL* done) override {
    VARIANT_BOOL ok = VARIANT_FALSE;
    if (manager_) manager_->RemoveCommandGroup(1, &ok);
    if (app_) app_->RemoveFileOpenItem(cookie_, Text(L"OnOpen"), Text(L"Probe files"), Text(L"prb"), &ok);
    if (manager_) manager_->Release();
    manager_ = nullptr;
    if (app_) app_->Release();
    app_ = nullptr;
    if (done) *done = VARIANT_TRUE;
    return S_OK;
  }

  STDMETHODIMP GetTypeInfoCount(UINT* count) override {
    if (!count) return E_POINTER;
    *count = 0;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
    if (info) *info = nullptr;
    return DISP_E_BADINDEX;
  }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
    if (!names || !ids || count != 1) return E_INVALIDARG;
    const std::wstring name = names[0];
    ids[0] = name == L"OnOpen" ? kOpen : name == L"OnPart" ? kPart : DISPID_UNKNOWN;
    return ids[0] == DISPID_UNKNOWN ? DISP_E_UNKNOWNNAME : S_OK;
  }
  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) override {
    if (!app_) return E_UNEXPECTED;
    if (id == kOpen) {
      if (!params || params->cArgs != 1 || params->rgvarg[0].vt != VT_BSTR) return DISP_E_BADPARAMCOUNT;
      LONG status = 0;
      return app_->LoadFile(params->rgvarg[0].bstrVal, nullptr, &status);
    }
    if (id == kPart) {
      IHostPartDocument* part = nullptr;
      const HRESULT hr = app_->NewPartDocument(&part);
      if (part) part->Release();
      return hr;
    }
    return DISP_E_MEMBERNOTFOUND;
  }

 private:
  ULONG refs_ = 0;
  LONG cookie_ = 0;
  IHostApplication* app_ = nullptr;
  IHostCommandManager* manager_ = nullptr;
};

test_support::ProbeFactory<AddIn> g_factory(g_locks);

}  // namespace

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (clsid != kClsid) return CLASS_E_CLASSNOTAVAILABLE;
  return g_factory.QueryInterface(iid, out);
}

STDAPI DllCanUnloadNow() { return g_objects == 0 && g_locks == 0 ? S_OK : S_FALSE; }
