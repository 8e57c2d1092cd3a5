// Shell subset: ShellExecuteW.
#pragma once

#include <windows.h>

// Show commands.
#ifndef SW_SHOW
#define SW_HIDE 0
#define SW_SHOWNORMAL 1
#define SW_NORMAL 1
#define SW_SHOWMINIMIZED 2
#define SW_SHOWMAXIMIZED 3
#define SW_MAXIMIZE 3
#define SW_SHOWNOACTIVATE 4
#define SW_SHOW 5
#define SW_MINIMIZE 6
#define SW_SHOWDEFAULT 10
#endif

// ShellExecuteW's results of 32 and below.
#define SE_ERR_FNF 2
#define SE_ERR_PNF 3
#define SE_ERR_ACCESSDENIED 5
#define SE_ERR_OOM 8
#define SE_ERR_SHARE 26
#define SE_ERR_ASSOCINCOMPLETE 27
#define SE_ERR_DDETIMEOUT 28
#define SE_ERR_DDEFAIL 29
#define SE_ERR_DDEBUSY 30
#define SE_ERR_NOASSOC 31
#define SE_ERR_DLLNOTFOUND 32

// "open" (or a null verb) of an existing file hands it to the UI driver
// (stand_in/ui.h), as the shell opens it in its viewer, and gives a value
// above 32. A missing file gives ERROR_FILE_NOT_FOUND (2), a missing folder
// ERROR_PATH_NOT_FOUND (3), another verb SE_ERR_NOASSOC (31). A relative
// file is taken in `directory` when one is given.
HINSTANCE WINAPI ShellExecuteW(HWND hwnd, LPCWSTR verb, LPCWSTR file, LPCWSTR parameters, LPCWSTR directory,
                               INT show);
