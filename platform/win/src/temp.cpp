// The temporary folder and temporary file names.
#include <windows.h>

#include "stand_in/no_throw.h"
#include "stand_in/paths.h"
#include "stand_in/text.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <memory>
#include <cstdlib>
#include <set>
#include <string>

namespace stand_in {
namespace {

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

// A value of TMP, TEMP or USERPROFILE as a Windows path: a native path
// (this machine's own form) or a Windows path as given, relative ones taken
// from the working directory.
std::wstring TempFolder() {
  for (const char* name : {"TMP", "TEMP", "USERPROFILE"}) {
    const char* value = std::getenv(name);
    if (!value || !*value) continue;
    const std::string text(value);
    if (text[0] == '/') return WindowsPath(text);
    const std::wstring wide = FromUtf8(text);
    const bool absolute = (wide.size() >= 2 && wide[1] == L':') || IsSeparator(wide[0]);
    if (absolute) return wide;
    char cwd[4096];
    if (!::getcwd(cwd, sizeof cwd)) continue;
    return WindowsPath(cwd) + L"\\" + wide;
  }
  return WindowsPath("/tmp");
}

std::wstring Upper(const std::wstring& text) {
  std::wstring out = text;
  for (wchar_t& c : out) c = ToUpper(c);
  return out;
}

// The names in `native` folder, upper case, so that a name is free only when
// no file has it in any case, as on Windows.
bool UpperNames(const std::string& native, std::set<std::wstring>* names) {
  std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(native.c_str()), ::closedir);
  // A folder that could not be opened for want of memory is no missing one.
  if (!dir && errno == ENOMEM) throw std::bad_alloc();
  if (!dir) return false;
  while (const dirent* entry = ::readdir(dir.get())) names->insert(Upper(FromUtf8(entry->d_name)));
  return true;
}

}  // namespace
}  // namespace stand_in

DWORD WINAPI GetTempPathW(DWORD size, LPWSTR buffer) {
  return stand_in::Win32NoThrow<DWORD>(0, ERROR_PATH_NOT_FOUND, [&]() -> DWORD {
    std::wstring folder = stand_in::TempFolder();
    if (folder.empty() || !stand_in::IsSeparator(folder.back())) folder += L'\\';
    const DWORD length = static_cast<DWORD>(folder.size());
    if (!buffer || size <= length) return length + 1;
    std::wmemcpy(buffer, folder.c_str(), folder.size() + 1);
    return length;
  });
}

UINT WINAPI GetTempFileNameW(LPCWSTR dir, LPCWSTR prefix, UINT unique, LPWSTR name) {
  if (!dir || !name) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  return stand_in::Win32NoThrow<UINT>(0, ERROR_DIRECTORY, [&]() -> UINT {
    std::wstring base(dir);
    if (!base.empty() && !stand_in::IsSeparator(base.back())) base += L'\\';
    std::wstring pre;
    for (size_t i = 0; prefix && prefix[i] && i < 3; ++i) pre += prefix[i];
    auto form = [&](UINT number) {
      wchar_t hex[8];
      swprintf_s(hex, 8, L"%X", number);
      return pre + hex + L".TMP";
    };
    auto store = [&](const std::wstring& file) {
      const std::wstring full = base + file;
      if (full.size() >= MAX_PATH) {
        SetLastError(ERROR_BUFFER_OVERFLOW);
        return false;
      }
      std::wmemcpy(name, full.c_str(), full.size() + 1);
      return true;
    };

    if (unique != 0) {
      const UINT number = unique & 0xFFFF;
      return store(form(number)) ? number : 0;
    }

    const DWORD attributes = GetFileAttributesW(base.empty() ? L"." : base.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
      // Running out of memory says nothing about the folder.
      if (attributes != INVALID_FILE_ATTRIBUTES || GetLastError() != ERROR_NOT_ENOUGH_MEMORY)
        SetLastError(ERROR_DIRECTORY);
      return 0;
    }
    std::set<std::wstring> taken;
    if (!stand_in::UpperNames(stand_in::NativePath(base.empty() ? L"." : base), &taken)) {
      SetLastError(ERROR_DIRECTORY);
      return 0;
    }
    // Start from the clock, as Windows does, and count up past the names taken.
    const auto ticks = std::chrono::steady_clock::now().time_since_epoch().count();
    UINT number = static_cast<UINT>((ticks ^ (ticks >> 16)) & 0xFFFF);
    for (UINT tried = 0; tried < 0xFFFF; ++tried, number = number % 0xFFFF + 1) {
      if (number == 0) number = 1;
      const std::wstring file = form(number);
      if (taken.count(stand_in::Upper(file))) continue;
      if (!store(file)) return 0;
      HANDLE handle = CreateFileW(name, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
      if (handle != INVALID_HANDLE_VALUE) {
        CloseHandle(handle);
        SetLastError(ERROR_SUCCESS);
        return number;
      }
      const DWORD error = GetLastError();
      // Made by someone else since the folder was read: try the next one.
      if (error != ERROR_FILE_EXISTS && error != ERROR_ACCESS_DENIED) return 0;
    }
    SetLastError(ERROR_FILE_EXISTS);
    return 0;
  });
}
