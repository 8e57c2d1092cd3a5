// Feeds arbitrary bytes to the binary type-library reader and, when it
// accepts them, reads back everything a client could ask for. A module's
// resources are outside input to the host that loads it.
#include <ole2.h>

#include <cstddef>
#include <cstdint>

namespace {

void Require(bool condition) {
  if (!condition) __builtin_trap();
}

void WalkInfo(ITypeInfo* info, int depth) {
  TYPEATTR* attr = nullptr;
  if (FAILED(info->GetTypeAttr(&attr))) return;
  for (UINT f = 0; f < attr->cFuncs; ++f) {
    FUNCDESC* desc = nullptr;
    if (FAILED(info->GetFuncDesc(f, &desc))) continue;
    for (SHORT p = 0; p < desc->cParams; ++p) {
      const TYPEDESC* t = &desc->lprgelemdescParam[p].tdesc;
      while (t->vt == VT_PTR || t->vt == VT_SAFEARRAY) t = t->lptdesc;
    }
    BSTR names[8] = {};
    UINT count = 0;
    if (SUCCEEDED(info->GetNames(desc->memid, names, 8, &count)))
      for (UINT n = 0; n < count; ++n) SysFreeString(names[n]);
    BSTR name = nullptr, doc = nullptr, file = nullptr;
    if (SUCCEEDED(info->GetDocumentation(desc->memid, &name, &doc, nullptr, &file))) {
      MEMBERID id = 0;
      LPOLESTR lookup[] = {name};
      if (name) info->GetIDsOfNames(lookup, 1, &id);
      SysFreeString(name);
      SysFreeString(doc);
      SysFreeString(file);
    }
    info->ReleaseFuncDesc(desc);
  }
  for (UINT v = 0; v < attr->cVars; ++v) {
    VARDESC* desc = nullptr;
    if (SUCCEEDED(info->GetVarDesc(v, &desc))) info->ReleaseVarDesc(desc);
  }
  LPOLESTR unknown[] = {const_cast<LPOLESTR>(L"NoSuchName")};
  MEMBERID id = 0;
  info->GetIDsOfNames(unknown, 1, &id);
  for (UINT k = 0; k < attr->cImplTypes + 1u; ++k) {
    HREFTYPE ref = 0;
    INT flags = 0;
    info->GetImplTypeFlags(k, &flags);
    ITypeInfo* other = nullptr;
    if (SUCCEEDED(info->GetRefTypeOfImplType(k == attr->cImplTypes ? static_cast<UINT>(-1) : k, &ref)) &&
        SUCCEEDED(info->GetRefTypeInfo(ref, &other))) {
      if (depth < 3) WalkInfo(other, depth + 1);
      other->Release();
    }
  }
  info->ReleaseTypeAttr(attr);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ITypeLib* lib = nullptr;
  if (FAILED(stand_in::LoadTypeLibFromMemory(data, size, &lib))) {
    Require(lib == nullptr);
    return 0;
  }
  TLIBATTR* attr = nullptr;
  if (SUCCEEDED(lib->GetLibAttr(&attr))) lib->ReleaseTLibAttr(attr);
  BSTR name = nullptr;
  if (SUCCEEDED(lib->GetDocumentation(-1, &name, nullptr, nullptr, nullptr))) SysFreeString(name);
  for (UINT i = 0; i < lib->GetTypeInfoCount(); ++i) {
    ITypeInfo* info = nullptr;
    if (FAILED(lib->GetTypeInfo(i, &info))) continue;
    WalkInfo(info, 0);
    info->Release();
  }
  Require(lib->Release() == 0);  // nothing handed out is left holding it
  return 0;
}
