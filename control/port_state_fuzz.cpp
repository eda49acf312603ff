// libFuzzer target: the Port control's IPersistStreamInit::Load with any bytes.
//
// Each input is loaded into a new control. Checks, each a crash with a message (or a sanitizer
// report, leaks included) when broken:
// - Load answers S_OK or E_FAIL, never anything else, and never reads past the stream;
// - a stream that loads saves to bytes that load again into another new control, and that one
//   saves the same bytes (what a form stores it can always read back, unchanged);
// - whatever a loaded stream holds, the control then opens, writes, reads and closes (or refuses
//   to open with an error) on an in-memory device without a crash or a hang: settings a setter
//   would refuse reach the device only through Open, which must handle them.
// Time-outs and the port number are set to short, known values before the open so that no input
// makes the run wait; everything else is as the stream left it.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "control/port.h"
#include "control/port_members.h"
#include "platform/com/apartment.h"
#include "platform/com/dispatch.h"
#include "platform/comm/memory_device.h"
#include "platform/text/codepage.h"

namespace {

using namespace win;
using namespace ravlin;

[[noreturn]] void Fail(const std::string& what) {
  std::fprintf(stderr, "port_state_fuzz: %s\n", what.c_str());
  std::abort();
}

constexpr LONG kPort = 7;
std::shared_ptr<MemoryDevice> g_device;

ComPtr<IDispatch> NewControl() {
  ComPtr<IDispatch> port;
  if (CPort19::Create(nullptr, IID_IDispatch, port.ReceiveVoid()) != S_OK) Fail("no control");
  static_cast<CPort19*>(port.get())->Engine().set_close_settle_for_testing(0);
  return port;
}

HRESULT Load(IDispatch* port, const void* data, std::size_t size) {
  ComPtr<IPersistStreamInit> persist;
  if (port->QueryInterface(IID_IPersistStreamInit, persist.ReceiveVoid()) != S_OK)
    Fail("no IPersistStreamInit");
  ComPtr<IStream> stream;
  if (CreateStreamOnMemory(data, size, stream.Receive()) != S_OK) Fail("no stream");
  return persist->Load(stream.get());
}

std::vector<BYTE> Save(IDispatch* port) {
  ComPtr<IPersistStreamInit> persist;
  port->QueryInterface(IID_IPersistStreamInit, persist.ReceiveVoid());
  ComPtr<IStream> stream;
  CreateStreamOnMemory(nullptr, 0, stream.Receive());
  if (persist->Save(stream.get(), FALSE) != S_OK) Fail("Save failed on a memory stream");
  std::vector<BYTE> bytes;
  ReadStreamBytes(stream.get(), &bytes);
  return bytes;
}

HRESULT Call(IDispatch* port, DISPID id, WORD flags, std::initializer_list<VARIANT> args,
             Variant* result) {
  return InvokeByDispid(port, id, flags, args, result);
}

void Exercise(IDispatch* port) {
  Variant r;
  PutProperty(port, DISPID_Port_PortNumber, Variant::I4(kPort));
  PutProperty(port, DISPID_Port_InputTimeout, Variant::I4(10));
  PutProperty(port, DISPID_Port_OutputTimeout, Variant::I4(10));
  // Blocking I/O, so nothing is left queued for the workers when the input ends.
  HRESULT hr = Call(port, DISPID_Port_Open, DISPATCH_METHOD,
                    {Variant::Missing(), Variant::Missing(), Variant::Missing(), Variant::Missing(),
                     Variant::Missing(), Variant::Missing(), Variant::Missing(), Variant::Missing(),
                     Variant::I4(1)},
                    &r);
  if (FAILED(hr)) {
    if (g_device->IsOpen()) Fail("a refused open left the device open");
    return;
  }
  if (r.vt != VT_BOOL) Fail("Open answered no boolean");
  if (r.boolVal != VARIANT_TRUE) return;  // a modem link: the modem control opens
  g_device->Feed("ab");
  Variant n;
  Call(port, DISPID_Port_Output, DISPATCH_METHOD, {Variant::Str(u"xy")}, &n);
  Call(port, DISPID_Port_Input, DISPATCH_METHOD, {}, &n);
  Call(port, DISPID_Port_Close, DISPATCH_METHOD, {}, &r);
  if (g_device->IsOpen()) Fail("Close left the device open");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  SetActiveCodePageForTesting(932);
  ::setenv("RAVLIN_REGISTRY", "/nonexistent/port_state_fuzz/registry.reg", 1);
  g_device = MemoryDevice::Create("port_state_fuzz");
  ::setenv(("RAVLIN_COM" + std::to_string(kPort)).c_str(), g_device->Path().c_str(), 1);
  std::atexit([] { g_device.reset(); });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  ComPtr<IDispatch> port = NewControl();
  HRESULT hr = Load(port.get(), data, size);
  if (hr != S_OK && hr != E_FAIL) Fail("Load answered " + std::to_string(hr));
  if (hr == S_OK) {
    const std::vector<BYTE> saved = Save(port.get());
    ComPtr<IDispatch> again = NewControl();
    if (Load(again.get(), saved.data(), saved.size()) != S_OK) Fail("a saved stream did not load");
    if (Save(again.get()) != saved) Fail("a saved stream did not load to the same settings");
  }
  Exercise(port.get());
  return 0;
}
