// Streams: ISequentialStream and IStream, and the stream over global memory.
#pragma once

#include <oleauto.h>

#define STG_E_INVALIDFUNCTION _HRESULT_TYPEDEF_(0x80030001L)
#define STG_E_INVALIDPOINTER _HRESULT_TYPEDEF_(0x80030009L)
#define STG_E_MEDIUMFULL _HRESULT_TYPEDEF_(0x80030070L)
#define STG_E_INVALIDFLAG _HRESULT_TYPEDEF_(0x800300FFL)

enum STREAM_SEEK { STREAM_SEEK_SET = 0, STREAM_SEEK_CUR = 1, STREAM_SEEK_END = 2 };
enum STATFLAG { STATFLAG_DEFAULT = 0, STATFLAG_NONAME = 1, STATFLAG_NOOPEN = 2 };
enum STGTY { STGTY_STORAGE = 1, STGTY_STREAM = 2, STGTY_LOCKBYTES = 3, STGTY_PROPERTY = 4 };
enum STGC { STGC_DEFAULT = 0, STGC_OVERWRITE = 1, STGC_ONLYIFCURRENT = 2, STGC_DANGEROUSLYCOMMITMERELYTODISKCACHE = 4 };

struct STATSTG {
  LPOLESTR pwcsName;
  DWORD type;
  ULARGE_INTEGER cbSize;
  FILETIME mtime;
  FILETIME ctime;
  FILETIME atime;
  DWORD grfMode;
  DWORD grfLocksSupported;
  CLSID clsid;
  DWORD grfStateBits;
  DWORD reserved;
};

struct ISequentialStream : IUnknown {
  STDMETHOD(Read)(void* buffer, ULONG count, ULONG* read) PURE;
  STDMETHOD(Write)(const void* buffer, ULONG count, ULONG* written) PURE;

 protected:
  ~ISequentialStream() = default;
};
STAND_IN_INTERFACE_ID(ISequentialStream, "0C733A30-2A1C-11CE-ADE5-00AA0044773D");

struct IStream : ISequentialStream {
  STDMETHOD(Seek)(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* position) PURE;
  STDMETHOD(SetSize)(ULARGE_INTEGER size) PURE;
  STDMETHOD(CopyTo)(IStream* target, ULARGE_INTEGER count, ULARGE_INTEGER* read, ULARGE_INTEGER* written) PURE;
  STDMETHOD(Commit)(DWORD flags) PURE;
  STDMETHOD(Revert)() PURE;
  STDMETHOD(LockRegion)(ULARGE_INTEGER offset, ULARGE_INTEGER count, DWORD type) PURE;
  STDMETHOD(UnlockRegion)(ULARGE_INTEGER offset, ULARGE_INTEGER count, DWORD type) PURE;
  STDMETHOD(Stat)(STATSTG* stat, DWORD flags) PURE;
  STDMETHOD(Clone)(IStream** copy) PURE;

 protected:
  ~IStream() = default;
};
typedef IStream* LPSTREAM;
STAND_IN_INTERFACE_ID(IStream, "0000000C-0000-0000-C000-000000000046");

extern const IID IID_ISequentialStream;
extern const IID IID_IStream;

// A stream over `memory` (its size is the stream's), or over a new moveable
// block when `memory` is null; the block grows as the stream is written,
// and is freed with the stream's last release when `deleteOnRelease`.
// Seek, SetSize, Stat, Commit and Revert work; CopyTo and Clone answer
// E_NOTIMPL and region locks STG_E_INVALIDFUNCTION.
HRESULT WINAPI CreateStreamOnHGlobal(HGLOBAL memory, BOOL deleteOnRelease, LPSTREAM* stream);
// The block under a stream made by CreateStreamOnHGlobal; E_INVALIDARG for
// any other stream.
HRESULT WINAPI GetHGlobalFromStream(LPSTREAM stream, HGLOBAL* memory);
