// Running out of memory inside a Windows function is its failure code, as
// on Windows, never an exception: each function runs once for every
// allocation it makes, with that allocation failing.
#include <shellapi.h>
#include <windows.h>

#include <gtest/gtest.h>

#include "fail_each_allocation.h"
#include "stand_in/paths.h"
#include "stand_in/ui.h"
#include "temp_dir.h"
#include "temp_registry.h"
#include "test_ids.h"

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// A call's outcome; `error` is the last error (or the errno, as a Windows
// code) of a failure.
struct Outcome {
  bool ok;
  DWORD error;
};
Outcome Win32(bool ok) { return {ok, ok ? 0 : GetLastError()}; }
Outcome Crt(bool ok) { return {ok, ok ? 0 : (errno == ENOMEM ? DWORD(ERROR_NOT_ENOUGH_MEMORY) : DWORD(errno))}; }
Outcome Status(LSTATUS status) { return {status == ERROR_SUCCESS, static_cast<DWORD>(status)}; }

struct Case {
  const char* name;
  std::function<void()> prepare;
  std::function<Outcome()> call;
  std::function<void(bool ok)> undo;  // after each run, outside the limit
};

class OutOfMemory : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!test_support::AllocationLimit::Available()) GTEST_SKIP() << "no allocation hook in this build";
    ASSERT_FALSE(dir.path().empty());
    if (const char* old = std::getenv("TMP")) oldTmp = old;
    setenv("TMP", dir.path().c_str(), 1);
  }
  void TearDown() override {
    if (oldTmp) setenv("TMP", oldTmp->c_str(), 1);
    else unsetenv("TMP");
  }

  // Every run either succeeds or fails for want of memory, and some fail.
  void Run(const std::vector<Case>& cases) {
    for (const Case& c : cases) {
      SCOPED_TRACE(c.name);
      int failed = 0;
      const long long total = test_support::FailEachAllocation(
          [&] {
            if (c.prepare) c.prepare();
          },
          [&] { return c.call(); },
          [&](const Outcome& outcome, long long n) {
            if (n == 0) {
              EXPECT_TRUE(outcome.ok) << "error " << outcome.error << " with memory to spare";
            } else if (!outcome.ok) {
              EXPECT_EQ(outcome.error, DWORD(ERROR_NOT_ENOUGH_MEMORY)) << "allocation " << n << " failed";
              ++failed;
            }
            if (c.undo) c.undo(outcome.ok);
          });
      if (total > 0) {
        EXPECT_GT(failed, 0) << total << " allocations, none of them needed";
      }
    }
  }

  std::wstring Win(const fs::path& native) const { return stand_in::WindowsPath(native.string()); }
  fs::path Native(const char* name) const { return fs::path(dir.path()) / name; }
  void Touch(const char* name) const { std::ofstream(Native(name)) << "x"; }

  test_support::TempDir dir{"tessaly-oom"};
  std::optional<std::string> oldTmp;
};

TEST_F(OutOfMemory, Files) {
  const std::wstring made = Win(Native("made.txt"));
  const std::wstring kept = Win(Native("kept.txt"));
  const std::wstring pattern = Win(Native("*.txt"));
  const std::wstring crt = Win(Native("crt.txt"));
  HANDLE handle = INVALID_HANDLE_VALUE;
  const std::vector<Case> cases = {
      {"CreateFileW", nullptr,
       [&] {
         handle = CreateFileW(made.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
         return Win32(handle != INVALID_HANDLE_VALUE);
       },
       [&](bool ok) {
         if (ok) CloseHandle(handle);
         EXPECT_EQ(fs::exists(Native("made.txt")), ok) << "a failed call makes no file";
         fs::remove(Native("made.txt"));
       }},
      {"DeleteFileW", [&] { Touch("kept.txt"); }, [&] { return Win32(DeleteFileW(kept.c_str())); },
       [&](bool ok) { EXPECT_NE(fs::exists(Native("kept.txt")), ok); }},
      {"GetFileAttributesW", [&] { Touch("kept.txt"); },
       [&] { return Win32(GetFileAttributesW(kept.c_str()) != INVALID_FILE_ATTRIBUTES); }, nullptr},
      {"SetFileAttributesW", nullptr, [&] { return Win32(SetFileAttributesW(kept.c_str(), FILE_ATTRIBUTE_NORMAL)); },
       nullptr},
      {"FindFirstFileW", [&] { Touch("a.txt"); },
       [&] {
         WIN32_FIND_DATAW data;
         handle = FindFirstFileW(pattern.c_str(), &data);
         return Win32(handle != INVALID_HANDLE_VALUE);
       },
       [&](bool ok) {
         if (ok) FindClose(handle);
       }},
      {"_wunlink", [&] { Touch("crt.txt"); },
       [&] {
         errno = 0;
         return Crt(_wunlink(crt.c_str()) == 0);
       },
       [&](bool ok) { EXPECT_NE(fs::exists(Native("crt.txt")), ok); }},
  };
  Run(cases);
}

TEST_F(OutOfMemory, TemporaryFiles) {
  wchar_t folder[MAX_PATH];
  ASSERT_GT(GetTempPathW(MAX_PATH, folder), 0u);
  wchar_t name[MAX_PATH];
  const std::vector<Case> cases = {
      {"GetTempPathW", nullptr, [&] { return Win32(GetTempPathW(MAX_PATH, folder) != 0); }, nullptr},
      {"GetTempFileNameW", nullptr, [&] { return Win32(GetTempFileNameW(folder, L"swt", 0, name) != 0); },
       [&](bool ok) {
         if (ok) DeleteFileW(name);
         EXPECT_TRUE(fs::is_empty(dir.path())) << "a failed call leaves no file";
       }},
  };
  Run(cases);
}

TEST_F(OutOfMemory, ModulesAndResources) {
  const std::wstring probe = Win(fs::absolute(TESSALY_RES_PROBE).lexically_normal());
  const std::wstring runnable = Win(fs::absolute(TESSALY_LOADER_PROBE).lexically_normal());
  auto loaded = [&] { return GetModuleHandleW(runnable.c_str()) != nullptr; };
  const HMODULE self = GetModuleHandleW(nullptr);
  HMODULE data = nullptr;
  HANDLE image = nullptr;
  wchar_t path[MAX_PATH];
  const std::vector<Case> cases = {
      {"GetModuleHandleW", nullptr, [&] { return Win32(GetModuleHandleW(nullptr) != nullptr); }, nullptr},
      {"GetModuleFileNameW", nullptr, [&] { return Win32(GetModuleFileNameW(nullptr, path, MAX_PATH) != 0); },
       nullptr},
      {"LoadLibraryExW", nullptr,
       [&] {
         data = LoadLibraryExW(probe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
         return Win32(data != nullptr);
       },
       [&](bool ok) {
         if (ok) FreeLibrary(data);
       }},
      {"LoadLibraryW", nullptr,
       [&] {
         data = LoadLibraryW(runnable.c_str());
         return Win32(data != nullptr);
       },
       [&](bool ok) {
         EXPECT_EQ(loaded(), ok);
         if (ok) FreeLibrary(data);
         EXPECT_FALSE(loaded());
       }},
      // A free that fails leaves the module loaded, once, as it was.
      {"FreeLibrary", [&] { data = LoadLibraryW(runnable.c_str()); }, [&] { return Win32(FreeLibrary(data)); },
       [&](bool ok) {
         EXPECT_NE(loaded(), ok);
         if (!ok) {
           EXPECT_TRUE(FreeLibrary(data));
         }
         EXPECT_FALSE(loaded());
       }},
      // A module's resources are read on the first look: one that failed
      // part way leaves them to be read whole by the next.
      {"FindResourceW", [&] { data = LoadLibraryExW(probe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE); },
       [&] { return Win32(FindResourceW(data, MAKEINTRESOURCEW(208), RT_BITMAP) != nullptr); },
       [&](bool) {
         EXPECT_NE(FindResourceW(data, MAKEINTRESOURCEW(208), RT_BITMAP), nullptr);
         EXPECT_NE(FindResourceW(data, MAKEINTRESOURCEW(202), RT_BITMAP), nullptr);
         FreeLibrary(data);
       }},
      {"LoadImageW", nullptr,
       [&] {
         image = LoadImageW(self, MAKEINTRESOURCEW(IDB_RGB24), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION);
         return Win32(image != nullptr);
       },
       [&](bool ok) {
         if (ok) DeleteObject(image);
       }},
      {"CreateCompatibleDC", nullptr,
       [&] {
         image = CreateCompatibleDC(nullptr);
         return Win32(image != nullptr);
       },
       [&](bool ok) {
         if (ok) DeleteDC(static_cast<HDC>(image));
       }},
  };
  Run(cases);
}

TEST_F(OutOfMemory, TextAndMessages) {
  stand_in::ui::ScriptedDriver ui;
  wchar_t buffer[64];
  const std::wstring help = Win(Native("help.chm"));
  const std::vector<Case> cases = {
      {"swprintf_s", nullptr,
       [&] {
         errno = 0;
         return Crt(swprintf_s(buffer, 64, L"%s %d", L"text", 42) >= 0);
       },
       nullptr},
      {"MessageBoxW", [&] { ui.events.clear(); },
       [&] { return Win32(MessageBoxW(nullptr, L"text", L"title", MB_OK) != 0); }, nullptr},
      {"ShellExecuteW", [&] { Touch("help.chm"); },
       [&] {
         const auto result = reinterpret_cast<INT_PTR>(
             ShellExecuteW(nullptr, L"open", help.c_str(), L"", nullptr, SW_SHOW));
         return Outcome{result > 32, result == SE_ERR_OOM ? DWORD(ERROR_NOT_ENOUGH_MEMORY) : DWORD(result)};
       },
       nullptr},
  };
  Run(cases);
}

TEST_F(OutOfMemory, Registry) {
  test_support::TempRegistry registry;
  ASSERT_FALSE(registry.file().empty());
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Probe", 0, nullptr, REG_OPTION_NON_VOLATILE,
                            KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  const wchar_t text[] = L"value";
  HKEY made = nullptr;
  const std::vector<Case> cases = {
      {"RegSetValueExW", nullptr,
       [&] {
         return Status(RegSetValueExW(key, L"Name", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), sizeof text));
       },
       nullptr},
      {"RegQueryValueExW", nullptr,
       [&] {
         DWORD type = 0, size = 0;
         return Status(RegQueryValueExW(key, L"Name", nullptr, &type, nullptr, &size));
       },
       nullptr},
      {"RegCreateKeyExW", nullptr,
       [&] {
         return Status(RegCreateKeyExW(key, L"Sub", 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                                       &made, nullptr));
       },
       [&](bool ok) {
         if (ok) RegCloseKey(made);
       }},
  };
  Run(cases);
  RegCloseKey(key);
}

}  // namespace
