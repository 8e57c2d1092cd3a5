// The add-in object the host creates and connects to: its command group,
// tabs and Open-dialog entry, the callbacks the host calls by name, and the
// sink of the host application's events.
#pragma once

#include <atlbase.h>
#include <atlcom.h>

#include <HostApi.h>

#include "Tessaly_i.h"
#include "resource.h"

class ATL_NO_VTABLE CMyTessaly
    : public CComObjectRootEx<CComSingleThreadModel>,
      public CComCoClass<CMyTessaly, &CLSID_MyTessaly>,
      public IDispatchImpl<IMyTessaly, &IID_IMyTessaly, &LIBID_MyTessalyLib, 1, 0>,
      public SWPublished::ISwAddin,
      public IDispEventImpl<0, CMyTessaly, &DIID_IHostApplicationEvents, &SldWorks::LIBID_SldWorks, 14, 0> {
 public:
  typedef IDispEventImpl<0, CMyTessaly, &DIID_IHostApplicationEvents, &SldWorks::LIBID_SldWorks, 14, 0>
      HostEventsSink;

  CMyTessaly();

  DECLARE_REGISTRY_RESOURCEID(IDR_MYTESSALY)
  DECLARE_NOT_AGGREGATABLE(CMyTessaly)

  BEGIN_COM_MAP(CMyTessaly)
    COM_INTERFACE_ENTRY(IMyTessaly)
    COM_INTERFACE_ENTRY(IDispatch)
    COM_INTERFACE_ENTRY(SWPublished::ISwAddin)
  END_COM_MAP()

  BEGIN_SINK_MAP(CMyTessaly)
    SINK_ENTRY_EX(0, DIID_IHostApplicationEvents, 4, OnHostEvent4)
    SINK_ENTRY_EX(0, DIID_IHostApplicationEvents, 11, OnHostEvent11)
    SINK_ENTRY_EX(0, DIID_IHostApplicationEvents, 12, OnHostEvent12)
    SINK_ENTRY_EX(0, DIID_IHostApplicationEvents, 5, OnHostEvent5)
  END_SINK_MAP()

  // IMyTessaly
  STDMETHOD(ToolbarCallback0)() override;
  STDMETHOD(ToolbarEnable0)(LONG* status) override;
  STDMETHOD(CTessaly_Import)() override;
  STDMETHOD(CTessaly_Help)() override;
  STDMETHOD(CTessaly_About)() override;
  STDMETHOD(CMyTessaly_Open)(BSTR fileName) override;

  // The host's events; the host's type library describes their arguments.
  virtual HRESULT STDMETHODCALLTYPE OnHostEvent4(BSTR path);
  virtual HRESULT STDMETHODCALLTYPE OnHostEvent5();
  virtual HRESULT STDMETHODCALLTYPE OnHostEvent11();
  virtual HRESULT STDMETHODCALLTYPE OnHostEvent12(IDispatch* document, LONG type);

  // SWPublished::ISwAddin
  STDMETHOD(ConnectToSW)(IDispatch* ThisSW, LONG Cookie, VARIANT_BOOL* IsConnected) override;
  STDMETHOD(DisconnectFromSW)(VARIANT_BOOL* IsDisconnected) override;

 private:
  // The major version of the host type library the events are read with:
  // the running host's major revision when it is 14 or more, else 0.
  int HostTypeLibMajor() const;
  void SetUpCommandUI();
  void TearDownCommandUI();
  // What DisconnectFromSW does: takes down the command group, the Open entry
  // and the sink and lets go of the host; whether the sink was unadvised
  // with S_OK.
  VARIANT_BOOL Disconnect();
  VARIANT_BOOL AdviseHostEvents();
  VARIANT_BOOL UnadviseHostEvents();
  CComPtr<IHostApplication> GetHostApp() const;

  CComPtr<IHostApplication> m_hostApp;
  CComPtr<IHostCommandManager> m_commandManager;
  LONG m_addinCookie;
  LONG m_hostMajor;
};
