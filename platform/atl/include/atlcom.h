// ATL subset: object roots and the COM map, the object wrappers and
// creators, the class factory and the object map entries, IDispatchImpl
// over a registered type library, and the dispatch event sink
// IDispEventImpl with its sink map.
#pragma once

#include <atlbase.h>
#include <oaidl.h>

#include <climits>
#include <cstdint>
#include <exception>
#include <new>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#define ATL_NO_VTABLE

namespace ATL {

// COM map: an interface id and how to reach that interface from the object.
typedef IUnknown*(WINAPI _ATL_INTMAP_CASTFUNC)(void* pThis);
struct _ATL_INTMAP_ENTRY {
  const IID* piid;
  _ATL_INTMAP_CASTFUNC* pCast;
};

template <class C, class I>
IUnknown* WINAPI _AtlIntMapCast(void* pThis) noexcept {
  return static_cast<I*>(static_cast<C*>(pThis));
}
template <class C, class I, class I2>
IUnknown* WINAPI _AtlIntMapCast2(void* pThis) noexcept {
  return static_cast<I*>(static_cast<I2*>(static_cast<C*>(pThis)));
}

inline void _AtlLockModule() noexcept {
  if (_pAtlModule) _pAtlModule->Lock();
}
inline void _AtlUnlockModule() noexcept {
  if (_pAtlModule) _pAtlModule->Unlock();
}

class CComObjectRootBase {
 public:
  CComObjectRootBase() noexcept : m_dwRef(0) {}

  HRESULT FinalConstruct() noexcept { return S_OK; }
  HRESULT _AtlFinalConstruct() noexcept { return S_OK; }
  HRESULT _AtlInitialConstruct() noexcept { return S_OK; }
  void FinalRelease() noexcept {}
  void _AtlFinalRelease() noexcept {}
  void SetVoid(void*) noexcept {}
  void InternalFinalConstructAddRef() noexcept {}
  void InternalFinalConstructRelease() noexcept {}
  static void WINAPI ObjectMain(bool) noexcept {}

  // IUnknown is answered with the first entry; unknown ids E_NOINTERFACE.
  static HRESULT WINAPI InternalQueryInterface(void* pThis, const _ATL_INTMAP_ENTRY* pEntries, REFIID iid,
                                               void** ppvObject) noexcept {
    if (!ppvObject) return E_POINTER;
    *ppvObject = nullptr;
    if (!pThis || !pEntries || !pEntries->piid) return E_NOINTERFACE;
    if (iid == IID_IUnknown) {
      IUnknown* p = pEntries->pCast(pThis);
      p->AddRef();
      *ppvObject = p;
      return S_OK;
    }
    for (const _ATL_INTMAP_ENTRY* e = pEntries; e->piid; ++e) {
      if (*e->piid != iid) continue;
      IUnknown* p = e->pCast(pThis);
      p->AddRef();
      *ppvObject = p;
      return S_OK;
    }
    return E_NOINTERFACE;
  }

  LONG m_dwRef;
};

// No virtual function here: the first interface base is the object's
// primary base, whose table carries the class's own virtual functions.
template <class ThreadModel>
class CComObjectRootEx : public CComObjectRootBase {
 public:
  typedef ThreadModel _ThreadModel;
  typedef typename ThreadModel::AutoCriticalSection _CritSec;

  ULONG InternalAddRef() noexcept { return ThreadModel::Increment(&m_dwRef); }
  ULONG InternalRelease() noexcept { return ThreadModel::Decrement(&m_dwRef); }
  void Lock() { m_critsec.Lock(); }
  void Unlock() { m_critsec.Unlock(); }

 private:
  _CritSec m_critsec;
};

#define BEGIN_COM_MAP(x)                                                                    \
 public:                                                                                    \
  typedef x _ComMapClass;                                                                   \
  IUnknown* GetUnknown() noexcept { return _GetEntries()->pCast(this); }                    \
  HRESULT _InternalQueryInterface(REFIID iid, void** ppvObject) noexcept {                  \
    return this->InternalQueryInterface(this, _GetEntries(), iid, ppvObject);               \
  }                                                                                         \
  static const ::ATL::_ATL_INTMAP_ENTRY* WINAPI _GetEntries() noexcept {                    \
    static const ::ATL::_ATL_INTMAP_ENTRY _entries[] = {
#define COM_INTERFACE_ENTRY(x) {&__uuidof(x), &::ATL::_AtlIntMapCast<_ComMapClass, x>},
#define COM_INTERFACE_ENTRY_IID(iid, x) {&iid, &::ATL::_AtlIntMapCast<_ComMapClass, x>},
#define COM_INTERFACE_ENTRY2(x, x2) {&__uuidof(x), &::ATL::_AtlIntMapCast2<_ComMapClass, x, x2>},
#define END_COM_MAP()                                    \
  {nullptr, nullptr}};                                   \
  return _entries;                                       \
  }                                                      \
  virtual ULONG STDMETHODCALLTYPE AddRef() override = 0;  \
  virtual ULONG STDMETHODCALLTYPE Release() override = 0; \
  STDMETHOD(QueryInterface)(REFIID, void**) override = 0;

// Creators: a new object queried for the id, destroyed when the query fails.
template <class T1>
class CComCreator {
 public:
  static HRESULT WINAPI CreateInstance(void* pv, REFIID riid, LPVOID* ppv) noexcept {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    T1* p = nullptr;
    try {
      p = new T1(pv);
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    } catch (...) {
      return E_FAIL;
    }
    if (!p) return E_OUTOFMEMORY;
    p->SetVoid(pv);
    p->InternalFinalConstructAddRef();
    HRESULT hr = p->_AtlInitialConstruct();
    if (SUCCEEDED(hr)) hr = p->FinalConstruct();
    if (SUCCEEDED(hr)) hr = p->_AtlFinalConstruct();
    p->InternalFinalConstructRelease();
    if (SUCCEEDED(hr)) hr = p->QueryInterface(riid, ppv);
    if (FAILED(hr)) delete p;
    return hr;
  }
};

template <HRESULT hr>
class CComFailCreator {
 public:
  static HRESULT WINAPI CreateInstance(void*, REFIID, LPVOID* ppv) noexcept {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    return hr;
  }
};

// The first for a null outer object, the second for aggregation.
template <class T1, class T2>
class CComCreator2 {
 public:
  static HRESULT WINAPI CreateInstance(void* pv, REFIID riid, LPVOID* ppv) noexcept {
    return pv == nullptr ? T1::CreateInstance(nullptr, riid, ppv) : T2::CreateInstance(pv, riid, ppv);
  }
};

// The object as clients get it: counts its references, deletes itself at 0
// and holds one module lock for its lifetime.
template <class Base>
class CComObject : public Base {
 public:
  typedef Base _BaseClass;

  explicit CComObject(void* = nullptr) noexcept { _AtlLockModule(); }
  virtual ~CComObject() {
    this->m_dwRef = -(INT32_MAX / 2);
    this->FinalRelease();
    _AtlUnlockModule();
  }

  STDMETHOD_(ULONG, AddRef)() noexcept override { return this->InternalAddRef(); }
  STDMETHOD_(ULONG, Release)() noexcept override {
    const ULONG l = this->InternalRelease();
    if (l == 0) delete this;
    return l;
  }
  STDMETHOD(QueryInterface)(REFIID iid, void** ppvObject) noexcept override {
    return this->_InternalQueryInterface(iid, ppvObject);
  }
  template <class Q>
  HRESULT STDMETHODCALLTYPE QueryInterface(Q** pp) noexcept {
    return QueryInterface(__uuidof(Q), reinterpret_cast<void**>(pp));
  }

  // A new object with count 0: E_POINTER for a null `pp`; E_OUTOFMEMORY
  // (or the construction's failure) with `*pp` null.
  static HRESULT WINAPI CreateInstance(CComObject<Base>** pp) noexcept {
    if (!pp) return E_POINTER;
    *pp = nullptr;
    CComObject<Base>* p = nullptr;
    try {
      p = new CComObject<Base>();
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    } catch (...) {
      return E_FAIL;
    }
    if (!p) return E_OUTOFMEMORY;
    p->SetVoid(nullptr);
    p->InternalFinalConstructAddRef();
    HRESULT hr = p->_AtlInitialConstruct();
    if (SUCCEEDED(hr)) hr = p->FinalConstruct();
    if (SUCCEEDED(hr)) hr = p->_AtlFinalConstruct();
    p->InternalFinalConstructRelease();
    if (FAILED(hr)) {
      delete p;
      return hr;
    }
    *pp = p;
    return hr;
  }
};

// The object map's class factory: it holds a module lock while a client
// holds it (count 2 or more), not for the map's own reference.
template <class Base>
class CComObjectCached : public Base {
 public:
  typedef Base _BaseClass;

  explicit CComObjectCached(void* = nullptr) noexcept {}
  virtual ~CComObjectCached() {
    this->m_dwRef = -(INT32_MAX / 2);
    this->FinalRelease();
  }

  STDMETHOD_(ULONG, AddRef)() noexcept override {
    std::lock_guard<std::mutex> lock(m_csCached);
    const ULONG l = this->InternalAddRef();
    if (l == 2) _AtlLockModule();
    return l;
  }
  STDMETHOD_(ULONG, Release)() noexcept override {
    ULONG l;
    {
      std::lock_guard<std::mutex> lock(m_csCached);
      l = this->InternalRelease();
      if (l == 1) _AtlUnlockModule();
    }
    if (l == 0) delete this;
    return l;
  }
  STDMETHOD(QueryInterface)(REFIID iid, void** ppvObject) noexcept override {
    return this->_InternalQueryInterface(iid, ppvObject);
  }

 private:
  std::mutex m_csCached;
};

class CComClassFactory : public IClassFactory, public CComObjectRootEx<CComGlobalsThreadModel> {
 public:
  BEGIN_COM_MAP(CComClassFactory)
    COM_INTERFACE_ENTRY(IClassFactory)
  END_COM_MAP()

  STDMETHOD(CreateInstance)(IUnknown* pUnkOuter, REFIID riid, void** ppvObj) noexcept override {
    if (!ppvObj) return E_POINTER;
    *ppvObj = nullptr;
    if (pUnkOuter) return CLASS_E_NOAGGREGATION;
    if (!m_pfnCreateInstance) return E_UNEXPECTED;
    return m_pfnCreateInstance(nullptr, riid, ppvObj);
  }
  STDMETHOD(LockServer)(BOOL fLock) noexcept override {
    if (fLock)
      _AtlLockModule();
    else
      _AtlUnlockModule();
    return S_OK;
  }

  // The creator of the class's objects.
  void SetVoid(void* pv) noexcept { m_pfnCreateInstance = reinterpret_cast<_ATL_CREATORFUNC*>(pv); }

  _ATL_CREATORFUNC* m_pfnCreateInstance = nullptr;
};

#define DECLARE_CLASSFACTORY_EX(cf) typedef ::ATL::CComCreator<::ATL::CComObjectCached<cf>> _ClassFactoryCreatorClass;
#define DECLARE_CLASSFACTORY() DECLARE_CLASSFACTORY_EX(::ATL::CComClassFactory)
#define DECLARE_NOT_AGGREGATABLE(x)                                                       \
 public:                                                                                  \
  typedef ::ATL::CComCreator2<::ATL::CComCreator<::ATL::CComObject<x>>,                   \
                              ::ATL::CComFailCreator<CLASS_E_NOAGGREGATION>> _CreatorClass;
#define DECLARE_REGISTRY_RESOURCEID(x)                                                   \
  static HRESULT WINAPI UpdateRegistry(BOOL bRegister) noexcept {                         \
    return ::ATL::_pAtlModule ? ::ATL::_pAtlModule->UpdateRegistryFromResource(x, bRegister) \
                              : E_UNEXPECTED;                                             \
  }
#define DECLARE_NO_REGISTRY() \
  static HRESULT WINAPI UpdateRegistry(BOOL) noexcept { return S_OK; }

// Class id, class factory and creation support. Aggregation is not
// supported: every class creates as DECLARE_NOT_AGGREGATABLE.
template <class T, const CLSID* pclsid = &CLSID_NULL>
class CComCoClass {
 public:
  DECLARE_CLASSFACTORY()
  DECLARE_NOT_AGGREGATABLE(T)
  typedef T _CoClass;

  static const CLSID& WINAPI GetObjectCLSID() noexcept { return *pclsid; }
  static LPCWSTR WINAPI GetObjectDescription() noexcept { return nullptr; }
  // No component categories.
  static const _ATL_CATMAP_ENTRY* WINAPI GetCategoryMap() noexcept {
    static const _ATL_CATMAP_ENTRY map[] = {{_ATL_CATMAP_ENTRY_END, nullptr}};
    return map;
  }
  template <class Q>
  static HRESULT CreateInstance(Q** pp) noexcept {
    return T::_CreatorClass::CreateInstance(nullptr, __uuidof(Q), reinterpret_cast<void**>(pp));
  }
};

// Adds an object map entry at static initialisation; the entries of one
// translation unit keep the order of their lines.
class _AtlObjMapAutoEntry {
 public:
  explicit _AtlObjMapAutoEntry(_ATL_OBJMAP_ENTRY* entry) noexcept { _AtlComModule.AddObjectEntry(entry); }
};

#define OBJECT_ENTRY_AUTO(clsid, class)                                                              \
  static ::ATL::_ATL_OBJMAP_ENTRY __objMap_##class = {&clsid,                                        \
                                                      class ::UpdateRegistry,                        \
                                                      class ::_ClassFactoryCreatorClass::CreateInstance, \
                                                      class ::_CreatorClass::CreateInstance,         \
                                                      nullptr,                                       \
                                                      0,                                             \
                                                      class ::GetObjectDescription,                  \
                                                      class ::GetCategoryMap,                        \
                                                      class ::ObjectMain,                            \
                                                      nullptr};                                      \
  static const ::ATL::_AtlObjMapAutoEntry __objMapAuto_##class(&__objMap_##class);

// Type information of one interface from a registered type library, loaded
// on first use under the module's critical section and held until the
// module ends. An aggregate, so that holders are set up before any code runs.
class CComTypeInfoHolder {
 public:
  const GUID* m_pguid;
  const GUID* m_plibid;
  WORD m_wMajor;
  WORD m_wMinor;
  ITypeInfo* m_pInfo;
  long m_dwRef;

  // A new reference to the type information in `*ppInfo`.
  HRESULT GetTI(LCID lcid, ITypeInfo** ppInfo) noexcept;
  HRESULT GetTI(LCID lcid) noexcept;
  HRESULT EnsureTI(LCID lcid) noexcept { return GetTI(lcid); }
  HRESULT GetTypeInfo(UINT itinfo, LCID lcid, ITypeInfo** pptinfo) noexcept;
  HRESULT GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid, DISPID* rgdispid) noexcept;
  HRESULT Invoke(IDispatch* p, DISPID dispidMember, REFIID riid, LCID lcid, WORD wFlags, DISPPARAMS* pdispparams,
                 VARIANT* pvarResult, EXCEPINFO* pexcepinfo, UINT* puArgErr) noexcept;
  static void WINAPI Cleanup(DWORD_PTR dw) noexcept;
};

template <class T, const IID* piid = &__uuidof(T), const GUID* plibid = &CAtlModule::m_libid, WORD wMajor = 1,
          WORD wMinor = 0, class tihclass = CComTypeInfoHolder>
class ATL_NO_VTABLE IDispatchImpl : public T {
 public:
  typedef tihclass _tihclass;

  STDMETHOD(GetTypeInfoCount)(UINT* pctinfo) override {
    if (!pctinfo) return E_POINTER;
    *pctinfo = 1;
    return S_OK;
  }
  STDMETHOD(GetTypeInfo)(UINT itinfo, LCID lcid, ITypeInfo** pptinfo) override {
    return _tih.GetTypeInfo(itinfo, lcid, pptinfo);
  }
  STDMETHOD(GetIDsOfNames)(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid, DISPID* rgdispid) override {
    return _tih.GetIDsOfNames(riid, rgszNames, cNames, lcid, rgdispid);
  }
  STDMETHOD(Invoke)(DISPID dispidMember, REFIID riid, LCID lcid, WORD wFlags, DISPPARAMS* pdispparams,
                    VARIANT* pvarResult, EXCEPINFO* pexcepinfo, UINT* puArgErr) override {
    return _tih.Invoke(static_cast<IDispatch*>(this), dispidMember, riid, lcid, wFlags, pdispparams, pvarResult,
                       pexcepinfo, puArgErr);
  }

 protected:
  static _tihclass _tih;
  static HRESULT GetTI(LCID lcid, ITypeInfo** ppInfo) { return _tih.GetTI(lcid, ppInfo); }
};

template <class T, const IID* piid, const GUID* plibid, WORD wMajor, WORD wMinor, class tihclass>
typename IDispatchImpl<T, piid, plibid, wMajor, wMinor, tihclass>::_tihclass
    IDispatchImpl<T, piid, plibid, wMajor, wMinor, tihclass>::_tih = {piid, plibid, wMajor, wMinor, nullptr, 0};

// Event arguments: a VARIANT, already coerced to the type the type library
// gives, read as the handler's C++ parameter type.
inline HRESULT _AtlCoerceArg(VARIANT& v, VARTYPE vt) noexcept {
  if (v.vt == vt) return S_OK;
  VARIANT converted;
  VariantInit(&converted);
  const HRESULT hr = VariantChangeType(&converted, &v, 0, vt);
  if (FAILED(hr)) return hr;
  VariantClear(&v);
  v = converted;
  return S_OK;
}

template <class A>
struct _AtlEventArg;  // a parameter type with no specialisation cannot take an event argument

#define ATL_EVENT_ARG_BY_VALUE(type, variant_type, member)           \
  template <>                                                         \
  struct _AtlEventArg<type> {                                         \
    static HRESULT Get(VARIANT& v, type& out) noexcept {              \
      const HRESULT hr = _AtlCoerceArg(v, variant_type);             \
      if (SUCCEEDED(hr)) out = v.member;                              \
      return hr;                                                      \
    }                                                                 \
  };
ATL_EVENT_ARG_BY_VALUE(BSTR, VT_BSTR, bstrVal)
ATL_EVENT_ARG_BY_VALUE(LONG, VT_I4, lVal)
ATL_EVENT_ARG_BY_VALUE(ULONG, VT_UI4, ulVal)
ATL_EVENT_ARG_BY_VALUE(LONGLONG, VT_I8, llVal)
ATL_EVENT_ARG_BY_VALUE(BYTE, VT_UI1, bVal)
ATL_EVENT_ARG_BY_VALUE(FLOAT, VT_R4, fltVal)
ATL_EVENT_ARG_BY_VALUE(DOUBLE, VT_R8, dblVal)
ATL_EVENT_ARG_BY_VALUE(IDispatch*, VT_DISPATCH, pdispVal)
ATL_EVENT_ARG_BY_VALUE(IUnknown*, VT_UNKNOWN, punkVal)
#undef ATL_EVENT_ARG_BY_VALUE

template <>
struct _AtlEventArg<const OLECHAR*> {
  static HRESULT Get(VARIANT& v, const OLECHAR*& out) noexcept {
    BSTR text = nullptr;
    const HRESULT hr = _AtlEventArg<BSTR>::Get(v, text);
    out = text;
    return hr;
  }
};

// SHORT and VARIANT_BOOL are one C++ type: a VT_BOOL argument is taken as it
// is, anything else as VT_I2.
template <>
struct _AtlEventArg<SHORT> {
  static HRESULT Get(VARIANT& v, SHORT& out) noexcept {
    if (v.vt == VT_BOOL) {
      out = v.boolVal;
      return S_OK;
    }
    const HRESULT hr = _AtlCoerceArg(v, VT_I2);
    if (SUCCEEDED(hr)) out = v.iVal;
    return hr;
  }
};

#define ATL_EVENT_ARG_BY_REF(type, variant_type, member)               \
  template <>                                                           \
  struct _AtlEventArg<type*> {                                          \
    static HRESULT Get(VARIANT& v, type*& out) noexcept {               \
      if (v.vt != (VT_BYREF | (variant_type))) return DISP_E_TYPEMISMATCH; \
      out = v.member;                                                   \
      return S_OK;                                                      \
    }                                                                   \
  };
ATL_EVENT_ARG_BY_REF(LONG, VT_I4, plVal)
ATL_EVENT_ARG_BY_REF(ULONG, VT_UI4, pulVal)
ATL_EVENT_ARG_BY_REF(BSTR, VT_BSTR, pbstrVal)
ATL_EVENT_ARG_BY_REF(IDispatch*, VT_DISPATCH, ppdispVal)
ATL_EVENT_ARG_BY_REF(IUnknown*, VT_UNKNOWN, ppunkVal)
#undef ATL_EVENT_ARG_BY_REF

template <>
struct _AtlEventArg<SHORT*> {
  static HRESULT Get(VARIANT& v, SHORT*& out) noexcept {
    if (v.vt != (VT_BYREF | VT_BOOL) && v.vt != (VT_BYREF | VT_I2)) return DISP_E_TYPEMISMATCH;
    out = v.piVal;
    return S_OK;
  }
};

template <>
struct _AtlEventArg<VARIANT*> {
  static HRESULT Get(VARIANT& v, VARIANT*& out) noexcept {
    out = v.vt == (VT_BYREF | VT_VARIANT) ? v.pvarVal : &v;
    return S_OK;
  }
};

template <class T, class F, F f>
struct _AtlEventCall;

template <class T, class R, class C, class... A, R (C::*f)(A...)>
struct _AtlEventCall<T, R (C::*)(A...), f> {
  static constexpr UINT nParams = sizeof...(A);

  // `args` holds the handler's arguments in parameter order. The result
  // says whether they could be read; the handler's own goes to `*pResult`.
  static HRESULT WINAPI Call(T* pThis, VARIANT* args, HRESULT* pResult) {
    return CallWith(pThis, args, pResult, std::index_sequence_for<A...>{});
  }

 private:
  template <size_t... I>
  static HRESULT CallWith(T* pThis, VARIANT* args, HRESULT* pResult, std::index_sequence<I...>) {
    std::tuple<std::remove_cv_t<A>...> values{};
    HRESULT hr = S_OK;
    ((hr = SUCCEEDED(hr) ? _AtlEventArg<std::remove_cv_t<A>>::Get(args[I], std::get<I>(values)) : hr), ...);
    (void)args;
    (void)values;
    if (FAILED(hr)) return hr;
    if constexpr (std::is_void_v<R>) {
      (pThis->*f)(std::get<I>(values)...);
      *pResult = S_OK;
    } else {
      *pResult = static_cast<HRESULT>((pThis->*f)(std::get<I>(values)...));
    }
    return S_OK;
  }
};

// The handler `F`, a member function of T or of a base, called with event
// arguments converted to its own parameter types.
template <class T, auto F>
struct _AtlEventThunk : _AtlEventCall<T, decltype(F), F> {};

template <class T>
struct _ATL_EVENT_ENTRY {
  UINT nControlID;
  const IID* piid;
  DISPID dispid;
  HRESULT(WINAPI* pfnCall)(T* pThis, VARIANT* args, HRESULT* pResult);
  UINT nParams;  // of the handler
};

#define BEGIN_SINK_MAP(_class)                                                  \
  typedef _class _atl_event_classtype;                                          \
  static const ::ATL::_ATL_EVENT_ENTRY<_class>* _GetSinkMap() noexcept {        \
    static const ::ATL::_ATL_EVENT_ENTRY<_class> map[] = {
#define SINK_ENTRY_EX(id, iid, dispid, fn)                                                       \
  {id, &iid, dispid, &::ATL::_AtlEventThunk<_atl_event_classtype, &_atl_event_classtype::fn>::Call, \
   ::ATL::_AtlEventThunk<_atl_event_classtype, &_atl_event_classtype::fn>::nParams},
#define END_SINK_MAP()              \
  {0, nullptr, 0, nullptr, 0}};     \
  return map;                       \
  }

// The event sink's own COM identity. Its AddRef and Release are the owning
// object's (the object wrapper overrides them), so a connection point that
// holds the sink keeps the object alive.
class _IDispEvent {
 public:
  _IDispEvent() noexcept
      : m_libid(GUID_NULL),
        m_iid(IID_NULL),
        m_wMajorVerNum(0),
        m_wMinorVerNum(0),
        m_dwEventCookie(0xFEFEFEFE),
        m_sink(this) {}
  _IDispEvent(const _IDispEvent&) = delete;
  _IDispEvent& operator=(const _IDispEvent&) = delete;

  virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
  virtual ULONG STDMETHODCALLTYPE Release() = 0;
  virtual HRESULT STDMETHODCALLTYPE _LocDEQueryInterface(REFIID riid, void** ppvObject) = 0;
  virtual HRESULT STDMETHODCALLTYPE _LocDEInvoke(DISPID dispidMember, REFIID riid, LCID lcid, WORD wFlags,
                                                 DISPPARAMS* pdispparams, VARIANT* pvarResult,
                                                 EXCEPINFO* pexcepinfo, UINT* puArgErr) = 0;

  // The sink pointer that connection points hold.
  IDispatch* GetSinkDispatch() noexcept { return &m_sink; }

  // Refused (E_FAIL) while advised; the cookie keeps its mark when the
  // advise fails.
  HRESULT DispEventAdvise(IUnknown* pUnk, const IID* piid) noexcept {
    if (m_dwEventCookie != 0xFEFEFEFE) return E_FAIL;
    if (!piid) return E_POINTER;
    DWORD cookie = 0;
    const HRESULT hr = AtlAdvise(pUnk, &m_sink, *piid, &cookie);
    if (SUCCEEDED(hr)) m_dwEventCookie = cookie;
    return hr;
  }
  HRESULT DispEventUnadvise(IUnknown* pUnk, const IID* piid) noexcept {
    if (!piid) return E_POINTER;
    const HRESULT hr = AtlUnadvise(pUnk, *piid, m_dwEventCookie);
    m_dwEventCookie = 0xFEFEFEFE;
    return hr;
  }

  GUID m_libid;
  IID m_iid;
  unsigned short m_wMajorVerNum;
  unsigned short m_wMinorVerNum;
  DWORD m_dwEventCookie;

 protected:
  ~_IDispEvent() = default;

 private:
  class Sink : public IDispatch {
   public:
    explicit Sink(_IDispEvent* owner) noexcept : m_owner(owner) {}
    STDMETHOD(QueryInterface)(REFIID riid, void** ppvObject) override {
      return m_owner->_LocDEQueryInterface(riid, ppvObject);
    }
    STDMETHOD_(ULONG, AddRef)() override { return m_owner->AddRef(); }
    STDMETHOD_(ULONG, Release)() override { return m_owner->Release(); }
    STDMETHOD(GetTypeInfoCount)(UINT* pctinfo) override {
      if (pctinfo) *pctinfo = 0;
      return E_NOTIMPL;
    }
    STDMETHOD(GetTypeInfo)(UINT, LCID, ITypeInfo** pptinfo) override {
      if (pptinfo) *pptinfo = nullptr;
      return E_NOTIMPL;
    }
    STDMETHOD(GetIDsOfNames)(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHOD(Invoke)(DISPID dispidMember, REFIID riid, LCID lcid, WORD wFlags, DISPPARAMS* pdispparams,
                      VARIANT* pvarResult, EXCEPINFO* pexcepinfo, UINT* puArgErr) override {
      return m_owner->_LocDEInvoke(dispidMember, riid, lcid, wFlags, pdispparams, pvarResult, pexcepinfo,
                                   puArgErr);
    }

   private:
    _IDispEvent* m_owner;
  };

  Sink m_sink;
};

// The dispatch event sink with control id nID of class T for the events
// interface *pdiid described in type library *plibid, version
// wMajor.wMinor. Each event is looked up in T's sink map and its
// parameters in the type library.
template <UINT nID, class T, const IID* pdiid = &IID_NULL, const GUID* plibid = &GUID_NULL, WORD wMajor = 0,
          WORD wMinor = 0, class tihclass = CComTypeInfoHolder>
class ATL_NO_VTABLE IDispEventImpl : public _IDispEvent {
 public:
  typedef tihclass _tihclass;

  IDispEventImpl() noexcept {
    m_libid = *plibid;
    m_iid = *pdiid;
    m_wMajorVerNum = wMajor;
    m_wMinorVerNum = wMinor;
  }

  STDMETHOD(_LocDEQueryInterface)(REFIID riid, void** ppvObject) override {
    if (!ppvObject) return E_POINTER;
    *ppvObject = nullptr;
    if (riid == IID_NULL) return E_NOINTERFACE;
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == *pdiid || riid == m_iid) {
      IDispatch* sink = GetSinkDispatch();
      sink->AddRef();
      *ppvObject = sink;
      return S_OK;
    }
    return E_NOINTERFACE;
  }

  HRESULT DispEventAdvise(IUnknown* pUnk) noexcept { return _IDispEvent::DispEventAdvise(pUnk, &m_iid); }
  HRESULT DispEventAdvise(IUnknown* pUnk, const IID* piid) noexcept {
    return _IDispEvent::DispEventAdvise(pUnk, piid);
  }
  // The shared holder takes the library from the sink again when next needed.
  HRESULT DispEventUnadvise(IUnknown* pUnk) noexcept { return DispEventUnadvise(pUnk, &m_iid); }
  HRESULT DispEventUnadvise(IUnknown* pUnk, const IID* piid) noexcept {
    const HRESULT hr = _IDispEvent::DispEventUnadvise(pUnk, piid);
    _tih.m_plibid = &GUID_NULL;
    return hr;
  }

  // The description of event `dispidMember`, released with the type info's
  // ReleaseFuncDesc; `*ppInfo` holds a reference.
  HRESULT GetFuncInfoFromId(LCID lcid, DISPID dispidMember, ITypeInfo** ppInfo, FUNCDESC** ppFuncDesc) noexcept {
    *ppInfo = nullptr;
    *ppFuncDesc = nullptr;
    if (!_tih.m_plibid || *_tih.m_plibid == GUID_NULL) {
      s_libid = m_libid;
      s_iid = m_iid;
      _tih.m_plibid = &s_libid;
      _tih.m_pguid = &s_iid;
      _tih.m_wMajor = m_wMajorVerNum;
      _tih.m_wMinor = m_wMinorVerNum;
    }
    ITypeInfo* info = nullptr;
    HRESULT hr = _tih.GetTI(lcid, &info);
    if (FAILED(hr)) return hr;
    if (!info) return E_UNEXPECTED;
    TYPEATTR* attr = nullptr;
    hr = info->GetTypeAttr(&attr);
    if (FAILED(hr) || !attr) {
      info->Release();
      return FAILED(hr) ? hr : E_UNEXPECTED;
    }
    const UINT count = attr->cFuncs;
    info->ReleaseTypeAttr(attr);
    for (UINT i = 0; i < count; ++i) {
      FUNCDESC* fd = nullptr;
      if (FAILED(info->GetFuncDesc(i, &fd)) || !fd) continue;
      if (fd->memid == dispidMember) {
        *ppInfo = info;
        *ppFuncDesc = fd;
        return S_OK;
      }
      info->ReleaseFuncDesc(fd);
    }
    info->Release();
    return DISP_E_MEMBERNOTFOUND;
  }

  STDMETHOD(_LocDEInvoke)(DISPID dispidMember, REFIID, LCID lcid, WORD, DISPPARAMS* pdispparams,
                          VARIANT* pvarResult, EXCEPINFO*, UINT* puArgErr) override {
    if (pvarResult) VariantInit(pvarResult);
    const _ATL_EVENT_ENTRY<T>* entry = T::_GetSinkMap();
    for (; entry->piid; ++entry) {
      if (entry->nControlID == nID && *entry->piid == *pdiid && entry->dispid == dispidMember) break;
    }
    if (!entry->piid) return S_OK;  // no handler for this event

    ITypeInfo* info = nullptr;
    FUNCDESC* fd = nullptr;
    if (FAILED(GetFuncInfoFromId(lcid, dispidMember, &info, &fd))) return S_OK;  // no description: nothing called
    const HRESULT hr = CallHandler(*entry, *fd, pdispparams, puArgErr);
    info->ReleaseFuncDesc(fd);
    info->Release();
    return hr;
  }

  static _tihclass _tih;

 private:
  // The library's parameter type as the VARIANT type to coerce to; VT_EMPTY:
  // taken as it comes.
  static VARTYPE TargetType(const TYPEDESC& td) noexcept {
    switch (td.vt) {
      case VT_VARIANT:
        return VT_EMPTY;
      case VT_USERDEFINED:
        return VT_I4;  // an enumeration
      case VT_PTR:
        if (td.lptdesc && td.lptdesc->vt != VT_USERDEFINED && td.lptdesc->vt != VT_PTR)
          return static_cast<VARTYPE>(VT_BYREF | td.lptdesc->vt);
        return VT_EMPTY;  // an interface pointer
      case VT_HRESULT:
        return VT_ERROR;
      default:
        return td.vt;
    }
  }

  HRESULT CallHandler(const _ATL_EVENT_ENTRY<T>& entry, const FUNCDESC& fd, DISPPARAMS* params, UINT* puArgErr) {
    if (!params) return E_INVALIDARG;
    if (params->cNamedArgs != 0) return DISP_E_NONAMEDARGS;
    const UINT count = params->cArgs;
    if (fd.cParams < 0 || count != static_cast<UINT>(fd.cParams) || entry.nParams != count)
      return DISP_E_BADPARAMCOUNT;
    if (count && !params->rgvarg) return E_INVALIDARG;
    try {
      std::vector<VARIANT> args(count);
      for (VARIANT& a : args) VariantInit(&a);
      HRESULT hr = S_OK;
      for (UINT i = 0; i < count && SUCCEEDED(hr); ++i) {
        VARIANT& source = params->rgvarg[count - 1 - i];  // arguments come last first
        const VARTYPE vt = TargetType(fd.lprgelemdescParam[i].tdesc);
        if (vt & VT_BYREF) {
          if (source.vt == vt)
            args[i] = source;  // the caller keeps what it points at
          else
            hr = DISP_E_TYPEMISMATCH;
        } else if (vt == VT_EMPTY) {
          hr = VariantCopy(&args[i], &source);
        } else {
          hr = VariantChangeType(&args[i], &source, 0, vt);
        }
        if (FAILED(hr) && puArgErr) *puArgErr = count - 1 - i;
      }
      // The handler's own result is the sink's business, not the caller's.
      HRESULT handled = S_OK;
      if (SUCCEEDED(hr)) hr = entry.pfnCall(static_cast<T*>(this), args.data(), &handled);
      for (UINT i = 0; i < count; ++i) {
        if (!(args[i].vt & VT_BYREF)) VariantClear(&args[i]);
      }
      return FAILED(hr) ? hr : S_OK;
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    } catch (...) {
      return E_UNEXPECTED;
    }
  }

  static GUID s_libid;
  static IID s_iid;
};

template <UINT nID, class T, const IID* pdiid, const GUID* plibid, WORD wMajor, WORD wMinor, class tihclass>
typename IDispEventImpl<nID, T, pdiid, plibid, wMajor, wMinor, tihclass>::_tihclass
    IDispEventImpl<nID, T, pdiid, plibid, wMajor, wMinor, tihclass>::_tih = {pdiid, plibid, wMajor, wMinor,
                                                                            nullptr, 0};
template <UINT nID, class T, const IID* pdiid, const GUID* plibid, WORD wMajor, WORD wMinor, class tihclass>
GUID IDispEventImpl<nID, T, pdiid, plibid, wMajor, wMinor, tihclass>::s_libid = {};
template <UINT nID, class T, const IID* pdiid, const GUID* plibid, WORD wMajor, WORD wMinor, class tihclass>
IID IDispEventImpl<nID, T, pdiid, plibid, wMajor, wMinor, tihclass>::s_iid = {};

}  // namespace ATL

#ifndef _ATL_NO_AUTOMATIC_NAMESPACE
using namespace ATL;
#endif
