// File handles over real files. Every open handle is kept in one table with
// its access and sharing, so that the sharing rules Windows enforces between
// handles hold inside this process; read-only is the owner's write bit, and
// is checked here because this machine lets its superuser write anyway.
// Handles count up and are never given out twice.
#include <windows.h>

#include "stand_in/no_throw.h"
#include "stand_in/paths.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <map>
#include <mutex>
#include <string>

namespace stand_in {
namespace {

struct OpenFile {
  int fd = -1;
  DWORD access = 0;
  DWORD share = 0;
  dev_t device = 0;
  ino_t inode = 0;
};

struct Files {
  std::mutex mutex;
  uintptr_t next = 0x7f000000;
  std::map<uintptr_t, OpenFile> open;

  OpenFile* Find(HANDLE handle) {
    auto it = open.find(reinterpret_cast<uintptr_t>(handle));
    return it == open.end() ? nullptr : &it->second;
  }
  // Whether a new handle with `access` and `share` may join the open ones
  // of the same file.
  // A handle without data access (access 0) neither checks nor restricts.
  bool Compatible(const struct stat& st, DWORD access, DWORD share) const {
    if (!access) return true;
    for (const auto& [handle, f] : open) {
      if (f.device != st.st_dev || f.inode != st.st_ino || !f.access) continue;
      if ((access & GENERIC_READ) && !(f.share & FILE_SHARE_READ)) return false;
      if ((access & GENERIC_WRITE) && !(f.share & FILE_SHARE_WRITE)) return false;
      if ((f.access & GENERIC_READ) && !(share & FILE_SHARE_READ)) return false;
      if ((f.access & GENERIC_WRITE) && !(share & FILE_SHARE_WRITE)) return false;
    }
    return true;
  }
  bool DeleteShared(const struct stat& st) const {
    for (const auto& [handle, f] : open)
      if (f.device == st.st_dev && f.inode == st.st_ino && !(f.share & FILE_SHARE_DELETE)) return false;
    return true;
  }
};

Files& State() {
  static Files files;
  return files;
}

bool ReadOnly(const struct stat& st) { return !(st.st_mode & S_IWUSR); }

// The native path of `path`, or "" with the last error set.
std::string Native(LPCWSTR path) {
  if (!path) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return {};
  }
  const std::wstring text(path);
  if (text.size() >= MAX_PATH && text.compare(0, 4, L"\\\\?\\") != 0) {
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return {};
  }
  std::string native = NativePath(text);
  if (native.empty()) SetLastError(ERROR_PATH_NOT_FOUND);
  return native;
}

// The Windows code of a failed lookup of `native`: the file or its folder.
DWORD Missing(const std::string& native) {
  const size_t slash = native.find_last_of('/');
  if (slash == std::string::npos || slash == 0) return ERROR_FILE_NOT_FOUND;
  struct stat st;
  const std::string folder = native.substr(0, slash);
  return ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
}

DWORD FromErrno(int error, const std::string& native) {
  switch (error) {
    case ENOENT:
    case ENOTDIR: return Missing(native);
    case EEXIST: return ERROR_FILE_EXISTS;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS: return ERROR_ACCESS_DENIED;
    case ENAMETOOLONG: return ERROR_FILENAME_EXCED_RANGE;
    case ENOSPC: return ERROR_DISK_FULL;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    default: return ERROR_ACCESS_DENIED;
  }
}

HANDLE Fail(DWORD error) {
  SetLastError(error);
  return INVALID_HANDLE_VALUE;
}

// The descriptor behind an open file handle with `right`; -1 and the last
// error set when the handle is unknown or lacks the right.
int OpenFd(HANDLE file, DWORD right) {
  Files& files = State();
  std::lock_guard<std::mutex> lock(files.mutex);
  const OpenFile* f = files.Find(file);
  if (!f) {
    SetLastError(ERROR_INVALID_HANDLE);
    return -1;
  }
  if (!(f->access & right)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return -1;
  }
  return f->fd;
}

constexpr DWORD kAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                              FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NORMAL | FILE_ATTRIBUTE_TEMPORARY;

}  // namespace
}  // namespace stand_in

namespace stand_in {
namespace {

HANDLE CreateFile(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security, DWORD disposition,
                  DWORD flags, HANDLE templateFile) {
  if ((access & ~DWORD(GENERIC_READ | GENERIC_WRITE)) ||
      (share & ~DWORD(FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE)) || (flags & ~kAttributes) ||
      disposition < CREATE_NEW || disposition > TRUNCATE_EXISTING || templateFile ||
      (security && security->bInheritHandle)) {
    if (flags & ~kAttributes)
      std::fprintf(stderr, "tessaly: CreateFileW refused: flags 0x%08x are not supported\n",
                   static_cast<unsigned>(flags & ~kAttributes));
    return Fail(ERROR_INVALID_PARAMETER);
  }
  // Truncating needs the right to write.
  if (disposition == TRUNCATE_EXISTING && !(access & GENERIC_WRITE)) return Fail(ERROR_INVALID_PARAMETER);
  const std::string native = Native(path);
  if (native.empty()) return INVALID_HANDLE_VALUE;

  // The handle's record is made before the file is touched, so that running
  // out of memory never leaves a file made or emptied by a call that failed.
  std::map<uintptr_t, OpenFile>::node_type slot;
  try {
    std::map<uintptr_t, OpenFile> spare;
    slot = spare.extract(spare.emplace(0, OpenFile{}).first);
  } catch (const std::bad_alloc&) {
    return Fail(ERROR_NOT_ENOUGH_MEMORY);
  }

  Files& files = State();
  std::lock_guard<std::mutex> lock(files.mutex);
  const int mode = (access & GENERIC_WRITE) ? O_RDWR : O_RDONLY;
  const bool creates = disposition == CREATE_NEW || disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS;
  const bool truncates = disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING;
  int fd = -1;
  bool existed = false;
  for (int attempt = 0; fd < 0 && attempt < 16; ++attempt) {
    if (disposition != CREATE_NEW) {
      struct stat st;
      if (::stat(native.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) return Fail(ERROR_ACCESS_DENIED);
        if (ReadOnly(st) && ((access & GENERIC_WRITE) || truncates)) return Fail(ERROR_ACCESS_DENIED);
        // A read-only file may still be opened by its owner for writing
        // here; the check above is what refuses it, as on Windows.
        fd = ::open(native.c_str(), ((access & GENERIC_WRITE) || truncates ? O_RDWR : O_RDONLY) | O_CLOEXEC);
        if (fd < 0 && errno == ENOENT) continue;  // gone in between: look again
        if (fd < 0) return Fail(FromErrno(errno, native));
        existed = true;
        break;
      }
      if (errno != ENOENT) return Fail(FromErrno(errno, native));
      if (!creates) return Fail(Missing(native));
    }
    const mode_t perms = (flags & FILE_ATTRIBUTE_READONLY) ? 0444 : 0666;
    fd = ::open(native.c_str(), mode | O_CREAT | O_EXCL | O_CLOEXEC, perms);
    if (fd < 0 && errno == EEXIST && disposition != CREATE_NEW) continue;  // made in between
    if (fd < 0) return Fail(FromErrno(errno, native));
  }
  if (fd < 0) return Fail(ERROR_ACCESS_DENIED);

  struct stat st;
  if (::fstat(fd, &st) != 0) {
    ::close(fd);
    return Fail(ERROR_ACCESS_DENIED);
  }
  if (existed && !files.Compatible(st, access | (truncates ? GENERIC_WRITE : 0), share)) {
    ::close(fd);
    return Fail(ERROR_SHARING_VIOLATION);
  }
  if (existed && truncates) {
    if (::ftruncate(fd, 0) != 0) {
      const int error = errno;
      ::close(fd);
      return Fail(FromErrno(error, native));
    }
    // CREATE_ALWAYS gives the file the attributes asked for.
    if (disposition == CREATE_ALWAYS && (flags & FILE_ATTRIBUTE_READONLY))
      ::fchmod(fd, st.st_mode & ~mode_t(0222) & 07777);
  }
  const uintptr_t handle = files.next += 4;
  slot.key() = handle;
  OpenFile& f = slot.mapped();
  f.fd = fd;
  f.access = access;
  f.share = share;
  f.device = st.st_dev;
  f.inode = st.st_ino;
  files.open.insert(std::move(slot));  // a ready node: nothing to allocate
  SetLastError(existed && (disposition == OPEN_ALWAYS || disposition == CREATE_ALWAYS) ? ERROR_ALREADY_EXISTS
                                                                                         : ERROR_SUCCESS);
  return reinterpret_cast<HANDLE>(handle);
}

}  // namespace
}  // namespace stand_in

HANDLE WINAPI CreateFileW(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                          DWORD disposition, DWORD flags, HANDLE templateFile) {
  return stand_in::Win32NoThrow(INVALID_HANDLE_VALUE, ERROR_ACCESS_DENIED, [&] {
    return stand_in::CreateFile(path, access, share, security, disposition, flags, templateFile);
  });
}

BOOL WINAPI ReadFile(HANDLE file, LPVOID buffer, DWORD count, DWORD* read, LPOVERLAPPED overlapped) {
  using namespace stand_in;
  if (read) *read = 0;
  const int fd = OpenFd(file, GENERIC_READ);
  if (fd < 0) return FALSE;
  if (overlapped || !read || (!buffer && count)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  DWORD done = 0;
  while (done < count) {
    const ssize_t n = ::read(fd, static_cast<char*>(buffer) + done, count - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      *read = done;
      SetLastError(ERROR_ACCESS_DENIED);
      return FALSE;
    }
    if (n == 0) break;
    done += static_cast<DWORD>(n);
  }
  *read = done;
  return TRUE;
}

BOOL WINAPI WriteFile(HANDLE file, LPCVOID buffer, DWORD count, DWORD* written, LPOVERLAPPED overlapped) {
  using namespace stand_in;
  if (written) *written = 0;
  const int fd = OpenFd(file, GENERIC_WRITE);
  if (fd < 0) return FALSE;
  if (overlapped || !written || (!buffer && count)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  DWORD done = 0;
  while (done < count) {
    const ssize_t n = ::write(fd, static_cast<const char*>(buffer) + done, count - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      *written = done;
      SetLastError(n < 0 && errno != ENOSPC && errno != EFBIG ? ERROR_ACCESS_DENIED : ERROR_DISK_FULL);
      return FALSE;
    }
    done += static_cast<DWORD>(n);
  }
  *written = done;
  return TRUE;
}

BOOL WINAPI CloseHandle(HANDLE object) {
  using namespace stand_in;
  Files& files = State();
  std::lock_guard<std::mutex> lock(files.mutex);
  auto it = files.open.find(reinterpret_cast<uintptr_t>(object));
  if (it == files.open.end()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  ::close(it->second.fd);
  files.open.erase(it);
  return TRUE;
}

BOOL WINAPI DeleteFileW(LPCWSTR path) {
  return stand_in::Win32NoThrow<BOOL>(FALSE, ERROR_ACCESS_DENIED, [&]() -> BOOL {
    using namespace stand_in;
    const std::string native = Native(path);
    if (native.empty()) return FALSE;
    Files& files = State();
    std::lock_guard<std::mutex> lock(files.mutex);
    struct stat st;
    if (::lstat(native.c_str(), &st) != 0) {
      SetLastError(FromErrno(errno, native));
      return FALSE;
    }
    if (S_ISDIR(st.st_mode) || (!S_ISLNK(st.st_mode) && ReadOnly(st))) {
      SetLastError(ERROR_ACCESS_DENIED);
      return FALSE;
    }
    if (!files.DeleteShared(st)) {
      SetLastError(ERROR_SHARING_VIOLATION);
      return FALSE;
    }
    if (::unlink(native.c_str()) != 0) {
      SetLastError(FromErrno(errno, native));
      return FALSE;
    }
    return TRUE;
  });
}

namespace stand_in {
namespace {

// The native path of `path` and what it names; false with the last error
// set when there is nothing there.
bool Examine(LPCWSTR path, std::string& native, struct stat& st) {
  native = Native(path);
  if (native.empty()) return false;
  if (::stat(native.c_str(), &st) == 0) return true;
  SetLastError(FromErrno(errno, native));
  return false;
}

}  // namespace
}  // namespace stand_in

DWORD WINAPI GetFileAttributesW(LPCWSTR path) {
  return stand_in::Win32NoThrow<DWORD>(INVALID_FILE_ATTRIBUTES, ERROR_ACCESS_DENIED, [&]() -> DWORD {
    using namespace stand_in;
    std::string native;
    struct stat st;
    if (!Examine(path, native, st)) return INVALID_FILE_ATTRIBUTES;
    DWORD attributes = S_ISDIR(st.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
    if (ReadOnly(st)) attributes |= FILE_ATTRIBUTE_READONLY;
    return attributes;
  });
}

BOOL WINAPI SetFileAttributesW(LPCWSTR path, DWORD attributes) {
  return stand_in::Win32NoThrow<BOOL>(FALSE, ERROR_ACCESS_DENIED, [&]() -> BOOL {
    using namespace stand_in;
    std::string native;
    struct stat st;
    if (!Examine(path, native, st)) return FALSE;
    mode_t mode = st.st_mode & 07777;
    mode = (attributes & FILE_ATTRIBUTE_READONLY) ? (mode & ~mode_t(0222)) : (mode | S_IWUSR);
    if (::chmod(native.c_str(), mode) != 0) {
      SetLastError(FromErrno(errno, native));
      return FALSE;
    }
    return TRUE;
  });
}
