// Connection points: how an object tells its sinks about events and property changes.
//
// A ConnectionPoint belongs to one object (the container) and one outgoing interface. Advise
// queries the sink for that interface and appends it to a dynamic array in advise order with a
// fresh cookie; Unadvise empties its slot. Firing walks the slots present when it starts, in
// array order, holding a reference on each sink for the duration of its call and skipping empty
// slots, so a sink may unadvise itself or others (or advise new ones, which are not called this
// time) from inside its handler. Emptied slots are compacted once no firing is in progress.
//
// Offers: IConnectionPointContainer, IConnectionPoint, IEnumConnectionPoints, IEnumConnections,
// IPropertyNotifySink, IEnumUnknown; ConnectionPoint (Advise/Unadvise, FireDispatch,
// FireOnChanged, ForEachSink), EventArgs (reversed VARIANT array for one firing),
// FindConnectionPointIn, CreateEnumUnknown.
#pragma once

#include <mutex>
#include <vector>

#include "platform/com/dispatch.h"
#include "platform/com/unknown.h"

namespace win {

extern const IID IID_IConnectionPointContainer;
extern const IID IID_IConnectionPoint;
extern const IID IID_IEnumConnectionPoints;
extern const IID IID_IEnumConnections;
extern const IID IID_IPropertyNotifySink;
extern const IID IID_IEnumUnknown;

struct IConnectionPoint;

struct CONNECTDATA {
  IUnknown* pUnk;
  DWORD dwCookie;
};

struct IEnumConnectionPoints : IUnknown {
  virtual HRESULT Next(ULONG cConnections, IConnectionPoint** ppCP, ULONG* pcFetched) = 0;
  virtual HRESULT Skip(ULONG cConnections) = 0;
  virtual HRESULT Reset() = 0;
  virtual HRESULT Clone(IEnumConnectionPoints** ppEnum) = 0;
};

struct IEnumConnections : IUnknown {
  virtual HRESULT Next(ULONG cConnections, CONNECTDATA* rgcd, ULONG* pcFetched) = 0;
  virtual HRESULT Skip(ULONG cConnections) = 0;
  virtual HRESULT Reset() = 0;
  virtual HRESULT Clone(IEnumConnections** ppEnum) = 0;
};

struct IEnumUnknown : IUnknown {
  virtual HRESULT Next(ULONG celt, IUnknown** rgelt, ULONG* pceltFetched) = 0;
  virtual HRESULT Skip(ULONG celt) = 0;
  virtual HRESULT Reset() = 0;
  virtual HRESULT Clone(IEnumUnknown** ppenum) = 0;
};

struct IConnectionPointContainer : IUnknown {
  virtual HRESULT EnumConnectionPoints(IEnumConnectionPoints** ppEnum) = 0;
  virtual HRESULT FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) = 0;
};

struct IConnectionPoint : IUnknown {
  virtual HRESULT GetConnectionInterface(IID* pIID) = 0;
  virtual HRESULT GetConnectionPointContainer(IConnectionPointContainer** ppCPC) = 0;
  virtual HRESULT Advise(IUnknown* pUnkSink, DWORD* pdwCookie) = 0;
  virtual HRESULT Unadvise(DWORD dwCookie) = 0;
  virtual HRESULT EnumConnections(IEnumConnections** ppEnum) = 0;
};

struct IPropertyNotifySink : IUnknown {
  virtual HRESULT OnChanged(DISPID dispID) = 0;
  virtual HRESULT OnRequestEdit(DISPID dispID) = 0;
};

// Enumerators over a snapshot of interface pointers (each AddRef'ed while enumerated).
HRESULT CreateEnumUnknown(const std::vector<IUnknown*>& items, IEnumUnknown** ppenum);
HRESULT CreateEnumConnectionPoints(const std::vector<IConnectionPoint*>& items,
                                   IEnumConnectionPoints** ppEnum);

// The arguments of one event firing, added in declared order and kept reversed as DISPPARAMS
// wants them. Values are owned copies (BSTRs copied); a byte array passed ByRef points at the
// caller's SAFEARRAY* and is not owned.
class EventArgs {
 public:
  EventArgs() = default;
  EventArgs(const EventArgs&) = delete;
  EventArgs& operator=(const EventArgs&) = delete;
  ~EventArgs();

  EventArgs& I4(LONG value);
  EventArgs& Str(BSTR value);                                          // copied; null stays null
  EventArgs& ArrayRef(SAFEARRAY** array, VARTYPE elementVt = VT_UI1);  // VT_ARRAY|VT_BYREF
  EventArgs& Value(const VARIANT& value);                              // any other, deep-copied

  // Reversed (last declared first).
  VARIANTARG* Reversed() { return reversed_.empty() ? nullptr : reversed_.data(); }
  UINT Count() const { return static_cast<UINT>(reversed_.size()); }

 private:
  void PushFront(const VARIANT& v);
  std::vector<VARIANT> reversed_;
};

class ConnectionPoint final : public IConnectionPoint {
 public:
  // container: the owning object; this point's reference counting is the container's (it lives
  // inside the container and dies with it).
  ConnectionPoint(IConnectionPointContainer* container, const IID& iid);
  ~ConnectionPoint();
  ConnectionPoint(const ConnectionPoint&) = delete;
  ConnectionPoint& operator=(const ConnectionPoint&) = delete;

  HRESULT QueryInterface(REFIID riid, void** object) override;
  ULONG AddRef() override;
  ULONG Release() override;
  HRESULT GetConnectionInterface(IID* pIID) override;
  HRESULT GetConnectionPointContainer(IConnectionPointContainer** ppCPC) override;
  // CONNECT_E_CANNOTCONNECT when the sink does not answer the interface.
  HRESULT Advise(IUnknown* pUnkSink, DWORD* pdwCookie) override;
  // CONNECT_E_NOCONNECTION for an unknown cookie.
  HRESULT Unadvise(DWORD dwCookie) override;
  HRESULT EnumConnections(IEnumConnections** ppEnum) override;

  const IID& Iid() const { return iid_; }
  // Sinks connected now.
  std::size_t SinkCount() const;
  // Drops every sink (the owner's final teardown).
  void UnadviseAll();

  // Calls f(sink) for every sink present when it starts, in advise order; sink is the interface
  // the point was advised with (cast to it), referenced for the call.
  void ForEachSink(const std::function<void(IUnknown* sink)>& f);
  // Fires a dispinterface event: Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD)
  // on every sink with the same argument array; each result VARIANT is cleared; a sink's failure
  // does not stop the others. Returns the number of sinks called.
  int FireDispatch(DISPID dispid, EventArgs& args);
  // IPropertyNotifySink::OnChanged(dispid) on every sink.
  void FireOnChanged(DISPID dispid);

 private:
  struct Slot {
    DWORD cookie;
    IUnknown* sink;  // null once unadvised
  };
  void CompactLocked();
  IUnknown* TakeSink(std::size_t index);

  IConnectionPointContainer* container_;
  IID iid_;
  mutable std::mutex mu_;
  std::vector<Slot> slots_;
  DWORD nextCookie_ = 1;
  int firing_ = 0;
};

// IConnectionPointContainer::FindConnectionPoint over an object's points.
HRESULT FindConnectionPointIn(std::initializer_list<ConnectionPoint*> points, REFIID riid,
                              IConnectionPoint** ppCP);
// IConnectionPointContainer::EnumConnectionPoints over an object's points.
HRESULT EnumConnectionPointsOf(std::initializer_list<ConnectionPoint*> points,
                               IEnumConnectionPoints** ppEnum);

}  // namespace win
