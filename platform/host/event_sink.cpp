#include "platform/host/event_sink.h"

#include <utility>

namespace winhost {

using namespace win;

EventSink::EventSink(const IID& events_iid, Handler handler)
    : events_iid_(events_iid), handler_(std::move(handler)) {}

void EventSink::set_handler(Handler handler) {
  handler_ = std::move(handler);
}

HRESULT EventSink::GetTypeInfoCount(UINT* count) {
  if (!count) return E_POINTER;
  *count = 0;
  return S_OK;
}

HRESULT EventSink::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
  if (info) *info = nullptr;
  return E_NOTIMPL;
}

HRESULT EventSink::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) {
  return DISP_E_UNKNOWNNAME;
}

HRESULT EventSink::Invoke(DISPID dispid, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*,
                          EXCEPINFO*, UINT*) {
  if (!handler_) return S_OK;
  // A handler may replace or clear itself; the copy keeps the running one alive for its call.
  Handler running = handler_;
  return running(dispid, params);
}

IUnknown* EventSink::FindInterface(REFIID riid) {
  if (riid == IID_IDispatch || riid == events_iid_) return static_cast<IDispatch*>(this);
  return nullptr;
}

}  // namespace winhost
