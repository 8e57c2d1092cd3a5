// The connection point a server embeds: advice by cookie, refusals, firing.
#include <gtest/gtest.h>

#include <vector>

#include "atl_test_module.h"
#include "event_source.h"

namespace {

// A sink for IAtlEvents (or, with `events` false, for nothing but IUnknown)
// that records the events it gets.
class RecordingSink : public IDispatch {
 public:
  explicit RecordingSink(bool events = true) : events_(events) {}
  STDMETHODIMP QueryInterface(REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (riid == IID_IUnknown || (events_ && (riid == IID_IDispatch || riid == DIID_IAtlEvents))) {
      *out = static_cast<IDispatch*>(this);
      AddRef();
      return S_OK;
    }
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(++refs); }
  STDMETHODIMP_(ULONG) Release() override { return static_cast<ULONG>(--refs); }
  STDMETHODIMP GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) override {
    events.push_back(id);
    args.push_back(params ? params->cArgs : 99);
    if (on_event) on_event(this);
    return answer;
  }

  long refs = 0;
  std::vector<DISPID> events;
  std::vector<UINT> args;
  HRESULT answer = S_OK;
  void (*on_event)(RecordingSink*) = nullptr;
  atl_test::EventSource* source = nullptr;
  DWORD cookie = 0;

 private:
  bool events_;
};

TEST(ConnectionPoint, AdviseHoldsTheSinkAndGivesUniqueCookies) {
  atl_test::EventSource source;
  RecordingSink a, b;
  DWORD ca = 0, cb = 0;
  ASSERT_EQ(source.point.Advise(&a, &ca), S_OK);
  ASSERT_EQ(source.point.Advise(&b, &cb), S_OK);
  EXPECT_NE(ca, 0u);
  EXPECT_NE(cb, 0u);
  EXPECT_NE(ca, cb);
  EXPECT_EQ(a.refs, 1);
  EXPECT_EQ(source.point.Count(), 2u);

  EXPECT_EQ(source.point.Unadvise(ca), S_OK);
  EXPECT_EQ(a.refs, 0);
  EXPECT_EQ(source.point.Unadvise(ca), CONNECT_E_NOCONNECTION);
  EXPECT_EQ(source.point.Unadvise(0), CONNECT_E_NOCONNECTION);
  // A cookie is not handed out again.
  DWORD again = 0;
  ASSERT_EQ(source.point.Advise(&a, &again), S_OK);
  EXPECT_NE(again, ca);
  EXPECT_NE(again, cb);
  EXPECT_EQ(source.point.Unadvise(again), S_OK);
  EXPECT_EQ(source.point.Unadvise(cb), S_OK);
  EXPECT_EQ(b.refs, 0);
}

TEST(ConnectionPoint, Refusals) {
  atl_test::EventSource source;
  RecordingSink plain(false);
  DWORD cookie = 5;
  EXPECT_EQ(source.point.Advise(&plain, &cookie), CONNECT_E_CANNOTCONNECT);
  EXPECT_EQ(cookie, 0u);
  EXPECT_EQ(plain.refs, 0);
  EXPECT_EQ(source.point.Advise(nullptr, &cookie), E_POINTER);
  RecordingSink sink;
  EXPECT_EQ(source.point.Advise(&sink, nullptr), E_POINTER);
  EXPECT_EQ(sink.refs, 0);
  EXPECT_EQ(source.point.Count(), 0u);
  IEnumConnections* connections = reinterpret_cast<IEnumConnections*>(1);
  EXPECT_EQ(source.point.EnumConnections(&connections), E_NOTIMPL);
  EXPECT_EQ(connections, nullptr);
}

TEST(ConnectionPoint, InterfaceContainerAndReferences) {
  atl_test::EventSource source;
  IID iid = IID_NULL;
  EXPECT_EQ(source.point.GetConnectionInterface(&iid), S_OK);
  EXPECT_EQ(iid, DIID_IAtlEvents);
  EXPECT_EQ(source.point.GetConnectionInterface(nullptr), E_POINTER);
  IConnectionPointContainer* container = nullptr;
  EXPECT_EQ(source.point.GetConnectionPointContainer(&container), S_OK);
  EXPECT_EQ(container, &source);
  EXPECT_EQ(source.refs, 1);
  container->Release();
  // The point's references are its container's.
  IConnectionPoint* point = nullptr;
  ASSERT_EQ(source.FindConnectionPoint(DIID_IAtlEvents, &point), S_OK);
  EXPECT_EQ(source.refs, 1);
  point->Release();
  EXPECT_EQ(source.refs, 0);
}

TEST(ConnectionPoint, FireCallsEverySinkAndReportsEachAnswer) {
  atl_test::EventSource source;
  RecordingSink a, b, c;
  b.answer = E_FAIL;
  DWORD ca = 0, cb = 0, cc = 0;
  ASSERT_EQ(source.point.Advise(&a, &ca), S_OK);
  ASSERT_EQ(source.point.Advise(&b, &cb), S_OK);
  ASSERT_EQ(source.point.Advise(&c, &cc), S_OK);
  // The first sink lets go of itself while it is called.
  a.source = &source;
  a.cookie = ca;
  a.on_event = [](RecordingSink* self) { self->source->point.Unadvise(self->cookie); };

  VARIANT arg;
  VariantInit(&arg);
  DISPPARAMS params = {&arg, nullptr, 1, 0};
  std::vector<HRESULT> results;
  EXPECT_EQ(source.point.Fire(4, &params, &results), E_FAIL);
  EXPECT_EQ(results, (std::vector<HRESULT>{S_OK, E_FAIL, S_OK}));
  EXPECT_EQ(a.events, std::vector<DISPID>{4});
  EXPECT_EQ(b.events, std::vector<DISPID>{4});
  EXPECT_EQ(c.events, std::vector<DISPID>{4});
  EXPECT_EQ(c.args, std::vector<UINT>{1});
  EXPECT_EQ(a.refs, 0);
  EXPECT_EQ(source.point.Count(), 2u);

  EXPECT_EQ(source.point.Fire(5, nullptr, &results), E_FAIL);
  EXPECT_EQ(results.size(), 2u);
  EXPECT_EQ(c.args.back(), 0u);  // no parameters: an empty list, never null
  EXPECT_EQ(a.events.size(), 1u);
  EXPECT_EQ(source.point.Unadvise(cb), S_OK);
  EXPECT_EQ(source.point.Unadvise(cc), S_OK);
  EXPECT_EQ(b.refs + c.refs, 0);
}

TEST(ConnectionPoint, ReleasesTheSinksLeftWhenItGoes) {
  RecordingSink sink;
  {
    atl_test::EventSource source;
    DWORD cookie = 0;
    ASSERT_EQ(source.point.Advise(&sink, &cookie), S_OK);
    EXPECT_EQ(sink.refs, 1);
  }
  EXPECT_EQ(sink.refs, 0);
}

TEST(AtlAdvise, RefusesANullContainerOrCookie) {
  RecordingSink sink;
  DWORD cookie = 0;
  EXPECT_EQ(AtlAdvise(nullptr, &sink, DIID_IAtlEvents, &cookie), E_INVALIDARG);
  atl_test::EventSource source;
  EXPECT_EQ(AtlAdvise(&source, &sink, DIID_IAtlEvents, nullptr), E_POINTER);
  EXPECT_EQ(AtlUnadvise(nullptr, DIID_IAtlEvents, 1), E_INVALIDARG);
  ASSERT_EQ(AtlAdvise(&source, &sink, DIID_IAtlEvents, &cookie), S_OK);
  EXPECT_EQ(AtlUnadvise(&source, DIID_IAtlEvents, cookie), S_OK);
  EXPECT_EQ(AtlUnadvise(&source, DIID_IAtlEvents, cookie), CONNECT_E_NOCONNECTION);
  EXPECT_EQ(sink.refs, 0);
  EXPECT_EQ(source.refs, 0);
}

}  // namespace
