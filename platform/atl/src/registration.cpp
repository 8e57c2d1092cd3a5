// Registration of a module: the object map's hooks and categories, then the
// module's own type library.
#include <atlbase.h>
#include <atlcom.h>

#include "module_file.h"

#include <new>
#include <vector>

namespace ATL {

namespace internal {

HRESULT ModuleFile(HINSTANCE instance, std::vector<wchar_t>& path) {
  if (!instance) return E_UNEXPECTED;
  for (DWORD size = MAX_PATH; size <= 32768; size *= 2) {
    path.assign(size, L'\0');
    const DWORD n = GetModuleFileNameW(instance, path.data(), size);
    if (n == 0) {
      const DWORD error = GetLastError();
      return error ? HRESULT_FROM_WIN32(error) : E_FAIL;
    }
    if (n < size) return S_OK;
  }
  return HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE);
}

}  // namespace internal

namespace {

typedef HRESULT(WINAPI* RegisterTypeLibFunc)(ITypeLib*, OLECHAR*, OLECHAR*);
typedef HRESULT(WINAPI* UnRegisterTypeLibFunc)(REFGUID, WORD, WORD, LCID, SYSKIND);

// A per-user function of the loaded OLE Automation library, null when the
// lookup fails.
FARPROC OleAutomationFunction(const char* name) {
  HMODULE oleaut = GetModuleHandleW(L"OLEAUT32.DLL");
  return oleaut ? GetProcAddress(oleaut, name) : nullptr;
}

template <class F>
F FunctionCast(FARPROC proc) {
  return reinterpret_cast<F>(reinterpret_cast<void (*)()>(proc));
}

// The thread's locale held at the system default for a registration, and
// given back however the registration ends.
class SystemLocale {
 public:
  SystemLocale() : saved_(GetThreadLocale()) { SetThreadLocale(LOCALE_SYSTEM_DEFAULT); }
  ~SystemLocale() { SetThreadLocale(saved_); }
  SystemLocale(const SystemLocale&) = delete;
  SystemLocale& operator=(const SystemLocale&) = delete;

 private:
  LCID saved_;
};

// The type library of the module's own file.
HRESULT LoadModuleTypeLib(HINSTANCE instance, std::vector<wchar_t>& path, ITypeLib** lib) {
  *lib = nullptr;
  HRESULT hr = internal::ModuleFile(instance, path);
  if (FAILED(hr)) return hr;
  hr = LoadTypeLib(path.data(), lib);
  if (SUCCEEDED(hr) && !*lib) hr = E_UNEXPECTED;
  return hr;
}

bool PerUser() {
  bool perUser = false;
  AtlGetPerUserRegistration(&perUser);
  return perUser;
}

HRESULT RunHook(const _ATL_OBJMAP_ENTRY& entry, BOOL bRegister) {
  if (!entry.pfnUpdateRegistry) return S_OK;
  try {
    return entry.pfnUpdateRegistry(bRegister);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_UNEXPECTED;
  }
}

HRESULT RunCategories(const _ATL_OBJMAP_ENTRY& entry, BOOL bRegister) {
  const _ATL_CATMAP_ENTRY* map = entry.pfnGetCategoryMap ? entry.pfnGetCategoryMap() : nullptr;
  return AtlRegisterClassCategoriesHelper(*entry.pclsid, map, bRegister);
}

}  // namespace

HRESULT AtlRegisterTypeLib(HINSTANCE hInstTypeLib, LPCOLESTR lpszIndex) noexcept {
  if (lpszIndex) return E_INVALIDARG;  // only the module's first type library
  try {
    std::vector<wchar_t> path;
    ITypeLib* lib = nullptr;
    HRESULT hr = LoadModuleTypeLib(hInstTypeLib, path, &lib);
    if (FAILED(hr)) return hr;
    RegisterTypeLibFunc forUser = nullptr;
    if (PerUser()) forUser = FunctionCast<RegisterTypeLibFunc>(OleAutomationFunction("RegisterTypeLibForUser"));
    // The library names no help file: no help directory.
    hr = forUser ? forUser(lib, path.data(), nullptr) : RegisterTypeLib(lib, path.data(), nullptr);
    lib->Release();
    return hr;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

HRESULT AtlUnRegisterTypeLib(HINSTANCE hInstTypeLib, LPCOLESTR lpszIndex) noexcept {
  if (lpszIndex) return E_INVALIDARG;
  try {
    std::vector<wchar_t> path;
    ITypeLib* lib = nullptr;
    HRESULT hr = LoadModuleTypeLib(hInstTypeLib, path, &lib);
    if (FAILED(hr)) return hr;
    TLIBATTR* attr = nullptr;
    hr = lib->GetLibAttr(&attr);
    if (SUCCEEDED(hr) && !attr) hr = E_UNEXPECTED;
    if (SUCCEEDED(hr)) {
      UnRegisterTypeLibFunc forUser = nullptr;
      if (PerUser())
        forUser = FunctionCast<UnRegisterTypeLibFunc>(OleAutomationFunction("UnRegisterTypeLibForUser"));
      hr = forUser ? forUser(attr->guid, attr->wMajorVerNum, attr->wMinorVerNum, attr->lcid, attr->syskind)
                   : UnRegisterTypeLib(attr->guid, attr->wMajorVerNum, attr->wMinorVerNum, attr->lcid,
                                       attr->syskind);
      lib->ReleaseTLibAttr(attr);
    }
    lib->Release();
    return hr;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

HRESULT CAtlComModule::RegisterServer(BOOL bRegTypeLib, const CLSID* pCLSID) noexcept {
  HRESULT hr = S_OK;
  for (_ATL_OBJMAP_ENTRY* e = m_pFirstEntry; e; e = e->pNext) {
    if (pCLSID && *pCLSID != *e->pclsid) continue;
    hr = RunHook(*e, TRUE);
    if (FAILED(hr)) return hr;
    hr = RunCategories(*e, TRUE);
    if (FAILED(hr)) return hr;
  }
  if (bRegTypeLib) hr = AtlRegisterTypeLib(_AtlBaseModule.GetModuleInstance(), nullptr);
  return hr;
}

HRESULT CAtlComModule::UnregisterServer(BOOL bUnRegTypeLib, const CLSID* pCLSID) noexcept {
  HRESULT hr = S_OK;
  for (_ATL_OBJMAP_ENTRY* e = m_pFirstEntry; e; e = e->pNext) {
    if (pCLSID && *pCLSID != *e->pclsid) continue;
    hr = RunCategories(*e, FALSE);
    if (FAILED(hr)) return hr;
    hr = RunHook(*e, FALSE);
    if (FAILED(hr)) return hr;
  }
  if (bUnRegTypeLib) hr = AtlUnRegisterTypeLib(_AtlBaseModule.GetModuleInstance(), nullptr);
  return FAILED(hr) ? hr : S_OK;
}

HRESULT AtlModuleRegisterServer(CAtlComModule* pComModule, BOOL bRegTypeLib, const CLSID* pCLSID) noexcept {
  if (!pComModule) return E_INVALIDARG;
  SystemLocale locale;
  return pComModule->RegisterServer(bRegTypeLib, pCLSID);
}

HRESULT AtlModuleUnregisterServer(CAtlComModule* pComModule, BOOL bUnRegTypeLib, const CLSID* pCLSID) noexcept {
  if (!pComModule) return E_INVALIDARG;
  SystemLocale locale;
  return pComModule->UnregisterServer(bUnRegTypeLib, pCLSID);
}

}  // namespace ATL
