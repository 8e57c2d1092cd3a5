// A server object with one connection point for IAtlEvents, as a host
// embeds one; counted but not deleted (it lives on the test's stack).
#pragma once

#include <stand_in/connection_point.h>

#include "atl_test.h"

namespace atl_test {

class EventSource : public IConnectionPointContainer {
 public:
  EventSource() : point(this, DIID_IAtlEvents) {}

  STDMETHODIMP QueryInterface(REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IConnectionPointContainer) {
      *out = static_cast<IConnectionPointContainer*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(++refs); }
  STDMETHODIMP_(ULONG) Release() override { return static_cast<ULONG>(--refs); }
  STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints** points) override {
    if (points) *points = nullptr;
    return E_NOTIMPL;
  }
  STDMETHODIMP FindConnectionPoint(REFIID riid, IConnectionPoint** found) override {
    if (!found) return E_POINTER;
    *found = nullptr;
    if (riid != point.Iid()) return CONNECT_E_NOCONNECTION;
    *found = &point;
    point.AddRef();
    return S_OK;
  }

  long refs = 0;
  stand_in::ConnectionPoint point;
};

}  // namespace atl_test
