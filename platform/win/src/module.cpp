// Modules of the process: the executable and the shared objects the machine's
// loader has mapped, each known by its base address; and module files read
// as data, whose resources come from their ELF section ".rsrc". Modules
// loaded to run are counted in loader.cpp.
#include <libloaderapi.h>
#include <windows.h>

#include "loader.h"
#include "stand_in/module.h"
#include "stand_in/no_throw.h"
#include "stand_in/paths.h"
#include "stand_in/text.h"

#include <dlfcn.h>
#include <elf.h>
#include <link.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <vector>

namespace stand_in {
namespace {

struct Loaded {
  HMODULE module = nullptr;
  std::string path;  // native, absolute
};

// The lowest mapped address of a module, the same as dladdr's base.
uintptr_t BaseOf(const dl_phdr_info* info) {
  uintptr_t lowest = UINTPTR_MAX;
  for (int i = 0; i < info->dlpi_phnum; ++i)
    if (info->dlpi_phdr[i].p_type == PT_LOAD && info->dlpi_phdr[i].p_vaddr < lowest)
      lowest = info->dlpi_phdr[i].p_vaddr;
  if (lowest == UINTPTR_MAX) return 0;
  const uintptr_t page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
  return (info->dlpi_addr + lowest) & ~(page - 1);
}

std::string ExecutablePath() {
  std::error_code error;
  std::filesystem::path path = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::string() : path.string();
}

// Every module mapped now, the executable first. Running out of memory
// throws std::bad_alloc, once the machine's loader has let go of the lock
// that it holds around the walk.
std::vector<Loaded> LoadedModules() {
  struct Walk {
    std::vector<Loaded> list;
    bool failed = false;
  } walk;
  dl_iterate_phdr(
      [](dl_phdr_info* info, size_t, void* data) -> int {
        Walk& walk = *static_cast<Walk*>(data);
        try {
          Loaded loaded;
          loaded.module = reinterpret_cast<HMODULE>(BaseOf(info));
          if (walk.list.empty()) {
            loaded.path = ExecutablePath();
          } else {
            if (!info->dlpi_name || !info->dlpi_name[0]) return 0;  // the kernel's own object
            std::error_code error;
            std::filesystem::path path = std::filesystem::absolute(info->dlpi_name, error);
            loaded.path = error ? std::string(info->dlpi_name) : path.lexically_normal().string();
          }
          walk.list.push_back(std::move(loaded));
          return 0;
        } catch (...) {
          walk.failed = true;
          return 1;
        }
      },
      &walk);
  if (walk.failed) throw std::bad_alloc();
  return std::move(walk.list);
}

std::wstring Upper(std::wstring text) {
  for (wchar_t& c : text) c = ToUpper(c);
  return text;
}

// Module files read as data, by handle; their bytes stay while registered.
struct DataFile {
  std::unique_ptr<unsigned char[]> bytes;
  std::string path;
};

std::mutex& DataLock() {
  static std::mutex mutex;
  return mutex;
}

std::map<uintptr_t, DataFile>& DataFiles() {
  static std::map<uintptr_t, DataFile> files;
  return files;
}

bool IsDataFileHandle(HMODULE module) { return (reinterpret_cast<uintptr_t>(module) & 3) != 0; }


// Where Windows would look for a bare module name: beside the executable,
// then the working directory.
std::string Locate(const std::wstring& given) {
  if (given.find_first_of(L"\\/:") != std::wstring::npos) return NativePath(given);
  const std::string name = ToUtf8(given);
  const std::string exe = ExecutablePath();
  if (!exe.empty()) {
    const std::string beside = (std::filesystem::path(exe).parent_path() / name).string();
    struct stat info;
    if (stat(beside.c_str(), &info) == 0) return beside;
  }
  return name;
}

}  // namespace

bool ReadWholeFile(const std::string& path, std::vector<unsigned char>& out) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0) {
    const std::string parent = std::filesystem::path(path).parent_path().string();
    struct stat dir;
    const bool parentOk = parent.empty() || (stat(parent.c_str(), &dir) == 0 && S_ISDIR(dir.st_mode));
    SetLastError(parentOk ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND);
    return false;
  }
  if (S_ISDIR(info.st_mode)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return false;
  }
  // In one read: a module is megabytes, and byte-wise reading cost seconds.
  out.resize(static_cast<size_t>(info.st_size));
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0 && errno == ENOMEM) throw std::bad_alloc();
  if (fd < 0) {
    SetLastError(ERROR_ACCESS_DENIED);
    return false;
  }
  size_t done = 0;
  while (done < out.size()) {
    const ssize_t n = ::read(fd, out.data() + done, out.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      ::close(fd);
      SetLastError(ERROR_ACCESS_DENIED);
      return false;
    }
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  ::close(fd);
  out.resize(done);
  return true;
}

HMODULE ModuleOf(const void* address) {
  Dl_info info;
  if (!address || dladdr(address, &info) == 0) return nullptr;
  return static_cast<HMODULE>(info.dli_fbase);
}

HMODULE ExecutableModule() {
  std::vector<Loaded> modules = LoadedModules();
  return modules.empty() ? nullptr : modules.front().module;
}

std::string ModulePath(HMODULE module) {
  if (!module) return std::string();
  if (IsDataFileHandle(module)) {
    std::lock_guard<std::mutex> lock(DataLock());
    auto it = DataFiles().find(reinterpret_cast<uintptr_t>(module));
    return it == DataFiles().end() ? std::string() : it->second.path;
  }
  for (const Loaded& loaded : LoadedModules())
    if (loaded.module == module) return loaded.path;
  return std::string();
}

bool ElfResourceSection(const unsigned char* file, size_t size, size_t& offset, size_t& length, std::string& error) {
  offset = length = 0;
  auto fail = [&error](const std::string& what, uint64_t at) {
    char where[32];
    std::snprintf(where, sizeof where, " at offset 0x%llx", static_cast<unsigned long long>(at));
    error = what + where;
    return false;
  };
  if (size < sizeof(Elf64_Ehdr) || std::memcmp(file, ELFMAG, SELFMAG) != 0) return fail("not an ELF file", 0);
  Elf64_Ehdr header;
  std::memcpy(&header, file, sizeof header);
  if (header.e_ident[EI_CLASS] != ELFCLASS64 || header.e_ident[EI_DATA] != ELFDATA2LSB)
    return fail("not a little-endian 64-bit ELF file", EI_CLASS);
  if (header.e_shoff == 0) return true;  // no section table: no resources
  if (header.e_shentsize != sizeof(Elf64_Shdr))
    return fail("bad section header size", offsetof(Elf64_Ehdr, e_shentsize));
  if (header.e_shoff > size || size - header.e_shoff < sizeof(Elf64_Shdr))
    return fail("section table past the end", offsetof(Elf64_Ehdr, e_shoff));
  auto section = [&](uint64_t index) {
    Elf64_Shdr s;
    std::memcpy(&s, file + header.e_shoff + index * sizeof(Elf64_Shdr), sizeof s);
    return s;
  };
  // Large counts live in the first section header.
  const Elf64_Shdr zero = section(0);
  const uint64_t count = header.e_shnum ? header.e_shnum : zero.sh_size;
  const uint64_t names = header.e_shstrndx == SHN_XINDEX ? zero.sh_link : header.e_shstrndx;
  if (count > (size - header.e_shoff) / sizeof(Elf64_Shdr))
    return fail("section table past the end", header.e_shoff);
  if (names == SHN_UNDEF) return true;
  if (names >= count) return fail("bad section name table index", offsetof(Elf64_Ehdr, e_shstrndx));
  const Elf64_Shdr table = section(names);
  if (table.sh_type == SHT_NOBITS || table.sh_offset > size || table.sh_size > size - table.sh_offset)
    return fail("section name table past the end", header.e_shoff + names * sizeof(Elf64_Shdr));
  static const char kName[] = ".rsrc";
  for (uint64_t i = 1; i < count; ++i) {
    const Elf64_Shdr s = section(i);
    const uint64_t at = header.e_shoff + i * sizeof(Elf64_Shdr);
    if (s.sh_name >= table.sh_size || table.sh_size - s.sh_name < sizeof kName) continue;
    if (std::memcmp(file + table.sh_offset + s.sh_name, kName, sizeof kName) != 0) continue;
    if (s.sh_type == SHT_NOBITS) return fail("section .rsrc holds no bytes", at);
    if (s.sh_offset > size || s.sh_size > size - s.sh_offset) return fail("section .rsrc past the end", at);
    offset = static_cast<size_t>(s.sh_offset);
    length = static_cast<size_t>(s.sh_size);
    return true;
  }
  return true;
}

}  // namespace stand_in

HMODULE WINAPI GetModuleHandleW(LPCWSTR name) {
  return stand_in::Win32NoThrow<HMODULE>(nullptr, ERROR_MOD_NOT_FOUND, [&]() -> HMODULE {
    std::vector<stand_in::Loaded> modules = stand_in::LoadedModules();
    if (!name) {
      if (modules.empty()) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
      }
      return modules.front().module;
    }
    std::wstring wanted = name;
    for (wchar_t& c : wanted)
      if (c == L'/') c = L'\\';
    const size_t slash = wanted.rfind(L'\\');
    const bool wholePath = slash != std::wstring::npos;
    const std::wstring last = wholePath ? wanted.substr(slash + 1) : wanted;
    if (last.find(L'.') == std::wstring::npos) wanted += L".dll";
    else if (!last.empty() && last.back() == L'.') wanted.pop_back();
    wanted = stand_in::Upper(wanted);
    for (const stand_in::Loaded& loaded : modules) {
      std::wstring path = stand_in::Upper(stand_in::WindowsPath(loaded.path));
      if (!wholePath) path = path.substr(path.rfind(L'\\') + 1);
      if (path == wanted) return loaded.module;
    }
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  });
}

DWORD WINAPI GetModuleFileNameW(HMODULE module, LPWSTR buffer, DWORD size) {
  return stand_in::Win32NoThrow<DWORD>(0, ERROR_MOD_NOT_FOUND, [&]() -> DWORD {
    if (!module) module = stand_in::ExecutableModule();
    std::string native;
    if (!stand_in::IsDataFileHandle(module)) native = stand_in::ModulePath(module);
    if (native.empty()) {
      SetLastError(ERROR_MOD_NOT_FOUND);
      return 0;
    }
    if (!buffer || size == 0) {
      SetLastError(ERROR_INSUFFICIENT_BUFFER);
      return 0;
    }
    const std::wstring path = stand_in::WindowsPath(native);
    if (path.size() < size) {
      std::wmemcpy(buffer, path.c_str(), path.size() + 1);
      return static_cast<DWORD>(path.size());
    }
    std::wmemcpy(buffer, path.c_str(), size - 1);
    buffer[size - 1] = 0;
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return size;
  });
}

HMODULE WINAPI LoadLibraryExW(LPCWSTR path, HANDLE reserved, DWORD flags) {
  const DWORD asData = LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE | LOAD_LIBRARY_AS_DATAFILE_EXCLUSIVE;
  if (!path || reserved || !*path) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (flags == 0) return stand_in::LoadRunnableModule(path);
  if (!(flags & asData)) {
    // No other way of loading is needed here.
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return nullptr;
  }
  try {
    const std::string native = stand_in::Locate(path);
    std::vector<unsigned char> file;
    if (!stand_in::ReadWholeFile(native, file)) return nullptr;
    size_t offset = 0, length = 0;
    std::string error;
    if (!stand_in::ElfResourceSection(file.data(), file.size(), offset, length, error)) {
      std::fprintf(stderr, "tessaly: module file %s refused: %s\n", native.c_str(), error.c_str());
      SetLastError(ERROR_BAD_EXE_FORMAT);
      return nullptr;
    }
    stand_in::DataFile data;
    // At least one byte, so that every data file has an address of its own.
    data.bytes.reset(new unsigned char[length ? length : 1]);
    if (length) std::memcpy(data.bytes.get(), file.data() + offset, length);
    data.path = native;
    // Windows marks a data file's handle in its low bits: 1 for a data file,
    // 2 for an image resource.
    const uintptr_t mark = (flags & LOAD_LIBRARY_AS_IMAGE_RESOURCE) && !(flags & LOAD_LIBRARY_AS_DATAFILE) ? 2 : 1;
    const uintptr_t handle = reinterpret_cast<uintptr_t>(data.bytes.get()) | mark;
    HMODULE module = reinterpret_cast<HMODULE>(handle);
    const unsigned char* bytes = data.bytes.get();
    {
      std::lock_guard<std::mutex> lock(stand_in::DataLock());
      stand_in::DataFiles()[handle] = std::move(data);
    }
    if (length) stand_in::RegisterResourcesOf(module, bytes, length, native);
    return module;
  } catch (const std::bad_alloc&) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  } catch (...) {
    SetLastError(ERROR_BAD_EXE_FORMAT);
    return nullptr;
  }
}

BOOL WINAPI FreeLibrary(HMODULE module) {
  if (!module) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (!stand_in::IsDataFileHandle(module)) return stand_in::FreeRunnableModule(module) ? TRUE : FALSE;
  stand_in::DataFile gone;
  {
    std::lock_guard<std::mutex> lock(stand_in::DataLock());
    auto it = stand_in::DataFiles().find(reinterpret_cast<uintptr_t>(module));
    if (it == stand_in::DataFiles().end()) {
      SetLastError(ERROR_INVALID_HANDLE);
      return FALSE;
    }
    gone = std::move(it->second);
    stand_in::DataFiles().erase(it);
  }
  stand_in::UnregisterResources(gone.bytes.get());
  return TRUE;
}
