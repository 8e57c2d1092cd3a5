// Streams over global memory.
#include <objbase.h>

#include <gtest/gtest.h>

#include "stub_stream.h"

#include <cstring>
#include <string>

namespace {

LARGE_INTEGER Offset(LONGLONG value) {
  LARGE_INTEGER v;
  v.QuadPart = value;
  return v;
}

ULONGLONG Size(IStream* stream) {
  STATSTG stat;
  EXPECT_EQ(stream->Stat(&stat, STATFLAG_NONAME), S_OK);
  EXPECT_EQ(stat.type, DWORD(STGTY_STREAM));
  EXPECT_EQ(stat.pwcsName, nullptr);
  return stat.cbSize.QuadPart;
}

std::string ReadAll(IStream* stream) {
  EXPECT_EQ(stream->Seek(Offset(0), STREAM_SEEK_SET, nullptr), S_OK);
  std::string out;
  char buffer[7];
  ULONG read = 0;
  do {
    EXPECT_EQ(stream->Read(buffer, sizeof buffer, &read), S_OK);
    out.append(buffer, read);
  } while (read);
  return out;
}

TEST(HGlobalStream, GrowsAsItIsWritten) {
  IStream* stream = nullptr;
  ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, &stream), S_OK);
  ASSERT_NE(stream, nullptr);
  EXPECT_EQ(Size(stream), 0u);
  std::string expected;
  for (int i = 0; i < 500; ++i) {
    const std::string piece = "piece " + std::to_string(i) + ";";
    ULONG written = 0;
    ASSERT_EQ(stream->Write(piece.data(), static_cast<ULONG>(piece.size()), &written), S_OK);
    ASSERT_EQ(written, piece.size());
    expected += piece;
  }
  EXPECT_EQ(Size(stream), expected.size());
  EXPECT_EQ(ReadAll(stream), expected);

  // The memory under the stream holds the bytes from its start.
  HGLOBAL memory = nullptr;
  ASSERT_EQ(GetHGlobalFromStream(stream, &memory), S_OK);
  ASSERT_NE(memory, nullptr);
  EXPECT_GE(GlobalSize(memory), expected.size());
  const void* bytes = GlobalLock(memory);
  ASSERT_NE(bytes, nullptr);
  EXPECT_EQ(std::memcmp(bytes, expected.data(), expected.size()), 0);
  GlobalUnlock(memory);

  // Freed with the stream when asked.
  EXPECT_EQ(stream->Release(), 0u);
  SetLastError(0);
  EXPECT_EQ(GlobalSize(memory), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST(HGlobalStream, KeepsTheCallersMemoryWhenNotAskedToFreeIt) {
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, 5);
  ASSERT_NE(memory, nullptr);
  std::memcpy(GlobalLock(memory), "hello", 5);
  GlobalUnlock(memory);
  IStream* stream = nullptr;
  ASSERT_EQ(CreateStreamOnHGlobal(memory, FALSE, &stream), S_OK);
  EXPECT_EQ(Size(stream), 5u);  // the block's size is the stream's
  EXPECT_EQ(ReadAll(stream), "hello");
  ASSERT_EQ(stream->Seek(Offset(0), STREAM_SEEK_END, nullptr), S_OK);
  ASSERT_EQ(stream->Write(" world", 6, nullptr), S_OK);
  HGLOBAL under = nullptr;
  ASSERT_EQ(GetHGlobalFromStream(stream, &under), S_OK);
  EXPECT_EQ(under, memory);  // a moveable block keeps its handle as it grows
  stream->Release();
  ASSERT_GE(GlobalSize(memory), 11u);
  EXPECT_EQ(std::memcmp(GlobalLock(memory), "hello world", 11), 0);
  GlobalUnlock(memory);
  EXPECT_EQ(GlobalFree(memory), nullptr);
}

TEST(HGlobalStream, SeekAndSetSize) {
  IStream* stream = nullptr;
  ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, &stream), S_OK);
  ASSERT_EQ(stream->Write("abcdef", 6, nullptr), S_OK);
  ULARGE_INTEGER at;
  EXPECT_EQ(stream->Seek(Offset(-2), STREAM_SEEK_CUR, &at), S_OK);
  EXPECT_EQ(at.QuadPart, 4u);
  EXPECT_EQ(stream->Seek(Offset(-1), STREAM_SEEK_END, &at), S_OK);
  EXPECT_EQ(at.QuadPart, 5u);
  at.QuadPart = 77;
  EXPECT_EQ(stream->Seek(Offset(-7), STREAM_SEEK_END, &at), STG_E_INVALIDFUNCTION);
  EXPECT_EQ(stream->Seek(Offset(0), 3, &at), STG_E_INVALIDFUNCTION);
  EXPECT_EQ(stream->Seek(Offset(0), STREAM_SEEK_CUR, &at), S_OK);
  EXPECT_EQ(at.QuadPart, 5u);  // a refused seek leaves the position

  // Writing past the end leaves zeros in between.
  ASSERT_EQ(stream->Seek(Offset(8), STREAM_SEEK_SET, nullptr), S_OK);
  ASSERT_EQ(stream->Write("z", 1, nullptr), S_OK);
  EXPECT_EQ(ReadAll(stream), std::string("abcdef\0\0z", 9));

  ULARGE_INTEGER size;
  size.QuadPart = 3;
  ASSERT_EQ(stream->SetSize(size), S_OK);
  EXPECT_EQ(ReadAll(stream), "abc");
  size.QuadPart = 6;
  ASSERT_EQ(stream->SetSize(size), S_OK);  // grown again: zeros, not the old bytes
  EXPECT_EQ(ReadAll(stream), std::string("abc\0\0\0", 6));
  stream->Release();
}

TEST(HGlobalStream, RefusesBadArguments) {
  IStream* stream = reinterpret_cast<IStream*>(1);
  EXPECT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, nullptr), E_INVALIDARG);
  HGLOBAL freed = GlobalAlloc(GMEM_MOVEABLE, 4);
  GlobalFree(freed);
  EXPECT_EQ(CreateStreamOnHGlobal(freed, TRUE, &stream), E_INVALIDARG);
  EXPECT_EQ(stream, nullptr);

  ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, &stream), S_OK);
  ULONG count = 9;
  EXPECT_EQ(stream->Write(nullptr, 1, &count), STG_E_INVALIDPOINTER);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(stream->Read(nullptr, 1, &count), STG_E_INVALIDPOINTER);
  char byte;
  EXPECT_EQ(stream->Read(&byte, 1, &count), S_OK);  // at the end: nothing
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(stream->Stat(nullptr, STATFLAG_NONAME), STG_E_INVALIDPOINTER);
  EXPECT_EQ(GetHGlobalFromStream(stream, nullptr), E_INVALIDARG);
  IStream* copy = reinterpret_cast<IStream*>(1);
  EXPECT_EQ(stream->Clone(&copy), E_NOTIMPL);
  EXPECT_EQ(copy, nullptr);
  EXPECT_EQ(stream->Commit(STGC_DEFAULT), S_OK);

  void* object = nullptr;
  EXPECT_EQ(stream->QueryInterface(IID_ISequentialStream, &object), S_OK);
  EXPECT_EQ(object, static_cast<void*>(stream));
  static_cast<IUnknown*>(object)->Release();
  EXPECT_EQ(stream->QueryInterface(IID_IDispatch, &object), E_NOINTERFACE);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(stream->Release(), 0u);
}

// A stream of someone else's has no memory to give.
class OtherStream : public test_support::StubStream {};

TEST(HGlobalStream, OnlyItsOwnStreamsHaveMemory) {
  OtherStream other;
  HGLOBAL memory = reinterpret_cast<HGLOBAL>(1);
  EXPECT_EQ(GetHGlobalFromStream(&other, &memory), E_INVALIDARG);
  EXPECT_EQ(memory, nullptr);
  EXPECT_EQ(GetHGlobalFromStream(nullptr, &memory), E_INVALIDARG);
}

}  // namespace
