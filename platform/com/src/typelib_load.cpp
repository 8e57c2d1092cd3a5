// Loading type libraries from files and modules, their registration under
// TypeLib and Interface, and loading them back by id, version and locale.
#include "typelib_model.h"

#include <objbase.h>
#include <stand_in/paths.h>

#include <algorithm>
#include <sys/stat.h>

namespace stand_in {
const char* TypeLibLoadError() { return typelib::LastError().c_str(); }
HRESULT LoadTypeLibFromMemory(const void* data, size_t size, ITypeLib** lib) {
  if (!lib) return E_INVALIDARG;
  *lib = nullptr;
  if (!data && size) return E_INVALIDARG;
  typelib::LastError().clear();
  return typelib::LoadFromMemory(static_cast<const uint8_t*>(data), size, L"", lib);
}
}  // namespace stand_in

namespace stand_in {
namespace typelib {
namespace {

bool IsFile(const std::wstring& path) {
  std::string native = NativePath(path);
  struct stat st;
  return !native.empty() && ::stat(native.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// A type library resource of a module read as a data file.
HRESULT LoadFromModule(const std::wstring& path, WORD id, const std::wstring& given, ITypeLib** out) {
  HMODULE module = LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (!module) {
    if (GetLastError() == ERROR_NOT_ENOUGH_MEMORY) return E_OUTOFMEMORY;
    LastError() = "the file is neither a type library nor a module with resources";
    return TYPE_E_CANTLOADLIBRARY;
  }
  HRSRC resource = FindResourceW(module, MAKEINTRESOURCEW(id), L"TYPELIB");
  const bool noMemory = !resource && GetLastError() == ERROR_NOT_ENOUGH_MEMORY;
  HGLOBAL data = resource ? LoadResource(module, resource) : nullptr;
  const void* bytes = data ? LockResource(data) : nullptr;
  const HRESULT hr =
      bytes ? LoadFromMemory(static_cast<const uint8_t*>(bytes), SizeofResource(module, resource), given, out)
            : (noMemory ? E_OUTOFMEMORY : TYPE_E_CANTLOADLIBRARY);
  FreeLibrary(module);
  if (hr == TYPE_E_CANTLOADLIBRARY && !bytes) LastError() = "the module has no TYPELIB resource " + std::to_string(id);
  return hr;
}

std::wstring GuidText(REFGUID guid) {
  wchar_t text[40];
  StringFromGUID2(guid, text, 40);
  return text;
}

std::wstring Hex(unsigned value) {
  wchar_t text[16];
  std::swprintf(text, 16, L"%x", value);
  return text;
}

const wchar_t* SyskindName(SYSKIND kind) {
  switch (kind) {
    case SYS_WIN16: return L"win16";
    case SYS_WIN32: return L"win32";
    case SYS_MAC: return L"mac";
    case SYS_WIN64: return L"win64";
  }
  return nullptr;
}

// One open key, closed when it goes.
class Key {
 public:
  Key() = default;
  Key(const Key&) = delete;
  Key& operator=(const Key&) = delete;
  ~Key() {
    if (key_) RegCloseKey(key_);
  }
  bool Open(HKEY parent, const std::wstring& path, REGSAM access = KEY_READ) {
    return RegOpenKeyExW(parent, path.c_str(), 0, access, &key_) == ERROR_SUCCESS;
  }
  bool Create(HKEY parent, const std::wstring& path) {
    return RegCreateKeyExW(parent, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key_,
                           nullptr) == ERROR_SUCCESS;
  }
  HKEY get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

bool SetString(HKEY parent, const std::wstring& path, const wchar_t* name, const std::wstring& value) {
  Key key;
  if (!key.Create(parent, path)) return false;
  return RegSetValueExW(key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                        static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

bool GetString(HKEY parent, const std::wstring& path, std::wstring& value) {
  Key key;
  if (!key.Open(parent, path)) return false;
  DWORD type = 0, size = 0;
  if (RegQueryValueExW(key.get(), nullptr, nullptr, &type, nullptr, &size) != ERROR_SUCCESS || type != REG_SZ)
    return false;
  std::vector<wchar_t> buffer(size / sizeof(wchar_t) + 1, L'\0');
  if (RegQueryValueExW(key.get(), nullptr, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &size) !=
      ERROR_SUCCESS)
    return false;
  value.assign(buffer.data());
  return true;
}

std::vector<std::wstring> SubKeys(HKEY parent, const std::wstring& path) {
  std::vector<std::wstring> names;
  Key key;
  if (!key.Open(parent, path)) return names;
  for (DWORD i = 0;; ++i) {
    wchar_t name[256];
    DWORD chars = 256;
    if (RegEnumKeyExW(key.get(), i, name, &chars, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    names.emplace_back(name, chars);
  }
  return names;
}

// Where registrations live: the machine's classes or the user's.
struct Roots {
  HKEY root;
  std::wstring prefix;
};
const Roots kMachine{HKEY_CLASSES_ROOT, L""};
const Roots kUser{HKEY_CURRENT_USER, L"Software\\Classes\\"};

HRESULT Register(ITypeLib* lib, const wchar_t* fullPath, const wchar_t* helpDir, const Roots& where) {
  if (!lib || !fullPath) return E_INVALIDARG;
  TLIBATTR* attr = nullptr;
  HRESULT hr = lib->GetLibAttr(&attr);
  if (FAILED(hr)) return hr;
  const TLIBATTR a = *attr;
  lib->ReleaseTLibAttr(attr);
  const wchar_t* sys = SyskindName(a.syskind);
  if (!sys) return TYPE_E_REGISTRYACCESS;
  BSTR name = nullptr, doc = nullptr;
  hr = lib->GetDocumentation(-1, &name, &doc, nullptr, nullptr);
  if (FAILED(hr)) return hr;
  std::wstring title = doc ? doc : (name ? name : L"");
  SysFreeString(name);
  SysFreeString(doc);

  const std::wstring libid = GuidText(a.guid);
  const std::wstring version = Hex(a.wMajorVerNum) + L"." + Hex(a.wMinorVerNum);
  const std::wstring base = where.prefix + L"TypeLib\\" + libid + L"\\" + version;
  bool ok = SetString(where.root, base, nullptr, title) &&
            SetString(where.root, base + L"\\" + Hex(a.lcid) + L"\\" + sys, nullptr, fullPath) &&
            SetString(where.root, base + L"\\FLAGS", nullptr, std::to_wstring(a.wLibFlags)) &&
            SetString(where.root, base + L"\\HELPDIR", nullptr, helpDir ? helpDir : L"");
  if (!ok) return TYPE_E_REGISTRYACCESS;

  // Interfaces that automation marshals, each pointing back at the library.
  for (UINT i = 0; i < lib->GetTypeInfoCount(); ++i) {
    ITypeInfo* info = nullptr;
    if (FAILED(lib->GetTypeInfo(i, &info))) continue;
    TYPEATTR* ta = nullptr;
    if (SUCCEEDED(info->GetTypeAttr(&ta))) {
      const bool dispatch = ta->typekind == TKIND_DISPATCH;
      const bool automation = ta->typekind == TKIND_INTERFACE && (ta->wTypeFlags & TYPEFLAG_FOLEAUTOMATION);
      if (dispatch || automation) {
        BSTR typeName = nullptr;
        info->GetDocumentation(MEMBERID_NIL, &typeName, nullptr, nullptr, nullptr);
        // A pure dispinterface goes through IDispatch's marshaller, the others through automation's.
        const bool pure = dispatch && !(ta->wTypeFlags & TYPEFLAG_FDUAL);
        const std::wstring proxy = pure ? L"{00020420-0000-0000-C000-000000000046}" : L"{00020424-0000-0000-C000-000000000046}";
        const std::wstring key = where.prefix + L"Interface\\" + GuidText(ta->guid);
        ok = SetString(where.root, key, nullptr, typeName ? typeName : L"") &&
             SetString(where.root, key + L"\\ProxyStubClsid", nullptr, proxy) &&
             SetString(where.root, key + L"\\ProxyStubClsid32", nullptr, proxy) &&
             SetString(where.root, key + L"\\TypeLib", nullptr, libid) &&
             SetString(where.root, key + L"\\TypeLib", L"Version", Hex(a.wMajorVerNum) + L"." + Hex(a.wMinorVerNum));
        SysFreeString(typeName);
      }
      info->ReleaseTypeAttr(ta);
    }
    info->Release();
    if (!ok) return TYPE_E_REGISTRYACCESS;
  }
  return S_OK;
}

bool IsEmptyKey(HKEY root, const std::wstring& path) {
  Key key;
  if (!key.Open(root, path)) return false;
  DWORD subKeys = 0, values = 0;
  if (RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, &values, nullptr, nullptr,
                       nullptr, nullptr) != ERROR_SUCCESS)
    return false;
  return subKeys == 0;
}

HRESULT Unregister(REFGUID libid, WORD major, WORD minor, LCID lcid, SYSKIND syskind, const Roots& where) {
  const wchar_t* sys = SyskindName(syskind);
  if (!sys) return E_INVALIDARG;
  const std::wstring id = GuidText(libid);
  const std::wstring version = where.prefix + L"TypeLib\\" + id + L"\\" + Hex(major) + L"." + Hex(minor);
  const std::wstring lcidKey = version + L"\\" + Hex(lcid);
  std::wstring path;
  if (!GetString(where.root, lcidKey + L"\\" + sys, path)) return TYPE_E_REGISTRYACCESS;

  // The interfaces the library registered, as far as it can still be read.
  ITypeLib* lib = nullptr;
  if (SUCCEEDED(LoadTypeLibEx(path.c_str(), REGKIND_NONE, &lib))) {
    for (UINT i = 0; i < lib->GetTypeInfoCount(); ++i) {
      ITypeInfo* info = nullptr;
      if (FAILED(lib->GetTypeInfo(i, &info))) continue;
      TYPEATTR* ta = nullptr;
      if (SUCCEEDED(info->GetTypeAttr(&ta))) {
        const std::wstring key = where.prefix + L"Interface\\" + GuidText(ta->guid);
        std::wstring owner;
        if (GetString(where.root, key + L"\\TypeLib", owner) && _wcsicmp(owner.c_str(), id.c_str()) == 0)
          RegDeleteTreeW(where.root, key.c_str());
        info->ReleaseTypeAttr(ta);
      }
      info->Release();
    }
    lib->Release();
  }

  if (RegDeleteTreeW(where.root, (lcidKey + L"\\" + sys).c_str()) != ERROR_SUCCESS) return TYPE_E_REGISTRYACCESS;
  if (IsEmptyKey(where.root, lcidKey)) RegDeleteKeyW(where.root, lcidKey.c_str());
  // The version goes once no locale is left under it: FLAGS and HELPDIR are its own.
  bool otherLocale = false;
  for (const std::wstring& sub : SubKeys(where.root, version))
    if (_wcsicmp(sub.c_str(), L"FLAGS") != 0 && _wcsicmp(sub.c_str(), L"HELPDIR") != 0) otherLocale = true;
  if (!otherLocale) RegDeleteTreeW(where.root, version.c_str());
  const std::wstring libKey = where.prefix + L"TypeLib\\" + id;
  if (IsEmptyKey(where.root, libKey)) RegDeleteKeyW(where.root, libKey.c_str());
  return S_OK;
}

// The registered path of a library: same major version, the highest minor at
// least the one asked for; the locale, its primary language, then neutral;
// this platform's entry, else the 32-bit one. The user's classes come first.
HRESULT FindRegistered(REFGUID libid, WORD major, WORD minor, LCID lcid, std::wstring& path) {
  const std::wstring id = GuidText(libid);
  int best = -1;
  for (const Roots* where : {&kUser, &kMachine}) {
    for (const std::wstring& v : SubKeys(where->root, where->prefix + L"TypeLib\\" + id)) {
      unsigned maj = 0, min = 0;
      wchar_t extra = 0;
      if (std::swscanf(v.c_str(), L"%x.%x%lc", &maj, &min, &extra) != 2) continue;
      if (maj == major && min >= minor && static_cast<int>(min) > best) best = static_cast<int>(min);
    }
  }
  if (best < 0) return TYPE_E_LIBNOTREGISTERED;
  const std::wstring version = L"TypeLib\\" + id + L"\\" + Hex(major) + L"." + Hex(static_cast<unsigned>(best));
  const LCID primary = lcid & 0x3FF;
  for (LCID l : {lcid, primary, LCID{0}}) {
    for (const wchar_t* sys : {L"win64", L"win32"}) {
      for (const Roots* where : {&kUser, &kMachine}) {
        if (GetString(where->root, where->prefix + version + L"\\" + Hex(l) + L"\\" + sys, path)) return S_OK;
      }
    }
  }
  return TYPE_E_LIBNOTREGISTERED;
}

}  // namespace
}  // namespace typelib
}  // namespace stand_in

using namespace stand_in::typelib;

HRESULT WINAPI LoadTypeLibEx(LPCOLESTR file, REGKIND kind, ITypeLib** lib) {
  if (!lib) return E_INVALIDARG;
  *lib = nullptr;
  if (!file) return E_INVALIDARG;
  LastError().clear();
  try {
    std::wstring path(file);
    WORD resource = 1;
    // "module\N" selects the module's TYPELIB resource N.
    if (!IsFile(path)) {
      size_t slash = path.find_last_of(L"\\/");
      if (slash != std::wstring::npos && slash + 1 < path.size() &&
          std::all_of(path.begin() + static_cast<long>(slash) + 1, path.end(), [](wchar_t c) { return c >= L'0' && c <= L'9'; }) &&
          path.size() - slash - 1 <= 5) {
        unsigned long n = std::wcstoul(path.c_str() + slash + 1, nullptr, 10);
        if (n > 0 && n <= 0xFFFF && IsFile(path.substr(0, slash))) {
          resource = static_cast<WORD>(n);
          path.resize(slash);
        }
      }
    }
    std::vector<uint8_t> data;
    if (!IsFile(path) || !stand_in::ReadWholeFile(stand_in::NativePath(path), data)) {
      LastError() = "no such file";
      return TYPE_E_CANTLOADLIBRARY;
    }
    HRESULT hr;
    if (data.size() >= 4 && (std::memcmp(data.data(), "MSFT", 4) == 0 || std::memcmp(data.data(), "SLTG", 4) == 0) &&
        resource == 1) {
      hr = LoadFromMemory(data.data(), data.size(), std::wstring(file), lib);
    } else {
      hr = LoadFromModule(path, resource, std::wstring(file), lib);
    }
    if (FAILED(hr)) return hr;
    if (kind == REGKIND_REGISTER) {
      hr = RegisterTypeLib(*lib, file, nullptr);
      if (FAILED(hr)) {
        (*lib)->Release();
        *lib = nullptr;
        return hr;
      }
    }
    return S_OK;
  } catch (const std::bad_alloc&) {
    if (*lib) (*lib)->Release();
    *lib = nullptr;
    return E_OUTOFMEMORY;
  }
}

HRESULT WINAPI LoadTypeLib(LPCOLESTR file, ITypeLib** lib) { return LoadTypeLibEx(file, REGKIND_DEFAULT, lib); }

HRESULT WINAPI QueryPathOfRegTypeLib(REFGUID libid, USHORT major, USHORT minor, LCID lcid, LPBSTR path) {
  if (!path) return E_INVALIDARG;
  *path = nullptr;
  try {
    std::wstring found;
    HRESULT hr = FindRegistered(libid, major, minor, lcid, found);
    if (FAILED(hr)) return hr;
    *path = SysAllocString(found.c_str());
    return *path ? S_OK : E_OUTOFMEMORY;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

HRESULT WINAPI LoadRegTypeLib(REFGUID libid, WORD major, WORD minor, LCID lcid, ITypeLib** lib) {
  if (!lib) return E_INVALIDARG;
  *lib = nullptr;
  BSTR path = nullptr;
  HRESULT hr = QueryPathOfRegTypeLib(libid, major, minor, lcid, &path);
  if (FAILED(hr)) return hr;
  hr = LoadTypeLibEx(path, REGKIND_NONE, lib);
  SysFreeString(path);
  return hr;
}

HRESULT WINAPI RegisterTypeLib(ITypeLib* lib, LPCOLESTR fullPath, LPCOLESTR helpDir) {
  try {
    return Register(lib, fullPath, helpDir, kMachine);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

HRESULT WINAPI RegisterTypeLibForUser(ITypeLib* lib, OLECHAR* fullPath, OLECHAR* helpDir) {
  try {
    return Register(lib, fullPath, helpDir, kUser);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

HRESULT WINAPI UnRegisterTypeLib(REFGUID libid, WORD major, WORD minor, LCID lcid, SYSKIND syskind) {
  try {
    return Unregister(libid, major, minor, lcid, syskind, kMachine);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

HRESULT WINAPI UnRegisterTypeLibForUser(REFGUID libid, WORD major, WORD minor, LCID lcid, SYSKIND syskind) {
  try {
    return Unregister(libid, major, minor, lcid, syskind, kUser);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

HRESULT WINAPI DispGetIDsOfNames(ITypeInfo* info, OLECHAR** names, UINT count, DISPID* ids) {
  if (!info) return E_INVALIDARG;
  return info->GetIDsOfNames(names, count, ids);
}

HRESULT WINAPI DispInvoke(void* instance, ITypeInfo* info, DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result,
                          EXCEPINFO* exception, UINT* argError) {
  if (!info) return E_INVALIDARG;
  return info->Invoke(instance, id, flags, params, result, exception, argError);
}
