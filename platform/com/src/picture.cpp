// Bitmap pictures, saved as BMP files.
#include <olectl.h>

#include <atomic>
#include <cstring>
#include <new>
#include <vector>

const IID IID_IPicture = __uuidof(IPicture);

namespace stand_in {
namespace {

// HIMETRIC (0.01 mm) of `pixels` at 96 dots per inch, rounded.
LONG Himetric(LONG pixels) { return static_cast<LONG>((int64_t(pixels) * 2540 + 48) / 96); }

class BitmapPicture final : public IPicture {
 public:
  BitmapPicture(HBITMAP bitmap, HPALETTE palette, LONG width, LONG height)
      : bitmap_(bitmap), palette_(palette), width_(width), height_(height) {}

  // Ownership passes only once the call that made the picture succeeds.
  void TakeOwnership() { own_ = true; }

  STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IPicture) {
      *object = static_cast<IPicture*>(this);
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
      if (own_) DeleteObject(bitmap_);
      delete this;
    }
    return left;
  }

  STDMETHODIMP get_Handle(OLE_HANDLE* handle) override {
    if (!handle) return E_POINTER;
    *handle = static_cast<OLE_HANDLE>(reinterpret_cast<uintptr_t>(bitmap_));
    return S_OK;
  }
  STDMETHODIMP get_hPal(OLE_HANDLE* palette) override {
    if (!palette) return E_POINTER;
    *palette = static_cast<OLE_HANDLE>(reinterpret_cast<uintptr_t>(palette_));
    return S_OK;
  }
  STDMETHODIMP get_Type(SHORT* type) override {
    if (!type) return E_POINTER;
    *type = PICTYPE_BITMAP;
    return S_OK;
  }
  STDMETHODIMP get_Width(OLE_XSIZE_HIMETRIC* width) override {
    if (!width) return E_POINTER;
    *width = Himetric(width_);
    return S_OK;
  }
  STDMETHODIMP get_Height(OLE_YSIZE_HIMETRIC* height) override {
    if (!height) return E_POINTER;
    *height = Himetric(height_);
    return S_OK;
  }
  STDMETHODIMP Render(HDC, LONG, LONG, LONG, LONG, OLE_XPOS_HIMETRIC, OLE_YPOS_HIMETRIC, OLE_XSIZE_HIMETRIC,
                      OLE_YSIZE_HIMETRIC, LPCRECT) override {
    return E_NOTIMPL;
  }
  STDMETHODIMP set_hPal(OLE_HANDLE) override { return E_NOTIMPL; }
  STDMETHODIMP get_CurDC(HDC* dc) override {
    if (dc) *dc = nullptr;
    return E_NOTIMPL;
  }
  STDMETHODIMP SelectPicture(HDC, HDC* dcOut, OLE_HANDLE* bitmapOut) override {
    if (dcOut) *dcOut = nullptr;
    if (bitmapOut) *bitmapOut = 0;
    return E_NOTIMPL;
  }
  STDMETHODIMP get_KeepOriginalFormat(BOOL*) override { return E_NOTIMPL; }
  STDMETHODIMP put_KeepOriginalFormat(BOOL) override { return E_NOTIMPL; }
  STDMETHODIMP PictureChanged() override { return E_NOTIMPL; }
  STDMETHODIMP get_Attributes(DWORD* attributes) override {
    if (!attributes) return E_POINTER;
    *attributes = 0;  // neither scalable nor transparent
    return S_OK;
  }

  STDMETHODIMP SaveAsFile(LPSTREAM stream, BOOL, LONG* size) override {
    if (size) *size = 0;
    if (!stream) return E_POINTER;
    try {
      std::vector<unsigned char> image;
      const HRESULT hr = Encode(&image);
      if (FAILED(hr)) return hr;
      ULONG written = 0;
      const HRESULT wrote = stream->Write(image.data(), static_cast<ULONG>(image.size()), &written);
      if (FAILED(wrote)) return wrote;
      if (written != image.size()) return STG_E_MEDIUMFULL;
      if (size) *size = static_cast<LONG>(written);
      return S_OK;
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    }
  }

 private:
  ~BitmapPicture() = default;

  // The whole BMP file of the bitmap as it is now.
  HRESULT Encode(std::vector<unsigned char>* image) const {
    DIBSECTION ds;
    if (GetObjectW(bitmap_, sizeof ds, &ds) != static_cast<int>(sizeof ds) || !ds.dsBm.bmBits)
      return CTL_E_INVALIDPICTURE;  // deleted since, or not a DIB section
    const unsigned bpp = ds.dsBm.bmBitsPixel;
    const uint64_t width = static_cast<uint64_t>(ds.dsBm.bmWidth);
    const uint64_t height = static_cast<uint64_t>(ds.dsBm.bmHeight);
    const uint64_t stride = static_cast<uint64_t>(ds.dsBm.bmWidthBytes);
    if (stride != (width * bpp + 31) / 32 * 4) return CTL_E_INVALIDPICTURE;

    std::vector<RGBQUAD> colors;
    if (bpp <= 8) {
      colors.resize(size_t(1) << bpp);
      HDC dc = CreateCompatibleDC(nullptr);
      if (!dc) return E_FAIL;
      HGDIOBJ old = SelectObject(dc, bitmap_);
      const UINT n = old ? GetDIBColorTable(dc, 0, static_cast<UINT>(colors.size()), colors.data()) : 0;
      if (old) SelectObject(dc, old);
      DeleteDC(dc);
      if (!old) return E_FAIL;  // selected into another device context
      colors.resize(n);
    }

    const uint64_t pixels = stride * height;
    const uint64_t offset = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER) + colors.size() * sizeof(RGBQUAD);
    const uint64_t total = offset + pixels;
    if (total > 0x7FFFFFFF) return E_OUTOFMEMORY;  // the size is reported as a LONG

    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;  // "BM"
    file.bfSize = static_cast<DWORD>(total);
    file.bfOffBits = static_cast<DWORD>(offset);
    BITMAPINFOHEADER info{};
    info.biSize = sizeof info;
    info.biWidth = ds.dsBm.bmWidth;
    info.biHeight = ds.dsBm.bmHeight;  // bottom-up, whatever order the bitmap keeps
    info.biPlanes = 1;
    info.biBitCount = static_cast<WORD>(bpp);
    info.biCompression = BI_RGB;
    info.biSizeImage = static_cast<DWORD>(pixels);
    info.biXPelsPerMeter = ds.dsBmih.biXPelsPerMeter;
    info.biYPelsPerMeter = ds.dsBmih.biYPelsPerMeter;
    info.biClrUsed = bpp <= 8 && colors.size() < (size_t(1) << bpp) ? static_cast<DWORD>(colors.size()) : 0;

    image->resize(total);
    unsigned char* out = image->data();
    std::memcpy(out, &file, sizeof file);
    std::memcpy(out + sizeof file, &info, sizeof info);
    if (!colors.empty())
      std::memcpy(out + sizeof file + sizeof info, colors.data(), colors.size() * sizeof(RGBQUAD));
    const auto* bits = static_cast<const unsigned char*>(ds.dsBm.bmBits);
    const bool topDown = ds.dsBmih.biHeight < 0;
    for (uint64_t row = 0; row < height; ++row) {
      const uint64_t from = topDown ? height - 1 - row : row;
      std::memcpy(out + offset + row * stride, bits + from * stride, stride);
    }
    return S_OK;
  }

  std::atomic<ULONG> refs_{1};
  HBITMAP bitmap_;
  HPALETTE palette_;
  LONG width_;
  LONG height_;
  bool own_ = false;
};

}  // namespace
}  // namespace stand_in

HRESULT WINAPI OleCreatePictureIndirect(LPPICTDESC desc, REFIID riid, BOOL own, LPVOID* object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (!desc || desc->cbSizeofstruct != sizeof(PICTDESC)) return E_INVALIDARG;
  if (desc->picType != PICTYPE_BITMAP) return E_INVALIDARG;
  BITMAP bm;
  if (GetObjectW(desc->bmp.hbitmap, sizeof bm, &bm) == 0) return E_INVALIDARG;
  auto* picture = new (std::nothrow)
      stand_in::BitmapPicture(desc->bmp.hbitmap, desc->bmp.hpal, bm.bmWidth, bm.bmHeight);
  if (!picture) return E_OUTOFMEMORY;
  const HRESULT hr = picture->QueryInterface(riid, object);
  // Without the interface asked for the picture goes, and the bitmap stays
  // the caller's even when `own` was TRUE.
  if (SUCCEEDED(hr) && own) picture->TakeOwnership();
  picture->Release();
  return hr;
}
