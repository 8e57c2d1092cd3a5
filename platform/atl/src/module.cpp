// The module objects of this module's ATL: base module, object map, module
// object, type-information holders, connection-point advice and the
// module's scripts run through the registrar.
#include <atlbase.h>
#include <atlcom.h>
#include <statreg.h>

#include "module_file.h"

#include <stand_in/module.h>

#include <new>
#include <string>
#include <vector>



namespace ATL {

CAtlBaseModule _AtlBaseModule;
CAtlComModule _AtlComModule;
CAtlModule* _pAtlModule = nullptr;
GUID CAtlModule::m_libid = {};

namespace {

bool g_perUserRegistration = false;

// The registrar seen through the interface modules add their replacements
// with.
class RegistrarReplacements : public IRegistrarBase {
 public:
  explicit RegistrarReplacements(CRegObject& registrar) noexcept : registrar_(registrar) {}
  HRESULT STDMETHODCALLTYPE AddReplacement(LPCOLESTR key, LPCOLESTR item) override {
    return registrar_.AddReplacement(key, item);
  }
  HRESULT STDMETHODCALLTYPE ClearReplacements() override { return registrar_.ClearReplacements(); }

 private:
  CRegObject& registrar_;
};

}  // namespace

// Base module.

HINSTANCE CAtlBaseModule::GetModuleInstance() noexcept {
  // This object lies in the module that this copy of ATL was linked into.
  return stand_in::ModuleOf(this);
}

HINSTANCE CAtlBaseModule::GetResourceInstance() noexcept {
  return m_hInstResource ? m_hInstResource : GetModuleInstance();
}

HINSTANCE CAtlBaseModule::SetResourceInstance(HINSTANCE hInst) noexcept {
  HINSTANCE old = GetResourceInstance();
  m_hInstResource = hInst;
  return old;
}

// Object map.

CAtlComModule::~CAtlComModule() { Term(); }

void CAtlComModule::AddObjectEntry(_ATL_OBJMAP_ENTRY* entry) noexcept {
  if (!entry) return;
  {
    std::lock_guard<std::mutex> lock(m_csObjMap);
    entry->pNext = nullptr;
    if (m_pLastEntry)
      m_pLastEntry->pNext = entry;
    else
      m_pFirstEntry = entry;
    m_pLastEntry = entry;
  }
  // An entry that joins after the module object started is started now.
  if (m_bStarted && entry->pfnObjectMain) entry->pfnObjectMain(true);
}

void CAtlComModule::ExecuteObjectMain(bool bStarting) noexcept {
  for (_ATL_OBJMAP_ENTRY* e = m_pFirstEntry; e; e = e->pNext) {
    if (e->pfnObjectMain) e->pfnObjectMain(bStarting);
  }
  m_bStarted = bStarting;
}

HRESULT CAtlComModule::GetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) noexcept {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  for (_ATL_OBJMAP_ENTRY* e = m_pFirstEntry; e; e = e->pNext) {
    if (*e->pclsid != rclsid) continue;
    IUnknown* factory = __atomic_load_n(&e->pCF, __ATOMIC_ACQUIRE);
    if (!factory) {
      std::lock_guard<std::mutex> lock(m_csObjMap);
      factory = e->pCF;
      if (!factory) {
        if (!e->pfnGetClassObject) return CLASS_E_CLASSNOTAVAILABLE;
        const HRESULT hr = e->pfnGetClassObject(reinterpret_cast<void*>(e->pfnCreateInstance), IID_IUnknown,
                                                reinterpret_cast<void**>(&factory));
        if (FAILED(hr)) return hr;
        if (!factory) return E_UNEXPECTED;
        __atomic_store_n(&e->pCF, factory, __ATOMIC_RELEASE);
      }
    }
    return factory->QueryInterface(riid, ppv);
  }
  return CLASS_E_CLASSNOTAVAILABLE;
}

void CAtlComModule::Term() noexcept {
  for (_ATL_OBJMAP_ENTRY* e = m_pFirstEntry; e; e = e->pNext) {
    IUnknown* factory = __atomic_exchange_n(&e->pCF, nullptr, __ATOMIC_ACQ_REL);
    if (factory) factory->Release();
  }
}

HRESULT AtlRegisterClassCategoriesHelper(REFCLSID, const _ATL_CATMAP_ENTRY* pCatMap, BOOL) noexcept {
  if (!pCatMap || pCatMap->iType == _ATL_CATMAP_ENTRY_END) return S_OK;
  // No component category manager here: a class that names categories
  // cannot have them registered.
  return E_NOTIMPL;
}

// Module object.

CAtlModule::CAtlModule() noexcept : m_nLockCnt(0), m_pTermFuncs(nullptr) {
  if (!_pAtlModule) _pAtlModule = this;
}

CAtlModule::~CAtlModule() {
  Term();
  if (_pAtlModule == this) _pAtlModule = nullptr;
}

LONG CAtlModule::Lock() noexcept { return __atomic_add_fetch(&m_nLockCnt, 1, __ATOMIC_SEQ_CST); }

LONG CAtlModule::Unlock() noexcept { return __atomic_sub_fetch(&m_nLockCnt, 1, __ATOMIC_SEQ_CST); }

LONG CAtlModule::GetLockCount() noexcept { return __atomic_load_n(&m_nLockCnt, __ATOMIC_SEQ_CST); }

HRESULT CAtlModule::GetGITPtr(IGlobalInterfaceTable** ppGIT) noexcept {
  if (!ppGIT) return E_POINTER;
  *ppGIT = nullptr;
  return E_NOTIMPL;
}

HRESULT CAtlModule::AddTermFunc(_ATL_TERMFUNC* pFunc, DWORD_PTR dw) noexcept {
  TermFunc* f = new (std::nothrow) TermFunc{pFunc, dw, nullptr};
  if (!f) return E_OUTOFMEMORY;
  CComCritSecLock<CComCriticalSection> lock(m_csStaticDataInitAndTypeInfo);
  f->pNext = m_pTermFuncs;
  m_pTermFuncs = f;
  return S_OK;
}

void CAtlModule::Term() noexcept {
  for (;;) {
    TermFunc* f;
    {
      CComCritSecLock<CComCriticalSection> lock(m_csStaticDataInitAndTypeInfo);
      f = m_pTermFuncs;
      if (!f) return;
      m_pTermFuncs = f->pNext;
    }
    f->pFunc(f->dw);
    delete f;
  }
}

HRESULT CAtlModule::UpdateRegistryFromResourceS(UINT nResID, BOOL bRegister, _ATL_REGMAP_ENTRY* pMapEntries) noexcept {
  try {
    std::vector<wchar_t> path;
    HRESULT hr = internal::ModuleFile(_AtlBaseModule.GetModuleInstance(), path);
    if (FAILED(hr)) return hr;
    CRegObject registrar;
    hr = registrar.FinalConstruct();
    if (FAILED(hr)) return hr;
    RegistrarReplacements replacements(registrar);
    hr = AddCommonRGSReplacements(&replacements);
    if (FAILED(hr)) return hr;
    for (_ATL_REGMAP_ENTRY* e = pMapEntries; e && e->szKey; ++e) {
      hr = registrar.AddReplacement(e->szKey, e->szData);
      if (FAILED(hr)) return hr;
    }
    hr = registrar.AddReplacement(L"MODULE", path.data());
    if (FAILED(hr)) return hr;
    return bRegister ? registrar.ResourceRegister(path.data(), nResID, L"REGISTRY")
                     : registrar.ResourceUnregister(path.data(), nResID, L"REGISTRY");
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_UNEXPECTED;
  }
}

HRESULT AtlSetPerUserRegistration(bool bEnable) noexcept {
  g_perUserRegistration = bEnable;
  return S_OK;
}

HRESULT AtlGetPerUserRegistration(bool* pbEnabled) noexcept {
  if (!pbEnabled) return E_POINTER;
  *pbEnabled = g_perUserRegistration;
  return S_OK;
}

// Type information.

HRESULT CComTypeInfoHolder::GetTI(LCID lcid) noexcept {
  if (__atomic_load_n(&m_pInfo, __ATOMIC_ACQUIRE)) return S_OK;
  if (!m_plibid || !m_pguid || !_pAtlModule) return E_UNEXPECTED;
  CComCritSecLock<CComCriticalSection> lock(_pAtlModule->m_csStaticDataInitAndTypeInfo);
  if (m_pInfo) return S_OK;
  ITypeLib* lib = nullptr;
  HRESULT hr = LoadRegTypeLib(*m_plibid, m_wMajor, m_wMinor, lcid, &lib);
  if (FAILED(hr)) return hr;
  if (!lib) return E_UNEXPECTED;
  ITypeInfo* info = nullptr;
  hr = lib->GetTypeInfoOfGuid(*m_pguid, &info);
  lib->Release();
  if (FAILED(hr)) return hr;
  if (!info) return E_UNEXPECTED;
  // Held until the module ends.
  hr = _pAtlModule->AddTermFunc(Cleanup, reinterpret_cast<DWORD_PTR>(this));
  if (FAILED(hr)) {
    info->Release();
    return hr;
  }
  __atomic_store_n(&m_pInfo, info, __ATOMIC_RELEASE);
  return S_OK;
}

HRESULT CComTypeInfoHolder::GetTI(LCID lcid, ITypeInfo** ppInfo) noexcept {
  if (!ppInfo) return E_POINTER;
  *ppInfo = nullptr;
  const HRESULT hr = GetTI(lcid);
  if (FAILED(hr)) return hr;
  ITypeInfo* info = __atomic_load_n(&m_pInfo, __ATOMIC_ACQUIRE);
  info->AddRef();
  *ppInfo = info;
  return S_OK;
}

void WINAPI CComTypeInfoHolder::Cleanup(DWORD_PTR dw) noexcept {
  CComTypeInfoHolder* holder = reinterpret_cast<CComTypeInfoHolder*>(dw);
  ITypeInfo* info = __atomic_exchange_n(&holder->m_pInfo, nullptr, __ATOMIC_ACQ_REL);
  if (info) info->Release();
}

HRESULT CComTypeInfoHolder::GetTypeInfo(UINT itinfo, LCID lcid, ITypeInfo** pptinfo) noexcept {
  if (!pptinfo) return E_POINTER;
  *pptinfo = nullptr;
  if (itinfo != 0) return DISP_E_BADINDEX;
  return GetTI(lcid, pptinfo);
}

HRESULT CComTypeInfoHolder::GetIDsOfNames(REFIID, LPOLESTR* rgszNames, UINT cNames, LCID lcid,
                                          DISPID* rgdispid) noexcept {
  const HRESULT hr = GetTI(lcid);
  if (FAILED(hr)) return hr;
  return m_pInfo->GetIDsOfNames(rgszNames, cNames, rgdispid);
}

HRESULT CComTypeInfoHolder::Invoke(IDispatch* p, DISPID dispidMember, REFIID, LCID lcid, WORD wFlags,
                                   DISPPARAMS* pdispparams, VARIANT* pvarResult, EXCEPINFO* pexcepinfo,
                                   UINT* puArgErr) noexcept {
  const HRESULT hr = GetTI(lcid);
  if (FAILED(hr)) return hr;
  return m_pInfo->Invoke(p, dispidMember, wFlags, pdispparams, pvarResult, pexcepinfo, puArgErr);
}

// Connection points.

namespace {

// The connection point for `iid` of the object `source`, held for the caller.
HRESULT FindPoint(IUnknown* source, const IID& iid, IConnectionPoint** point) {
  *point = nullptr;
  IConnectionPointContainer* container = nullptr;
  HRESULT hr = source->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&container));
  if (FAILED(hr)) return hr;
  if (!container) return E_NOINTERFACE;
  hr = container->FindConnectionPoint(iid, point);
  container->Release();
  if (FAILED(hr)) return hr;
  return *point ? S_OK : E_UNEXPECTED;
}

}  // namespace

HRESULT AtlAdvise(IUnknown* pUnkCP, IUnknown* pUnk, const IID& iid, LPDWORD pdw) noexcept {
  if (!pUnkCP) return E_INVALIDARG;
  if (!pdw) return E_POINTER;
  IConnectionPoint* point = nullptr;
  HRESULT hr = FindPoint(pUnkCP, iid, &point);
  if (FAILED(hr)) return hr;
  hr = point->Advise(pUnk, pdw);
  point->Release();
  return hr;
}

HRESULT AtlUnadvise(IUnknown* pUnkCP, const IID& iid, DWORD dw) noexcept {
  if (!pUnkCP) return E_INVALIDARG;
  IConnectionPoint* point = nullptr;
  HRESULT hr = FindPoint(pUnkCP, iid, &point);
  if (FAILED(hr)) return hr;
  hr = point->Unadvise(dw);
  point->Release();
  return hr;
}

}  // namespace ATL


