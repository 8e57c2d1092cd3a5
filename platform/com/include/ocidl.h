// Connection points: how a server object hands its outgoing calls (events)
// to the sinks its clients advise.
#pragma once

#include <oaidl.h>

#define CONNECT_E_FIRST _HRESULT_TYPEDEF_(0x80040200L)
#define CONNECT_E_NOCONNECTION _HRESULT_TYPEDEF_(0x80040200L)
#define CONNECT_E_ADVISELIMIT _HRESULT_TYPEDEF_(0x80040201L)
#define CONNECT_E_CANNOTCONNECT _HRESULT_TYPEDEF_(0x80040202L)
#define CONNECT_E_OVERRIDDEN _HRESULT_TYPEDEF_(0x80040203L)

struct IConnectionPoint;
struct IConnectionPointContainer;

struct CONNECTDATA {
  IUnknown* pUnk;
  DWORD dwCookie;
};
typedef CONNECTDATA* LPCONNECTDATA;

struct IEnumConnections : IUnknown {
  STDMETHOD(Next)(ULONG count, CONNECTDATA* items, ULONG* fetched) PURE;
  STDMETHOD(Skip)(ULONG count) PURE;
  STDMETHOD(Reset)() PURE;
  STDMETHOD(Clone)(IEnumConnections** copy) PURE;

 protected:
  ~IEnumConnections() = default;
};
STAND_IN_INTERFACE_ID(IEnumConnections, "B196B287-BAB4-101A-B69C-00AA00341D07");

struct IEnumConnectionPoints : IUnknown {
  STDMETHOD(Next)(ULONG count, IConnectionPoint** items, ULONG* fetched) PURE;
  STDMETHOD(Skip)(ULONG count) PURE;
  STDMETHOD(Reset)() PURE;
  STDMETHOD(Clone)(IEnumConnectionPoints** copy) PURE;

 protected:
  ~IEnumConnectionPoints() = default;
};
STAND_IN_INTERFACE_ID(IEnumConnectionPoints, "B196B285-BAB4-101A-B69C-00AA00341D07");

struct IConnectionPoint : IUnknown {
  STDMETHOD(GetConnectionInterface)(IID* iid) PURE;
  STDMETHOD(GetConnectionPointContainer)(IConnectionPointContainer** container) PURE;
  STDMETHOD(Advise)(IUnknown* sink, DWORD* cookie) PURE;
  STDMETHOD(Unadvise)(DWORD cookie) PURE;
  STDMETHOD(EnumConnections)(IEnumConnections** connections) PURE;

 protected:
  ~IConnectionPoint() = default;
};
typedef IConnectionPoint* LPCONNECTIONPOINT;
STAND_IN_INTERFACE_ID(IConnectionPoint, "B196B286-BAB4-101A-B69C-00AA00341D07");

struct IConnectionPointContainer : IUnknown {
  STDMETHOD(EnumConnectionPoints)(IEnumConnectionPoints** points) PURE;
  STDMETHOD(FindConnectionPoint)(REFIID riid, IConnectionPoint** point) PURE;

 protected:
  ~IConnectionPointContainer() = default;
};
typedef IConnectionPointContainer* LPCONNECTIONPOINTCONTAINER;
STAND_IN_INTERFACE_ID(IConnectionPointContainer, "B196B284-BAB4-101A-B69C-00AA00341D07");

extern const IID IID_IEnumConnections;
extern const IID IID_IEnumConnectionPoints;
extern const IID IID_IConnectionPoint;
extern const IID IID_IConnectionPointContainer;
