// The shell's ShellExecuteW: files are opened through the UI driver, so that
// a test sees what a person would see open.
#include <shellapi.h>
#include <windows.h>

#include "stand_in/paths.h"
#include "stand_in/ui.h"

#include <sys/stat.h>

#include <filesystem>
#include <string>

namespace {

HINSTANCE Result(DWORD code) {
  SetLastError(code);
  return reinterpret_cast<HINSTANCE>(static_cast<ULONG_PTR>(code));
}

bool IsAbsolute(const std::wstring& path) {
  return (path.size() >= 2 && path[1] == L':') || (!path.empty() && (path[0] == L'\\' || path[0] == L'/'));
}

}  // namespace

HINSTANCE WINAPI ShellExecuteW(HWND, LPCWSTR verb, LPCWSTR file, LPCWSTR, LPCWSTR directory, INT) {
  if (!file || !*file) return Result(ERROR_FILE_NOT_FOUND);
  try {
    std::wstring path = file;
    if (directory && *directory && !IsAbsolute(path)) {
      std::wstring dir = directory;
      if (dir.back() != L'\\' && dir.back() != L'/') dir += L'\\';
      path = dir + path;
    }
    const std::string native = stand_in::NativePath(path);
    struct stat info;
    if (stat(native.c_str(), &info) != 0) {
      const std::string parent = std::filesystem::path(native).parent_path().string();
      struct stat dir;
      const bool parentOk = parent.empty() || (stat(parent.c_str(), &dir) == 0 && S_ISDIR(dir.st_mode));
      return Result(parentOk ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND);
    }
    if (verb && *verb && _wcsicmp(verb, L"open") != 0) return Result(SE_ERR_NOASSOC);
    stand_in::ui::Current().ShellOpen(path);
    // Any value above 32 means success; Windows gives 42.
    return reinterpret_cast<HINSTANCE>(static_cast<ULONG_PTR>(42));
  } catch (...) {
    return Result(SE_ERR_OOM);
  }
}
