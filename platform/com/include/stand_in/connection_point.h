// A connection point that a server object embeds, one per outgoing
// interface: it keeps the advised sinks with their cookies and fires calls
// to them. Its references are its container's, so the container lives as
// long as a client holds the point.
#pragma once

#include <ocidl.h>

#include <vector>

namespace stand_in {

class ConnectionPoint : public IConnectionPoint {
 public:
  // `container` is the embedding object; `iid` the outgoing interface.
  ConnectionPoint(IConnectionPointContainer* container, REFIID iid) noexcept;
  // Lets go of the sinks still advised.
  ~ConnectionPoint();
  ConnectionPoint(const ConnectionPoint&) = delete;
  ConnectionPoint& operator=(const ConnectionPoint&) = delete;

  STDMETHOD(QueryInterface)(REFIID riid, void** object) override;
  STDMETHOD_(ULONG, AddRef)() override;
  STDMETHOD_(ULONG, Release)() override;

  STDMETHOD(GetConnectionInterface)(IID* iid) override;
  STDMETHOD(GetConnectionPointContainer)(IConnectionPointContainer** container) override;
  // The sink is asked for the outgoing interface (CONNECT_E_CANNOTCONNECT
  // when it has none) and held until Unadvise; the cookie is unique and
  // never 0.
  STDMETHOD(Advise)(IUnknown* sink, DWORD* cookie) override;
  // CONNECT_E_NOCONNECTION for a cookie that names no advised sink.
  STDMETHOD(Unadvise)(DWORD cookie) override;
  STDMETHOD(EnumConnections)(IEnumConnections** connections) override;  // E_NOTIMPL

  // For a dispinterface: IDispatch::Invoke(dispid, DISPATCH_METHOD, params)
  // on every sink advised when the call begins, in the order of their
  // advice. S_OK when every sink answered S_OK, else the first other result;
  // `results` (optional) gets each sink's answer.
  HRESULT Fire(DISPID dispid, DISPPARAMS* params, std::vector<HRESULT>* results = nullptr);

  size_t Count() const noexcept { return sinks_.size(); }
  REFIID Iid() const noexcept { return iid_; }

 private:
  struct Sink {
    DWORD cookie;
    void* pointer;  // the sink's answer to the query for `iid_`
  };

  IConnectionPointContainer* container_;
  IID iid_;
  std::vector<Sink> sinks_;
  DWORD next_cookie_ = 1;
};

}  // namespace stand_in
