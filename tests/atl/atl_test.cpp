#include <atlbase.h>

#include <gtest/gtest.h>

namespace {

struct ICounted : IUnknown {};

// Counts its references; answers for IUnknown only.
class Counted : public ICounted {
 public:
  STDMETHODIMP QueryInterface(REFIID riid, void** out) override {
    if (riid != IID_IUnknown) {
      *out = nullptr;
      return E_NOINTERFACE;
    }
    *out = static_cast<IUnknown*>(this);
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
  STDMETHODIMP_(ULONG) Release() override { return --refs; }
  long refs = 0;
};

}  // namespace

TEST(CComPtr, KeepsTheCountBalancedThroughCopyMoveAndQuery) {
  Counted object;
  {
    CComPtr<ICounted> a(&object);
    EXPECT_EQ(object.refs, 1);
    CComPtr<ICounted> b = a;
    EXPECT_EQ(object.refs, 2);
    CComPtr<ICounted> c;
    c = std::move(b);
    EXPECT_EQ(object.refs, 2);
    EXPECT_EQ(b.p, nullptr);
    CComPtr<ICounted>& same = c;
    c = std::move(same);  // a self-move keeps the reference
    EXPECT_EQ(object.refs, 2);
    CComPtr<IUnknown> unknown;
    EXPECT_EQ(a.QueryInterface(&unknown), S_OK);
    EXPECT_EQ(object.refs, 3);
    a.Release();
    EXPECT_EQ(a.p, nullptr);
    EXPECT_EQ(object.refs, 2);
    ICounted* raw = c.Detach();
    EXPECT_EQ(object.refs, 2);
    raw->Release();
  }
  EXPECT_EQ(object.refs, 0);
}

TEST(CComBSTR, OwnsOneText) {
  const long live = stand_in::LiveBstrCount();
  {
    CComBSTR a(L"plate.dxf");
    CComBSTR b = a;
    EXPECT_NE(a.m_str, b.m_str);
    EXPECT_EQ(b.Length(), 9u);
    CComBSTR& same = b;
    b = same;
    EXPECT_STREQ(b, L"plate.dxf");
    CComBSTR empty(L"");
    EXPECT_NE(empty.m_str, nullptr);
    EXPECT_EQ(empty.Length(), 0u);
  }
  EXPECT_EQ(stand_in::LiveBstrCount(), live);
}
