// The application's events: the connection point, firing to the sinks,
// and the host's type library registered at its running version.
#include "addin_fixture.h"

#include <objbase.h>
#include <winreg.h>

namespace {

CComPtr<IConnectionPoint> EventsPoint(IHostApplication* app) {
  CComPtr<IConnectionPointContainer> container;
  EXPECT_EQ(app->QueryInterface(__uuidof(IConnectionPointContainer), reinterpret_cast<void**>(&container)), S_OK);
  CComPtr<IConnectionPoint> point;
  if (container) {
    EXPECT_EQ(container->FindConnectionPoint(DIID_IHostApplicationEvents, &point), S_OK);
  }
  return point;
}

// The library registered for (major, minor), or null.
CComPtr<ITypeLib> Registered(WORD major, WORD minor = 0) {
  CComPtr<ITypeLib> lib;
  LoadRegTypeLib(SldWorks::LIBID_SldWorks, major, minor, 0, &lib);
  return lib;
}

}  // namespace

TEST_F(AddInTest, EventsGoToEveryAdvisedSinkAndStopAtUnadvise) {
  CComPtr<IConnectionPoint> point = EventsPoint(app());
  ASSERT_TRUE(point);
  FakeSink one, two;
  DWORD first = 0, second = 0;
  ASSERT_EQ(point->Advise(static_cast<IDispatch*>(&one), &first), S_OK);
  ASSERT_EQ(point->Advise(static_cast<IDispatch*>(&two), &second), S_OK);
  EXPECT_NE(first, second);
  EXPECT_EQ(host.EventSinks(), 2u);
  EXPECT_EQ(one.refs, 2u);  // the host holds each sink

  host.ClearCalls();
  two.answer = E_FAIL;
  EXPECT_EQ(host.FireEvent(4, {L"D:\\a.3ds"}), E_FAIL);  // the first answer that is not S_OK
  EXPECT_EQ(host.FireEvent(12, {static_cast<IDispatch*>(&one), 1}), E_FAIL);
  ASSERT_EQ(one.events.size(), 2u);
  EXPECT_EQ(one.events[0].id, 4);
  EXPECT_EQ(one.events[0].args, (std::vector<std::wstring>{L"\"D:\\a.3ds\""}));
  EXPECT_EQ(one.events[1].args, (std::vector<std::wstring>{L"object", L"1"}));  // in the event's order
  EXPECT_EQ(two.events.size(), 2u);
  const auto calls = host.Calls();
  ASSERT_EQ(calls.size(), 4u);
  EXPECT_EQ(calls[0].op, "host to sink: event Invoke");
  EXPECT_EQ(calls[0].args, "4, DocumentOpened, \"D:\\a.3ds\", sink 1 of 2");
  EXPECT_EQ(calls[0].result, S_OK);
  EXPECT_EQ(calls[1].args, "4, DocumentOpened, \"D:\\a.3ds\", sink 2 of 2");
  EXPECT_EQ(calls[1].result, E_FAIL);
  EXPECT_EQ(calls[2].args, "12, DocumentCreated, dispatch object, 1, sink 1 of 2");
  EXPECT_EQ(one.refs, 2u);  // the argument's reference went with the call

  EXPECT_EQ(point->Unadvise(first), S_OK);
  EXPECT_EQ(one.refs, 1u);
  EXPECT_EQ(point->Unadvise(first), CONNECT_E_NOCONNECTION);
  two.answer = S_OK;
  EXPECT_EQ(host.FireEvent(5), S_OK);
  EXPECT_EQ(one.events.size(), 2u);  // no more after unadvise
  ASSERT_EQ(two.events.size(), 3u);
  EXPECT_EQ(two.events[2].id, 5);
  EXPECT_EQ(point->Unadvise(second), S_OK);
  EXPECT_EQ(host.FireEvent(11), S_OK);  // no sink: nothing to answer
  EXPECT_EQ(two.events.size(), 3u);
  EXPECT_EQ(host.EventSinks(), 0u);
}

TEST_F(AddInTest, ConnectionPointRefusesWhatItCannotTake) {
  CComPtr<IConnectionPointContainer> container;
  ASSERT_EQ(app()->QueryInterface(__uuidof(IConnectionPointContainer), reinterpret_cast<void**>(&container)), S_OK);
  CComPtr<IConnectionPoint> point;
  EXPECT_EQ(container->FindConnectionPoint(__uuidof(IDispatch), &point), CONNECT_E_NOCONNECTION);
  EXPECT_FALSE(point);
  EXPECT_EQ(container->FindConnectionPoint(DIID_IHostApplicationEvents, nullptr), E_POINTER);
  ASSERT_EQ(container->FindConnectionPoint(DIID_IHostApplicationEvents, &point), S_OK);

  IID iid = {};
  EXPECT_EQ(point->GetConnectionInterface(&iid), S_OK);
  EXPECT_EQ(iid, DIID_IHostApplicationEvents);
  CComPtr<IConnectionPointContainer> back;
  EXPECT_EQ(point->GetConnectionPointContainer(&back), S_OK);
  EXPECT_EQ(back.p, container.p);

  FakeSink plain;
  plain.asEvents = false;
  DWORD cookie = 9;
  EXPECT_EQ(point->Advise(static_cast<IDispatch*>(&plain), &cookie), CONNECT_E_CANNOTCONNECT);
  EXPECT_EQ(cookie, 0u);
  EXPECT_EQ(plain.refs, 1u);
  EXPECT_EQ(point->Advise(nullptr, &cookie), E_POINTER);
  EXPECT_EQ(host.EventSinks(), 0u);

  // Advise can be faulted like every host call.
  FakeSink sink;
  host.InjectFault("IConnectionPoint::Advise", 1, CONNECT_E_ADVISELIMIT);
  EXPECT_EQ(point->Advise(static_cast<IDispatch*>(&sink), &cookie), CONNECT_E_ADVISELIMIT);
  EXPECT_EQ(sink.refs, 1u);
}

TEST_F(AddInTest, ApplicationAsDispatchHasNoNames) {
  CComPtr<IDispatch> dispatch;
  ASSERT_EQ(app()->QueryInterface(__uuidof(IDispatch), reinterpret_cast<void**>(&dispatch)), S_OK);
  // One object: its IUnknown is the application's.
  CComPtr<IUnknown> a, b;
  dispatch->QueryInterface(__uuidof(IUnknown), reinterpret_cast<void**>(&a));
  app()->QueryInterface(__uuidof(IUnknown), reinterpret_cast<void**>(&b));
  EXPECT_EQ(a.p, b.p);
  UINT count = 7;
  EXPECT_EQ(dispatch->GetTypeInfoCount(&count), S_OK);
  EXPECT_EQ(count, 0u);
  wchar_t name[] = L"ActiveDocument";
  LPOLESTR names[] = {name};
  DISPID id = 0;
  EXPECT_EQ(dispatch->GetIDsOfNames(IID_NULL, names, 1, 0, &id), DISP_E_UNKNOWNNAME);
  EXPECT_EQ(id, DISPID_UNKNOWN);
}

TEST_F(AddInTest, ChangesToTheEventsDoNotHideTheConnection) {
  // A sink that unadvises itself while it is called still gets that call
  // and is let go of once.
  CComPtr<IConnectionPoint> point = EventsPoint(app());
  FakeSink sink;
  DWORD cookie = 0;
  ASSERT_EQ(point->Advise(static_cast<IDispatch*>(&sink), &cookie), S_OK);
  struct Leaving final : IDispatch {
    IConnectionPoint* point;
    DWORD cookie;
    ULONG refs = 1;
    STDMETHODIMP QueryInterface(REFIID iid, void** o) override {
      if (iid == __uuidof(IUnknown) || iid == __uuidof(IDispatch) || iid == DIID_IHostApplicationEvents) {
        *o = this;
        ++refs;
        return S_OK;
      }
      *o = nullptr;
      return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
    STDMETHODIMP_(ULONG) Release() override { return --refs; }
    STDMETHODIMP GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
      return point->Unadvise(cookie);
    }
  } leaving;
  leaving.point = point;
  ASSERT_EQ(point->Advise(static_cast<IDispatch*>(&leaving), &leaving.cookie), S_OK);
  EXPECT_EQ(host.FireEvent(5), S_OK);
  EXPECT_EQ(leaving.refs, 1u);
  EXPECT_EQ(host.EventSinks(), 1u);
  EXPECT_EQ(sink.events.size(), 1u);
  point->Unadvise(cookie);
}

TEST_F(AddInTest, SinksLeftAdvisedAreLetGoAtUnload) {
  FakeSink sink;
  addin.onConnect = [&](FakeAddIn& a) {
    CComPtr<IConnectionPointContainer> container;
    a.app->QueryInterface(__uuidof(IConnectionPointContainer), reinterpret_cast<void**>(&container));
    CComPtr<IConnectionPoint> point;
    container->FindConnectionPoint(DIID_IHostApplicationEvents, &point);
    DWORD cookie;
    EXPECT_EQ(point->Advise(static_cast<IDispatch*>(&sink), &cookie), S_OK);
  };
  Connect(addin);
  EXPECT_EQ(sink.refs, 2u);
  host.UnloadAddIns();  // the add-in never unadvised
  EXPECT_EQ(sink.refs, 1u);
  EXPECT_EQ(host.EventSinks(), 0u);
}

TEST_F(AddInTest, TypeLibraryIsRegisteredAtTheRunningMajorRevision) {
  EXPECT_FALSE(Registered(21));  // not before the host starts add-ins
  Connect(addin);
  CComPtr<ITypeLib> lib = Registered(21);
  ASSERT_TRUE(lib);
  EXPECT_FALSE(Registered(14));
  EXPECT_FALSE(Registered(0));
  EXPECT_FALSE(Registered(21, 1));

  TLIBATTR* attr = nullptr;
  ASSERT_EQ(lib->GetLibAttr(&attr), S_OK);
  EXPECT_EQ(attr->guid, SldWorks::LIBID_SldWorks);
  EXPECT_EQ(attr->wMajorVerNum, 21);
  EXPECT_EQ(attr->wMinorVerNum, 0);
  lib->ReleaseTLibAttr(attr);

  // The events, by DISPID, with their parameters.
  CComPtr<ITypeInfo> info;
  ASSERT_EQ(lib->GetTypeInfoOfGuid(DIID_IHostApplicationEvents, &info), S_OK);
  TYPEATTR* type = nullptr;
  ASSERT_EQ(info->GetTypeAttr(&type), S_OK);
  EXPECT_EQ(type->typekind, TKIND_DISPATCH);
  const UINT functions = type->cFuncs;
  info->ReleaseTypeAttr(type);
  struct Expected {
    MEMBERID id;
    const wchar_t* name;
    std::vector<VARTYPE> params;
  } const expected[] = {
      {4, L"DocumentOpened", {VT_BSTR}},
      {5, L"HostClosing", {}},
      {11, L"ActiveDocumentChanged", {}},
      {12, L"DocumentCreated", {VT_DISPATCH, VT_I4}},
  };
  ASSERT_EQ(functions, 4u);
  for (UINT i = 0; i < functions; ++i) {
    FUNCDESC* f = nullptr;
    ASSERT_EQ(info->GetFuncDesc(i, &f), S_OK);
    EXPECT_EQ(f->memid, expected[i].id);
    ASSERT_EQ(static_cast<size_t>(f->cParams), expected[i].params.size());
    for (SHORT p = 0; p < f->cParams; ++p) EXPECT_EQ(f->lprgelemdescParam[p].tdesc.vt, expected[i].params[p]);
    BSTR name = nullptr;
    info->GetDocumentation(f->memid, &name, nullptr, nullptr, nullptr);
    EXPECT_STREQ(name, expected[i].name);
    SysFreeString(name);
    info->ReleaseFuncDesc(f);
  }
}

TEST_F(AddInTest, ANewRevisionMovesTheTypeLibrary) {
  std::string error;
  ASSERT_TRUE(host.RegisterEventTypeLibrary(&error)) << error;
  EXPECT_TRUE(Registered(21));
  host.SetRevisionNumber(L"14.2.7");
  EXPECT_FALSE(Registered(21));
  EXPECT_TRUE(Registered(14));
  host.SetRevisionNumber(L"  9 beta");
  EXPECT_TRUE(Registered(9));
  EXPECT_FALSE(Registered(14));
  host.SetRevisionNumber(L"beta");  // no number: 0
  EXPECT_TRUE(Registered(0));
  host.SetRevisionNumber(L"70000.0");
  EXPECT_FALSE(host.RegisterEventTypeLibrary(&error));
  EXPECT_NE(error.find("not 0 to 65535"), std::string::npos) << error;
  EXPECT_FALSE(Registered(0));
}

TEST_F(AddInTest, TheHostTakesItsTypeLibraryAwayWhenItGoes) {
  BSTR path = nullptr;
  {
    stand_in::Host own;
    ASSERT_TRUE(own.RegisterEventTypeLibrary());
    ASSERT_EQ(QueryPathOfRegTypeLib(SldWorks::LIBID_SldWorks, 21, 0, 0, &path), S_OK);
    EXPECT_TRUE(std::filesystem::exists(stand_in::NativePath(path)));
  }
  EXPECT_FALSE(Registered(21));
  EXPECT_FALSE(std::filesystem::exists(stand_in::NativePath(path)));
  SysFreeString(path);
  // Nor does it leave the library's interface keys.
  HKEY key = nullptr;
  EXPECT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, L"Interface\\{83A33D22-37C5-11CE-BFD4-00400513BB57}", 0, KEY_READ, &key),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, L"TypeLib\\{83A33D31-27C5-11CE-BFD4-00400513BB57}", 0, KEY_READ, &key),
            ERROR_FILE_NOT_FOUND);
}

TEST_F(AddInTest, AHostLeavesAnotherHostsRegistrationAlone) {
  auto second = std::make_unique<stand_in::Host>();
  {
    stand_in::Host first;
    ASSERT_TRUE(first.RegisterEventTypeLibrary());
    ASSERT_TRUE(second->RegisterEventTypeLibrary());  // the registration is the second's now
  }
  EXPECT_TRUE(Registered(21));  // the first did not take the second's away
  second.reset();
  EXPECT_FALSE(Registered(21));
}

// --- loading add-ins from the registry ----------------------------------

namespace {

void AddInKey(const wchar_t* name) {
  HKEY key = nullptr;
  const std::wstring path = std::wstring(L"SOFTWARE\\SolidWorks\\AddIns\\") + name;
  ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  RegCloseKey(key);
}

}  // namespace

TEST_F(AddInTest, LoadAddInsWithNoneRegisteredLoadsNothing) {
  std::string error;
  EXPECT_EQ(host.LoadAddIns(&error), S_OK);
  EXPECT_TRUE(error.empty()) << error;
  EXPECT_TRUE(host.AddIns().empty());
  EXPECT_TRUE(Registered(21));  // the host started
}

TEST_F(AddInTest, LoadAddInsReportsEachKeyItCannotLoad) {
  AddInKey(L"not-a-class");
  AddInKey(L"{0BAD0BAD-0000-4000-8000-00000000C1A5}");
  std::string error;
  EXPECT_NE(host.LoadAddIns(&error), S_OK);
  ASSERT_EQ(host.AddIns().size(), 2u);
  std::string all;
  for (const auto& a : host.AddIns()) {
    EXPECT_FALSE(a.connected);
    EXPECT_EQ(a.cookie, 0);
    all += a.error + "\n";
  }
  EXPECT_NE(all.find("\"not-a-class\" is not a class id in braces"), std::string::npos) << all;
  EXPECT_NE(all.find("CoCreateInstance answered 0x80040154"), std::string::npos) << all;  // not registered
  EXPECT_NE(error.find("{0BAD0BAD-0000-4000-8000-00000000C1A5}: COM cannot create it"), std::string::npos) << error;
}
