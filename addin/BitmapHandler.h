// Writes the module's bitmap resources into temporary image files for the
// host's command group, and deletes them all on Dispose.
#pragma once

#include <afx.h>
#include <atlbase.h>
#include <atlcom.h>

#include <list>

#include "Tessaly_i.h"
#include "resource.h"

class ATL_NO_VTABLE CBitmapHandler
    : public CComObjectRootEx<CComSingleThreadModel>,
      public CComCoClass<CBitmapHandler, &CLSID_BitmapHandler>,
      public IDispatchImpl<IBitmapHandler, &IID_IBitmapHandler, &LIBID_MyTessalyLib, 1, 0> {
 public:
  CBitmapHandler() = default;

  DECLARE_REGISTRY_RESOURCEID(IDR_BITMAPHANDLER)
  DECLARE_NOT_AGGREGATABLE(CBitmapHandler)

  BEGIN_COM_MAP(CBitmapHandler)
    COM_INTERFACE_ENTRY(IBitmapHandler)
    COM_INTERFACE_ENTRY(IDispatch)
  END_COM_MAP()

  // IBitmapHandler
  STDMETHOD(CreateBitmapFileFromResource)(ULONG resID, BSTR* retval) override;
  STDMETHOD(Dispose)() override;

 private:
  CString MakeTempBitmapPath();
  BOOL SaveBitmapToFile(HBITMAP bitmap, HPALETTE palette, const CString& path);
  BOOL DeleteTempFiles();

  // Files made and not yet deleted, newest first.
  std::list<CString> m_tempFiles;
};
