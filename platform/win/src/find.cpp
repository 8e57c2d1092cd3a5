// FindFirstFileW and friends over the real file system.
#include <windows.h>

#include "stand_in/no_throw.h"
#include "stand_in/paths.h"
#include "stand_in/text.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <cwctype>
#include <set>
#include <string>
#include <vector>

namespace {

struct Search {
  std::vector<WIN32_FIND_DATAW> entries;
  size_t next = 0;
};

std::set<Search*>& Searches() {
  static std::set<Search*> searches;
  return searches;
}

wchar_t Fold(wchar_t c) { return stand_in::ToUpper(c); }

// "*" matches any run of characters and "?" exactly one. The file system
// also takes "<" (any run that stops short of the name's last "."), ">" (one
// character, or none at a "." or the end) and "\"" (a "." or the end of the
// name). Case is ignored.
bool Matches(const std::wstring& pattern, const std::wstring& name) {
  const size_t count = name.size();
  const size_t lastDot = name.rfind(L'.');
  // next[n]: the rest of the pattern after the current character matches
  // name[n..]; here[n]: the pattern from the current character on does.
  std::vector<char> next(count + 1, 0), here(count + 1, 0);
  next[count] = 1;
  for (size_t p = pattern.size(); p-- > 0;) {
    const wchar_t c = pattern[p];
    for (size_t n = count + 1; n-- > 0;) {
      const bool more = n < count;
      bool ok;
      switch (c) {
        case L'*': ok = next[n] || (more && here[n + 1]); break;
        case L'<': ok = next[n] || (more && n != lastDot && here[n + 1]); break;
        case L'>': ok = (more && name[n] != L'.') ? next[n + 1] : next[n]; break;
        case L'"': ok = more ? (name[n] == L'.' && next[n + 1]) : next[n]; break;
        case L'?': ok = more && next[n + 1]; break;
        default: ok = more && Fold(c) == Fold(name[n]) && next[n + 1]; break;
      }
      here[n] = ok;
    }
    next.swap(here);
  }
  return next[0];
}

// Windows holds no file by such a name, and joined to its folder it would
// name another file ("..\x" climbs out): the search never yields it. Nor a
// name that isn't valid UTF-8, whose wide form leads back to another file.
bool IsWindowsName(const char* native, const std::wstring& name) {
  if (stand_in::ToUtf8(name) != native) return false;
  for (wchar_t c : name)
    if (c < 32 || std::wcschr(L"\\/:*?\"<>|", c)) return false;
  return true;
}

FILETIME ToFileTime(const timespec& t) {
  // 100-nanosecond intervals since 1601-01-01.
  const unsigned long long ticks = static_cast<unsigned long long>(t.tv_sec) * 10000000ull +
                                   static_cast<unsigned long long>(t.tv_nsec) / 100ull + 116444736000000000ull;
  return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

bool Entry(const std::string& folder, const std::wstring& name, WIN32_FIND_DATAW* data) {
  if (name.size() >= MAX_PATH) return false;
  *data = WIN32_FIND_DATAW{};
  std::wmemcpy(data->cFileName, name.data(), name.size());
  struct stat st;
  if (::stat((folder + "/" + stand_in::ToUtf8(name)).c_str(), &st) != 0) {
    data->dwFileAttributes = FILE_ATTRIBUTE_NORMAL;  // a dangling link: a name without a file
    return true;
  }
  data->dwFileAttributes = S_ISDIR(st.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
  if (!(st.st_mode & S_IWUSR)) data->dwFileAttributes |= FILE_ATTRIBUTE_READONLY;
  if (!S_ISDIR(st.st_mode)) {
    const unsigned long long size = static_cast<unsigned long long>(st.st_size);
    data->nFileSizeLow = static_cast<DWORD>(size);
    data->nFileSizeHigh = static_cast<DWORD>(size >> 32);
  }
  data->ftCreationTime = ToFileTime(st.st_mtim);
  data->ftLastAccessTime = ToFileTime(st.st_atim);
  data->ftLastWriteTime = ToFileTime(st.st_mtim);
  return true;
}

bool FoldedLess(const WIN32_FIND_DATAW& a, const WIN32_FIND_DATAW& b) {
  return std::lexicographical_compare(a.cFileName, a.cFileName + std::wcslen(a.cFileName), b.cFileName,
                                      b.cFileName + std::wcslen(b.cFileName),
                                      [](wchar_t x, wchar_t y) { return Fold(x) < Fold(y); });
}

// The matching names of the folder, sorted; null with the last error set
// when there are none.
std::unique_ptr<Search> Find(LPCWSTR pattern) {
  const std::wstring text(pattern);
  // Only the long-path prefix lifts the limit of MAX_PATH - 1 characters.
  if (text.size() >= MAX_PATH && text.compare(0, 4, L"\\\\?\\") != 0) {
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return nullptr;
  }
  size_t cut = text.find_last_of(L"\\/");
  cut = cut == std::wstring::npos ? (text.size() >= 2 && text[1] == L':' ? 2 : 0) : cut + 1;
  const std::wstring folderText = text.substr(0, cut);
  const std::wstring namePattern = text.substr(cut);
  const std::string folder = folderText.empty() ? std::string(".") : stand_in::NativePath(folderText);

  auto search = std::make_unique<Search>();
  std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), ::closedir);
  if (!dir) {
    SetLastError(errno == ENOMEM ? ERROR_NOT_ENOUGH_MEMORY : ERROR_PATH_NOT_FOUND);
    return nullptr;
  }
  while (const dirent* e = ::readdir(dir.get())) {
    const std::wstring name = stand_in::FromUtf8(e->d_name);
    WIN32_FIND_DATAW entry;
    if (IsWindowsName(e->d_name, name) && Matches(namePattern, name) && Entry(folder, name, &entry))
      search->entries.push_back(entry);
  }
  if (search->entries.empty()) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return nullptr;
  }
  std::sort(search->entries.begin(), search->entries.end(), FoldedLess);
  search->next = 1;
  return search;
}

}  // namespace

HANDLE WINAPI FindFirstFileW(LPCWSTR pattern, LPWIN32_FIND_DATAW data) {
  if (!pattern || !data) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  return stand_in::Win32NoThrow<HANDLE>(INVALID_HANDLE_VALUE, ERROR_PATH_NOT_FOUND, [&]() -> HANDLE {
    std::unique_ptr<Search> search = Find(pattern);
    if (!search) return INVALID_HANDLE_VALUE;
    Searches().insert(search.get());
    *data = search->entries[0];
    return search.release();
  });
}

BOOL WINAPI FindNextFileW(HANDLE handle, LPWIN32_FIND_DATAW data) {
  auto it = Searches().find(static_cast<Search*>(handle));
  if (it == Searches().end() || !data) {
    SetLastError(it == Searches().end() ? ERROR_INVALID_HANDLE : ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  Search* search = *it;
  if (search->next >= search->entries.size()) {
    SetLastError(ERROR_NO_MORE_FILES);
    return FALSE;
  }
  *data = search->entries[search->next++];
  return TRUE;
}

BOOL WINAPI FindClose(HANDLE handle) {
  auto it = Searches().find(static_cast<Search*>(handle));
  if (it == Searches().end()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  delete *it;
  Searches().erase(it);
  return TRUE;
}
