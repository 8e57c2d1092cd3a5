// An event sink as the add-in makes one: ATL's dispatch event sink, which
// reads each event's parameters from the host's registered type library at
// the version it asks for.
#include "addin_fixture.h"

#include <atlcom.h>

// The test program's ATL module: the sinks' type information is loaded
// under its lock and held until it ends.
class HostTestModule : public CAtlDllModuleT<HostTestModule> {};
HostTestModule _AtlModule;

namespace {

template <WORD Major>
class AtlSink : public IDispEventImpl<0, AtlSink<Major>, &DIID_IHostApplicationEvents, &SldWorks::LIBID_SldWorks,
                                      Major, 0> {
 public:
  STDMETHOD_(ULONG, AddRef)() override { return ++refs; }
  STDMETHOD_(ULONG, Release)() override { return --refs; }

  BEGIN_SINK_MAP(AtlSink)
    SINK_ENTRY_EX(0, DIID_IHostApplicationEvents, 4, OnOpened)
    SINK_ENTRY_EX(0, DIID_IHostApplicationEvents, 12, OnCreated)
  END_SINK_MAP()

  HRESULT STDMETHODCALLTYPE OnOpened(BSTR path) {
    seen.push_back(L"opened " + std::wstring(path ? path : L"(null)"));
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE OnCreated(IDispatch* document, LONG type) {
    seen.push_back(std::wstring(L"created ") + (document ? L"object" : L"null") + L" " + std::to_wstring(type));
    return S_OK;
  }

  ULONG refs = 1;
  std::vector<std::wstring> seen;
};

}  // namespace

TEST_F(AddInTest, ASinkAskingTheRunningVersionReadsTheEvents) {
  AtlSink<21> sink;
  ASSERT_EQ(sink.DispEventAdvise(app()), S_OK);
  EXPECT_EQ(host.FireEvent(4, {L"D:\\part.3ds"}), S_OK);
  EXPECT_EQ(host.FireEvent(12, {static_cast<IDispatch*>(nullptr), 2}), S_OK);
  EXPECT_EQ(host.FireEvent(5), S_OK);  // not in its map: answered, nothing called
  EXPECT_EQ(sink.seen, (std::vector<std::wstring>{L"opened D:\\part.3ds", L"created null 2"}));
  EXPECT_EQ(sink.DispEventUnadvise(app()), S_OK);
  EXPECT_EQ(host.FireEvent(4, {L"again"}), S_OK);
  EXPECT_EQ(sink.seen.size(), 2u);
  EXPECT_EQ(sink.refs, 1u);
}

TEST_F(AddInTest, ASinkAskingAnotherVersionFindsNoDescription) {
  AtlSink<14> sink;
  ASSERT_EQ(sink.DispEventAdvise(app()), S_OK);
  EXPECT_EQ(host.FireEvent(4, {L"D:\\part.3ds"}), S_OK);
  EXPECT_TRUE(sink.seen.empty());
  EXPECT_EQ(sink.DispEventUnadvise(app()), S_OK);
  EXPECT_EQ(sink.refs, 1u);
}
