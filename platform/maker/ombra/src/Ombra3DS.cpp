#include "Ombra3DS.h"

#include "stand_in/paths.h"
#include "stand_in/three_ds.h"

#include "chunk_tree.h"
#include "mesh_builder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>

namespace {

std::mutex g_error_lock;
CString g_error;

void SetError(const CString& text) {
  std::lock_guard<std::mutex> hold(g_error_lock);
  g_error = text;
}

CString Failure(const CString& name, const CString& what) {
  return CString(L"Cannot read the 3DS file \"") + name + L"\": " + what + L".";
}

CString SystemError(int error) { return CString(std::strerror(error)); }

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

// Reads the whole file into `data`; on failure returns false with `error` set.
bool ReadWholeFile(const CString& path, std::unique_ptr<unsigned char[]>& data, std::size_t& size, CString& error) {
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
  const std::size_t expected = static_cast<std::size_t>(info.st_size);
  data.reset(new (std::nothrow) unsigned char[expected ? expected : 1]);
  if (!data) {
    CString what;
    what.Format(L"there is not enough memory to read its %llu bytes", static_cast<unsigned long long>(expected));
    error = Failure(path, what);
    return false;
  }
  // A file that shrinks while it is read is read as far as it goes.
  size = 0;
  while (size < expected) {
    const ssize_t got = ::read(file.get(), data.get() + size, expected - size);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      CString what;
      what.Format(L"reading the file failed at byte %llu: ", static_cast<unsigned long long>(size));
      error = Failure(path, what + SystemError(errno));
      return false;
    }
    if (got == 0) break;
    size += static_cast<std::size_t>(got);
  }
  return true;
}

}  // namespace

namespace stand_in {

int Read3DS(const unsigned char* data, std::size_t size, const CString& name, ON_ClassArray<ON_Mesh>& meshes,
            CString& error) {
  std::vector<ombra::MeshSource> sources;
  try {
    sources = ombra::ReadChunkTree(data, size);
  } catch (const ombra::FormatError& e) {
    error = Failure(name, CString(e.what()));
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

}  // namespace stand_in

int Ombra3DS::_3DSToMesh(CString path, ON_ClassArray<ON_Mesh>& meshes) {
  CString error;
  std::unique_ptr<unsigned char[]> data;
  std::size_t size = 0;
  const int read = ReadWholeFile(path, data, size, error) && stand_in::Read3DS(data.get(), size, path, meshes, error);
  SetError(read ? CString() : error);
  return read;
}

CString Ombra3DS::GetError() {
  std::lock_guard<std::mutex> hold(g_error_lock);
  return g_error;
}
