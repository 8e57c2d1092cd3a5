// Bitmaps and memory device contexts. Handles count up and are never given
// out twice, so a handle used after DeleteObject or DeleteDC names nothing
// and the call fails, where reuse could hide the fault.
#include <wingdi.h>
#include <windows.h>

#include "stand_in/module.h"
#include "stand_in/no_throw.h"
#include "stand_in/text.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace stand_in {
namespace {

struct Bitmap {
  bool stock = false;  // the 1-by-1 monochrome bitmap of a fresh memory DC
  BITMAPINFOHEADER header{};
  LONG stride = 0;
  std::vector<RGBQUAD> colors;
  std::vector<unsigned char> bits;
  HDC selectedInto = nullptr;
};

struct Dc {
  HGDIOBJ selected = nullptr;
};

struct Gdi {
  std::mutex mutex;
  uintptr_t next = 0x10000;
  std::map<uintptr_t, Bitmap> bitmaps;
  std::map<uintptr_t, Dc> dcs;
  uintptr_t stock = 0;

  uintptr_t NewHandle() { return next += 4; }
  Bitmap* FindBitmap(const void* handle) {
    auto it = bitmaps.find(reinterpret_cast<uintptr_t>(handle));
    return it == bitmaps.end() ? nullptr : &it->second;
  }
  Dc* FindDc(HDC dc) {
    auto it = dcs.find(reinterpret_cast<uintptr_t>(dc));
    return it == dcs.end() ? nullptr : &it->second;
  }
  // The bitmap of `handle`; null with ERROR_INVALID_HANDLE when there is none.
  Bitmap* KnownBitmap(const void* handle) {
    Bitmap* found = FindBitmap(handle);
    if (!found) SetLastError(ERROR_INVALID_HANDLE);
    return found;
  }
  uintptr_t Stock() {
    if (!stock) {
      stock = NewHandle();
      Bitmap& b = bitmaps[stock];
      b.stock = true;
      b.header.biSize = sizeof(BITMAPINFOHEADER);
      b.header.biWidth = b.header.biHeight = 1;
      b.header.biPlanes = b.header.biBitCount = 1;
      b.stride = 2;  // device bitmaps' rows are word aligned
    }
    return stock;
  }
};

Gdi& State() {
  static Gdi gdi;
  return gdi;
}

uint32_t Dword(const unsigned char* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (uint32_t(p[3]) << 24); }

std::string Describe(HINSTANCE instance, LPCWSTR name) {
  std::string id = IS_INTRESOURCE(name) ? std::to_string(reinterpret_cast<ULONG_PTR>(name)) : ToUtf8(name);
  std::string module = ModulePath(instance);
  return "bitmap resource " + id + " of module " + (module.empty() ? "(unknown)" : module);
}

HANDLE Refuse(HINSTANCE instance, LPCWSTR name, const std::string& what, DWORD error) {
  std::fprintf(stderr, "tessaly: %s refused: %s\n", Describe(instance, name).c_str(), what.c_str());
  SetLastError(error);
  return nullptr;
}

}  // namespace
}  // namespace stand_in

namespace stand_in {
namespace {

HANDLE LoadImage(HINSTANCE instance, LPCWSTR name, UINT type, int cx, int cy, UINT flags) {
  if (type != IMAGE_BITMAP) return Refuse(instance, name, "only bitmaps can be loaded", ERROR_NOT_SUPPORTED);
  if (flags & LR_LOADFROMFILE) return Refuse(instance, name, "loading from a file is not supported", ERROR_NOT_SUPPORTED);
  if (!(flags & LR_CREATEDIBSECTION))
    return Refuse(instance, name, "only DIB sections (LR_CREATEDIBSECTION) are supported", ERROR_NOT_SUPPORTED);
  if (!instance) {
    // The system's own bitmaps, none of which exist here.
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return nullptr;
  }
  HRSRC found = FindResourceW(instance, name, RT_BITMAP);
  if (!found) return nullptr;
  const auto* data = static_cast<const unsigned char*>(LockResource(LoadResource(instance, found)));
  const uint64_t size = SizeofResource(instance, found);
  if (!data) return nullptr;
  if (size < sizeof(BITMAPINFOHEADER)) return Refuse(instance, name, "too short for its header", ERROR_BAD_FORMAT);
  const uint32_t headerSize = Dword(data);
  if (headerSize != 40 && headerSize != 108 && headerSize != 124)
    return Refuse(instance, name, "header of " + std::to_string(headerSize) + " bytes is not supported",
                  ERROR_BAD_FORMAT);
  if (headerSize > size) return Refuse(instance, name, "header runs past the resource", ERROR_BAD_FORMAT);
  BITMAPINFOHEADER header;
  std::memcpy(&header, data, sizeof header);
  if (header.biPlanes != 1) return Refuse(instance, name, "plane count is not 1", ERROR_BAD_FORMAT);
  const unsigned bpp = header.biBitCount;
  if (bpp != 4 && bpp != 8 && bpp != 24 && bpp != 32)
    return Refuse(instance, name, "bit depth " + std::to_string(bpp) + " is not supported", ERROR_NOT_SUPPORTED);
  if (header.biCompression != BI_RGB)
    return Refuse(instance, name, "compression " + std::to_string(header.biCompression) + " is not supported",
                  ERROR_NOT_SUPPORTED);
  if (header.biWidth <= 0 || header.biHeight == 0 || header.biHeight == INT32_MIN)
    return Refuse(instance, name, "bad size", ERROR_BAD_FORMAT);
  const uint64_t width = static_cast<uint64_t>(header.biWidth);
  const uint64_t height = header.biHeight < 0 ? uint64_t(-int64_t(header.biHeight)) : uint64_t(header.biHeight);
  if ((cx != 0 && uint64_t(cx) != width) || (cy != 0 && uint64_t(cy) != height))
    return Refuse(instance, name, "scaling to another size is not supported", ERROR_NOT_SUPPORTED);
  uint64_t colors = header.biClrUsed;
  if (bpp <= 8) {
    if (colors == 0) colors = uint64_t(1) << bpp;
    if (colors > (uint64_t(1) << bpp))
      return Refuse(instance, name, std::to_string(colors) + " colours for " + std::to_string(bpp) + " bits",
                    ERROR_BAD_FORMAT);
  }
  const uint64_t stride = (width * bpp + 31) / 32 * 4;
  const uint64_t tableEnd = headerSize + colors * 4;
  if (tableEnd > size) return Refuse(instance, name, "colour table runs past the resource", ERROR_BAD_FORMAT);
  if (height > (size - tableEnd) / stride)
    return Refuse(instance, name,
                  std::to_string(stride * height) + " bytes of pixels needed, " + std::to_string(size - tableEnd) +
                      " present",
                  ERROR_BAD_FORMAT);
  Bitmap bitmap;
  bitmap.header = header;
  bitmap.header.biSize = sizeof(BITMAPINFOHEADER);
  bitmap.header.biSizeImage = static_cast<DWORD>(stride * height);
  bitmap.stride = static_cast<LONG>(stride);
  if (bpp <= 8) {
    bitmap.colors.resize(colors);
    std::memcpy(bitmap.colors.data(), data + headerSize, colors * 4);
  }
  bitmap.bits.assign(data + tableEnd, data + tableEnd + stride * height);
  Gdi& gdi = State();
  std::lock_guard<std::mutex> lock(gdi.mutex);
  const uintptr_t handle = gdi.NewHandle();
  gdi.bitmaps[handle] = std::move(bitmap);
  return reinterpret_cast<HANDLE>(handle);
}

}  // namespace
}  // namespace stand_in

HANDLE WINAPI LoadImageW(HINSTANCE instance, LPCWSTR name, UINT type, int cx, int cy, UINT flags) {
  return stand_in::Win32NoThrow<HANDLE>(nullptr, ERROR_BAD_FORMAT,
                                        [&] { return stand_in::LoadImage(instance, name, type, cx, cy, flags); });
}

int WINAPI GetObjectW(HANDLE object, int size, LPVOID out) {
  stand_in::Gdi& gdi = stand_in::State();
  std::lock_guard<std::mutex> lock(gdi.mutex);
  stand_in::Bitmap* bitmap = gdi.KnownBitmap(object);
  if (!bitmap) return 0;
  if (!out) return sizeof(BITMAP);
  if (size < static_cast<int>(sizeof(BITMAP))) return 0;
  BITMAP bm{};
  bm.bmType = 0;
  bm.bmWidth = bitmap->header.biWidth;
  bm.bmHeight = bitmap->header.biHeight < 0 ? -bitmap->header.biHeight : bitmap->header.biHeight;
  bm.bmWidthBytes = bitmap->stride;
  bm.bmPlanes = 1;
  bm.bmBitsPixel = bitmap->header.biBitCount;
  bm.bmBits = bitmap->stock ? nullptr : bitmap->bits.data();
  if (!bitmap->stock && size >= static_cast<int>(sizeof(DIBSECTION))) {
    DIBSECTION ds{};
    ds.dsBm = bm;
    ds.dsBmih = bitmap->header;
    std::memcpy(out, &ds, sizeof ds);
    return sizeof(DIBSECTION);
  }
  std::memcpy(out, &bm, sizeof bm);
  return sizeof(BITMAP);
}

BOOL WINAPI DeleteObject(HGDIOBJ object) {
  stand_in::Gdi& gdi = stand_in::State();
  std::lock_guard<std::mutex> lock(gdi.mutex);
  stand_in::Bitmap* bitmap = gdi.KnownBitmap(object);
  if (!bitmap) return FALSE;
  if (bitmap->stock) return TRUE;  // stock objects are never deleted
  if (bitmap->selectedInto) return FALSE;
  gdi.bitmaps.erase(reinterpret_cast<uintptr_t>(object));
  return TRUE;
}

HDC WINAPI CreateCompatibleDC(HDC) {
  return stand_in::Win32NoThrow<HDC>(nullptr, ERROR_INVALID_HANDLE, [] {
    stand_in::Gdi& gdi = stand_in::State();
    std::lock_guard<std::mutex> lock(gdi.mutex);
    const uintptr_t stock = gdi.Stock();
    const uintptr_t handle = gdi.NewHandle();
    gdi.dcs[handle].selected = reinterpret_cast<HGDIOBJ>(stock);
    return reinterpret_cast<HDC>(handle);
  });
}

BOOL WINAPI DeleteDC(HDC dc) {
  stand_in::Gdi& gdi = stand_in::State();
  std::lock_guard<std::mutex> lock(gdi.mutex);
  stand_in::Dc* found = gdi.FindDc(dc);
  if (!found) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (stand_in::Bitmap* bitmap = gdi.FindBitmap(found->selected))
    if (bitmap->selectedInto == dc) bitmap->selectedInto = nullptr;
  gdi.dcs.erase(reinterpret_cast<uintptr_t>(dc));
  return TRUE;
}

HGDIOBJ WINAPI SelectObject(HDC dc, HGDIOBJ object) {
  stand_in::Gdi& gdi = stand_in::State();
  std::lock_guard<std::mutex> lock(gdi.mutex);
  stand_in::Dc* found = gdi.FindDc(dc);
  stand_in::Bitmap* bitmap = gdi.FindBitmap(object);
  if (!found || !bitmap) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  // A bitmap lives in one device context at a time.
  if (!bitmap->stock && bitmap->selectedInto && bitmap->selectedInto != dc) return nullptr;
  HGDIOBJ previous = found->selected;
  if (stand_in::Bitmap* old = gdi.FindBitmap(previous))
    if (old->selectedInto == dc) old->selectedInto = nullptr;
  if (!bitmap->stock) bitmap->selectedInto = dc;
  found->selected = object;
  return previous;
}

UINT WINAPI GetDIBColorTable(HDC dc, UINT start, UINT count, RGBQUAD* colors) {
  stand_in::Gdi& gdi = stand_in::State();
  std::lock_guard<std::mutex> lock(gdi.mutex);
  stand_in::Dc* found = gdi.FindDc(dc);
  stand_in::Bitmap* bitmap = found ? gdi.FindBitmap(found->selected) : nullptr;
  if (!bitmap || !colors || start >= bitmap->colors.size()) return 0;
  const size_t n = std::min<size_t>(count, bitmap->colors.size() - start);
  std::memcpy(colors, bitmap->colors.data() + start, n * sizeof(RGBQUAD));
  return static_cast<UINT>(n);
}
