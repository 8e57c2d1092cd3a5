// The object map's class factories: made once and cached, the lock count
// they take while held or locked, and CreateInstance's results.
#include <alloc_limit.h>
#include <gtest/gtest.h>

#include "atl_test_module.h"

namespace {

CComPtr<IClassFactory> Factory(REFCLSID clsid) {
  CComPtr<IClassFactory> factory;
  EXPECT_EQ(_AtlModule.DllGetClassObject(clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
  return factory;
}

TEST(ClassObject, UnknownClassAndNullOutPointer) {
  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(_AtlModule.DllGetClassObject(IID_IDispatch, IID_IClassFactory, &out), CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(_AtlModule.DllGetClassObject(CLSID_MapFirst, IID_IClassFactory, nullptr), E_POINTER);
  out = reinterpret_cast<void*>(1);
  EXPECT_EQ(_AtlModule.DllGetClassObject(CLSID_MapFirst, IID_IDispatch, &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
}

TEST(ClassObject, SameFactoryEveryTimeAndOnePerClass) {
  CComPtr<IClassFactory> a = Factory(CLSID_MapFirst);
  CComPtr<IClassFactory> b = Factory(CLSID_MapFirst);
  CComPtr<IClassFactory> c = Factory(CLSID_MapSecond);
  ASSERT_TRUE(a && b && c);
  EXPECT_EQ(a.p, b.p);
  EXPECT_NE(a.p, c.p);
  CComPtr<IUnknown> unknown;
  ASSERT_EQ(_AtlModule.DllGetClassObject(CLSID_MapFirst, IID_IUnknown, reinterpret_cast<void**>(&unknown)), S_OK);
  EXPECT_EQ(static_cast<void*>(unknown.p), static_cast<void*>(a.p));
}

TEST(ClassObject, LockCountThroughObjectsHeldAndLockedFactories) {
  ASSERT_EQ(_AtlModule.GetLockCount(), 0);
  EXPECT_EQ(_AtlModule.DllCanUnloadNow(), S_OK);

  // A held factory locks the module; the map's own reference does not.
  IClassFactory* factory = nullptr;
  ASSERT_EQ(_AtlModule.DllGetClassObject(CLSID_MapFirst, IID_IClassFactory, reinterpret_cast<void**>(&factory)),
            S_OK);
  EXPECT_EQ(_AtlModule.GetLockCount(), 1);
  EXPECT_EQ(_AtlModule.DllCanUnloadNow(), S_FALSE);
  factory->AddRef();
  EXPECT_EQ(_AtlModule.GetLockCount(), 1);

  IAtlThing* thing = nullptr;
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_IAtlThing, reinterpret_cast<void**>(&thing)), S_OK);
  EXPECT_EQ(atl_test::LiveObjects(), 1);
  EXPECT_EQ(_AtlModule.GetLockCount(), 2);

  EXPECT_EQ(factory->LockServer(TRUE), S_OK);
  EXPECT_EQ(_AtlModule.GetLockCount(), 3);
  factory->Release();
  factory->Release();  // the client lets go; the locked server stays locked
  EXPECT_EQ(_AtlModule.GetLockCount(), 2);

  EXPECT_EQ(thing->Release(), 0u);
  EXPECT_EQ(atl_test::LiveObjects(), 0);
  EXPECT_EQ(_AtlModule.GetLockCount(), 1);
  EXPECT_EQ(_AtlModule.DllCanUnloadNow(), S_FALSE);

  factory = Factory(CLSID_MapFirst).Detach();
  EXPECT_EQ(_AtlModule.GetLockCount(), 2);
  EXPECT_EQ(factory->LockServer(FALSE), S_OK);
  EXPECT_EQ(_AtlModule.GetLockCount(), 1);
  factory->Release();
  EXPECT_EQ(_AtlModule.GetLockCount(), 0);
  EXPECT_EQ(_AtlModule.DllCanUnloadNow(), S_OK);
}

TEST(ClassFactory, CreateInstanceResults) {
  CComPtr<IClassFactory> factory = Factory(CLSID_MapSecond);
  ASSERT_TRUE(factory);
  const LONG locks = _AtlModule.GetLockCount();

  EXPECT_EQ(factory->CreateInstance(nullptr, IID_IAtlThing, nullptr), E_POINTER);

  // Aggregation is refused and the out pointer is null.
  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(factory->CreateInstance(factory, IID_IUnknown, &out), CLASS_E_NOAGGREGATION);
  EXPECT_EQ(out, nullptr);
  out = reinterpret_cast<void*>(1);
  EXPECT_EQ(factory->CreateInstance(factory, IID_IAtlThing, &out), CLASS_E_NOAGGREGATION);
  EXPECT_EQ(out, nullptr);

  // An interface the class has not: the new object is destroyed again.
  out = reinterpret_cast<void*>(1);
  EXPECT_EQ(factory->CreateInstance(nullptr, IID_IClassFactory, &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(atl_test::LiveObjects(), 0);
  EXPECT_EQ(_AtlModule.GetLockCount(), locks);

  CComPtr<IDispatch> dispatch;
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_IDispatch, reinterpret_cast<void**>(&dispatch)), S_OK);
  EXPECT_EQ(atl_test::LiveObjects(), 1);
  EXPECT_EQ(_AtlModule.GetLockCount(), locks + 1);
  CComPtr<IAtlThing> thing;
  EXPECT_EQ(dispatch.QueryInterface(&thing), S_OK);
  EXPECT_EQ(static_cast<void*>(thing.p), static_cast<void*>(dispatch.p));
  thing.Release();
  dispatch.Release();
  EXPECT_EQ(atl_test::LiveObjects(), 0);
  EXPECT_EQ(_AtlModule.GetLockCount(), locks);
}

TEST(ClassFactory, OutOfMemoryIsAResultWithANullOutPointer) {
  if (!test_support::AllocationLimit::Available()) GTEST_SKIP() << "no allocation hook in this build";
  CComPtr<IClassFactory> factory = Factory(CLSID_MapSecond);
  ASSERT_TRUE(factory);
  const LONG locks = _AtlModule.GetLockCount();
  void* out = reinterpret_cast<void*>(1);
  HRESULT hr;
  {
    test_support::AllocationLimit limit(test_support::AllocationLimit::FailFrom(1));
    hr = factory->CreateInstance(nullptr, IID_IAtlThing, &out);
  }
  EXPECT_EQ(hr, E_OUTOFMEMORY);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(atl_test::LiveObjects(), 0);
  EXPECT_EQ(_AtlModule.GetLockCount(), locks);
}

TEST(ClassFactory, CoClassCreatesThroughItsCreator) {
  CComPtr<IAtlThing> thing;
  EXPECT_EQ(CMapFirst::CreateInstance(&thing), S_OK);
  ASSERT_TRUE(thing);
  EXPECT_EQ(CMapFirst::GetObjectCLSID(), CLSID_MapFirst);
  LONG sum = 0;
  EXPECT_EQ(thing->Add(2, 3, &sum), S_OK);
  EXPECT_EQ(sum, 5);
}

}  // namespace
