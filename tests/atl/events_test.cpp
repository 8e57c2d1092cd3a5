// IDispEventImpl: the sink's own identity counted on its owner, advice with
// the not-advised mark, and events decoded from the registered library.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "atl_test_module.h"
#include "event_source.h"

namespace {

struct IListener : IUnknown {};
}  // namespace
STAND_IN_INTERFACE_ID(IListener, "0F1E2D3C-4B5A-6978-8796-A5B4C3D2E201");

namespace {

int g_listeners_destroyed = 0;

// Listens to IAtlEvents with library version `Major`.0.
template <int Id, WORD Major>
class ATL_NO_VTABLE CListenerT
    : public CComObjectRootEx<CComSingleThreadModel>,
      public IListener,
      public IDispEventImpl<Id, CListenerT<Id, Major>, &DIID_IAtlEvents, &LIBID_AtlTestLib, Major, 0> {
 public:
  typedef IDispEventImpl<Id, CListenerT<Id, Major>, &DIID_IAtlEvents, &LIBID_AtlTestLib, Major, 0> Sink;
  ~CListenerT() { ++g_listeners_destroyed; }

  BEGIN_COM_MAP(CListenerT)
    COM_INTERFACE_ENTRY(IListener)
  END_COM_MAP()

  BEGIN_SINK_MAP(CListenerT)
    SINK_ENTRY_EX(Id, DIID_IAtlEvents, 4, OnOpened)
    SINK_ENTRY_EX(Id, DIID_IAtlEvents, 12, OnCreated)
    SINK_ENTRY_EX(Id, DIID_IAtlEvents, 11, OnSwitched)
    SINK_ENTRY_EX(Id, DIID_IAtlEvents, 13, OnCounted)
  END_SINK_MAP()

  HRESULT OnOpened(BSTR path, LONG count) {
    calls.push_back(L"opened " + std::wstring(path ? path : L"(null)") + L" " + std::to_wstring(count));
    return S_OK;
  }
  HRESULT OnCreated(IDispatch* document, LONG type) {
    calls.push_back(std::wstring(L"created ") + (document ? L"document " : L"null ") + std::to_wstring(type));
    return E_FAIL;  // the handler's own result is not the caller's
  }
  void OnSwitched(VARIANT_BOOL on) { calls.push_back(on == VARIANT_TRUE ? L"on" : L"off"); }
  HRESULT OnCounted(LONG* count) {
    ++*count;
    calls.push_back(L"counted");
    return S_OK;
  }

  IDispatch* SinkPointer() { return this->GetSinkDispatch(); }

  std::vector<std::wstring> calls;
};

typedef CListenerT<1, 1> CListener;

template <class T>
CComPtr<IListener> Make(T** object) {
  CComObject<T>* made = nullptr;
  EXPECT_EQ(CComObject<T>::CreateInstance(&made), S_OK);
  *object = made;
  return CComPtr<IListener>(made);
}

HRESULT RegisterTestLibrary() {
  CComPtr<ITypeLib> lib;
  HRESULT hr = LoadTypeLib(L"Z:" ATL_TEST_TLB_W, &lib);
  if (FAILED(hr)) return hr;
  return RegisterTypeLib(lib, L"Z:" ATL_TEST_TLB_W, nullptr);
}

VARIANT Text(const wchar_t* text) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BSTR;
  v.bstrVal = SysAllocString(text);
  return v;
}

VARIANT Long(LONG value) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_I4;
  v.lVal = value;
  return v;
}

TEST(IDispEventImpl, SinkIsAnIdentityOfItsOwn) {
  CListener* listener = nullptr;
  CComPtr<IListener> holder = Make(&listener);
  IDispatch* sink = listener->SinkPointer();

  struct Case {
    IID iid;
    HRESULT hr;
    void* expected;
  };
  const Case cases[] = {
      {IID_IUnknown, S_OK, sink},
      {IID_IDispatch, S_OK, sink},
      {DIID_IAtlEvents, S_OK, sink},
      {IID_NULL, E_NOINTERFACE, nullptr},
      {__uuidof(IListener), E_NOINTERFACE, nullptr},
      {IID_IConnectionPoint, E_NOINTERFACE, nullptr},
  };
  for (const Case& c : cases) {
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(sink->QueryInterface(c.iid, &out), c.hr);
    EXPECT_EQ(out, c.expected);
    if (out) static_cast<IUnknown*>(out)->Release();
  }
  EXPECT_EQ(sink->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
  // The object's own identity is another one.
  CComPtr<IUnknown> object;
  ASSERT_EQ(holder.QueryInterface(&object), S_OK);
  EXPECT_NE(static_cast<void*>(object.p), static_cast<void*>(sink));

  UINT count = 7;
  EXPECT_EQ(sink->GetTypeInfoCount(&count), E_NOTIMPL);
  EXPECT_EQ(count, 0u);
}

TEST(IDispEventImpl, SinkCountsOnItsOwner) {
  CListener* listener = nullptr;
  CComPtr<IListener> holder = Make(&listener);
  IDispatch* sink = listener->SinkPointer();
  EXPECT_EQ(listener->m_dwRef, 1);
  EXPECT_EQ(sink->AddRef(), 2u);
  EXPECT_EQ(listener->m_dwRef, 2);
  const int destroyed = g_listeners_destroyed;
  holder.Release();
  EXPECT_EQ(g_listeners_destroyed, destroyed);  // the sink's reference keeps the object
  EXPECT_EQ(sink->Release(), 0u);
  EXPECT_EQ(g_listeners_destroyed, destroyed + 1);
}

TEST(IDispEventImpl, AdviseMarkSecondAdviseAndUnadvise) {
  atl_test::EventSource source;
  CListener* listener = nullptr;
  CComPtr<IListener> holder = Make(&listener);
  CListener::Sink* sink = listener;
  EXPECT_EQ(sink->m_dwEventCookie, 0xFEFEFEFEu);
  EXPECT_EQ(sink->m_iid, DIID_IAtlEvents);
  EXPECT_EQ(sink->m_libid, LIBID_AtlTestLib);
  EXPECT_EQ(sink->m_wMajorVerNum, 1);
  EXPECT_EQ(sink->m_wMinorVerNum, 0);

  // Not advised: the unadvise fails and the mark stays.
  EXPECT_EQ(sink->DispEventUnadvise(&source), CONNECT_E_NOCONNECTION);
  EXPECT_EQ(sink->m_dwEventCookie, 0xFEFEFEFEu);

  ASSERT_EQ(sink->DispEventAdvise(&source), S_OK);
  EXPECT_NE(sink->m_dwEventCookie, 0xFEFEFEFEu);
  EXPECT_NE(sink->m_dwEventCookie, 0u);
  EXPECT_EQ(source.point.Count(), 1u);
  EXPECT_EQ(listener->m_dwRef, 2);  // the connection point holds the object through its sink
  EXPECT_EQ(source.refs, 0);

  const DWORD cookie = sink->m_dwEventCookie;
  EXPECT_EQ(sink->DispEventAdvise(&source), E_FAIL);
  EXPECT_EQ(sink->m_dwEventCookie, cookie);
  EXPECT_EQ(source.point.Count(), 1u);

  EXPECT_EQ(sink->DispEventUnadvise(&source), S_OK);
  EXPECT_EQ(sink->m_dwEventCookie, 0xFEFEFEFEu);
  EXPECT_EQ(CListener::Sink::_tih.m_plibid, &GUID_NULL);
  EXPECT_EQ(source.point.Count(), 0u);
  EXPECT_EQ(listener->m_dwRef, 1);

  // Advised again after the unadvise.
  EXPECT_EQ(sink->DispEventAdvise(&source), S_OK);
  EXPECT_EQ(sink->DispEventUnadvise(&source), S_OK);
}

TEST(IDispEventImpl, AFailedAdviseKeepsTheMark) {
  CListener* listener = nullptr;
  CComPtr<IListener> holder = Make(&listener);
  CListener::Sink* sink = listener;
  // Not a connection-point container.
  EXPECT_EQ(sink->DispEventAdvise(holder), E_NOINTERFACE);
  EXPECT_EQ(sink->m_dwEventCookie, 0xFEFEFEFEu);
  EXPECT_EQ(sink->DispEventAdvise(nullptr), E_INVALIDARG);
  // A container without a point for the events interface.
  atl_test::EventSource source;
  EXPECT_EQ(sink->DispEventAdvise(&source, &IID_IDispatch), CONNECT_E_NOCONNECTION);
  EXPECT_EQ(sink->m_dwEventCookie, 0xFEFEFEFEu);
  EXPECT_EQ(sink->DispEventAdvise(&source), S_OK);
  EXPECT_EQ(sink->DispEventUnadvise(&source), S_OK);
  EXPECT_EQ(listener->m_dwRef, 1);
}

TEST(IDispEventImpl, EventsReachTheirHandlersWithConvertedArguments) {
  atl_test::ScopedRegistry registry;
  ASSERT_EQ(RegisterTestLibrary(), S_OK);
  atl_test::EventSource source;
  CListener* listener = nullptr;
  CComPtr<IListener> holder = Make(&listener);
  CListener::Sink* sink = listener;
  ASSERT_EQ(sink->DispEventAdvise(&source), S_OK);

  // Arguments come last first; a short count is coerced to the library's long.
  VARIANT opened[2] = {Long(0), Text(L"D:\\m\\a.3ds")};
  opened[0].vt = VT_I2;
  opened[0].iVal = 7;
  DISPPARAMS params = {opened, nullptr, 2, 0};
  std::vector<HRESULT> results;
  EXPECT_EQ(source.point.Fire(4, &params, &results), S_OK);
  ASSERT_EQ(results.size(), 1u);
  EXPECT_EQ(results[0], S_OK);

  // No entry for 5 and no event 99: answered, nothing called.
  EXPECT_EQ(source.point.Fire(5, nullptr), S_OK);
  EXPECT_EQ(source.point.Fire(99, nullptr), S_OK);

  VARIANT created[2] = {Long(3), Long(0)};
  created[1].vt = VT_DISPATCH;
  created[1].pdispVal = sink->GetSinkDispatch();
  params = {created, nullptr, 2, 0};
  EXPECT_EQ(source.point.Fire(12, &params), S_OK);

  VARIANT on = Long(0);
  on.vt = VT_BOOL;
  on.boolVal = VARIANT_TRUE;
  params = {&on, nullptr, 1, 0};
  EXPECT_EQ(source.point.Fire(11, &params), S_OK);

  LONG count = 41;
  VARIANT counted = Long(0);
  counted.vt = VT_BYREF | VT_I4;
  counted.plVal = &count;
  params = {&counted, nullptr, 1, 0};
  EXPECT_EQ(source.point.Fire(13, &params), S_OK);
  EXPECT_EQ(count, 42);

  const std::vector<std::wstring> expected = {L"opened D:\\m\\a.3ds 7", L"created document 3", L"on", L"counted"};
  EXPECT_EQ(listener->calls, expected);

  // Arguments that do not fit the description call nothing.
  listener->calls.clear();
  params = {opened, nullptr, 1, 0};
  EXPECT_EQ(source.point.Fire(4, &params), DISP_E_BADPARAMCOUNT);
  VARIANT wrong[2] = {Text(L"many"), Text(L"x")};
  params = {wrong, nullptr, 2, 0};
  EXPECT_TRUE(FAILED(source.point.Fire(4, &params)));
  counted.vt = VT_I4;
  counted.lVal = 1;
  params = {&counted, nullptr, 1, 0};
  EXPECT_EQ(source.point.Fire(13, &params), DISP_E_TYPEMISMATCH);
  EXPECT_TRUE(listener->calls.empty());

  // After an unadvise the holder takes the library from the sink again.
  ASSERT_EQ(sink->DispEventUnadvise(&source), S_OK);
  ASSERT_EQ(sink->DispEventAdvise(&source), S_OK);
  params = {opened, nullptr, 2, 0};
  EXPECT_EQ(source.point.Fire(4, &params), S_OK);
  EXPECT_EQ(listener->calls.size(), 1u);
  EXPECT_EQ(*CListener::Sink::_tih.m_plibid, LIBID_AtlTestLib);
  EXPECT_EQ(sink->DispEventUnadvise(&source), S_OK);

  VariantClear(&opened[1]);
  VariantClear(&wrong[0]);
  VariantClear(&wrong[1]);
}

TEST(IDispEventImpl, AVersionWithNoRegisteredLibraryCallsNothing) {
  atl_test::ScopedRegistry registry;
  ASSERT_EQ(RegisterTestLibrary(), S_OK);  // version 1.0 only
  typedef CListenerT<2, 9> CNewerListener;
  atl_test::EventSource source;
  CNewerListener* listener = nullptr;
  CComPtr<IListener> holder = Make(&listener);
  CNewerListener::Sink* sink = listener;
  ASSERT_EQ(sink->DispEventAdvise(&source), S_OK);
  VARIANT opened[2] = {Long(1), Text(L"a.3ds")};
  DISPPARAMS params = {opened, nullptr, 2, 0};
  EXPECT_EQ(source.point.Fire(4, &params), S_OK);
  EXPECT_TRUE(listener->calls.empty());
  EXPECT_EQ(sink->DispEventUnadvise(&source), S_OK);
  VariantClear(&opened[1]);
}

}  // namespace
