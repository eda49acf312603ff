// A rig for the Port control's tests: a control on a form (run mode unless told otherwise), an
// event sink and a property-notify sink that record lines ("event CommIOState(513)",
// "changed 81") as ravlin-testcon prints them, an in-memory device reachable as COM<n>, and
// Invoke helpers by DISPID. The sinks are the host-support ones, so the tests host the control
// the way every host does.
#pragma once

#include <gtest/gtest.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "control/port.h"
#include "control/port_identity.h"
#include "control/port_members.h"
#include "platform/com/apartment.h"
#include "platform/com/client_site.h"
#include "platform/com/errorinfo.h"
#include "platform/comm/memory_device.h"
#include "platform/host/connection.h"
#include "platform/host/event_sink.h"
#include "platform/host/notify_sink.h"
#include "platform/host/value_format.h"

namespace ravlin::testing {

using namespace win;

inline std::vector<std::uint8_t> Bytes(std::string_view s) {
  return {s.begin(), s.end()};
}

// A by-value byte array VARIANT (owned).
inline Variant ByteArray(std::string_view s) {
  return Variant::ArrayAttach(VT_UI1, SafeArrayFromBytes(s.data(), s.size()));
}

// A SAFEARRAY* holder for by-reference arguments.
struct ArrayRef {
  explicit ArrayRef(std::string_view s) : sa(SafeArrayFromBytes(s.data(), s.size())) {}
  ArrayRef() = default;
  ~ArrayRef() {
    if (sa) SafeArrayDestroy(sa);
  }
  Variant Ref() { return Variant::ByRef(VT_ARRAY | VT_UI1, &sa); }
  SAFEARRAY* sa = nullptr;
};

// The calling thread's error info description ("" when none); takes it.
inline std::u16string TakeErrorDescription(std::u16string* source = nullptr) {
  ComPtr<IErrorInfo> info;
  if (GetErrorInfo(0, info.Receive()) != S_OK || !info) return u"";
  Bstr d, s;
  info->GetDescription(d.Receive());
  info->GetSource(s.Receive());
  if (source) *source = std::u16string(s.View());
  return std::u16string(d.View());
}

// The line recorded for an event: "event NAME(ARG, ...)" with the name from the control's table
// ("#DISPID" for one it does not name) and the arguments in declared order.
inline std::string EventLine(DISPID dispid, const DISPPARAMS* params) {
  std::string name = "#" + std::to_string(dispid);
  for (const auto& e : iport18EventMembers())
    if (e.dispid == dispid) name = e.name;
  return "event " + name + "(" + winhost::format_arguments(params) + ")";
}

// An _IPort18Events sink that writes every event's EventLine to out, after the test's hook (which
// may act on the arguments, e.g. change a by-reference array, or fail the call: the hook's result
// is the sink's). Going away, it detaches from the sink the control may still hold.
class EventRecorder {
 public:
  using Hook = std::function<HRESULT(DISPID, DISPPARAMS*)>;
  explicit EventRecorder(std::function<void(const std::string&)> out)
      : out_(std::move(out)),
        sink_(MakeObject<winhost::EventSink>(
            DIID__IPort18Events, [this](DISPID id, DISPPARAMS* p) { return OnEvent(id, p); })) {}
  ~EventRecorder() { sink_->set_handler({}); }
  EventRecorder(const EventRecorder&) = delete;
  EventRecorder& operator=(const EventRecorder&) = delete;

  void set_hook(Hook hook) { hook_ = std::move(hook); }
  winhost::EventSink* get() const { return sink_.get(); }

 private:
  HRESULT OnEvent(DISPID id, DISPPARAMS* params) {
    Hook hook = hook_;  // a hook may replace itself
    HRESULT hr = hook ? hook(id, params) : S_OK;
    if (out_) out_(EventLine(id, params));
    return hr;
  }
  std::function<void(const std::string&)> out_;
  Hook hook_;
  ComPtr<winhost::EventSink> sink_;
};

// A property-notify sink that writes "changed DISPID" to out for every change, after the test's
// hook. Going away, it detaches from the sink the control may still hold.
class NotifyRecorder {
 public:
  using Hook = std::function<void(DISPID)>;
  explicit NotifyRecorder(std::function<void(const std::string&)> out)
      : out_(std::move(out)), sink_(MakeObject<winhost::NotifySink>([this](DISPID id) {
          Hook hook = hook_;
          if (hook) hook(id);
          if (out_) out_("changed " + std::to_string(id));
        })) {}
  ~NotifyRecorder() { sink_->set_callback({}); }
  NotifyRecorder(const NotifyRecorder&) = delete;
  NotifyRecorder& operator=(const NotifyRecorder&) = delete;

  void set_hook(Hook hook) { hook_ = std::move(hook); }
  winhost::NotifySink* get() const { return sink_.get(); }

 private:
  std::function<void(const std::string&)> out_;
  Hook hook_;
  ComPtr<winhost::NotifySink> sink_;
};

class PortRig {
 public:
  explicit PortRig(int portNumber, bool runMode = true) : portNumber_(portNumber) {
    const std::string name =
        "control" + std::to_string(getpid()) + "_" + std::to_string(portNumber);
    device = MemoryDevice::Create(name);
    setenv(("RAVLIN_COM" + std::to_string(portNumber)).c_str(), device->Path().c_str(), 1);
    HRESULT hr = CPort19::Create(nullptr, IID_IDispatch, port.ReceiveVoid());
    EXPECT_EQ(hr, S_OK);
    impl = static_cast<CPort19*>(port.get());
    impl->Engine().set_close_settle_for_testing(0);
    form = ComPtr<Form>::Attach(new Form);
    form->SetUserMode(runMode);
    EXPECT_EQ(form->AddControl(port.get(), u"Port1"), S_OK);
    events = std::make_unique<EventRecorder>([this](const std::string& l) { lines.push_back(l); });
    notes = std::make_unique<NotifyRecorder>([this](const std::string& l) { lines.push_back(l); });
    EXPECT_NE(winhost::Advise(port.get(), DIID__IPort18Events, events->get()), 0u);
    EXPECT_NE(winhost::Advise(port.get(), IID_IPropertyNotifySink, notes->get()), 0u);
    EXPECT_EQ(Put(DISPID_Port_PortNumber, Variant::I4(portNumber)), S_OK);
    lines.clear();
    impl->ClearDirty();
  }
  ~PortRig() {
    if (form) form->Close();
    port.Reset();
  }

  HRESULT Invoke(DISPID id, WORD flags, std::initializer_list<VARIANT> args,
                 Variant* result = nullptr) {
    Variant ignored;
    return InvokeByDispid(port.get(), id, flags, args, result ? result : &ignored);
  }
  HRESULT Call(DISPID id, std::initializer_list<VARIANT> args = {}, Variant* result = nullptr) {
    return Invoke(id, DISPATCH_METHOD, args, result);
  }
  Variant Get(DISPID id, HRESULT* hr = nullptr) {
    Variant v;
    HRESULT r = GetProperty(port.get(), id, &v);
    if (hr) *hr = r;
    return v;
  }
  std::string Show(DISPID id) {
    HRESULT hr;
    Variant v = Get(id, &hr);
    return SUCCEEDED(hr) ? winhost::format_value(v) : winhost::format_failure(hr, u"");
  }
  HRESULT Put(DISPID id, const VARIANT& v) { return PutProperty(port.get(), id, v); }
  // Calls a method with a result and prints it as the test container would.
  std::string Run(DISPID id, std::initializer_list<VARIANT> args = {}) {
    Variant r;
    HRESULT hr = Call(id, args, &r);
    return SUCCEEDED(hr) ? winhost::format_value(r) : winhost::format_failure(hr, u"");
  }
  bool Open(LONG ioMode = -1) {
    Variant r;
    EXPECT_EQ(Call(DISPID_Port_Open,
                   {Variant::Missing(), Variant::Missing(), Variant::Missing(), Variant::Missing(),
                    Variant::Missing(), Variant::Missing(), Variant::Missing(), Variant::Missing(),
                    Variant::I4(ioMode)},
                   &r),
              S_OK);
    return r.vt == VT_BOOL && r.boolVal == VARIANT_TRUE;
  }
  // Services the control's apartment until pred holds or ms pass.
  bool PumpUntil(const std::function<bool()>& pred, int ms = 3000) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!pred()) {
      if (std::chrono::steady_clock::now() > end) return false;
      WaitWithDispatch(0, nullptr, 5);
    }
    return true;
  }
  // PortLastError as each CommIOState or CommError event saw it. The error poll rewrites the
  // value every 10 ms, so the moment of the event is the one moment it is sure to hold.
  void WatchPortLastError() {
    events->set_hook([this](DISPID id, DISPPARAMS*) -> HRESULT {
      if (id == DISPID_PortEvent_CommIOState || id == DISPID_PortEvent_CommError)
        lastErrorAtEvents.push_back(Show(DISPID_Port_PortLastError));
      return S_OK;
    });
  }
  std::vector<std::string> lastErrorAtEvents;

  std::vector<std::string> Take() {
    auto l = std::move(lines);
    lines.clear();
    return l;
  }

  int portNumber_;
  std::shared_ptr<MemoryDevice> device;
  ComPtr<IDispatch> port;
  CPort19* impl = nullptr;
  ComPtr<Form> form;
  std::vector<std::string> lines;  // before the recorders, which write to it
  std::unique_ptr<EventRecorder> events;
  std::unique_ptr<NotifyRecorder> notes;
};

// A pseudo-terminal whose master side reads and writes raw bytes (the test plays the device
// there). False when no pty can be had.
inline bool OpenRawPty(int* master, int* slave) {
  if (openpty(master, slave, nullptr, nullptr, nullptr) != 0) return false;
  struct termios raw;
  tcgetattr(*master, &raw);
  cfmakeraw(&raw);
  tcsetattr(*master, TCSANOW, &raw);
  return true;
}

inline int NextPortNumber() {
  static int next = 40;
  return ++next;
}

}  // namespace ravlin::testing
