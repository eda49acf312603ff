// CPort19: the methods of IPort18 (open, close, I/O, cancellation, checksums) and the hidden
// members that cooperating controls and the engine use.
#include <cstring>

#include "control/crc.h"
#include "control/port.h"
#include "control/port_enums.h"
#include "control/port_members.h"
#include "control/port_messages.h"
#include "platform/com/errorinfo.h"
#include "platform/kernel/kernel.h"

namespace ravlin {

using namespace win;

namespace {

constexpr VARIANT_BOOL AsBool(bool b) {
  return b ? VARIANT_TRUE : VARIANT_FALSE;
}

// The bytes of a one-dimensional byte array (any lower bound). False when the array cannot be
// reached or holds something else.
bool ArrayBytes(SAFEARRAY* sa, std::vector<std::uint8_t>* out) {
  VARTYPE vt = VT_EMPTY;
  if (FAILED(SafeArrayGetVartype(sa, &vt)) || (vt != VT_UI1 && vt != VT_I1)) return false;
  if (SafeArrayGetDim(sa) != 1) return false;
  LONG lo = 0, hi = -1;
  if (FAILED(SafeArrayGetLBound(sa, 1, &lo)) || FAILED(SafeArrayGetUBound(sa, 1, &hi)))
    return false;
  std::size_t n = hi >= lo ? static_cast<std::size_t>(static_cast<std::int64_t>(hi) - lo + 1) : 0;
  void* data = nullptr;
  if (FAILED(SafeArrayAccessData(sa, &data))) return false;
  const auto* p = static_cast<const std::uint8_t*>(data);
  out->assign(p, p + n);
  SafeArrayUnaccessData(sa);
  return true;
}

HRESULT CrcResult(SAFEARRAY** checkBytes, VARIANT* result, bool wide) {
  if (!result || !checkBytes) return E_POINTER;
  // The array is copied first, so the computation never works on storage a caller may change.
  std::vector<std::uint8_t> bytes;
  if (*checkBytes && !ArrayBytes(*checkBytes, &bytes)) return E_INVALIDARG;
  VariantClear(result);
  result->vt = VT_ARRAY | VT_UI1;
  result->parray = nullptr;
  if (bytes.empty()) return S_OK;  // typed, with no array
  std::vector<std::uint8_t> value = wide ? crc_to_big_endian(crc32_jamcrc(bytes), 32)
                                         : crc_to_big_endian(crc16_xmodem(bytes), 16);
  result->parray = SafeArrayFromBytes(value.data(), value.size());
  return result->parray ? S_OK : E_INVALIDARG;
}

}  // namespace

// ---- checksums ----------------------------------------------------------------------------------

HRESULT CPort19::Crc16(SAFEARRAY** checkBytes, VARIANT* result) {
  return CrcResult(checkBytes, result, false);
}

HRESULT CPort19::Crc32(SAFEARRAY** checkBytes, VARIANT* result) {
  return CrcResult(checkBytes, result, true);
}

// ---- open and close -----------------------------------------------------------------------------

HRESULT CPort19::Open(const serial::rs232x_open_args_t& args, VARIANT_BOOL* result) {
  if (ModemLinked()) {
    if (!result) return E_POINTER;
    *result = VARIANT_FALSE;
    return S_OK;
  }
  return _Open(args, result);
}

HRESULT CPort19::_Open(const serial::rs232x_open_args_t& args, VARIANT_BOOL* result) {
  return _Open(args, nullptr, result);
}

HRESULT CPort19::_Open(const serial::rs232x_open_args_t& args,
                       const std::vector<std::uint8_t>* modemDcb, VARIANT_BOOL* result) {
  if (!result) return E_POINTER;
  *result = VARIANT_FALSE;
  if (engine_->opened()) return reportPortError(msgAlreadyOpen);
  // A linked modem control hands over the line it dialled: its device handle in place of
  // PortNumber, its DCB in place of BaudRate. Nobody else may pass a DCB.
  const bool adopting = static_cast<bool>(modem_);
  if (adopting != (modemDcb != nullptr)) return E_INVALIDARG;
  serial::rs232x_open_args_t given = args;
  DCB dcb{};
  HANDLE line = INVALID_HANDLE_VALUE;
  if (adopting) {
    if (modemDcb->size() != sizeof dcb) return E_INVALIDARG;
    std::memcpy(&dcb, modemDcb->data(), sizeof dcb);
    // The control works on a handle of its own: its close then ends only that one, and the
    // modem control's handle (and the line) stay as they were.
    HANDLE modemHandle =
        reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(args.port_number.value()));
    if (!DuplicateHandle(GetCurrentProcess(), modemHandle, GetCurrentProcess(), &line, 0, FALSE,
                         DUPLICATE_SAME_ACCESS))
      return reportPortError(msgQueryFailed);
    given.port_number = {};  // a handle, not a port number to store
  }
  // The engine applies the given values through the same setters as the properties; each one
  // that changes something is notified and marks the control dirty.
  const auto before = engine_->config();
  const LONG portBefore = engine_->port_number();
  int status = serial::RS_OK;
  if (adopting) {
    status = engine_->open_with_handle(line, dcb, given);
    // A failed application of the settings ran the close sequence, which closed the handle;
    // any other failure left it to us.
    if (!serial::rs_succeeded(status) && status != serial::RS_SET_FAILED) CloseHandle(line);
  } else {
    status = engine_->open(given);
  }
  if (!serial::rs_succeeded(status)) return FromStatus(status);
  const auto& after = engine_->config();
  const bool changed = std::memcmp(&before, &after, sizeof before) != 0;
  if (changed) dirty_ = true;
  // An adopted line's settings come from the modem control's DCB, as if they had been given.
  struct {
    bool given;
    DISPID dispid;
  } const notified[] = {
      {adopting || args.baud_rate.given(), DISPID_Port_BaudRate},
      {adopting || args.data_bits.given(), DISPID_Port_DataBits},
      {adopting || args.stop_bits.given(), DISPID_Port_StopBits},
      {adopting || args.handshaking.given(), DISPID_Port_Handshaking},
      {adopting || args.parity.given(), DISPID_Port_Parity},
      {args.input_timeout.given(), DISPID_Port_InputTimeout},
      {args.output_timeout.given(), DISPID_Port_OutputTimeout},
      {args.io_mode.given(), DISPID_Port_IOMode},
  };
  for (const auto& n : notified)
    if (n.given) fireOnChanged(n.dispid);
  if (engine_->port_number() != portBefore) dirty_ = true;
  *result = VARIANT_TRUE;
  TellOccupierOpened();
  return S_OK;
}

HRESULT CPort19::Close(VARIANT_BOOL* result) {
  if (ModemLinked()) {
    if (!result) return E_POINTER;
    *result = VARIANT_FALSE;  // the modem control owns the line
    return S_OK;
  }
  return _Close(result);
}

HRESULT CPort19::_Close(VARIANT_BOOL* result) {
  if (!result) return E_POINTER;
  *result = VARIANT_FALSE;
  if (!engine_->opened()) {
    *result = VARIANT_TRUE;
    return S_OK;
  }
  HRESULT hr = FromStatus(engine_->close(ModemLinked()));
  if (FAILED(hr)) return hr;
  *result = VARIANT_TRUE;
  TellOccupierClosed();
  return S_OK;
}

// ---- buffers and cancellation -------------------------------------------------------------------

HRESULT CPort19::ClearInputBuffer(VARIANT_BOOL* result) {
  if (!result) return E_POINTER;
  *result = VARIANT_FALSE;
  HRESULT hr = FromStatus(engine_->clear_input_buffer());
  if (SUCCEEDED(hr)) *result = VARIANT_TRUE;
  return hr;
}

HRESULT CPort19::ClearOutputBuffer(VARIANT_BOOL* result) {
  if (!result) return E_POINTER;
  *result = VARIANT_FALSE;
  HRESULT hr = FromStatus(engine_->clear_output_buffer());
  if (SUCCEEDED(hr)) *result = VARIANT_TRUE;
  return hr;
}

HRESULT CPort19::CancelPendingInputs(VARIANT_BOOL* result) {
  if (!result) return E_POINTER;
  *result = VARIANT_FALSE;
  HRESULT hr = FromStatus(engine_->cancel_pending_inputs());
  if (SUCCEEDED(hr)) *result = VARIANT_TRUE;
  return hr;
}

HRESULT CPort19::CancelPendingOutputs(VARIANT_BOOL* result) {
  if (!result) return E_POINTER;
  *result = VARIANT_FALSE;
  HRESULT hr = FromStatus(engine_->cancel_pending_outputs());
  if (SUCCEEDED(hr)) *result = VARIANT_TRUE;
  return hr;
}

// ---- input --------------------------------------------------------------------------------------

HRESULT CPort19::Input(BSTR* inputString, LONG numBytes, LONG* result) {
  if (!result) return E_POINTER;
  if (Occupied()) {
    *result = -2;
    return S_OK;
  }
  return _Input(inputString, numBytes, result);
}

HRESULT CPort19::_Input(BSTR* inputString, LONG numBytes, LONG* result) {
  if (!result) return E_POINTER;
  *result = 0;
  std::u16string text;
  LONG n = 0;
  HRESULT hr = FromStatus(engine_->input_string(numBytes, &text, &n));
  if (FAILED(hr)) return hr;
  if (inputString) {
    BSTR s = SysAllocString(std::u16string_view(text));
    if (!s) return E_OUTOFMEMORY;
    SysFreeString(*inputString);
    *inputString = s;
  }
  *result = n;
  return S_OK;
}

HRESULT CPort19::InputB(SAFEARRAY** inputBytes, LONG numBytes, LONG* result) {
  if (!result) return E_POINTER;
  if (Occupied()) {
    *result = -2;
    return S_OK;
  }
  return _InputB(inputBytes, numBytes, result);
}

HRESULT CPort19::_InputB(SAFEARRAY** inputBytes, LONG numBytes, LONG* result) {
  if (!result) return E_POINTER;
  *result = 0;
  std::vector<std::uint8_t> bytes;
  LONG n = 0;
  HRESULT hr = FromStatus(engine_->input_bytes(numBytes, &bytes, &n));
  if (FAILED(hr)) return hr;
  if (inputBytes) {
    // A queued request returns its id and no data yet: no array.
    const bool queued = serial::input_queued(engine_->config());
    SAFEARRAY* sa = nullptr;
    if (!queued) {
      sa = SafeArrayFromBytes(bytes.data(), bytes.size());
      if (!sa) return E_OUTOFMEMORY;
    }
    if (*inputBytes) SafeArrayDestroy(*inputBytes);
    *inputBytes = sa;
  }
  *result = n;
  return S_OK;
}

// ---- output -------------------------------------------------------------------------------------

HRESULT CPort19::Output(BSTR outputString, LONG* result) {
  if (!result) return E_POINTER;
  if (Occupied()) {
    *result = -2;
    return S_OK;
  }
  return _Output(outputString, result);
}

HRESULT CPort19::_Output(BSTR outputString, LONG* result) {
  if (!result) return E_POINTER;
  *result = 0;
  return FromStatus(engine_->output_string(BstrView(outputString), result));
}

HRESULT CPort19::OutputB(SAFEARRAY** outputBytes, LONG* result) {
  if (!result) return E_POINTER;
  if (Occupied()) {
    *result = -2;
    return S_OK;
  }
  return _OutputB(outputBytes, result);
}

HRESULT CPort19::_OutputB(SAFEARRAY** outputBytes, LONG* result) {
  if (!result) return E_POINTER;
  *result = 0;
  if (!engine_->opened()) return reportPortError(msgPortNotOpen);
  if (!outputBytes || !*outputBytes) return S_OK;  // Nothing: no bytes
  std::vector<std::uint8_t> bytes;
  if (!ArrayBytes(*outputBytes, &bytes)) return E_INVALIDARG;
  return FromStatus(engine_->output_bytes(bytes.data(), bytes.size(), result));
}

HRESULT CPort19::OutputUrgent(BYTE urgentByte, VARIANT_BOOL* result) {
  if (!result) return E_POINTER;
  *result = VARIANT_FALSE;
  if (Occupied()) return S_OK;
  bool sent = false;
  HRESULT hr = FromStatus(engine_->output_urgent(urgentByte, &sent));
  if (SUCCEEDED(hr)) *result = AsBool(sent);
  return hr;
}

// ---- I/O mode -----------------------------------------------------------------------------------

HRESULT CPort19::SetIOMode(LONG ioMode, VARIANT_BOOL* result) {
  if (!result) return E_POINTER;
  if (Occupied()) {
    *result = VARIANT_FALSE;
    return S_OK;
  }
  return _SetIOMode(ioMode, result);
}

HRESULT CPort19::_SetIOMode(LONG ioMode, VARIANT_BOOL* result) {
  if (!result) return E_POINTER;
  *result = VARIANT_FALSE;
  if (ioMode < iomAutoInput || ioMode > iomNonBlocking) return E_INVALIDARG;
  if (FAILED(put__IOMode(ioMode))) return E_FAIL;
  *result = VARIANT_TRUE;
  return S_OK;
}

// ---- container queries --------------------------------------------------------------------------

HRESULT CPort19::_RunMode(LONG, VARIANT_BOOL* result) {
  if (!result) return E_INVALIDARG;
  *result = AsBool(RunMode());
  return S_OK;
}

HRESULT CPort19::_SaneContainer(VARIANT_BOOL* result) {
  if (!result) return E_INVALIDARG;
  *result = VARIANT_FALSE;
  if (site_) {
    Variant v;
    if (SUCCEEDED(GetAmbientProperty(site_.get(), DISPID_AMBIENT_LOCALEID, &v)) &&
        (v.vt == VT_I4 || v.vt == VT_UI4))
      *result = VARIANT_TRUE;
  }
  return S_OK;
}

}  // namespace ravlin
