// ATL subset: the reference-counting smart pointer and the BSTR wrapper.
#pragma once

#include <objbase.h>
#include <olectl.h>

#include <memory>
#include <utility>

#define ATLASSERT(expr) ((void)0)

namespace ATL {

template <class T>
class CComPtr {
 public:
  CComPtr() noexcept : p(nullptr) {}
  CComPtr(T* other) noexcept : p(other) {
    if (p) p->AddRef();
  }
  CComPtr(const CComPtr& other) noexcept : CComPtr(other.p) {}
  CComPtr(CComPtr&& other) noexcept : p(other.p) { other.p = nullptr; }
  ~CComPtr() {
    if (p) p->Release();
  }
  CComPtr& operator=(T* other) noexcept {
    if (other) other->AddRef();
    T* old = p;
    p = other;
    if (old) old->Release();
    return *this;
  }
  CComPtr& operator=(const CComPtr& other) noexcept { return *this = other.p; }
  CComPtr& operator=(CComPtr&& other) noexcept {
    if (this != std::addressof(other)) {
      T* old = p;
      p = other.p;
      other.p = nullptr;
      if (old) old->Release();
    }
    return *this;
  }

  operator T*() const noexcept { return p; }
  T* operator->() const noexcept { return p; }
  T& operator*() const noexcept { return *p; }
  // Only for an empty pointer, as an out argument.
  T** operator&() noexcept { return &p; }
  bool operator!() const noexcept { return p == nullptr; }

  void Release() noexcept {
    T* old = p;
    if (old) {
      p = nullptr;
      old->Release();
    }
  }
  void Attach(T* other) noexcept {
    if (p) p->Release();
    p = other;
  }
  T* Detach() noexcept {
    T* old = p;
    p = nullptr;
    return old;
  }
  HRESULT CopyTo(T** out) const noexcept {
    if (!out) return E_POINTER;
    *out = p;
    if (p) p->AddRef();
    return S_OK;
  }
  template <class Q>
  HRESULT QueryInterface(Q** out) const noexcept {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!p) return E_POINTER;
    return p->QueryInterface(__uuidof(Q), reinterpret_cast<void**>(out));
  }

  T* p;
};

// Owns one BSTR.
class CComBSTR {
 public:
  CComBSTR() noexcept : m_str(nullptr) {}
  CComBSTR(LPCOLESTR text) : m_str(SysAllocString(text)) {}
  CComBSTR(const CComBSTR& other) : m_str(other.m_str ? SysAllocStringLen(other.m_str, other.Length()) : nullptr) {}
  CComBSTR(CComBSTR&& other) noexcept : m_str(other.m_str) { other.m_str = nullptr; }
  ~CComBSTR() { SysFreeString(m_str); }
  CComBSTR& operator=(const CComBSTR& other) {
    if (this != std::addressof(other)) {
      SysFreeString(m_str);
      m_str = other.m_str ? SysAllocStringLen(other.m_str, other.Length()) : nullptr;
    }
    return *this;
  }
  CComBSTR& operator=(LPCOLESTR text) {
    BSTR copy = SysAllocString(text);
    SysFreeString(m_str);
    m_str = copy;
    return *this;
  }
  operator BSTR() const noexcept { return m_str; }
  BSTR* operator&() noexcept { return &m_str; }
  UINT Length() const noexcept { return SysStringLen(m_str); }
  void Empty() noexcept {
    SysFreeString(m_str);
    m_str = nullptr;
  }
  BSTR Detach() noexcept { return std::exchange(m_str, nullptr); }
  void Attach(BSTR text) noexcept {
    SysFreeString(m_str);
    m_str = text;
  }

  BSTR m_str;
};

}  // namespace ATL

#include <atlmodule.h>

#ifndef _ATL_NO_AUTOMATIC_NAMESPACE
using namespace ATL;
#endif
