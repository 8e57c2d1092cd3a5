#include "Ombra3DS.h"

#include "stand_in/paths.h"
#include "stand_in/text.h"
#include "stand_in/three_ds.h"

#include "chunk_ids.h"
#include "chunk_tree.h"
#include "mesh_builder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <limits>
#include <memory>
#include <mutex>
#include <new>
#include <utility>

namespace {

std::mutex g_error_lock;
CString g_error;

// Moved in, so that setting the text of a failure allocates nothing.
void SetError(CString&& text) {
  std::lock_guard<std::mutex> hold(g_error_lock);
  g_error = std::move(text);
}

CString Failure(const CString& name, const CString& what) {
  return CString(L"Cannot read the 3DS file \"") + name + L"\": " + what + L".";
}

CString SystemError(int error) { return CString(std::strerror(error)); }

// The reader's texts are UTF-8.
CString FromUtf8(const char* text) { return CString(stand_in::FromUtf8(text)); }

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

// Reads from the file until `count` bytes or its end; false with `error` set
// when reading fails.
bool ReadUpTo(int fd, unsigned char* out, std::size_t count, std::size_t done, std::size_t& got, const CString& path,
              CString& error) {
  got = 0;
  while (got < count) {
    const ssize_t n = ::read(fd, out + got, count - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      CString what;
      what.Format(L"reading the file failed at byte %llu: ", static_cast<unsigned long long>(done + got));
      error = Failure(path, what + SystemError(errno));
      return false;
    }
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  return true;
}

// Reads the file's main chunk into `data`: what its header claims, not what
// may follow it. On failure returns false with `error` set.
bool ReadMainChunk(const CString& path, std::unique_ptr<unsigned char[]>& data, std::size_t& size, CString& error) {
  const std::string native = stand_in::NativePath(path.str());
  // O_NONBLOCK: opening a FIFO must not wait for a writer.
  FileDescriptor file(::open(native.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (file.get() < 0) {
    const int e = errno;
    if (e == ENOENT || e == ENOTDIR) error = Failure(path, L"the file does not exist");
    else if (e == EACCES || e == EPERM) error = Failure(path, L"access to the file is denied");
    else error = Failure(path, L"the file cannot be opened: " + SystemError(e));
    return false;
  }
  struct stat info;
  if (::fstat(file.get(), &info) != 0) {
    error = Failure(path, L"the file cannot be examined: " + SystemError(errno));
    return false;
  }
  if (S_ISDIR(info.st_mode)) {
    error = Failure(path, L"it is a folder, not a file");
    return false;
  }
  if (!S_ISREG(info.st_mode)) {
    error = Failure(path, L"it is not a regular file");
    return false;
  }
  unsigned char head[ombra::kChunkHeaderSize];
  std::size_t head_size = 0;
  if (!ReadUpTo(file.get(), head, sizeof head, 0, head_size, path, error)) return false;
  std::uint64_t end = 0;
  try {
    end = ombra::MainChunkEnd(head, head_size, static_cast<std::uint64_t>(info.st_size));
  } catch (const ombra::FormatError& e) {
    error = Failure(path, FromUtf8(e.what()));
    return false;
  }
  if (end > std::numeric_limits<std::size_t>::max() || !(data.reset(new (std::nothrow) unsigned char[end]), data)) {
    CString what;
    what.Format(L"there is not enough memory to read its %llu bytes", static_cast<unsigned long long>(end));
    error = Failure(path, what);
    return false;
  }
  std::memcpy(data.get(), head, head_size);
  // A file that shrinks while it is read is read as far as it goes.
  std::size_t got = 0;
  if (!ReadUpTo(file.get(), data.get() + head_size, static_cast<std::size_t>(end) - head_size, head_size, got, path,
                error))
    return false;
  size = head_size + got;
  return true;
}

}  // namespace

namespace {

// Read3DS without its last line of defence.
int ReadFromMemory(const unsigned char* data, std::size_t size, const CString& name, ON_ClassArray<ON_Mesh>& meshes,
                   CString& error) {
  std::vector<ombra::MeshSource> sources;
  try {
    sources = ombra::ReadChunkTree(data, size);
  } catch (const ombra::FormatError& e) {
    error = Failure(name, FromUtf8(e.what()));
    return 0;
  } catch (const std::bad_alloc&) {
    error = Failure(name, L"there is not enough memory to read it");
    return 0;
  }
  // The file is sound: nothing below fails but allocation, and that takes
  // back what was appended.
  const int before = meshes.Count();
  try {
    if (sources.size() > static_cast<std::size_t>(ON_ArrayMaximumCount(sizeof(ON_Mesh)) - before) ||
        !meshes.Reserve(before + static_cast<int>(sources.size())))
      throw std::bad_alloc();
    for (const ombra::MeshSource& source : sources) ombra::BuildMesh(source, meshes.AppendNew());
  } catch (const std::bad_alloc&) {
    while (meshes.Count() > before) meshes.Remove();
    CString what;
    what.Format(L"there is not enough memory for its %llu meshes", static_cast<unsigned long long>(sources.size()));
    error = Failure(name, what);
    return 0;
  }
  return 1;
}

// When even the text of a failure cannot be built, the shortest one that
// still says what happened; empty only when not even that fits.
void OutOfMemory(const CString& name, CString& error) {
  try {
    error = Failure(name, L"there is not enough memory to read it");
  } catch (const std::bad_alloc&) {
    try {
      error = L"Cannot read the 3DS file: there is not enough memory.";
    } catch (const std::bad_alloc&) {
      error.Empty();
    }
  }
}

}  // namespace

namespace stand_in {

int Read3DS(const unsigned char* data, std::size_t size, const CString& name, ON_ClassArray<ON_Mesh>& meshes,
            CString& error) {
  const int before = meshes.Count();
  try {
    return ReadFromMemory(data, size, name, meshes, error);
  } catch (const std::bad_alloc&) {
    while (meshes.Count() > before) meshes.Remove();
    OutOfMemory(name, error);
    return 0;
  }
}

}  // namespace stand_in

int Ombra3DS::_3DSToMesh(CString path, ON_ClassArray<ON_Mesh>& meshes) {
  // No exception leaves the library: running out of memory for a text is a
  // failure like any other.
  const int before = meshes.Count();
  try {
    CString error;
    std::unique_ptr<unsigned char[]> data;
    std::size_t size = 0;
    const int read = ReadMainChunk(path, data, size, error) && stand_in::Read3DS(data.get(), size, path, meshes, error);
    SetError(read ? CString() : std::move(error));
    return read;
  } catch (const std::bad_alloc&) {
    while (meshes.Count() > before) meshes.Remove();
    CString error;
    OutOfMemory(path, error);
    SetError(std::move(error));
    return 0;
  }
}

CString Ombra3DS::GetError() {
  std::lock_guard<std::mutex> hold(g_error_lock);
  return g_error;
}
