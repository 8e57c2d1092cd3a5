// The contents of a binary type library, decoded and checked once at load, and
// the COM objects that serve them.
#pragma once

#include <oaidl.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace stand_in {
namespace typelib {

// A type as a function, parameter or field uses it.
struct TypeSpec {
  VARTYPE vt = VT_EMPTY;
  std::shared_ptr<TypeSpec> inner;      // VT_PTR, VT_SAFEARRAY, VT_CARRAY element
  HREFTYPE href = 0;                    // VT_USERDEFINED
  std::vector<SAFEARRAYBOUND> bounds;   // VT_CARRAY
};

struct Param {
  std::wstring name;
  TypeSpec type;
  USHORT flags = 0;
  bool hasDefault = false;
  VARTYPE defaultVt = VT_EMPTY;  // VT_I4 or VT_BSTR defaults only
  LONG defaultInt = 0;
  std::wstring defaultText;
};

struct Func {
  MEMBERID memid = 0;
  std::wstring name;
  FUNCKIND funckind = FUNC_PUREVIRTUAL;
  INVOKEKIND invkind = INVOKE_FUNC;
  CALLCONV callconv = CC_STDCALL;
  SHORT oVft = 0;
  SHORT cParamsOpt = 0;
  WORD flags = 0;
  TypeSpec ret;
  std::vector<Param> params;
  std::wstring helpString;
  bool hasHelpString = false;
  DWORD helpContext = 0;
};

struct Var {
  MEMBERID memid = 0;
  std::wstring name;
  TypeSpec type;
  WORD flags = 0;
  VARKIND kind = VAR_PERINSTANCE;
  ULONG oInst = 0;
  LONG constValue = 0;
  std::wstring helpString;
  bool hasHelpString = false;
};

struct Impl {
  HREFTYPE href = 0;
  INT flags = 0;
};

struct Record {
  TYPEKIND kind = TKIND_INTERFACE;
  std::wstring name;
  GUID guid{};
  WORD flags = 0;
  WORD major = 0, minor = 0;
  std::wstring doc;
  bool hasDoc = false;
  DWORD helpContext = 0;
  WORD cbSizeVft = 0;
  WORD cbAlignment = 0;
  ULONG cbSizeInstance = 0;
  std::vector<Impl> impls;  // coclass interfaces; interface or dispatch base (at most one)
  std::vector<Func> funcs;
  std::vector<Var> vars;
  TypeSpec alias;
  bool IsDual() const { return kind == TKIND_DISPATCH && (flags & TYPEFLAG_FDUAL); }
};

struct ImportFile {
  GUID guid{};
  LCID lcid = 0;
  WORD major = 0, minor = 0;
  std::wstring name;
};

struct ImportRef {
  int offset = 0;   // in the impinfo table; the HREFTYPE is offset + 1
  int file = 0;     // index into Library::imports
  bool byGuid = false;
  GUID guid{};
  int index = 0;
};

struct Library {
  GUID guid{};
  LCID lcid = 0;
  SYSKIND syskind = SYS_WIN64;
  WORD major = 0, minor = 0, libFlags = 0;
  std::wstring name, doc, helpFile;
  bool hasDoc = false, hasHelpFile = false;
  DWORD helpContext = 0;
  std::vector<Record> records;
  std::vector<ImportFile> imports;
  std::vector<ImportRef> importRefs;
  const ImportRef* FindImport(HREFTYPE href) const;
};

// Decodes an MSFT type library. On failure `error` says what is wrong and at
// which byte; the result is TYPE_E_INVDATAREAD (or TYPE_E_UNSUPFORMAT for
// another format, E_OUTOFMEMORY).
HRESULT Parse(const uint8_t* data, size_t size, Library& out, std::string& error);

// Decodes `data` into a new ITypeLib (the text of a refusal in LastError()).
HRESULT LoadFromMemory(const uint8_t* data, size_t size, const std::wstring& path, ITypeLib** out);
// The path a library was loaded from; null for a library of another making.
const std::wstring* PathOf(ITypeLib* lib);
std::string& LastError();

// A loaded library as ITypeLib; `path` is where it came from (for registration).
HRESULT CreateTypeLib(std::shared_ptr<const Library> lib, const std::wstring& path, ITypeLib** out);
// The process's own OLE Automation library (IUnknown, IDispatch).
HRESULT Stdole2(ITypeLib** out);
// Case-insensitive comparison of member names.
bool SameName(const std::wstring& a, const wchar_t* b);
// Calls a vtable function of `instance` with integer-class arguments.
HRESULT CallVtable(void* instance, SHORT oVft, const std::vector<uint64_t>& args, VARTYPE ret, uint64_t* result);

constexpr GUID kStdoleGuid = stand_in::GuidFromText("00020430-0000-0000-C000-000000000046");

}  // namespace typelib
}  // namespace stand_in
