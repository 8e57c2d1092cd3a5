// The bitmap handler through its vtable: the module's bitmaps as temporary
// BMP files in a temporary folder of the test's own (TMP), deleted on
// Dispose.
#include <gtest/gtest.h>

#include "BitmapHandler.h"
#include "alloc_limit.h"
#include "fail_each_allocation.h"
#include "temp_dir.h"

#include "stand_in/paths.h"
#include "stand_in/text.h"

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

std::vector<unsigned char> FileBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<unsigned char>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The file header is packed: its fields are copied (unary +) before the
// assertions take references to them.
struct Bmp {
  BITMAPFILEHEADER file{};
  BITMAPINFOHEADER info{};
  std::vector<unsigned char> pixels;
};

Bmp Parse(const std::vector<unsigned char>& bytes) {
  Bmp bmp;
  EXPECT_GE(bytes.size(), 54u);
  if (bytes.size() < 54) return bmp;
  std::memcpy(&bmp.file, bytes.data(), sizeof bmp.file);
  std::memcpy(&bmp.info, bytes.data() + 14, sizeof bmp.info);
  EXPECT_LE(+bmp.file.bfOffBits, bytes.size());
  if (bmp.file.bfOffBits <= bytes.size()) bmp.pixels.assign(bytes.begin() + bmp.file.bfOffBits, bytes.end());
  return bmp;
}

class BitmapHandlerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    root = fs::temp_directory_path() / ("tessaly-bitmaps-" + std::string(info->name()) + "-" + std::to_string(::getpid()));
    fs::remove_all(root);
    fs::create_directories(root / "tmp");
    if (const char* old = std::getenv("TMP")) oldTmp = old;
    setenv("TMP", (root / "tmp").c_str(), 1);
    bstrs = stand_in::LiveBstrCount();
    locks = _pAtlModule->GetLockCount();
  }
  void TearDown() override {
    EXPECT_EQ(stand_in::LiveBstrCount(), bstrs);
    EXPECT_EQ(_pAtlModule->GetLockCount(), locks);
    if (oldTmp) setenv("TMP", oldTmp->c_str(), 1);
    else unsetenv("TMP");
    fs::remove_all(root);
  }

  // A new handler with the first reference taken.
  IBitmapHandler* NewHandler() {
    CComObject<CBitmapHandler>* object = nullptr;
    EXPECT_EQ(CComObject<CBitmapHandler>::CreateInstance(&object), S_OK);
    if (!object) return nullptr;
    IBitmapHandler* handler = object;
    handler->AddRef();
    return handler;
  }

  std::set<fs::path> Files() const {
    std::set<fs::path> out;
    for (const auto& e : fs::directory_iterator(root / "tmp")) out.insert(e.path());
    return out;
  }

  // The native file of a path the handler gave.
  fs::path NativeOf(BSTR path) const { return stand_in::NativePath(path); }

  fs::path root;
  std::optional<std::string> oldTmp;
  long bstrs = 0;
  LONG locks = 0;
};

struct Expected {
  ULONG id;
  LONG width, height;
  const char* source;
};
const Expected kBitmaps[] = {
    {208, 64, 16, "toolbar_small.bmp"},
    {205, 96, 24, "toolbar_large.bmp"},
    {204, 16, 16, "main_small.bmp"},
    {202, 24, 24, "main_large.bmp"},
};

void ExpectImageOf(const fs::path& file, const Expected& e) {
  SCOPED_TRACE(file.string());
  const std::vector<unsigned char> bytes = FileBytes(file);
  const Bmp bmp = Parse(bytes);
  const char* sourceDir = std::getenv("TESSALY_SOURCE_DIR");
  const fs::path res = sourceDir ? fs::path(sourceDir) / "res" : fs::path(__FILE__).parent_path() / ".." / ".." / "res";
  const Bmp source = Parse(FileBytes(res / e.source));
  EXPECT_EQ(+bmp.file.bfType, 0x4D42);
  EXPECT_EQ(+bmp.file.bfSize, bytes.size());
  EXPECT_EQ(bmp.info.biWidth, e.width);
  EXPECT_EQ(bmp.info.biHeight, e.height);
  EXPECT_EQ(bmp.info.biBitCount, source.info.biBitCount);
  EXPECT_EQ(bmp.info.biCompression, DWORD(BI_RGB));
  EXPECT_FALSE(source.pixels.empty());
  EXPECT_EQ(bmp.pixels, source.pixels);  // the resource's own pixels
}

TEST_F(BitmapHandlerTest, FourBitmapsBecomeFourFilesUntilDispose) {
  IBitmapHandler* handler = NewHandler();
  ASSERT_NE(handler, nullptr);
  EXPECT_EQ(_pAtlModule->GetLockCount(), locks + 1);
  wchar_t folder[MAX_PATH];
  ASSERT_GT(GetTempPathW(MAX_PATH, folder), 0u);
  std::set<fs::path> made;
  for (const Expected& e : kBitmaps) {
    SCOPED_TRACE(e.id);
    BSTR path = nullptr;
    ASSERT_EQ(handler->CreateBitmapFileFromResource(e.id, &path), S_OK);
    ASSERT_NE(path, nullptr);
    const std::wstring text(path);
    EXPECT_EQ(text.compare(0, std::wcslen(folder), folder), 0) << stand_in::ToUtf8(text);
    const std::wstring name = text.substr(std::wcslen(folder));
    EXPECT_EQ(name.compare(0, 3, L"swt"), 0) << stand_in::ToUtf8(name);
    EXPECT_EQ(name.substr(name.size() - 4), L".TMP");
    const fs::path file = NativeOf(path);
    ExpectImageOf(file, e);
    made.insert(file);
    SysFreeString(path);
  }
  EXPECT_EQ(made.size(), 4u);
  EXPECT_EQ(Files(), made);
  EXPECT_EQ(handler->Dispose(), S_OK);
  EXPECT_TRUE(Files().empty());
  EXPECT_EQ(handler->Release(), 0u);
}

TEST_F(BitmapHandlerTest, TheLow16BitsNameTheResource) {
  IBitmapHandler* handler = NewHandler();
  BSTR path = nullptr;
  ASSERT_EQ(handler->CreateBitmapFileFromResource(0x100D0, &path), S_OK);
  ExpectImageOf(NativeOf(path), kBitmaps[0]);
  SysFreeString(path);
  handler->Dispose();
  handler->Release();
}

TEST_F(BitmapHandlerTest, NoBitmapMakesNoFileAndLeavesRetval) {
  IBitmapHandler* handler = NewHandler();
  BSTR mark = SysAllocString(L"untouched");
  // 209 is the dialog, 0x10000 is id 0.
  for (ULONG id : {ULONG(999), ULONG(209), ULONG(0x10000), ULONG(0)}) {
    SCOPED_TRACE(id);
    BSTR path = mark;
    EXPECT_EQ(handler->CreateBitmapFileFromResource(id, &path), E_FAIL);
    EXPECT_EQ(path, mark);
    EXPECT_TRUE(Files().empty());
  }
  SysFreeString(mark);
  EXPECT_EQ(handler->Dispose(), S_OK);
  handler->Release();
}

TEST_F(BitmapHandlerTest, ANullRetvalIsRefusedAndMakesNoFile) {
  IBitmapHandler* handler = NewHandler();
  EXPECT_EQ(handler->CreateBitmapFileFromResource(208, nullptr), E_POINTER);
  EXPECT_TRUE(Files().empty());
  handler->Release();
}

TEST_F(BitmapHandlerTest, NoTemporaryFolderMakesNoFile) {
  setenv("TMP", (root / "missing").c_str(), 1);
  IBitmapHandler* handler = NewHandler();
  BSTR path = nullptr;
  EXPECT_EQ(handler->CreateBitmapFileFromResource(208, &path), E_FAIL);
  EXPECT_EQ(path, nullptr);
  EXPECT_FALSE(fs::exists(root / "missing"));
  handler->Release();
}

size_t RegularFilesBelow(const fs::path& folder) {
  size_t count = 0;
  for (const auto& e : fs::recursive_directory_iterator(folder))
    if (e.is_regular_file()) ++count;
  return count;
}

// A temporary folder whose path does not fit the handler's buffer of 260 is
// answered with the size it needs and no path: the call fails and makes no
// file, in that folder or in whatever folder the buffer held before.
TEST_F(BitmapHandlerTest, ATemporaryFolderLongerThanItsBufferMakesNoFile) {
  const fs::path deep = test_support::DeepFolder(root / "tmp", 300);
  ASSERT_EQ(deep.string().size(), 300u);
  IBitmapHandler* handler = NewHandler();
  ASSERT_NE(handler, nullptr);
  for (const bool longFolder : {false, true, false, true}) {
    SCOPED_TRACE(longFolder ? "300 characters" : "short");
    setenv("TMP", (longFolder ? deep : root / "tmp").c_str(), 1);
    BSTR path = nullptr;
    const HRESULT hr = handler->CreateBitmapFileFromResource(208, &path);
    if (longFolder) {
      EXPECT_EQ(hr, E_FAIL);
      EXPECT_EQ(path, nullptr);
      EXPECT_EQ(RegularFilesBelow(root / "tmp"), 0u);
    } else {
      EXPECT_EQ(hr, S_OK);
      EXPECT_EQ(RegularFilesBelow(root / "tmp"), 1u);
    }
    SysFreeString(path);
    EXPECT_EQ(handler->Dispose(), S_OK);
  }
  handler->Release();
}

// Wherever memory runs out, a failed call leaves no file of its own behind
// and retval as it was; one that succeeds made exactly one file.
TEST_F(BitmapHandlerTest, AFailureHalfwayTakesItsFileBack) {
  if (!test_support::AllocationLimit::Available()) GTEST_SKIP() << "no allocation hook in this build";
  IBitmapHandler* handler = NewHandler();
  ASSERT_NE(handler, nullptr);
  long long total = 0;
  {
    BSTR path = nullptr;
    test_support::AllocationLimit count;
    ASSERT_EQ(handler->CreateBitmapFileFromResource(208, &path), S_OK);
    count.End();
    total = count.Allocations();
    SysFreeString(path);
    handler->Dispose();
  }
  int failed = 0;
  for (long long n = 1; n <= total; ++n) {
    BSTR path = reinterpret_cast<BSTR>(0x1);
    HRESULT hr = S_OK;
    {
      test_support::AllocationLimit limit(test_support::AllocationLimit::FailOnly(n));
      hr = handler->CreateBitmapFileFromResource(208, &path);
    }
    if (hr == S_OK) {
      EXPECT_EQ(Files().size(), 1u) << "failing allocation " << n;
      SysFreeString(path);
      handler->Dispose();
    } else {
      EXPECT_EQ(hr, E_FAIL);
      EXPECT_EQ(path, reinterpret_cast<BSTR>(0x1)) << "failing allocation " << n;
      EXPECT_TRUE(Files().empty()) << "failing allocation " << n;
      ++failed;
    }
  }
  EXPECT_GT(failed, 0);
  handler->Release();
}

// Dispose answers S_OK wherever memory runs out, and forgets every file: a
// file it could not delete then stays behind, as one held elsewhere does.
TEST_F(BitmapHandlerTest, DisposeAnswersOkWhereverMemoryRunsOut) {
  if (!test_support::AllocationLimit::Available()) GTEST_SKIP() << "no allocation hook in this build";
  IBitmapHandler* handler = NewHandler();
  ASSERT_NE(handler, nullptr);
  test_support::FailEachAllocation(
      [&] {
        for (ULONG id : {208u, 204u}) {
          BSTR path = nullptr;
          ASSERT_EQ(handler->CreateBitmapFileFromResource(id, &path), S_OK);
          SysFreeString(path);
        }
      },
      [&] { return handler->Dispose(); },
      [&](HRESULT hr, long long n) {
        EXPECT_EQ(hr, S_OK) << "allocation " << n << " failed";
        const std::set<fs::path> left = Files();
        EXPECT_EQ(handler->Dispose(), S_OK);
        EXPECT_EQ(Files(), left) << "the second Dispose found nothing to delete";
        for (const fs::path& file : left) fs::remove(file);
      });
  handler->Release();
}

TEST_F(BitmapHandlerTest, DisposeWithNothingOrTwice) {
  IBitmapHandler* handler = NewHandler();
  std::ofstream(root / "tmp" / "someone-elses.txt") << "x";
  EXPECT_EQ(handler->Dispose(), S_OK);
  BSTR path = nullptr;
  ASSERT_EQ(handler->CreateBitmapFileFromResource(204, &path), S_OK);
  EXPECT_EQ(handler->Dispose(), S_OK);
  EXPECT_FALSE(fs::exists(NativeOf(path)));
  EXPECT_EQ(handler->Dispose(), S_OK);
  // After Dispose the handler makes files again.
  BSTR again = nullptr;
  ASSERT_EQ(handler->CreateBitmapFileFromResource(202, &again), S_OK);
  EXPECT_TRUE(fs::exists(NativeOf(again)));
  EXPECT_EQ(handler->Dispose(), S_OK);
  EXPECT_EQ(Files(), std::set<fs::path>{root / "tmp" / "someone-elses.txt"});
  SysFreeString(path);
  SysFreeString(again);
  handler->Release();
}

TEST_F(BitmapHandlerTest, ReleaseWithoutDisposeLeavesTheFiles) {
  IBitmapHandler* handler = NewHandler();
  BSTR a = nullptr, b = nullptr;
  ASSERT_EQ(handler->CreateBitmapFileFromResource(208, &a), S_OK);
  ASSERT_EQ(handler->CreateBitmapFileFromResource(205, &b), S_OK);
  EXPECT_EQ(handler->Release(), 0u);
  EXPECT_EQ(_pAtlModule->GetLockCount(), locks);
  EXPECT_EQ(Files(), (std::set<fs::path>{NativeOf(a), NativeOf(b)}));
  SysFreeString(a);
  SysFreeString(b);
}

TEST_F(BitmapHandlerTest, FilesGoneOrHeldElsewhereDoNotDisturbDispose) {
  IBitmapHandler* handler = NewHandler();
  BSTR gone = nullptr, held = nullptr, plain = nullptr;
  ASSERT_EQ(handler->CreateBitmapFileFromResource(208, &gone), S_OK);
  ASSERT_EQ(handler->CreateBitmapFileFromResource(205, &held), S_OK);
  ASSERT_EQ(handler->CreateBitmapFileFromResource(204, &plain), S_OK);
  ASSERT_TRUE(fs::remove(NativeOf(gone)));
  HANDLE open = CreateFileW(held, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(open, INVALID_HANDLE_VALUE);
  EXPECT_EQ(handler->Dispose(), S_OK);
  EXPECT_FALSE(fs::exists(NativeOf(plain)));
  EXPECT_TRUE(fs::exists(NativeOf(held)));  // Windows keeps a file open unshared
  CloseHandle(open);
  // Its entry went all the same: a second Dispose leaves it too.
  EXPECT_EQ(handler->Dispose(), S_OK);
  EXPECT_TRUE(fs::exists(NativeOf(held)));
  for (BSTR p : {gone, held, plain}) SysFreeString(p);
  handler->Release();
}

TEST_F(BitmapHandlerTest, AnswersItsInterfacesOnly) {
  IBitmapHandler* handler = NewHandler();
  void* object = nullptr;
  ASSERT_EQ(handler->QueryInterface(IID_IUnknown, &object), S_OK);
  EXPECT_EQ(object, static_cast<void*>(handler));
  static_cast<IUnknown*>(object)->Release();
  ASSERT_EQ(handler->QueryInterface(IID_IDispatch, &object), S_OK);
  static_cast<IUnknown*>(object)->Release();
  EXPECT_EQ(handler->QueryInterface(IID_IStream, &object), E_NOINTERFACE);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(handler->Release(), 0u);
}

}  // namespace
