// VARIANT lifetime and coercion, for the types the system passes by dispatch.
#include <objbase.h>
#include <stand_in/no_throw.h>

#include <cerrno>
#include <cmath>
#include <cwchar>
#include <cwctype>
#include <limits>
#include <string>

namespace {

bool Known(VARTYPE vt) {
  switch (vt & ~VT_BYREF) {
    case VT_EMPTY: case VT_NULL: case VT_I2: case VT_I4: case VT_R4: case VT_R8: case VT_DATE: case VT_BSTR:
    case VT_DISPATCH: case VT_ERROR: case VT_BOOL: case VT_VARIANT: case VT_UNKNOWN: case VT_I1: case VT_UI1:
    case VT_UI2: case VT_UI4: case VT_I8: case VT_UI8: case VT_INT: case VT_UINT:
      return (vt & VT_BYREF) || (vt & VT_TYPEMASK) != VT_VARIANT;
    default:
      return false;
  }
}

// Reads a value behind a by-reference variant into a plain one (no copies made).
bool Deref(const VARIANT& in, VARIANT& out) {
  out = VARIANT{};
  if (!(in.vt & VT_BYREF)) {
    out = in;
    return true;
  }
  if (!in.byref) return false;
  const VARTYPE vt = in.vt & VT_TYPEMASK;
  if (vt == VT_VARIANT) return Deref(*in.pvarVal, out) && !(in.pvarVal->vt & VT_BYREF);
  out.vt = vt;
  switch (vt) {
    case VT_I1: case VT_UI1: out.bVal = *static_cast<BYTE*>(in.byref); break;
    case VT_I2: case VT_UI2: case VT_BOOL: out.iVal = *static_cast<SHORT*>(in.byref); break;
    case VT_I4: case VT_UI4: case VT_INT: case VT_UINT: case VT_ERROR: out.lVal = *static_cast<LONG*>(in.byref); break;
    case VT_R4: out.fltVal = *static_cast<FLOAT*>(in.byref); break;
    case VT_R8: case VT_DATE: out.dblVal = *static_cast<DOUBLE*>(in.byref); break;
    case VT_I8: case VT_UI8: out.llVal = *static_cast<LONGLONG*>(in.byref); break;
    case VT_BSTR: out.bstrVal = *static_cast<BSTR*>(in.byref); break;
    case VT_DISPATCH: case VT_UNKNOWN: out.punkVal = *static_cast<IUnknown**>(in.byref); break;
    default: return false;
  }
  return true;
}

enum class Num { kNone, kInt, kReal };

// The numeric value of a plain variant.
Num NumberOf(const VARIANT& v, long double* value, HRESULT* hr) {
  switch (v.vt) {
    case VT_EMPTY: *value = 0; return Num::kInt;
    case VT_I1: *value = static_cast<signed char>(v.bVal); return Num::kInt;
    case VT_UI1: *value = v.bVal; return Num::kInt;
    case VT_I2: case VT_BOOL: *value = v.iVal; return Num::kInt;
    case VT_UI2: *value = static_cast<uint16_t>(v.iVal); return Num::kInt;
    case VT_I4: case VT_INT: *value = v.lVal; return Num::kInt;
    case VT_UI4: case VT_UINT: *value = v.ulVal; return Num::kInt;
    case VT_I8: *value = static_cast<long double>(v.llVal); return Num::kInt;
    case VT_UI8: *value = static_cast<long double>(static_cast<ULONGLONG>(v.llVal)); return Num::kInt;
    case VT_R4: *value = v.fltVal; return Num::kReal;
    case VT_R8: case VT_DATE: *value = v.dblVal; return Num::kReal;
    case VT_BSTR: {
      std::wstring text(v.bstrVal ? v.bstrVal : L"");
      size_t b = text.find_first_not_of(L" \t");
      size_t e = text.find_last_not_of(L" \t");
      text = b == std::wstring::npos ? L"" : text.substr(b, e - b + 1);
      if (_wcsicmp(text.c_str(), L"true") == 0) { *value = -1; return Num::kInt; }
      if (_wcsicmp(text.c_str(), L"false") == 0) { *value = 0; return Num::kInt; }
      if (text.empty()) { *hr = DISP_E_TYPEMISMATCH; return Num::kNone; }
      wchar_t* end = nullptr;
      errno = 0;
      long double d = std::wcstold(text.c_str(), &end);
      if (!end || *end != 0 || errno == ERANGE || !std::isfinite(d)) {
        *hr = errno == ERANGE ? DISP_E_OVERFLOW : DISP_E_TYPEMISMATCH;
        return Num::kNone;
      }
      *value = d;
      return Num::kReal;
    }
    default:
      *hr = DISP_E_TYPEMISMATCH;
      return Num::kNone;
  }
}

HRESULT ToInteger(long double value, Num kind, long double lo, long double hi, LONGLONG* out) {
  if (kind == Num::kReal) value = std::nearbyint(value);  // halves to even, as automation rounds
  if (value < lo || value > hi) return DISP_E_OVERFLOW;
  *out = static_cast<LONGLONG>(value);
  return S_OK;
}

std::wstring TextOf(long double value, Num kind) {
  wchar_t buffer[64];
  if (kind == Num::kInt) std::swprintf(buffer, 64, L"%lld", static_cast<long long>(value));
  else std::swprintf(buffer, 64, L"%.15Lg", value);
  return buffer;
}

}  // namespace

void WINAPI VariantInit(VARIANTARG* v) {
  if (!v) return;
  v->vt = VT_EMPTY;
  v->wReserved1 = v->wReserved2 = v->wReserved3 = 0;
}

HRESULT WINAPI VariantClear(VARIANTARG* v) {
  if (!v) return E_INVALIDARG;
  if (!Known(v->vt) && v->vt != VT_EMPTY) return DISP_E_BADVARTYPE;
  if (!(v->vt & VT_BYREF)) {
    if (v->vt == VT_BSTR) SysFreeString(v->bstrVal);
    else if ((v->vt == VT_DISPATCH || v->vt == VT_UNKNOWN) && v->punkVal) v->punkVal->Release();
  }
  v->vt = VT_EMPTY;
  return S_OK;
}

HRESULT WINAPI VariantCopy(VARIANTARG* dest, const VARIANTARG* source) {
  if (!dest || !source) return E_INVALIDARG;
  if (!Known(source->vt) && source->vt != VT_EMPTY) return DISP_E_BADVARTYPE;
  if (dest == source) return S_OK;
  HRESULT hr = VariantClear(dest);
  if (FAILED(hr)) return hr;
  VARIANT copy = *source;
  if (source->vt == VT_BSTR && source->bstrVal) {
    copy.bstrVal = SysAllocStringLen(source->bstrVal, SysStringLen(source->bstrVal));
    if (!copy.bstrVal) return E_OUTOFMEMORY;
  } else if ((source->vt == VT_DISPATCH || source->vt == VT_UNKNOWN) && source->punkVal) {
    source->punkVal->AddRef();
  }
  *dest = copy;
  return S_OK;
}

namespace {

HRESULT ChangeType(VARIANTARG* dest, const VARIANTARG* source, USHORT flags, VARTYPE vt) {
  if (!dest || !source) return E_INVALIDARG;
  if (!Known(source->vt) && source->vt != VT_EMPTY) return DISP_E_BADVARTYPE;
  if (vt & (VT_BYREF | VT_ARRAY)) return DISP_E_TYPEMISMATCH;
  VARIANT in;
  if (!Deref(*source, in)) return DISP_E_TYPEMISMATCH;
  VARIANT out;
  VariantInit(&out);
  out.llVal = 0;
  out.vt = vt;
  HRESULT hr = S_OK;

  if (in.vt == vt) {
    out.vt = VT_EMPTY;
    hr = VariantCopy(&out, &in);
    if (FAILED(hr)) return hr;
  } else if (vt == VT_BSTR) {
    std::wstring text;
    if (in.vt == VT_BOOL) {
      text = (flags & VARIANT_ALPHABOOL) ? (in.boolVal ? L"True" : L"False") : (in.boolVal ? L"-1" : L"0");
    } else if (in.vt == VT_EMPTY) {
      text.clear();
    } else {
      long double value = 0;
      Num kind = NumberOf(in, &value, &hr);
      if (kind == Num::kNone) return hr;
      text = TextOf(value, kind);
    }
    out.bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    if (!out.bstrVal) return E_OUTOFMEMORY;
  } else if (vt == VT_DISPATCH || vt == VT_UNKNOWN) {
    if (in.vt != VT_DISPATCH && in.vt != VT_UNKNOWN) return DISP_E_TYPEMISMATCH;
    out.punkVal = nullptr;
    if (in.punkVal) {
      void* p = nullptr;
      hr = in.punkVal->QueryInterface(vt == VT_DISPATCH ? IID_IDispatch : IID_IUnknown, &p);
      if (FAILED(hr)) return hr == E_NOINTERFACE ? DISP_E_TYPEMISMATCH : hr;
      out.punkVal = static_cast<IUnknown*>(p);
    }
  } else if (vt == VT_EMPTY) {
    // nothing to carry
  } else {
    if (in.vt == VT_DISPATCH || in.vt == VT_UNKNOWN || in.vt == VT_NULL || in.vt == VT_ERROR) return DISP_E_TYPEMISMATCH;
    long double value = 0;
    Num kind = NumberOf(in, &value, &hr);
    if (kind == Num::kNone) return hr;
    LONGLONG n = 0;
    switch (vt) {
      case VT_BOOL: out.boolVal = value != 0 ? VARIANT_TRUE : VARIANT_FALSE; break;
      case VT_I1: hr = ToInteger(value, kind, -128, 127, &n); out.bVal = static_cast<BYTE>(n); break;
      case VT_UI1: hr = ToInteger(value, kind, 0, 255, &n); out.bVal = static_cast<BYTE>(n); break;
      case VT_I2: hr = ToInteger(value, kind, -32768, 32767, &n); out.iVal = static_cast<SHORT>(n); break;
      case VT_UI2: hr = ToInteger(value, kind, 0, 65535, &n); out.iVal = static_cast<SHORT>(n); break;
      case VT_I4: case VT_INT: hr = ToInteger(value, kind, -2147483648.0L, 2147483647.0L, &n); out.lVal = static_cast<LONG>(n); break;
      case VT_UI4: case VT_UINT: hr = ToInteger(value, kind, 0, 4294967295.0L, &n); out.ulVal = static_cast<ULONG>(n); break;
      case VT_I8: hr = ToInteger(value, kind, -9223372036854775808.0L, 9223372036854775807.0L, &n); out.llVal = n; break;
      case VT_R4:
        if (std::fabs(value) > std::numeric_limits<float>::max()) return DISP_E_OVERFLOW;
        out.fltVal = static_cast<float>(value);
        break;
      case VT_R8: case VT_DATE: out.dblVal = static_cast<double>(value); break;
      default: return DISP_E_TYPEMISMATCH;
    }
    if (FAILED(hr)) return hr;
  }
  // The source may be the destination: clear it only once the value is safe.
  hr = VariantClear(dest);
  if (FAILED(hr)) {
    VariantClear(&out);
    return hr;
  }
  *dest = out;
  return S_OK;
}

}  // namespace

HRESULT WINAPI VariantChangeType(VARIANTARG* dest, const VARIANTARG* source, USHORT flags, VARTYPE vt) {
  return stand_in::ComNoThrow([&] { return ChangeType(dest, source, flags, vt); });
}
