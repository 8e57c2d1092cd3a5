// Bitmaps loaded from the test program's resources (tests/win/testdata),
// compared with the .bmp files they were compiled from.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstddef>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "stand_in/module.h"
#include "test_ids.h"

namespace {

static_assert(sizeof(RGBQUAD) == 4, "");
static_assert(sizeof(BITMAPINFOHEADER) == 40, "");
static_assert(sizeof(BITMAPFILEHEADER) == 14, "");
static_assert(offsetof(BITMAPFILEHEADER, bfOffBits) == 10, "");
static_assert(sizeof(BITMAP) == 32, "");
static_assert(offsetof(BITMAP, bmBits) == 24, "");
static_assert(sizeof(DIBSECTION) == 104, "");
static_assert(offsetof(DIBSECTION, dsBmih) == 32, "");
static_assert(offsetof(DIBSECTION, dshSection) == 88, "");
static_assert(offsetof(DIBSECTION, dsOffset) == 96, "");

struct BmpFile {
  BITMAPINFOHEADER header{};
  std::vector<RGBQUAD> colors;
  std::vector<unsigned char> pixels;
};

BmpFile ReadBmp(const std::string& name) {
  std::ifstream in(std::string(TESSALY_WIN_TESTDATA) + "/" + name, std::ios::binary);
  std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  BmpFile bmp;
  EXPECT_GE(bytes.size(), 54u) << name;
  if (bytes.size() < 54) return bmp;
  BITMAPFILEHEADER file;
  std::memcpy(&file, bytes.data(), sizeof file);
  std::memcpy(&bmp.header, bytes.data() + 14, sizeof bmp.header);
  size_t colors = bmp.header.biBitCount <= 8 ? (bmp.header.biClrUsed ? bmp.header.biClrUsed : 1u << bmp.header.biBitCount) : 0;
  bmp.colors.resize(colors);
  if (colors) std::memcpy(bmp.colors.data(), bytes.data() + 54, colors * 4);
  bmp.pixels.assign(bytes.begin() + file.bfOffBits, bytes.end());
  return bmp;
}

HBITMAP Load(WORD id) {
  return static_cast<HBITMAP>(
      LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
}

TEST(Bitmaps, LoadedAsTheirFiles) {
  struct Case {
    WORD id;
    const char* file;
    LONG width, height, stride;
    WORD bpp;
  } cases[] = {
      {IDB_RGB24, "rgb24.bmp", 5, 3, 16, 24},       {IDB_RGB24_TOPDOWN, "rgb24_topdown.bmp", 3, 2, 12, 24},
      {IDB_RGB32, "rgb32.bmp", 4, 2, 16, 32},       {IDB_PAL4, "pal4.bmp", 7, 3, 4, 4},
      {IDB_PAL8, "pal8.bmp", 6, 2, 8, 8},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const BmpFile bmp = ReadBmp(c.file);
    HBITMAP bitmap = Load(c.id);
    ASSERT_NE(bitmap, nullptr);
    DIBSECTION ds;
    std::memset(&ds, 0xCD, sizeof ds);
    ASSERT_EQ(GetObjectW(bitmap, sizeof ds, &ds), int(sizeof(DIBSECTION)));
    EXPECT_EQ(ds.dsBm.bmType, 0);
    EXPECT_EQ(ds.dsBm.bmWidth, c.width);
    EXPECT_EQ(ds.dsBm.bmHeight, c.height);  // positive also for a top-down one
    EXPECT_EQ(ds.dsBm.bmWidthBytes, c.stride);
    EXPECT_EQ(ds.dsBm.bmPlanes, 1);
    EXPECT_EQ(ds.dsBm.bmBitsPixel, c.bpp);
    EXPECT_EQ(ds.dsBmih.biSize, 40u);
    EXPECT_EQ(ds.dsBmih.biWidth, bmp.header.biWidth);
    EXPECT_EQ(ds.dsBmih.biHeight, bmp.header.biHeight);
    EXPECT_EQ(ds.dsBmih.biBitCount, c.bpp);
    EXPECT_EQ(ds.dsBmih.biCompression, DWORD(BI_RGB));
    EXPECT_EQ(ds.dsBmih.biSizeImage, DWORD(c.stride * c.height));
    EXPECT_EQ(ds.dsBmih.biClrUsed, bmp.header.biClrUsed);
    EXPECT_EQ(ds.dshSection, nullptr);
    EXPECT_EQ(ds.dsOffset, 0u);
    ASSERT_NE(ds.dsBm.bmBits, nullptr);
    ASSERT_EQ(bmp.pixels.size(), size_t(c.stride * c.height));
    const auto* bits = static_cast<const unsigned char*>(ds.dsBm.bmBits);
    EXPECT_EQ(std::vector<unsigned char>(bits, bits + bmp.pixels.size()), bmp.pixels);

    BITMAP bm;
    ASSERT_EQ(GetObjectW(bitmap, sizeof bm, &bm), int(sizeof(BITMAP)));
    EXPECT_EQ(bm.bmWidth, c.width);
    EXPECT_EQ(bm.bmBits, ds.dsBm.bmBits);
    EXPECT_EQ(GetObjectW(bitmap, 0, nullptr), int(sizeof(BITMAP)));
    EXPECT_EQ(GetObjectW(bitmap, sizeof bm - 1, &bm), 0);

    HDC dc = CreateCompatibleDC(nullptr);
    ASSERT_NE(dc, nullptr);
    HGDIOBJ old = SelectObject(dc, bitmap);
    ASSERT_NE(old, nullptr);
    RGBQUAD colors[256];
    const UINT got = GetDIBColorTable(dc, 0, 256, colors);
    ASSERT_EQ(got, bmp.colors.size());
    for (UINT i = 0; i < got; ++i) {
      EXPECT_EQ(colors[i].rgbRed, bmp.colors[i].rgbRed);
      EXPECT_EQ(colors[i].rgbGreen, bmp.colors[i].rgbGreen);
      EXPECT_EQ(colors[i].rgbBlue, bmp.colors[i].rgbBlue);
    }
    EXPECT_FALSE(DeleteObject(bitmap));  // selected: not deleted
    EXPECT_EQ(SelectObject(dc, old), bitmap);
    EXPECT_TRUE(DeleteDC(dc));
    EXPECT_TRUE(DeleteObject(bitmap));
  }
}

TEST(Bitmaps, ColourTableFromAnOffset) {
  HBITMAP bitmap = Load(IDB_PAL8);
  ASSERT_NE(bitmap, nullptr);
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, bitmap);
  RGBQUAD colors[8];
  EXPECT_EQ(GetDIBColorTable(dc, 3, 8, colors), 2u);  // entries 3 and 4 of 5
  EXPECT_EQ(colors[0].rgbRed, 255);
  EXPECT_EQ(colors[1].rgbRed, 0);
  EXPECT_EQ(GetDIBColorTable(dc, 5, 8, colors), 0u);
  SelectObject(dc, old);
  EXPECT_EQ(GetDIBColorTable(dc, 0, 8, colors), 0u);  // the DC's own bitmap has none
  DeleteDC(dc);
  DeleteObject(bitmap);
}

TEST(Bitmaps, OneDeviceContextAtATime) {
  HBITMAP bitmap = Load(IDB_RGB24);
  HDC a = CreateCompatibleDC(nullptr), b = CreateCompatibleDC(nullptr);
  ASSERT_NE(SelectObject(a, bitmap), nullptr);
  EXPECT_EQ(SelectObject(b, bitmap), nullptr);
  EXPECT_TRUE(DeleteDC(a));  // lets the bitmap go
  EXPECT_NE(SelectObject(b, bitmap), nullptr);
  EXPECT_TRUE(DeleteDC(b));
  EXPECT_FALSE(DeleteDC(b));
  EXPECT_TRUE(DeleteObject(bitmap));
}

TEST(Bitmaps, IdFromTheLowSixteenBits) {
  const unsigned resID = 0x100D0;
  HBITMAP bitmap = static_cast<HBITMAP>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(LOWORD(resID)),
                                                   IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
  ASSERT_NE(bitmap, nullptr);
  BITMAP bm;
  ASSERT_EQ(GetObjectW(bitmap, sizeof bm, &bm), int(sizeof bm));
  EXPECT_EQ(bm.bmWidth, 5);  // 208, rgb24.bmp
  EXPECT_EQ(bm.bmHeight, 3);
  DeleteObject(bitmap);
}

TEST(Bitmaps, DeletedHandleNamesNothing) {
  HBITMAP bitmap = Load(IDB_RGB32);
  ASSERT_NE(bitmap, nullptr);
  EXPECT_TRUE(DeleteObject(bitmap));
  EXPECT_FALSE(DeleteObject(bitmap));
  BITMAP bm;
  EXPECT_EQ(GetObjectW(bitmap, sizeof bm, &bm), 0);
  HDC dc = CreateCompatibleDC(nullptr);
  EXPECT_EQ(SelectObject(dc, bitmap), nullptr);
  DeleteDC(dc);
  // A new bitmap never takes the old handle.
  HBITMAP next = Load(IDB_RGB32);
  EXPECT_NE(next, bitmap);
  DeleteObject(next);
  EXPECT_FALSE(DeleteObject(nullptr));
}

TEST(Bitmaps, Refusals) {
  HMODULE exe = GetModuleHandleW(nullptr);
  SetLastError(0);
  EXPECT_EQ(LoadImageW(exe, MAKEINTRESOURCEW(4321), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_RESOURCE_NAME_NOT_FOUND));
  // Not a bitmap resource, though the id exists.
  SetLastError(0);
  EXPECT_EQ(LoadImageW(exe, MAKEINTRESOURCEW(IDR_BYTES), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_RESOURCE_NAME_NOT_FOUND));
  // The system's bitmaps are not the executable's.
  EXPECT_EQ(LoadImageW(nullptr, MAKEINTRESOURCEW(IDB_RGB24), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION), nullptr);

  struct Case {
    WORD id;
    int cx, cy;
    UINT type, flags;
    const char* message;
  } cases[] = {
      {IDB_RGB16, 0, 0, IMAGE_BITMAP, LR_CREATEDIBSECTION, "bit depth 16 is not supported"},
      {IDB_RGB24, 10, 6, IMAGE_BITMAP, LR_CREATEDIBSECTION, "scaling"},
      {IDB_RGB24, 0, 0, IMAGE_BITMAP, 0, "LR_CREATEDIBSECTION"},
      {IDB_RGB24, 0, 0, IMAGE_ICON, LR_CREATEDIBSECTION, "only bitmaps"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    testing::internal::CaptureStderr();
    EXPECT_EQ(LoadImageW(exe, MAKEINTRESOURCEW(c.id), c.type, c.cx, c.cy, c.flags), nullptr);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find(c.message), std::string::npos) << err;
    EXPECT_NE(err.find("bitmap resource " + std::to_string(c.id)), std::string::npos) << err;
  }
  // Loading its own size is the same as 0, 0.
  HANDLE same = LoadImageW(exe, MAKEINTRESOURCEW(IDB_RGB24), IMAGE_BITMAP, 5, 3, LR_CREATEDIBSECTION);
  EXPECT_NE(same, nullptr);
  DeleteObject(same);
}

// Bitmap resources cut short or lying about their sizes, in a module of
// their own.
struct BitmapModule {
  explicit BitmapModule(const std::vector<unsigned char>& dib) {
    auto word = [this](uint16_t v) {
      bytes.push_back(v & 0xFF);
      bytes.push_back(v >> 8);
    };
    auto dword = [&](uint32_t v) {
      word(v & 0xFFFF);
      word(v >> 16);
    };
    auto record = [&](uint16_t type, uint16_t name, const std::vector<unsigned char>& data) {
      dword(static_cast<uint32_t>(data.size()));
      dword(32);
      word(0xFFFF), word(type), word(0xFFFF), word(name);
      dword(0), word(0x1030), word(0x0409), dword(0), dword(0);
      bytes.insert(bytes.end(), data.begin(), data.end());
      while (bytes.size() % 4) bytes.push_back(0);
    };
    record(0, 0, {});
    record(2, 1, dib);
    module = reinterpret_cast<HMODULE>(reinterpret_cast<uintptr_t>(this) | 1);
    stand_in::RegisterResourcesOf(module, bytes.data(), bytes.size(), "bitmaps.dll");
  }
  ~BitmapModule() { stand_in::UnregisterResources(bytes.data()); }
  std::vector<unsigned char> bytes;
  HMODULE module;
};

std::vector<unsigned char> Dib(LONG width, LONG height, WORD bpp, DWORD colors, size_t payload) {
  BITMAPINFOHEADER h{};
  h.biSize = 40;
  h.biWidth = width;
  h.biHeight = height;
  h.biPlanes = 1;
  h.biBitCount = bpp;
  h.biClrUsed = colors;
  std::vector<unsigned char> out(sizeof h + payload);
  std::memcpy(out.data(), &h, sizeof h);
  return out;
}

std::vector<unsigned char> Cut(std::vector<unsigned char> bytes, size_t size) {
  bytes.resize(size);
  return bytes;
}

TEST(Bitmaps, DamagedResourcesAreRefused) {
  struct Case {
    const char* what;
    std::vector<unsigned char> dib;
    const char* message;
  } cases[] = {
      {"pixels cut short", Dib(5, 3, 24, 0, 16 * 3 - 1), "48 bytes of pixels needed, 47 present"},
      {"huge height", Dib(5, 0x7FFFFFFF, 24, 0, 16), "bytes of pixels needed"},
      {"huge width", Dib(0x7FFFFFFF, 1, 32, 0, 16), "bytes of pixels needed"},
      {"colour table cut short", Dib(2, 2, 8, 0, 100), "colour table runs past"},
      {"too many colours", Dib(2, 2, 4, 17, 17 * 4 + 8), "17 colours for 4 bits"},
      {"no width", Dib(0, 2, 24, 0, 16), "bad size"},
      {"header only in part", Cut(Dib(2, 2, 24, 0, 0), 20), "too short"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    BitmapModule module(c.dib);
    testing::internal::CaptureStderr();
    EXPECT_EQ(LoadImageW(module.module, MAKEINTRESOURCEW(1), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION), nullptr);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find(c.message), std::string::npos) << err;
  }
  BitmapModule sound(Dib(5, 3, 24, 0, 48));
  HANDLE loaded = LoadImageW(sound.module, MAKEINTRESOURCEW(1), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION);
  EXPECT_NE(loaded, nullptr);
  DeleteObject(loaded);
}

}  // namespace
