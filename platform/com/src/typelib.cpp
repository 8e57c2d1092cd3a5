// ITypeLib and ITypeInfo over a decoded type library, and the loading entry points.
#include "typelib_model.h"

#include <objbase.h>
#include <stand_in/no_throw.h>
#include <stand_in/text.h>

#include <cwctype>
#include <deque>
#include <map>
#include <mutex>
#include <new>

namespace stand_in {
extern const unsigned char kStdole2Tlb[];
extern const size_t kStdole2Tlb_size;
}  // namespace stand_in

const IID IID_ITypeInfo = __uuidof(ITypeInfo);
const IID IID_ITypeLib = __uuidof(ITypeLib);

namespace stand_in {
namespace typelib {

HRESULT InvokeFunc(ITypeInfo* owner, const Func& f, void* instance, WORD flags, DISPPARAMS* params, VARIANT* result,
                   EXCEPINFO* exception, UINT* argError);

bool SameName(const std::wstring& a, const wchar_t* b) {
  if (!b) return false;
  size_t i = 0;
  for (; i < a.size(); ++i)
    if (!b[i] || std::towlower(static_cast<wint_t>(a[i])) != std::towlower(static_cast<wint_t>(b[i]))) return false;
  return b[i] == 0;
}

std::string& LastError() {
  static thread_local std::string text;
  return text;
}

namespace {

// The imported IDispatch that a pure dispinterface derives from, whatever its
// library's import table holds.
constexpr HREFTYPE kBuiltinDispatch = 0xFFFFFFF5u;
constexpr GUID kIidDispatch = stand_in::GuidFromText("00020400-0000-0000-C000-000000000046");

// How deep a lookup has followed base interfaces on this thread.
constexpr int kMaxBaseDepth = 32;
int& BaseDepth() {
  static thread_local int depth = 0;
  return depth;
}
struct DepthGuard {
  DepthGuard() { ++BaseDepth(); }
  ~DepthGuard() { --BaseDepth(); }
};

BSTR NewBstr(const std::wstring& text) { return SysAllocStringLen(text.data(), static_cast<UINT>(text.size())); }

// The names of a member, handed out as far as they fit: all of them, or
// none and E_OUTOFMEMORY.
struct NameList {
  BSTR* names;
  UINT max;
  UINT count = 0;
  bool failed = false;

  // False once the list is full or a name could not be made.
  bool Add(const std::wstring& text) {
    if (failed || count >= max) return false;
    names[count] = NewBstr(text);
    if (!names[count]) failed = true;
    else ++count;
    return !failed;
  }
  HRESULT Finish(UINT* out) {
    if (failed) {
      while (count > 0) SysFreeString(names[--count]);
      return E_OUTOFMEMORY;
    }
    *out = count;
    return S_OK;
  }
};

// Hands out the texts asked for (a null source gives a null text) and the
// help context: all of them, or none and E_OUTOFMEMORY.
HRESULT GiveDocumentation(const std::wstring* nameText, const std::wstring* docText, DWORD context,
                          const std::wstring* helpFileText, BSTR* name, BSTR* doc, DWORD* helpContext,
                          BSTR* helpFile) {
  BSTR* const outs[3] = {name, doc, helpFile};
  const std::wstring* const texts[3] = {nameText, docText, helpFileText};
  BSTR made[3] = {};
  for (int i = 0; i < 3; ++i) {
    if (!outs[i] || !texts[i]) continue;
    made[i] = NewBstr(*texts[i]);
    if (!made[i]) {
      for (BSTR b : made) SysFreeString(b);
      return E_OUTOFMEMORY;
    }
  }
  for (int i = 0; i < 3; ++i)
    if (outs[i]) *outs[i] = made[i];
  if (helpContext) *helpContext = context;
  return S_OK;
}

// What a FUNCDESC, VARDESC or TYPEATTR handed out points into.
struct Storage {
  std::unique_ptr<FUNCDESC> func;
  std::unique_ptr<VARDESC> var;
  std::unique_ptr<TYPEATTR> attr;
  std::unique_ptr<ELEMDESC[]> elems;
  std::deque<TYPEDESC> typedescs;
  std::vector<std::unique_ptr<unsigned char[]>> arrays;
  std::deque<PARAMDESCEX> defaults;
  std::deque<VARIANT> values;
  ~Storage() {
    for (PARAMDESCEX& d : defaults) VariantClear(&d.varDefaultValue);
    for (VARIANT& v : values) VariantClear(&v);
  }
};

void FillType(const TypeSpec& t, TYPEDESC& out, Storage& s) {
  out.vt = t.vt;
  out.hreftype = 0;
  if ((t.vt == VT_PTR || t.vt == VT_SAFEARRAY) && t.inner) {
    s.typedescs.emplace_back();
    TYPEDESC* inner = &s.typedescs.back();
    FillType(*t.inner, *inner, s);
    out.lptdesc = inner;
  } else if (t.vt == VT_CARRAY && t.inner) {
    const size_t dims = t.bounds.size();
    auto block = std::make_unique<unsigned char[]>(sizeof(ARRAYDESC) + dims * sizeof(SAFEARRAYBOUND));
    ARRAYDESC* a = new (block.get()) ARRAYDESC{};
    a->cDims = static_cast<USHORT>(dims);
    for (size_t d = 0; d < dims; ++d) (&a->rgbounds[0])[d] = t.bounds[d];
    FillType(*t.inner, a->tdescElem, s);
    s.arrays.push_back(std::move(block));
    out.lpadesc = a;
  } else if (t.vt == VT_USERDEFINED) {
    out.hreftype = t.href;
  }
}

void FillElem(const Param& p, ELEMDESC& out, Storage& s) {
  out = ELEMDESC{};
  FillType(p.type, out.tdesc, s);
  out.paramdesc.wParamFlags = p.flags;
  if (p.hasDefault) {
    s.defaults.emplace_back();
    PARAMDESCEX& d = s.defaults.back();
    d.cBytes = sizeof(PARAMDESCEX);
    VariantInit(&d.varDefaultValue);
    if (p.defaultVt == VT_BSTR) {
      d.varDefaultValue.bstrVal = NewBstr(p.defaultText);
      if (!d.varDefaultValue.bstrVal) throw std::bad_alloc();
      d.varDefaultValue.vt = VT_BSTR;
    } else {
      d.varDefaultValue.vt = p.defaultVt;
      d.varDefaultValue.lVal = p.defaultInt;
      if (p.defaultVt == VT_I2 || p.defaultVt == VT_BOOL) d.varDefaultValue.iVal = static_cast<SHORT>(p.defaultInt);
    }
    out.paramdesc.pparamdescex = &d;
  }
}

// The dispatch view of a dual interface's vtable function: HRESULT and the
// [out, retval] parameter become the function's own result.
Func DispatchView(const Func& f) {
  Func d = f;
  d.funckind = FUNC_DISPATCH;
  d.oVft = 0;
  if (d.ret.vt == VT_HRESULT) {
    if (!d.params.empty() && (d.params.back().flags & PARAMFLAG_FRETVAL) && d.params.back().type.vt == VT_PTR &&
        d.params.back().type.inner) {
      TypeSpec inner = *d.params.back().type.inner;
      d.ret = inner;
      d.params.pop_back();
    } else {
      d.ret = TypeSpec{};
      d.ret.vt = VT_VOID;
    }
  }
  return d;
}

class TypeLibImpl;

class TypeInfoImpl final : public ITypeInfo {
 public:
  TypeInfoImpl(TypeLibImpl* lib, const Library& model, UINT index, bool interfaceHalf)
      : lib_(lib), model_(model), rec_(model.records[index]), index_(index), interfaceHalf_(interfaceHalf) {
    if (rec_.IsDual() && !interfaceHalf_)
      for (const Func& f : rec_.funcs) dispFuncs_.push_back(DispatchView(f));
  }

  // IUnknown: the type information lives as long as its library, which it keeps.
  STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_ITypeInfo) {
      *object = static_cast<ITypeInfo*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;

  STDMETHODIMP GetTypeAttr(TYPEATTR** out) override {
    if (!out) return E_INVALIDARG;
    *out = nullptr;
    try {
      auto s = std::make_unique<Storage>();
      s->attr = std::make_unique<TYPEATTR>();
      TYPEATTR& a = *s->attr;
      a.guid = rec_.guid;
      a.lcid = model_.lcid;
      a.memidConstructor = MEMBERID_NIL;
      a.memidDestructor = MEMBERID_NIL;
      a.cbSizeInstance = rec_.cbSizeInstance;
      a.typekind = Kind();
      a.cFuncs = static_cast<WORD>(Funcs().size());
      a.cVars = static_cast<WORD>(rec_.vars.size());
      a.cImplTypes = static_cast<WORD>(ImplCount());
      a.cbSizeVft = Kind() == TKIND_DISPATCH ? static_cast<WORD>(7 * PointerSize()) : rec_.cbSizeVft;
      a.cbAlignment = rec_.cbAlignment;
      a.wTypeFlags = rec_.flags;
      a.wMajorVerNum = rec_.major;
      a.wMinorVerNum = rec_.minor;
      if (rec_.kind == TKIND_ALIAS) FillType(rec_.alias, a.tdescAlias, *s);
      *out = &a;
      Keep(&a, std::move(s));
      return S_OK;
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    }
  }
  STDMETHODIMP_(void) ReleaseTypeAttr(TYPEATTR* attr) override { Drop(attr); }

  STDMETHODIMP GetTypeComp(ITypeComp** comp) override {
    if (comp) *comp = nullptr;
    return E_NOTIMPL;
  }

  STDMETHODIMP GetFuncDesc(UINT index, FUNCDESC** out) override {
    if (!out) return E_INVALIDARG;
    *out = nullptr;
    const std::vector<Func>& funcs = Funcs();
    if (index >= funcs.size()) return TYPE_E_ELEMENTNOTFOUND;
    const Func& f = funcs[index];
    try {
      auto s = std::make_unique<Storage>();
      s->func = std::make_unique<FUNCDESC>();
      FUNCDESC& d = *s->func;
      d.memid = f.memid;
      d.funckind = f.funckind;
      d.invkind = f.invkind;
      d.callconv = f.callconv;
      d.cParams = static_cast<SHORT>(f.params.size());
      d.cParamsOpt = f.cParamsOpt;
      d.oVft = f.oVft;
      d.wFuncFlags = f.flags;
      FillType(f.ret, d.elemdescFunc.tdesc, *s);
      if (!f.params.empty()) {
        s->elems = std::make_unique<ELEMDESC[]>(f.params.size());
        for (size_t i = 0; i < f.params.size(); ++i) FillElem(f.params[i], s->elems[i], *s);
        d.lprgelemdescParam = s->elems.get();
      }
      *out = &d;
      Keep(&d, std::move(s));
      return S_OK;
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    }
  }
  STDMETHODIMP_(void) ReleaseFuncDesc(FUNCDESC* desc) override { Drop(desc); }

  STDMETHODIMP GetVarDesc(UINT index, VARDESC** out) override {
    if (!out) return E_INVALIDARG;
    *out = nullptr;
    if (index >= rec_.vars.size()) return TYPE_E_ELEMENTNOTFOUND;
    const Var& v = rec_.vars[index];
    try {
      auto s = std::make_unique<Storage>();
      s->var = std::make_unique<VARDESC>();
      VARDESC& d = *s->var;
      d.memid = v.memid;
      d.wVarFlags = v.flags;
      d.varkind = v.kind;
      FillType(v.type, d.elemdescVar.tdesc, *s);
      if (v.kind == VAR_CONST) {
        s->values.emplace_back();
        VARIANT& value = s->values.back();
        VariantInit(&value);
        value.vt = VT_I4;
        value.lVal = v.constValue;
        d.lpvarValue = &value;
      } else {
        d.oInst = v.oInst;
      }
      *out = &d;
      Keep(&d, std::move(s));
      return S_OK;
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    }
  }
  STDMETHODIMP_(void) ReleaseVarDesc(VARDESC* desc) override { Drop(desc); }

  STDMETHODIMP GetNames(MEMBERID memid, BSTR* names, UINT max, UINT* count) override {
    if (!names || !count) return E_INVALIDARG;
    *count = 0;
    for (const Func& f : Funcs()) {
      if (f.memid != memid) continue;
      NameList list{names, max};
      if (list.Add(f.name))
        for (const Param& p : f.params)
          if (p.name.empty() || !list.Add(p.name)) break;
      return list.Finish(count);
    }
    for (const Var& v : rec_.vars) {
      if (v.memid != memid) continue;
      NameList list{names, max};
      list.Add(v.name);
      return list.Finish(count);
    }
    ITypeInfo* base = nullptr;
    if (SUCCEEDED(Base(&base))) {
      DepthGuard guard;
      HRESULT hr = base->GetNames(memid, names, max, count);
      base->Release();
      return hr;
    }
    return TYPE_E_ELEMENTNOTFOUND;
  }

  STDMETHODIMP GetRefTypeOfImplType(UINT index, HREFTYPE* ref) override {
    if (!ref) return E_INVALIDARG;
    if (index == static_cast<UINT>(-1)) {
      if (!rec_.IsDual() || interfaceHalf_) return TYPE_E_ELEMENTNOTFOUND;
      *ref = static_cast<HREFTYPE>(100 * index_ + 2);
      return S_OK;
    }
    if (index >= ImplCount()) return TYPE_E_ELEMENTNOTFOUND;
    if (Kind() == TKIND_DISPATCH && (!rec_.IsDual() || rec_.impls.empty())) {
      *ref = kBuiltinDispatch;
      return S_OK;
    }
    *ref = rec_.impls[index].href;
    return S_OK;
  }

  STDMETHODIMP GetImplTypeFlags(UINT index, INT* flags) override {
    if (!flags) return E_INVALIDARG;
    if (index >= ImplCount()) return TYPE_E_ELEMENTNOTFOUND;
    *flags = rec_.kind == TKIND_COCLASS ? rec_.impls[index].flags : 0;
    return S_OK;
  }

  STDMETHODIMP GetIDsOfNames(LPOLESTR* names, UINT count, MEMBERID* ids) override {
    if (!names || !ids) return E_INVALIDARG;
    if (count == 0) return S_OK;
    for (UINT i = 0; i < count; ++i) ids[i] = MEMBERID_NIL;
    for (const Func& f : Funcs()) {
      if (!SameName(f.name, names[0])) continue;
      ids[0] = f.memid;
      HRESULT hr = S_OK;
      for (UINT i = 1; i < count; ++i) {
        for (size_t p = 0; p < f.params.size(); ++p)
          if (SameName(f.params[p].name, names[i])) ids[i] = static_cast<MEMBERID>(p);
        if (ids[i] == MEMBERID_NIL) hr = DISP_E_UNKNOWNNAME;
      }
      return hr;
    }
    for (const Var& v : rec_.vars) {
      if (!SameName(v.name, names[0])) continue;
      ids[0] = v.memid;
      return count == 1 ? S_OK : DISP_E_UNKNOWNNAME;
    }
    ITypeInfo* base = nullptr;
    if (SUCCEEDED(Base(&base))) {
      DepthGuard guard;
      HRESULT hr = base->GetIDsOfNames(names, count, ids);
      base->Release();
      return hr;
    }
    return DISP_E_UNKNOWNNAME;
  }

  STDMETHODIMP Invoke(PVOID instance, MEMBERID memid, WORD flags, DISPPARAMS* params, VARIANT* result,
                      EXCEPINFO* exception, UINT* argError) override {
    if (!instance || !params) return E_INVALIDARG;
    if (Kind() == TKIND_DISPATCH && !rec_.IsDual()) {
      // A pure dispinterface has no vtable of its own: the instance dispatches.
      IDispatch* dispatch = static_cast<IDispatch*>(instance);
      return dispatch->Invoke(memid, GUID_NULL, 0, flags, params, result, exception, argError);
    }
    if (Kind() != TKIND_INTERFACE && Kind() != TKIND_DISPATCH) return E_NOTIMPL;
    for (const Func& f : rec_.funcs) {
      if (f.memid != memid) continue;
      if (!(f.invkind & flags)) continue;
      try {
        return InvokeFunc(this, f, instance, flags, params, result, exception, argError);
      } catch (...) {
        return E_OUTOFMEMORY;
      }
    }
    return DISP_E_MEMBERNOTFOUND;
  }

  STDMETHODIMP GetDocumentation(MEMBERID memid, BSTR* name, BSTR* doc, DWORD* helpContext, BSTR* helpFile) override {
    const std::wstring* n = nullptr;
    const std::wstring* d = nullptr;
    DWORD context = 0;
    if (memid == MEMBERID_NIL) {
      n = &rec_.name;
      d = rec_.hasDoc ? &rec_.doc : nullptr;
      context = rec_.helpContext;
    } else {
      for (const Func& f : Funcs())
        if (f.memid == memid && !n) {
          n = &f.name;
          d = f.hasHelpString ? &f.helpString : nullptr;
          context = f.helpContext;
        }
      for (const Var& v : rec_.vars)
        if (v.memid == memid && !n) {
          n = &v.name;
          d = v.hasHelpString ? &v.helpString : nullptr;
        }
      if (!n) {
        ITypeInfo* base = nullptr;
        if (SUCCEEDED(Base(&base))) {
          DepthGuard guard;
          HRESULT hr = base->GetDocumentation(memid, name, doc, helpContext, helpFile);
          base->Release();
          return hr;
        }
        return TYPE_E_ELEMENTNOTFOUND;
      }
    }
    return GiveDocumentation(n, d, context, model_.hasHelpFile ? &model_.helpFile : nullptr, name, doc, helpContext,
                             helpFile);
  }

  STDMETHODIMP GetDllEntry(MEMBERID, INVOKEKIND, BSTR* dllName, BSTR* name, WORD* ordinal) override {
    if (dllName) *dllName = nullptr;
    if (name) *name = nullptr;
    if (ordinal) *ordinal = 0;
    return rec_.kind == TKIND_MODULE ? E_NOTIMPL : TYPE_E_BADMODULEKIND;
  }

  STDMETHODIMP GetRefTypeInfo(HREFTYPE ref, ITypeInfo** out) override;

  STDMETHODIMP AddressOfMember(MEMBERID, INVOKEKIND, PVOID* address) override {
    if (address) *address = nullptr;
    return rec_.kind == TKIND_MODULE ? E_NOTIMPL : TYPE_E_BADMODULEKIND;
  }
  STDMETHODIMP CreateInstance(IUnknown*, REFIID, PVOID* object) override {
    if (object) *object = nullptr;
    return rec_.kind == TKIND_COCLASS ? E_NOTIMPL : TYPE_E_BADMODULEKIND;
  }
  STDMETHODIMP GetMops(MEMBERID, BSTR* mops) override {
    if (!mops) return E_INVALIDARG;
    *mops = nullptr;
    return S_OK;
  }
  STDMETHODIMP GetContainingTypeLib(ITypeLib** lib, UINT* index) override;

  ULONG Count() const { return refs_.load(); }

 private:
  TYPEKIND Kind() const { return interfaceHalf_ ? TKIND_INTERFACE : rec_.kind; }
  size_t PointerSize() const { return model_.syskind == SYS_WIN64 ? 8 : 4; }
  const std::vector<Func>& Funcs() const { return dispFuncs_.empty() ? rec_.funcs : dispFuncs_; }
  size_t ImplCount() const {
    if (Kind() == TKIND_DISPATCH) return 1;
    return rec_.impls.size();
  }
  // The interface this one derives from, for names it does not declare itself.
  HRESULT Base(ITypeInfo** out) {
    *out = nullptr;
    if (Kind() != TKIND_INTERFACE && Kind() != TKIND_DISPATCH) return TYPE_E_ELEMENTNOTFOUND;
    if (BaseDepth() >= kMaxBaseDepth) return TYPE_E_ELEMENTNOTFOUND;  // libraries importing each other in a ring
    HREFTYPE ref;
    HRESULT hr = GetRefTypeOfImplType(0, &ref);
    if (FAILED(hr)) return hr;
    return GetRefTypeInfo(ref, out);
  }

  void Keep(const void* key, std::unique_ptr<Storage> s) {
    std::lock_guard<std::mutex> lock(mutex_);
    handedOut_[key] = std::move(s);
  }
  void Drop(const void* key) {
    if (!key) return;
    std::unique_ptr<Storage> s;
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = handedOut_.find(key);
    if (it == handedOut_.end()) return;
    s = std::move(it->second);
    handedOut_.erase(it);
  }

  TypeLibImpl* lib_;
  const Library& model_;
  const Record& rec_;
  UINT index_;
  bool interfaceHalf_;
  std::vector<Func> dispFuncs_;
  std::atomic<ULONG> refs_{0};
  std::mutex mutex_;
  std::map<const void*, std::unique_ptr<Storage>> handedOut_;
};

class TypeLibImpl final : public ITypeLib {
 public:
  TypeLibImpl(std::shared_ptr<const Library> model, std::wstring path) : model_(std::move(model)), path_(std::move(path)) {
    for (UINT i = 0; i < model_->records.size(); ++i) {
      infos_.push_back(std::make_unique<TypeInfoImpl>(this, *model_, i, false));
      halves_.push_back(model_->records[i].IsDual() ? std::make_unique<TypeInfoImpl>(this, *model_, i, true) : nullptr);
    }
  }
  ~TypeLibImpl() {
    for (ITypeLib* lib : imported_)
      if (lib) lib->Release();
  }

  STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_ITypeLib) {
      *object = static_cast<ITypeLib*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
  STDMETHODIMP_(ULONG) Release() override {
    ULONG n = --refs_;
    if (n == 0) delete this;
    return n;
  }

  STDMETHODIMP_(UINT) GetTypeInfoCount() override { return static_cast<UINT>(infos_.size()); }
  STDMETHODIMP GetTypeInfo(UINT index, ITypeInfo** out) override {
    if (!out) return E_INVALIDARG;
    *out = nullptr;
    if (index >= infos_.size()) return TYPE_E_ELEMENTNOTFOUND;
    *out = infos_[index].get();
    (*out)->AddRef();
    return S_OK;
  }
  STDMETHODIMP GetTypeInfoType(UINT index, TYPEKIND* kind) override {
    if (!kind) return E_INVALIDARG;
    if (index >= infos_.size()) return TYPE_E_ELEMENTNOTFOUND;
    *kind = model_->records[index].kind;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfoOfGuid(REFGUID guid, ITypeInfo** out) override {
    if (!out) return E_INVALIDARG;
    *out = nullptr;
    if (guid == GUID_NULL) return TYPE_E_ELEMENTNOTFOUND;
    for (UINT i = 0; i < infos_.size(); ++i)
      if (model_->records[i].guid == guid) return GetTypeInfo(i, out);
    return TYPE_E_ELEMENTNOTFOUND;
  }
  STDMETHODIMP GetLibAttr(TLIBATTR** out) override {
    if (!out) return E_INVALIDARG;
    TLIBATTR* a = new (std::nothrow) TLIBATTR{};
    if (!a) return E_OUTOFMEMORY;
    a->guid = model_->guid;
    a->lcid = model_->lcid;
    a->syskind = model_->syskind;
    a->wMajorVerNum = model_->major;
    a->wMinorVerNum = model_->minor;
    a->wLibFlags = model_->libFlags;
    *out = a;
    return S_OK;
  }
  STDMETHODIMP_(void) ReleaseTLibAttr(TLIBATTR* attr) override { delete attr; }
  STDMETHODIMP GetTypeComp(ITypeComp** comp) override {
    if (comp) *comp = nullptr;
    return E_NOTIMPL;
  }
  STDMETHODIMP GetDocumentation(INT index, BSTR* name, BSTR* doc, DWORD* helpContext, BSTR* helpFile) override {
    if (index == -1)
      return GiveDocumentation(&model_->name, model_->hasDoc ? &model_->doc : nullptr, model_->helpContext,
                               model_->hasHelpFile ? &model_->helpFile : nullptr, name, doc, helpContext, helpFile);
    if (index < 0 || static_cast<size_t>(index) >= infos_.size()) return TYPE_E_ELEMENTNOTFOUND;
    return infos_[index]->GetDocumentation(MEMBERID_NIL, name, doc, helpContext, helpFile);
  }
  STDMETHODIMP IsName(LPOLESTR name, ULONG, BOOL* found) override {
    if (!name || !found) return E_INVALIDARG;
    *found = FALSE;
    for (const Record& r : model_->records) {
      bool hit = SameName(r.name, name);
      for (const Func& f : r.funcs) {
        hit = hit || SameName(f.name, name);
        for (const Param& p : f.params) hit = hit || SameName(p.name, name);
      }
      for (const Var& v : r.vars) hit = hit || SameName(v.name, name);
      if (hit) {
        *found = TRUE;
        break;
      }
    }
    return S_OK;
  }
  STDMETHODIMP FindName(LPOLESTR name, ULONG, ITypeInfo** infos, MEMBERID* memids, USHORT* found) override {
    if (!name || !infos || !memids || !found) return E_INVALIDARG;
    USHORT n = 0;
    for (UINT i = 0; i < infos_.size() && n < *found; ++i) {
      const Record& r = model_->records[i];
      MEMBERID id = MEMBERID_NIL;
      bool hit = SameName(r.name, name);
      for (const Func& f : r.funcs)
        if (!hit && SameName(f.name, name)) hit = true, id = f.memid;
      for (const Var& v : r.vars)
        if (!hit && SameName(v.name, name)) hit = true, id = v.memid;
      if (!hit) continue;
      infos[n] = infos_[i].get();
      infos[n]->AddRef();
      memids[n] = id;
      ++n;
    }
    *found = n;
    return S_OK;
  }

  // Reference counting of the type infos, which belong to the library.
  void InfoAcquired() { AddRef(); }
  void InfoReleased() { Release(); }

  HRESULT Local(HREFTYPE ref, ITypeInfo** out) {
    if ((ref & 3) == 2 && (ref - 2) / 100 < halves_.size() && (ref - 2) % 100 == 0 && halves_[(ref - 2) / 100]) {
      *out = halves_[(ref - 2) / 100].get();
      (*out)->AddRef();
      return S_OK;
    }
    if ((ref & 3) == 0 && ref % 100 == 0 && ref / 100 < infos_.size()) return GetTypeInfo(ref / 100, out);
    return TYPE_E_ELEMENTNOTFOUND;
  }

  HRESULT Imported(HREFTYPE ref, ITypeInfo** out) {
    if (ref == kBuiltinDispatch) {
      ITypeLib* std = nullptr;
      HRESULT hr = Stdole2(&std);
      if (FAILED(hr)) return hr;
      hr = std->GetTypeInfoOfGuid(kIidDispatch, out);
      std->Release();
      return hr;
    }
    const ImportRef* imp = model_->FindImport(ref);
    if (!imp) return TYPE_E_ELEMENTNOTFOUND;
    ITypeLib* lib = nullptr;
    HRESULT hr = ImportedLibrary(imp->file, &lib);
    if (FAILED(hr)) return hr;
    if (imp->byGuid) return lib->GetTypeInfoOfGuid(imp->guid, out);
    if (imp->index < 0) return TYPE_E_ELEMENTNOTFOUND;
    return lib->GetTypeInfo(static_cast<UINT>(imp->index), out);
  }

  const std::wstring& Path() const { return path_; }
  const Library& Model() const { return *model_; }

 private:
  // The library an import names, loaded once and kept with this one.
  HRESULT ImportedLibrary(int file, ITypeLib** out) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (imported_.size() < model_->imports.size()) imported_.resize(model_->imports.size(), nullptr);
    if (!imported_[file]) {
      const ImportFile& f = model_->imports[file];
      HRESULT hr = f.guid == kStdoleGuid ? Stdole2(&imported_[file])
                                         : LoadRegTypeLib(f.guid, f.major, f.minor, f.lcid, &imported_[file]);
      if (FAILED(hr)) {
        imported_[file] = nullptr;
        return hr;
      }
    }
    *out = imported_[file];
    return S_OK;
  }

  std::atomic<ULONG> refs_{0};
  std::shared_ptr<const Library> model_;
  std::wstring path_;
  std::vector<std::unique_ptr<TypeInfoImpl>> infos_;
  std::vector<std::unique_ptr<TypeInfoImpl>> halves_;
  std::mutex mutex_;
  std::vector<ITypeLib*> imported_;
};

ULONG TypeInfoImpl::AddRef() {
  ULONG n = ++refs_;
  if (n == 1) lib_->InfoAcquired();
  return n;
}

ULONG TypeInfoImpl::Release() {
  ULONG n = --refs_;
  if (n == 0) lib_->InfoReleased();  // may destroy the library and this with it
  return n;
}

HRESULT TypeInfoImpl::GetRefTypeInfo(HREFTYPE ref, ITypeInfo** out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  // An imported library is loaded on the first look.
  return ComNoThrow([&] { return (ref & 3) == 1 ? lib_->Imported(ref, out) : lib_->Local(ref, out); });
}

HRESULT TypeInfoImpl::GetContainingTypeLib(ITypeLib** lib, UINT* index) {
  if (!lib) return E_INVALIDARG;
  *lib = lib_;
  lib_->AddRef();
  if (index) *index = index_;
  return S_OK;
}

}  // namespace

HRESULT CreateTypeLib(std::shared_ptr<const Library> lib, const std::wstring& path, ITypeLib** out) {
  return ComNoThrow([&] {
    TypeLibImpl* impl = new TypeLibImpl(std::move(lib), path);
    impl->AddRef();
    *out = impl;
    return S_OK;
  });
}

HRESULT Stdole2(ITypeLib** out) {
  static std::mutex mutex;
  static ITypeLib* cached = nullptr;  // the system's library: loaded once, kept for the process
  std::lock_guard<std::mutex> lock(mutex);
  if (!cached) {
    auto model = std::make_shared<Library>();
    std::string error;
    HRESULT hr = Parse(kStdole2Tlb, kStdole2Tlb_size, *model, error);
    if (FAILED(hr)) return hr;
    hr = CreateTypeLib(model, L"stdole2.tlb", &cached);
    if (FAILED(hr)) return hr;
  }
  cached->AddRef();
  *out = cached;
  return S_OK;
}

const std::wstring* PathOf(ITypeLib* lib) {
  TypeLibImpl* impl = dynamic_cast<TypeLibImpl*>(lib);
  return impl ? &impl->Path() : nullptr;
}

HRESULT LoadFromMemory(const uint8_t* data, size_t size, const std::wstring& path, ITypeLib** out) {
  try {
    auto model = std::make_shared<Library>();
    std::string error;
    HRESULT hr = Parse(data, size, *model, error);
    if (FAILED(hr)) {
      LastError() = error;
      return hr;
    }
    return CreateTypeLib(model, path, out);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

}  // namespace typelib
}  // namespace stand_in
