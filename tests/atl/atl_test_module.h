// The ATL test program's module: its module object, the two classes of its
// object map, and helpers the suites share.
#pragma once

#include <atlbase.h>
#include <atlcom.h>

#include <string>
#include <vector>

#include "atl_test.h"
#include "temp_registry.h"

class CAtlTestModule : public CAtlDllModuleT<CAtlTestModule> {
 public:
  DECLARE_LIBID(LIBID_AtlTestLib)
};
extern CAtlTestModule _AtlModule;

extern const CLSID CLSID_MapFirst;
extern const CLSID CLSID_MapSecond;

namespace atl_test {

// What the object map's registration hooks do: each call is recorded as
// "<class>:<1 register|0 unregister>" and answers `result` of its class.
struct Hooks {
  std::vector<std::string> calls;
  HRESULT first_result = S_OK;
  HRESULT second_result = S_OK;
  // Called inside each hook, for checks made while registration runs.
  void (*inside)() = nullptr;
};
Hooks& RegistrationHooks();

// Objects of the map's classes alive now.
int LiveObjects();

// Points the registry at a file in a new temporary folder for its lifetime.
using ScopedRegistry = test_support::TempRegistry;

// Whether key `path` ("A\\B\\C") exists under `root`.
bool KeyExists(HKEY root, const wchar_t* path);
// The text value `name` of key `path`, "<none>" when there is none.
std::wstring TextValue(HKEY root, const wchar_t* path, const wchar_t* name);

}  // namespace atl_test

// A class of the object map that serves IAtlThing through IDispatchImpl.
class ATL_NO_VTABLE CMapFirst : public CComObjectRootEx<CComSingleThreadModel>,
                                public CComCoClass<CMapFirst, &CLSID_MapFirst>,
                                public IDispatchImpl<IAtlThing, &IID_IAtlThing, &LIBID_AtlTestLib, 1, 0> {
 public:
  CMapFirst();
  ~CMapFirst();
  static HRESULT WINAPI UpdateRegistry(BOOL bRegister) noexcept;
  DECLARE_NOT_AGGREGATABLE(CMapFirst)

  BEGIN_COM_MAP(CMapFirst)
    COM_INTERFACE_ENTRY(IAtlThing)
    COM_INTERFACE_ENTRY(IDispatch)
  END_COM_MAP()

  STDMETHOD(Ping)() override;
  STDMETHOD(Add)(LONG a, LONG b, LONG* sum) override;
  STDMETHOD(Named)(BSTR text) override;

  int pings = 0;
  std::wstring last_name;
};

// The second class of the map, served the same way.
class ATL_NO_VTABLE CMapSecond : public CComObjectRootEx<CComSingleThreadModel>,
                                 public CComCoClass<CMapSecond, &CLSID_MapSecond>,
                                 public IDispatchImpl<IAtlThing, &IID_IAtlThing, &LIBID_AtlTestLib, 1, 0> {
 public:
  CMapSecond();
  ~CMapSecond();
  static HRESULT WINAPI UpdateRegistry(BOOL bRegister) noexcept;
  DECLARE_NOT_AGGREGATABLE(CMapSecond)

  BEGIN_COM_MAP(CMapSecond)
    COM_INTERFACE_ENTRY(IAtlThing)
    COM_INTERFACE_ENTRY(IDispatch)
  END_COM_MAP()

  STDMETHOD(Ping)() override { return S_OK; }
  STDMETHOD(Add)(LONG a, LONG b, LONG* sum) override {
    if (!sum) return E_POINTER;
    *sum = a + b;
    return S_OK;
  }
  STDMETHOD(Named)(BSTR) override { return S_OK; }
};
