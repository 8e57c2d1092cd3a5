// Windows user interface subset: message boxes and the active window.
#pragma once

#include <windows.h>
#include <winresrc.h>

// Buttons.
#define MB_OK 0x00000000L
#define MB_OKCANCEL 0x00000001L
#define MB_ABORTRETRYIGNORE 0x00000002L
#define MB_YESNOCANCEL 0x00000003L
#define MB_YESNO 0x00000004L
#define MB_RETRYCANCEL 0x00000005L
// Icons.
#define MB_ICONHAND 0x00000010L
#define MB_ICONERROR MB_ICONHAND
#define MB_ICONSTOP MB_ICONHAND
#define MB_ICONQUESTION 0x00000020L
#define MB_ICONEXCLAMATION 0x00000030L
#define MB_ICONWARNING MB_ICONEXCLAMATION
#define MB_ICONASTERISK 0x00000040L
#define MB_ICONINFORMATION MB_ICONASTERISK
// Default button and modality.
#define MB_DEFBUTTON1 0x00000000L
#define MB_DEFBUTTON2 0x00000100L
#define MB_DEFBUTTON3 0x00000200L
#define MB_APPLMODAL 0x00000000L
#define MB_SYSTEMMODAL 0x00001000L
#define MB_TASKMODAL 0x00002000L

// Answers (IDOK, IDCANCEL, ...): winresrc.h.

#define ERROR_INVALID_WINDOW_HANDLE 1400L

// Shown through the installed UI driver (stand_in/ui.h); returns its answer.
// A null title is "Error", as on Windows.
int WINAPI MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR title, UINT type);

// The calling thread's active window, null when it has none.
HWND WINAPI GetActiveWindow();
// The popup owned by `hwnd` that was active last, `hwnd` itself when it has
// none; null (ERROR_INVALID_WINDOW_HANDLE) for a handle that is no window.
HWND WINAPI GetLastActivePopup(HWND hwnd);
