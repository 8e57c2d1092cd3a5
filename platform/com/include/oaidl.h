// OLE Automation type information: the descriptions a type library holds and
// the ITypeLib and ITypeInfo interfaces that read them.
#pragma once

#include <oleauto.h>
#include <rpcndr.h>

typedef DWORD HREFTYPE;

enum TYPEKIND {
  TKIND_ENUM = 0,
  TKIND_RECORD,
  TKIND_MODULE,
  TKIND_INTERFACE,
  TKIND_DISPATCH,
  TKIND_COCLASS,
  TKIND_ALIAS,
  TKIND_UNION,
  TKIND_MAX
};

enum SYSKIND : int { SYS_WIN16 = 0, SYS_WIN32, SYS_MAC, SYS_WIN64 };

enum FUNCKIND { FUNC_VIRTUAL = 0, FUNC_PUREVIRTUAL, FUNC_NONVIRTUAL, FUNC_STATIC, FUNC_DISPATCH };

enum INVOKEKIND {
  INVOKE_FUNC = 1,
  INVOKE_PROPERTYGET = 2,
  INVOKE_PROPERTYPUT = 4,
  INVOKE_PROPERTYPUTREF = 8
};

enum CALLCONV {
  CC_FASTCALL = 0,
  CC_CDECL = 1,
  CC_MSCPASCAL,
  CC_PASCAL = CC_MSCPASCAL,
  CC_MACPASCAL,
  CC_STDCALL,
  CC_FPFASTCALL,
  CC_SYSCALL,
  CC_MPWCDECL,
  CC_MPWPASCAL,
  CC_MAX
};

enum VARKIND { VAR_PERINSTANCE = 0, VAR_STATIC, VAR_CONST, VAR_DISPATCH };

enum DESCKIND { DESCKIND_NONE = 0, DESCKIND_FUNCDESC, DESCKIND_VARDESC, DESCKIND_TYPECOMP, DESCKIND_IMPLICITAPPOBJ };

enum TYPEFLAGS {
  TYPEFLAG_FAPPOBJECT = 0x1,
  TYPEFLAG_FCANCREATE = 0x2,
  TYPEFLAG_FLICENSED = 0x4,
  TYPEFLAG_FPREDECLID = 0x8,
  TYPEFLAG_FHIDDEN = 0x10,
  TYPEFLAG_FCONTROL = 0x20,
  TYPEFLAG_FDUAL = 0x40,
  TYPEFLAG_FNONEXTENSIBLE = 0x80,
  TYPEFLAG_FOLEAUTOMATION = 0x100,
  TYPEFLAG_FRESTRICTED = 0x200,
  TYPEFLAG_FAGGREGATABLE = 0x400,
  TYPEFLAG_FREPLACEABLE = 0x800,
  TYPEFLAG_FDISPATCHABLE = 0x1000,
  TYPEFLAG_FREVERSEBIND = 0x2000,
  TYPEFLAG_FPROXY = 0x4000
};

enum FUNCFLAGS {
  FUNCFLAG_FRESTRICTED = 0x1,
  FUNCFLAG_FSOURCE = 0x2,
  FUNCFLAG_FBINDABLE = 0x4,
  FUNCFLAG_FREQUESTEDIT = 0x8,
  FUNCFLAG_FDISPLAYBIND = 0x10,
  FUNCFLAG_FDEFAULTBIND = 0x20,
  FUNCFLAG_FHIDDEN = 0x40,
  FUNCFLAG_FUSESGETLASTERROR = 0x80,
  FUNCFLAG_FDEFAULTCOLLELEM = 0x100,
  FUNCFLAG_FUIDEFAULT = 0x200,
  FUNCFLAG_FNONBROWSABLE = 0x400,
  FUNCFLAG_FREPLACEABLE = 0x800,
  FUNCFLAG_FIMMEDIATEBIND = 0x1000
};

enum LIBFLAGS { LIBFLAG_FRESTRICTED = 0x1, LIBFLAG_FCONTROL = 0x2, LIBFLAG_FHIDDEN = 0x4, LIBFLAG_FHASDISKIMAGE = 0x8 };

#define PARAMFLAG_NONE 0x00
#define PARAMFLAG_FIN 0x01
#define PARAMFLAG_FOUT 0x02
#define PARAMFLAG_FLCID 0x04
#define PARAMFLAG_FRETVAL 0x08
#define PARAMFLAG_FOPT 0x10
#define PARAMFLAG_FHASDEFAULT 0x20
#define PARAMFLAG_FHASCUSTDATA 0x40

#define IMPLTYPEFLAG_FDEFAULT 0x1
#define IMPLTYPEFLAG_FSOURCE 0x2
#define IMPLTYPEFLAG_FRESTRICTED 0x4
#define IMPLTYPEFLAG_FDEFAULTVTABLE 0x8

#define MEMBERID_NIL DISPID_UNKNOWN

struct ARRAYDESC;

struct TYPEDESC {
  union {
    TYPEDESC* lptdesc;     // VT_PTR, VT_SAFEARRAY: the pointee or element type
    ARRAYDESC* lpadesc;    // VT_CARRAY
    HREFTYPE hreftype;     // VT_USERDEFINED
  };
  VARTYPE vt;
};

struct SAFEARRAYBOUND {
  ULONG cElements;
  LONG lLbound;
};

struct ARRAYDESC {
  TYPEDESC tdescElem;
  USHORT cDims;
  SAFEARRAYBOUND rgbounds[1];
};

struct IDLDESC {
  ULONG_PTR dwReserved;
  USHORT wIDLFlags;
};

struct PARAMDESCEX {
  ULONG cBytes;
  VARIANTARG varDefaultValue;
};

struct PARAMDESC {
  PARAMDESCEX* pparamdescex;
  USHORT wParamFlags;
};

struct ELEMDESC {
  TYPEDESC tdesc;
  union {
    IDLDESC idldesc;
    PARAMDESC paramdesc;
  };
};

struct FUNCDESC {
  MEMBERID memid;
  SCODE* lprgscode;
  ELEMDESC* lprgelemdescParam;
  FUNCKIND funckind;
  INVOKEKIND invkind;
  CALLCONV callconv;
  SHORT cParams;
  SHORT cParamsOpt;
  SHORT oVft;
  SHORT cScodes;
  ELEMDESC elemdescFunc;
  WORD wFuncFlags;
};

struct VARDESC {
  MEMBERID memid;
  LPOLESTR lpstrSchema;
  union {
    ULONG oInst;
    VARIANT* lpvarValue;
  };
  ELEMDESC elemdescVar;
  WORD wVarFlags;
  VARKIND varkind;
};

struct TYPEATTR {
  GUID guid;
  LCID lcid;
  DWORD dwReserved;
  MEMBERID memidConstructor;
  MEMBERID memidDestructor;
  LPOLESTR lpstrSchema;
  ULONG cbSizeInstance;
  TYPEKIND typekind;
  WORD cFuncs;
  WORD cVars;
  WORD cImplTypes;
  WORD cbSizeVft;
  WORD cbAlignment;
  WORD wTypeFlags;
  WORD wMajorVerNum;
  WORD wMinorVerNum;
  TYPEDESC tdescAlias;
  IDLDESC idldescType;
};

struct TLIBATTR {
  GUID guid;
  LCID lcid;
  SYSKIND syskind;
  WORD wMajorVerNum;
  WORD wMinorVerNum;
  WORD wLibFlags;
};

typedef TYPEATTR* LPTYPEATTR;
typedef FUNCDESC* LPFUNCDESC;
typedef VARDESC* LPVARDESC;
typedef TLIBATTR* LPTLIBATTR;

struct ITypeLib;
struct ITypeComp;

struct ITypeInfo : IUnknown {
  STDMETHOD(GetTypeAttr)(TYPEATTR** attr) PURE;
  STDMETHOD(GetTypeComp)(ITypeComp** comp) PURE;
  STDMETHOD(GetFuncDesc)(UINT index, FUNCDESC** desc) PURE;
  STDMETHOD(GetVarDesc)(UINT index, VARDESC** desc) PURE;
  STDMETHOD(GetNames)(MEMBERID memid, BSTR* names, UINT maxNames, UINT* count) PURE;
  STDMETHOD(GetRefTypeOfImplType)(UINT index, HREFTYPE* ref) PURE;
  STDMETHOD(GetImplTypeFlags)(UINT index, INT* flags) PURE;
  STDMETHOD(GetIDsOfNames)(LPOLESTR* names, UINT count, MEMBERID* ids) PURE;
  STDMETHOD(Invoke)(PVOID instance, MEMBERID memid, WORD flags, DISPPARAMS* params, VARIANT* result,
                    EXCEPINFO* exception, UINT* argError) PURE;
  STDMETHOD(GetDocumentation)(MEMBERID memid, BSTR* name, BSTR* docString, DWORD* helpContext,
                              BSTR* helpFile) PURE;
  STDMETHOD(GetDllEntry)(MEMBERID memid, INVOKEKIND invkind, BSTR* dllName, BSTR* name, WORD* ordinal) PURE;
  STDMETHOD(GetRefTypeInfo)(HREFTYPE ref, ITypeInfo** info) PURE;
  STDMETHOD(AddressOfMember)(MEMBERID memid, INVOKEKIND invkind, PVOID* address) PURE;
  STDMETHOD(CreateInstance)(IUnknown* outer, REFIID riid, PVOID* object) PURE;
  STDMETHOD(GetMops)(MEMBERID memid, BSTR* mops) PURE;
  STDMETHOD(GetContainingTypeLib)(ITypeLib** lib, UINT* index) PURE;
  STDMETHOD_(void, ReleaseTypeAttr)(TYPEATTR* attr) PURE;
  STDMETHOD_(void, ReleaseFuncDesc)(FUNCDESC* desc) PURE;
  STDMETHOD_(void, ReleaseVarDesc)(VARDESC* desc) PURE;

 protected:
  ~ITypeInfo() = default;
};
typedef ITypeInfo* LPTYPEINFO;
STAND_IN_INTERFACE_ID(ITypeInfo, "00020401-0000-0000-C000-000000000046");

struct ITypeLib : IUnknown {
  STDMETHOD_(UINT, GetTypeInfoCount)() PURE;
  STDMETHOD(GetTypeInfo)(UINT index, ITypeInfo** info) PURE;
  STDMETHOD(GetTypeInfoType)(UINT index, TYPEKIND* kind) PURE;
  STDMETHOD(GetTypeInfoOfGuid)(REFGUID guid, ITypeInfo** info) PURE;
  STDMETHOD(GetLibAttr)(TLIBATTR** attr) PURE;
  STDMETHOD(GetTypeComp)(ITypeComp** comp) PURE;
  STDMETHOD(GetDocumentation)(INT index, BSTR* name, BSTR* docString, DWORD* helpContext, BSTR* helpFile) PURE;
  STDMETHOD(IsName)(LPOLESTR name, ULONG hash, BOOL* found) PURE;
  STDMETHOD(FindName)(LPOLESTR name, ULONG hash, ITypeInfo** infos, MEMBERID* memids, USHORT* found) PURE;
  STDMETHOD_(void, ReleaseTLibAttr)(TLIBATTR* attr) PURE;

 protected:
  ~ITypeLib() = default;
};
typedef ITypeLib* LPTYPELIB;
STAND_IN_INTERFACE_ID(ITypeLib, "00020402-0000-0000-C000-000000000046");

extern const IID IID_ITypeInfo;
extern const IID IID_ITypeLib;

namespace stand_in {
// Why the last type library this thread failed to load was refused: what is
// wrong and at which byte ("" after a success).
const char* TypeLibLoadError();
// Reads a type library held in memory, as LoadTypeLib reads a file (for the
// fuzz target and tests: the bytes are copied, nothing is registered).
HRESULT LoadTypeLibFromMemory(const void* data, size_t size, ITypeLib** lib);
}  // namespace stand_in
