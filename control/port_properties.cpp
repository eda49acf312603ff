// CPort19: the properties of IPort18 and the hidden setters.
#include "control/port.h"
#include "control/port_enums.h"
#include "control/port_members.h"
#include "control/port_messages.h"
#include "platform/com/errorinfo.h"

namespace ravlin {

using namespace win;

namespace {
constexpr bool IsBool(LONG v) {
  return v == 0 || v == -1;
}
constexpr VARIANT_BOOL AsBool(bool b) {
  return b ? VARIANT_TRUE : VARIANT_FALSE;
}
}  // namespace

HRESULT CPort19::FromStatus(int status) {
  if (serial::rs_succeeded(status)) return S_OK;
  if (status == serial::RS_INVALID_ARG) return E_INVALIDARG;
  if (status == serial::RS_OUT_OF_MEMORY) return E_OUTOFMEMORY;
  // Where the system said which device and why, the message says it too.
  const std::string detail = engine_->take_failure_detail();
  const int id = serial::rs232x_message_id(status);
  if (!detail.empty() && (id == msgOpenFailed || id == msgSetupFailed || id == msgQueryFailed))
    return reportPortError(id, detail);
  return reportPortError(id);
}

template <typename Put>
HRESULT CPort19::EngineSetter(DISPID dispid, Put put) {
  int status = put([this, dispid] { fireOnChanged(dispid); });
  if (status == serial::RS_OK) dirty_ = true;
  return FromStatus(status);
}

// ---- line settings ------------------------------------------------------------------------------

HRESULT CPort19::get_BaudRate(LONG* pVal) {
  if (!pVal) return E_POINTER;
  *pVal = engine_->baud_rate();
  return S_OK;
}

HRESULT CPort19::put_BaudRate(LONG newVal) {
  if (ModemLinked()) return reportPortError(msgModemLinked);
  return put__BaudRate(newVal);
}

HRESULT CPort19::put__BaudRate(LONG newVal) {
  return EngineSetter(DISPID_Port_BaudRate,
                      [&](auto notify) { return engine_->put_baud_rate(newVal, notify); });
}

HRESULT CPort19::get_DataBits(SHORT* pVal) {
  if (!pVal) return E_POINTER;
  *pVal = engine_->data_bits();
  return S_OK;
}

HRESULT CPort19::put_DataBits(SHORT newVal) {
  if (ModemLinked()) return reportPortError(msgModemLinked);
  return put__DataBits(newVal);
}

HRESULT CPort19::put__DataBits(SHORT newVal) {
  return EngineSetter(DISPID_Port_DataBits,
                      [&](auto notify) { return engine_->put_data_bits(newVal, notify); });
}

HRESULT CPort19::get_StopBits(float* pVal) {
  if (!pVal) return E_POINTER;
  return FromStatus(engine_->get_stop_bits(pVal));
}

HRESULT CPort19::put_StopBits(float newVal) {
  if (ModemLinked()) return reportPortError(msgModemLinked);
  return put__StopBits(newVal);
}

HRESULT CPort19::put__StopBits(float newVal) {
  return EngineSetter(DISPID_Port_StopBits,
                      [&](auto notify) { return engine_->put_stop_bits(newVal, notify); });
}

HRESULT CPort19::get_Parity(LONG* pVal) {
  if (!pVal) return E_POINTER;
  return FromStatus(engine_->get_parity(pVal));
}

HRESULT CPort19::put_Parity(LONG newVal) {
  if (ModemLinked()) return reportPortError(msgModemLinked);
  return put__Parity(newVal);
}

HRESULT CPort19::put__Parity(LONG newVal) {
  return EngineSetter(DISPID_Port_Parity,
                      [&](auto notify) { return engine_->put_parity(newVal, notify); });
}

HRESULT CPort19::get_Handshaking(LONG* pVal) {
  if (!pVal) return E_POINTER;
  *pVal = engine_->get_handshaking();
  return S_OK;
}

HRESULT CPort19::put_Handshaking(LONG newVal) {
  if (ModemLinked()) return reportPortError(msgModemLinked);
  return put__Handshaking(newVal);
}

HRESULT CPort19::put__Handshaking(LONG newVal) {
  return EngineSetter(DISPID_Port_Handshaking,
                      [&](auto notify) { return engine_->put_handshaking(newVal, notify); });
}

HRESULT CPort19::get_XonByte(BYTE* pVal) {
  if (!pVal) return E_POINTER;
  *pVal = static_cast<BYTE>(engine_->xon_byte());
  return S_OK;
}

HRESULT CPort19::put_XonByte(BYTE newVal) {
  return EngineSetter(DISPID_Port_XonByte,
                      [&](auto notify) { return engine_->put_xon_byte(newVal, notify); });
}

HRESULT CPort19::get_XoffByte(BYTE* pVal) {
  if (!pVal) return E_POINTER;
  *pVal = static_cast<BYTE>(engine_->xoff_byte());
  return S_OK;
}

HRESULT CPort19::put_XoffByte(BYTE newVal) {
  return EngineSetter(DISPID_Port_XoffByte,
                      [&](auto notify) { return engine_->put_xoff_byte(newVal, notify); });
}

HRESULT CPort19::get_EventByte(BYTE* pVal) {
  if (!pVal) return E_POINTER;
  *pVal = static_cast<BYTE>(engine_->event_byte());
  return S_OK;
}

HRESULT CPort19::put_EventByte(BYTE newVal) {
  return EngineSetter(DISPID_Port_EventByte,
                      [&](auto notify) { return engine_->put_event_byte(newVal, notify); });
}

HRESULT CPort19::get_ParityReplaceByte(BYTE* pVal) {
  if (!pVal) return E_POINTER;
  *pVal = static_cast<BYTE>(engine_->parity_replace_byte());
  return S_OK;
}

HRESULT CPort19::put_ParityReplaceByte(BYTE newVal) {
  return EngineSetter(DISPID_Port_ParityReplaceByte, [&](auto notify) {
    return engine_->put_parity_replace_byte(newVal, notify);
  });
}

HRESULT CPort19::get_NullDiscard(VARIANT_BOOL* pVal) {
  if (!pVal) return E_POINTER;
  *pVal = AsBool(engine_->null_discard());
  return S_OK;
}

HRESULT CPort19::put_NullDiscard(LONG newVal) {
  if (!IsBool(newVal)) return E_INVALIDARG;
  return EngineSetter(DISPID_Port_NullDiscard,
                      [&](auto notify) { return engine_->put_null_discard(newVal, notify); });
}

HRESULT CPort19::get_OnThreshold(LONG* pVal) {
  if (!pVal) return E_POINTER;
  *pVal = engine_->on_threshold();
  return S_OK;
}

HRESULT CPort19::put_OnThreshold(LONG newVal) {
  return EngineSetter(DISPID_Port_OnThreshold,
                      [&](auto notify) { return engine_->put_on_threshold(newVal, notify); });
}

HRESULT CPort19::get_OffThreshold(LONG* pVal) {
  if (!pVal) return E_POINTER;
  *pVal = engine_->off_threshold();
  return S_OK;
}

HRESULT CPort19::put_OffThreshold(LONG newVal) {
  return EngineSetter(DISPID_Port_OffThreshold,
                      [&](auto notify) { return engine_->put_off_threshold(newVal, notify); });
}

HRESULT CPort19::get_InputBufferSize(LONG* pVal) {
  if (!pVal) return E_POINTER;
  *pVal = engine_->input_buffer_size();
  return S_OK;
}

HRESULT CPort19::put_InputBufferSize(LONG newVal) {
  return EngineSetter(DISPID_Port_InputBufferSize,
                      [&](auto notify) { return engine_->put_input_buffer_size(newVal, notify); });
}

HRESULT CPort19::get_OutputBufferSize(LONG* pVal) {
  if (!pVal) return E_POINTER;
  *pVal = engine_->output_buffer_size();
  return S_OK;
}

HRESULT CPort19::put_OutputBufferSize(LONG newVal) {
  return EngineSetter(DISPID_Port_OutputBufferSize,
                      [&](auto notify) { return engine_->put_output_buffer_size(newVal, notify); });
}

HRESULT CPort19::get_EventMask(LONG* pVal) {
  if (!pVal) return E_POINTER;
  *pVal = engine_->event_mask();
  return S_OK;
}

HRESULT CPort19::put_EventMask(LONG newVal) {
  return EngineSetter(DISPID_Port_EventMask,
                      [&](auto notify) { return engine_->put_event_mask(newVal, notify); });
}

HRESULT CPort19::get_InputTimeout(LONG* pVal) {
  if (!pVal) return E_POINTER;
  *pVal = engine_->input_timeout();
  return S_OK;
}

HRESULT CPort19::put_InputTimeout(LONG newVal) {
  if (Occupied()) return reportPortError(msgOccupied);
  return put__InputTimeout(newVal);
}

HRESULT CPort19::put__InputTimeout(LONG newVal) {
  return EngineSetter(DISPID_Port_InputTimeout,
                      [&](auto notify) { return engine_->put_input_timeout(newVal, notify); });
}

HRESULT CPort19::get_OutputTimeout(LONG* pVal) {
  if (!pVal) return E_POINTER;
  *pVal = engine_->output_timeout();
  return S_OK;
}

HRESULT CPort19::put_OutputTimeout(LONG newVal) {
  if (Occupied()) return reportPortError(msgOccupied);
  return put__OutputTimeout(newVal);
}

HRESULT CPort19::put__OutputTimeout(LONG newVal) {
  return EngineSetter(DISPID_Port_OutputTimeout,
                      [&](auto notify) { return engine_->put_output_timeout(newVal, notify); });
}

HRESULT CPort19::get_IOMode(LONG* pVal) {
  if (!pVal) return E_POINTER;
  return FromStatus(engine_->get_io_mode(pVal));
}

HRESULT CPort19::put_IOMode(LONG newVal) {
  if (newVal < iomAutoInput || newVal > iomNonBlocking) return E_INVALIDARG;
  if (RunMode()) return reportPortError(msgRunTime);
  return put__IOMode(newVal);
}

HRESULT CPort19::put__IOMode(LONG newVal) {
  return EngineSetter(DISPID_Port_IOMode,
                      [&](auto notify) { return engine_->put_io_mode(newVal, notify); });
}

// ---- modem lines --------------------------------------------------------------------------------

HRESULT CPort19::get_Dtr(VARIANT_BOOL* pVal) {
  if (!pVal) return E_POINTER;
  *pVal = AsBool(engine_->dtr());
  return S_OK;
}

HRESULT CPort19::put_Dtr(LONG newVal) {
  if (!IsBool(newVal)) return E_INVALIDARG;
  return EngineSetter(DISPID_Port_Dtr,
                      [&](auto notify) { return engine_->put_dtr(newVal, notify); });
}

HRESULT CPort19::get_Rts(VARIANT_BOOL* pVal) {
  if (!pVal) return E_POINTER;
  *pVal = AsBool(engine_->rts());
  return S_OK;
}

HRESULT CPort19::put_Rts(LONG newVal) {
  if (!IsBool(newVal)) return E_INVALIDARG;
  return EngineSetter(DISPID_Port_Rts,
                      [&](auto notify) { return engine_->put_rts(newVal, notify); });
}

HRESULT CPort19::get_Break(VARIANT_BOOL* pVal) {
  if (!pVal) return E_POINTER;
  bool on = false;
  HRESULT hr = FromStatus(engine_->get_break(&on));
  if (SUCCEEDED(hr)) *pVal = AsBool(on);
  return hr;
}

HRESULT CPort19::put_Break(LONG newVal) {
  if (!IsBool(newVal)) return E_INVALIDARG;
  return FromStatus(engine_->put_break(newVal));  // no notification, no dirty mark
}

HRESULT CPort19::get_Cd(VARIANT_BOOL* pVal) {
  if (!pVal) return E_POINTER;
  bool on = false;
  HRESULT hr = FromStatus(engine_->get_cd(&on));
  if (SUCCEEDED(hr)) *pVal = AsBool(on);
  return hr;
}

HRESULT CPort19::get_Cts(VARIANT_BOOL* pVal) {
  if (!pVal) return E_POINTER;
  bool on = false;
  HRESULT hr = FromStatus(engine_->get_cts(&on));
  if (SUCCEEDED(hr)) *pVal = AsBool(on);
  return hr;
}

HRESULT CPort19::get_Dsr(VARIANT_BOOL* pVal) {
  if (!pVal) return E_POINTER;
  bool on = false;
  HRESULT hr = FromStatus(engine_->get_dsr(&on));
  if (SUCCEEDED(hr)) *pVal = AsBool(on);
  return hr;
}

HRESULT CPort19::get_Ri(VARIANT_BOOL* pVal) {
  if (!pVal) return E_POINTER;
  bool on = false;
  HRESULT hr = FromStatus(engine_->get_ri(&on));
  if (SUCCEEDED(hr)) *pVal = AsBool(on);
  return hr;
}

// ---- state of the device ------------------------------------------------------------------------

HRESULT CPort19::get_Opened(VARIANT_BOOL* pVal) {
  if (!pVal) return E_POINTER;
  *pVal = AsBool(engine_->opened());
  return S_OK;
}

HRESULT CPort19::get_Handle(LONG* pVal) {
  if (!pVal) return E_POINTER;
  HANDLE h = nullptr;
  HRESULT hr = FromStatus(engine_->get_handle(&h));
  if (SUCCEEDED(hr)) *pVal = static_cast<LONG>(reinterpret_cast<std::intptr_t>(h));
  return hr;
}

HRESULT CPort19::get_InputBufferByteCount(LONG* pVal) {
  if (!pVal) return E_POINTER;
  return FromStatus(engine_->input_buffer_byte_count(pVal));
}

HRESULT CPort19::get_OutputBufferByteCount(LONG* pVal) {
  if (!pVal) return E_POINTER;
  return FromStatus(engine_->output_buffer_byte_count(pVal));
}

HRESULT CPort19::get_PortNumber(LONG* pVal) {
  if (!pVal) return E_POINTER;
  *pVal = engine_->port_number();
  return S_OK;
}

HRESULT CPort19::put_PortNumber(LONG newVal) {
  if (ModemLinked()) return reportPortError(msgModemLinked);
  if (engine_->opened()) return reportPortError(msgPortNotClosed);
  if (newVal <= 0) return E_INVALIDARG;
  // Notified after the change, and only when there was one.
  int status = engine_->put_port_number(newVal);
  if (status == serial::RS_OK) {
    fireOnChanged(DISPID_Port_PortNumber);
    dirty_ = true;
  }
  return FromStatus(status);
}

// ---- counters -----------------------------------------------------------------------------------

HRESULT CPort19::get_InputByteCount(LONG* pVal) {
  if (!pVal) return E_POINTER;
  *pVal = counters_.input_byte_count();
  return S_OK;
}

HRESULT CPort19::get_OutputByteCount(LONG* pVal) {
  if (!pVal) return E_POINTER;
  *pVal = counters_.output_byte_count();
  return S_OK;
}

HRESULT CPort19::get_InputThreshold(LONG* pVal) {
  if (!pVal) return E_POINTER;
  *pVal = counters_.input_threshold();
  return S_OK;
}

HRESULT CPort19::put_InputThreshold(LONG newVal) {
  bool changed = false;
  if (!counters_.set_input_threshold(newVal, &changed)) return E_INVALIDARG;
  if (changed) {
    fireOnChanged(DISPID_Port_InputThreshold);
    dirty_ = true;
  }
  return S_OK;
}

HRESULT CPort19::get_OutputThreshold(LONG* pVal) {
  if (!pVal) return E_POINTER;
  *pVal = counters_.output_threshold();
  return S_OK;
}

HRESULT CPort19::put_OutputThreshold(LONG newVal) {
  bool changed = false;
  if (!counters_.set_output_threshold(newVal, &changed)) return E_INVALIDARG;
  if (changed) {
    fireOnChanged(DISPID_Port_OutputThreshold);
    dirty_ = true;
  }
  return S_OK;
}

HRESULT CPort19::get_PortLastError(LONG* pVal) {
  if (!pVal) return E_POINTER;
  *pVal = counters_.port_last_error();
  return S_OK;
}

HRESULT CPort19::put_PortLastError(LONG newVal) {
  if (newVal != 0) return E_INVALIDARG;
  counters_.set_port_last_error(0);
  fireOnChanged(DISPID_Port_PortLastError);
  return S_OK;
}

// ---- occupancy ----------------------------------------------------------------------------------

HRESULT CPort19::get_AllowConnection(VARIANT_BOOL* pVal) {
  if (!pVal) return E_POINTER;
  *pVal = AsBool(allowConnection_);
  return S_OK;
}

HRESULT CPort19::put_AllowConnection(LONG newVal) {
  if (!IsBool(newVal)) return E_INVALIDARG;
  if (Occupied()) return reportPortError(msgOccupied);
  bool allow = newVal != 0;
  if (allow != allowConnection_) {
    allowConnection_ = allow;
    fireOnChanged(DISPID_Port_AllowConnection);
    dirty_ = true;
  }
  return S_OK;
}

HRESULT CPort19::get_IsOccupied(VARIANT_BOOL* pVal) {
  if (!pVal) return E_POINTER;
  if (!RunMode()) return reportPortError(msgDesignTime);
  *pVal = AsBool(Occupied() || !allowConnection_);
  return S_OK;
}

HRESULT CPort19::get_OccupyingControl(IDispatch** pVal) {
  if (!pVal) return E_POINTER;
  *pVal = nullptr;
  if (!RunMode()) return reportPortError(msgDesignTime);
  if (Occupied()) return occupier_.CopyTo(pVal);
  if (!allowConnection_) {
    *pVal = static_cast<IDispatch*>(this);
    (*pVal)->AddRef();
  }
  return S_OK;
}

// ---- WaitForData --------------------------------------------------------------------------------

HRESULT CPort19::get_WaitForData(VARIANT* pVal, bool wantArray) {
  if (!pVal) return E_POINTER;
  if (!RunMode()) return reportPortError(msgDesignTime);
  std::vector<std::uint8_t> pattern = engine_->pattern();
  VariantClear(pVal);
  if (wantArray) {
    SAFEARRAY* sa = SafeArrayFromBytes(pattern.data(), pattern.size());
    if (!sa) return E_OUTOFMEMORY;
    pVal->vt = VT_ARRAY | VT_UI1;
    pVal->parray = sa;
    return S_OK;
  }
  pVal->vt = VT_BSTR;
  pVal->bstrVal = nullptr;  // an empty pattern gives a null string
  if (!pattern.empty()) {
    pVal->bstrVal = SysAllocStringByteLen(reinterpret_cast<const char*>(pattern.data()),
                                          static_cast<UINT>(pattern.size()));
    if (!pVal->bstrVal) return E_OUTOFMEMORY;
  }
  return S_OK;
}

HRESULT CPort19::put_WaitForData(const VARIANT& newVal) {
  if (!RunMode()) return reportPortError(msgDesignTime);
  const VARIANT* v = &newVal;
  if (v->vt == (VT_BYREF | VT_VARIANT)) v = v->pvarVal;
  if (!v) return E_INVALIDARG;
  const bool byref = (v->vt & VT_BYREF) != 0;
  const VARTYPE base = v->vt & static_cast<VARTYPE>(~VT_BYREF);
  if (base == VT_BSTR) {
    // The string's stored bytes, two per code unit, low byte first, no conversion.
    BSTR s = byref ? (v->pbstrVal ? *v->pbstrVal : nullptr) : v->bstrVal;
    UINT n = SysStringByteLen(s);
    return FromStatus(engine_->set_pattern(reinterpret_cast<const std::uint8_t*>(s), n));
  }
  if (base == (VT_ARRAY | VT_UI1) || base == (VT_ARRAY | VT_I1)) {
    SAFEARRAY* sa = byref ? (v->pparray ? *v->pparray : nullptr) : v->parray;
    if (!sa) return FromStatus(engine_->set_pattern(nullptr, 0));
    if (SafeArrayGetDim(sa) != 1) return E_INVALIDARG;
    LONG lo = 0, hi = -1;
    SafeArrayGetLBound(sa, 1, &lo);
    SafeArrayGetUBound(sa, 1, &hi);
    std::size_t n = hi >= lo ? static_cast<std::size_t>(hi - lo + 1) : 0;
    void* data = nullptr;
    if (FAILED(SafeArrayAccessData(sa, &data))) return E_INVALIDARG;
    int status = engine_->set_pattern(static_cast<const std::uint8_t*>(data), n);
    SafeArrayUnaccessData(sa);
    return FromStatus(status);
  }
  return E_INVALIDARG;
}

}  // namespace ravlin
