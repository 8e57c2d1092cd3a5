// A module of its own, carrying the add-in's resources and its own module
// state, for the tests of module state.
#include <afxwin.h>

#define TEST_MODULE_EXPORT extern "C" __attribute__((visibility("default")))

// Dialog 209 in the module's own state.
TEST_MODULE_EXPORT INT_PTR RunDialogInModuleState(UINT id) {
  AFX_MANAGE_STATE(AfxGetStaticModuleState());
  CDialog dialog(id);
  return dialog.DoModal();
}

// The same without switching: the caller's resources are searched.
TEST_MODULE_EXPORT INT_PTR RunDialogInCallerState(UINT id) {
  CDialog dialog(id);
  return dialog.DoModal();
}

TEST_MODULE_EXPORT AFX_MODULE_STATE* ModuleState() { return AfxGetStaticModuleState(); }
