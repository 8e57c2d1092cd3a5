#include "stand_in/paths.h"

#include <windows.h>

#include "stand_in/text.h"

#include <cstdlib>
#include <cwctype>
#include <map>

namespace stand_in {
namespace {

std::map<wchar_t, std::string>& Overrides() {
  static std::map<wchar_t, std::string> roots;
  return roots;
}

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

std::string Slashes(const std::wstring& rest) {
  std::string out = ToUtf8(rest);
  for (char& c : out)
    if (c == '\\') c = '/';
  return out;
}

std::string Join(const std::string& root, const std::string& rest) {
  std::string out = root;
  while (out.size() > 1 && out.back() == '/') out.pop_back();
  size_t i = 0;
  while (i < rest.size() && rest[i] == '/') ++i;
  if (i == rest.size()) return out.empty() ? "/" : out;
  if (out != "/") out += '/';
  return out + rest.substr(i);
}

}  // namespace

void SetDriveRoot(wchar_t letter, const std::string& root) {
  letter = static_cast<wchar_t>(std::towupper(static_cast<wint_t>(letter)));
  if (root.empty()) Overrides().erase(letter);
  else Overrides()[letter] = root;
}

std::string DriveRoot(wchar_t letter) {
  letter = static_cast<wchar_t>(std::towupper(static_cast<wint_t>(letter)));
  auto it = Overrides().find(letter);
  if (it != Overrides().end()) return it->second;
  const std::string name = std::string("TESSALY_DRIVE_") + static_cast<char>(letter);
  if (const char* env = std::getenv(name.c_str())) {
    if (*env) return env;
  }
  if (letter == L'Z') return "/";
  return std::string("/mnt/") + static_cast<char>(std::towlower(static_cast<wint_t>(letter)));
}

std::string NativePath(const std::wstring& given) {
  std::wstring path = given;
  if (path.compare(0, 4, L"\\\\?\\") == 0) {
    path.erase(0, 4);
    if (_wcsnicmp(path.c_str(), L"UNC\\", 4) == 0) path.replace(0, 4, L"\\\\");
  }
  if (path.size() >= 2 && std::iswalpha(static_cast<wint_t>(path[0])) && path[0] < 0x80 && path[1] == L':')
    return Join(DriveRoot(path[0]), Slashes(path.substr(2)));
  if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1]))
    return Join("/mnt/unc", Slashes(path.substr(2)));
  return Slashes(path);
}

std::wstring WindowsPath(const std::string& native) {
  if (native.empty() || native[0] != '/') {
    std::wstring out = FromUtf8(native);
    for (wchar_t& c : out)
      if (c == L'/') c = L'\\';
    return out;
  }
  wchar_t best = L'Z';
  std::string bestRoot = "/";
  for (wchar_t letter = L'A'; letter <= L'Z'; ++letter) {
    std::string root = DriveRoot(letter);
    while (root.size() > 1 && root.back() == '/') root.pop_back();
    if (root.size() <= bestRoot.size()) continue;
    if (native.compare(0, root.size(), root) == 0 && (native.size() == root.size() || native[root.size()] == '/')) {
      best = letter;
      bestRoot = root;
    }
  }
  std::string rest = bestRoot == "/" ? native : native.substr(bestRoot.size());
  std::wstring out(1, best);
  out += L':';
  std::wstring wide = FromUtf8(rest.empty() ? "/" : rest);
  for (wchar_t& c : wide)
    if (c == L'/') c = L'\\';
  return out + wide;
}

}  // namespace stand_in
