// Windows graphics subset: device-independent bitmaps loaded from a module's
// resources (DIB sections), their description, memory device contexts for
// reading a bitmap's colour table, and the BMP file header.
#pragma once

#include <windows.h>

DECLARE_HANDLE(HDC);
DECLARE_HANDLE(HPALETTE);
typedef void* HGDIOBJ;

struct RGBQUAD {
  BYTE rgbBlue;
  BYTE rgbGreen;
  BYTE rgbRed;
  BYTE rgbReserved;
};

struct BITMAPINFOHEADER {
  DWORD biSize;
  LONG biWidth;
  LONG biHeight;  // negative: the first row is the top one
  WORD biPlanes;
  WORD biBitCount;
  DWORD biCompression;
  DWORD biSizeImage;
  LONG biXPelsPerMeter;
  LONG biYPelsPerMeter;
  DWORD biClrUsed;
  DWORD biClrImportant;
};
typedef BITMAPINFOHEADER* LPBITMAPINFOHEADER;

struct BITMAPINFO {
  BITMAPINFOHEADER bmiHeader;
  RGBQUAD bmiColors[1];
};

#pragma pack(push, 2)
struct BITMAPFILEHEADER {
  WORD bfType;  // "BM"
  DWORD bfSize;
  WORD bfReserved1;
  WORD bfReserved2;
  DWORD bfOffBits;
};
#pragma pack(pop)

struct BITMAP {
  LONG bmType;
  LONG bmWidth;
  LONG bmHeight;
  LONG bmWidthBytes;
  WORD bmPlanes;
  WORD bmBitsPixel;
  LPVOID bmBits;
};

struct DIBSECTION {
  BITMAP dsBm;
  BITMAPINFOHEADER dsBmih;
  DWORD dsBitfields[3];
  HANDLE dshSection;
  DWORD dsOffset;
};

#define BI_RGB 0L
#define BI_RLE8 1L
#define BI_RLE4 2L
#define BI_BITFIELDS 3L
#define DIB_RGB_COLORS 0

// LoadImageW.
#define IMAGE_BITMAP 0
#define IMAGE_ICON 1
#define IMAGE_CURSOR 2
#define LR_DEFAULTCOLOR 0x00000000
#define LR_LOADFROMFILE 0x00000010
#define LR_DEFAULTSIZE 0x00000040
#define LR_CREATEDIBSECTION 0x00002000
#define LR_SHARED 0x00008000

// IMAGE_BITMAP from `instance`'s RT_BITMAP resource `name` (a packed DIB: the
// info header, its colour table, the pixels), as a DIB section of the
// resource's own size and bit depth: width and height 0 (or the bitmap's
// own), LR_CREATEDIBSECTION. Bit depths 4 and 8 (with a colour table), 24
// and 32, uncompressed; others are refused with a message. A null instance
// names the system's own bitmaps, of which there are none here.
HANDLE WINAPI LoadImageW(HINSTANCE instance, LPCWSTR name, UINT type, int cx, int cy, UINT flags);

// With a bitmap: a DIBSECTION when `size` holds one, else a BITMAP; null
// `out` gives the size of a BITMAP. 0 for a handle that is no object.
int WINAPI GetObjectW(HANDLE object, int size, LPVOID out);
// FALSE for a handle that is no object (deleted already, say) or an object
// selected into a device context.
BOOL WINAPI DeleteObject(HGDIOBJ object);

// Memory device contexts: one bitmap selected at a time.
HDC WINAPI CreateCompatibleDC(HDC dc);
BOOL WINAPI DeleteDC(HDC dc);
HGDIOBJ WINAPI SelectObject(HDC dc, HGDIOBJ object);
// Entries of the colour table of the DIB section selected into `dc`; 0 when
// it has none.
UINT WINAPI GetDIBColorTable(HDC dc, UINT start, UINT count, RGBQUAD* colors);
