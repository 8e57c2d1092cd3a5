// Module state, the application object and the message map roots.
#include <afxwin.h>

#include "stand_in/module.h"

namespace {

// The process's state: the executable's, until the executable's own state
// (when it links the per-module part) takes its place.
AFX_MODULE_STATE* ProcessState(AFX_MODULE_STATE* replace = nullptr) {
  static AFX_MODULE_STATE fallback = [] {
    AFX_MODULE_STATE s;
    s.m_hCurrentInstanceHandle = s.m_hCurrentResourceHandle = stand_in::ExecutableModule();
    return s;
  }();
  static AFX_MODULE_STATE* current = &fallback;
  if (replace) current = replace;
  return current;
}

thread_local AFX_MODULE_STATE* t_state = nullptr;

}  // namespace

namespace stand_in {
namespace mfc {
// Called by each module's own state when it is first made: the executable's
// becomes the process's. True for the executable's.
bool RegisterModuleState(AFX_MODULE_STATE* state) {
  if (!state || state->m_hCurrentInstanceHandle != stand_in::ExecutableModule()) return false;
  ProcessState(state);
  return true;
}
}  // namespace mfc
}  // namespace stand_in

AFX_MODULE_STATE* AFXAPI AfxGetModuleState() { return t_state ? t_state : ProcessState(); }

AFX_MODULE_STATE* AFXAPI AfxSetModuleState(AFX_MODULE_STATE* state) {
  AFX_MODULE_STATE* previous = t_state;
  t_state = state;
  return previous;
}

HINSTANCE AFXAPI AfxGetInstanceHandle() { return AfxGetModuleState()->m_hCurrentInstanceHandle; }
HINSTANCE AFXAPI AfxGetResourceHandle() { return AfxGetModuleState()->m_hCurrentResourceHandle; }
void AFXAPI AfxSetResourceHandle(HINSTANCE resource) { AfxGetModuleState()->m_hCurrentResourceHandle = resource; }
CWinApp* AFXAPI AfxGetApp() { return AfxGetModuleState()->m_pCurrentWinApp; }

HRESULT AFXAPI AfxDllCanUnloadNow() { return AfxGetModuleState()->m_nObjectCount == 0 ? S_OK : S_FALSE; }

CWnd* AFXAPI AfxGetMainWnd() {
  CWinApp* app = AfxGetApp();
  return app ? app->m_pMainWnd : nullptr;
}

// --- Message maps ---------------------------------------------------------------

const AFX_MSGMAP* PASCAL CCmdTarget::GetThisMessageMap() {
  static const AFX_MSGMAP_ENTRY entries[] = {{0, 0, 0, 0, 0, nullptr}};
  static const AFX_MSGMAP map = {nullptr, &entries[0]};
  return &map;
}
const AFX_MSGMAP* CCmdTarget::GetMessageMap() const { return GetThisMessageMap(); }

// --- Application ----------------------------------------------------------------

CWinApp::CWinApp(LPCWSTR lpszAppName, AFX_MODULE_STATE* state) : m_pszAppName(lpszAppName), m_pModuleState(state) {
  if (state) {
    state->m_pCurrentWinApp = this;
    state->m_lpszCurrentAppName = lpszAppName;
    m_hInstance = state->m_hCurrentInstanceHandle;
  }
}

CWinApp::~CWinApp() {
  if (m_pModuleState && m_pModuleState->m_pCurrentWinApp == this) {
    m_pModuleState->m_pCurrentWinApp = nullptr;
    m_pModuleState->m_lpszCurrentAppName = nullptr;
  }
}

BOOL CWinApp::InitInstance() { return TRUE; }
int CWinApp::ExitInstance() { return 0; }

const AFX_MSGMAP* PASCAL CWinApp::GetThisMessageMap() {
  static const AFX_MSGMAP_ENTRY entries[] = {{0, 0, 0, 0, 0, nullptr}};
  static const AFX_MSGMAP map = {&CWinThread::GetThisMessageMap, &entries[0]};
  return &map;
}
const AFX_MSGMAP* CWinApp::GetMessageMap() const { return GetThisMessageMap(); }
