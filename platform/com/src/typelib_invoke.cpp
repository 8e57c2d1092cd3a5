// ITypeInfo::Invoke for vtable interfaces: the arguments of a DISPPARAMS,
// coerced to the parameter types, passed through the interface's vtable slot.
// Only integer-class arguments (integers, booleans, pointers, strings and
// interfaces) are passed; a parameter of another class is refused.
#include "typelib_model.h"

#include <array>
#include <deque>
#include <utility>

namespace stand_in {
namespace typelib {
namespace {

template <size_t>
using Word = uint64_t;

template <size_t... I>
uint64_t CallWith(void* fn, void* self, const uint64_t* a, std::index_sequence<I...>) {
  using F = uint64_t (*)(void*, Word<I>...);
  return reinterpret_cast<F>(fn)(self, a[I]...);
}

template <size_t N>
uint64_t CallArity(void* fn, void* self, const uint64_t* a) {
  return CallWith(fn, self, a, std::make_index_sequence<N>{});
}

using Caller = uint64_t (*)(void*, void*, const uint64_t*);
template <size_t... N>
constexpr std::array<Caller, sizeof...(N)> MakeCallers(std::index_sequence<N...>) {
  return {&CallArity<N>...};
}
constexpr size_t kMaxArgs = 16;
constexpr auto kCallers = MakeCallers(std::make_index_sequence<kMaxArgs + 1>{});

bool IsIntegerVt(VARTYPE vt) {
  switch (vt) {
    case VT_I1: case VT_UI1: case VT_I2: case VT_UI2: case VT_I4: case VT_UI4: case VT_INT: case VT_UINT:
    case VT_I8: case VT_UI8: case VT_BOOL: case VT_ERROR:
      return true;
    default:
      return false;
  }
}

// The value of a coerced variant as the integer register holding it.
uint64_t Register(const VARIANT& v) {
  switch (v.vt) {
    case VT_I1: return static_cast<uint64_t>(static_cast<int64_t>(static_cast<signed char>(v.bVal)));
    case VT_UI1: return v.bVal;
    case VT_I2: case VT_BOOL: return static_cast<uint64_t>(static_cast<int64_t>(v.iVal));
    case VT_UI2: return static_cast<uint16_t>(v.iVal);
    case VT_I4: case VT_INT: case VT_ERROR: return static_cast<uint64_t>(static_cast<int64_t>(v.lVal));
    case VT_UI4: case VT_UINT: return v.ulVal;
    case VT_I8: case VT_UI8: return static_cast<uint64_t>(v.llVal);
    case VT_BSTR: return reinterpret_cast<uintptr_t>(v.bstrVal);
    case VT_DISPATCH: case VT_UNKNOWN: return reinterpret_cast<uintptr_t>(v.punkVal);
    default: return 0;
  }
}

// What a VT_USERDEFINED type is: an interface (with its IID) or an enum.
HRESULT Resolve(ITypeInfo* owner, HREFTYPE href, TYPEKIND* kind, GUID* iid) {
  ITypeInfo* info = nullptr;
  HRESULT hr = owner->GetRefTypeInfo(href, &info);
  if (FAILED(hr)) return hr;
  TYPEATTR* attr = nullptr;
  hr = info->GetTypeAttr(&attr);
  if (SUCCEEDED(hr)) {
    *kind = attr->typekind;
    *iid = attr->guid;
    info->ReleaseTypeAttr(attr);
  }
  info->Release();
  return hr;
}

class Call {
 public:
  ~Call() {
    for (VARIANT& v : temps_) VariantClear(&v);
    for (IUnknown* u : held_) u->Release();
  }

  // One [in] argument (or the value behind a by-reference one) for `type`.
  HRESULT Add(ITypeInfo* owner, const TypeSpec& type, USHORT flags, VARIANT* arg) {
    VARTYPE vt = type.vt;
    if (vt == VT_USERDEFINED) {
      TYPEKIND kind;
      GUID iid;
      if (FAILED(Resolve(owner, type.href, &kind, &iid))) return DISP_E_TYPEMISMATCH;
      if (kind != TKIND_ENUM) return DISP_E_TYPEMISMATCH;
      vt = VT_I4;
    }
    if (IsIntegerVt(vt) || vt == VT_BSTR || vt == VT_DISPATCH || vt == VT_UNKNOWN) return Coerce(arg, vt);
    if (vt != VT_PTR || !type.inner) return DISP_E_TYPEMISMATCH;
    const TypeSpec& inner = *type.inner;
    if (inner.vt == VT_USERDEFINED) {
      TYPEKIND kind;
      GUID iid;
      if (FAILED(Resolve(owner, inner.href, &kind, &iid))) return DISP_E_TYPEMISMATCH;
      if (kind != TKIND_INTERFACE && kind != TKIND_DISPATCH) return DISP_E_TYPEMISMATCH;
      return AddInterface(arg, iid);
    }
    if (inner.vt == VT_VARIANT) {
      words_.push_back(reinterpret_cast<uintptr_t>(arg->vt == (VT_BYREF | VT_VARIANT) ? arg->pvarVal : arg));
      return S_OK;
    }
    if (arg->vt == (VT_BYREF | inner.vt)) {
      words_.push_back(reinterpret_cast<uintptr_t>(arg->byref));
      return S_OK;
    }
    if ((flags & PARAMFLAG_FOUT) || !(IsIntegerVt(inner.vt) || inner.vt == VT_BSTR)) return DISP_E_TYPEMISMATCH;
    // An [in] pointer to a value: the coerced value's own storage.
    HRESULT hr = Coerce(arg, inner.vt);
    if (FAILED(hr)) return hr;
    words_.back() = reinterpret_cast<uintptr_t>(&temps_.back().llVal);
    return S_OK;
  }

  // A default value for an argument the caller left out.
  HRESULT AddDefault(const Param& p) {
    VARIANT v;
    VariantInit(&v);
    if (p.defaultVt == VT_BSTR) {
      v.vt = VT_BSTR;
      v.bstrVal = SysAllocStringLen(p.defaultText.data(), static_cast<UINT>(p.defaultText.size()));
    } else {
      v.vt = VT_I4;
      v.lVal = p.defaultInt;
    }
    TypeSpec type = p.type;
    HRESULT hr = IsIntegerVt(type.vt) || type.vt == VT_BSTR ? Coerce(&v, type.vt) : DISP_E_TYPEMISMATCH;
    VariantClear(&v);
    return hr;
  }

  // The [out, retval] pointer: storage that becomes the result.
  HRESULT AddRetval(ITypeInfo* owner, const TypeSpec& type) {
    if (type.vt != VT_PTR || !type.inner) return DISP_E_TYPEMISMATCH;
    VARTYPE vt = type.inner->vt;
    if (vt == VT_PTR && type.inner->inner && type.inner->inner->vt == VT_USERDEFINED) {
      TYPEKIND kind;
      GUID iid;
      if (FAILED(Resolve(owner, type.inner->inner->href, &kind, &iid))) return DISP_E_TYPEMISMATCH;
      if (kind != TKIND_INTERFACE && kind != TKIND_DISPATCH) return DISP_E_TYPEMISMATCH;
      vt = kind == TKIND_DISPATCH ? VT_DISPATCH : VT_UNKNOWN;
    } else if (vt == VT_USERDEFINED) {
      TYPEKIND kind;
      GUID iid;
      if (FAILED(Resolve(owner, type.inner->href, &kind, &iid)) || kind != TKIND_ENUM) return DISP_E_TYPEMISMATCH;
      vt = VT_I4;
    } else if (!IsIntegerVt(vt) && vt != VT_BSTR && vt != VT_DISPATCH && vt != VT_UNKNOWN && vt != VT_VARIANT &&
               vt != VT_R4 && vt != VT_R8 && vt != VT_DATE) {
      return DISP_E_TYPEMISMATCH;
    }
    VariantInit(&retval_);
    retval_.llVal = 0;
    retvalVt_ = vt;
    hasRetval_ = true;
    words_.push_back(reinterpret_cast<uintptr_t>(vt == VT_VARIANT ? static_cast<void*>(&retval_)
                                                                  : static_cast<void*>(&retval_.llVal)));
    return S_OK;
  }

  const std::vector<uint64_t>& Words() const { return words_; }

  // Hands the [out, retval] value to `result` (or frees it).
  void TakeRetval(VARIANT* result, bool keep) {
    if (!hasRetval_) return;
    if (retvalVt_ != VT_VARIANT) retval_.vt = retvalVt_;
    if (keep && result) {
      *result = retval_;
    } else {
      VariantClear(&retval_);
    }
    hasRetval_ = false;
  }
 private:
  HRESULT Coerce(VARIANT* arg, VARTYPE vt) {
    temps_.emplace_back();
    VARIANT& t = temps_.back();
    VariantInit(&t);
    HRESULT hr = VariantChangeType(&t, arg, 0, vt);
    if (FAILED(hr)) return hr == DISP_E_OVERFLOW ? hr : DISP_E_TYPEMISMATCH;
    words_.push_back(Register(t));
    return S_OK;
  }
  HRESULT AddInterface(VARIANT* arg, const GUID& iid) {
    VARIANT* v = arg;
    IUnknown* unknown = nullptr;
    if (v->vt == VT_UNKNOWN || v->vt == VT_DISPATCH) unknown = v->punkVal;
    else if (v->vt == (VT_BYREF | VT_UNKNOWN) || v->vt == (VT_BYREF | VT_DISPATCH)) unknown = v->ppunkVal ? *v->ppunkVal : nullptr;
    else if (v->vt != VT_EMPTY && v->vt != VT_NULL) return DISP_E_TYPEMISMATCH;
    void* pointer = nullptr;
    if (unknown) {
      if (FAILED(unknown->QueryInterface(iid, &pointer)) || !pointer) return DISP_E_TYPEMISMATCH;
      held_.push_back(static_cast<IUnknown*>(pointer));
    }
    words_.push_back(reinterpret_cast<uintptr_t>(pointer));
    return S_OK;
  }

  std::vector<uint64_t> words_;
  std::deque<VARIANT> temps_;
  std::vector<IUnknown*> held_;
  VARIANT retval_{};
  VARTYPE retvalVt_ = VT_EMPTY;
  bool hasRetval_ = false;
};

}  // namespace

HRESULT CallVtable(void* instance, SHORT oVft, const std::vector<uint64_t>& args, VARTYPE ret, uint64_t* result) {
  if (!instance || oVft < 0 || oVft % sizeof(void*) != 0) return E_INVALIDARG;
  if (args.size() > kMaxArgs) return DISP_E_TYPEMISMATCH;
  void** vtable = *static_cast<void***>(instance);
  void* fn = vtable[oVft / sizeof(void*)];
  uint64_t value = kCallers[args.size()](fn, instance, args.data());
  *result = ret == VT_VOID ? 0 : value;
  return S_OK;
}

HRESULT InvokeFunc(ITypeInfo* owner, const Func& f, void* instance, WORD flags, DISPPARAMS* params, VARIANT* result,
                   EXCEPINFO* exception, UINT* argError) {
  (void)flags;
  if (f.funckind == FUNC_DISPATCH) return E_NOTIMPL;
  const bool put = f.invkind == INVOKE_PROPERTYPUT || f.invkind == INVOKE_PROPERTYPUTREF;
  if (params->cNamedArgs > 0 &&
      !(put && params->cNamedArgs == 1 && params->rgdispidNamedArgs && params->rgdispidNamedArgs[0] == DISPID_PROPERTYPUT))
    return DISP_E_NONAMEDARGS;
  if (params->cArgs > 0 && !params->rgvarg) return E_INVALIDARG;

  size_t visible = f.params.size();
  const bool retval = !f.params.empty() && (f.params.back().flags & PARAMFLAG_FRETVAL);
  if (retval) --visible;
  size_t required = visible;
  while (required > 0 && f.params[required - 1].hasDefault) --required;
  const size_t given = params->cArgs;
  if (given > visible || given < required) return DISP_E_BADPARAMCOUNT;

  Call call;
  for (size_t i = 0; i < visible; ++i) {
    if (i >= given) {
      HRESULT hr = call.AddDefault(f.params[i]);
      if (FAILED(hr)) return hr;
      continue;
    }
    const UINT position = static_cast<UINT>(given - 1 - i);  // arguments arrive last first
    VARIANT* arg = &params->rgvarg[position];
    if (arg->vt == VT_ERROR && arg->scode == DISP_E_PARAMNOTFOUND && f.params[i].hasDefault) {
      HRESULT hr = call.AddDefault(f.params[i]);
      if (FAILED(hr)) return hr;
      continue;
    }
    HRESULT hr = call.Add(owner, f.params[i].type, f.params[i].flags, arg);
    if (FAILED(hr)) {
      if (argError) *argError = position;
      return hr;
    }
  }
  if (retval) {
    HRESULT hr = call.AddRetval(owner, f.params.back().type);
    if (FAILED(hr)) return hr;
  }

  uint64_t value = 0;
  HRESULT hr = CallVtable(instance, f.oVft, call.Words(), f.ret.vt, &value);
  if (FAILED(hr)) return hr;
  if (f.ret.vt == VT_HRESULT) {
    const HRESULT code = static_cast<HRESULT>(static_cast<uint32_t>(value));
    if (FAILED(code)) {
      call.TakeRetval(nullptr, false);
      if (exception) {
        *exception = EXCEPINFO{};
        exception->scode = code;
      }
      return DISP_E_EXCEPTION;
    }
    if (result && !retval) VariantInit(result);
    call.TakeRetval(result, true);
    return S_OK;
  }
  if (result) {
    VariantInit(result);
    if (IsIntegerVt(f.ret.vt)) {
      result->vt = f.ret.vt;
      result->llVal = static_cast<LONGLONG>(value);
    }
  }
  return S_OK;
}

}  // namespace typelib
}  // namespace stand_in
