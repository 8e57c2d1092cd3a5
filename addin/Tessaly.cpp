// The in-process server: the ATL module with its object map, the MFC
// application object, and the four exports.
#include <afxwin.h>
#include <atlbase.h>
#include <atlcom.h>

#include "BitmapHandler.h"
#include "MyTessaly.h"
#include "Tessaly_i.h"

class CMyTessalyModule : public CAtlDllModuleT<CMyTessalyModule> {
 public:
  DECLARE_LIBID(LIBID_MyTessalyLib)
};

CMyTessalyModule _AtlModule;

// Object map, in this order: registration runs the bitmap handler's script
// before the add-in's.
OBJECT_ENTRY_AUTO(CLSID_BitmapHandler, CBitmapHandler)
OBJECT_ENTRY_AUTO(CLSID_MyTessaly, CMyTessaly)

class CMyTessalyApp : public CWinApp {
 public:
  CMyTessalyApp() : CWinApp(nullptr) {}
  BOOL InitInstance() override;
  int ExitInstance() override;

  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CMyTessalyApp, CWinApp)
END_MESSAGE_MAP()

BOOL CMyTessalyApp::InitInstance() { return CWinApp::InitInstance(); }

int CMyTessalyApp::ExitInstance() { return CWinApp::ExitInstance(); }

CMyTessalyApp theApp;

STDAPI DllCanUnloadNow() {
  AFX_MANAGE_STATE(AfxGetStaticModuleState());
  return (AfxDllCanUnloadNow() == S_OK && _AtlModule.GetLockCount() == 0) ? S_OK : S_FALSE;
}

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
  return _AtlModule.DllGetClassObject(rclsid, riid, ppv);
}

STDAPI DllRegisterServer() { return _AtlModule.DllRegisterServer(); }

STDAPI DllUnregisterServer() { return _AtlModule.DllUnregisterServer(); }
