// libFuzzer target: IDispatch::Invoke of the Port control with any arguments.
//
// Two controls live on one form in run mode for the whole run, each on an in-memory device: one
// kept open, one kept closed. Every input starts by putting both back into a known state (open
// or closed, short time-outs, no pattern, empty queues, blocking I/O), so an input means the same
// whatever ran before it. Every port number the input can name leads to an in-memory device
// (RAVLIN_COM1..RAVLIN_COM1024; higher numbers lead to /dev/ttyS1023 and above, which no machine
// has), so no real serial port is ever opened.
//
// Input: a sequence of calls, read front to back; reading past the end gives zeros. Per call:
//   byte  target and flags: bit 0 the closed control (else the open one); bits 1-3 wFlags
//         (METHOD, PROPERTYGET, PROPERTYPUT, PROPERTYPUTREF, METHOD|PROPERTYGET, 0,
//         PROPERTYPUT|PROPERTYGET, or the next byte as is); bit 4 no pVarResult; bit 5 an
//         EXCEPINFO; bit 6 the put value named DISPID_PROPERTYPUT (else a random named DISPID when
//         bit 7); bit 7 one named argument
//   byte  the DISPID: an index into the control's members, or one of three it does not have
//   byte  the number of arguments (0-10)
//   per argument: a shape byte and what it needs (see Arg): empty, null, missing, error, I2, I4,
//         R4, R8, BOOL (any 16 bits), UI1, BSTR (UTF-16 from the input, or null), arrays of UI1,
//         I1, I4, BSTR or VARIANT with any lower bound (or a null array), IDispatch (null or the
//         other control), IUnknown null, and by-reference I4, I2, R4, BOOL, BSTR, byte array and
//         VARIANT (pointing at any of the by-value shapes).
//   byte  bytes the device delivers before the call (0-15, taken from the input).
// Time-outs are the only arguments not taken as given: a put of InputTimeout or OutputTimeout
// (and their hidden twins, and Open's time-out arguments) gets 10-25 ms, so that no call waits
// longer than a blink; a time-out itself is no fault.
//
// Checks, each a crash with a message (or a sanitizer report) when broken:
// - no crash, leak or hang, whatever the shapes; every VARIANT is freed after the call, by-ref
//   storage included, so a callee that leaves garbage in it is caught;
// - a call that succeeds returns its declared result type (VT_BOOL only 0 or -1, valid BSTRs,
//   arrays and objects), and a call that fails leaves pVarResult empty;
// - by-reference out-parameters hold valid values after the call (freed and copied here);
// - DISP_E_EXCEPTION comes only with an EXCEPINFO, and its scode is a failure;
// - event arguments the control fires are valid VARIANTs;
// - after the calls both controls still answer Opened with a boolean.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
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
#include "platform/kernel/kernel.h"
#include "platform/text/codepage.h"

namespace {

using namespace win;
using namespace ravlin;

[[noreturn]] void Fail(const std::string& what) {
  std::fprintf(stderr, "invoke_fuzz: %s\n", what.c_str());
  std::abort();
}

// Bytes read front to back; zeros past the end.
struct Reader {
  const std::uint8_t* p;
  std::size_t n;
  std::size_t at = 0;
  bool more() const { return at < n; }
  std::uint8_t u8() { return at < n ? p[at++] : 0; }
  std::uint16_t u16() { return static_cast<std::uint16_t>(u8() | u8() << 8); }
  std::uint32_t u32() { return u16() | static_cast<std::uint32_t>(u16()) << 16; }
};

// Storage the by-reference arguments point at; freed after each call.
struct Slots {
  std::deque<LONG> i4;
  std::deque<SHORT> i2;
  std::deque<FLOAT> r4;
  std::deque<VARIANT_BOOL> b;
  std::deque<BSTR> bstr;
  std::deque<SAFEARRAY*> arrays;
  std::deque<VARIANT> variants;
  void Free() {
    for (BSTR s : bstr) {
      if (s) SysStringLen(s);  // a garbage pointer is caught here or in the free
      SysFreeString(s);
    }
    for (SAFEARRAY* a : arrays) {
      if (a && SafeArrayGetDim(a) != 1) Fail("a by-ref array came back without one dimension");
      if (a) SafeArrayDestroy(a);
    }
    for (VARIANT& v : variants) {
      Variant copy;
      if (FAILED(VariantCopy(&copy, &v)) && v.vt != VT_EMPTY)
        Fail("a by-ref VARIANT came back unreadable");
      VariantClear(&v);
    }
    *this = Slots{};
  }
};

BSTR MakeBstr(Reader& r) {
  const std::size_t len = r.u8() % 24;
  std::u16string s;
  for (std::size_t i = 0; i < len; ++i) s.push_back(r.more() ? r.u16() : u'A');
  return SysAllocStringLen(s.data(), static_cast<UINT>(s.size()));
}

SAFEARRAY* MakeArray(Reader& r, VARTYPE vt) {
  const LONG lower = static_cast<std::int8_t>(r.u8());
  const ULONG count = r.u8() % 17;
  SAFEARRAY* sa = SafeArrayCreateVector(vt, lower, count);
  if (!sa) return nullptr;
  for (ULONG i = 0; i < count; ++i) {
    LONG index = lower + static_cast<LONG>(i);
    if (vt == VT_UI1 || vt == VT_I1) {
      BYTE b = r.u8();
      SafeArrayPutElement(sa, &index, &b);
    } else if (vt == VT_I4) {
      LONG l = static_cast<LONG>(r.u32());
      SafeArrayPutElement(sa, &index, &l);
    } else if (vt == VT_BSTR) {
      BSTR s = MakeBstr(r);
      SafeArrayPutElement(sa, &index, s);  // copies
      SysFreeString(s);
    } else if (vt == VT_VARIANT) {
      Variant v = Variant::I4(static_cast<LONG>(r.u32()));
      SafeArrayPutElement(sa, &index, &v);
    }
  }
  return sa;
}

constexpr int kValueShapes = 23;

// A by-value argument of one of the shapes (owned by the caller, freed with VariantClear).
VARIANT ValueArg(Reader& r, int shape, IDispatch* other) {
  VARIANT v;
  VariantInit(&v);
  switch (shape) {
    case 0:
      break;
    case 1:
      v.vt = VT_NULL;
      break;
    case 2:
      v.vt = VT_ERROR;
      v.scode = DISP_E_PARAMNOTFOUND;
      break;
    case 3:
      v.vt = VT_ERROR;
      v.scode = static_cast<SCODE>(r.u32());
      break;
    case 4:
      v.vt = VT_I2;
      v.iVal = static_cast<SHORT>(r.u16());
      break;
    case 5:
      v.vt = VT_I4;
      v.lVal = static_cast<LONG>(r.u32());
      break;
    case 6: {
      v.vt = VT_R4;
      std::uint32_t bits = r.u32();
      std::memcpy(&v.fltVal, &bits, 4);
      break;
    }
    case 7: {
      v.vt = VT_R8;
      std::uint64_t bits = r.u32() | static_cast<std::uint64_t>(r.u32()) << 32;
      std::memcpy(&v.dblVal, &bits, 8);
      break;
    }
    case 8:
      v.vt = VT_BOOL;
      v.boolVal = static_cast<VARIANT_BOOL>(r.u16());
      break;
    case 9:
      v.vt = VT_UI1;
      v.bVal = r.u8();
      break;
    case 10:
      v.vt = VT_BSTR;
      v.bstrVal = MakeBstr(r);
      break;
    case 11:
      v.vt = VT_BSTR;
      v.bstrVal = nullptr;
      break;
    case 12:
      v.vt = VT_ARRAY | VT_UI1;
      v.parray = MakeArray(r, VT_UI1);
      break;
    case 13:
      v.vt = VT_ARRAY | VT_I1;
      v.parray = MakeArray(r, VT_I1);
      break;
    case 14:
      v.vt = VT_ARRAY | VT_I4;
      v.parray = MakeArray(r, VT_I4);
      break;
    case 15:
      v.vt = VT_ARRAY | VT_BSTR;
      v.parray = MakeArray(r, VT_BSTR);
      break;
    case 16:
      v.vt = VT_ARRAY | VT_VARIANT;
      v.parray = MakeArray(r, VT_VARIANT);
      break;
    case 17:
      v.vt = VT_ARRAY | VT_UI1;
      v.parray = nullptr;
      break;
    case 18:
      v.vt = VT_DISPATCH;
      v.pdispVal = nullptr;
      break;
    case 19:
      v.vt = VT_DISPATCH;
      v.pdispVal = other;
      other->AddRef();
      break;
    case 20:
      v.vt = VT_UNKNOWN;
      v.punkVal = nullptr;
      break;
    case 21: {
      // A number as text ("19200", "-1", "1.5", "x").
      static const char16_t* const kTexts[] = {u"19200", u"-1",    u"1.5",  u"x",
                                               u"",      u"65536", u"True", u"0x10"};
      v.vt = VT_BSTR;
      v.bstrVal = SysAllocString(kTexts[r.u8() % 8]);
      break;
    }
    case 22:
      v.vt = VT_UI4;
      v.ulVal = r.u32();
      break;
  }
  return v;
}

// Any argument: a by-value shape, or a reference into slots.
VARIANT Arg(Reader& r, Slots& slots, IDispatch* other) {
  const int shape = r.u8() % (kValueShapes + 7);
  if (shape < kValueShapes) return ValueArg(r, shape, other);
  VARIANT v;
  VariantInit(&v);
  switch (shape - kValueShapes) {
    case 0:
      slots.i4.push_back(static_cast<LONG>(r.u32()));
      v.vt = VT_BYREF | VT_I4;
      v.plVal = &slots.i4.back();
      break;
    case 1:
      slots.i2.push_back(static_cast<SHORT>(r.u16()));
      v.vt = VT_BYREF | VT_I2;
      v.piVal = &slots.i2.back();
      break;
    case 2:
      slots.r4.push_back(static_cast<FLOAT>(static_cast<std::int16_t>(r.u16())) / 4);
      v.vt = VT_BYREF | VT_R4;
      v.pfltVal = &slots.r4.back();
      break;
    case 3:
      slots.b.push_back(static_cast<VARIANT_BOOL>(r.u16()));
      v.vt = VT_BYREF | VT_BOOL;
      v.pboolVal = &slots.b.back();
      break;
    case 4:
      slots.bstr.push_back((r.u8() & 1) ? MakeBstr(r) : nullptr);
      v.vt = VT_BYREF | VT_BSTR;
      v.pbstrVal = &slots.bstr.back();
      break;
    case 5:
      slots.arrays.push_back((r.u8() & 1) ? MakeArray(r, VT_UI1) : nullptr);
      v.vt = VT_BYREF | VT_ARRAY | VT_UI1;
      v.pparray = &slots.arrays.back();
      break;
    case 6:
      slots.variants.push_back(ValueArg(r, r.u8() % kValueShapes, other));
      v.vt = VT_BYREF | VT_VARIANT;
      v.pvarVal = &slots.variants.back();
      break;
  }
  return v;
}

// Whether a result or argument VARIANT is readable (a copy of it can be made and freed).
bool Readable(const VARIANT& v) {
  Variant copy;
  return SUCCEEDED(VariantCopyInd(&copy, &v)) || v.vt == VT_EMPTY;
}

bool IsTimeoutMember(DISPID id) {
  return id == DISPID_Port_InputTimeout || id == DISPID_Port_OutputTimeout ||
         id == DISPID_Port__InputTimeout || id == DISPID_Port__OutputTimeout;
}

struct Control {
  std::shared_ptr<MemoryDevice> device;
  int portNumber = 0;
  ComPtr<IDispatch> port;
  CPort19* impl = nullptr;
  bool keepOpen = false;
  std::vector<std::pair<DISPID, Variant>> initial;  // property values as made
};

ComPtr<Form> g_form;
Control g_controls[2];
ComPtr<winhost::EventSink> g_sink;

HRESULT Call(IDispatch* p, DISPID id, WORD flags, std::initializer_list<VARIANT> args,
             VARIANT* result = nullptr) {
  return InvokeByDispid(p, id, flags, args, result);
}

bool SameValue(const VARIANT& a, const VARIANT& b) {
  Variant x, y;
  if (FAILED(VariantChangeType(&x, &a, 0, VT_BSTR)) ||
      FAILED(VariantChangeType(&y, &b, 0, VT_BSTR)))
    return a.vt == b.vt;
  return a.vt == b.vt && BstrView(x.bstrVal) == BstrView(y.bstrVal);
}

// The first property that does not hold its value from when the control was made, or 0.
DISPID NotAsMade(Control& c) {
  for (const auto& [id, value] : c.initial) {
    Variant now;
    if (GetProperty(c.port.get(), id, &now) != S_OK || !SameValue(now, value)) return id;
  }
  return 0;
}
bool AsMade(Control& c) {
  return NotAsMade(c) == 0;
}

// Writes a property back; run-time refusals go through the hidden twin that takes it anyway.
void PutBack(IDispatch* p, DISPID id, const VARIANT& value) {
  if (PutProperty(p, id, value) == S_OK) return;
  static const std::pair<DISPID, DISPID> kTwins[] = {
      {DISPID_Port_IOMode, DISPID_Port__IOMode},
      {DISPID_Port_BaudRate, DISPID_Port__BaudRate},
      {DISPID_Port_Handshaking, DISPID_Port__Handshaking},
      {DISPID_Port_DataBits, DISPID_Port__DataBits},
      {DISPID_Port_InputTimeout, DISPID_Port__InputTimeout},
      {DISPID_Port_OutputTimeout, DISPID_Port__OutputTimeout},
      {DISPID_Port_Parity, DISPID_Port__Parity},
      {DISPID_Port_StopBits, DISPID_Port__StopBits}};
  for (const auto& [plain, hidden] : kTwins)
    if (plain == id) PutProperty(p, hidden, value);
}

// Back to the known state of the control before an input's calls: every property that can be
// written back as it was when the control was made (closing the port for those that only change
// while it is closed), open or closed as the control is meant to be, nothing queued or pending.
void Reset(Control& c) {
  IDispatch* p = c.port.get();
  for (const auto& [id, value] : c.initial) PutBack(p, id, value);
  Variant opened;
  GetProperty(p, DISPID_Port_Opened, &opened);
  const bool isOpen = opened.vt == VT_BOOL && opened.boolVal == VARIANT_TRUE;
  if (isOpen != c.keepOpen || !AsMade(c)) {
    Variant r;
    if (Call(p, DISPID_Port_Close, DISPATCH_METHOD, {}, &r) != S_OK || r.boolVal != VARIANT_TRUE)
      Fail("a control cannot be closed");
    for (const auto& [id, value] : c.initial) PutBack(p, id, value);
    if (DISPID id = NotAsMade(c))
      Fail("a closed control does not take back its first value of DISPID " + std::to_string(id));
    if (c.keepOpen) {
      Variant ok;
      const HRESULT hr = Call(p, DISPID_Port_Open, DISPATCH_METHOD, {}, &ok);
      if (hr != S_OK || ok.boolVal != VARIANT_TRUE) {
        char code[16];
        std::snprintf(code, sizeof code, "%08X", static_cast<unsigned>(hr));
        Fail(std::string("the open control cannot be opened again: ") + code);
      }
    }
  }
  if (c.keepOpen) {
    for (DISPID id : {DISPID_Port_CancelPendingInputs, DISPID_Port_CancelPendingOutputs,
                      DISPID_Port_ClearInputBuffer, DISPID_Port_ClearOutputBuffer}) {
      Variant ignored;
      Call(p, id, DISPATCH_METHOD, {}, &ignored);
    }
  }
  c.device->TakeWritten();
  DispatchPending();
}

std::vector<DISPID> g_dispids;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  SetActiveCodePageForTesting(932);
  static const std::string registry = "/nonexistent/invoke_fuzz/registry.reg";
  ::setenv("RAVLIN_REGISTRY", registry.c_str(), 1);
  for (int n = 1; n <= 1024; ++n)
    ::setenv(("RAVLIN_COM" + std::to_string(n)).c_str(), "mem:invoke_fuzz_absent", 1);

  g_form = ComPtr<Form>::Attach(new Form);
  g_form->SetUserMode(true);
  g_sink = MakeObject<winhost::EventSink>(DIID__IPort18Events, [](DISPID, DISPPARAMS* params) {
    for (UINT i = 0; params && i < params->cArgs; ++i)
      if (!Readable(params->rgvarg[i])) Fail("an event argument is not a valid VARIANT");
    return S_OK;
  });
  for (int i = 0; i < 2; ++i) {
    Control& c = g_controls[i];
    c.portNumber = 7 + i;
    c.keepOpen = i == 0;
    c.device = MemoryDevice::Create("invoke_fuzz_" + std::to_string(i));
    ::setenv(("RAVLIN_COM" + std::to_string(c.portNumber)).c_str(), c.device->Path().c_str(), 1);
    if (CPort19::Create(nullptr, IID_IDispatch, c.port.ReceiveVoid()) != S_OK) return 1;
    c.impl = static_cast<CPort19*>(c.port.get());
    c.impl->Engine().set_close_settle_for_testing(0);
    g_form->AddControl(c.port.get(), i == 0 ? u"Port1" : u"Port2");
    winhost::Advise(c.port.get(), DIID__IPort18Events, g_sink.get());
    PutProperty(c.port.get(), DISPID_Port_PortNumber, Variant::I4(c.portNumber));
    PutProperty(c.port.get(), DISPID_Port_InputTimeout, Variant::I4(10));
    PutProperty(c.port.get(), DISPID_Port_OutputTimeout, Variant::I4(10));
    for (const member_spec& m : iport18Members()) {
      // PortLastError is the engine's own to rewrite (its error poll does, every few ms).
      if (m.kind != member_kind::propget || !findPortMember(m.dispid, member_kind::propput) ||
          m.dispid == DISPID_Port_PortLastError)
        continue;
      Variant value;
      if (GetProperty(c.port.get(), m.dispid, &value) == S_OK)
        c.initial.push_back({m.dispid, value});
    }
  }
  for (const member_spec& m : iport18Members()) {
    bool seen = false;
    for (DISPID d : g_dispids) seen = seen || d == m.dispid;
    if (!seen) g_dispids.push_back(m.dispid);
  }
  // Closed and gone before the process's static objects (the handle table among them) are.
  std::atexit([] {
    for (Control& c : g_controls) {
      Variant ignored;
      if (c.port) Call(c.port.get(), DISPID_Port_Close, DISPATCH_METHOD, {}, &ignored);
    }
    g_form->Close();
    for (Control& c : g_controls) {
      c.port.Reset();
      c.device.reset();
    }
    g_form.Reset();
    g_sink.Reset();
  });
  g_dispids.push_back(0);     // DISPID_VALUE: not a member
  g_dispids.push_back(-1);    // DISPID_UNKNOWN
  g_dispids.push_back(9999);  // nothing
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  for (Control& c : g_controls) Reset(c);
  Reader r{data, size};
  static const WORD kFlags[] = {DISPATCH_METHOD,
                                DISPATCH_PROPERTYGET,
                                DISPATCH_PROPERTYPUT,
                                DISPATCH_PROPERTYPUTREF,
                                DISPATCH_METHOD | DISPATCH_PROPERTYGET,
                                0,
                                DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYGET,
                                0xFFFF};
  for (int call = 0; call < 24 && r.more(); ++call) {
    const std::uint8_t head = r.u8();
    Control& c = g_controls[head & 1];
    IDispatch* other = g_controls[(head & 1) ^ 1].port.get();
    WORD flags = kFlags[(head >> 1) & 7];
    if (flags == 0xFFFF) flags = r.u8();
    const DISPID dispid = g_dispids[r.u8() % g_dispids.size()];
    const UINT argc = r.u8() % 11;

    Slots slots;
    std::vector<VARIANT> args;  // rgvarg order: last parameter first
    for (UINT i = 0; i < argc; ++i) args.push_back(Arg(r, slots, other));
    // Time-outs: 10-25 ms whatever the shape, so that nothing waits long.
    const bool put = (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;
    auto shortTimeout = [&](VARIANT& v) {
      VariantClear(&v);
      v.vt = VT_I4;
      v.lVal = 10 + r.u8() % 16;
    };
    if (IsTimeoutMember(dispid) && put && argc > 0) shortTimeout(args[0]);
    if (dispid == DISPID_Port_Open || dispid == DISPID_Port__Open) {
      for (UINT k : {6u, 7u})  // input and output time-out, in declared order
        if (k < argc) shortTimeout(args[argc - 1 - k]);
    }
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS params{args.empty() ? nullptr : args.data(), nullptr, argc, 0};
    if ((head & 0x40) && argc > 0) {
      params.rgdispidNamedArgs = &named;
      params.cNamedArgs = 1;
    } else if ((head & 0x80) && argc > 0) {
      named = static_cast<DISPID>(r.u8() % 12) - 1;
      params.rgdispidNamedArgs = &named;
      params.cNamedArgs = 1;
    }
    if (c.keepOpen) {
      const std::size_t feed = r.u8() % 16;
      std::string bytes;
      for (std::size_t i = 0; i < feed; ++i) bytes.push_back(static_cast<char>(r.u8()));
      c.device->Feed(bytes);
    }

    VARIANT result;
    VariantInit(&result);
    EXCEPINFO excep{};
    UINT argErr = 0xFFFFFFFF;
    const HRESULT hr = c.port->Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT, flags, &params,
                                      (head & 0x10) ? nullptr : &result,
                                      (head & 0x20) ? &excep : nullptr, &argErr);
    const std::string what = "DISPID " + std::to_string(dispid) + " flags " +
                             std::to_string(flags) + " with " + std::to_string(argc) + " args";
    if (hr == DISP_E_EXCEPTION) {
      if (!(head & 0x20)) Fail(what + ": DISP_E_EXCEPTION without an EXCEPINFO");
      if (SUCCEEDED(excep.scode)) Fail(what + ": DISP_E_EXCEPTION with a success scode");
    }
    ClearExcepInfo(&excep);

    if (SUCCEEDED(hr)) {
      const bool putKind = put;
      const member_spec* m = nullptr;
      if (putKind) {
        m = findPortMember(dispid, member_kind::propput);
      } else {
        if (flags & DISPATCH_METHOD) m = findPortMember(dispid, member_kind::method);
        if (!m && (flags & DISPATCH_PROPERTYGET)) m = findPortMember(dispid, member_kind::propget);
      }
      if (!m) Fail(what + ": succeeded for no member");
      if (!(head & 0x10)) {
        if (m->result != vt::empty && m->result != vt::variant && result.vt != m->result)
          Fail(what + ": result of type " + std::to_string(result.vt) + ", declared " +
               std::to_string(m->result));
        if (result.vt == VT_BOOL && result.boolVal != VARIANT_TRUE &&
            result.boolVal != VARIANT_FALSE)
          Fail(what + ": a boolean result of " + std::to_string(result.boolVal));
        if (result.vt == VT_BSTR && result.bstrVal) SysStringLen(result.bstrVal);
        if (result.vt == VT_DISPATCH && result.pdispVal) {
          result.pdispVal->AddRef();
          result.pdispVal->Release();
        }
        if ((result.vt & VT_ARRAY) && result.parray && SafeArrayGetDim(result.parray) != 1)
          Fail(what + ": an array result without one dimension");
        if (!Readable(result)) Fail(what + ": an unreadable result");
        // Handle answers a duplicate of the device handle, which the caller owns.
        if (dispid == DISPID_Port_Handle && m->kind == member_kind::propget &&
            !CloseHandle(reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(result.lVal))))
          Fail(what + ": Handle answered no handle");
      }
    } else if (result.vt != VT_EMPTY) {
      Fail(what + ": failed, yet set a result");
    }
    VariantClear(&result);
    for (VARIANT& a : args) VariantClear(&a);
    slots.Free();
    DispatchPending();
  }
  // Let any event the calls queued reach the sink before the next input.
  WaitWithDispatch(0, nullptr, 0);
  DispatchPending();
  for (Control& c : g_controls) {
    Variant opened;
    if (GetProperty(c.port.get(), DISPID_Port_Opened, &opened) != S_OK || opened.vt != VT_BOOL)
      Fail("Opened cannot be read as a boolean");
  }
  return 0;
}
