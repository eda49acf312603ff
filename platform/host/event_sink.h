// An event sink for a control's events dispinterface, for hosts that name events by DISPID.
//
// The control fires an event by calling Invoke(dispid, ...) on every sink advised on its events
// connection point, with the arguments in DISPPARAMS (last argument first). EventSink answers
// QueryInterface for IDispatch and for the one events interface it was made for, so the
// connection point accepts it, and hands every Invoke to the host's handler with the DISPID and
// the DISPPARAMS as they came: a handler may read the arguments, write through by-reference ones,
// and fail the call. It has no type information and knows no names. The handler runs on the
// thread that fires the event, which for a control in an apartment is the thread hosting it.
//
// Offers: EventSink (construction with the events IID and a handler, set_handler to replace or
// clear the handler).
#pragma once

#include <functional>

#include "platform/com/dispatch.h"
#include "platform/com/unknown.h"

namespace winhost {

class EventSink final : public win::Unknown<win::IDispatch> {
 public:
  // What the sink does with one event: its DISPID and arguments (last argument first). The
  // result is Invoke's.
  using Handler = std::function<win::HRESULT(win::DISPID dispid, win::DISPPARAMS* params)>;

  // events_iid: the control's events dispinterface. handler may be empty (events are ignored).
  EventSink(const win::IID& events_iid, Handler handler);

  // Replaces the handler; an empty one makes the sink ignore events. A host clears it before
  // whatever the handler refers to goes away, since the control may still hold the sink. Not to
  // be called while another thread is firing into the sink.
  void set_handler(Handler handler);

  // 0 type infos (E_POINTER for a null out-pointer).
  win::HRESULT GetTypeInfoCount(win::UINT* count) override;
  // E_NOTIMPL, *info set to null.
  win::HRESULT GetTypeInfo(win::UINT index, win::LCID lcid, win::ITypeInfo** info) override;
  // DISP_E_UNKNOWNNAME: the sink is called by DISPID only.
  win::HRESULT GetIDsOfNames(win::REFIID riid, win::LPOLESTR* names, win::UINT count,
                             win::LCID lcid, win::DISPID* dispids) override;
  // The handler's result, or S_OK when there is no handler. result, excep and arg_err are left
  // alone.
  win::HRESULT Invoke(win::DISPID dispid, win::REFIID riid, win::LCID lcid, win::WORD flags,
                      win::DISPPARAMS* params, win::VARIANT* result, win::EXCEPINFO* excep,
                      win::UINT* arg_err) override;

 private:
  win::IUnknown* FindInterface(win::REFIID riid) override;

  win::IID events_iid_;
  Handler handler_;
};

}  // namespace winhost
