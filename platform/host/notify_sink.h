// A property-change sink, for hosts that follow a control's bindable properties.
//
// A control calls IPropertyNotifySink::OnChanged(dispid) on every sink advised on its
// IPropertyNotifySink connection point when a bindable property changes (and OnRequestEdit before
// a change it lets the host refuse). NotifySink answers QueryInterface for IPropertyNotifySink
// only, passes each OnChanged DISPID to the host's callback, and always allows edits. The callback
// runs on the thread that notifies, which for a control in an apartment is the thread hosting it.
//
// Offers: NotifySink (construction with an optional callback, set_callback to replace or clear
// it).
#pragma once

#include <functional>

#include "platform/com/connection_point.h"
#include "platform/com/unknown.h"

namespace winhost {

class NotifySink final : public win::Unknown<win::IPropertyNotifySink> {
 public:
  using Callback = std::function<void(win::DISPID dispid)>;

  // callback may be empty (notifications are ignored).
  explicit NotifySink(Callback callback = {});

  // Replaces the callback; an empty one makes the sink ignore notifications. A host clears it
  // before whatever the callback refers to goes away. Not to be called while another thread is
  // notifying the sink.
  void set_callback(Callback callback);

  // Calls the callback with dispid; always S_OK.
  win::HRESULT OnChanged(win::DISPID dispid) override;
  // S_OK: the host never refuses an edit.
  win::HRESULT OnRequestEdit(win::DISPID dispid) override;

 private:
  win::IUnknown* FindInterface(win::REFIID riid) override;

  Callback callback_;
};

}  // namespace winhost
