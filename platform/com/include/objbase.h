// COM library subset: GUID text forms.
#pragma once

#include <oleauto.h>
#include <objidl.h>

// Parses "{8-4-4-4-12}" with braces; CO_E_CLASSSTRING on any other text.
HRESULT WINAPI CLSIDFromString(LPCOLESTR text, LPCLSID clsid);
HRESULT WINAPI IIDFromString(LPCOLESTR text, LPIID iid);
// Writes the registry form "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" (upper
// case); returns the characters written with the zero, or 0 when `max` < 39.
int WINAPI StringFromGUID2(REFGUID guid, LPOLESTR text, int max);

#define CO_E_CLASSSTRING _HRESULT_TYPEDEF_(0x800401F3L)
#define CO_E_IIDSTRING _HRESULT_TYPEDEF_(0x80040004L)

// Activation of in-process servers. COM is entered per thread: CoInitialize
// and CoInitializeEx count the calls of the thread (S_OK the first time,
// S_FALSE after; another concurrency model: RPC_E_CHANGED_MODE, not
// counted), and the thread's last CoUninitialize frees the modules COM loaded
// for its apartment (the thread's own, or the one multithreaded apartment
// when its last thread leaves). Before CoInitialize, activation fails with
// CO_E_NOTINITIALIZED; no thread joins an apartment implicitly.
enum tagCOINIT {
  COINIT_MULTITHREADED = 0x0,
  COINIT_APARTMENTTHREADED = 0x2,
  COINIT_DISABLE_OLE1DDE = 0x4,
  COINIT_SPEED_OVER_MEMORY = 0x8,
};
typedef tagCOINIT COINIT;

enum tagCLSCTX {
  CLSCTX_INPROC_SERVER = 0x1,
  CLSCTX_INPROC_HANDLER = 0x2,
  CLSCTX_LOCAL_SERVER = 0x4,
  CLSCTX_REMOTE_SERVER = 0x10,
};
typedef tagCLSCTX CLSCTX;
#define CLSCTX_INPROC (CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER)
#define CLSCTX_SERVER (CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER)
#define CLSCTX_ALL (CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER)

// Names a remote machine; only in-process servers exist here, so it must be null.
struct COSERVERINFO;

#define REGDB_E_READREGDB _HRESULT_TYPEDEF_(0x80040150L)
#define REGDB_E_CLASSNOTREG _HRESULT_TYPEDEF_(0x80040154L)
#define CO_E_NOTINITIALIZED _HRESULT_TYPEDEF_(0x800401F0L)
#define CO_E_DLLNOTFOUND _HRESULT_TYPEDEF_(0x800401F8L)
#define CO_E_ERRORINDLL _HRESULT_TYPEDEF_(0x800401F9L)
#define RPC_E_CHANGED_MODE _HRESULT_TYPEDEF_(0x80010106L)

HRESULT WINAPI CoInitialize(LPVOID reserved);
HRESULT WINAPI CoInitializeEx(LPVOID reserved, DWORD coinit);
void WINAPI CoUninitialize();

// Only CLSCTX_INPROC_SERVER: the module named by the default value of
// HKEY_CLASSES_ROOT\CLSID\{clsid}\InprocServer32 (REGDB_E_CLASSNOTREG when
// the class or the key is missing) is loaded with LoadLibraryW, kept loaded,
// and asked through its export DllGetClassObject (CO_E_ERRORINDLL when it
// has none); a module that fails to load gives its error as an HRESULT.
HRESULT WINAPI CoGetClassObject(REFCLSID clsid, DWORD context, COSERVERINFO* server, REFIID iid, LPVOID* object);
// The class object's IClassFactory::CreateInstance; the factory is released.
HRESULT WINAPI CoCreateInstance(REFCLSID clsid, LPUNKNOWN outer, DWORD context, REFIID iid, LPVOID* object);
// Frees the modules COM loaded for the caller's apartment whose
// DllCanUnloadNow answers S_OK (at once: no unload delay here).
void WINAPI CoFreeUnusedLibraries();
