// A stream over a global memory block that grows as it is written.
#include <objbase.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <new>

const IID IID_ISequentialStream = __uuidof(ISequentialStream);
const IID IID_IStream = __uuidof(IStream);

namespace stand_in {
namespace {

class HGlobalStream final : public IStream {
 public:
  HGlobalStream(HGLOBAL memory, SIZE_T size, BOOL deleteOnRelease)
      : memory_(memory), size_(size), capacity_(size), delete_(deleteOnRelease) {}

  HGLOBAL memory() const { return memory_; }

  STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_ISequentialStream || riid == IID_IStream) {
      *object = static_cast<IStream*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
  STDMETHODIMP_(ULONG) Release() override {
    const ULONG left = --refs_;
    if (left == 0) {
      if (delete_) GlobalFree(memory_);
      delete this;
    }
    return left;
  }

  STDMETHODIMP Read(void* buffer, ULONG count, ULONG* read) override {
    if (read) *read = 0;
    if (!buffer && count) return STG_E_INVALIDPOINTER;
    if (position_ >= size_ || count == 0) return S_OK;
    const SIZE_T n = std::min<SIZE_T>(count, size_ - position_);
    void* base = GlobalLock(memory_);
    if (!base) return E_FAIL;
    std::memcpy(buffer, static_cast<const char*>(base) + position_, n);
    GlobalUnlock(memory_);
    position_ += n;
    if (read) *read = static_cast<ULONG>(n);
    return S_OK;
  }

  STDMETHODIMP Write(const void* buffer, ULONG count, ULONG* written) override {
    if (written) *written = 0;
    if (!buffer && count) return STG_E_INVALIDPOINTER;
    if (count == 0) return S_OK;
    if (position_ > SIZE_MAX - count) return STG_E_MEDIUMFULL;
    const SIZE_T end = position_ + count;
    if (end > size_) {
      const HRESULT hr = Resize(end);
      if (FAILED(hr)) return hr;
    }
    void* base = GlobalLock(memory_);
    if (!base) return E_FAIL;
    std::memcpy(static_cast<char*>(base) + position_, buffer, count);
    GlobalUnlock(memory_);
    position_ = end;
    if (written) *written = count;
    return S_OK;
  }

  STDMETHODIMP Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* position) override {
    LONGLONG from = 0;
    switch (origin) {
      case STREAM_SEEK_SET: from = 0; break;
      case STREAM_SEEK_CUR: from = static_cast<LONGLONG>(position_); break;
      case STREAM_SEEK_END: from = static_cast<LONGLONG>(size_); break;
      default: return STG_E_INVALIDFUNCTION;
    }
    const LONGLONG delta = move.QuadPart;
    if ((delta < 0 && from + delta < 0) || (delta > 0 && from > INT64_MAX - delta)) return STG_E_INVALIDFUNCTION;
    position_ = static_cast<SIZE_T>(from + delta);
    if (position) position->QuadPart = position_;
    return S_OK;
  }

  STDMETHODIMP SetSize(ULARGE_INTEGER size) override {
    if (size.QuadPart > SIZE_MAX) return STG_E_MEDIUMFULL;
    return Resize(static_cast<SIZE_T>(size.QuadPart));
  }

  STDMETHODIMP CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) override { return E_NOTIMPL; }
  // Memory has nothing to commit to and nothing to revert.
  STDMETHODIMP Commit(DWORD) override { return S_OK; }
  STDMETHODIMP Revert() override { return S_OK; }
  STDMETHODIMP LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return STG_E_INVALIDFUNCTION; }
  STDMETHODIMP UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return STG_E_INVALIDFUNCTION; }

  STDMETHODIMP Stat(STATSTG* stat, DWORD flags) override {
    if (!stat) return STG_E_INVALIDPOINTER;
    if (flags & ~DWORD(STATFLAG_NONAME | STATFLAG_NOOPEN)) return STG_E_INVALIDFLAG;
    std::memset(stat, 0, sizeof *stat);
    stat->pwcsName = nullptr;  // memory has no name
    stat->type = STGTY_STREAM;
    stat->cbSize.QuadPart = size_;
    return S_OK;
  }

  STDMETHODIMP Clone(IStream** copy) override {
    if (copy) *copy = nullptr;
    return E_NOTIMPL;
  }

 private:
  ~HGlobalStream() = default;

  // The stream's size becomes `size`; the block grows by doubling so that
  // many small writes stay cheap, and the bytes between stay zero.
  HRESULT Resize(SIZE_T size) {
    if (size > capacity_) {
      SIZE_T capacity = capacity_ < 256 ? 256 : capacity_;
      while (capacity < size) capacity = capacity > SIZE_MAX / 2 ? size : capacity * 2;
      HGLOBAL grown = GlobalReAlloc(memory_, capacity, GMEM_MOVEABLE | GMEM_ZEROINIT);
      if (!grown) return STG_E_MEDIUMFULL;
      memory_ = grown;
      capacity_ = capacity;
    }
    if (size > size_) {
      void* base = GlobalLock(memory_);
      if (!base) return E_FAIL;
      std::memset(static_cast<char*>(base) + size_, 0, size - size_);
      GlobalUnlock(memory_);
    }
    size_ = size;
    return S_OK;
  }

  std::atomic<ULONG> refs_{1};
  HGLOBAL memory_;
  SIZE_T size_;
  SIZE_T capacity_;
  SIZE_T position_ = 0;
  BOOL delete_;
};

}  // namespace
}  // namespace stand_in

HRESULT WINAPI CreateStreamOnHGlobal(HGLOBAL memory, BOOL deleteOnRelease, LPSTREAM* stream) {
  if (!stream) return E_INVALIDARG;
  *stream = nullptr;
  HGLOBAL block = memory;
  SIZE_T size = 0;
  if (block) {
    SetLastError(ERROR_SUCCESS);
    size = GlobalSize(block);
    if (size == 0 && GetLastError() == ERROR_INVALID_HANDLE) return E_INVALIDARG;
  } else {
    block = GlobalAlloc(GMEM_MOVEABLE, 0);
    if (!block) return E_OUTOFMEMORY;
  }
  auto* made = new (std::nothrow) stand_in::HGlobalStream(block, size, deleteOnRelease);
  if (!made) {
    if (!memory) GlobalFree(block);
    return E_OUTOFMEMORY;
  }
  *stream = made;
  return S_OK;
}

HRESULT WINAPI GetHGlobalFromStream(LPSTREAM stream, HGLOBAL* memory) {
  if (!memory) return E_INVALIDARG;
  *memory = nullptr;
  auto* ours = dynamic_cast<stand_in::HGlobalStream*>(stream);
  if (!ours) return E_INVALIDARG;
  *memory = ours->memory();
  return S_OK;
}
