// MFC subset: command targets and message maps, window objects, the
// application object and module state, dialogs and dialog data exchange.
#pragma once

#include <afx.h>
#include <libloaderapi.h>
#include <winuser.h>

namespace stand_in {
namespace ui {
class Dialog;
}
}  // namespace stand_in

// Symbols of the per-module part (library mfcmodule): one copy in every
// module, seen only inside it.
#define AFX_MODULE_LOCAL __attribute__((visibility("hidden")))

// --- Message maps ------------------------------------------------------------------

class CCmdTarget;
typedef void (CCmdTarget::*AFX_PMSG)();

struct AFX_MSGMAP_ENTRY {
  UINT nMessage;
  UINT nCode;
  UINT nID;
  UINT nLastID;
  UINT_PTR nSig;
  AFX_PMSG pfn;
};

struct AFX_MSGMAP {
  const AFX_MSGMAP* (*pfnGetBaseMap)();
  const AFX_MSGMAP_ENTRY* lpEntries;
};

#define DECLARE_MESSAGE_MAP()                         \
 protected:                                           \
  static const AFX_MSGMAP* PASCAL GetThisMessageMap(); \
  const AFX_MSGMAP* GetMessageMap() const override;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                         \
  const AFX_MSGMAP* theClass::GetMessageMap() const { return GetThisMessageMap(); }    \
  const AFX_MSGMAP* PASCAL theClass::GetThisMessageMap() {                             \
    typedef theClass ThisClass;                                                        \
    typedef baseClass TheBaseClass;                                                    \
    (void)sizeof(ThisClass*);                                                          \
    static const AFX_MSGMAP_ENTRY _messageEntries[] = {
#define END_MESSAGE_MAP()                                                    \
  {0, 0, 0, 0, 0, nullptr}                                                   \
  }                                                                          \
  ;                                                                          \
  static const AFX_MSGMAP messageMap = {&TheBaseClass::GetThisMessageMap, &_messageEntries[0]}; \
  return &messageMap;                                                        \
  }

class CCmdTarget {
 public:
  CCmdTarget() = default;
  virtual ~CCmdTarget() = default;
  CCmdTarget(const CCmdTarget&) = delete;
  CCmdTarget& operator=(const CCmdTarget&) = delete;

 protected:
  static const AFX_MSGMAP* PASCAL GetThisMessageMap();
  virtual const AFX_MSGMAP* GetMessageMap() const;
};

// --- Windows -------------------------------------------------------------------------

class CDataExchange;

class CWnd : public CCmdTarget {
 public:
  CWnd() = default;
  ~CWnd() override = default;

  // The window object of a handle: one per handle, owned by the framework;
  // null for a null handle.
  static CWnd* PASCAL FromHandle(HWND hwnd);
  // Drops the objects FromHandle made (the framework does it when idle).
  static void PASCAL DeleteTempMap();

  HWND GetSafeHwnd() const { return m_hWnd; }
  operator HWND() const { return GetSafeHwnd(); }

  // Runs DoDataExchange: controls to members (TRUE) or members to controls
  // (FALSE). FALSE when an exchange failed.
  BOOL UpdateData(BOOL bSaveAndValidate = TRUE);

  HWND m_hWnd = nullptr;

 protected:
  virtual void DoDataExchange(CDataExchange* pDX);

 private:
  friend class CDataExchange;
  friend class CDialog;
  // The controls of the window while it exists (a running dialog).
  stand_in::ui::Dialog* m_pControls = nullptr;
};

// --- Application and module state ---------------------------------------------------

class CWinApp;

// What the framework keeps per module: its instance, where its resources
// are found, its application object.
struct AFX_MODULE_STATE {
  HINSTANCE m_hCurrentInstanceHandle = nullptr;
  HINSTANCE m_hCurrentResourceHandle = nullptr;
  LPCWSTR m_lpszCurrentAppName = nullptr;
  CWinApp* m_pCurrentWinApp = nullptr;
  BOOL m_bDLL = FALSE;
  LONG m_nObjectCount = 0;  // the module's live framework COM objects
};

// The calling thread's current module state: the one set by AFX_MANAGE_STATE,
// else the process's (the executable's).
AFX_MODULE_STATE* AFXAPI AfxGetModuleState();
// Makes `state` the calling thread's current one (null: the process's) and
// returns the one it replaces, null when that was the process's.
AFX_MODULE_STATE* AFXAPI AfxSetModuleState(AFX_MODULE_STATE* state);
// The calling module's own state (library mfcmodule, in every module).
AFX_MODULE_LOCAL AFX_MODULE_STATE* AFXAPI AfxGetStaticModuleState();

HINSTANCE AFXAPI AfxGetInstanceHandle();
HINSTANCE AFXAPI AfxGetResourceHandle();
void AFXAPI AfxSetResourceHandle(HINSTANCE resource);
CWinApp* AFXAPI AfxGetApp();
CWnd* AFXAPI AfxGetMainWnd();

// S_OK when the current module has no live framework COM objects, else
// S_FALSE.
HRESULT AFXAPI AfxDllCanUnloadNow();

// Switches the thread's module state for the rest of the scope.
struct AFX_MAINTAIN_STATE2 {
  explicit AFX_MAINTAIN_STATE2(AFX_MODULE_STATE* state) : m_pPrevModuleState(AfxSetModuleState(state)) {}
  ~AFX_MAINTAIN_STATE2() { AfxSetModuleState(m_pPrevModuleState); }
  AFX_MAINTAIN_STATE2(const AFX_MAINTAIN_STATE2&) = delete;
  AFX_MAINTAIN_STATE2& operator=(const AFX_MAINTAIN_STATE2&) = delete;

 private:
  AFX_MODULE_STATE* m_pPrevModuleState;
};
#define AFX_MANAGE_STATE(p) AFX_MAINTAIN_STATE2 _ctlState(p)

class CWinThread : public CCmdTarget {
 public:
  CWnd* m_pMainWnd = nullptr;
};

class CWinApp : public CWinThread {
 public:
  // Joins the module state of the module that defines the object.
  AFX_MODULE_LOCAL explicit CWinApp(LPCWSTR lpszAppName = nullptr) : CWinApp(lpszAppName, AfxGetStaticModuleState()) {}
  ~CWinApp() override;

  virtual BOOL InitInstance();  // TRUE
  virtual int ExitInstance();   // 0

  LPCWSTR m_pszAppName = nullptr;
  HINSTANCE m_hInstance = nullptr;

 protected:
  static const AFX_MSGMAP* PASCAL GetThisMessageMap();
  const AFX_MSGMAP* GetMessageMap() const override;

 private:
  CWinApp(LPCWSTR lpszAppName, AFX_MODULE_STATE* state);
  AFX_MODULE_STATE* m_pModuleState;
};

// The entry of a regular DLL (library mfcmodule): on attach the module's
// instance is recorded and its application initialised (InitInstance FALSE:
// ExitInstance, and the load fails); on detach ExitInstance.
extern "C" __attribute__((visibility("default"))) BOOL WINAPI DllMain(HINSTANCE hInstance, DWORD dwReason, LPVOID lpReserved);

// --- Dialogs ---------------------------------------------------------------------------

// A failed exchange: UpdateData answers FALSE.
class CUserException {};

class CDataExchange {
 public:
  CDataExchange(CWnd* pDlgWnd, BOOL bSaveAndValidate) : m_bSaveAndValidate(bSaveAndValidate), m_pDlgWnd(pDlgWnd) {}

  // Ends the exchange as failed.
  [[noreturn]] void Fail();

  BOOL m_bSaveAndValidate;
  CWnd* m_pDlgWnd;
  UINT m_idLastControl = 0;

 private:
  friend void AFXAPI DDX_Radio(CDataExchange*, int, int&);
  friend void AFXAPI DDX_Check(CDataExchange*, int, int&);
  friend void AFXAPI DDX_CBIndex(CDataExchange*, int, int&);
  // The dialog's controls and the index of control `nIDC` among them; a
  // missing control fails the exchange.
  stand_in::ui::Dialog* Controls(int nIDC, int* index, const char* exchange);
};

// Radio group beginning at nIDC and ending before the next control with
// WS_GROUP: the index of the checked button among its radio buttons, -1 for
// none; a value outside the group checks none.
void AFXAPI DDX_Radio(CDataExchange* pDX, int nIDC, int& value);
// Check box state: 0, 1 (or 2 for a three-state box).
void AFXAPI DDX_Check(CDataExchange* pDX, int nIDC, int& value);
// Selected entry of a combo box, -1 for none; an index outside the list
// selects none.
void AFXAPI DDX_CBIndex(CDataExchange* pDX, int nIDC, int& index);

class CDialog : public CWnd {
 public:
  CDialog() = default;
  explicit CDialog(UINT nIDTemplate, CWnd* pParentWnd = nullptr);
  explicit CDialog(LPCWSTR lpszTemplateName, CWnd* pParentWnd = nullptr);
  ~CDialog() override;

  // Runs the dialog of the template in the current module's resources until
  // it ends; its end code (IDOK, IDCANCEL, ...), -1 when it could not be made.
  virtual INT_PTR DoModal();
  void EndDialog(int nResult);

  // Fills the lists from the dialog initialisation data, then the controls
  // from the members. TRUE.
  virtual BOOL OnInitDialog();

 protected:
  virtual void OnOK();      // UpdateData(TRUE), then EndDialog(IDOK)
  virtual void OnCancel();  // EndDialog(IDCANCEL)

  static const AFX_MSGMAP* PASCAL GetThisMessageMap();
  const AFX_MSGMAP* GetMessageMap() const override;

  UINT m_nIDHelp = 0;
  LPCWSTR m_lpszTemplateName = nullptr;
  CWnd* m_pParentWnd = nullptr;

 private:
  class Window;
  friend class Window;
  BOOL ExecuteDlgInit();
  std::wstring TemplateText() const;
  std::wstring m_templateName;  // a named template's name
  // The template's initialisation data while the dialog runs.
  const void* m_pDlgInit = nullptr;
  size_t m_nDlgInitSize = 0;
};
