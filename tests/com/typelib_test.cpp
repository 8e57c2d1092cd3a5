// Type libraries compiled by widl from our own IDL: the generated header, the
// reader, Invoke through the vtable, registration.
#include <ole2.h>
#include <stand_in/paths.h>
#include <stand_in/registry.h>

#include <typelib_events.h>
#include <typelib_test.h>

#include <gtest/gtest.h>

#include "temp_registry.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

std::vector<uint8_t> ReadBytes(const char* path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::wstring TestTlbPath() { return stand_in::WindowsPath(TYPELIB_TEST_TLB); }

std::wstring Text(BSTR b) {
  std::wstring s = b ? std::wstring(b, SysStringLen(b)) : L"<null>";
  SysFreeString(b);
  return s;
}

// A C++ object behind the test interface, recording what it was called with.
class Addin final : public ITestAddin {
 public:
  STDMETHODIMP QueryInterface(REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_ITestAddin) {
      *out = static_cast<ITestAddin*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
  STDMETHODIMP_(ULONG) Release() override { return --refs; }
  STDMETHODIMP GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return E_NOTIMPL;
  }
  STDMETHODIMP Callback() override { return Log(L"Callback"); }
  STDMETHODIMP Enable(LONG* status) override {
    *status = 1;
    return Log(L"Enable");
  }
  STDMETHODIMP Import() override { return Log(L"Import"); }
  STDMETHODIMP Help() override { return Log(L"Help"); }
  STDMETHODIMP About() override { return Log(L"About"); }
  STDMETHODIMP Open(BSTR path) override { return Log(L"Open " + std::wstring(path ? path : L"<null>")); }
  STDMETHODIMP Mix(SHORT a, ULONG b, VARIANT_BOOL c, IDispatch* d, IUnknown* e, LONG* sum) override {
    *sum = a + static_cast<LONG>(b) + (c == VARIANT_TRUE ? 1000 : 0) + (d ? 10000 : 0) + (e ? 100000 : 0);
    return Log(L"Mix");
  }
  STDMETHODIMP Twice(LONG* value) override {
    *value *= 2;
    return Log(L"Twice");
  }
  STDMETHODIMP Fail(LONG code) override {
    Log(L"Fail");
    return static_cast<HRESULT>(code);
  }
  STDMETHODIMP Name(BSTR* name) override {
    *name = SysAllocString(L"addin");
    return Log(L"Name");
  }
  STDMETHODIMP get_Count(LONG* count) override {
    *count = count_;
    return Log(L"get_Count");
  }
  STDMETHODIMP put_Count(LONG count) override {
    count_ = count;
    return Log(L"put_Count");
  }

  std::vector<std::wstring> calls;
  ULONG refs = 1;

 private:
  HRESULT Log(const std::wstring& call) {
    calls.push_back(call);
    return S_OK;
  }
  LONG count_ = 0;
};

class TypeLibTest : public ::testing::Test {
 protected:
  void SetUp() override {
    bstrs_ = stand_in::LiveBstrCount();
    ASSERT_EQ(LoadTypeLib(TestTlbPath().c_str(), &lib_), S_OK) << stand_in::TypeLibLoadError();
  }
  void TearDown() override {
    if (lib_) {
      EXPECT_EQ(lib_->Release(), 0u);
    }
    EXPECT_EQ(stand_in::LiveBstrCount(), bstrs_);
  }
  ITypeInfo* Info(REFGUID guid) {
    ITypeInfo* info = nullptr;
    EXPECT_EQ(lib_->GetTypeInfoOfGuid(guid, &info), S_OK);
    return info;
  }
  // The vtable half of a dual interface.
  ITypeInfo* VtableInfo(REFGUID guid) {
    ITypeInfo* dispatch = Info(guid);
    HREFTYPE ref = 0;
    EXPECT_EQ(dispatch->GetRefTypeOfImplType(static_cast<UINT>(-1), &ref), S_OK);
    ITypeInfo* info = nullptr;
    EXPECT_EQ(dispatch->GetRefTypeInfo(ref, &info), S_OK);
    dispatch->Release();
    return info;
  }

  ITypeLib* lib_ = nullptr;
  long bstrs_ = 0;
};

}  // namespace

TEST(WidlHeader, GivesInterfacesTheirIdsAndDeclaredVtableOrder) {
  EXPECT_EQ(__uuidof(ITestAddin), IID_ITestAddin);
  EXPECT_EQ(__uuidof(ITestHandler), IID_ITestHandler);
  EXPECT_EQ(__uuidof(TestAddin), CLSID_TestAddin);
  EXPECT_EQ(IID_ITestAddin, stand_in::GuidFromText("5A0C7E21-4B3D-4F60-9A1B-2C3D4E5F6001"));
  EXPECT_EQ(LIBID_TypelibTestLib, stand_in::GuidFromText("5A0C7E21-4B3D-4F60-9A1B-2C3D4E5F6000"));
  EXPECT_EQ(DIID_ITestEvents, stand_in::GuidFromText("5A0C7E21-4B3D-4F60-9A1B-2C3D4E5F6103"));
  EXPECT_EQ(__uuidof(ITestEvents), DIID_ITestEvents);

  // Slots 7, 8, 9 are the first methods after IDispatch's, in IDL order.
  Addin addin;
  ITestAddin* face = &addin;
  void** vtable = *reinterpret_cast<void***>(face);
  using Plain = HRESULT (*)(ITestAddin*);
  using WithLong = HRESULT (*)(ITestAddin*, LONG*);
  EXPECT_EQ(reinterpret_cast<Plain>(vtable[7])(face), S_OK);
  LONG status = 0;
  EXPECT_EQ(reinterpret_cast<WithLong>(vtable[8])(face, &status), S_OK);
  EXPECT_EQ(reinterpret_cast<Plain>(vtable[9])(face), S_OK);
  EXPECT_EQ(status, 1);
  EXPECT_EQ(addin.calls, (std::vector<std::wstring>{L"Callback", L"Enable", L"Import"}));
}

TEST_F(TypeLibTest, ReadsTheLibraryAttributes) {
  TLIBATTR* attr = nullptr;
  ASSERT_EQ(lib_->GetLibAttr(&attr), S_OK);
  EXPECT_EQ(attr->guid, LIBID_TypelibTestLib);
  EXPECT_EQ(attr->wMajorVerNum, 1);
  EXPECT_EQ(attr->wMinorVerNum, 0);
  EXPECT_EQ(attr->lcid, 0u);
  EXPECT_EQ(attr->syskind, SYS_WIN64);
  lib_->ReleaseTLibAttr(attr);
  BSTR name = nullptr, doc = nullptr, file = nullptr;
  DWORD context = 7;
  ASSERT_EQ(lib_->GetDocumentation(-1, &name, &doc, &context, &file), S_OK);
  EXPECT_EQ(Text(name), L"TypelibTestLib");
  EXPECT_EQ(Text(doc), L"TypelibTest 1.0 Type Library");
  EXPECT_EQ(context, 0u);
  EXPECT_EQ(file, nullptr);
}

TEST_F(TypeLibTest, ListsEveryTypeWithKindNameGuidAndFlags) {
  struct Expected {
    TYPEKIND kind;
    const wchar_t* name;
    GUID guid;
    WORD flags;
    const wchar_t* doc;
  };
  const WORD dual = TYPEFLAG_FDUAL | TYPEFLAG_FNONEXTENSIBLE | TYPEFLAG_FOLEAUTOMATION | TYPEFLAG_FDISPATCHABLE;
  const Expected expected[] = {
      {TKIND_COCLASS, L"TestAddin", CLSID_TestAddin, TYPEFLAG_FCANCREATE, L"TestAddin Class"},
      {TKIND_DISPATCH, L"ITestAddin", IID_ITestAddin, dual, L"ITestAddin Interface"},
      {TKIND_COCLASS, L"TestHandler", CLSID_TestHandler, TYPEFLAG_FCANCREATE, L"TestHandler Class"},
      {TKIND_DISPATCH, L"ITestHandler", IID_ITestHandler, dual, L"ITestHandler Interface"},
  };
  ASSERT_EQ(lib_->GetTypeInfoCount(), std::size(expected));
  for (UINT i = 0; i < std::size(expected); ++i) {
    const Expected& e = expected[i];
    TYPEKIND kind;
    ASSERT_EQ(lib_->GetTypeInfoType(i, &kind), S_OK);
    EXPECT_EQ(kind, e.kind) << i;
    ITypeInfo* info = nullptr;
    ASSERT_EQ(lib_->GetTypeInfo(i, &info), S_OK);
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
    EXPECT_EQ(attr->typekind, e.kind) << i;
    EXPECT_EQ(attr->guid, e.guid) << i;
    EXPECT_EQ(attr->wTypeFlags, e.flags) << i;
    EXPECT_EQ(attr->cImplTypes, 1) << i;
    if (e.kind == TKIND_DISPATCH) {
      EXPECT_EQ(attr->cbSizeVft, 56) << i;
    }
    info->ReleaseTypeAttr(attr);
    BSTR name = nullptr, doc = nullptr;
    ASSERT_EQ(info->GetDocumentation(MEMBERID_NIL, &name, &doc, nullptr, nullptr), S_OK);
    EXPECT_EQ(Text(name), e.name);
    EXPECT_EQ(Text(doc), e.doc);
    UINT index = 99;
    ITypeLib* container = nullptr;
    ASSERT_EQ(info->GetContainingTypeLib(&container, &index), S_OK);
    EXPECT_EQ(container, lib_);
    EXPECT_EQ(index, i);
    container->Release();
    info->Release();
  }
  ITypeInfo* none = reinterpret_cast<ITypeInfo*>(1);
  EXPECT_EQ(lib_->GetTypeInfo(4, &none), TYPE_E_ELEMENTNOTFOUND);
  EXPECT_EQ(none, nullptr);
  EXPECT_EQ(lib_->GetTypeInfoOfGuid(GUID_NULL, &none), TYPE_E_ELEMENTNOTFOUND);
}

TEST_F(TypeLibTest, ReadsEveryFunctionOfTheVtableInterface) {
  struct Param {
    const wchar_t* name;
    VARTYPE vt;
    VARTYPE pointee;
    USHORT flags;
  };
  struct Expected {
    MEMBERID memid;
    const wchar_t* name;
    INVOKEKIND invkind;
    const wchar_t* help;
    std::vector<Param> params;
  };
  const USHORT in = PARAMFLAG_FIN, outRetval = PARAMFLAG_FOUT | PARAMFLAG_FRETVAL;
  // As msft_dump.py prints the library (names share their first spelling).
  const std::vector<Expected> expected = {
      {3, L"Callback", INVOKE_FUNC, L"method Callback", {}},
      {4, L"Enable", INVOKE_FUNC, L"method Enable", {{L"status", VT_PTR, VT_I4, outRetval}}},
      {5, L"Import", INVOKE_FUNC, L"method Import", {}},
      {6, L"Help", INVOKE_FUNC, L"method Help", {}},
      {8, L"About", INVOKE_FUNC, L"method About", {}},
      {9, L"Open", INVOKE_FUNC, nullptr, {{L"path", VT_BSTR, 0, in}}},
      {10, L"Mix", INVOKE_FUNC, L"method Mix",
       {{L"a", VT_I2, 0, in}, {L"b", VT_UI4, 0, in}, {L"c", VT_BOOL, 0, in}, {L"d", VT_DISPATCH, 0, in},
        {L"e", VT_UNKNOWN, 0, in}, {L"sum", VT_PTR, VT_I4, outRetval}}},
      {11, L"Twice", INVOKE_FUNC, nullptr, {{L"value", VT_PTR, VT_I4, PARAMFLAG_FIN | PARAMFLAG_FOUT}}},
      {12, L"Fail", INVOKE_FUNC, nullptr, {{L"code", VT_I4, 0, in}}},
      {13, L"Name", INVOKE_FUNC, nullptr, {{L"Name", VT_PTR, VT_BSTR, outRetval}}},
      {14, L"Count", INVOKE_PROPERTYGET, nullptr, {{L"Count", VT_PTR, VT_I4, outRetval}}},
      {14, L"Count", INVOKE_PROPERTYPUT, nullptr, {{L"", VT_I4, 0, in}}},
  };
  ITypeInfo* info = VtableInfo(IID_ITestAddin);
  TYPEATTR* attr = nullptr;
  ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
  EXPECT_EQ(attr->typekind, TKIND_INTERFACE);
  EXPECT_EQ(attr->guid, IID_ITestAddin);
  ASSERT_EQ(attr->cFuncs, expected.size());
  EXPECT_EQ(attr->cbSizeVft, 56 + 8 * expected.size());
  info->ReleaseTypeAttr(attr);
  for (UINT i = 0; i < expected.size(); ++i) {
    const Expected& e = expected[i];
    FUNCDESC* f = nullptr;
    ASSERT_EQ(info->GetFuncDesc(i, &f), S_OK);
    EXPECT_EQ(f->memid, e.memid) << i;
    EXPECT_EQ(f->invkind, e.invkind) << i;
    EXPECT_EQ(f->funckind, FUNC_PUREVIRTUAL) << i;
    EXPECT_EQ(f->callconv, CC_STDCALL) << i;
    EXPECT_EQ(f->oVft, 56 + 8 * static_cast<int>(i)) << i;
    EXPECT_EQ(f->elemdescFunc.tdesc.vt, VT_HRESULT) << i;
    ASSERT_EQ(f->cParams, static_cast<SHORT>(e.params.size())) << i;
    for (size_t p = 0; p < e.params.size(); ++p) {
      const ELEMDESC& d = f->lprgelemdescParam[p];
      EXPECT_EQ(d.tdesc.vt, e.params[p].vt) << i << "/" << p;
      if (d.tdesc.vt == VT_PTR) {
        EXPECT_EQ(d.tdesc.lptdesc->vt, e.params[p].pointee) << i << "/" << p;
      }
      EXPECT_EQ(d.paramdesc.wParamFlags, e.params[p].flags) << i << "/" << p;
    }
    BSTR names[8] = {};
    UINT count = 0;
    ASSERT_EQ(info->GetNames(f->memid, names, 8, &count), S_OK);
    if (e.invkind != INVOKE_PROPERTYPUT) {
      ASSERT_EQ(count, 1 + e.params.size()) << i;
      for (size_t p = 0; p < e.params.size(); ++p) EXPECT_EQ(Text(names[1 + p]), e.params[p].name) << i;
    } else {
      for (UINT n = 1; n < count; ++n) SysFreeString(names[n]);
    }
    EXPECT_EQ(Text(names[0]), e.name) << i;
    BSTR doc = nullptr;
    ASSERT_EQ(info->GetDocumentation(f->memid, nullptr, &doc, nullptr, nullptr), S_OK);
    if (e.help) {
      EXPECT_EQ(Text(doc), e.help) << i;
    } else {
      EXPECT_EQ(doc, nullptr) << i;
    }
    info->ReleaseFuncDesc(f);
  }
  FUNCDESC* none = nullptr;
  EXPECT_EQ(info->GetFuncDesc(static_cast<UINT>(expected.size()), &none), TYPE_E_ELEMENTNOTFOUND);
  info->Release();
}

TEST_F(TypeLibTest, TheDispatchViewMovesTheRetvalIntoTheResult) {
  ITypeInfo* info = Info(IID_ITestAddin);
  FUNCDESC* f = nullptr;
  ASSERT_EQ(info->GetFuncDesc(1, &f), S_OK);  // Enable
  EXPECT_EQ(f->memid, 4);
  EXPECT_EQ(f->funckind, FUNC_DISPATCH);
  EXPECT_EQ(f->cParams, 0);
  EXPECT_EQ(f->elemdescFunc.tdesc.vt, VT_I4);
  info->ReleaseFuncDesc(f);
  ASSERT_EQ(info->GetFuncDesc(0, &f), S_OK);  // Callback
  EXPECT_EQ(f->elemdescFunc.tdesc.vt, VT_VOID);
  info->ReleaseFuncDesc(f);
  info->Release();
}

TEST_F(TypeLibTest, ResolvesBasesThroughTheImportedIDispatch) {
  {
    ITypeInfo* info = Info(IID_ITestAddin);
    HREFTYPE ref = 0;
    ASSERT_EQ(info->GetRefTypeOfImplType(0, &ref), S_OK);
    ITypeInfo* base = nullptr;
    ASSERT_EQ(info->GetRefTypeInfo(ref, &base), S_OK);
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(base->GetTypeAttr(&attr), S_OK);
    EXPECT_EQ(attr->guid, IID_IDispatch);
    EXPECT_EQ(attr->cFuncs, 4);
    base->ReleaseTypeAttr(attr);
    // And IDispatch's own base.
    ASSERT_EQ(base->GetRefTypeOfImplType(0, &ref), S_OK);
    ITypeInfo* unknown = nullptr;
    ASSERT_EQ(base->GetRefTypeInfo(ref, &unknown), S_OK);
    ASSERT_EQ(unknown->GetTypeAttr(&attr), S_OK);
    EXPECT_EQ(attr->guid, IID_IUnknown);
    EXPECT_EQ(attr->cImplTypes, 0);
    unknown->ReleaseTypeAttr(attr);
    unknown->Release();
    base->Release();
    info->Release();
  }
  // The dispinterface half has no further interface half.
  ITypeInfo* vtable = VtableInfo(IID_ITestAddin);
  HREFTYPE ref;
  EXPECT_EQ(vtable->GetRefTypeOfImplType(static_cast<UINT>(-1), &ref), TYPE_E_ELEMENTNOTFOUND);
  vtable->Release();
}

TEST_F(TypeLibTest, ClassesNameTheirDefaultAndSourceInterfaces) {
  struct Expected {
    const GUID* clsid;
    std::vector<std::pair<const GUID*, INT>> interfaces;
  };
  const Expected expected[] = {
      {&CLSID_TestAddin, {{&IID_ITestAddin, IMPLTYPEFLAG_FDEFAULT}}},
      {&CLSID_TestHandler, {{&IID_ITestHandler, IMPLTYPEFLAG_FDEFAULT}}},
  };
  for (const Expected& e : expected) {
    ITypeInfo* info = Info(*e.clsid);
    for (UINT i = 0; i < e.interfaces.size(); ++i) {
      INT flags = -1;
      ASSERT_EQ(info->GetImplTypeFlags(i, &flags), S_OK);
      EXPECT_EQ(flags, e.interfaces[i].second);
      HREFTYPE ref;
      ASSERT_EQ(info->GetRefTypeOfImplType(i, &ref), S_OK);
      ITypeInfo* face = nullptr;
      ASSERT_EQ(info->GetRefTypeInfo(ref, &face), S_OK);
      TYPEATTR* attr = nullptr;
      ASSERT_EQ(face->GetTypeAttr(&attr), S_OK);
      EXPECT_EQ(attr->guid, *e.interfaces[i].first);
      EXPECT_EQ(attr->typekind, TKIND_DISPATCH);
      face->ReleaseTypeAttr(attr);
      face->Release();
    }
    INT flags;
    EXPECT_EQ(info->GetImplTypeFlags(static_cast<UINT>(e.interfaces.size()), &flags), TYPE_E_ELEMENTNOTFOUND);
    info->Release();
  }
}

TEST_F(TypeLibTest, GetIDsOfNamesIgnoresCaseAndMarksUnknownNames) {
  ITypeInfo* info = Info(IID_ITestAddin);
  struct Case {
    const wchar_t* name;
    MEMBERID id;
  };
  for (const Case& c : {Case{L"Callback", 3}, Case{L"ENABLE", 4}, Case{L"open", 9}, Case{L"aBoUt", 8},
                        Case{L"Count", 14}, Case{L"Invoke", 0x60010003}, Case{L"QueryInterface", 0x60000000}}) {
    LPOLESTR names[] = {const_cast<LPOLESTR>(c.name)};
    MEMBERID id = 0;
    EXPECT_EQ(info->GetIDsOfNames(names, 1, &id), S_OK) << c.name;
    EXPECT_EQ(id, c.id) << c.name;
  }
  LPOLESTR unknown[] = {const_cast<LPOLESTR>(L"Opening"), const_cast<LPOLESTR>(L"path")};
  MEMBERID ids[2] = {5, 5};
  EXPECT_EQ(info->GetIDsOfNames(unknown, 2, ids), DISP_E_UNKNOWNNAME);
  EXPECT_EQ(ids[0], DISPID_UNKNOWN);
  EXPECT_EQ(ids[1], DISPID_UNKNOWN);
  LPOLESTR withParams[] = {const_cast<LPOLESTR>(L"mix"), const_cast<LPOLESTR>(L"B"), const_cast<LPOLESTR>(L"zz")};
  MEMBERID pids[3];
  EXPECT_EQ(info->GetIDsOfNames(withParams, 3, pids), DISP_E_UNKNOWNNAME);
  EXPECT_EQ(pids[0], 10);
  EXPECT_EQ(pids[1], 1);
  EXPECT_EQ(pids[2], DISPID_UNKNOWN);
  info->Release();
}

namespace {

struct Args {
  std::vector<VARIANT> v;  // in the caller's order; reversed into DISPPARAMS
  DISPPARAMS Params() {
    reversed.assign(v.rbegin(), v.rend());
    return DISPPARAMS{reversed.empty() ? nullptr : reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
  }
  std::vector<VARIANT> reversed;
};

VARIANT I4(LONG n) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_I4;
  v.lVal = n;
  return v;
}

}  // namespace

TEST_F(TypeLibTest, InvokeCallsTheVtableSlotWithCoercedArguments) {
  Addin addin;
  for (bool vtableHalf : {false, true}) {
    ITypeInfo* info = vtableHalf ? VtableInfo(IID_ITestAddin) : Info(IID_ITestAddin);
    addin.calls.clear();
    VARIANT result;
    VariantInit(&result);
    EXCEPINFO ex{};
    UINT argErr = 99;

    DISPPARAMS none{nullptr, nullptr, 0, 0};
    ASSERT_EQ(info->Invoke(static_cast<ITestAddin*>(&addin), 4, DISPATCH_METHOD, &none, &result, &ex, &argErr), S_OK);
    EXPECT_EQ(result.vt, VT_I4);
    EXPECT_EQ(result.lVal, 1);

    Args open;
    VARIANT path;
    VariantInit(&path);
    path.vt = VT_BSTR;
    path.bstrVal = SysAllocString(L"D:\\in\\cube.3ds");
    open.v = {path};
    DISPPARAMS p = open.Params();
    ASSERT_EQ(info->Invoke(static_cast<ITestAddin*>(&addin), 9, DISPATCH_METHOD, &p, &result, &ex, &argErr), S_OK);
    EXPECT_EQ(result.vt, VT_EMPTY);
    VariantClear(&path);

    // Mix(a, b, c, d, e): text, a negative long, a boolean, interfaces.
    Args mix;
    VARIANT a, b, c, d, e;
    VariantInit(&a);
    a.vt = VT_BSTR;
    a.bstrVal = SysAllocString(L"7");
    b = I4(20);
    VariantInit(&c);
    c.vt = VT_BOOL;
    c.boolVal = VARIANT_TRUE;
    VariantInit(&d);
    d.vt = VT_DISPATCH;
    d.pdispVal = &addin;
    VariantInit(&e);
    e.vt = VT_UNKNOWN;
    e.punkVal = nullptr;
    mix.v = {a, b, c, d, e};
    p = mix.Params();
    ASSERT_EQ(info->Invoke(static_cast<ITestAddin*>(&addin), 10, DISPATCH_METHOD, &p, &result, &ex, &argErr), S_OK);
    EXPECT_EQ(result.vt, VT_I4);
    EXPECT_EQ(result.lVal, 7 + 20 + 1000 + 10000);
    VariantClear(&a);
    EXPECT_EQ(addin.refs, 1u);  // the interface argument was given back

    // [in, out] by reference.
    LONG value = 21;
    VARIANT ref;
    VariantInit(&ref);
    ref.vt = VT_BYREF | VT_I4;
    ref.plVal = &value;
    Args twice;
    twice.v = {ref};
    p = twice.Params();
    ASSERT_EQ(info->Invoke(static_cast<ITestAddin*>(&addin), 11, DISPATCH_METHOD, &p, nullptr, &ex, &argErr), S_OK);
    EXPECT_EQ(value, 42);

    ASSERT_EQ(info->Invoke(static_cast<ITestAddin*>(&addin), 13, DISPATCH_METHOD, &none, &result, &ex, &argErr), S_OK);
    EXPECT_EQ(result.vt, VT_BSTR);
    VariantClear(&result);

    // Properties: put with the named DISPID_PROPERTYPUT argument, then get.
    VARIANT five = I4(5);
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS put{&five, &named, 1, 1};
    ASSERT_EQ(info->Invoke(static_cast<ITestAddin*>(&addin), 14, DISPATCH_PROPERTYPUT, &put, nullptr, &ex, &argErr),
              S_OK);
    ASSERT_EQ(info->Invoke(static_cast<ITestAddin*>(&addin), 14, DISPATCH_PROPERTYGET, &none, &result, &ex, &argErr),
              S_OK);
    EXPECT_EQ(result.lVal, 5);

    EXPECT_EQ(addin.calls, (std::vector<std::wstring>{L"Enable", L"Open D:\\in\\cube.3ds", L"Mix", L"Twice", L"Name",
                                                      L"put_Count", L"get_Count"}));
    info->Release();
  }
}

TEST_F(TypeLibTest, InvokeRefusesBadCallsWithTheAutomationErrors) {
  Addin addin;
  ITypeInfo* info = Info(IID_ITestAddin);
  ITestAddin* self = &addin;
  VARIANT result;
  VariantInit(&result);
  EXCEPINFO ex{};
  UINT argErr = 99;
  DISPPARAMS none{nullptr, nullptr, 0, 0};

  EXPECT_EQ(info->Invoke(self, 7, DISPATCH_METHOD, &none, &result, &ex, &argErr), DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(info->Invoke(self, 14, DISPATCH_METHOD, &none, &result, &ex, &argErr), DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(info->Invoke(self, 9, DISPATCH_METHOD, &none, &result, &ex, &argErr), DISP_E_BADPARAMCOUNT);
  Args two;
  two.v = {I4(1), I4(2)};
  DISPPARAMS p = two.Params();
  EXPECT_EQ(info->Invoke(self, 3, DISPATCH_METHOD, &p, &result, &ex, &argErr), DISP_E_BADPARAMCOUNT);

  // Text that is no number as the second argument: rgvarg position 3 of 0..4.
  Args mix;
  VARIANT notNumber;
  VariantInit(&notNumber);
  notNumber.vt = VT_BSTR;
  notNumber.bstrVal = SysAllocString(L"seven");
  mix.v = {I4(1), notNumber, I4(0), I4(0), I4(0)};
  p = mix.Params();
  EXPECT_EQ(info->Invoke(self, 10, DISPATCH_METHOD, &p, &result, &ex, &argErr), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(argErr, 3u);
  VariantClear(&notNumber);
  Args overflow;
  overflow.v = {I4(70000), I4(0), I4(0), I4(0), I4(0)};
  p = overflow.Params();
  EXPECT_EQ(info->Invoke(self, 10, DISPATCH_METHOD, &p, &result, &ex, &argErr), DISP_E_OVERFLOW);
  EXPECT_EQ(argErr, 4u);
  EXPECT_TRUE(addin.calls.empty());

  // A failing method: DISP_E_EXCEPTION with its code.
  Args fail;
  fail.v = {I4(static_cast<LONG>(E_ACCESSDENIED))};
  p = fail.Params();
  EXPECT_EQ(info->Invoke(self, 12, DISPATCH_METHOD, &p, &result, &ex, &argErr), DISP_E_EXCEPTION);
  EXPECT_EQ(ex.scode, E_ACCESSDENIED);
  EXPECT_EQ(addin.calls, std::vector<std::wstring>{L"Fail"});
  info->Release();
}

TEST_F(TypeLibTest, HandedOutDescriptionsAndInfosKeepTheLibraryAlive) {
  ITypeInfo* info = Info(IID_ITestHandler);
  FUNCDESC* f = nullptr;
  ASSERT_EQ(info->GetFuncDesc(0, &f), S_OK);
  EXPECT_EQ(lib_->Release(), 1u);  // the type info holds the library
  lib_ = nullptr;
  EXPECT_EQ(f->memid, 1);
  info->ReleaseFuncDesc(f);
  EXPECT_EQ(info->Release(), 0u);
}

namespace {

// Reads everything a library offers, as a client would; for damaged input.
void Walk(ITypeLib* lib) {
  TLIBATTR* la = nullptr;
  if (SUCCEEDED(lib->GetLibAttr(&la))) lib->ReleaseTLibAttr(la);
  for (UINT i = 0; i < lib->GetTypeInfoCount(); ++i) {
    ITypeInfo* info = nullptr;
    if (FAILED(lib->GetTypeInfo(i, &info))) continue;
    TYPEATTR* ta = nullptr;
    if (SUCCEEDED(info->GetTypeAttr(&ta))) {
      for (UINT f = 0; f < ta->cFuncs; ++f) {
        FUNCDESC* fd = nullptr;
        if (FAILED(info->GetFuncDesc(f, &fd))) continue;
        BSTR names[4] = {};
        UINT n = 0;
        if (SUCCEEDED(info->GetNames(fd->memid, names, 4, &n)))
          for (UINT k = 0; k < n; ++k) SysFreeString(names[k]);
        info->ReleaseFuncDesc(fd);
      }
      for (UINT k = 0; k < ta->cImplTypes; ++k) {
        HREFTYPE ref;
        ITypeInfo* other = nullptr;
        if (SUCCEEDED(info->GetRefTypeOfImplType(k, &ref)) && SUCCEEDED(info->GetRefTypeInfo(ref, &other)))
          other->Release();
      }
      info->ReleaseTypeAttr(ta);
    }
    info->Release();
  }
}

}  // namespace

TEST(TypeLibRead, RefusesTruncatedAndDamagedFilesWithAReason) {
  const std::vector<uint8_t> good = ReadBytes(TYPELIB_TEST_TLB);
  ASSERT_GT(good.size(), 0x100u);
  const long bstrs = stand_in::LiveBstrCount();
  for (size_t cut : {size_t{0}, size_t{3}, size_t{0x53}, size_t{0x60}, good.size() / 2, good.size() - 1}) {
    ITypeLib* lib = reinterpret_cast<ITypeLib*>(1);
    EXPECT_EQ(stand_in::LoadTypeLibFromMemory(good.data(), cut, &lib), TYPE_E_INVDATAREAD) << cut;
    EXPECT_EQ(lib, nullptr);
    EXPECT_STRNE(stand_in::TypeLibLoadError(), "") << cut;
  }
  std::vector<uint8_t> bad = good;
  bad[0] = 'X';
  ITypeLib* lib = nullptr;
  EXPECT_EQ(stand_in::LoadTypeLibFromMemory(bad.data(), bad.size(), &lib), TYPE_E_INVDATAREAD);
  EXPECT_STREQ(stand_in::TypeLibLoadError(), "no MSFT signature");

  // Every 32-bit field set to a hostile value in turn: refused or read whole, never a crash.
  int refused = 0;
  for (size_t at = 0; at + 4 <= good.size(); at += 4) {
    for (uint32_t hostile : {0x7FFFFFF0u, 0xFFFFFFF0u, 0x00000064u}) {
      bad = good;
      std::memcpy(&bad[at], &hostile, 4);
      lib = nullptr;
      if (FAILED(stand_in::LoadTypeLibFromMemory(bad.data(), bad.size(), &lib))) {
        ++refused;
        continue;
      }
      Walk(lib);
      EXPECT_EQ(lib->Release(), 0u);
    }
  }
  EXPECT_GT(refused, 100);
  EXPECT_EQ(stand_in::LiveBstrCount(), bstrs);
}

namespace {
// Where record 1's member block offset is in the file: the typeinfo segment's
// offset from the directory, then 100 bytes a record.
size_t MemberBlockSlot(const std::vector<uint8_t>& tlb) {
  int32_t types;
  std::memcpy(&types, &tlb[0x20], 4);
  const size_t directory = 0x54 + 4 * static_cast<size_t>(types);
  int32_t typeinfo;
  std::memcpy(&typeinfo, &tlb[directory], 4);
  return static_cast<size_t>(typeinfo) + 100 + 4;
}
}  // namespace

TEST(TypeLibRead, RefusesAMemberBlockThatPointsOutsideTheFile) {
  std::vector<uint8_t> bad = ReadBytes(TYPELIB_TEST_TLB);
  const int32_t outside = static_cast<int32_t>(bad.size() - 8);
  std::memcpy(&bad[MemberBlockSlot(bad)], &outside, 4);
  ITypeLib* lib = nullptr;
  EXPECT_EQ(stand_in::LoadTypeLibFromMemory(bad.data(), bad.size(), &lib), TYPE_E_INVDATAREAD);
  EXPECT_NE(std::string(stand_in::TypeLibLoadError()).find("member block"), std::string::npos)
      << stand_in::TypeLibLoadError();
}

TEST(TypeLibRead, RefusesAMemberRecordTooSmallForItsFixedPart) {
  std::vector<uint8_t> bad = ReadBytes(TYPELIB_TEST_TLB);
  // Record 1's member block: its byte count, then the first member's record,
  // whose first word holds the record's size.
  int32_t block;
  std::memcpy(&block, &bad[MemberBlockSlot(bad)], 4);
  const size_t first = static_cast<size_t>(block) + 4;
  const uint16_t tooSmall = 8;
  std::memcpy(&bad[first], &tooSmall, 2);
  ITypeLib* lib = reinterpret_cast<ITypeLib*>(1);
  EXPECT_EQ(stand_in::LoadTypeLibFromMemory(bad.data(), bad.size(), &lib), TYPE_E_INVDATAREAD);
  EXPECT_EQ(lib, nullptr);
  EXPECT_NE(std::string(stand_in::TypeLibLoadError()).find("record has the bad size 8"), std::string::npos)
      << stand_in::TypeLibLoadError();
}

TEST(TypeLibRead, MissingFilesAndModulesWithoutTheResourceAreRefused) {
  ITypeLib* lib = reinterpret_cast<ITypeLib*>(1);
  EXPECT_EQ(LoadTypeLib(L"Z:\\no\\such\\file.tlb", &lib), TYPE_E_CANTLOADLIBRARY);
  EXPECT_EQ(lib, nullptr);
  EXPECT_EQ(LoadTypeLib(nullptr, &lib), E_INVALIDARG);
  // "\2" selects a resource: a plain .tlb has none.
  std::wstring second = TestTlbPath() + L"\\2";
  EXPECT_TRUE(FAILED(LoadTypeLib(second.c_str(), &lib)));
  EXPECT_EQ(lib, nullptr);
}

namespace {

class TypeLibRegistry : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(registry_.dir().empty()) << "no folder for the registry file";
    ASSERT_EQ(LoadTypeLib(TestTlbPath().c_str(), &lib_), S_OK);
  }
  void TearDown() override {
    if (lib_) lib_->Release();
  }
  static std::wstring Value(HKEY root, const std::wstring& path, const wchar_t* name = nullptr) {
    HKEY key;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return L"<no key>";
    wchar_t buffer[512];
    DWORD size = sizeof buffer, type = 0;
    LSTATUS s = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
    RegCloseKey(key);
    return s == ERROR_SUCCESS && type == REG_SZ ? std::wstring(buffer) : L"<no value>";
  }
  static bool Exists(HKEY root, const std::wstring& path) {
    HKEY key;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
  }

  test_support::TempRegistry registry_{"typelib-registry"};
  ITypeLib* lib_ = nullptr;
  const std::wstring libKey_ = L"TypeLib\\{5A0C7E21-4B3D-4F60-9A1B-2C3D4E5F6000}";
};

}  // namespace

TEST_F(TypeLibRegistry, RegisterLoadAndUnregisterRoundTrip) {
  const std::wstring path = TestTlbPath();
  ITypeLib* loaded = reinterpret_cast<ITypeLib*>(1);
  EXPECT_EQ(LoadRegTypeLib(LIBID_TypelibTestLib, 1, 0, 0x409, &loaded), TYPE_E_LIBNOTREGISTERED);
  EXPECT_EQ(loaded, nullptr);

  ASSERT_EQ(RegisterTypeLib(lib_, path.c_str(), nullptr), S_OK);
  EXPECT_EQ(Value(HKEY_CLASSES_ROOT, libKey_ + L"\\1.0"), L"TypelibTest 1.0 Type Library");
  EXPECT_EQ(Value(HKEY_CLASSES_ROOT, libKey_ + L"\\1.0\\0\\win64"), path);
  EXPECT_EQ(Value(HKEY_CLASSES_ROOT, libKey_ + L"\\1.0\\FLAGS"), L"0");
  EXPECT_TRUE(Exists(HKEY_CLASSES_ROOT, libKey_ + L"\\1.0\\HELPDIR"));
  const std::wstring addinKey = L"Interface\\{5A0C7E21-4B3D-4F60-9A1B-2C3D4E5F6001}";
  EXPECT_EQ(Value(HKEY_CLASSES_ROOT, addinKey), L"ITestAddin");
  EXPECT_EQ(Value(HKEY_CLASSES_ROOT, addinKey + L"\\ProxyStubClsid32"), L"{00020424-0000-0000-C000-000000000046}");
  EXPECT_EQ(Value(HKEY_CLASSES_ROOT, addinKey + L"\\TypeLib"), L"{5A0C7E21-4B3D-4F60-9A1B-2C3D4E5F6000}");
  EXPECT_EQ(Value(HKEY_CLASSES_ROOT, addinKey + L"\\TypeLib", L"Version"), L"1.0");
  EXPECT_FALSE(Exists(HKEY_CLASSES_ROOT, L"Interface\\{5A0C7E21-4B3D-4F60-9A1B-2C3D4E5F6010}"));  // a class

  // Any locale falls back to the neutral registration; the version must match.
  for (LCID lcid : {LCID{0}, LCID{0x409}, LCID{0x800}}) {
    ASSERT_EQ(LoadRegTypeLib(LIBID_TypelibTestLib, 1, 0, lcid, &loaded), S_OK) << lcid;
    TLIBATTR* attr = nullptr;
    ASSERT_EQ(loaded->GetLibAttr(&attr), S_OK);
    EXPECT_EQ(attr->guid, LIBID_TypelibTestLib);
    loaded->ReleaseTLibAttr(attr);
    loaded->Release();
  }
  EXPECT_EQ(LoadRegTypeLib(LIBID_TypelibTestLib, 1, 1, 0, &loaded), TYPE_E_LIBNOTREGISTERED);
  EXPECT_EQ(LoadRegTypeLib(LIBID_TypelibTestLib, 2, 0, 0, &loaded), TYPE_E_LIBNOTREGISTERED);

  ASSERT_EQ(UnRegisterTypeLib(LIBID_TypelibTestLib, 1, 0, 0, SYS_WIN64), S_OK);
  EXPECT_FALSE(Exists(HKEY_CLASSES_ROOT, libKey_));
  EXPECT_FALSE(Exists(HKEY_CLASSES_ROOT, addinKey));
  EXPECT_EQ(UnRegisterTypeLib(LIBID_TypelibTestLib, 1, 0, 0, SYS_WIN64), TYPE_E_REGISTRYACCESS);
  EXPECT_EQ(LoadRegTypeLib(LIBID_TypelibTestLib, 1, 0, 0, &loaded), TYPE_E_LIBNOTREGISTERED);
}

TEST_F(TypeLibRegistry, VersionsMatchOnMajorAndTakeTheHighestMinor) {
  auto put = [](const std::wstring& key, const std::wstring& value) {
    HKEY k;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr),
              ERROR_SUCCESS);
    RegSetValueExW(k, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(k);
  };
  put(libKey_ + L"\\1.2\\0\\win64", L"C:\\one-two.tlb");
  put(libKey_ + L"\\1.a\\409\\win64", L"C:\\one-ten.tlb");
  put(libKey_ + L"\\a.0\\0\\win32", L"C:\\ten.tlb");
  struct Case {
    WORD major, minor;
    LCID lcid;
    const wchar_t* path;
  };
  for (const Case& c : {Case{1, 0, 0x409, L"C:\\one-ten.tlb"}, Case{1, 3, 0x809, L"<none>"},
                        Case{1, 2, 0x409, L"C:\\one-ten.tlb"}, Case{1, 11, 0x409, L"<none>"},
                        Case{10, 0, 0x407, L"C:\\ten.tlb"}, Case{2, 0, 0, L"<none>"}}) {
    BSTR path = nullptr;
    HRESULT hr = QueryPathOfRegTypeLib(LIBID_TypelibTestLib, c.major, c.minor, c.lcid, &path);
    EXPECT_EQ(SUCCEEDED(hr) ? Text(path) : std::wstring(L"<none>"), c.path) << c.major << "." << c.minor;
  }
}

TEST_F(TypeLibRegistry, PerUserRegistrationLivesUnderTheUsersClasses) {
  std::wstring path = TestTlbPath();
  ASSERT_EQ(RegisterTypeLibForUser(lib_, path.data(), nullptr), S_OK);
  EXPECT_FALSE(Exists(HKEY_CLASSES_ROOT, libKey_));
  EXPECT_EQ(Value(HKEY_CURRENT_USER, L"Software\\Classes\\" + libKey_ + L"\\1.0\\0\\win64"), path);
  ITypeLib* loaded = nullptr;
  ASSERT_EQ(LoadRegTypeLib(LIBID_TypelibTestLib, 1, 0, 0x409, &loaded), S_OK);
  loaded->Release();
  EXPECT_EQ(UnRegisterTypeLib(LIBID_TypelibTestLib, 1, 0, 0, SYS_WIN64), TYPE_E_REGISTRYACCESS);
  ASSERT_EQ(UnRegisterTypeLibForUser(LIBID_TypelibTestLib, 1, 0, 0, SYS_WIN64), S_OK);
  EXPECT_FALSE(Exists(HKEY_CURRENT_USER, L"Software\\Classes\\" + libKey_));
  EXPECT_FALSE(Exists(HKEY_CURRENT_USER, L"Software\\Classes\\Interface\\{5A0C7E21-4B3D-4F60-9A1B-2C3D4E5F6001}"));
}

TEST(Variant, ChangeTypeCoercesAndRefuses) {
  const long bstrs = stand_in::LiveBstrCount();
  VARIANT src, dst;
  VariantInit(&src);
  VariantInit(&dst);
  src.vt = VT_BSTR;
  src.bstrVal = SysAllocString(L" 42 ");
  ASSERT_EQ(VariantChangeType(&dst, &src, 0, VT_I4), S_OK);
  EXPECT_EQ(dst.lVal, 42);
  ASSERT_EQ(VariantChangeType(&src, &src, 0, VT_I2), S_OK);  // in place frees the text
  EXPECT_EQ(src.vt, VT_I2);
  EXPECT_EQ(src.iVal, 42);
  src = I4(-1);
  ASSERT_EQ(VariantChangeType(&dst, &src, VARIANT_ALPHABOOL, VT_BOOL), S_OK);
  EXPECT_EQ(dst.boolVal, VARIANT_TRUE);
  ASSERT_EQ(VariantChangeType(&dst, &dst, VARIANT_ALPHABOOL, VT_BSTR), S_OK);
  EXPECT_STREQ(dst.bstrVal, L"True");
  VariantClear(&dst);
  EXPECT_EQ(VariantChangeType(&dst, &src, 0, VT_UI4), DISP_E_OVERFLOW);
  src.vt = VT_R8;
  src.dblVal = 2.5;
  ASSERT_EQ(VariantChangeType(&dst, &src, 0, VT_I4), S_OK);
  EXPECT_EQ(dst.lVal, 2);  // halves round to even
  src.vt = VT_UNKNOWN;
  src.punkVal = nullptr;
  EXPECT_EQ(VariantChangeType(&dst, &src, 0, VT_I4), DISP_E_TYPEMISMATCH);
  src.vt = 0x7FF;
  EXPECT_EQ(VariantChangeType(&dst, &src, 0, VT_I4), DISP_E_BADVARTYPE);
  EXPECT_EQ(VariantClear(&src), DISP_E_BADVARTYPE);
  // Copies own their text.
  src.vt = VT_BSTR;
  src.bstrVal = SysAllocString(L"x");
  ASSERT_EQ(VariantCopy(&dst, &src), S_OK);
  EXPECT_NE(dst.bstrVal, src.bstrVal);
  VariantClear(&src);
  VariantClear(&dst);
  EXPECT_EQ(stand_in::LiveBstrCount(), bstrs);
}

namespace {

// An object that takes its events by IDispatch::Invoke, as a sink does.
class Sink final : public IDispatch {
 public:
  STDMETHODIMP QueryInterface(REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (riid != IID_IUnknown && riid != IID_IDispatch && riid != DIID_ITestEvents) return E_NOINTERFACE;
    *out = this;
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return 2; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }
  STDMETHODIMP GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                      UINT*) override {
    ids.push_back(id);
    argCounts.push_back(params->cArgs);
    EXPECT_EQ(flags, DISPATCH_METHOD);
    return S_OK;
  }
  std::vector<DISPID> ids;
  std::vector<UINT> argCounts;
};

}  // namespace

TEST(TypeLibEvents, APureDispinterfaceDerivesFromIDispatchAndDispatchesThroughTheInstance) {
  ITypeLib* lib = nullptr;
  ASSERT_EQ(LoadTypeLib(stand_in::WindowsPath(TYPELIB_EVENTS_TLB).c_str(), &lib), S_OK) << stand_in::TypeLibLoadError();
  TLIBATTR* la = nullptr;
  ASSERT_EQ(lib->GetLibAttr(&la), S_OK);
  EXPECT_EQ(la->guid, LIBID_TypelibEventsLib);  // whole: no second import overwrote it
  EXPECT_EQ(la->wMajorVerNum, 2);
  EXPECT_EQ(la->wMinorVerNum, 1);
  lib->ReleaseTLibAttr(la);

  ITypeInfo* events = nullptr;
  ASSERT_EQ(lib->GetTypeInfoOfGuid(DIID_ITestEvents, &events), S_OK);
  TYPEATTR* attr = nullptr;
  ASSERT_EQ(events->GetTypeAttr(&attr), S_OK);
  EXPECT_EQ(attr->typekind, TKIND_DISPATCH);
  EXPECT_EQ(attr->cFuncs, 3);
  EXPECT_EQ(attr->cImplTypes, 1);
  events->ReleaseTypeAttr(attr);
  const MEMBERID ids[] = {4, 5, 11};
  const SHORT counts[] = {2, 0, 2};
  for (UINT i = 0; i < 3; ++i) {
    FUNCDESC* f = nullptr;
    ASSERT_EQ(events->GetFuncDesc(i, &f), S_OK);
    EXPECT_EQ(f->memid, ids[i]);
    EXPECT_EQ(f->funckind, FUNC_DISPATCH);
    EXPECT_EQ(f->cParams, counts[i]);
    events->ReleaseFuncDesc(f);
  }
  LPOLESTR name[] = {const_cast<LPOLESTR>(L"SAVED")};
  MEMBERID id = 0;
  EXPECT_EQ(events->GetIDsOfNames(name, 1, &id), S_OK);
  EXPECT_EQ(id, 11);

  HREFTYPE ref;
  ASSERT_EQ(events->GetRefTypeOfImplType(0, &ref), S_OK);
  ITypeInfo* base = nullptr;
  ASSERT_EQ(events->GetRefTypeInfo(ref, &base), S_OK);
  ASSERT_EQ(base->GetTypeAttr(&attr), S_OK);
  EXPECT_EQ(attr->guid, IID_IDispatch);
  base->ReleaseTypeAttr(attr);
  base->Release();

  Sink sink;
  VARIANT args[2];
  VariantInit(&args[0]);
  VariantInit(&args[1]);
  DISPPARAMS params{args, nullptr, 2, 0};
  EXPECT_EQ(events->Invoke(static_cast<IDispatch*>(&sink), 4, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr),
            S_OK);
  EXPECT_EQ(sink.ids, std::vector<DISPID>{4});
  EXPECT_EQ(sink.argCounts, std::vector<UINT>{2});
  events->Release();

  ITypeInfo* app = nullptr;
  ASSERT_EQ(lib->GetTypeInfoOfGuid(CLSID_TestApp, &app), S_OK);
  INT flags = 0;
  ASSERT_EQ(app->GetImplTypeFlags(0, &flags), S_OK);
  EXPECT_EQ(flags, IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE);
  app->Release();
  EXPECT_EQ(lib->Release(), 0u);
}
