#include "Commands.h"

#include <afxdlgs.h>

#include "HostUtils.h"
#include "Ombra3DS.h"
#include "TessalyOptionsDlg.h"
#include "VLMGUI.h"
#include "VLMSWON.h"

#include <shellapi.h>

#include <new>

wchar_t caption[256] = L"";

namespace {

const int kVersionMajor = 1;
const int kVersionMinor = 0;

void Warn(IHostApplication* host, const wchar_t* text) {
  MessageBoxW(GetMainHwnd(host), text, caption, MB_ICONWARNING);
}

// The five confirmed options, as the dialog leaves them.
struct ImportOptions {
  int units, importAs, multiBody, yUp, showProgress;
};

// Runs the options dialog in the add-in's own module state, so that its
// template and units list come from the add-in's resources. The dialog's
// DoModal result: IDOK, IDCANCEL, or -1 when it could not be shown.
INT_PTR RunOptionsDialog(ImportOptions* options) {
  AFX_MANAGE_STATE(AfxGetStaticModuleState());
  CTessalyOptionsDlg dlg(nullptr);
  const INT_PTR result = dlg.DoModal();
  if (result != IDCANCEL && result != -1) {
    options->units = dlg.m_units;
    options->importAs = dlg.m_importAs;
    options->multiBody = dlg.m_multiBody;
    options->yUp = dlg.m_yUp;
    options->showProgress = dlg.m_showProgress;
  }
  return result;
}

const wchar_t kDialogFailed[] = L"Unable to show the import options dialog";

int ImportFileUnguarded(IHostApplication* host, CString& path) {
  CWnd* mainWnd = GetMainWnd(host);

  if (!path.IsEmpty()) {
    CString lower = path;
    lower.MakeLower();
    const int at = lower.Find(L".3ds");
    if (at < 0) {
      Warn(host, L"Please specify a file name with a .3ds extension");
      return 0;
    }
    path = path.Left(at + 4);
  } else {
    CFileDialog fileDialog(TRUE, L"3ds", nullptr, OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT,
                           L"3D Studio 3DS Files (*.3ds)|*.3ds||", mainWnd, 0, TRUE);
    if (fileDialog.DoModal() == IDCANCEL) return 0;
    path = fileDialog.GetPathName();
  }

  ImportOptions options{};
  const INT_PTR shown = RunOptionsDialog(&options);
  if (shown == IDCANCEL) return 0;
  // A dialog that never showed confirmed nothing: its construction values
  // are no choice of the user's.
  if (shown == -1) {
    Warn(host, kDialogFailed);
    return 0;
  }

  ON_ClassArray<ON_Mesh> meshes;
  if (!Ombra3DS::_3DSToMesh(path, meshes)) {
    Warn(host, Ombra3DS::GetError());
    return 0;
  }
  if (meshes.Count() == 0) {
    Warn(host, L"3DS file does not contain meshes");
    return 0;
  }
  if (options.yUp == 1) {
    // The file's +Z becomes the part's +Y: (x, y, z) turns into (x, z, -y).
    for (int i = 0; i < meshes.Count(); ++i) meshes[i].Rotate(-1.5707963267948966, ON_xaxis, ON_origin);
  }
  if (!VLMSWON::CreatePartFromMeshes(host, meshes, options.units, options.importAs, options.multiBody,
                                     options.showProgress)) {
    Warn(host, VLMSWON::GetError());
    return 0;
  }
  return 1;
}

}  // namespace

void BuildCaption(IHostApplication* host) {
  const int index = GetHostVersionIndex(host);
  swprintf_s(caption, sizeof(caption) / sizeof(caption[0]), L"%s %s version %d.%d", L"Tessaly for",
             static_cast<const wchar_t*>(g_hostVersionNames[index]), kVersionMajor, kVersionMinor);
}

int ImportFile(IHostApplication* host, CString path) {
  // The host calls this from a command callback: running out of memory
  // anywhere on the road ends the import with a box, never with an exception.
  try {
    return ImportFileUnguarded(host, path);
  } catch (const std::bad_alloc&) {
    try {
      Warn(host, L"Not enough memory to import the 3DS file");
    } catch (...) {
    }
    return 0;
  }
}

void ShowHelp(IHostApplication* host) {
  BuildCaption(host);

  const wchar_t* const failed = L"Error displaying Tessaly for SolidWorks help file.";
  wchar_t modulePath[MAX_PATH];
  HMODULE module = GetModuleHandleW(L"Tessaly.dll");
  // A path cut to the buffer may name another folder: no folder is known then.
  const DWORD length = GetModuleFileNameW(module, modulePath, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) {
    Warn(host, failed);
    return;
  }

  // The folder gets a buffer that holds any path that fit above, so that a
  // folder of _MAX_DIR characters or more is split, not refused.
  wchar_t drive[_MAX_DRIVE], dir[MAX_PATH];
  if (_wsplitpath_s(modulePath, drive, _MAX_DRIVE, dir, MAX_PATH, nullptr, 0, nullptr, 0) != 0) {
    Warn(host, failed);
    return;
  }
  wchar_t helpPath[MAX_PATH + 16];
  swprintf_s(helpPath, sizeof(helpPath) / sizeof(helpPath[0]), L"%s%sTessaly.chm", drive, dir);

  HINSTANCE result = ShellExecuteW(nullptr, L"open", helpPath, L"", nullptr, SW_SHOW);
  if (reinterpret_cast<UINT_PTR>(result) <= 32) Warn(host, failed);
}

void ShowAbout(IHostApplication* host) {
  BuildCaption(host);
  VLMGUIUtils::About(CString(caption), nullptr);
}

BOOL AskImportOptions(int* unitsCode, int* importMode, int* multiBody, int* yUp, int* showProgress) {
  AFX_MANAGE_STATE(AfxGetStaticModuleState());
  ImportOptions options{};
  const INT_PTR result = RunOptionsDialog(&options);
  if (result == IDCANCEL || result == -1) return FALSE;
  *unitsCode = options.units;
  *importMode = options.importAs;
  *multiBody = options.multiBody;
  *yUp = options.yUp;
  *showProgress = options.showProgress;
  return TRUE;
}
