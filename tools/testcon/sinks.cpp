#include "tools/testcon/sinks.h"

#include "control/port_identity.h"
#include "control/port_members.h"
#include "platform/host/connection.h"
#include "platform/host/value_format.h"

namespace testcon {

using namespace win;

std::string event_line(DISPID dispid, const DISPPARAMS* params) {
  std::string name = "#" + std::to_string(dispid);
  for (const auto& e : ravlin::iport18EventMembers())
    if (e.dispid == dispid) name = e.name;
  return "event " + name + "(" + winhost::format_arguments(params) + ")";
}

ComPtr<winhost::EventSink> make_event_sink(line_callback out) {
  return MakeObject<winhost::EventSink>(ravlin::DIID__IPort18Events,
                                        [out = std::move(out)](DISPID dispid, DISPPARAMS* params) {
                                          if (out) out(event_line(dispid, params));
                                          return S_OK;
                                        });
}

ComPtr<winhost::NotifySink> make_notify_sink(line_callback out) {
  return MakeObject<winhost::NotifySink>([out = std::move(out)](DISPID dispid) {
    if (out) out("changed " + std::to_string(dispid));
  });
}

DWORD advise(IUnknown* control, REFIID iid, IUnknown* sink) {
  return winhost::Advise(control, iid, sink);
}

}  // namespace testcon
