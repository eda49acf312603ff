// A rig for the Port control's tests: a control on a form (run mode unless told otherwise), an
// event sink and a property-notify sink that record lines ("event CommIOState(513)",
// "changed 81"), an in-memory device reachable as COM<n>, and Invoke helpers by DISPID.
#pragma once

#include <gtest/gtest.h>
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
#include "platform/host/value_format.h"
#include "tools/testcon/sinks.h"

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
    events = ComPtr<testcon::event_sink>::Attach(
        new testcon::event_sink([this](const std::string& l) { lines.push_back(l); }));
    notes = ComPtr<testcon::notify_sink>::Attach(
        new testcon::notify_sink([this](const std::string& l) { lines.push_back(l); }));
    EXPECT_NE(testcon::advise(port.get(), DIID__IPort18Events, events.get()), 0u);
    EXPECT_NE(testcon::advise(port.get(), IID_IPropertyNotifySink, notes.get()), 0u);
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
  ComPtr<testcon::event_sink> events;
  ComPtr<testcon::notify_sink> notes;
  std::vector<std::string> lines;
};

inline int NextPortNumber() {
  static int next = 40;
  return ++next;
}

}  // namespace ravlin::testing
