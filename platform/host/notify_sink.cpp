#include "platform/host/notify_sink.h"

#include <utility>

namespace winhost {

using namespace win;

NotifySink::NotifySink(Callback callback) : callback_(std::move(callback)) {}

void NotifySink::set_callback(Callback callback) {
  callback_ = std::move(callback);
}

HRESULT NotifySink::OnChanged(DISPID dispid) {
  if (!callback_) return S_OK;
  // A callback may replace or clear itself; the copy keeps the running one alive for its call.
  Callback running = callback_;
  running(dispid);
  return S_OK;
}

HRESULT NotifySink::OnRequestEdit(DISPID) {
  return S_OK;
}

IUnknown* NotifySink::FindInterface(REFIID riid) {
  return riid == IID_IPropertyNotifySink ? static_cast<IPropertyNotifySink*>(this) : nullptr;
}

}  // namespace winhost
