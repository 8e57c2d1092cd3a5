// COM's entry per thread and the activation of the in-process server
// ComProbe.dll, registered in a registry file of the test's own.
#include <objbase.h>
#include <windows.h>

#include <gtest/gtest.h>

#include "stand_in/paths.h"
#include "temp_registry.h"

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr GUID kProbeClass = stand_in::GuidFromText("6E0F1C2A-5B3D-4C7E-9A11-2F4B6D8E0A13");
constexpr GUID kOtherClass = stand_in::GuidFromText("6E0F1C2A-5B3D-4C7E-9A11-2F4B6D8E0A14");
constexpr GUID kNoEntryClass = stand_in::GuidFromText("6E0F1C2A-5B3D-4C7E-9A11-2F4B6D8E0A15");
constexpr GUID kMissingClass = stand_in::GuidFromText("6E0F1C2A-5B3D-4C7E-9A11-2F4B6D8E0A16");
constexpr GUID kNoServerClass = stand_in::GuidFromText("6E0F1C2A-5B3D-4C7E-9A11-2F4B6D8E0A17");

std::wstring Windows(const char* native) {
  return stand_in::WindowsPath(fs::absolute(native).lexically_normal().string());
}

void SetDefault(const std::wstring& key, const std::wstring& value) {
  HKEY handle = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &handle, nullptr),
            ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExW(handle, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                           static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))),
            ERROR_SUCCESS);
  RegCloseKey(handle);
}

std::wstring ClassKey(REFCLSID clsid) {
  wchar_t text[40];
  StringFromGUID2(clsid, text, 40);
  return std::wstring(L"CLSID\\") + text;
}

class Activation : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(registry_.dir().empty()) << "no folder for the registry file";
    dir_ = registry_.dir();
    log_ = dir_ + "/log.txt";
    setenv("COM_PROBE_LOG", log_.c_str(), 1);
    ASSERT_EQ(GetModuleHandleW(L"ComProbe.dll"), nullptr) << "a test before left the server loaded";
    SetDefault(ClassKey(kProbeClass) + L"\\InprocServer32", Windows(TESSALY_COM_PROBE));
    SetDefault(ClassKey(kOtherClass) + L"\\InprocServer32", Windows(TESSALY_COM_PROBE));
    SetDefault(ClassKey(kNoEntryClass) + L"\\InprocServer32", Windows(TESSALY_LOADER_PROBE));
    SetDefault(ClassKey(kMissingClass) + L"\\InprocServer32", stand_in::WindowsPath(dir_ + "/gone.dll"));
    SetDefault(ClassKey(kNoServerClass), L"Class without a server");
  }
  void TearDown() override {
    while (initialised_-- > 0) CoUninitialize();
    unsetenv("COM_PROBE_LOG");
  }

  void Enter() {
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    ++initialised_;
  }
  void Leave() {
    CoUninitialize();
    --initialised_;
  }

  static bool Loaded() { return GetModuleHandleW(L"ComProbe.dll") != nullptr; }
  std::vector<std::string> Log() const { return test_support::FileLines(log_); }

  test_support::TempRegistry registry_{"tessaly-activation"};
  std::string dir_, log_;
  int initialised_ = 0;
};

TEST_F(Activation, NothingBeforeCoInitialize) {
  IUnknown* object = reinterpret_cast<IUnknown*>(uintptr_t(1));
  EXPECT_EQ(CoCreateInstance(kProbeClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, reinterpret_cast<void**>(&object)),
            CO_E_NOTINITIALIZED);
  EXPECT_EQ(object, nullptr) << "the out pointer is cleared first";
  IClassFactory* factory = nullptr;
  EXPECT_EQ(CoGetClassObject(kProbeClass, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                             reinterpret_cast<void**>(&factory)),
            CO_E_NOTINITIALIZED);
  EXPECT_FALSE(Loaded());
}

TEST_F(Activation, EntryIsCountedPerThread) {
  EXPECT_EQ(CoInitializeEx(reinterpret_cast<void*>(1), COINIT_APARTMENTTHREADED), E_INVALIDARG);
  EXPECT_EQ(CoInitializeEx(nullptr, 0x100), E_INVALIDARG);
  EXPECT_EQ(CoInitialize(nullptr), S_OK);
  EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_FALSE);
  EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), RPC_E_CHANGED_MODE) << "and not counted";
  HRESULT other = S_OK;
  std::thread([&other] {
    IUnknown* object = nullptr;
    other = CoCreateInstance(kProbeClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                             reinterpret_cast<void**>(&object));
  }).join();
  EXPECT_EQ(other, CO_E_NOTINITIALIZED) << "another thread enters by itself";
  CoUninitialize();
  IUnknown* object = nullptr;
  ASSERT_EQ(CoCreateInstance(kProbeClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                             reinterpret_cast<void**>(&object)),
            S_OK)
      << "one entry still counted";
  object->Release();
  CoUninitialize();
  EXPECT_FALSE(Loaded()) << "the last CoUninitialize frees the servers";
  EXPECT_EQ(CoCreateInstance(kProbeClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                             reinterpret_cast<void**>(&object)),
            CO_E_NOTINITIALIZED);
  CoUninitialize();  // unbalanced: nothing happens
  EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK) << "a new entry may choose again";
  CoUninitialize();
}

TEST_F(Activation, CreatesThroughTheRegistryAndUnloadsWhenUnused) {
  Enter();
  IUnknown* first = nullptr;
  IUnknown* second = nullptr;
  ASSERT_EQ(CoCreateInstance(kProbeClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                             reinterpret_cast<void**>(&first)),
            S_OK);
  ASSERT_NE(first, nullptr);
  ASSERT_EQ(CoCreateInstance(kProbeClass, nullptr, CLSCTX_ALL, IID_IUnknown, reinterpret_cast<void**>(&second)), S_OK);
  EXPECT_TRUE(Loaded());
  EXPECT_EQ(Log(), std::vector<std::string>{"attach"}) << "loaded once";

  CoFreeUnusedLibraries();
  EXPECT_TRUE(Loaded()) << "objects live";
  first->Release();
  CoFreeUnusedLibraries();
  EXPECT_TRUE(Loaded()) << "one object lives";
  second->Release();
  CoFreeUnusedLibraries();
  EXPECT_FALSE(Loaded()) << "COM held one load of it, however often it created";
  EXPECT_EQ(Log(), (std::vector<std::string>{"attach", "detach"}));

  // Loaded again on the next request.
  ASSERT_EQ(CoCreateInstance(kProbeClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                             reinterpret_cast<void**>(&first)),
            S_OK);
  first->Release();
  Leave();
  EXPECT_FALSE(Loaded()) << "the apartment's close frees it";
}

TEST_F(Activation, HeldAndLockedFactoriesKeepTheServer) {
  Enter();
  IClassFactory* factory = nullptr;
  ASSERT_EQ(CoGetClassObject(kProbeClass, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                             reinterpret_cast<void**>(&factory)),
            S_OK);
  CoFreeUnusedLibraries();
  EXPECT_TRUE(Loaded()) << "the factory is held";
  EXPECT_EQ(factory->LockServer(TRUE), S_OK);
  factory->Release();
  CoFreeUnusedLibraries();
  EXPECT_TRUE(Loaded()) << "the server is locked";

  ASSERT_EQ(CoGetClassObject(kProbeClass, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                             reinterpret_cast<void**>(&factory)),
            S_OK);
  EXPECT_EQ(factory->LockServer(FALSE), S_OK);
  factory->Release();
  CoFreeUnusedLibraries();
  EXPECT_FALSE(Loaded());
}

TEST_F(Activation, TheServersAnswersPassThrough) {
  Enter();
  IUnknown* object = reinterpret_cast<IUnknown*>(uintptr_t(1));
  EXPECT_EQ(CoCreateInstance(kProbeClass, reinterpret_cast<IUnknown*>(uintptr_t(8)), CLSCTX_INPROC_SERVER,
                             IID_IUnknown, reinterpret_cast<void**>(&object)),
            CLASS_E_NOAGGREGATION);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(CoCreateInstance(kProbeClass, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                             reinterpret_cast<void**>(&object)),
            E_NOINTERFACE);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(CoCreateInstance(kOtherClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                             reinterpret_cast<void**>(&object)),
            CLASS_E_CLASSNOTAVAILABLE)
      << "registered for a module that does not serve it";
  CoFreeUnusedLibraries();
  EXPECT_FALSE(Loaded()) << "nothing left in use";
}

TEST_F(Activation, RegistrationFaults) {
  Enter();
  struct Case {
    GUID clsid;
    DWORD context;
    HRESULT result;
    const char* what;
  } cases[] = {
      {kMissingClass, CLSCTX_INPROC_SERVER, HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND), "the module file is gone"},
      {kNoEntryClass, CLSCTX_INPROC_SERVER, CO_E_ERRORINDLL, "a module without DllGetClassObject"},
      {kNoServerClass, CLSCTX_INPROC_SERVER, REGDB_E_CLASSNOTREG, "a class without InprocServer32"},
      {stand_in::GuidFromText("00000000-1111-2222-3333-444444444444"), CLSCTX_INPROC_SERVER, REGDB_E_CLASSNOTREG,
       "a class nobody registered"},
      {kProbeClass, CLSCTX_LOCAL_SERVER, REGDB_E_CLASSNOTREG, "only in-process servers exist"},
  };
  for (const Case& c : cases) {
    IUnknown* object = reinterpret_cast<IUnknown*>(uintptr_t(1));
    EXPECT_EQ(CoCreateInstance(c.clsid, nullptr, c.context, IID_IUnknown, reinterpret_cast<void**>(&object)), c.result)
        << c.what;
    EXPECT_EQ(object, nullptr) << c.what;
  }
  EXPECT_EQ(GetModuleHandleW(L"LoaderProbe.dll"), nullptr) << "a module that serves nothing is not kept";
  EXPECT_FALSE(Loaded());
  EXPECT_EQ(CoCreateInstance(kProbeClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, nullptr), E_INVALIDARG);
  void* out = nullptr;
  EXPECT_EQ(CoGetClassObject(kProbeClass, CLSCTX_INPROC_SERVER, reinterpret_cast<COSERVERINFO*>(uintptr_t(8)),
                             IID_IClassFactory, &out),
            E_INVALIDARG);
  CoFreeUnusedLibraries();
}

}  // namespace
