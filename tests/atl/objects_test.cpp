// Object roots, the COM map, CComObject and the module lock it takes.
#include <alloc_limit.h>
#include <gtest/gtest.h>

#include "atl_test_module.h"

namespace {

struct IFirst : IUnknown {
  STDMETHOD_(int, Which)() PURE;
};
struct ISecond : IUnknown {
  STDMETHOD_(int, Which)() PURE;
};
}  // namespace
STAND_IN_INTERFACE_ID(IFirst, "0F1E2D3C-4B5A-6978-8796-A5B4C3D2E101");
STAND_IN_INTERFACE_ID(ISecond, "0F1E2D3C-4B5A-6978-8796-A5B4C3D2E102");

namespace {

int g_destroyed = 0;

class ATL_NO_VTABLE CTwoFaces : public CComObjectRootEx<CComSingleThreadModel>, public IFirst, public ISecond {
 public:
  ~CTwoFaces() { ++g_destroyed; }
  BEGIN_COM_MAP(CTwoFaces)
    COM_INTERFACE_ENTRY(IFirst)
    COM_INTERFACE_ENTRY(ISecond)
  END_COM_MAP()
  // One implementation serves both tables; the pointer tells them apart.
  STDMETHOD_(int, Which)() override { return 0; }
};

// An object whose construction fails after it was made.
class ATL_NO_VTABLE CRefusing : public CComObjectRootEx<CComSingleThreadModel>, public IFirst {
 public:
  ~CRefusing() { ++g_destroyed; }
  HRESULT FinalConstruct() { return E_ACCESSDENIED; }
  BEGIN_COM_MAP(CRefusing)
    COM_INTERFACE_ENTRY(IFirst)
  END_COM_MAP()
  STDMETHOD_(int, Which)() override { return 1; }
};

TEST(ThreadModel, SingleCountsPlainlyMultiAtomically) {
  LONG n = 0;
  EXPECT_EQ(CComSingleThreadModel::Increment(&n), 1u);
  EXPECT_EQ(CComSingleThreadModel::Increment(&n), 2u);
  EXPECT_EQ(CComSingleThreadModel::Decrement(&n), 1u);
  EXPECT_EQ(CComMultiThreadModel::Increment(&n), 2u);
  EXPECT_EQ(CComMultiThreadModel::Decrement(&n), 1u);
  EXPECT_EQ(CComMultiThreadModel::Decrement(&n), 0u);
}

TEST(CComObject, CreateInstanceGivesCountZeroAndHoldsOneModuleLock) {
  EXPECT_EQ(CComObject<CTwoFaces>::CreateInstance(nullptr), E_POINTER);

  const LONG locks = _AtlModule.GetLockCount();
  const int destroyed = g_destroyed;
  CComObject<CTwoFaces>* object = reinterpret_cast<CComObject<CTwoFaces>*>(1);
  ASSERT_EQ(CComObject<CTwoFaces>::CreateInstance(&object), S_OK);
  ASSERT_NE(object, nullptr);
  EXPECT_EQ(object->m_dwRef, 0);
  EXPECT_EQ(_AtlModule.GetLockCount(), locks + 1);

  EXPECT_EQ(object->AddRef(), 1u);
  EXPECT_EQ(object->AddRef(), 2u);
  EXPECT_EQ(object->Release(), 1u);
  EXPECT_EQ(g_destroyed, destroyed);
  EXPECT_EQ(object->Release(), 0u);
  EXPECT_EQ(g_destroyed, destroyed + 1);
  EXPECT_EQ(_AtlModule.GetLockCount(), locks);
}

TEST(CComObject, OutOfMemoryLeavesTheOutPointerNullAndTakesNoLock) {
  if (!test_support::AllocationLimit::Available()) GTEST_SKIP() << "no allocation hook in this build";
  const LONG locks = _AtlModule.GetLockCount();
  CComObject<CTwoFaces>* object = reinterpret_cast<CComObject<CTwoFaces>*>(1);
  HRESULT hr;
  {
    test_support::AllocationLimit limit(test_support::AllocationLimit::FailFrom(1));
    hr = CComObject<CTwoFaces>::CreateInstance(&object);
  }
  EXPECT_EQ(hr, E_OUTOFMEMORY);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(_AtlModule.GetLockCount(), locks);
}

TEST(CComObject, FailedConstructionDestroysTheObjectAndGivesTheLockBack) {
  const LONG locks = _AtlModule.GetLockCount();
  const int destroyed = g_destroyed;
  CComObject<CRefusing>* object = reinterpret_cast<CComObject<CRefusing>*>(1);
  EXPECT_EQ(CComObject<CRefusing>::CreateInstance(&object), E_ACCESSDENIED);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(g_destroyed, destroyed + 1);
  EXPECT_EQ(_AtlModule.GetLockCount(), locks);
}

TEST(ComMap, AnswersItsEntriesAndIUnknownWithTheFirst) {
  CComObject<CTwoFaces>* object = nullptr;
  ASSERT_EQ(CComObject<CTwoFaces>::CreateInstance(&object), S_OK);
  object->AddRef();
  IFirst* first = object;
  ISecond* second = object;
  ASSERT_NE(static_cast<void*>(first), static_cast<void*>(second));

  struct Case {
    IID iid;
    HRESULT hr;
    void* expected;
  };
  const Case cases[] = {
      {IID_IUnknown, S_OK, first},
      {__uuidof(IFirst), S_OK, first},
      {__uuidof(ISecond), S_OK, second},
      {IID_IDispatch, E_NOINTERFACE, nullptr},
      {IID_NULL, E_NOINTERFACE, nullptr},
  };
  for (const Case& c : cases) {
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(object->QueryInterface(c.iid, &out), c.hr);
    EXPECT_EQ(out, c.expected);
    if (out) static_cast<IUnknown*>(out)->Release();
  }
  // Asked through either table, the identity is the same.
  IUnknown* a = nullptr;
  IUnknown* b = nullptr;
  ASSERT_EQ(second->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&a)), S_OK);
  ASSERT_EQ(first->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&b)), S_OK);
  EXPECT_EQ(a, b);
  a->Release();
  b->Release();
  EXPECT_EQ(object->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
  EXPECT_EQ(object->m_dwRef, 1);
  EXPECT_EQ(object->Release(), 0u);
}

TEST(ComMap, CreatorQueriesAndDestroysTheObjectWhenTheQueryFails) {
  const LONG locks = _AtlModule.GetLockCount();
  const int destroyed = g_destroyed;
  typedef CComCreator<CComObject<CTwoFaces>> Creator;
  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(Creator::CreateInstance(nullptr, IID_IDispatch, &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(g_destroyed, destroyed + 1);
  EXPECT_EQ(_AtlModule.GetLockCount(), locks);

  ASSERT_EQ(Creator::CreateInstance(nullptr, __uuidof(ISecond), &out), S_OK);
  ISecond* second = static_cast<ISecond*>(out);
  EXPECT_EQ(_AtlModule.GetLockCount(), locks + 1);
  EXPECT_EQ(second->Release(), 0u);
  EXPECT_EQ(_AtlModule.GetLockCount(), locks);
  EXPECT_EQ(Creator::CreateInstance(nullptr, IID_IUnknown, nullptr), E_POINTER);
}

}  // namespace
