// OLE pictures: IPicture over a bitmap, made from a PICTDESC.
#pragma once

#include <ocidl.h>
#include <objidl.h>
#include <wingdi.h>

typedef UINT OLE_HANDLE;
typedef LONG OLE_XPOS_HIMETRIC;
typedef LONG OLE_YPOS_HIMETRIC;
typedef LONG OLE_XSIZE_HIMETRIC;
typedef LONG OLE_YSIZE_HIMETRIC;

#define PICTYPE_UNINITIALIZED (-1)
#define PICTYPE_NONE 0
#define PICTYPE_BITMAP 1
#define PICTYPE_METAFILE 2
#define PICTYPE_ICON 3
#define PICTYPE_ENHMETAFILE 4

#define CTL_E_INVALIDPICTURE _HRESULT_TYPEDEF_(0x800A01E1L)

// The layout of 64-bit Windows: 24 bytes.
struct PICTDESC {
  UINT cbSizeofstruct;
  UINT picType;
  union {
    struct {
      HBITMAP hbitmap;
      HPALETTE hpal;
    } bmp;
    struct {
      HICON hicon;
    } icon;
  };
};
typedef PICTDESC* LPPICTDESC;

struct IPicture : IUnknown {
  STDMETHOD(get_Handle)(OLE_HANDLE* handle) PURE;
  STDMETHOD(get_hPal)(OLE_HANDLE* palette) PURE;
  STDMETHOD(get_Type)(SHORT* type) PURE;
  STDMETHOD(get_Width)(OLE_XSIZE_HIMETRIC* width) PURE;
  STDMETHOD(get_Height)(OLE_YSIZE_HIMETRIC* height) PURE;
  STDMETHOD(Render)(HDC dc, LONG x, LONG y, LONG cx, LONG cy, OLE_XPOS_HIMETRIC xSrc, OLE_YPOS_HIMETRIC ySrc,
                    OLE_XSIZE_HIMETRIC cxSrc, OLE_YSIZE_HIMETRIC cySrc, LPCRECT bounds) PURE;
  STDMETHOD(set_hPal)(OLE_HANDLE palette) PURE;
  STDMETHOD(get_CurDC)(HDC* dc) PURE;
  STDMETHOD(SelectPicture)(HDC dcIn, HDC* dcOut, OLE_HANDLE* bitmapOut) PURE;
  STDMETHOD(get_KeepOriginalFormat)(BOOL* keep) PURE;
  STDMETHOD(put_KeepOriginalFormat)(BOOL keep) PURE;
  STDMETHOD(PictureChanged)() PURE;
  STDMETHOD(SaveAsFile)(LPSTREAM stream, BOOL saveMemCopy, LONG* size) PURE;
  STDMETHOD(get_Attributes)(DWORD* attributes) PURE;

 protected:
  ~IPicture() = default;
};
typedef IPicture* LPPICTURE;
STAND_IN_INTERFACE_ID(IPicture, "7BF80980-BF32-101A-8BBB-00AA00300CAB");
extern const IID IID_IPicture;

// A picture of `desc`: PICTYPE_BITMAP with a bitmap (a DIB section) and an
// optional palette; E_INVALIDARG for another size of the structure, another
// type or a handle that is no bitmap. With `own` TRUE the picture deletes
// the bitmap when it goes; with FALSE the bitmap stays the caller's, as it
// also does whenever the call fails.
// The picture's width and height are in HIMETRIC at 96 dots per inch;
// SaveAsFile writes the bitmap as a BMP file (file header, info header,
// colour table, rows bottom-up). get_Handle, get_hPal, get_Type, get_Width,
// get_Height and get_Attributes work; the other methods answer E_NOTIMPL.
HRESULT WINAPI OleCreatePictureIndirect(LPPICTDESC desc, REFIID riid, BOOL own, LPVOID* object);
