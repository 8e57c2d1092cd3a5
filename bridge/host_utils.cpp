#include "HostUtils.h"

#include <atlbase.h>

const CString g_hostVersionNames[15] = {
    L"SolidWorks ????", L"SolidWorks 2000", L"SolidWorks 2001", L"SolidWorks 2001 Plus", L"SolidWorks 2003",
    L"SolidWorks 2004", L"SolidWorks 2005", L"SolidWorks 2006", L"SolidWorks 2007", L"SolidWorks 2008",
    L"SolidWorks 2009", L"SolidWorks 2010", L"SolidWorks 2011", L"SolidWorks 2012", L"SolidWorks 2013",
};

static CString s_hostUtilError;

namespace {

const int kVersionCount = sizeof(g_hostVersionNames) / sizeof(g_hostVersionNames[0]);

const wchar_t kNoActiveModel[] = L"Unable to retrieve active model";
const wchar_t kSaveFailed[] = L"Unable to extract solid data";
const wchar_t kLoadFailed[] = L"Unable to load DXF file\n";
const wchar_t kNoDxfFound[] = L"Unable to read 2D data\n";

// The host's main window handle as it passes it: a 32-bit integer.
bool MainWindowHandle(IHostApplication* host, LONG* handle) {
  if (!host) return false;
  CComPtr<IHostFrame> frame;
  if (host->Frame(&frame) != S_OK || !frame) return false;
  return frame->MainWindowHandle(handle) == S_OK;
}

HWND ToHwnd(LONG handle) {
  // Window handles are 32-bit values sign-extended to pointer width.
  return reinterpret_cast<HWND>(static_cast<LONG_PTR>(handle));
}

// Whether the directory and base name of `path` fit the split's buffers,
// measured as the split cuts them: a part that does not fit reaches the
// CRT's invalid-parameter handler, which ends the host.
bool FitsSplitBuffers(const wchar_t* path) {
  const size_t n = wcslen(path);
  const bool letter = (path[0] >= L'A' && path[0] <= L'Z') || (path[0] >= L'a' && path[0] <= L'z');
  const size_t start = n >= 2 && letter && path[1] == L':' ? 2 : 0;
  size_t dirEnd = start;
  for (size_t i = start; i < n; ++i)
    if (path[i] == L'\\' || path[i] == L'/') dirEnd = i + 1;
  size_t dot = n;
  for (size_t i = dirEnd; i < n; ++i)
    if (path[i] == L'.') dot = i;
  return dirEnd - start < _MAX_DIR && dot - dirEnd < _MAX_FNAME;
}

bool LoadOne(IHostApplication* host, const CString& path) {
  CComBSTR file(path);
  CComBSTR arguments(L"");
  LONG status = 0;
  return host->LoadFile(file, arguments, &status) == S_OK;
}

}  // namespace

int GetHostVersionIndex(IHostApplication* host) {
  if (!host) return 0;
  CComBSTR revision;
  host->RevisionNumber(&revision);
  const CString text(revision.m_str);
  // Without a "." there is no major revision, not the whole text.
  const int dot = text.Find(L'.');
  const CString part = dot < 0 ? CString() : text.Left(dot);
  const int major = _wtoi(part);
  return major >= 16 && major <= 21 ? major - 7 : 0;
}

int CheckHostVersion(IHostApplication* host, int required) {
  if (required == GetHostVersionIndex(host)) return 1;
  // An index outside the table names the unknown release rather than reading past it.
  const CString& name = g_hostVersionNames[required >= 0 && required < kVersionCount ? required : 0];
  CString text;
  text.Format(L"This add-in is designed to work with %s only", name.GetString());
  MessageBoxW(NULL, text, L"Incompatible SolidWorks Version", MB_ICONWARNING);
  return 0;
}

HWND GetMainHwnd(IHostApplication* host) {
  LONG handle = 0;
  return MainWindowHandle(host, &handle) ? ToHwnd(handle) : NULL;
}

CWnd* GetMainWnd(IHostApplication* host) {
  LONG handle = 0;
  if (!MainWindowHandle(host, &handle) || handle == 0) return NULL;
  return CWnd::FromHandle(ToHwnd(handle));
}

HWND GetActivePopupWindow() {
  HWND active = GetActiveWindow();
  return active ? GetLastActivePopup(active) : NULL;
}

int SaveActiveModel(IHostApplication* host, CString path) {
  CComPtr<IHostDocument> document;
  if (host) host->ActiveDocument(&document);
  if (!document) {
    s_hostUtilError = kNoActiveModel;
    return 0;
  }
  CComBSTR file(path);
  LONG code = -1;  // a host that reports no code has not saved
  const HRESULT hr = document->SaveToPath(file, 0, VARIANT_TRUE, VARIANT_TRUE, &code);
  if (hr == S_OK && code == 0) return 1;
  s_hostUtilError = kSaveFailed;
  return 0;
}

int LoadDxf(IHostApplication* host, const CString& path) {
  if (host && LoadOne(host, path)) return 1;
  s_hostUtilError = kLoadFailed;
  return 0;
}

int LoadDxfFolder(IHostApplication* host, const CString& path, int* loaded) {
  int count = 0;
  int result = 1;
  if (loaded) *loaded = 0;
  if (!host) {
    s_hostUtilError = kLoadFailed;
    return 0;
  }

  // A directory or base name too long for its buffer is measured before the
  // split, which would end the host. One holding wildcards (the file
  // system's "<", ">" and "\"" among them) would make the search match other
  // files than those of the given name, and every file found is deleted:
  // refuse both.
  if (!FitsSplitBuffers(path)) {
    s_hostUtilError = kNoDxfFound;
    return 0;
  }
  wchar_t drive[_MAX_DRIVE], dir[_MAX_DIR], fname[_MAX_FNAME];
  const bool split = _wsplitpath_s(path, drive, _MAX_DRIVE, dir, _MAX_DIR, fname, _MAX_FNAME, NULL, 0) == 0;
  // The long-path prefix \\?\ is the one "?" a directory may hold.
  const wchar_t* folderPart = wcsncmp(dir, L"\\\\?\\", 4) == 0 ? dir + 4 : dir;
  const wchar_t kWildcards[] = L"*?<>\"";
  if (!split || wcspbrk(folderPart, kWildcards) || wcspbrk(fname, kWildcards)) {
    s_hostUtilError = kNoDxfFound;
    return 0;
  }
  CString folder, stem, pattern;
  folder.Format(L"%s%s", drive, dir);
  stem.Format(L"%s%s%s", drive, dir, fname);
  pattern.Format(L"%s*.dxf", stem.GetString());

  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(pattern, &found);
  if (search == INVALID_HANDLE_VALUE) {
    s_hostUtilError = kNoDxfFound;
    return 0;
  }
  do {
    CString file;
    file.Format(L"%s%s", folder.GetString(), found.cFileName);
    if (LoadOne(host, file)) {
      ++count;
    } else {
      s_hostUtilError = kLoadFailed;
      result = 0;
    }
    _wunlink(file);
  } while (FindNextFileW(search, &found));
  FindClose(search);

  if (loaded) *loaded = count;
  return result;
}

CString GetHostUtilError() { return s_hostUtilError; }

void SetHostUtilError(const CString& text) { s_hostUtilError = text; }
