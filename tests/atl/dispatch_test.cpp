// IDispatchImpl: type information from the registered type library only.
#include <gtest/gtest.h>

#include "atl_test_module.h"

namespace {

HRESULT RegisterTestLibrary() {
  CComPtr<ITypeLib> lib;
  HRESULT hr = LoadTypeLib(L"Z:" ATL_TEST_TLB_W, &lib);
  if (FAILED(hr)) return hr;
  return RegisterTypeLib(lib, L"Z:" ATL_TEST_TLB_W, nullptr);
}

TEST(IDispatchImpl, FailsBeforeRegistrationAndResolvesAfter) {
  atl_test::ScopedRegistry registry;
  CComPtr<IAtlThing> thing;
  ASSERT_EQ(CMapFirst::CreateInstance(&thing), S_OK);
  CComPtr<IDispatch> dispatch;
  ASSERT_EQ(thing.QueryInterface(&dispatch), S_OK);

  UINT count = 0;
  EXPECT_EQ(dispatch->GetTypeInfoCount(&count), S_OK);
  EXPECT_EQ(count, 1u);
  EXPECT_EQ(dispatch->GetTypeInfoCount(nullptr), E_POINTER);

  OLECHAR name[] = L"Add";
  LPOLESTR names[] = {name};
  DISPID id = 0;
  EXPECT_TRUE(FAILED(dispatch->GetIDsOfNames(IID_NULL, names, 1, 0x409, &id)));
  ITypeInfo* info = reinterpret_cast<ITypeInfo*>(1);
  EXPECT_TRUE(FAILED(dispatch->GetTypeInfo(0, 0x409, &info)));
  EXPECT_EQ(info, nullptr);
  DISPPARAMS none = {nullptr, nullptr, 0, 0};
  EXPECT_TRUE(FAILED(dispatch->Invoke(1, IID_NULL, 0x409, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr)));

  ASSERT_EQ(RegisterTestLibrary(), S_OK);

  EXPECT_EQ(dispatch->GetIDsOfNames(IID_NULL, names, 1, 0x409, &id), S_OK);
  EXPECT_EQ(id, 2);
  OLECHAR named[] = L"Named";
  names[0] = named;
  EXPECT_EQ(dispatch->GetIDsOfNames(IID_NULL, names, 1, 0x409, &id), S_OK);
  EXPECT_EQ(id, 7);

  // Invoke reaches the object's method through the library's description.
  VARIANT args[2];
  VariantInit(&args[0]);
  VariantInit(&args[1]);
  args[0].vt = VT_I4;
  args[0].lVal = 40;  // b: arguments come last first
  args[1].vt = VT_I4;
  args[1].lVal = 2;
  DISPPARAMS params = {args, nullptr, 2, 0};
  VARIANT result;
  VariantInit(&result);
  EXPECT_EQ(dispatch->Invoke(2, IID_NULL, 0x409, DISPATCH_METHOD, &params, &result, nullptr, nullptr), S_OK);
  EXPECT_EQ(result.vt, VT_I4);
  EXPECT_EQ(result.lVal, 42);
  EXPECT_EQ(dispatch->Invoke(1, IID_NULL, 0x409, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr), S_OK);
  EXPECT_EQ(static_cast<CMapFirst*>(static_cast<IAtlThing*>(thing.p))->pings, 1);

  ASSERT_EQ(dispatch->GetTypeInfo(0, 0x409, &info), S_OK);
  ASSERT_NE(info, nullptr);
  TYPEATTR* attr = nullptr;
  ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
  EXPECT_EQ(attr->guid, IID_IAtlThing);
  info->ReleaseTypeAttr(attr);
  info->Release();
  info = reinterpret_cast<ITypeInfo*>(1);
  EXPECT_EQ(dispatch->GetTypeInfo(1, 0x409, &info), DISP_E_BADINDEX);
  EXPECT_EQ(info, nullptr);
  EXPECT_EQ(dispatch->GetTypeInfo(0, 0x409, nullptr), E_POINTER);
}

}  // namespace
