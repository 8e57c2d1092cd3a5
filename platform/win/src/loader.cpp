// Modules loaded to run, over the machine's loader. Each module handle is the
// module's base address; the table counts the loads of each, runs its
// DllMain on the first load and the last free, and keeps one dlopen
// reference per module while it is loaded. One recursive lock, as Windows'
// loader lock, is held around every change and every DllMain call, so that a
// DllMain may itself load or free modules.
#include "loader.h"

#include <libloaderapi.h>
#include <windows.h>

#include "stand_in/module.h"
#include "stand_in/paths.h"
#include "stand_in/text.h"

#include <dirent.h>
#include <dlfcn.h>
#include <link.h>
#include <sys/stat.h>

#include <cstdio>
#include <exception>
#include <filesystem>
#include <map>
#include <mutex>
#include <set>
#include <string>

namespace stand_in {
namespace {

typedef BOOL(WINAPI* EntryPoint)(HINSTANCE, DWORD, LPVOID);

struct Module {
  void* handle = nullptr;  // the dlopen reference this table holds
  unsigned count = 0;
  std::string path;
  bool mappedBefore = false;  // by the process, before the first load
};

std::recursive_mutex& LoaderLock() {
  static std::recursive_mutex mutex;
  return mutex;
}

std::map<HMODULE, Module>& Table() {
  static std::map<HMODULE, Module> table;
  return table;
}

// Modules this table unloaded; a later free of one that the machine's
// loader kept mapped is a free too many, not a module mapped with the process.
std::set<HMODULE>& Released() {
  static std::set<HMODULE> released;
  return released;
}

bool IsDataFile(HMODULE module) { return (reinterpret_cast<uintptr_t>(module) & 3) != 0; }

bool IsFile(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

std::wstring Upper(std::wstring text) {
  for (wchar_t& c : text) c = ToUpper(c);
  return text;
}

// `dir`/`name`, or the entry of `dir` whose name differs from `name` only in
// case, as a Windows file system would find it; empty when neither exists.
std::string FindIn(const std::string& dir, const std::string& name) {
  const std::string exact = (std::filesystem::path(dir) / name).string();
  if (IsFile(exact)) return exact;
  DIR* d = opendir(dir.empty() ? "." : dir.c_str());
  if (!d) return std::string();
  const std::wstring wanted = Upper(FromUtf8(name));
  std::string found;
  while (dirent* entry = readdir(d)) {
    if (Upper(FromUtf8(entry->d_name)) != wanted) continue;
    const std::string candidate = (std::filesystem::path(dir) / entry->d_name).string();
    if (IsFile(candidate)) {
      found = candidate;
      break;
    }
  }
  closedir(d);
  return found;
}

std::string Absolute(const std::string& path) {
  std::error_code error;
  std::filesystem::path full = std::filesystem::absolute(path, error);
  return error ? path : full.lexically_normal().string();
}

std::string ExecutableDirectory() {
  std::error_code error;
  std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::string() : exe.parent_path().string();
}

// The module the dlopen handle stands for: the base of the object that holds
// its dynamic section.
HMODULE ModuleOfHandle(void* handle) {
  link_map* map = nullptr;
  if (dlinfo(handle, RTLD_DI_LINKMAP, &map) != 0 || !map || !map->l_ld) return nullptr;
  return ModuleOf(map->l_ld);
}

// A symbol the module itself defines; what its dependencies define is not
// its export.
void* OwnSymbol(void* handle, HMODULE module, const char* name) {
  dlerror();
  void* symbol = dlsym(handle, name);
  if (!symbol || ModuleOf(symbol) != module) return nullptr;
  return symbol;
}

bool CallEntry(HMODULE module, EntryPoint entry, DWORD reason, const std::string& path) {
  try {
    return entry(reinterpret_cast<HINSTANCE>(module), reason, nullptr) != FALSE;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "tessaly: DllMain of %s threw: %s\n", path.c_str(), e.what());
  } catch (...) {
    std::fprintf(stderr, "tessaly: DllMain of %s threw\n", path.c_str());
  }
  return false;
}

// The machine's loader says why in text only. Out of memory it says so
// ("cannot allocate ...", "cannot create shared object descriptor"), or it
// cannot even say why it could not open a file that it found.
DWORD ErrorOfDlopen(const std::string& text) {
  const auto has = [&text](const char* part) { return text.find(part) != std::string::npos; };
  if (has("undefined symbol")) return ERROR_PROC_NOT_FOUND;
  if (has("allocate") || has("cannot create shared object descriptor")) return ERROR_NOT_ENOUGH_MEMORY;
  if (has("cannot open shared object file"))
    return has("cannot open shared object file: ") ? ERROR_MOD_NOT_FOUND : ERROR_NOT_ENOUGH_MEMORY;
  return ERROR_BAD_EXE_FORMAT;
}

// Windows adds ".dll" to a last component without a "."; a trailing "."
// says there is no extension.
std::wstring WithExtension(std::wstring name) {
  const size_t slash = name.find_last_of(L"\\/");
  const std::wstring last = slash == std::wstring::npos ? name : name.substr(slash + 1);
  if (last.find(L'.') == std::wstring::npos) name += L".dll";
  else if (last.back() == L'.') name.pop_back();
  return name;
}

// The native file a name stands for, or the loaded module a bare name
// matches (`loaded`); false with the last error set when there is none.
bool Resolve(LPCWSTR given, std::string& native, HMODULE& loaded) {
  loaded = nullptr;
  const std::wstring name = WithExtension(given);
  const bool bare = name.find_first_of(L"\\/:") == std::wstring::npos;
  if (bare) {
    const DWORD saved = GetLastError();
    loaded = GetModuleHandleW(given);
    SetLastError(saved);
    if (loaded) {
      native = ModulePath(loaded);
      return true;
    }
    const std::string file = ToUtf8(name);
    const std::string exeDir = ExecutableDirectory();
    if (!exeDir.empty()) native = FindIn(exeDir, file);
    if (native.empty()) native = FindIn(".", file);
    if (native.empty()) {
      SetLastError(ERROR_MOD_NOT_FOUND);
      return false;
    }
    native = Absolute(native);
    return true;
  }
  const std::string mapped = NativePath(name);
  if (mapped.empty()) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return false;
  }
  const std::filesystem::path path(mapped);
  struct stat info;
  if (stat(mapped.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return false;
  }
  native = FindIn(path.parent_path().string(), path.filename().string());
  if (native.empty()) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return false;
  }
  native = Absolute(native);
  return true;
}

HMODULE Load(LPCWSTR given) {
  std::string native;
  HMODULE loaded = nullptr;
  if (!Resolve(given, native, loaded)) return nullptr;
  if (loaded && loaded == ExecutableModule()) return loaded;  // the program stays loaded
  if (loaded) {
    auto it = Table().find(loaded);
    if (it != Table().end()) {
      ++it->second.count;
      return loaded;
    }
  }

  // The table's entry is made before the module is mapped, so that running
  // out of memory never leaves a module mapped that the table does not know.
  std::map<HMODULE, Module> spare;
  auto slot = spare.extract(spare.emplace(nullptr, Module{}).first);
  slot.mapped().path = native;

  bool mappedBefore = false;
  if (void* already = dlopen(native.c_str(), RTLD_NOW | RTLD_NOLOAD)) {
    mappedBefore = true;
    dlclose(already);
  }
  dlerror();
  void* handle = dlopen(native.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    const char* text = dlerror();
    const std::string why = text ? text : "unknown failure";
    std::fprintf(stderr, "tessaly: module %s not loaded: %s\n", native.c_str(), why.c_str());
    SetLastError(ErrorOfDlopen(why));
    return nullptr;
  }
  HMODULE module = ModuleOfHandle(handle);
  if (!module) {
    std::fprintf(stderr, "tessaly: module %s loaded at no known address\n", native.c_str());
    dlclose(handle);
    SetLastError(ERROR_BAD_EXE_FORMAT);
    return nullptr;
  }
  auto it = Table().find(module);
  if (it != Table().end()) {
    // Loaded before under another name: one reference per module.
    dlclose(handle);
    ++it->second.count;
    return module;
  }
  slot.key() = module;
  slot.mapped().handle = handle;
  slot.mapped().count = 1;
  slot.mapped().mappedBefore = mappedBefore;
  Table().insert(std::move(slot));  // a ready node: nothing to allocate
  Released().erase(module);

  auto main = reinterpret_cast<EntryPoint>(OwnSymbol(handle, module, "DllMain"));
  if (main && !CallEntry(module, main, DLL_PROCESS_ATTACH, native)) {
    // Windows calls the entry again to detach before it unloads the module.
    CallEntry(module, main, DLL_PROCESS_DETACH, native);
    Table().erase(module);
    dlclose(handle);
    if (!mappedBefore) Released().insert(module);
    SetLastError(ERROR_DLL_INIT_FAILED);
    return nullptr;
  }
  return module;
}

}  // namespace

HMODULE LoadRunnableModule(LPCWSTR path) {
  std::lock_guard<std::recursive_mutex> lock(LoaderLock());
  try {
    return Load(path);
  } catch (const std::bad_alloc&) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  } catch (...) {
    SetLastError(ERROR_BAD_EXE_FORMAT);
  }
  return nullptr;
}

bool FreeRunnableModule(HMODULE module) {
  std::lock_guard<std::recursive_mutex> lock(LoaderLock());
  try {
    auto it = Table().find(module);
    if (it == Table().end()) {
      // Mapped with the process: it stays loaded, as Windows pins such modules.
      if (module && !Released().count(module) && !ModulePath(module).empty()) return true;
      SetLastError(ERROR_INVALID_HANDLE);
      return false;
    }
    if (it->second.count > 1) {
      --it->second.count;
      return true;
    }
    // The last free. Its one step that allocates goes first, so that running
    // out of memory leaves the module loaded as it was.
    if (!it->second.mappedBefore) Released().insert(module);
    it->second.count = 0;
    auto main = reinterpret_cast<EntryPoint>(OwnSymbol(it->second.handle, module, "DllMain"));
    if (main) CallEntry(module, main, DLL_PROCESS_DETACH, it->second.path);
    // The entry leaves the table before the module is unmapped; its DllMain
    // may have changed the table.
    it = Table().find(module);
    if (it == Table().end()) return true;
    Module gone = std::move(it->second);
    Table().erase(it);
    if (dlclose(gone.handle) != 0) {
      const char* text = dlerror();
      std::fprintf(stderr, "tessaly: module %s not unloaded: %s\n", gone.path.c_str(), text ? text : "");
    }
    return true;
  } catch (const std::bad_alloc&) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return false;
  }
}

}  // namespace stand_in

HMODULE WINAPI LoadLibraryW(LPCWSTR path) { return LoadLibraryExW(path, nullptr, 0); }

FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR name) {
  if (!module || stand_in::IsDataFile(module)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  if (IS_INTRESOURCE(name)) {
    // Exports by ordinal have no counterpart in the machine's loader.
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  std::lock_guard<std::recursive_mutex> lock(stand_in::LoaderLock());
  void* handle = nullptr;
  bool opened = false;
  auto it = stand_in::Table().find(module);
  if (it != stand_in::Table().end()) {
    handle = it->second.handle;
  } else {
    if (stand_in::Released().count(module)) {
      SetLastError(ERROR_INVALID_HANDLE);
      return nullptr;
    }
    std::string path;
    try {
      path = stand_in::ModulePath(module);
    } catch (...) {
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return nullptr;
    }
    if (path.empty()) {
      SetLastError(ERROR_INVALID_HANDLE);
      return nullptr;
    }
    handle = module == stand_in::ExecutableModule() ? dlopen(nullptr, RTLD_NOW)
                                                      : dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (!handle) {
      SetLastError(ERROR_INVALID_HANDLE);
      return nullptr;
    }
    opened = true;
  }
  void* symbol = stand_in::OwnSymbol(handle, module, name);
  if (opened) dlclose(handle);
  if (!symbol) {
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  return reinterpret_cast<FARPROC>(symbol);
}
