// Modules loaded to run: LoadLibraryW, FreeLibrary and GetProcAddress over
// the probe module LoaderProbe.dll, which reports its static initialisation
// and its DllMain calls to a log file.
#include <windows.h>

#include <gtest/gtest.h>

#include "stand_in/module.h"
#include "stand_in/paths.h"
#include "stand_in/text.h"
#include "temp_dir.h"

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

std::wstring Windows(const std::string& native) { return stand_in::WindowsPath(native); }

const std::string kProbe = fs::absolute(TESSALY_LOADER_PROBE).lexically_normal().string();

class Loader : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(temp_.path().empty()) << "no temporary folder";
    dir_ = temp_.path();
    log_ = dir_ + "/log.txt";
    setenv("LOADER_PROBE_LOG", log_.c_str(), 1);
    unsetenv("LOADER_PROBE_ATTACH");
    ASSERT_EQ(GetModuleHandleW(L"LoaderProbe.dll"), nullptr) << "a test before left the probe loaded";
  }
  void TearDown() override {
    unsetenv("LOADER_PROBE_LOG");
    unsetenv("LOADER_PROBE_ATTACH");
  }

  std::vector<std::string> Log() const { return test_support::FileLines(log_); }
  void ClearLog() const { std::ofstream(log_, std::ios::trunc); }

  std::string Copy(const std::string& name) const {
    const std::string to = dir_ + "/" + name;
    fs::create_directories(fs::path(to).parent_path());
    fs::copy_file(kProbe, to, fs::copy_options::overwrite_existing);
    return to;
  }

  test_support::TempDir temp_{"tessaly-loader"};
  std::string dir_, log_;
};

typedef HINSTANCE (*InstanceFunction)();

HINSTANCE InstanceOf(HMODULE module) {
  FARPROC entry = GetProcAddress(module, "ProbeInstance");
  if (!entry) return nullptr;
  return reinterpret_cast<InstanceFunction>(reinterpret_cast<void*>(entry))();
}

std::wstring FileNameOf(HMODULE module) {
  wchar_t buffer[1024];
  const DWORD n = GetModuleFileNameW(module, buffer, 1024);
  return std::wstring(buffer, n);
}

TEST_F(Loader, LoadsRunsTheEntryAndCounts) {
  HMODULE module = LoadLibraryW(Windows(kProbe).c_str());
  ASSERT_NE(module, nullptr) << GetLastError();
  EXPECT_EQ(Log(), (std::vector<std::string>{"construct", "attach"})) << "statics first, then DllMain";
  EXPECT_EQ(GetModuleHandleW(L"LoaderProbe.dll"), module);
  EXPECT_EQ(module, stand_in::ModuleOf(reinterpret_cast<void*>(GetProcAddress(module, "ProbeInstance"))))
      << "the handle is the module's base";
  EXPECT_EQ(InstanceOf(module), module) << "DllMain gets the module's handle";
  EXPECT_EQ(FileNameOf(module), Windows(kProbe));

  EXPECT_EQ(LoadLibraryW(Windows(kProbe).c_str()), module) << "a second load gives the same handle";
  EXPECT_EQ(Log().size(), 2u) << "and runs nothing";
  EXPECT_TRUE(FreeLibrary(module));
  EXPECT_EQ(GetModuleHandleW(L"LoaderProbe.dll"), module) << "one load still counted";
  EXPECT_EQ(Log().size(), 2u);

  EXPECT_TRUE(FreeLibrary(module));
  EXPECT_EQ(Log(), (std::vector<std::string>{"construct", "attach", "detach", "destruct"}));
  EXPECT_EQ(GetModuleHandleW(L"LoaderProbe.dll"), nullptr) << "unloaded";

  SetLastError(0);
  EXPECT_FALSE(FreeLibrary(module)) << "a free too many";
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
  SetLastError(0);
  EXPECT_EQ(GetProcAddress(module, "ProbeInstance"), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
}

TEST_F(Loader, AFailingEntryFailsTheLoadAndUnloads) {
  setenv("LOADER_PROBE_ATTACH", "fail", 1);
  SetLastError(0);
  EXPECT_EQ(LoadLibraryW(Windows(kProbe).c_str()), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_DLL_INIT_FAILED));
  EXPECT_EQ(Log(), (std::vector<std::string>{"construct", "attach", "detach", "destruct"}))
      << "detached and unloaded";
  EXPECT_EQ(GetModuleHandleW(L"LoaderProbe.dll"), nullptr);

  unsetenv("LOADER_PROBE_ATTACH");
  ClearLog();
  HMODULE module = LoadLibraryW(Windows(kProbe).c_str());
  ASSERT_NE(module, nullptr) << "loads afresh once its entry agrees";
  EXPECT_EQ(Log(), (std::vector<std::string>{"construct", "attach"}));
  EXPECT_TRUE(FreeLibrary(module));
}

TEST_F(Loader, ProcAddressesAreTheModulesOwnExports) {
  HMODULE module = LoadLibraryW(Windows(kProbe).c_str());
  ASSERT_NE(module, nullptr);
  EXPECT_NE(GetProcAddress(module, "DllMain"), nullptr);
  struct Case {
    LPCSTR name;
    DWORD error;
    const char* why;
  } cases[] = {
      {"NoSuchExport", ERROR_PROC_NOT_FOUND, "not defined"},
      {"GUID_NULL", ERROR_PROC_NOT_FOUND, "defined by a module it depends on, not by it"},
      {"_ZN12_GLOBAL__N_13LogEPKc", ERROR_PROC_NOT_FOUND, "kept local by its export list"},
      {reinterpret_cast<LPCSTR>(uintptr_t(1)), ERROR_PROC_NOT_FOUND, "by ordinal"},
      {nullptr, ERROR_PROC_NOT_FOUND, "ordinal 0"},
  };
  for (const Case& c : cases) {
    SetLastError(0);
    EXPECT_EQ(GetProcAddress(module, c.name), nullptr) << c.why;
    EXPECT_EQ(GetLastError(), c.error) << c.why;
  }
  SetLastError(0);
  EXPECT_EQ(GetProcAddress(nullptr, "DllMain"), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
  EXPECT_TRUE(FreeLibrary(module));

  // A module mapped with the process has its exports too.
  HMODULE win = GetModuleHandleW(L"libwin.so");
  ASSERT_NE(win, nullptr);
  const void* guid = reinterpret_cast<const void*>(GetProcAddress(win, "GUID_NULL"));
  ASSERT_NE(guid, nullptr);
  EXPECT_EQ(stand_in::ModuleOf(guid), win);
  EXPECT_TRUE(*static_cast<const GUID*>(guid) == GUID_NULL);

  // A module read as data runs nothing and exports nothing.
  ClearLog();
  HMODULE data = LoadLibraryExW(Windows(kProbe).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(data, nullptr);
  SetLastError(0);
  EXPECT_EQ(GetProcAddress(data, "DllMain"), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
  EXPECT_TRUE(Log().empty()) << "reading the file runs no code of it";
  EXPECT_TRUE(FreeLibrary(data));
}

TEST_F(Loader, BareNamesAreSearchedAsWindowsSearches) {
  ASSERT_EQ(fs::path(kProbe).parent_path(), fs::read_symlink("/proc/self/exe").parent_path())
      << "the probe is built beside the test program";
  // Beside the executable; case ignored, ".dll" added.
  HMODULE beside = LoadLibraryW(L"loaderprobe");
  ASSERT_NE(beside, nullptr) << GetLastError();
  EXPECT_EQ(FileNameOf(beside), Windows(kProbe));
  EXPECT_TRUE(FreeLibrary(beside));

  // A loaded module of that name comes first.
  const std::string other = Copy("elsewhere/LoaderProbe.dll");
  HMODULE loaded = LoadLibraryW(Windows(other).c_str());
  ASSERT_NE(loaded, nullptr);
  EXPECT_EQ(LoadLibraryW(L"LoaderProbe.dll"), loaded);
  EXPECT_EQ(FileNameOf(loaded), Windows(other));
  EXPECT_TRUE(FreeLibrary(loaded));
  EXPECT_TRUE(FreeLibrary(loaded));
  EXPECT_EQ(GetModuleHandleW(L"LoaderProbe.dll"), nullptr);

  // Then the working directory, and relative paths from it.
  Copy("CwdProbe.dll");
  Copy("sub/Relative.dll");
  const fs::path before = fs::current_path();
  fs::current_path(dir_);
  HMODULE cwd = LoadLibraryW(L"CwdProbe.dll");
  HMODULE relative = LoadLibraryW(L"sub\\RELATIVE");
  fs::current_path(before);
  ASSERT_NE(cwd, nullptr);
  ASSERT_NE(relative, nullptr);
  EXPECT_EQ(FileNameOf(cwd), Windows(dir_ + "/CwdProbe.dll"));
  EXPECT_EQ(FileNameOf(relative), Windows(dir_ + "/sub/Relative.dll"));
  EXPECT_TRUE(FreeLibrary(cwd));
  EXPECT_TRUE(FreeLibrary(relative));

  SetLastError(0);
  EXPECT_EQ(LoadLibraryW(L"CwdProbe.dll"), nullptr) << "not beside the program nor in the working directory";
  EXPECT_EQ(GetLastError(), DWORD(ERROR_MOD_NOT_FOUND));
}

TEST_F(Loader, ExtensionsAsWindowsAddsThem) {
  const std::string plain = Copy("NoExtension");
  SetLastError(0);
  EXPECT_EQ(LoadLibraryW(Windows(plain).c_str()), nullptr) << "looks for NoExtension.dll";
  EXPECT_EQ(GetLastError(), DWORD(ERROR_MOD_NOT_FOUND));
  HMODULE module = LoadLibraryW((Windows(plain) + L".").c_str());
  ASSERT_NE(module, nullptr) << "a trailing dot: no extension";
  EXPECT_TRUE(FreeLibrary(module));
}

TEST_F(Loader, FailuresSayWhy) {
  std::ofstream(dir_ + "/junk.dll") << "not a module at all";
  fs::create_directory(dir_ + "/folder.dll");
  struct Case {
    std::wstring path;
    DWORD error;
    std::string said;  // on stderr
  } cases[] = {
      {Windows(dir_ + "/none.dll"), ERROR_MOD_NOT_FOUND, ""},
      {Windows(dir_ + "/no/none.dll"), ERROR_MOD_NOT_FOUND, ""},
      {Windows(dir_ + "/folder.dll"), ERROR_ACCESS_DENIED, ""},
      {Windows(dir_ + "/folder"), ERROR_ACCESS_DENIED, "" /* folder.dll, with ".dll" added */},
      {Windows(dir_ + "/junk.dll"), ERROR_BAD_EXE_FORMAT, dir_ + "/junk.dll"},
      {Windows(fs::absolute(TESSALY_LOADER_UNDEFINED).lexically_normal().string()), ERROR_PROC_NOT_FOUND,
       "LoaderProbeNowhere"},
  };
  for (const Case& c : cases) {
    testing::internal::CaptureStderr();
    SetLastError(0);
    EXPECT_EQ(LoadLibraryW(c.path.c_str()), nullptr) << stand_in::ToUtf8(c.path);
    EXPECT_EQ(GetLastError(), c.error) << stand_in::ToUtf8(c.path);
    const std::string said = testing::internal::GetCapturedStderr();
    if (!c.said.empty()) {
      EXPECT_NE(said.find(c.said), std::string::npos) << said;
    }
  }
  SetLastError(0);
  EXPECT_EQ(LoadLibraryW(L""), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
  SetLastError(0);
  EXPECT_EQ(LoadLibraryExW(Windows(kProbe).c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_CALL_NOT_IMPLEMENTED));
  EXPECT_TRUE(Log().empty());
}

TEST_F(Loader, ModulesMappedWithTheProcessStay) {
  HMODULE win = GetModuleHandleW(L"libwin.so");
  ASSERT_NE(win, nullptr);
  EXPECT_EQ(LoadLibraryW(L"libwin.so"), win) << "found among the loaded modules";
  EXPECT_TRUE(FreeLibrary(win));
  EXPECT_TRUE(FreeLibrary(win)) << "mapped with the process: pinned";
  EXPECT_EQ(GetModuleHandleW(L"libwin.so"), win);
  HMODULE exe = GetModuleHandleW(nullptr);
  EXPECT_TRUE(FreeLibrary(exe));
  EXPECT_EQ(GetModuleHandleW(nullptr), exe);

  SetLastError(0);
  EXPECT_FALSE(FreeLibrary(reinterpret_cast<HMODULE>(uintptr_t(0x10000))));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
}

}  // namespace
