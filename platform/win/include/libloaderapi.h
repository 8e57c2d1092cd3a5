// Modules and their resources. A module handle is the base address of a
// module loaded in the process (the executable or a shared object); a module
// read as a data file has a handle with the low bit set, as on Windows.
// Resources are the standard .res records that the build embeds in a module
// (stand_in/module.h).
#pragma once

#include <windows.h>

#define ERROR_BAD_FORMAT 11L
#define ERROR_NOT_SUPPORTED 50L
#define ERROR_CALL_NOT_IMPLEMENTED 120L
#define ERROR_MOD_NOT_FOUND 126L
#define ERROR_BAD_EXE_FORMAT 193L
#define ERROR_RESOURCE_DATA_NOT_FOUND 1812L
#define ERROR_RESOURCE_TYPE_NOT_FOUND 1813L
#define ERROR_RESOURCE_NAME_NOT_FOUND 1814L
#define ERROR_RESOURCE_LANG_NOT_FOUND 1815L

// Standard resource types.
#define RT_CURSOR MAKEINTRESOURCEW(1)
#define RT_BITMAP MAKEINTRESOURCEW(2)
#define RT_ICON MAKEINTRESOURCEW(3)
#define RT_MENU MAKEINTRESOURCEW(4)
#define RT_DIALOG MAKEINTRESOURCEW(5)
#define RT_STRING MAKEINTRESOURCEW(6)
#define RT_RCDATA MAKEINTRESOURCEW(10)
#define RT_GROUP_ICON MAKEINTRESOURCEW(14)
#define RT_VERSION MAKEINTRESOURCEW(16)
#define RT_MANIFEST MAKEINTRESOURCEW(24)
// The dialog initialisation data of the class library's dialogs.
#define RT_DLGINIT MAKEINTRESOURCEW(240)

#define MAKELANGID(primary, sub) ((WORD)((((WORD)(sub)) << 10) | (WORD)(primary)))
#define PRIMARYLANGID(lang) ((WORD)(lang) & 0x3ff)
#define SUBLANGID(lang) ((WORD)(lang) >> 10)
#ifndef LANG_NEUTRAL
#define LANG_NEUTRAL 0x00
#endif
#ifndef SUBLANG_NEUTRAL
#define SUBLANG_NEUTRAL 0x00
#endif

// LoadLibraryExW flags.
#define DONT_RESOLVE_DLL_REFERENCES 0x00000001
#define LOAD_LIBRARY_AS_DATAFILE 0x00000002
#define LOAD_LIBRARY_AS_IMAGE_RESOURCE 0x00000020
#define LOAD_LIBRARY_AS_DATAFILE_EXCLUSIVE 0x00000040

// By file name: the last component compared without regard to case, ".dll"
// added when the name has no extension (a trailing "." means none); a name
// with a directory is compared as a whole path. Null gives the executable.
// Not loaded: null, ERROR_MOD_NOT_FOUND.
HMODULE WINAPI GetModuleHandleW(LPCWSTR name);
// The module's full path in Windows form. A buffer too small gets the path
// cut to size-1 characters and terminated; the result is then `size` and the
// last error ERROR_INSUFFICIENT_BUFFER. Null module: the executable.
DWORD WINAPI GetModuleFileNameW(HMODULE module, LPWSTR buffer, DWORD size);

#define ERROR_PROC_NOT_FOUND 127L
#define ERROR_DLL_INIT_FAILED 1114L

// Entry reasons of a module's DllMain.
#ifndef DLL_PROCESS_ATTACH
#define DLL_PROCESS_DETACH 0
#define DLL_PROCESS_ATTACH 1
#define DLL_THREAD_ATTACH 2
#define DLL_THREAD_DETACH 3
#endif

typedef INT_PTR(WINAPI* FARPROC)();

// Flags 0: the module is loaded and run (the machine's loader, RTLD_NOW |
// RTLD_LOCAL) and counted; its static initialisation runs, then its exported
// DllMain(DLL_PROCESS_ATTACH) on the first load; FALSE from it undoes the
// load (DLL_PROCESS_DETACH, unload) and fails with ERROR_DLL_INIT_FAILED.
// A name without ".": ".dll" added. A bare name is looked for among the
// loaded modules, then beside the executable, then in the working directory.
// Failures: ERROR_MOD_NOT_FOUND (no such file, or a missing dependency),
// ERROR_PROC_NOT_FOUND (an undefined symbol), ERROR_BAD_EXE_FORMAT; the
// machine loader's text goes to stderr.
// LOAD_LIBRARY_AS_DATAFILE (and its image-resource and exclusive forms): the
// module file's resources are read without running it. Other flags:
// ERROR_CALL_NOT_IMPLEMENTED.
HMODULE WINAPI LoadLibraryExW(LPCWSTR path, HANDLE reserved, DWORD flags);
HMODULE WINAPI LoadLibraryW(LPCWSTR path);
// The last FreeLibrary of a loaded module runs DllMain(DLL_PROCESS_DETACH)
// and unloads it. Modules mapped with the process stay, as on Windows, and
// answer TRUE. Anything else: ERROR_INVALID_HANDLE.
BOOL WINAPI FreeLibrary(HMODULE module);
// A function the module itself exports, by name. Ordinals are refused
// (ERROR_PROC_NOT_FOUND), as are data-file handles (ERROR_INVALID_HANDLE).
FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR name);

// Names and types are MAKEINTRESOURCEW ids or strings ("#123" is id 123),
// strings compared without regard to case. Null module: the executable.
HRSRC WINAPI FindResourceW(HMODULE module, LPCWSTR name, LPCWSTR type);
HRSRC WINAPI FindResourceExW(HMODULE module, LPCWSTR type, LPCWSTR name, WORD language);
HGLOBAL WINAPI LoadResource(HMODULE module, HRSRC resource);
DWORD WINAPI SizeofResource(HMODULE module, HRSRC resource);
LPVOID WINAPI LockResource(HGLOBAL data);
// Nothing to free since 32-bit Windows: always FALSE.
BOOL WINAPI FreeResource(HGLOBAL data);
