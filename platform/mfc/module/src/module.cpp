// This module's own state and its DLL entry. Linked into every module with
// hidden symbols, so that each finds its own.
#include <afxwin.h>

#include <dlfcn.h>

#include <cstdio>
#include <exception>

namespace stand_in {
namespace mfc {
bool RegisterModuleState(AFX_MODULE_STATE* state);
}
}  // namespace stand_in

namespace {

// The module this code is linked into: the base address of the object that
// holds it.
HINSTANCE ThisModule() {
  static const char marker = 0;
  Dl_info info{};
  if (!dladdr(&marker, &info) || !info.dli_fbase) return nullptr;
  return static_cast<HINSTANCE>(info.dli_fbase);
}

AFX_MODULE_STATE& OwnState() {
  static AFX_MODULE_STATE state = [] {
    AFX_MODULE_STATE s;
    s.m_hCurrentInstanceHandle = s.m_hCurrentResourceHandle = ThisModule();
    return s;
  }();
  static const bool registered = [] {
    state.m_bDLL = stand_in::mfc::RegisterModuleState(&state) ? FALSE : TRUE;
    return true;
  }();
  (void)registered;
  return state;
}

// The executable's state becomes the process's as the program starts.
const bool g_made = (OwnState(), true);

}  // namespace

AFX_MODULE_STATE* AFXAPI AfxGetStaticModuleState() { return &OwnState(); }

extern "C" BOOL WINAPI DllMain(HINSTANCE hInstance, DWORD dwReason, LPVOID) {
  AFX_MODULE_STATE* state = &OwnState();
  AFX_MANAGE_STATE(state);
  try {
    CWinApp* app = state->m_pCurrentWinApp;
    if (dwReason == DLL_PROCESS_ATTACH) {
      if (hInstance) state->m_hCurrentInstanceHandle = state->m_hCurrentResourceHandle = hInstance;
      if (app) {
        app->m_hInstance = state->m_hCurrentInstanceHandle;
        if (!app->InitInstance()) {
          app->ExitInstance();
          return FALSE;
        }
      }
    } else if (dwReason == DLL_PROCESS_DETACH) {
      if (app) app->ExitInstance();
    }
    return TRUE;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "DllMain: %s\n", e.what());
  } catch (...) {
    std::fprintf(stderr, "DllMain: failed\n");
  }
  return FALSE;
}
