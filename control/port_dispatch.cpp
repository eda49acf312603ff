// CPort19's type descriptions: the member table of port_members.h turned into the runtime's
// TypeDescription, with the handler of every member. Handlers unpack the coerced arguments and
// call the C++ member of the same name.
#include <deque>
#include <mutex>
#include <string>

#include "control/port.h"
#include "control/port_identity.h"
#include "control/port_members.h"
#include "platform/text/convert.h"

namespace ravlin {

bool WaitForDataCallerWantsArray();  // port.cpp

using namespace win;

namespace {

// Automation booleans travel as VARIANTs so that values other than 0 and -1 can be refused
// (a coercion to VT_BOOL would turn them into TRUE).
HRESULT BoolArg(const VARIANT& given, LONG* out) {
  const VARIANT* v = &given;
  if (v->vt == (VT_BYREF | VT_VARIANT)) v = v->pvarVal;
  if (!v) return E_INVALIDARG;
  if (v->vt == VT_BOOL) {
    *out = v->boolVal;
    return (*out == 0 || *out == -1) ? S_OK : E_INVALIDARG;
  }
  if (v->vt == VT_ERROR || v->vt == VT_EMPTY || v->vt == VT_NULL || v->vt == VT_DISPATCH ||
      v->vt == VT_UNKNOWN || (v->vt & VT_ARRAY))
    return E_INVALIDARG;
  Variant i4;
  if (FAILED(VariantChangeType(&i4, v, VARIANT_NOVALUEPROP, VT_I4))) return E_INVALIDARG;
  *out = i4.lVal;
  return (*out == 0 || *out == -1) ? S_OK : E_INVALIDARG;
}

using Call = Invocation&;
using Port = CPort19&;

template <class F>
MemberHandler H(F f) {
  return On<CPort19>(f);
}

serial::rs232x_open_args_t OpenArgs(Call c) {
  serial::rs232x_open_args_t a;
  a.port_number = c.I4(0);
  a.baud_rate = c.I4(1);
  a.data_bits = c.I2(2);
  a.stop_bits = c.R4(3);
  a.handshaking = c.I4(4);
  a.parity = c.I4(5);
  a.input_timeout = c.I4(6);
  a.output_timeout = c.I4(7);
  a.io_mode = c.I4(8);
  return a;
}

// _Open's BaudRate as it arrives (the table gives it to the handler as any VARIANT): a byte
// array is the DCB a linked modem control hands over with its line (*dcb set, baud rate -1);
// anything else is the baud rate, coerced as for every other member.
HRESULT OpenBaudRateOrLine(const VARIANT& given, LONG* baudRate, std::vector<std::uint8_t>* dcb,
                           bool* isLine) {
  *isLine = false;
  *baudRate = -1;
  const VARIANT* v = &given;
  if (v->vt == (VT_BYREF | VT_VARIANT)) v = v->pvarVal;
  if (!v) return DISP_E_TYPEMISMATCH;
  const VARTYPE base = v->vt & static_cast<VARTYPE>(~VT_BYREF);
  if (base == (VT_ARRAY | VT_UI1) || base == (VT_ARRAY | VT_I1)) {
    SAFEARRAY* sa = (v->vt & VT_BYREF) ? (v->pparray ? *v->pparray : nullptr) : v->parray;
    *isLine = true;
    dcb->clear();
    if (!sa) return S_OK;  // no array: no DCB, refused by _Open for its size
    if (SafeArrayGetDim(sa) != 1) return E_INVALIDARG;
    LONG lo = 0, hi = -1;
    if (FAILED(SafeArrayGetLBound(sa, 1, &lo)) || FAILED(SafeArrayGetUBound(sa, 1, &hi)))
      return E_INVALIDARG;
    void* data = nullptr;
    if (hi < lo) return S_OK;
    if (FAILED(SafeArrayAccessData(sa, &data))) return E_INVALIDARG;
    const auto* p = static_cast<const std::uint8_t*>(data);
    dcb->assign(p, p + (static_cast<std::int64_t>(hi) - lo + 1));
    SafeArrayUnaccessData(sa);
    return S_OK;
  }
  if (v->vt == VT_ERROR && v->scode == DISP_E_PARAMNOTFOUND) return S_OK;  // left out
  Variant i4;
  HRESULT hr = VariantChangeType(&i4, v, 0, VT_I4);
  if (FAILED(hr)) return hr == DISP_E_OVERFLOW ? hr : DISP_E_TYPEMISMATCH;
  *baudRate = i4.lVal;
  return S_OK;
}

// The parameter of _Open that carries a modem control's DCB in place of the baud rate.
constexpr UINT kOpenLineParam = 1;

// A property put whose value is an automation boolean.
template <HRESULT (CPort19::*Put)(LONG)>
MemberHandler BoolPut() {
  return H([](Port p, Call c) {
    LONG v = 0;
    HRESULT hr = BoolArg(c.Arg(0), &v);
    return FAILED(hr) ? hr : (p.*Put)(v);
  });
}

MemberHandler HandlerFor(DISPID id, member_kind kind) {
  const bool get = kind == member_kind::propget;
  switch (id) {
    // Methods.
    case DISPID_Port_AboutBox:
      return H([](Port p, Call) { return p.AboutBox(); });
    case DISPID_Port_CancelPendingInputs:
      return H([](Port p, Call c) { return p.CancelPendingInputs(c.ResultBool()); });
    case DISPID_Port_CancelPendingOutputs:
      return H([](Port p, Call c) { return p.CancelPendingOutputs(c.ResultBool()); });
    case DISPID_Port_ClearInputBuffer:
      return H([](Port p, Call c) { return p.ClearInputBuffer(c.ResultBool()); });
    case DISPID_Port_ClearOutputBuffer:
      return H([](Port p, Call c) { return p.ClearOutputBuffer(c.ResultBool()); });
    case DISPID_Port_Close:
      return H([](Port p, Call c) { return p.Close(c.ResultBool()); });
    case DISPID_Port_Configure:
      return H([](Port p, Call c) { return p.Configure(c.ResultBool()); });
    case DISPID_Port_ConnectTapiCtl:
      return H([](Port p, Call c) { return p.ConnectTapiCtl(c.Dispatch(0), c.ResultBool()); });
    case DISPID_Port_Crc16:
      return H([](Port p, Call c) { return p.Crc16(c.ArrayRef(0), c.ResultVariant()); });
    case DISPID_Port_Crc32:
      return H([](Port p, Call c) { return p.Crc32(c.ArrayRef(0), c.ResultVariant()); });
    case DISPID_Port_DisconnectTapiCtl:
      return H([](Port p, Call c) { return p.DisconnectTapiCtl(c.ResultBool()); });
    case DISPID_Port_Input:
      return H([](Port p, Call c) { return p.Input(c.StrRef(0), c.I4(1), c.ResultI4()); });
    case DISPID_Port_InputB:
      return H([](Port p, Call c) { return p.InputB(c.ArrayRef(0), c.I4(1), c.ResultI4()); });
    case DISPID_Port_Open:
      return H([](Port p, Call c) { return p.Open(OpenArgs(c), c.ResultBool()); });
    case DISPID_Port_Output:
      return H([](Port p, Call c) { return p.Output(c.Str(0), c.ResultI4()); });
    case DISPID_Port_OutputB:
      return H([](Port p, Call c) { return p.OutputB(c.ArrayRef(0), c.ResultI4()); });
    case DISPID_Port_OutputUrgent:
      return H([](Port p, Call c) { return p.OutputUrgent(c.UI1(0), c.ResultBool()); });
    case DISPID_Port_SetIOMode:
      return H([](Port p, Call c) { return p.SetIOMode(c.I4(0), c.ResultBool()); });

      // Properties.
#define RW(ID, NAME, READ, WRITE)                                         \
  case ID:                                                                \
    return get ? H([](Port p, Call c) { return p.get_##NAME(c.READ()); }) \
               : H([](Port p, Call c) { return p.put_##NAME(c.WRITE(0)); });
#define RO(ID, NAME, READ) \
  case ID:                 \
    return H([](Port p, Call c) { return p.get_##NAME(c.READ()); });
#define RW_BOOL(ID, NAME)                                                       \
  case ID:                                                                      \
    return get ? H([](Port p, Call c) { return p.get_##NAME(c.ResultBool()); }) \
               : BoolPut<&CPort19::put_##NAME>();

      RW_BOOL(DISPID_Port_AllowConnection, AllowConnection)
      RW(DISPID_Port_BaudRate, BaudRate, ResultI4, I4)
      RW_BOOL(DISPID_Port_Break, Break)
      RO(DISPID_Port_Cd, Cd, ResultBool)
      RO(DISPID_Port_Cts, Cts, ResultBool)
      RW(DISPID_Port_DataBits, DataBits, ResultI2, I2)
      RO(DISPID_Port_Dsr, Dsr, ResultBool)
      RW_BOOL(DISPID_Port_Dtr, Dtr)
      RW(DISPID_Port_EventByte, EventByte, ResultUI1, UI1)
      RW(DISPID_Port_EventMask, EventMask, ResultI4, I4)
      RO(DISPID_Port_Handle, Handle, ResultI4)
      RW(DISPID_Port_Handshaking, Handshaking, ResultI4, I4)
      RO(DISPID_Port_InputBufferByteCount, InputBufferByteCount, ResultI4)
      RW(DISPID_Port_InputBufferSize, InputBufferSize, ResultI4, I4)
      RO(DISPID_Port_InputByteCount, InputByteCount, ResultI4)
      RW(DISPID_Port_InputThreshold, InputThreshold, ResultI4, I4)
      RW(DISPID_Port_InputTimeout, InputTimeout, ResultI4, I4)
      RW(DISPID_Port_IOMode, IOMode, ResultI4, I4)
      RO(DISPID_Port_IsOccupied, IsOccupied, ResultBool)
      RW_BOOL(DISPID_Port_NullDiscard, NullDiscard)
      RO(DISPID_Port_OccupyingControl, OccupyingControl, ResultDispatch)
      RW(DISPID_Port_OffThreshold, OffThreshold, ResultI4, I4)
      RW(DISPID_Port_OnThreshold, OnThreshold, ResultI4, I4)
      RO(DISPID_Port_Opened, Opened, ResultBool)
      RO(DISPID_Port_OutputBufferByteCount, OutputBufferByteCount, ResultI4)
      RW(DISPID_Port_OutputBufferSize, OutputBufferSize, ResultI4, I4)
      RO(DISPID_Port_OutputByteCount, OutputByteCount, ResultI4)
      RW(DISPID_Port_OutputThreshold, OutputThreshold, ResultI4, I4)
      RW(DISPID_Port_OutputTimeout, OutputTimeout, ResultI4, I4)
      RW(DISPID_Port_Parity, Parity, ResultI4, I4)
      RW(DISPID_Port_ParityReplaceByte, ParityReplaceByte, ResultUI1, UI1)
      RW(DISPID_Port_PortLastError, PortLastError, ResultI4, I4)
      RW(DISPID_Port_PortNumber, PortNumber, ResultI4, I4)
      RO(DISPID_Port_Ri, Ri, ResultBool)
      RW_BOOL(DISPID_Port_Rts, Rts)
      RW(DISPID_Port_StopBits, StopBits, ResultR4, R4)
      RW(DISPID_Port_TapiCtl, TapiCtl, ResultDispatch, Dispatch)
      RW(DISPID_Port_XoffByte, XoffByte, ResultUI1, UI1)
      RW(DISPID_Port_XonByte, XonByte, ResultUI1, UI1)
#undef RW
#undef RO
#undef RW_BOOL
    case DISPID_Port_WaitForData:
      return get ? H([](Port p, Call c) {
        return p.get_WaitForData(c.ResultVariant(), WaitForDataCallerWantsArray());
      })
                 : H([](Port p, Call c) { return p.put_WaitForData(c.Arg(0)); });

    // Hidden members.
    case DISPID_Port__Close:
      return H([](Port p, Call c) { return p._Close(c.ResultBool()); });
    case DISPID_Port__Input:
      return H([](Port p, Call c) { return p._Input(c.StrRef(0), c.I4(1), c.ResultI4()); });
    case DISPID_Port__InputB:
      return H([](Port p, Call c) { return p._InputB(c.ArrayRef(0), c.I4(1), c.ResultI4()); });
    case DISPID_Port__Open:
      return H([](Port p, Call c) {
        serial::rs232x_open_args_t args = OpenArgs(c);
        std::vector<std::uint8_t> dcb;
        bool isLine = false;
        LONG baudRate = -1;
        HRESULT hr = OpenBaudRateOrLine(c.Arg(kOpenLineParam), &baudRate, &dcb, &isLine);
        args.baud_rate = baudRate;
        if (FAILED(hr)) {
          *c.ResultBool() = VARIANT_FALSE;
          return hr;
        }
        return p._Open(args, isLine ? &dcb : nullptr, c.ResultBool());
      });
    case DISPID_Port__Output:
      return H([](Port p, Call c) { return p._Output(c.Str(0), c.ResultI4()); });
    case DISPID_Port__OutputB:
      return H([](Port p, Call c) { return p._OutputB(c.ArrayRef(0), c.ResultI4()); });
    case DISPID_Port__SetIOMode:
      return H([](Port p, Call c) { return p._SetIOMode(c.I4(0), c.ResultBool()); });
    case DISPID_Port__BaudRate:
      return H([](Port p, Call c) { return p.put__BaudRate(c.I4(0)); });
    case DISPID_Port__Handshaking:
      return H([](Port p, Call c) { return p.put__Handshaking(c.I4(0)); });
    case DISPID_Port__DataBits:
      return H([](Port p, Call c) { return p.put__DataBits(c.I2(0)); });
    case DISPID_Port__InputTimeout:
      return H([](Port p, Call c) { return p.put__InputTimeout(c.I4(0)); });
    case DISPID_Port__IOMode:
      return H([](Port p, Call c) { return p.put__IOMode(c.I4(0)); });
    case DISPID_Port__OutputTimeout:
      return H([](Port p, Call c) { return p.put__OutputTimeout(c.I4(0)); });
    case DISPID_Port__Parity:
      return H([](Port p, Call c) { return p.put__Parity(c.I4(0)); });
    case DISPID_Port__StopBits:
      return H([](Port p, Call c) { return p.put__StopBits(c.R4(0)); });
    case DISPID_Port__TermOrFile:
      return H([](Port p, Call c) { return p.put__TermOrFile(c.Dispatch(0)); });
    case DISPID_Port__GetComponent:
      return H([](Port p, Call c) { return p._GetComponent(c.StrRef(0)); });
    case DISPID_Port__RunMode:
      return H([](Port p, Call c) { return p._RunMode(c.I4(0), c.ResultBool()); });
    case DISPID_Port__SaneContainer:
      return H([](Port p, Call c) { return p._SaneContainer(c.ResultBool()); });
    case DISPID_Port__SetComponent:
      return H([](Port p, Call c) { return p._SetComponent(c.Str(0)); });
    case DISPID_Port__TapiCtl:
      return H([](Port p, Call c) { return p._TapiCtl(c.ResultBool()); });
    case DISPID_Port__TapiCtls:
      return H([](Port p, Call c) { return p._TapiCtls(c.Uint(0)); });
    case DISPID_Port__Fire_AutoInput:
      return H([](Port p, Call c) { return p.Fire_AutoInput(c.ArrayRef(0), c.I4(1)); });
    case DISPID_Port__Fire_CommError:
      return H([](Port p, Call c) { return p.Fire_CommError(c.I4(0)); });
    case DISPID_Port__Fire_CommIOState:
      return H([](Port p, Call c) { return p.Fire_CommIOState(c.I4(0)); });
    case DISPID_Port__Fire_CommState:
      return H([](Port p, Call c) { return p.Fire_CommState(c.I4(0)); });
    case DISPID_Port__Fire_DataDetected:
      return H([](Port p, Call) { return p.Fire_DataDetected(); });
    case DISPID_Port__Fire_NonblockInput:
      return H([](Port p, Call c) { return p.Fire_NonblockInput(c.I4(0), c.Str(1), c.I4(2)); });
    case DISPID_Port__Fire_NonblockInputB:
      return H(
          [](Port p, Call c) { return p.Fire_NonblockInputB(c.I4(0), c.ArrayRef(1), c.I4(2)); });
    case DISPID_Port__Fire_NonblockOutput:
      return H([](Port p, Call c) { return p.Fire_NonblockOutput(c.I4(0), c.I4(1)); });
    case DISPID_Port__Fire__UberAutoInput:
      return H([](Port p, Call c) { return p.Fire__UberAutoInput(c.ArrayRef(0), c.I4(1)); });
    default:
      return {};
  }
}

// Strings of the tables, converted once and kept for the life of the process.
std::u16string_view Keep(const char* utf8) {
  static std::mutex lock;
  static std::deque<std::u16string> kept;
  if (!utf8) return {};
  std::lock_guard<std::mutex> guard(lock);
  kept.push_back(Utf8ToUtf16(utf8));
  return kept.back();
}

VARTYPE DispatchType(std::uint16_t type) {
  if (type == vt::boolean) return VT_VARIANT;  // checked by the handler (see BoolArg)
  return type;
}

VARTYPE ResultType(std::uint16_t type) {
  return type == vt::empty ? VARTYPE{VT_EMPTY} : VARTYPE{type};
}

MemberKind KindOf(member_kind k) {
  switch (k) {
    case member_kind::method:
      return MemberKind::Method;
    case member_kind::propget:
      return MemberKind::PropertyGet;
    case member_kind::propput:
      return MemberKind::PropertyPut;
  }
  return MemberKind::Method;
}

std::vector<MemberDesc> Describe(std::span<const member_spec> table, bool withHandlers) {
  std::vector<MemberDesc> members;
  for (const member_spec& m : table) {
    MemberDesc d;
    d.name = Keep(m.name);
    d.dispid = m.dispid;
    d.kind = KindOf(m.kind);
    d.result = ResultType(m.result);
    for (const param_spec& p : m.params) {
      ParamDesc pd;
      pd.name = Keep(p.name);
      pd.vt = withHandlers ? DispatchType(p.type) : p.type;
      // _Open's BaudRate may carry a modem control's DCB: its handler reads the VARIANT itself.
      if (withHandlers && m.dispid == DISPID_Port__Open && d.params.size() == kOpenLineParam)
        pd.vt = VT_VARIANT;
      pd.optional = (p.flags & pf_optional) != 0;
      switch (p.def.kind) {
        case default_value::i4:
        case default_value::i2:
          pd.defaultValue = DefaultI4(p.def.i);
          break;
        case default_value::r4:
          pd.defaultValue = DefaultR8(p.def.f);
          break;
        case default_value::bstr:
          pd.defaultValue = DefaultStr(p.def.s);
          break;
        case default_value::none:
          break;
      }
      d.params.push_back(pd);
    }
    if (withHandlers) d.handler = HandlerFor(m.dispid, m.kind);
    d.hidden = (m.flags & mf_hidden) != 0;
    d.help = Keep(m.help);
    members.push_back(std::move(d));
  }
  return members;
}

}  // namespace

const TypeDescription& CPort19::Description() {
  static const TypeDescription description(u"IPort18", IID_IPort18,
                                           Describe(iport18Members(), true));
  return description;
}

const TypeDescription& CPort19::EventDescription() {
  static const TypeDescription description(u"_IPort18Events", DIID__IPort18Events,
                                           Describe(iport18EventMembers(), false));
  return description;
}

}  // namespace ravlin
