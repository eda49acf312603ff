// The sinks ravlin-testcon advises on its Port control, built on the host-support sinks: one for
// _IPort18Events that turns every event into a line "event NAME(ARG, ...)" (names from the
// control's member table, arguments in declared order, printed as values), and one for
// IPropertyNotifySink that turns every notification into "changed DISPID". Each line goes to a
// callback, so the test container prints it.
#pragma once

#include <functional>
#include <string>

#include "platform/com/unknown.h"
#include "platform/host/event_sink.h"
#include "platform/host/notify_sink.h"

namespace testcon {

using line_callback = std::function<void(const std::string&)>;

// The line for one event of the Port control: "event NAME(ARG, ...)", or "event #DISPID(...)" for
// a DISPID the control's table does not name.
std::string event_line(win::DISPID dispid, const win::DISPPARAMS* params);

// A sink for _IPort18Events that writes event_line to out for every event.
win::ComPtr<winhost::EventSink> make_event_sink(line_callback out);

// A property-notify sink that writes "changed DISPID" to out for every change.
win::ComPtr<winhost::NotifySink> make_notify_sink(line_callback out);

// winhost::Advise: the cookie, or 0 on failure.
win::DWORD advise(win::IUnknown* control, win::REFIID iid, win::IUnknown* sink);

}  // namespace testcon
