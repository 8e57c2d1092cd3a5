// Bitmap pictures saved as BMP files, read back and compared with the
// bitmaps and with the .bmp files they were compiled from.
#include <olectl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "picture_ids.h"
#include "stub_stream.h"

namespace {

static_assert(sizeof(PICTDESC) == 24, "the 64-bit layout");
static_assert(offsetof(PICTDESC, picType) == 4, "");
static_assert(offsetof(PICTDESC, bmp.hbitmap) == 8, "");
static_assert(offsetof(PICTDESC, bmp.hpal) == 16, "");

std::vector<unsigned char> FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<unsigned char>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// A BMP file taken apart; rows bottom-up as stored, whatever the file's order.
// The file header is packed: its fields are copied (unary +) before the
// assertions take references to them.
struct Bmp {
  BITMAPFILEHEADER file{};
  BITMAPINFOHEADER info{};
  std::vector<RGBQUAD> colors;
  std::vector<std::vector<unsigned char>> rowsBottomUp;
};

Bmp Parse(const std::vector<unsigned char>& bytes) {
  Bmp bmp;
  EXPECT_GE(bytes.size(), 54u);
  if (bytes.size() < 54) return bmp;
  std::memcpy(&bmp.file, bytes.data(), sizeof bmp.file);
  std::memcpy(&bmp.info, bytes.data() + 14, sizeof bmp.info);
  const unsigned bpp = bmp.info.biBitCount;
  const size_t colors = bpp <= 8 ? (bmp.info.biClrUsed ? bmp.info.biClrUsed : size_t(1) << bpp) : 0;
  EXPECT_LE(14 + 40 + colors * 4, bytes.size());
  bmp.colors.resize(colors);
  if (colors) std::memcpy(bmp.colors.data(), bytes.data() + 54, colors * 4);
  const size_t stride = (size_t(bmp.info.biWidth) * bpp + 31) / 32 * 4;
  const size_t height = bmp.info.biHeight < 0 ? size_t(-bmp.info.biHeight) : size_t(bmp.info.biHeight);
  EXPECT_LE(bmp.file.bfOffBits + stride * height, bytes.size());
  if (bmp.file.bfOffBits + stride * height > bytes.size()) return bmp;
  for (size_t r = 0; r < height; ++r) {
    const unsigned char* row = bytes.data() + bmp.file.bfOffBits + r * stride;
    bmp.rowsBottomUp.emplace_back(row, row + stride);
  }
  if (bmp.info.biHeight < 0) std::reverse(bmp.rowsBottomUp.begin(), bmp.rowsBottomUp.end());
  return bmp;
}

HBITMAP Load(WORD id) {
  return static_cast<HBITMAP>(
      LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
}

PICTDESC Describe(HBITMAP bitmap) {
  PICTDESC desc = {};
  desc.cbSizeofstruct = sizeof desc;
  desc.picType = PICTYPE_BITMAP;
  desc.bmp.hbitmap = bitmap;
  return desc;
}

IPicture* Picture(HBITMAP bitmap, BOOL own) {
  PICTDESC desc = Describe(bitmap);
  IPicture* picture = nullptr;
  EXPECT_EQ(OleCreatePictureIndirect(&desc, IID_IPicture, own, reinterpret_cast<void**>(&picture)), S_OK);
  return picture;
}

// What SaveAsFile wrote, and the size it reported.
std::vector<unsigned char> Save(IPicture* picture, LONG* size, HRESULT* hr) {
  IStream* stream = nullptr;
  EXPECT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, &stream), S_OK);
  *size = -1;
  *hr = picture->SaveAsFile(stream, TRUE, size);
  STATSTG stat;
  stream->Stat(&stat, STATFLAG_NONAME);
  std::vector<unsigned char> bytes(stat.cbSize.QuadPart);
  HGLOBAL memory = nullptr;
  EXPECT_EQ(GetHGlobalFromStream(stream, &memory), S_OK);
  if (!bytes.empty()) {
    std::memcpy(bytes.data(), GlobalLock(memory), bytes.size());
    GlobalUnlock(memory);
  }
  stream->Release();
  return bytes;
}

TEST(Picture, SavesARealBmpOfTheBitmap) {
  struct Case {
    WORD id;
    std::string file;
  } cases[] = {
      {IDB_PICTURE_RGB24, PICTURE_BITMAPS "/rgb24.bmp"},     {IDB_PICTURE_TOPDOWN, PICTURE_BITMAPS "/rgb24_topdown.bmp"},
      {IDB_PICTURE_RGB32, PICTURE_BITMAPS "/rgb32.bmp"},     {IDB_PICTURE_PAL4, PICTURE_BITMAPS "/pal4.bmp"},
      {IDB_PICTURE_PAL8, PICTURE_BITMAPS "/pal8.bmp"},       {IDB_PICTURE_TOOLBAR, PICTURE_TOOLBAR},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const Bmp source = Parse(FileBytes(c.file));
    HBITMAP bitmap = Load(c.id);
    ASSERT_NE(bitmap, nullptr);
    IPicture* picture = Picture(bitmap, FALSE);
    ASSERT_NE(picture, nullptr);
    LONG size = 0;
    HRESULT hr = E_FAIL;
    const std::vector<unsigned char> bytes = Save(picture, &size, &hr);
    ASSERT_EQ(hr, S_OK);
    EXPECT_EQ(size_t(size), bytes.size());
    const Bmp saved = Parse(bytes);

    EXPECT_EQ(+saved.file.bfType, 0x4D42);  // "BM"
    EXPECT_EQ(+saved.file.bfSize, bytes.size());
    EXPECT_EQ(+saved.file.bfReserved1, 0);
    EXPECT_EQ(+saved.file.bfReserved2, 0);
    EXPECT_EQ(+saved.file.bfOffBits, 14 + 40 + 4 * source.colors.size());
    EXPECT_EQ(saved.info.biSize, 40u);
    EXPECT_EQ(saved.info.biWidth, source.info.biWidth);
    // Bottom-up, even for a top-down source.
    EXPECT_EQ(saved.info.biHeight, source.info.biHeight < 0 ? -source.info.biHeight : source.info.biHeight);
    EXPECT_EQ(saved.info.biPlanes, 1);
    EXPECT_EQ(saved.info.biBitCount, source.info.biBitCount);
    EXPECT_EQ(saved.info.biCompression, DWORD(BI_RGB));
    EXPECT_EQ(saved.info.biSizeImage, bytes.size() - saved.file.bfOffBits);
    ASSERT_EQ(saved.colors.size(), source.colors.size());
    if (!source.colors.empty()) {
      EXPECT_EQ(std::memcmp(saved.colors.data(), source.colors.data(), 4 * source.colors.size()), 0);
    }
    EXPECT_EQ(saved.rowsBottomUp, source.rowsBottomUp);

    // The rows are the DIB's own.
    DIBSECTION ds;
    ASSERT_EQ(GetObjectW(bitmap, sizeof ds, &ds), int(sizeof ds));
    const auto* bits = static_cast<const unsigned char*>(ds.dsBm.bmBits);
    const size_t rows = size_t(ds.dsBm.bmHeight), stride = size_t(ds.dsBm.bmWidthBytes);
    ASSERT_EQ(saved.rowsBottomUp.size(), rows);
    for (size_t r = 0; r < rows; ++r) {
      const size_t dibRow = ds.dsBmih.biHeight < 0 ? rows - 1 - r : r;
      EXPECT_EQ(std::memcmp(saved.rowsBottomUp[r].data(), bits + dibRow * stride, stride), 0) << "row " << r;
    }

    EXPECT_EQ(picture->Release(), 0u);
    EXPECT_TRUE(DeleteObject(bitmap));  // not the picture's to delete
  }
}

TEST(Picture, OwnsTheBitmapOnlyWhenToldTo) {
  HBITMAP kept = Load(IDB_PICTURE_RGB24);
  HBITMAP given = Load(IDB_PICTURE_RGB24);
  ASSERT_NE(kept, nullptr);
  ASSERT_NE(given, nullptr);
  Picture(kept, FALSE)->Release();
  Picture(given, TRUE)->Release();
  BITMAP bm;
  EXPECT_NE(GetObjectW(kept, sizeof bm, &bm), 0);
  EXPECT_EQ(GetObjectW(given, sizeof bm, &bm), 0);
  EXPECT_TRUE(DeleteObject(kept));

  // A failed call leaves the bitmap to the caller, even with `own`.
  HBITMAP refused = Load(IDB_PICTURE_RGB24);
  PICTDESC desc = Describe(refused);
  void* object = reinterpret_cast<void*>(1);
  EXPECT_EQ(OleCreatePictureIndirect(&desc, IID_IStream, TRUE, &object), E_NOINTERFACE);
  EXPECT_EQ(object, nullptr);
  EXPECT_TRUE(DeleteObject(refused));
}

TEST(Picture, RefusesABadDescription) {
  HBITMAP bitmap = Load(IDB_PICTURE_RGB24);
  ASSERT_NE(bitmap, nullptr);
  struct Case {
    const char* name;
    UINT size;
    UINT type;
    HBITMAP bitmap;
  } cases[] = {
      {"size of 32-bit Windows", 16, PICTYPE_BITMAP, bitmap},
      {"size too large", 32, PICTYPE_BITMAP, bitmap},
      {"size 0", 0, PICTYPE_BITMAP, bitmap},
      {"no type", sizeof(PICTDESC), PICTYPE_NONE, bitmap},
      {"icon", sizeof(PICTDESC), PICTYPE_ICON, bitmap},
      {"unknown type", sizeof(PICTDESC), 99, bitmap},
      {"no bitmap", sizeof(PICTDESC), PICTYPE_BITMAP, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PICTDESC desc = Describe(c.bitmap);
    desc.cbSizeofstruct = c.size;
    desc.picType = c.type;
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(OleCreatePictureIndirect(&desc, IID_IPicture, TRUE, &object), E_INVALIDARG);
    EXPECT_EQ(object, nullptr);
  }
  void* object = reinterpret_cast<void*>(1);
  EXPECT_EQ(OleCreatePictureIndirect(nullptr, IID_IPicture, FALSE, &object), E_INVALIDARG);
  PICTDESC desc = Describe(bitmap);
  EXPECT_EQ(OleCreatePictureIndirect(&desc, IID_IPicture, FALSE, nullptr), E_POINTER);
  EXPECT_TRUE(DeleteObject(bitmap));  // none of them took it
  // A deleted bitmap is no bitmap.
  EXPECT_EQ(OleCreatePictureIndirect(&desc, IID_IPicture, FALSE, &object), E_INVALIDARG);
}

TEST(Picture, SaveFailsCleanlyWithoutItsBitmap) {
  HBITMAP bitmap = Load(IDB_PICTURE_PAL8);
  IPicture* picture = Picture(bitmap, FALSE);
  ASSERT_NE(picture, nullptr);
  LONG size = 5;
  EXPECT_EQ(picture->SaveAsFile(nullptr, TRUE, &size), E_POINTER);
  EXPECT_EQ(size, 0);
  // The caller deleted the bitmap it kept: nothing is written.
  ASSERT_TRUE(DeleteObject(bitmap));
  HRESULT hr = S_OK;
  const std::vector<unsigned char> bytes = Save(picture, &size, &hr);
  EXPECT_TRUE(FAILED(hr));
  EXPECT_EQ(size, 0);
  EXPECT_TRUE(bytes.empty());
  picture->Release();
}

// A stream that takes only a few bytes of each write.
class ShortStream : public test_support::StubStream {
 public:
  STDMETHODIMP Write(const void*, ULONG count, ULONG* written) override {
    if (written) *written = count < 10 ? count : 10;
    return S_OK;
  }
};

TEST(Picture, AShortWriteIsAFailure) {
  HBITMAP bitmap = Load(IDB_PICTURE_RGB24);
  IPicture* picture = Picture(bitmap, TRUE);
  ASSERT_NE(picture, nullptr);
  ShortStream stream;
  LONG size = 5;
  EXPECT_TRUE(FAILED(picture->SaveAsFile(&stream, TRUE, &size)));
  EXPECT_EQ(size, 0);
  picture->Release();
}

TEST(Picture, TellsItsTypeHandleAndSize) {
  HBITMAP bitmap = Load(IDB_PICTURE_TOOLBAR);
  IPicture* picture = Picture(bitmap, TRUE);
  ASSERT_NE(picture, nullptr);
  SHORT type = 0;
  EXPECT_EQ(picture->get_Type(&type), S_OK);
  EXPECT_EQ(type, PICTYPE_BITMAP);
  OLE_HANDLE handle = 0;
  EXPECT_EQ(picture->get_Handle(&handle), S_OK);
  EXPECT_EQ(handle, static_cast<OLE_HANDLE>(reinterpret_cast<uintptr_t>(bitmap)));
  OLE_XSIZE_HIMETRIC width = 0;
  OLE_YSIZE_HIMETRIC height = 0;
  EXPECT_EQ(picture->get_Width(&width), S_OK);
  EXPECT_EQ(picture->get_Height(&height), S_OK);
  EXPECT_EQ(width, 1693);  // 64 pixels at 96 dots per inch, in 0.01 mm
  EXPECT_EQ(height, 423);
  EXPECT_EQ(picture->get_Width(nullptr), E_POINTER);
  void* object = nullptr;
  EXPECT_EQ(picture->QueryInterface(IID_IUnknown, &object), S_OK);
  EXPECT_EQ(object, static_cast<void*>(picture));
  EXPECT_EQ(picture->Release(), 1u);
  EXPECT_EQ(picture->Release(), 0u);
}

}  // namespace
