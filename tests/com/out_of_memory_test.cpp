// Running out of memory inside a COM or OLE function or method is
// E_OUTOFMEMORY, as the real one answers, never an exception nor a success
// that hands out less than it says: each call runs once for every
// allocation it makes, with that allocation failing.
#include <ole2.h>
#include <stand_in/paths.h>

#include <typelib_test.h>

#include <gtest/gtest.h>

#include "fail_each_allocation.h"

#include <functional>
#include <string>
#include <vector>

namespace {

struct Case {
  const char* name;
  std::function<void()> prepare;
  std::function<HRESULT()> call;
  // After each run, outside the limit: checks what a success handed out
  // and lets go of it.
  std::function<void(HRESULT hr)> undo;
};

void RunEach(const std::vector<Case>& cases) {
  if (!test_support::AllocationLimit::Available()) GTEST_SKIP() << "no allocation hook in this build";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    int failed = 0;
    long bstrs = 0;
    const long long total = test_support::FailEachAllocation(
        [&] {
          bstrs = stand_in::LiveBstrCount();
          if (c.prepare) c.prepare();
        },
        [&] { return c.call(); },
        [&](HRESULT hr, long long n) {
          if (n == 0) {
            EXPECT_EQ(hr, S_OK) << "with memory to spare";
          } else if (FAILED(hr)) {
            EXPECT_EQ(hr, E_OUTOFMEMORY) << "allocation " << n << " failed";
            ++failed;
          }
          if (c.undo) c.undo(hr);
          EXPECT_EQ(stand_in::LiveBstrCount(), bstrs) << "texts left behind when allocation " << n << " failed";
        });
    if (total > 0) {
      EXPECT_GT(failed, 0) << total << " allocations, none of them needed";
    }
  }
}

TEST(OutOfMemory, Variants) {
  VARIANT text, number, out;
  VariantInit(&text);
  text.vt = VT_BSTR;
  text.bstrVal = SysAllocString(L" 42 ");
  VariantInit(&number);
  number.vt = VT_R8;
  number.dblVal = 2.5;
  VariantInit(&out);
  const std::vector<Case> cases = {
      {"VariantChangeType to a number", nullptr, [&] { return VariantChangeType(&out, &text, 0, VT_I4); },
       [&](HRESULT hr) {
         if (SUCCEEDED(hr)) {
           EXPECT_EQ(out.lVal, 42);
         }
         VariantClear(&out);
       }},
      {"VariantChangeType to a text", nullptr, [&] { return VariantChangeType(&out, &number, 0, VT_BSTR); },
       [&](HRESULT hr) {
         if (SUCCEEDED(hr)) {
           EXPECT_STREQ(out.bstrVal, L"2.5");
         }
         VariantClear(&out);
       }},
  };
  RunEach(cases);
  VariantClear(&text);
}

TEST(OutOfMemory, TypeLibraries) {
  const std::wstring path = stand_in::WindowsPath(TYPELIB_TEST_TLB);
  ITypeLib* lib = nullptr;
  ITypeInfo* info = nullptr;
  // A library of its own for each run, so that its imports are looked up
  // anew.
  auto load = [&] {
    ASSERT_EQ(LoadTypeLib(path.c_str(), &lib), S_OK);
    ASSERT_EQ(lib->GetTypeInfoOfGuid(IID_ITestAddin, &info), S_OK);
  };
  auto unload = [&] {
    if (info) info->Release();
    if (lib) lib->Release();
    info = nullptr;
    lib = nullptr;
  };
  BSTR name = nullptr, doc = nullptr, helpFile = nullptr;
  BSTR names[4] = {};
  UINT count = 0;
  ITypeInfo* base = nullptr;
  FUNCDESC* func = nullptr;
  auto freeTexts = [&] {
    for (BSTR* b : {&name, &doc, &helpFile}) {
      SysFreeString(*b);
      *b = nullptr;
    }
  };
  const std::vector<Case> cases = {
      {"LoadTypeLib", nullptr, [&] { return LoadTypeLib(path.c_str(), &lib); },
       [&](HRESULT hr) {
         EXPECT_EQ(SUCCEEDED(hr), lib != nullptr);
         unload();
       }},
      {"ITypeLib::GetDocumentation", load,
       [&] { return lib->GetDocumentation(-1, &name, &doc, nullptr, &helpFile); },
       [&](HRESULT hr) {
         if (SUCCEEDED(hr)) {
           EXPECT_STREQ(name, L"TypelibTestLib");
           EXPECT_STREQ(doc, L"TypelibTest 1.0 Type Library");
         } else {
           EXPECT_EQ(name, nullptr);
           EXPECT_EQ(doc, nullptr);
         }
         freeTexts();
         unload();
       }},
      {"ITypeInfo::GetDocumentation", load, [&] { return info->GetDocumentation(3, &name, &doc, nullptr, nullptr); },
       [&](HRESULT hr) {
         if (SUCCEEDED(hr)) {
           EXPECT_STREQ(name, L"Callback");
           EXPECT_STREQ(doc, L"method Callback");
         }
         freeTexts();
         unload();
       }},
      {"ITypeInfo::GetNames", load, [&] { return info->GetNames(10, names, 4, &count); },
       [&](HRESULT hr) {
         if (SUCCEEDED(hr)) {
           ASSERT_EQ(count, 4u);
           EXPECT_STREQ(names[0], L"Mix");
           for (BSTR b : names) EXPECT_NE(b, nullptr);
         }
         for (BSTR& b : names) {
           if (SUCCEEDED(hr)) SysFreeString(b);
           b = nullptr;
         }
         unload();
       }},
      {"ITypeInfo::GetFuncDesc", load, [&] { return info->GetFuncDesc(0, &func); },
       [&](HRESULT hr) {
         if (SUCCEEDED(hr)) info->ReleaseFuncDesc(func);
         func = nullptr;
         unload();
       }},
      {"ITypeInfo::GetRefTypeInfo of an import", load,
       [&] {
         HREFTYPE ref = 0;
         const HRESULT hr = info->GetRefTypeOfImplType(0, &ref);
         return FAILED(hr) ? hr : info->GetRefTypeInfo(ref, &base);
       },
       [&](HRESULT hr) {
         EXPECT_EQ(SUCCEEDED(hr), base != nullptr);
         if (base) base->Release();
         base = nullptr;
         unload();
       }},
  };
  RunEach(cases);
}

}  // namespace
