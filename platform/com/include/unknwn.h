// COM base: IUnknown, interface ids and the __uuidof of interface types.
#pragma once

#include <windows.h>

#define STDMETHOD(method) virtual HRESULT STDMETHODCALLTYPE method
#define STDMETHOD_(type, method) virtual type STDMETHODCALLTYPE method
#define STDMETHODIMP HRESULT STDMETHODCALLTYPE
#define STDMETHODIMP_(type) type STDMETHODCALLTYPE
#define PURE = 0
#define STDAPI extern "C" HRESULT STDAPICALLTYPE
#define STDAPI_(type) extern "C" type STDAPICALLTYPE

namespace stand_in {
// Parses "{8-4-4-4-12}" (braces optional) into a GUID; false on any other text.
bool ParseGuid(const wchar_t* text, GUID* guid);
bool ParseGuid(const char* text, GUID* guid);
// Constant-expression GUID from its text form, for interface declarations.
constexpr int HexDigit(char c) {
  return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
}
constexpr uint32_t HexValue(const char* s, int digits) {
  uint32_t v = 0;
  for (int i = 0; i < digits; ++i) v = (v << 4) | static_cast<uint32_t>(HexDigit(s[i]));
  return v;
}
// "xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx", no braces.
constexpr GUID GuidFromText(const char* s) {
  return GUID{HexValue(s, 8),
              static_cast<uint16_t>(HexValue(s + 9, 4)),
              static_cast<uint16_t>(HexValue(s + 14, 4)),
              {static_cast<uint8_t>(HexValue(s + 19, 2)), static_cast<uint8_t>(HexValue(s + 21, 2)),
               static_cast<uint8_t>(HexValue(s + 24, 2)), static_cast<uint8_t>(HexValue(s + 26, 2)),
               static_cast<uint8_t>(HexValue(s + 28, 2)), static_cast<uint8_t>(HexValue(s + 30, 2)),
               static_cast<uint8_t>(HexValue(s + 32, 2)), static_cast<uint8_t>(HexValue(s + 34, 2))}};
}

template <class T>
struct InterfaceId;  // specialised for every interface by STAND_IN_INTERFACE_ID
}  // namespace stand_in

// Gives an interface type its IID, so that __uuidof(T) works as on Windows.
#define STAND_IN_INTERFACE_ID(T, text)                                         \
  template <>                                                                 \
  struct stand_in::InterfaceId<T> {                                           \
    static constexpr GUID value = stand_in::GuidFromText(text);               \
  }

// __uuidof of an interface type (the expression form is not provided).
#define __uuidof(T) (::stand_in::InterfaceId<T>::value)

struct IUnknown {
  STDMETHOD(QueryInterface)(REFIID riid, void** object) PURE;
  STDMETHOD_(ULONG, AddRef)() PURE;
  STDMETHOD_(ULONG, Release)() PURE;

 protected:
  ~IUnknown() = default;
};
typedef IUnknown* LPUNKNOWN;
STAND_IN_INTERFACE_ID(IUnknown, "00000000-0000-0000-C000-000000000046");
extern const IID IID_IUnknown;

#define IID_NULL GUID_NULL
#define CLSID_NULL GUID_NULL

// Class objects: what DllGetClassObject hands out.
struct IClassFactory : IUnknown {
  STDMETHOD(CreateInstance)(IUnknown* outer, REFIID riid, void** object) PURE;
  STDMETHOD(LockServer)(BOOL lock) PURE;

 protected:
  ~IClassFactory() = default;
};
typedef IClassFactory* LPCLASSFACTORY;
STAND_IN_INTERFACE_ID(IClassFactory, "00000001-0000-0000-C000-000000000046");
extern const IID IID_IClassFactory;

#ifndef CLASS_E_NOAGGREGATION
#define CLASS_E_NOAGGREGATION _HRESULT_TYPEDEF_(0x80040110L)
#define CLASS_E_CLASSNOTAVAILABLE _HRESULT_TYPEDEF_(0x80040111L)
#endif
