// OLE Automation subset: BSTR, VARIANT and the IDispatch declaration.
#pragma once

#include <unknwn.h>

typedef wchar_t OLECHAR;
typedef OLECHAR* LPOLESTR;
typedef const OLECHAR* LPCOLESTR;
typedef OLECHAR* BSTR;
typedef LONG DISPID;
typedef DISPID MEMBERID;
typedef unsigned short VARTYPE;
typedef double DATE;
typedef LONG SCODE;

// A BSTR points at its first character; a 32-bit byte length precedes it and
// a terminating zero follows. A null BSTR is the empty text.
BSTR WINAPI SysAllocString(const OLECHAR* text);
BSTR WINAPI SysAllocStringLen(const OLECHAR* text, UINT length);
void WINAPI SysFreeString(BSTR text);
UINT WINAPI SysStringLen(BSTR text);
UINT WINAPI SysStringByteLen(BSTR text);

namespace stand_in {
// BSTRs allocated and not yet freed, for leak checks in tests.
long LiveBstrCount();
}  // namespace stand_in

enum VARENUM {
  VT_EMPTY = 0,
  VT_NULL = 1,
  VT_I2 = 2,
  VT_I4 = 3,
  VT_R4 = 4,
  VT_R8 = 5,
  VT_CY = 6,
  VT_DATE = 7,
  VT_BSTR = 8,
  VT_DISPATCH = 9,
  VT_ERROR = 10,
  VT_BOOL = 11,
  VT_VARIANT = 12,
  VT_UNKNOWN = 13,
  VT_DECIMAL = 14,
  VT_I1 = 16,
  VT_UI1 = 17,
  VT_UI2 = 18,
  VT_UI4 = 19,
  VT_I8 = 20,
  VT_UI8 = 21,
  VT_INT = 22,
  VT_UINT = 23,
  VT_VOID = 24,
  VT_HRESULT = 25,
  VT_PTR = 26,
  VT_SAFEARRAY = 27,
  VT_CARRAY = 28,
  VT_USERDEFINED = 29,
  VT_LPSTR = 30,
  VT_LPWSTR = 31,
  VT_ARRAY = 0x2000,
  VT_BYREF = 0x4000,
};

struct IDispatch;
struct ITypeInfo;

struct VARIANT {
  VARTYPE vt;
  WORD wReserved1, wReserved2, wReserved3;
  union {
    LONGLONG llVal;
    LONG lVal;
    BYTE bVal;
    SHORT iVal;
    FLOAT fltVal;
    DOUBLE dblVal;
    VARIANT_BOOL boolVal;
    SCODE scode;
    BSTR bstrVal;
    IUnknown* punkVal;
    IDispatch* pdispVal;
    INT intVal;
    UINT uintVal;
    ULONG ulVal;
    VARIANT* pvarVal;
    void* byref;
    LONG* plVal;
    ULONG* pulVal;
    SHORT* piVal;
    INT* pintVal;
    UINT* puintVal;
    SCODE* pscode;
    VARIANT_BOOL* pboolVal;
    BSTR* pbstrVal;
    IUnknown** ppunkVal;
    IDispatch** ppdispVal;
  };
};
typedef VARIANT VARIANTARG;

struct DISPPARAMS {
  VARIANTARG* rgvarg;
  DISPID* rgdispidNamedArgs;
  UINT cArgs;
  UINT cNamedArgs;
};

struct EXCEPINFO {
  WORD wCode;
  WORD wReserved;
  BSTR bstrSource;
  BSTR bstrDescription;
  BSTR bstrHelpFile;
  DWORD dwHelpContext;
  void* pvReserved;
  HRESULT(STDMETHODCALLTYPE* pfnDeferredFillIn)(EXCEPINFO*);
  SCODE scode;
};

#define DISPID_UNKNOWN (-1)
#define DISPATCH_METHOD 0x1
#define DISPATCH_PROPERTYGET 0x2
#define DISPATCH_PROPERTYPUT 0x4
#define DISPATCH_PROPERTYPUTREF 0x8
#define DISP_E_UNKNOWNINTERFACE _HRESULT_TYPEDEF_(0x80020001L)
#define DISP_E_MEMBERNOTFOUND _HRESULT_TYPEDEF_(0x80020003L)
#define DISP_E_PARAMNOTFOUND _HRESULT_TYPEDEF_(0x80020004L)
#define DISP_E_TYPEMISMATCH _HRESULT_TYPEDEF_(0x80020005L)
#define DISP_E_UNKNOWNNAME _HRESULT_TYPEDEF_(0x80020006L)
#define DISP_E_BADPARAMCOUNT _HRESULT_TYPEDEF_(0x8002000EL)
#define DISP_E_BADINDEX _HRESULT_TYPEDEF_(0x8002000BL)

struct IDispatch : IUnknown {
  STDMETHOD(GetTypeInfoCount)(UINT* count) PURE;
  STDMETHOD(GetTypeInfo)(UINT index, LCID lcid, ITypeInfo** info) PURE;
  STDMETHOD(GetIDsOfNames)(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) PURE;
  STDMETHOD(Invoke)(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                    EXCEPINFO* exception, UINT* argError) PURE;

 protected:
  ~IDispatch() = default;
};
typedef IDispatch* LPDISPATCH;
STAND_IN_INTERFACE_ID(IDispatch, "00020400-0000-0000-C000-000000000046");
extern const IID IID_IDispatch;

// VARIANT helpers, type libraries and their registration (typelib*.cpp, variant.cpp).
typedef BSTR* LPBSTR;
#define V_VT(v) ((v)->vt)
#define V_I4(v) ((v)->lVal)
#define V_BSTR(v) ((v)->bstrVal)
#define V_BOOL(v) ((v)->boolVal)
#define V_DISPATCH(v) ((v)->pdispVal)
#define V_UNKNOWN(v) ((v)->punkVal)
#define V_BYREF(v) ((v)->byref)
#define VT_TYPEMASK 0x0fff

#define VARIANT_NOVALUEPROP 0x01
#define VARIANT_ALPHABOOL 0x02
#define VARIANT_NOUSEROVERRIDE 0x04
#define VARIANT_LOCALBOOL 0x10

#define DISPID_PROPERTYPUT (-3)
#define DISP_E_NONAMEDARGS _HRESULT_TYPEDEF_(0x80020007L)
#define DISP_E_BADVARTYPE _HRESULT_TYPEDEF_(0x80020008L)
#define DISP_E_EXCEPTION _HRESULT_TYPEDEF_(0x80020009L)
#define DISP_E_OVERFLOW _HRESULT_TYPEDEF_(0x8002000AL)
#define DISP_E_PARAMNOTOPTIONAL _HRESULT_TYPEDEF_(0x8002000FL)
#define TYPE_E_INVDATAREAD _HRESULT_TYPEDEF_(0x80028018L)
#define TYPE_E_UNSUPFORMAT _HRESULT_TYPEDEF_(0x80028019L)
#define TYPE_E_REGISTRYACCESS _HRESULT_TYPEDEF_(0x8002801CL)
#define TYPE_E_LIBNOTREGISTERED _HRESULT_TYPEDEF_(0x8002801DL)
#define TYPE_E_UNDEFINEDTYPE _HRESULT_TYPEDEF_(0x80028027L)
#define TYPE_E_ELEMENTNOTFOUND _HRESULT_TYPEDEF_(0x8002802BL)
#define TYPE_E_BADMODULEKIND _HRESULT_TYPEDEF_(0x800288BDL)
#define TYPE_E_CANTLOADLIBRARY _HRESULT_TYPEDEF_(0x80029C4AL)

void WINAPI VariantInit(VARIANTARG* v);
HRESULT WINAPI VariantClear(VARIANTARG* v);
HRESULT WINAPI VariantCopy(VARIANTARG* dest, const VARIANTARG* source);
// Coerces between VT_EMPTY, VT_I2, VT_I4, VT_UI4, VT_INT, VT_UINT, VT_BOOL,
// VT_BSTR, VT_DISPATCH and VT_UNKNOWN (and by-reference sources); others give
// DISP_E_TYPEMISMATCH or DISP_E_BADVARTYPE, out-of-range values DISP_E_OVERFLOW.
HRESULT WINAPI VariantChangeType(VARIANTARG* dest, const VARIANTARG* source, USHORT flags, VARTYPE vt);

enum REGKIND { REGKIND_DEFAULT = 0, REGKIND_REGISTER, REGKIND_NONE };
enum SYSKIND : int;
struct ITypeLib;

HRESULT WINAPI LoadTypeLib(LPCOLESTR file, ITypeLib** lib);
HRESULT WINAPI LoadTypeLibEx(LPCOLESTR file, REGKIND kind, ITypeLib** lib);
HRESULT WINAPI LoadRegTypeLib(REFGUID libid, WORD major, WORD minor, LCID lcid, ITypeLib** lib);
HRESULT WINAPI QueryPathOfRegTypeLib(REFGUID libid, USHORT major, USHORT minor, LCID lcid, LPBSTR path);
HRESULT WINAPI RegisterTypeLib(ITypeLib* lib, LPCOLESTR fullPath, LPCOLESTR helpDir);
HRESULT WINAPI RegisterTypeLibForUser(ITypeLib* lib, OLECHAR* fullPath, OLECHAR* helpDir);
HRESULT WINAPI UnRegisterTypeLib(REFGUID libid, WORD major, WORD minor, LCID lcid, SYSKIND syskind);
HRESULT WINAPI UnRegisterTypeLibForUser(REFGUID libid, WORD major, WORD minor, LCID lcid, SYSKIND syskind);
HRESULT WINAPI DispGetIDsOfNames(ITypeInfo* info, OLECHAR** names, UINT count, DISPID* ids);
HRESULT WINAPI DispInvoke(void* instance, ITypeInfo* info, DISPID id, WORD flags, DISPPARAMS* params,
                          VARIANT* result, EXCEPINFO* exception, UINT* argError);

#include <oaidl.h>
