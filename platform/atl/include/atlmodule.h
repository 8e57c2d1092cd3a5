// ATL subset: critical sections, threading models, the module objects (base,
// COM and DLL module) with the object map, and connection-point advice.
// Included by atlbase.h.
//
// ATL lives in each module that uses it (a static library), so every module
// has its own base module, object map and module object.
#pragma once

#include <objbase.h>
#include <ocidl.h>

#include <climits>
#include <mutex>

// Each module keeps its own ATL state: the module's globals, and the
// functions that reach them, are not seen from other modules.
#define ATL_MODULE_LOCAL __attribute__((visibility("hidden")))

namespace ATL {

class CComCriticalSection {
 public:
  HRESULT Lock() {
    m_sec.lock();
    return S_OK;
  }
  HRESULT Unlock() {
    m_sec.unlock();
    return S_OK;
  }
  HRESULT Init() noexcept { return S_OK; }
  HRESULT Term() noexcept { return S_OK; }

 private:
  std::recursive_mutex m_sec;
};

class CComAutoCriticalSection : public CComCriticalSection {};

class CComFakeCriticalSection {
 public:
  HRESULT Lock() noexcept { return S_OK; }
  HRESULT Unlock() noexcept { return S_OK; }
  HRESULT Init() noexcept { return S_OK; }
  HRESULT Term() noexcept { return S_OK; }
};

template <class TLock>
class CComCritSecLock {
 public:
  explicit CComCritSecLock(TLock& cs, bool bInitialLock = true) : m_cs(cs), m_bLocked(false) {
    if (bInitialLock) Lock();
  }
  ~CComCritSecLock() {
    if (m_bLocked) Unlock();
  }
  CComCritSecLock(const CComCritSecLock&) = delete;
  CComCritSecLock& operator=(const CComCritSecLock&) = delete;
  HRESULT Lock() {
    HRESULT hr = m_cs.Lock();
    if (SUCCEEDED(hr)) m_bLocked = true;
    return hr;
  }
  void Unlock() {
    m_cs.Unlock();
    m_bLocked = false;
  }

 private:
  TLock& m_cs;
  bool m_bLocked;
};

// Reference counting: plain for objects of one thread, atomic otherwise.
class CComSingleThreadModel {
 public:
  static ULONG WINAPI Increment(LONG* p) noexcept { return static_cast<ULONG>(++(*p)); }
  static ULONG WINAPI Decrement(LONG* p) noexcept { return static_cast<ULONG>(--(*p)); }
  typedef CComFakeCriticalSection AutoCriticalSection;
  typedef CComFakeCriticalSection CriticalSection;
  typedef CComSingleThreadModel ThreadModelNoCS;
};

class CComMultiThreadModelNoCS {
 public:
  static ULONG WINAPI Increment(LONG* p) noexcept { return static_cast<ULONG>(__atomic_add_fetch(p, 1, __ATOMIC_SEQ_CST)); }
  static ULONG WINAPI Decrement(LONG* p) noexcept { return static_cast<ULONG>(__atomic_sub_fetch(p, 1, __ATOMIC_SEQ_CST)); }
  typedef CComFakeCriticalSection AutoCriticalSection;
  typedef CComFakeCriticalSection CriticalSection;
  typedef CComMultiThreadModelNoCS ThreadModelNoCS;
};

class CComMultiThreadModel {
 public:
  static ULONG WINAPI Increment(LONG* p) noexcept { return CComMultiThreadModelNoCS::Increment(p); }
  static ULONG WINAPI Decrement(LONG* p) noexcept { return CComMultiThreadModelNoCS::Decrement(p); }
  typedef CComAutoCriticalSection AutoCriticalSection;
  typedef CComCriticalSection CriticalSection;
  typedef CComMultiThreadModelNoCS ThreadModelNoCS;
};

typedef CComSingleThreadModel CComObjectThreadModel;
typedef CComMultiThreadModel CComGlobalsThreadModel;

// The module's instance: the module this copy of ATL was linked into.
class CAtlBaseModule {
 public:
  HINSTANCE GetModuleInstance() noexcept;
  HINSTANCE GetResourceInstance() noexcept;
  HINSTANCE SetResourceInstance(HINSTANCE hInst) noexcept;

 private:
  HINSTANCE m_hInstResource = nullptr;  // null: the module itself
};
extern CAtlBaseModule _AtlBaseModule ATL_MODULE_LOCAL;

// Object map.
typedef HRESULT(WINAPI _ATL_CREATORFUNC)(void* pv, REFIID riid, LPVOID* ppv);

struct _ATL_CATMAP_ENTRY {
  int iType;
  const GUID* pcatid;
};
#define _ATL_CATMAP_ENTRY_END 0
#define _ATL_CATMAP_ENTRY_IMPLEMENTED 1
#define _ATL_CATMAP_ENTRY_REQUIRED 2

struct _ATL_OBJMAP_ENTRY {
  const CLSID* pclsid;
  HRESULT(WINAPI* pfnUpdateRegistry)(BOOL bRegister);
  _ATL_CREATORFUNC* pfnGetClassObject;  // makes the class factory
  _ATL_CREATORFUNC* pfnCreateInstance;  // makes an object, handed to the factory
  IUnknown* pCF;                        // the factory, once made
  DWORD dwRegister;
  LPCWSTR(WINAPI* pfnGetObjectDescription)();
  const _ATL_CATMAP_ENTRY*(WINAPI* pfnGetCategoryMap)();
  void(WINAPI* pfnObjectMain)(bool bStarting);
  _ATL_OBJMAP_ENTRY* pNext;  // the next entry in map order
};

// The module's COM side: the object map and its class factories.
class CAtlComModule {
 public:
  constexpr CAtlComModule() noexcept {}
  // Releases every class factory made.
  ~CAtlComModule();
  CAtlComModule(const CAtlComModule&) = delete;
  CAtlComModule& operator=(const CAtlComModule&) = delete;

  // Appends an entry (OBJECT_ENTRY_AUTO, in the order of definition).
  void AddObjectEntry(_ATL_OBJMAP_ENTRY* entry) noexcept;
  void ExecuteObjectMain(bool bStarting) noexcept;
  HRESULT GetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) noexcept;
  HRESULT RegisterServer(BOOL bRegTypeLib = FALSE, const CLSID* pCLSID = nullptr) noexcept;
  HRESULT UnregisterServer(BOOL bUnRegTypeLib, const CLSID* pCLSID = nullptr) noexcept;
  void Term() noexcept;

  _ATL_OBJMAP_ENTRY* m_pFirstEntry = nullptr;
  _ATL_OBJMAP_ENTRY* m_pLastEntry = nullptr;
  bool m_bStarted = false;  // the start routines have run
  std::mutex m_csObjMap;
};
extern CAtlComModule _AtlComModule ATL_MODULE_LOCAL;

// What a module adds to every registration script's replacements.
class IRegistrarBase {
 public:
  virtual HRESULT STDMETHODCALLTYPE AddReplacement(LPCOLESTR key, LPCOLESTR item) = 0;
  virtual HRESULT STDMETHODCALLTYPE ClearReplacements() = 0;

 protected:
  ~IRegistrarBase() = default;
};

struct _ATL_REGMAP_ENTRY {
  LPCOLESTR szKey;
  LPCOLESTR szData;
};

struct IGlobalInterfaceTable;

typedef void(WINAPI _ATL_TERMFUNC)(DWORD_PTR dw);

// The module object: lock count, the critical section of ATL's static data
// and type information, termination routines.
class CAtlModule {
 public:
  CAtlModule() noexcept;
  virtual ~CAtlModule();
  CAtlModule(const CAtlModule&) = delete;
  CAtlModule& operator=(const CAtlModule&) = delete;

  // Each returns the new count.
  virtual LONG Lock() noexcept;
  virtual LONG Unlock() noexcept;
  virtual LONG GetLockCount() noexcept;
  virtual HRESULT GetGITPtr(IGlobalInterfaceTable** ppGIT) noexcept;
  virtual HRESULT AddCommonRGSReplacements(IRegistrarBase* pRegistrar) noexcept = 0;

  // Runs `pFunc(dw)` when the module ends, newest first.
  HRESULT AddTermFunc(_ATL_TERMFUNC* pFunc, DWORD_PTR dw) noexcept;
  void Term() noexcept;

  // Script `nResID` (type "REGISTRY") of this module run through the
  // registrar, with "MODULE" (this module's full path) and the common
  // replacements.
  HRESULT UpdateRegistryFromResourceS(UINT nResID, BOOL bRegister, _ATL_REGMAP_ENTRY* pMapEntries = nullptr) noexcept;
  HRESULT UpdateRegistryFromResource(UINT nResID, BOOL bRegister, _ATL_REGMAP_ENTRY* pMapEntries = nullptr) noexcept {
    return UpdateRegistryFromResourceS(nResID, bRegister, pMapEntries);
  }

  static GUID m_libid ATL_MODULE_LOCAL;
  LONG m_nLockCnt;
  CComCriticalSection m_csStaticDataInitAndTypeInfo;

 private:
  struct TermFunc {
    _ATL_TERMFUNC* pFunc;
    DWORD_PTR dw;
    TermFunc* pNext;
  };
  TermFunc* m_pTermFuncs;
};
// The module object of this module, null before it is made and after it ends.
extern CAtlModule* _pAtlModule ATL_MODULE_LOCAL;

template <class T>
class CAtlModuleT : public CAtlModule {
 public:
  CAtlModuleT() noexcept { T::InitLibId(); }
  static void InitLibId() noexcept {}
  // No AppID of its own.
  static LPCOLESTR GetAppId() noexcept { return L""; }
  HRESULT AddCommonRGSReplacements(IRegistrarBase* pRegistrar) noexcept override {
    return pRegistrar->AddReplacement(L"APPID", T::GetAppId());
  }
};

// Registration of the whole module, the thread's locale held at the system
// default meanwhile and restored on every path.
ATL_MODULE_LOCAL HRESULT AtlModuleRegisterServer(CAtlComModule* pComModule, BOOL bRegTypeLib, const CLSID* pCLSID) noexcept;
ATL_MODULE_LOCAL HRESULT AtlModuleUnregisterServer(CAtlComModule* pComModule, BOOL bUnRegTypeLib, const CLSID* pCLSID) noexcept;

template <class T>
class CAtlDllModuleT : public CAtlModuleT<T> {
 public:
  CAtlDllModuleT() noexcept { _AtlComModule.ExecuteObjectMain(true); }
  ~CAtlDllModuleT() override { _AtlComModule.ExecuteObjectMain(false); }

  HRESULT DllCanUnloadNow() noexcept { return this->GetLockCount() == 0 ? S_OK : S_FALSE; }
  HRESULT DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) noexcept {
    return GetClassObject(rclsid, riid, ppv);
  }
  HRESULT GetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) noexcept {
    return _AtlComModule.GetClassObject(rclsid, riid, ppv);
  }
  HRESULT DllRegisterServer(BOOL bRegTypeLib = TRUE) noexcept {
    return AtlModuleRegisterServer(&_AtlComModule, bRegTypeLib, nullptr);
  }
  HRESULT DllUnregisterServer(BOOL bUnRegTypeLib = TRUE) noexcept {
    return AtlModuleUnregisterServer(&_AtlComModule, bUnRegTypeLib, nullptr);
  }
};

#define DECLARE_LIBID(libid) \
  static void InitLibId() noexcept { ::ATL::CAtlModule::m_libid = libid; }

// Per-user registration (type libraries under the user's keys): off unless
// switched on.
ATL_MODULE_LOCAL HRESULT AtlSetPerUserRegistration(bool bEnable) noexcept;
ATL_MODULE_LOCAL HRESULT AtlGetPerUserRegistration(bool* pbEnabled) noexcept;

// The type library of `hInstTypeLib`'s own file, registered or unregistered.
ATL_MODULE_LOCAL HRESULT AtlRegisterTypeLib(HINSTANCE hInstTypeLib, LPCOLESTR lpszIndex) noexcept;
ATL_MODULE_LOCAL HRESULT AtlUnRegisterTypeLib(HINSTANCE hInstTypeLib, LPCOLESTR lpszIndex) noexcept;
ATL_MODULE_LOCAL HRESULT AtlRegisterClassCategoriesHelper(REFCLSID clsid, const _ATL_CATMAP_ENTRY* pCatMap, BOOL bRegister) noexcept;

// `pUnk`'s sink advised on (or unadvised from) the connection point of `iid`
// in `pUnkCP`'s container.
ATL_MODULE_LOCAL HRESULT AtlAdvise(IUnknown* pUnkCP, IUnknown* pUnk, const IID& iid, LPDWORD pdw) noexcept;
ATL_MODULE_LOCAL HRESULT AtlUnadvise(IUnknown* pUnkCP, const IID& iid, DWORD dw) noexcept;

}  // namespace ATL
