// COM's entry per thread and the activation of in-process servers from the
// registry. The modules COM loads are kept, one load each, with the
// apartment they were loaded for, until CoFreeUnusedLibraries finds them
// unused or their apartment closes. No lock of COM's is held while a module
// is loaded, asked or freed: their DllMain and DllCanUnloadNow may call back.
#include <objbase.h>
#include <unknwn.h>
#include <windows.h>

#include <mutex>
#include <new>
#include <string>
#include <thread>
#include <vector>

namespace {

// The multithreaded apartment, or a single-threaded one: its thread.
struct Apartment {
  bool multithreaded = false;
  std::thread::id thread;
  bool operator==(const Apartment& other) const {
    return multithreaded == other.multithreaded && (multithreaded || thread == other.thread);
  }
};

struct ThreadState {
  unsigned count = 0;  // CoInitialize calls not yet balanced
  bool multithreaded = false;
};

thread_local ThreadState t_com;

struct LoadedServer {
  HMODULE module;
  Apartment apartment;
};

std::mutex& ComLock() {
  static std::mutex mutex;
  return mutex;
}

std::vector<LoadedServer>& Servers() {
  static std::vector<LoadedServer> servers;
  return servers;
}

unsigned& MultithreadedThreads() {
  static unsigned count = 0;
  return count;
}

Apartment CurrentApartment() {
  Apartment apartment;
  apartment.multithreaded = t_com.multithreaded;
  apartment.thread = std::this_thread::get_id();
  return apartment;
}

// Takes the servers of `apartment` (those `which` accepts) out of the list.
template <class Which>
std::vector<HMODULE> TakeServers(const Apartment& apartment, Which which) {
  std::vector<HMODULE> taken;
  std::lock_guard<std::mutex> lock(ComLock());
  std::vector<LoadedServer>& servers = Servers();
  for (size_t i = servers.size(); i-- > 0;) {
    if (!(servers[i].apartment == apartment) || !which(servers[i].module)) continue;
    taken.push_back(servers[i].module);
    servers.erase(servers.begin() + static_cast<std::ptrdiff_t>(i));
  }
  return taken;
}

HRESULT ResultOfLastError(DWORD fallback) {
  const DWORD error = GetLastError();
  return HRESULT_FROM_WIN32(error ? error : fallback);
}

// The module path registered for the class.
HRESULT ServerPath(REFCLSID clsid, std::wstring& path) {
  wchar_t text[40];
  if (StringFromGUID2(clsid, text, 40) == 0) return E_UNEXPECTED;
  const std::wstring keyName = std::wstring(L"CLSID\\") + text + L"\\InprocServer32";
  HKEY key = nullptr;
  LSTATUS status = RegOpenKeyExW(HKEY_CLASSES_ROOT, keyName.c_str(), 0, KEY_READ, &key);
  if (status == ERROR_FILE_NOT_FOUND) return REGDB_E_CLASSNOTREG;
  if (status != ERROR_SUCCESS) return REGDB_E_READREGDB;
  DWORD type = 0, size = 0;
  status = RegQueryValueExW(key, nullptr, nullptr, &type, nullptr, &size);
  std::vector<wchar_t> data;
  if (status == ERROR_SUCCESS && type == REG_SZ) {
    data.resize(size / sizeof(wchar_t) + 1, 0);
    status = RegQueryValueExW(key, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size);
  }
  RegCloseKey(key);
  if (status == ERROR_FILE_NOT_FOUND) return REGDB_E_CLASSNOTREG;
  if (status != ERROR_SUCCESS || type != REG_SZ) return REGDB_E_READREGDB;
  path.assign(data.data());
  // A quoted path names the same file.
  if (path.size() >= 2 && path.front() == L'"' && path.back() == L'"') path = path.substr(1, path.size() - 2);
  if (path.empty()) return CO_E_DLLNOTFOUND;
  return S_OK;
}

typedef HRESULT(STDAPICALLTYPE* GetClassObjectEntry)(REFCLSID, REFIID, LPVOID*);
typedef HRESULT(STDAPICALLTYPE* CanUnloadEntry)();

// Loads the module for the caller's apartment, once.
HRESULT LoadServer(const std::wstring& path, HMODULE& module) {
  SetLastError(0);
  module = LoadLibraryW(path.c_str());
  if (!module) return ResultOfLastError(ERROR_MOD_NOT_FOUND);
  bool known = false;
  {
    std::lock_guard<std::mutex> lock(ComLock());
    const Apartment apartment = CurrentApartment();
    for (const LoadedServer& server : Servers())
      if (server.module == module && server.apartment == apartment) known = true;
    if (!known) Servers().push_back(LoadedServer{module, apartment});
  }
  if (known) FreeLibrary(module);  // COM keeps one load of it
  return S_OK;
}

void ForgetServer(HMODULE module) {
  const Apartment apartment = CurrentApartment();
  if (!TakeServers(apartment, [module](HMODULE m) { return m == module; }).empty()) FreeLibrary(module);
}

}  // namespace

HRESULT WINAPI CoInitializeEx(LPVOID reserved, DWORD coinit) {
  if (reserved || (coinit & ~DWORD(COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE | COINIT_SPEED_OVER_MEMORY)))
    return E_INVALIDARG;
  const bool multithreaded = !(coinit & COINIT_APARTMENTTHREADED);
  if (t_com.count > 0) {
    if (t_com.multithreaded != multithreaded) return RPC_E_CHANGED_MODE;
    ++t_com.count;
    return S_FALSE;
  }
  t_com.count = 1;
  t_com.multithreaded = multithreaded;
  if (multithreaded) {
    std::lock_guard<std::mutex> lock(ComLock());
    ++MultithreadedThreads();
  }
  return S_OK;
}

HRESULT WINAPI CoInitialize(LPVOID reserved) { return CoInitializeEx(reserved, COINIT_APARTMENTTHREADED); }

void WINAPI CoUninitialize() {
  if (t_com.count == 0) return;  // unbalanced: nothing to close
  if (--t_com.count > 0) return;
  const Apartment apartment = CurrentApartment();
  bool closing = true;
  if (t_com.multithreaded) {
    std::lock_guard<std::mutex> lock(ComLock());
    closing = --MultithreadedThreads() == 0;
  }
  if (!closing) return;
  try {
    for (HMODULE module : TakeServers(apartment, [](HMODULE) { return true; })) FreeLibrary(module);
  } catch (const std::bad_alloc&) {
    // The modules stay loaded; nothing else is lost.
  }
}

HRESULT WINAPI CoGetClassObject(REFCLSID clsid, DWORD context, COSERVERINFO* server, REFIID iid, LPVOID* object) {
  if (!object) return E_INVALIDARG;
  *object = nullptr;
  if (t_com.count == 0) return CO_E_NOTINITIALIZED;
  if (server) return E_INVALIDARG;
  // Only in-process servers exist here; a class is never registered otherwise.
  if (!(context & CLSCTX_INPROC_SERVER)) return REGDB_E_CLASSNOTREG;
  try {
    std::wstring path;
    HRESULT hr = ServerPath(clsid, path);
    if (FAILED(hr)) return hr;
    HMODULE module = nullptr;
    hr = LoadServer(path, module);
    if (FAILED(hr)) return hr;
    auto entry = reinterpret_cast<GetClassObjectEntry>(reinterpret_cast<void*>(GetProcAddress(module, "DllGetClassObject")));
    if (!entry) {
      ForgetServer(module);
      return CO_E_ERRORINDLL;
    }
    hr = entry(clsid, iid, object);
    if (FAILED(hr)) *object = nullptr;
    else if (!*object) hr = E_UNEXPECTED;
    return hr;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_UNEXPECTED;
  }
}

HRESULT WINAPI CoCreateInstance(REFCLSID clsid, LPUNKNOWN outer, DWORD context, REFIID iid, LPVOID* object) {
  if (!object) return E_INVALIDARG;
  *object = nullptr;
  IClassFactory* factory = nullptr;
  HRESULT hr = CoGetClassObject(clsid, context, nullptr, IID_IClassFactory, reinterpret_cast<void**>(&factory));
  if (FAILED(hr)) return hr;
  hr = factory->CreateInstance(outer, iid, object);
  factory->Release();
  if (FAILED(hr)) *object = nullptr;
  return hr;
}

void WINAPI CoFreeUnusedLibraries() {
  if (t_com.count == 0) return;
  try {
    const Apartment apartment = CurrentApartment();
    std::vector<HMODULE> candidates;
    {
      std::lock_guard<std::mutex> lock(ComLock());
      for (const LoadedServer& server : Servers())
        if (server.apartment == apartment) candidates.push_back(server.module);
    }
    for (HMODULE module : candidates) {
      auto canUnload = reinterpret_cast<CanUnloadEntry>(reinterpret_cast<void*>(GetProcAddress(module, "DllCanUnloadNow")));
      if (!canUnload || canUnload() != S_OK) continue;
      ForgetServer(module);
    }
  } catch (...) {
    // What could not be checked stays loaded.
  }
}
