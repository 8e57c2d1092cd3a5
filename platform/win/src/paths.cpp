#include "stand_in/paths.h"

#include <windows.h>

#include "stand_in/text.h"

#include <cstdlib>
#include <cwctype>
#include <map>
#include <vector>

#include <unistd.h>

namespace stand_in {
namespace {

std::map<wchar_t, std::string>& Overrides() {
  static std::map<wchar_t, std::string> roots;
  return roots;
}

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

std::string Join(const std::string& root, const std::string& rest) {
  std::string out = root;
  while (out.size() > 1 && out.back() == '/') out.pop_back();
  size_t i = 0;
  while (i < rest.size() && rest[i] == '/') ++i;
  if (i == rest.size()) return out.empty() ? "/" : out;
  if (out != "/") out += '/';
  return out + rest.substr(i);
}

std::vector<std::wstring> Components(const std::wstring& rest) {
  std::vector<std::wstring> parts;
  size_t start = 0;
  for (size_t i = 0; i <= rest.size(); ++i) {
    if (i < rest.size() && !IsSeparator(rest[i])) continue;
    if (i > start) parts.push_back(rest.substr(start, i - start));
    start = i + 1;
  }
  return parts;
}

bool IsDots(const std::wstring& part) { return part == L"." || part == L".."; }

// Windows resolves "." and ".." by the text alone, and ".." at a root stays
// at the root. `climbed` counts the ".." left over above the start.
std::vector<std::wstring> Resolve(const std::wstring& rest, size_t* climbed) {
  std::vector<std::wstring> out;
  *climbed = 0;
  for (const std::wstring& part : Components(rest)) {
    if (part == L".") continue;
    if (part != L"..") out.push_back(part);
    else if (!out.empty()) out.pop_back();
    else ++*climbed;
  }
  return out;
}

std::string Slashes(const std::vector<std::wstring>& parts, bool trailing) {
  std::string out;
  for (const std::wstring& part : parts) {
    if (!out.empty()) out += '/';
    out += ToUtf8(part);
  }
  if (trailing && !out.empty()) out += '/';
  return out;
}

bool EndsInSeparator(const std::wstring& path) { return !path.empty() && IsSeparator(path.back()); }

std::string Under(const std::string& root, const std::wstring& rest) {
  size_t climbed = 0;
  return Join(root, Slashes(Resolve(rest, &climbed), EndsInSeparator(rest)));
}

std::string WorkingDirectory() {
  char* cwd = ::getcwd(nullptr, 0);
  if (!cwd) return std::string();
  std::string out(cwd);
  std::free(cwd);
  return out;
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
    // The prefix hands the rest to the file system unparsed, and no file
    // there is named "." or "..".
    path.erase(0, 4);
    for (const std::wstring& part : Components(path))
      if (IsDots(part)) return std::string();
    if (_wcsnicmp(path.c_str(), L"UNC\\", 4) == 0) path.replace(0, 4, L"\\\\");
  }
  if (path.size() >= 2 && std::iswalpha(static_cast<wint_t>(path[0])) && path[0] < 0x80 && path[1] == L':')
    return Under(DriveRoot(path[0]), path.substr(2));
  if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
    // \\srv\share is the root of the share: both names are needed, and ".."
    // never takes either away.
    std::wstring names[2];
    size_t at = 2;
    for (std::wstring& name : names) {
      if (at > path.size()) return std::string();
      size_t end = at;
      while (end < path.size() && !IsSeparator(path[end])) ++end;
      name = path.substr(at, end - at);
      if (name.empty() || IsDots(name)) return std::string();
      at = end + 1;
    }
    const std::string share = "/mnt/unc/" + ToUtf8(names[0]) + "/" + ToUtf8(names[1]);
    return at >= path.size() ? share : Under(share, path.substr(at));
  }
  if (!path.empty() && IsSeparator(path[0])) return Under("/", path);
  size_t climbed = 0;
  const std::vector<std::wstring> parts = Resolve(path, &climbed);
  if (climbed == 0) {
    if (parts.empty()) return path.empty() ? std::string() : std::string(".");
    return Slashes(parts, EndsInSeparator(path));
  }
  // Above the working directory: resolved from its Windows form, so that it
  // stops at the root of the drive the working directory is on.
  const std::string cwd = WorkingDirectory();
  if (cwd.empty()) return std::string();
  return NativePath(WindowsPath(cwd) + L"\\" + path);
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
