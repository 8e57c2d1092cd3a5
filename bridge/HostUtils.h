// Host utility functions of the bridge: the running host's version, its main
// window, the document length unit, saving and DXF loading.
#pragma once

#include <afxwin.h>

#include <HostApi.h>

// Sets the document's length unit for units code 0 to 4 (millimetre,
// centimetre, metre, inch, foot) and gives the metres per unit; any other
// code leaves the unit alone and gives 1.0. Returns 1.
int SetDocumentUnits(IHostDocument* document, int unitsCode, double* scale);

// Product names of the host releases, by version index. Index 0 is the
// unknown release; 1 to 8 name releases only callers ask for; a running host
// maps onto 0 or 9 to 14 (major revision 16 to 21).
extern const CString g_hostVersionNames[15];

// The version index of the running host: its major revision (the number
// before the first "." of the revision text) minus 7 for 16 to 21, else 0.
int GetHostVersionIndex(IHostApplication* host);
// 1 when the running host has version index `required` (0 to 14); else 0
// after a warning box naming the required release.
int CheckHostVersion(IHostApplication* host, int required);

// The host's main window; NULL when the host can't give it.
HWND GetMainHwnd(IHostApplication* host);
// The framework's window object for the same window (not the caller's to
// delete); NULL when there is none.
CWnd* GetMainWnd(IHostApplication* host);
// The last active popup of the thread's active window (the window itself
// when it has none); NULL without an active window.
HWND GetActivePopupWindow();

// The functions below give 1 on success, 0 on failure with the reason in
// the host utility error text (GetHostUtilError). Nothing clears that text.

// Saves the host's active document under `path`.
int SaveActiveModel(IHostApplication* host, CString path);
// Loads one DXF file into the host.
int LoadDxf(IHostApplication* host, const CString& path);
// Loads every "*.dxf" file of the directory of `path` whose name begins with
// the base name of `path`, deleting each after the attempt, loaded or not.
// 1 when files were found and all loaded; `loaded` counts those that did.
// A directory or base name over 255 characters, or one holding a wildcard
// (* ? < > "), is refused before anything is searched.
int LoadDxfFolder(IHostApplication* host, const CString& path, int* loaded);

CString GetHostUtilError();
void SetHostUtilError(const CString& text);
