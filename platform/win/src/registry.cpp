// The registry functions over the tree of registry_store.h, kept in one file.
#include <windows.h>
#include <winreg.h>

#include "registry_store.h"
#include "stand_in/registry.h"
#include "stand_in/text.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <unordered_map>

namespace stand_in {
namespace registry {
namespace {

struct Handle {
  int hive;
  std::vector<std::wstring> path;
  REGSAM access;
  bool deleted;
};

struct State {
  std::recursive_mutex mutex;
  std::string path;  // the file the cache below belongs to
  bool loaded = false;
  bool damaged = false;
  // The file last read or written, held open so that its inode number cannot
  // be given to a newer file: an unchanged identity means unchanged contents.
  int held_fd = -1;
  struct stat held {};
  Tree tree;
  std::string last_error;
  std::unordered_map<uintptr_t, Handle> handles;
  uintptr_t next_handle = 0x104;
};

// Never destroyed: keys may be closed from static destructors.
State& S() {
  static State* state = new State;
  return *state;
}

void DropHeld(State& s) {
  if (s.held_fd >= 0) ::close(s.held_fd);
  s.held_fd = -1;
}

bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
         a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec &&
         a.st_ctim.tv_sec == b.st_ctim.tv_sec && a.st_ctim.tv_nsec == b.st_ctim.tv_nsec;
}

// Brings the cache up to date with the file. Called with the mutex held at
// the start of every call.
LSTATUS Refresh(State& s) {
  const std::string path = FilePath();
  if (path != s.path) {
    s.path = path;
    s.loaded = false;
    s.damaged = false;
    s.last_error.clear();
    DropHeld(s);
  }
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) {
    if (errno != ENOENT && errno != ENOTDIR) {
      Report("cannot read the registry file " + path + ": " + std::strerror(errno));
      return ERROR_CANTREAD;
    }
    if (!s.loaded || s.held_fd >= 0 || s.damaged) {
      DropHeld(s);
      s.tree.Clear();
      s.damaged = false;
      s.last_error.clear();
      s.loaded = true;
    }
    return ERROR_SUCCESS;
  }
  if (s.loaded && s.held_fd >= 0 && SameFile(st, s.held)) return s.damaged ? ERROR_BADDB : ERROR_SUCCESS;

  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0 || ::fstat(fd, &st) != 0) {
    Report("cannot read the registry file " + path + ": " + std::strerror(errno));
    if (fd >= 0) ::close(fd);
    s.loaded = false;
    return ERROR_CANTREAD;
  }
  std::string text;
  if (!ReadAll(fd, &text)) {
    Report("cannot read the registry file " + path + ": " + std::strerror(errno));
    ::close(fd);
    s.loaded = false;
    return ERROR_CANTREAD;
  }
  DropHeld(s);
  s.held_fd = fd;
  s.held = st;
  s.loaded = true;
  Tree fresh;
  std::string error;
  if (!Parse(text, path, fresh, &error)) {
    if (error != s.last_error) Report(DamageReport(error));
    s.last_error = error;
    s.damaged = true;
    s.tree.Clear();
    return ERROR_BADDB;
  }
  s.tree = std::move(fresh);
  s.damaged = false;
  s.last_error.clear();
  return ERROR_SUCCESS;
}

// Writes the whole tree (registry_file.cpp says how).
LSTATUS Save(State& s) {
  std::string error;
  struct stat st;
  const int fd = WriteFile(s.path, Serialize(s.tree), &st, &error);
  if (fd < 0) {
    Report(error);
    s.loaded = false;  // the next call reads back what the file holds
    return ERROR_CANTWRITE;
  }
  DropHeld(s);
  s.held_fd = fd;
  s.held = st;
  return ERROR_SUCCESS;
}

int PredefinedHive(HKEY key) {
  if (key == HKEY_CLASSES_ROOT) return kClassesRoot;
  if (key == HKEY_CURRENT_USER) return kCurrentUser;
  if (key == HKEY_LOCAL_MACHINE) return kLocalMachine;
  return -1;
}

bool SameName(const std::wstring& a, const std::wstring& b) { return Fold(a) == Fold(b); }

// A key handle resolved to its key.
struct Place {
  int hive;
  std::vector<std::wstring> path;
  Key* key;
};

LSTATUS Resolve(State& s, HKEY handle, REGSAM need, Place& place) {
  REGSAM access = KEY_ALL_ACCESS;
  const int hive = PredefinedHive(handle);
  if (hive >= 0) {
    place.hive = hive;
    place.path.clear();
  } else {
    auto it = s.handles.find(reinterpret_cast<uintptr_t>(handle));
    if (it == s.handles.end()) return ERROR_INVALID_HANDLE;
    if (it->second.deleted) return ERROR_KEY_DELETED;
    place.hive = it->second.hive;
    place.path = it->second.path;
    access = it->second.access;
  }
  Key* key = &s.tree.hives[place.hive];
  for (const std::wstring& name : place.path) {
    key = key->Find(name);
    if (!key) return ERROR_KEY_DELETED;  // gone, maybe through another process
  }
  if ((access & need) != need) return ERROR_ACCESS_DENIED;
  place.key = key;
  return ERROR_SUCCESS;
}

bool ValidChars(const wchar_t* p) {
  for (; *p; ++p)
    if (static_cast<uint32_t>(*p) > 0x10FFFF) return false;
  return true;
}

// The key `handle` names, as the file holds it now.
LSTATUS Current(State& s, HKEY handle, REGSAM need, Place& place) {
  const LSTATUS r = Refresh(s);
  return r != ERROR_SUCCESS ? r : Resolve(s, handle, need, place);
}

// Splits a subkey path; empty means the key itself. One trailing backslash
// is allowed, as Windows allows it.
LSTATUS SplitPath(LPCWSTR sub, size_t depth, std::vector<std::wstring>& parts) {
  parts.clear();
  if (!sub || !*sub) return ERROR_SUCCESS;
  if (!ValidChars(sub)) return ERROR_INVALID_PARAMETER;
  std::wstring text(sub);
  if (text.back() == L'\\') text.pop_back();
  size_t start = 0;
  for (;;) {
    const size_t end = text.find(L'\\', start);
    std::wstring part = text.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
    if (part.empty()) return ERROR_BAD_PATHNAME;
    if (part.size() > kMaxKeyNameChars) return ERROR_INVALID_PARAMETER;
    parts.push_back(std::move(part));
    if (end == std::wstring::npos) break;
    start = end + 1;
  }
  if (depth + parts.size() > kMaxDepth) return ERROR_INVALID_PARAMETER;
  return ERROR_SUCCESS;
}

// The key `handle` names, and the path of `sub` below it split into `parts`.
LSTATUS Current(State& s, HKEY handle, LPCWSTR sub, Place& place, std::vector<std::wstring>& parts) {
  const LSTATUS r = Current(s, handle, 0, place);
  return r != ERROR_SUCCESS ? r : SplitPath(sub, place.path.size(), parts);
}

HKEY NewHandle(State& s, int hive, std::vector<std::wstring> path, REGSAM access) {
  if (access & MAXIMUM_ALLOWED) access = KEY_ALL_ACCESS;
  const uintptr_t id = s.next_handle;
  s.next_handle += 4;  // never reused, so a closed handle stays invalid
  s.handles[id] = Handle{hive, std::move(path), access, false};
  return reinterpret_cast<HKEY>(id);
}

// Handles on `path` or below it see the key as deleted from now on, even if
// a key of the same name is made again.
void MarkDeleted(State& s, int hive, const std::vector<std::wstring>& path, bool keep_self) {
  for (auto& entry : s.handles) {
    Handle& h = entry.second;
    if (h.hive != hive || h.path.size() < path.size() || (keep_self && h.path.size() == path.size())) continue;
    bool below = true;
    for (size_t i = 0; i < path.size() && below; ++i) below = SameName(h.path[i], path[i]);
    if (below) h.deleted = true;
  }
}

// Stored UTF-16 data as this machine's wide characters.
std::wstring Widen(const std::vector<uint8_t>& data) { return FromUtf16Le(data.data(), data.size()); }

bool Narrow(const wchar_t* text, size_t count, std::vector<uint8_t>& out) {
  out.clear();
  for (size_t i = 0; i < count; ++i) {
    const uint32_t c = static_cast<uint32_t>(text[i]);
    if (c > 0x10FFFF) return false;
    AppendUtf16Le(out, c);
  }
  return true;
}

// A value's data as the caller sees it: strings in wchar_t.
std::vector<uint8_t> Outside(const Value& v) {
  if (!IsStringType(v.type)) return v.data;
  const std::wstring wide = Widen(v.data);
  std::vector<uint8_t> out(wide.size() * sizeof(wchar_t));
  if (!wide.empty()) std::memcpy(out.data(), wide.data(), out.size());
  return out;
}

// Hands out data by the rules of RegQueryValueExW.
LSTATUS GiveData(const Value& v, LPDWORD type, LPBYTE data, LPDWORD size) {
  if (type) *type = v.type;
  if (!size) return ERROR_SUCCESS;
  const std::vector<uint8_t> out = Outside(v);
  const DWORD need = static_cast<DWORD>(out.size());
  if (data && *size < need) {
    *size = need;
    return ERROR_MORE_DATA;
  }
  if (data && need) std::memcpy(data, out.data(), need);
  *size = need;
  return ERROR_SUCCESS;
}

template <class F>
LSTATUS Guarded(F body) {
  try {
    State& s = S();
    std::lock_guard<std::recursive_mutex> guard(s.mutex);
    return body(s);
  } catch (const std::bad_alloc&) {
    return ERROR_NOT_ENOUGH_MEMORY;
  } catch (...) {
    return ERROR_CANTREAD;
  }
}

}  // namespace

void Report(const std::string& text) { std::fprintf(stderr, "registry: %s\n", text.c_str()); }

std::string FilePath() {
  const char* env = std::getenv("TESSALY_REGISTRY");
  if (env && *env) return env;
  std::string base;
  const char* xdg = std::getenv("XDG_DATA_HOME");
  if (xdg && xdg[0] == '/') {
    base = xdg;
  } else {
    const char* home = std::getenv("HOME");
    if (!home || !*home) {
      const struct passwd* pw = ::getpwuid(::getuid());
      home = pw && pw->pw_dir ? pw->pw_dir : "/tmp";
    }
    base = std::string(home) + "/.local/share";
  }
  return base + "/tessaly/registry.txt";
}

std::string LastError() {
  State& s = S();
  std::lock_guard<std::recursive_mutex> guard(s.mutex);
  return s.last_error;
}

size_t OpenKeyCount() {
  State& s = S();
  std::lock_guard<std::recursive_mutex> guard(s.mutex);
  return s.handles.size();
}

}  // namespace registry
}  // namespace stand_in

using namespace stand_in::registry;

LSTATUS WINAPI RegCreateKeyExW(HKEY key, LPCWSTR sub_key, DWORD, LPWSTR, DWORD options, REGSAM desired,
                               const LPSECURITY_ATTRIBUTES, PHKEY result, LPDWORD disposition) {
  if (!result) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  if (!sub_key || options != REG_OPTION_NON_VOLATILE) return ERROR_INVALID_PARAMETER;
  return Guarded([&](State& s) -> LSTATUS {
    WriteLock lock(FilePath());
    if (!lock.ok()) return ERROR_CANTWRITE;
    Place place;
    std::vector<std::wstring> parts;
    LSTATUS r = Current(s, key, sub_key, place, parts);
    if (r != ERROR_SUCCESS) return r;
    Key* at = place.key;
    bool created = false;
    for (const std::wstring& name : parts) {
      Key* next = at->Find(name);
      if (!next) {
        next = &at->Add(name);
        created = true;
      }
      place.path.push_back(next->name);
      at = next;
    }
    if (created && (r = Save(s)) != ERROR_SUCCESS) return r;
    if (disposition) *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    *result = NewHandle(s, place.hive, std::move(place.path), desired);
    return ERROR_SUCCESS;
  });
}

LSTATUS WINAPI RegOpenKeyExW(HKEY key, LPCWSTR sub_key, DWORD options, REGSAM desired, PHKEY result) {
  if (!result) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  if (options != 0) return ERROR_INVALID_PARAMETER;
  return Guarded([&](State& s) -> LSTATUS {
    Place place;
    std::vector<std::wstring> parts;
    LSTATUS r = Current(s, key, sub_key, place, parts);
    if (r != ERROR_SUCCESS) return r;
    Key* at = place.key;
    for (const std::wstring& name : parts) {
      at = at->Find(name);
      if (!at) return ERROR_FILE_NOT_FOUND;
      place.path.push_back(at->name);
    }
    *result = NewHandle(s, place.hive, std::move(place.path), desired);
    return ERROR_SUCCESS;
  });
}

LSTATUS WINAPI RegCloseKey(HKEY key) {
  if (PredefinedHive(key) >= 0) return ERROR_SUCCESS;
  return Guarded([&](State& s) -> LSTATUS {
    return s.handles.erase(reinterpret_cast<uintptr_t>(key)) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
  });
}

LSTATUS WINAPI RegSetValueExW(HKEY key, LPCWSTR value_name, DWORD, DWORD type, const BYTE* data, DWORD size) {
  if (!data && size) return ERROR_NOACCESS;
  return Guarded([&](State& s) -> LSTATUS {
    const std::wstring name = value_name ? value_name : L"";
    if (name.size() > kMaxValueNameChars || !ValidChars(name.c_str())) return ERROR_INVALID_PARAMETER;
    std::vector<uint8_t> stored;
    if (IsStringType(type)) {
      // Whole wide characters only: a byte count in 16-bit units means the
      // caller sized the text for another wchar_t.
      if (size % sizeof(wchar_t)) return ERROR_INVALID_PARAMETER;
      if (!Narrow(reinterpret_cast<const wchar_t*>(data), size / sizeof(wchar_t), stored))
        return ERROR_INVALID_PARAMETER;
    } else {
      stored.assign(data, data + size);
    }
    WriteLock lock(FilePath());
    if (!lock.ok()) return ERROR_CANTWRITE;
    Place place;
    LSTATUS r = Current(s, key, KEY_SET_VALUE, place);
    if (r != ERROR_SUCCESS) return r;
    Value* v = place.key->FindValue(name);
    if (!v) {
      place.key->values.push_back(Value{name, type, {}});
      v = &place.key->values.back();
    }
    v->type = type;
    v->data = std::move(stored);
    return Save(s);
  });
}

LSTATUS WINAPI RegQueryValueExW(HKEY key, LPCWSTR value_name, LPDWORD reserved, LPDWORD type, LPBYTE data,
                                LPDWORD size) {
  if (reserved || (data && !size)) return ERROR_INVALID_PARAMETER;
  return Guarded([&](State& s) -> LSTATUS {
    Place place;
    LSTATUS r = Current(s, key, KEY_QUERY_VALUE, place);
    if (r != ERROR_SUCCESS) return r;
    const Value* v = place.key->FindValue(value_name ? value_name : L"");
    if (!v) return ERROR_FILE_NOT_FOUND;
    return GiveData(*v, type, data, size);
  });
}

LSTATUS WINAPI RegDeleteValueW(HKEY key, LPCWSTR value_name) {
  return Guarded([&](State& s) -> LSTATUS {
    WriteLock lock(FilePath());
    if (!lock.ok()) return ERROR_CANTWRITE;
    Place place;
    LSTATUS r = Current(s, key, KEY_SET_VALUE, place);
    if (r != ERROR_SUCCESS) return r;
    const std::wstring folded = Fold(value_name ? value_name : L"");
    auto& values = place.key->values;
    for (auto it = values.begin(); it != values.end(); ++it) {
      if (Fold(it->name) == folded) {
        values.erase(it);
        return Save(s);
      }
    }
    return ERROR_FILE_NOT_FOUND;
  });
}

namespace {

// Removes the key `sub_key` names below `key` (the key itself when empty):
// whole with `tree`, else only when it has no subkeys.
LSTATUS DeleteKey(HKEY key, LPCWSTR sub_key, bool tree) {
  return Guarded([&](State& s) -> LSTATUS {
    WriteLock lock(FilePath());
    if (!lock.ok()) return ERROR_CANTWRITE;
    Place place;
    std::vector<std::wstring> parts;
    LSTATUS r = Current(s, key, sub_key, place, parts);
    if (r != ERROR_SUCCESS) return r;
    std::vector<std::wstring> path = place.path;
    path.insert(path.end(), parts.begin(), parts.end());
    if (path.empty()) return ERROR_ACCESS_DENIED;  // a hive's root stays
    Key* parent = &s.tree.hives[place.hive];
    for (size_t i = 0; i + 1 < path.size(); ++i) {
      parent = parent->Find(path[i]);
      if (!parent) return ERROR_FILE_NOT_FOUND;
    }
    auto it = parent->subkeys.find(Fold(path.back()));
    if (it == parent->subkeys.end()) return ERROR_FILE_NOT_FOUND;
    if (!tree && !it->second->subkeys.empty()) return ERROR_ACCESS_DENIED;
    parent->subkeys.erase(it);
    MarkDeleted(s, place.hive, path, false);
    return Save(s);
  });
}

}  // namespace

LSTATUS WINAPI RegDeleteKeyW(HKEY key, LPCWSTR sub_key) {
  if (!sub_key) return ERROR_INVALID_PARAMETER;
  return DeleteKey(key, sub_key, false);
}

LSTATUS WINAPI RegDeleteTreeW(HKEY key, LPCWSTR sub_key) {
  if (sub_key) return DeleteKey(key, sub_key, true);
  return Guarded([&](State& s) -> LSTATUS {
    WriteLock lock(FilePath());
    if (!lock.ok()) return ERROR_CANTWRITE;
    Place place;
    LSTATUS r = Current(s, key, DELETE | KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE, place);
    if (r != ERROR_SUCCESS) return r;
    place.key->subkeys.clear();
    place.key->values.clear();
    MarkDeleted(s, place.hive, place.path, true);
    return Save(s);
  });
}

LSTATUS WINAPI RegEnumKeyExW(HKEY key, DWORD index, LPWSTR name, LPDWORD name_chars, LPDWORD reserved,
                             LPWSTR key_class, LPDWORD class_chars, PFILETIME last_write) {
  if (!name || !name_chars || reserved) return ERROR_INVALID_PARAMETER;
  return Guarded([&](State& s) -> LSTATUS {
    Place place;
    LSTATUS r = Current(s, key, KEY_ENUMERATE_SUB_KEYS, place);
    if (r != ERROR_SUCCESS) return r;
    if (index >= place.key->subkeys.size()) return ERROR_NO_MORE_ITEMS;
    const std::wstring& found = std::next(place.key->subkeys.begin(), index)->second->name;
    if (*name_chars <= found.size()) return ERROR_MORE_DATA;
    std::wmemcpy(name, found.c_str(), found.size() + 1);
    *name_chars = static_cast<DWORD>(found.size());
    if (key_class && class_chars && *class_chars) key_class[0] = 0;
    if (class_chars) *class_chars = 0;
    if (last_write) *last_write = FILETIME{0, 0};
    return ERROR_SUCCESS;
  });
}

LSTATUS WINAPI RegEnumValueW(HKEY key, DWORD index, LPWSTR name, LPDWORD name_chars, LPDWORD reserved,
                             LPDWORD type, LPBYTE data, LPDWORD size) {
  if (!name || !name_chars || reserved || (data && !size)) return ERROR_INVALID_PARAMETER;
  return Guarded([&](State& s) -> LSTATUS {
    Place place;
    LSTATUS r = Current(s, key, KEY_QUERY_VALUE, place);
    if (r != ERROR_SUCCESS) return r;
    if (index >= place.key->values.size()) return ERROR_NO_MORE_ITEMS;
    const Value& v = place.key->values[index];
    if (*name_chars <= v.name.size()) return ERROR_MORE_DATA;
    std::wmemcpy(name, v.name.c_str(), v.name.size() + 1);
    *name_chars = static_cast<DWORD>(v.name.size());
    return GiveData(v, type, data, size);
  });
}

LSTATUS WINAPI RegQueryInfoKeyW(HKEY key, LPWSTR key_class, LPDWORD class_chars, LPDWORD reserved,
                                LPDWORD sub_keys, LPDWORD max_sub_key_chars, LPDWORD max_class_chars,
                                LPDWORD values, LPDWORD max_value_name_chars, LPDWORD max_value_size,
                                LPDWORD security_descriptor_size, PFILETIME last_write) {
  if (reserved) return ERROR_INVALID_PARAMETER;
  return Guarded([&](State& s) -> LSTATUS {
    Place place;
    LSTATUS r = Current(s, key, KEY_QUERY_VALUE, place);
    if (r != ERROR_SUCCESS) return r;
    size_t longest_key = 0, longest_name = 0, largest = 0;
    for (const auto& entry : place.key->subkeys) longest_key = std::max(longest_key, entry.second->name.size());
    for (const Value& v : place.key->values) {
      longest_name = std::max(longest_name, v.name.size());
      largest = std::max(largest, Outside(v).size());
    }
    if (key_class && class_chars && *class_chars) key_class[0] = 0;
    if (class_chars) *class_chars = 0;
    if (sub_keys) *sub_keys = static_cast<DWORD>(place.key->subkeys.size());
    if (max_sub_key_chars) *max_sub_key_chars = static_cast<DWORD>(longest_key);
    if (max_class_chars) *max_class_chars = 0;
    if (values) *values = static_cast<DWORD>(place.key->values.size());
    if (max_value_name_chars) *max_value_name_chars = static_cast<DWORD>(longest_name);
    if (max_value_size) *max_value_size = static_cast<DWORD>(largest);
    if (security_descriptor_size) *security_descriptor_size = 0;
    if (last_write) *last_write = FILETIME{0, 0};
    return ERROR_SUCCESS;
  });
}
