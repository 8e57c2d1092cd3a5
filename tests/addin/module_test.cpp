// The built server Tessaly.dll, loaded as the host loads it: its exports,
// its registration in a registry file of the test's own, its class
// factories and its unload answer.
#include <windows.h>
#include <objbase.h>
#include <oaidl.h>

#include <gtest/gtest.h>

#include "HostApi.h"
#include "Tessaly_i.h"
#include "stand_in/paths.h"
#include "stand_in/text.h"

#include <dlfcn.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

// Every key the process creates, in order, while `g_recording` is set: this
// program's definition comes first in the process's symbol lookup, so the
// loaded module's registrar and the type library registration call it; it
// hands each call on to the platform's own.
namespace {
bool g_recording = false;
std::vector<std::wstring> g_created;
}  // namespace

LSTATUS WINAPI RegCreateKeyExW(HKEY key, LPCWSTR sub_key, DWORD reserved, LPWSTR key_class, DWORD options,
                               REGSAM desired, const LPSECURITY_ATTRIBUTES security, PHKEY result,
                               LPDWORD disposition) {
  typedef LSTATUS (*Real)(HKEY, LPCWSTR, DWORD, LPWSTR, DWORD, REGSAM, const LPSECURITY_ATTRIBUTES, PHKEY, LPDWORD);
  static Real real = [] {
    Dl_info self{};
    if (!dladdr(reinterpret_cast<void*>(&RegCreateKeyExW), &self) || !self.dli_sname) std::abort();
    return reinterpret_cast<Real>(dlsym(RTLD_NEXT, self.dli_sname));
  }();
  if (!real) std::abort();
  if (g_recording && sub_key) {
    const wchar_t* root = key == HKEY_CLASSES_ROOT ? L"HKCR" : key == HKEY_LOCAL_MACHINE ? L"HKLM" : L"*";
    g_created.push_back(std::wstring(root) + L"\\" + sub_key);
  }
  return real(key, sub_key, reserved, key_class, options, desired, security, result, disposition);
}

namespace {

namespace fs = std::filesystem;

typedef HRESULT(STDAPICALLTYPE* Entry)();
typedef HRESULT(STDAPICALLTYPE* GetClassObjectEntry)(REFCLSID, REFIID, LPVOID*);

std::wstring Text(REFGUID guid) {
  wchar_t text[40];
  StringFromGUID2(guid, text, 40);
  return text;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

bool KeyExists(HKEY root, const std::wstring& path) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

// A string value; "<none>" when missing, "<type N>" when no string.
std::wstring StringValue(HKEY root, const std::wstring& path, const wchar_t* name) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return L"<no key>";
  wchar_t data[1024] = {};
  DWORD size = sizeof data - sizeof(wchar_t), type = 0;
  const LSTATUS status = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
  RegCloseKey(key);
  if (status != ERROR_SUCCESS) return L"<none>";
  if (type != REG_SZ) return L"<type " + std::to_wstring(type) + L">";
  return data;
}

void CreateKey(HKEY root, const std::wstring& path, const std::wstring& value) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr), ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExW(key, L"Mark", 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                           static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))),
            ERROR_SUCCESS);
  RegCloseKey(key);
}

// A value's data as the listing writes it: texts quoted (\\, \" and
// control characters escaped) with `module` written as %MODULE%, a DWORD in
// hexadecimal, any other type as its bytes in hexadecimal.
std::string DataText(DWORD type, const std::vector<BYTE>& data, const std::string& module) {
  char hex[16];
  if (type == REG_DWORD && data.size() == 4) {
    DWORD number;
    std::memcpy(&number, data.data(), 4);
    std::snprintf(hex, sizeof hex, "0x%08x", static_cast<unsigned>(number));
    return std::string("dword ") + hex;
  }
  if (type == REG_SZ && data.size() % sizeof(wchar_t) == 0) {
    std::wstring text(reinterpret_cast<const wchar_t*>(data.data()), data.size() / sizeof(wchar_t));
    const bool terminated = !text.empty() && text.back() == L'\0';
    if (terminated) text.pop_back();
    std::string plain = stand_in::ToUtf8(text);
    for (size_t at; (at = plain.find(module)) != std::string::npos;) plain.replace(at, module.size(), "%MODULE%");
    std::string out = "sz \"";
    for (char c : plain) {
      if (c == '\\' || c == '"') out += '\\';
      if (static_cast<unsigned char>(c) < 0x20) {
        std::snprintf(hex, sizeof hex, "\\x%02x", static_cast<unsigned>(c));
        out += hex;
      } else {
        out += c;
      }
    }
    return out + "\"" + (terminated ? "" : " unterminated");
  }
  std::string out = "type " + std::to_string(type) + " ";
  for (BYTE b : data) {
    std::snprintf(hex, sizeof hex, "%02x", b);
    out += hex;
  }
  return out;
}

// Every key below `key` (named `name`), each followed by its values, in the
// registry's own order; `module` is written as %MODULE% wherever it stands.
void List(HKEY key, const std::string& name, const std::string& module, std::vector<std::string>* lines) {
  lines->push_back("[" + name + "]");
  for (DWORD i = 0;; ++i) {
    wchar_t value[16384];
    DWORD chars = 16384, type = 0, size = 0;
    if (RegEnumValueW(key, i, value, &chars, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) break;
    std::vector<BYTE> data(size);
    chars = 16384;
    ASSERT_EQ(RegEnumValueW(key, i, value, &chars, nullptr, &type, data.data(), &size), ERROR_SUCCESS);
    lines->push_back("\"" + stand_in::ToUtf8(value) + "\" = " + DataText(type, data, module));
  }
  for (DWORD i = 0;; ++i) {
    wchar_t sub[256];
    DWORD chars = 256;
    if (RegEnumKeyExW(key, i, sub, &chars, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    HKEY child = nullptr;
    ASSERT_EQ(RegOpenKeyExW(key, sub, 0, KEY_READ, &child), ERROR_SUCCESS);
    List(child, name + "\\" + stand_in::ToUtf8(sub), module, lines);
    RegCloseKey(child);
  }
}

// The whole registry, one line a key or value; a hive holds no lines of its
// own.
std::vector<std::string> Listing(const std::wstring& module) {
  std::vector<std::string> lines;
  const struct {
    HKEY key;
    const char* name;
  } hives[] = {{HKEY_CLASSES_ROOT, "HKCR"}, {HKEY_CURRENT_USER, "HKCU"}, {HKEY_LOCAL_MACHINE, "HKLM"}};
  for (const auto& hive : hives) {
    List(hive.key, hive.name, stand_in::ToUtf8(module), &lines);
    lines.erase(std::find(lines.begin(), lines.end(), std::string("[") + hive.name + "]"));
  }
  return lines;
}

// The lines of a listing kept beside this test, without # comments and
// blank lines.
std::vector<std::string> Expected(const char* file) {
  std::vector<std::string> lines;
  std::ifstream in(std::string(TESSALY_ADDIN_TESTS) + "/" + file);
  EXPECT_TRUE(in) << file;
  for (std::string line; std::getline(in, line);)
    if (!line.empty() && line[0] != '#') lines.push_back(line);
  return lines;
}

class ServerModule : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/tessaly-module-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    registry_ = dir_ + "/registry.txt";
    setenv("TESSALY_REGISTRY", registry_.c_str(), 1);
    const std::wstring path = stand_in::WindowsPath(fs::absolute(TESSALY_MODULE).lexically_normal().string());
    module_ = LoadLibraryW(path.c_str());
    ASSERT_NE(module_, nullptr) << "Tessaly.dll: " << GetLastError();
    wchar_t name[1024];
    ASSERT_GT(GetModuleFileNameW(module_, name, 1024), 0u);
    modulePath_ = name;
    canUnload_ = Function<Entry>("DllCanUnloadNow");
    register_ = Function<Entry>("DllRegisterServer");
    unregister_ = Function<Entry>("DllUnregisterServer");
    getClassObject_ = Function<GetClassObjectEntry>("DllGetClassObject");
    ASSERT_TRUE(canUnload_ && register_ && unregister_ && getClassObject_);
  }
  void TearDown() override {
    g_recording = false;
    if (module_) {
      EXPECT_EQ(canUnload_(), S_OK) << "the test left an object, a lock or a factory held";
      EXPECT_TRUE(FreeLibrary(module_));
    }
    EXPECT_EQ(GetModuleHandleW(L"Tessaly.dll"), nullptr) << "unloaded";
    unsetenv("TESSALY_REGISTRY");
    std::error_code error;
    fs::remove_all(dir_, error);
  }

  template <class T>
  T Function(const char* name) {
    return reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(module_, name)));
  }

  IClassFactory* Factory(REFCLSID clsid) {
    IClassFactory* factory = nullptr;
    EXPECT_EQ(getClassObject_(clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
    return factory;
  }

  std::string dir_, registry_;
  std::wstring modulePath_;
  HMODULE module_ = nullptr;
  Entry canUnload_ = nullptr, register_ = nullptr, unregister_ = nullptr;
  GetClassObjectEntry getClassObject_ = nullptr;
};

const std::wstring kAddInKey = L"SOFTWARE\\SolidWorks\\AddIns\\" + Text(CLSID_MyTessaly);

TEST_F(ServerModule, LoadsWithItsExportsAndMayUnload) {
  EXPECT_EQ(GetModuleHandleW(L"Tessaly.dll"), module_) << "found by its file name";
  EXPECT_EQ(canUnload_(), S_OK) << "nothing made yet";
  EXPECT_EQ(Function<Entry>("DllMain") != nullptr, true);
  EXPECT_EQ(Function<Entry>("_AtlModule"), nullptr) << "everything else stays inside";
}

TEST_F(ServerModule, RegistersScriptsInOrderThenTheTypeLibrary) {
  g_created.clear();
  g_recording = true;
  ASSERT_EQ(register_(), S_OK);
  g_recording = false;
  auto first = [](const std::wstring& prefix) {
    for (size_t i = 0; i < g_created.size(); ++i)
      if (g_created[i].compare(0, prefix.size(), prefix) == 0) return static_cast<long>(i);
    return -1L;
  };
  auto last = [](const std::wstring& prefix) {
    long at = -1;
    for (size_t i = 0; i < g_created.size(); ++i)
      if (g_created[i].compare(0, prefix.size(), prefix) == 0) at = static_cast<long>(i);
    return at;
  };
  const long bitmap = last(L"HKCR\\MyTessaly.BitmapHandler");
  const long addin = first(L"HKCR\\MyTessaly.SwAddin");
  const long addinKey = last(L"HKLM\\SOFTWARE");
  const long typelib = first(L"HKCR\\TypeLib");
  ASSERT_GE(bitmap, 0);
  ASSERT_GE(addin, 0);
  ASSERT_GE(typelib, 0);
  EXPECT_LT(last(L"HKCR\\CLSID\\" + Text(CLSID_BitmapHandler)), addin) << "script 111 before script 101";
  EXPECT_LT(bitmap, addin);
  EXPECT_LT(addinKey, typelib) << "the type library last";
  EXPECT_LT(last(L"HKCR\\CLSID\\" + Text(CLSID_MyTessaly)), typelib);

  const std::wstring addinClass = L"CLSID\\" + Text(CLSID_MyTessaly);
  const std::wstring bitmapClass = L"CLSID\\" + Text(CLSID_BitmapHandler);
  EXPECT_EQ(StringValue(HKEY_CLASSES_ROOT, addinClass, nullptr), L"SwAddin Class");
  EXPECT_EQ(StringValue(HKEY_CLASSES_ROOT, addinClass + L"\\InprocServer32", nullptr), modulePath_);
  EXPECT_EQ(StringValue(HKEY_CLASSES_ROOT, addinClass + L"\\InprocServer32", L"ThreadingModel"), L"Both");
  EXPECT_EQ(StringValue(HKEY_CLASSES_ROOT, addinClass + L"\\TypeLib", nullptr), Text(LIBID_MyTessalyLib));
  EXPECT_EQ(StringValue(HKEY_CLASSES_ROOT, addinClass, L"AppID"), L"");
  EXPECT_EQ(StringValue(HKEY_CLASSES_ROOT, L"MyTessaly.SwAddin\\CurVer", nullptr), L"MyTessaly.SwAddin.1");
  EXPECT_EQ(StringValue(HKEY_CLASSES_ROOT, bitmapClass + L"\\InprocServer32", nullptr), modulePath_);
  EXPECT_EQ(StringValue(HKEY_CLASSES_ROOT, L"MyTessaly.BitmapHandler.1\\CLSID", nullptr), Text(CLSID_BitmapHandler));
  EXPECT_EQ(StringValue(HKEY_LOCAL_MACHINE, kAddInKey, L"Title"), L"Tessaly for SolidWorks");
  EXPECT_EQ(StringValue(HKEY_LOCAL_MACHINE, kAddInKey, nullptr), L"<type 4>") << "a DWORD default";
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, L"TypeLib\\" + Text(LIBID_MyTessalyLib) + L"\\1.0"));
  EXPECT_EQ(canUnload_(), S_OK);

  // Again: the ForceRemove keys are rebuilt, the same keys result.
  const std::string once = ReadFile(registry_);
  ASSERT_EQ(register_(), S_OK);
  EXPECT_EQ(ReadFile(registry_), once);
}

// The real scripts and type library, registered into an empty registry,
// leave exactly the listing beside this test; registered again over stale
// keys and values below their ForceRemove keys, the same; unregistered, the
// keys their scripts never remove.
TEST_F(ServerModule, RegistersExactlyTheExpectedKeysAndValues) {
  ASSERT_TRUE(Listing(modulePath_).empty());
  ASSERT_EQ(register_(), S_OK);
  EXPECT_EQ(Listing(modulePath_), Expected("registered.txt"));

  for (const GUID* clsid : {&CLSID_MyTessaly, &CLSID_BitmapHandler})
    CreateKey(HKEY_CLASSES_ROOT, L"CLSID\\" + Text(*clsid) + L"\\Stale", L"stale");
  CreateKey(HKEY_LOCAL_MACHINE, kAddInKey, L"stale");
  ASSERT_NE(Listing(modulePath_), Expected("registered.txt"));
  ASSERT_EQ(register_(), S_OK);
  EXPECT_EQ(Listing(modulePath_), Expected("registered.txt"));

  ASSERT_EQ(unregister_(), S_OK);
  EXPECT_EQ(Listing(modulePath_), Expected("unregistered.txt"));
}

TEST_F(ServerModule, UnregisterRemovesExactlyTheAddInsKeys) {
  // What others keep under the shared keys stays.
  CreateKey(HKEY_CLASSES_ROOT, L"AppID\\{00000000-0000-0000-0000-0000000000AA}", L"other");
  CreateKey(HKEY_CLASSES_ROOT, L"CLSID\\{00000000-0000-0000-0000-0000000000BB}", L"other");
  CreateKey(HKEY_LOCAL_MACHINE, L"SOFTWARE\\SolidWorks\\AddIns\\{00000000-0000-0000-0000-0000000000CC}", L"other");
  CreateKey(HKEY_CLASSES_ROOT, L"TypeLib\\{00000000-0000-0000-0000-0000000000DD}", L"other");
  // Windows always has the interface key the type library registers below.
  CreateKey(HKEY_CLASSES_ROOT, L"Interface\\{00000000-0000-0000-0000-0000000000EE}", L"other");
  const std::string before = ReadFile(registry_);
  ASSERT_EQ(register_(), S_OK);
  ASSERT_NE(ReadFile(registry_), before);
  ASSERT_EQ(unregister_(), S_OK);

  for (const std::wstring& gone : {L"CLSID\\" + Text(CLSID_MyTessaly), L"CLSID\\" + Text(CLSID_BitmapHandler),
                                   std::wstring(L"MyTessaly.SwAddin"), std::wstring(L"MyTessaly.SwAddin.1"),
                                   std::wstring(L"MyTessaly.BitmapHandler"), std::wstring(L"MyTessaly.BitmapHandler.1"),
                                   std::wstring(L"AppID\\MyTessaly.DLL"),
                                   L"TypeLib\\" + Text(LIBID_MyTessalyLib) + L"\\1.0"})
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, gone)) << stand_in::ToUtf8(gone);
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kAddInKey));
  for (const wchar_t* kept : {L"AppID", L"CLSID"}) EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, kept)) << kept;
  for (const wchar_t* kept : {L"SOFTWARE", L"SOFTWARE\\SolidWorks", L"SOFTWARE\\SolidWorks\\AddIns"})
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kept)) << kept;
  EXPECT_EQ(ReadFile(registry_), before) << "nothing else touched";
}

TEST_F(ServerModule, NoRemoveKeysStayInAnEmptyRegistry) {
  ASSERT_EQ(register_(), S_OK);
  ASSERT_EQ(unregister_(), S_OK);
  for (const wchar_t* kept : {L"AppID", L"CLSID"}) EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, kept)) << kept;
  for (const wchar_t* kept : {L"SOFTWARE", L"SOFTWARE\\SolidWorks", L"SOFTWARE\\SolidWorks\\AddIns"})
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kept)) << kept;
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, L"MyTessaly.SwAddin"));
}

TEST_F(ServerModule, ThreadLocaleIsRestoredAlsoOnFailure) {
  ASSERT_TRUE(SetThreadLocale(0x0407));
  EXPECT_EQ(register_(), S_OK);
  EXPECT_EQ(GetThreadLocale(), LCID(0x0407));
  EXPECT_EQ(unregister_(), S_OK);
  EXPECT_EQ(GetThreadLocale(), LCID(0x0407));

  // A damaged registry file fails every registry call.
  std::ofstream(registry_, std::ios::trunc) << "not a registry\n";
  testing::internal::CaptureStderr();
  EXPECT_TRUE(FAILED(register_()));
  EXPECT_EQ(GetThreadLocale(), LCID(0x0407));
  EXPECT_TRUE(FAILED(unregister_()));
  EXPECT_EQ(GetThreadLocale(), LCID(0x0407));
  const std::string said = testing::internal::GetCapturedStderr();
  EXPECT_NE(said.find(registry_), std::string::npos) << said;
  EXPECT_EQ(ReadFile(registry_), "not a registry\n") << "left as it was";
  ASSERT_TRUE(SetThreadLocale(0x0409));
}

TEST_F(ServerModule, CreatedThroughComAfterRegistration) {
  ASSERT_EQ(CoInitialize(nullptr), S_OK);
  SWPublished::ISwAddin* addin = nullptr;
  EXPECT_EQ(CoCreateInstance(CLSID_MyTessaly, nullptr, CLSCTX_INPROC_SERVER, __uuidof(SWPublished::ISwAddin),
                             reinterpret_cast<void**>(&addin)),
            REGDB_E_CLASSNOTREG);
  ASSERT_EQ(register_(), S_OK);
  ASSERT_EQ(CoCreateInstance(CLSID_MyTessaly, nullptr, CLSCTX_INPROC_SERVER, __uuidof(SWPublished::ISwAddin),
                             reinterpret_cast<void**>(&addin)),
            S_OK);
  ASSERT_NE(addin, nullptr);
  EXPECT_EQ(canUnload_(), S_FALSE) << "an object lives";
  addin->Release();
  EXPECT_EQ(canUnload_(), S_OK);
  CoFreeUnusedLibraries();
  EXPECT_EQ(GetModuleHandleW(L"Tessaly.dll"), module_) << "still loaded by the test itself";
  CoUninitialize();
}

TEST_F(ServerModule, OneFactoryPerClassRefusingAggregation) {
  IClassFactory* first = Factory(CLSID_MyTessaly);
  IClassFactory* second = Factory(CLSID_MyTessaly);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first, second) << "the same factory twice";
  second->Release();
  IUnknown* factoryUnknown = nullptr;
  EXPECT_EQ(getClassObject_(CLSID_MyTessaly, IID_IUnknown, reinterpret_cast<void**>(&factoryUnknown)), S_OK);
  EXPECT_EQ(factoryUnknown, static_cast<IUnknown*>(first));
  factoryUnknown->Release();
  first->Release();

  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(getClassObject_(GUID_NULL, IID_IClassFactory, &out), CLASS_E_CLASSNOTAVAILABLE);

  for (const GUID& clsid : {CLSID_MyTessaly, CLSID_BitmapHandler}) {
    IClassFactory* factory = Factory(clsid);
    ASSERT_NE(factory, nullptr);
    IUnknown* object = reinterpret_cast<IUnknown*>(1);
    EXPECT_EQ(factory->CreateInstance(reinterpret_cast<IUnknown*>(factory), IID_IUnknown,
                                      reinterpret_cast<void**>(&object)),
              CLASS_E_NOAGGREGATION);
    EXPECT_EQ(object, nullptr) << "the out pointer is cleared";
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, nullptr), E_POINTER);
    object = reinterpret_cast<IUnknown*>(1);
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IClassFactory, reinterpret_cast<void**>(&object)), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
    factory->Release();
  }
}

TEST_F(ServerModule, CanUnloadThroughTheLifecycle) {
  EXPECT_EQ(canUnload_(), S_OK);
  IClassFactory* factory = Factory(CLSID_MyTessaly);
  ASSERT_NE(factory, nullptr);
  EXPECT_EQ(canUnload_(), S_FALSE) << "a factory is held";
  IUnknown* addin = nullptr;
  ASSERT_EQ(factory->CreateInstance(nullptr, __uuidof(SWPublished::ISwAddin), reinterpret_cast<void**>(&addin)), S_OK);
  factory->Release();
  EXPECT_EQ(canUnload_(), S_FALSE) << "an add-in object lives";
  addin->Release();
  EXPECT_EQ(canUnload_(), S_OK);

  factory = Factory(CLSID_BitmapHandler);
  ASSERT_NE(factory, nullptr);
  IUnknown* handler = nullptr;
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(&handler)), S_OK);
  EXPECT_EQ(factory->LockServer(TRUE), S_OK);
  factory->Release();
  handler->Release();
  EXPECT_EQ(canUnload_(), S_FALSE) << "the server is locked";
  factory = Factory(CLSID_BitmapHandler);
  EXPECT_EQ(factory->LockServer(FALSE), S_OK);
  EXPECT_EQ(canUnload_(), S_FALSE) << "the factory is still held";
  factory->Release();
  EXPECT_EQ(canUnload_(), S_OK) << "all released";
}

// The DISPID of `name` on the default interface of a new object of `clsid`.
HRESULT IdOf(IClassFactory* factory, REFIID iid, const wchar_t* name, DISPID* id) {
  IDispatch* dispatch = nullptr;
  HRESULT hr = factory->CreateInstance(nullptr, iid, reinterpret_cast<void**>(&dispatch));
  if (FAILED(hr)) return hr;
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  *id = DISPID_UNKNOWN;
  hr = dispatch->GetIDsOfNames(IID_NULL, names, 1, 0x0409, id);
  dispatch->Release();
  return hr;
}

TEST_F(ServerModule, NamesResolveOnlyOnceRegistered) {
  IClassFactory* addin = Factory(CLSID_MyTessaly);
  IClassFactory* bitmap = Factory(CLSID_BitmapHandler);
  ASSERT_TRUE(addin && bitmap);
  DISPID id = 0;
  EXPECT_TRUE(FAILED(IdOf(addin, IID_IMyTessaly, L"CTessaly_Import", &id))) << "no type library registered";
  EXPECT_TRUE(FAILED(IdOf(bitmap, IID_IBitmapHandler, L"CreateBitmapFileFromResource", &id)));

  ASSERT_EQ(register_(), S_OK);
  struct Case {
    IClassFactory* factory;
    const IID* iid;
    const wchar_t* name;
    DISPID id;
  } cases[] = {
      {addin, &IID_IMyTessaly, L"CTessaly_Import", 5},
      {addin, &IID_IMyTessaly, L"CTessaly_Help", 6},
      {addin, &IID_IMyTessaly, L"CTessaly_About", 8},
      {addin, &IID_IMyTessaly, L"CMyTessaly_Open", 9},
      {bitmap, &IID_IBitmapHandler, L"CreateBitmapFileFromResource", 1},
      {bitmap, &IID_IBitmapHandler, L"Dispose", 2},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(IdOf(c.factory, *c.iid, c.name, &id), S_OK) << stand_in::ToUtf8(c.name);
    EXPECT_EQ(id, c.id) << stand_in::ToUtf8(c.name);
  }
  EXPECT_EQ(IdOf(addin, IID_IMyTessaly, L"NoSuchMethod", &id), DISP_E_UNKNOWNNAME);
  addin->Release();
  bitmap->Release();
  ASSERT_EQ(unregister_(), S_OK);
}

}  // namespace
