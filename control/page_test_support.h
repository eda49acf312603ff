// For the property pages' tests: a stand-in for an object the pages edit. It answers IPort18 by
// DISPID like the control, starts with the control's defaults, records every write in order,
// refuses the members a test names (with or without error info), and reports a modem link on
// demand, so that several objects, refusals and linked controls can be set up exactly.
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "control/port_enums.h"
#include "control/port_identity.h"
#include "control/port_members.h"
#include "platform/com/dispatch.h"
#include "platform/com/unknown.h"

namespace ravlin::testing {

class FakePort final : public win::Unknown<win::IDispatch> {
 public:
  struct Refusal {
    win::HRESULT hr;
    std::u16string description;  // empty: no error info
  };

  explicit FakePort(bool answersPort18 = true) : answersPort18_(answersPort18) {
    using win::Variant;
    values[DISPID_Port_PortNumber] = Variant::I4(1);
    values[DISPID_Port_BaudRate] = Variant::I4(9600);
    values[DISPID_Port_Parity] = Variant::I4(parNone);
    values[DISPID_Port_DataBits] = Variant::I2(8);
    values[DISPID_Port_StopBits] = Variant::R4(1.0f);
    values[DISPID_Port_Handshaking] = Variant::I4(hsBoth);
    values[DISPID_Port_IOMode] = Variant::I4(iomAutoInput);
    values[DISPID_Port_OutputTimeout] = Variant::I4(2000);
    values[DISPID_Port_InputTimeout] = Variant::I4(2000);
    values[DISPID_Port_Rts] = Variant::Bool(true);
    values[DISPID_Port_Dtr] = Variant::Bool(true);
    values[DISPID_Port_OutputBufferSize] = Variant::I4(4096);
    values[DISPID_Port_InputBufferSize] = Variant::I4(4096);
    values[DISPID_Port_OnThreshold] = Variant::I4(25);
    values[DISPID_Port_OffThreshold] = Variant::I4(75);
    values[DISPID_Port_XonByte] = Variant::UI1(17);
    values[DISPID_Port_XoffByte] = Variant::UI1(19);
    values[DISPID_Port_InputThreshold] = Variant::I4(20000);
    values[DISPID_Port_OutputThreshold] = Variant::I4(20000);
    values[DISPID_Port_EventByte] = Variant::UI1(0);
    values[DISPID_Port_ParityReplaceByte] = Variant::UI1(0);
    values[DISPID_Port_NullDiscard] = Variant::Bool(false);
    values[DISPID_Port_AllowConnection] = Variant::Bool(true);
    values[DISPID_Port_EventMask] = Variant::I4(376);
  }

  // ---- IDispatch ---------------------------------------------------------------------------
  win::HRESULT GetTypeInfoCount(win::UINT* n) override {
    *n = 0;
    return win::S_OK;
  }
  win::HRESULT GetTypeInfo(win::UINT, win::LCID, win::ITypeInfo**) override {
    return win::E_NOTIMPL;
  }
  win::HRESULT GetIDsOfNames(win::REFIID, win::LPOLESTR*, win::UINT, win::LCID,
                             win::DISPID*) override {
    return win::E_NOTIMPL;
  }
  win::HRESULT Invoke(win::DISPID id, win::REFIID, win::LCID, win::WORD flags,
                      win::DISPPARAMS* params, win::VARIANT* result, win::EXCEPINFO*,
                      win::UINT*) override {
    using namespace win;
    if (id == DISPID_Port__TapiCtl && (flags & DISPATCH_METHOD)) {
      if (tapiFails) return E_NOTIMPL;
      if (result) {
        VariantInit(result);
        result->vt = VT_BOOL;
        result->boolVal = modemLink ? VARIANT_TRUE : VARIANT_FALSE;
      }
      return S_OK;
    }
    const bool write = (flags & DISPATCH_PROPERTYPUT) || id == DISPID_Port_SetIOMode;
    if (write) {
      if (!params || params->cArgs != 1) return DISP_E_BADPARAMCOUNT;
      Variant value(params->rgvarg[0]);
      writes.emplace_back(id, value);
      if (auto r = refusals.find(id); r != refusals.end()) {
        if (!r->second.description.empty())
          return ReportError(r->second.hr, u"Fake", r->second.description, GUID_NULL);
        return r->second.hr;
      }
      values[ReadBackId(id)] = value;
      if (id == DISPID_Port_SetIOMode && result) {
        VariantInit(result);
        result->vt = VT_BOOL;
        result->boolVal = VARIANT_TRUE;
      }
      return S_OK;
    }
    if (flags & DISPATCH_PROPERTYGET) {
      auto v = values.find(id);
      if (v == values.end()) return DISP_E_MEMBERNOTFOUND;
      if (result) VariantCopy(result, &v->second);
      return S_OK;
    }
    return DISP_E_MEMBERNOTFOUND;
  }

  // The DISPIDs written, in order.
  std::vector<win::DISPID> WrittenIds() const {
    std::vector<win::DISPID> ids;
    for (const auto& w : writes) ids.push_back(w.first);
    return ids;
  }
  // The value last written to id (VT_EMPTY when never written).
  win::Variant Written(win::DISPID id) const {
    win::Variant last;
    for (const auto& w : writes)
      if (w.first == id) last = w.second;
    return last;
  }

  std::map<win::DISPID, win::Variant> values;  // what the getters answer
  std::vector<std::pair<win::DISPID, win::Variant>> writes;
  std::map<win::DISPID, Refusal> refusals;
  bool modemLink = false;
  bool tapiFails = false;

 private:
  // The hidden setters and SetIOMode change what the public property reads.
  static win::DISPID ReadBackId(win::DISPID id) {
    switch (id) {
      case DISPID_Port__BaudRate:
        return DISPID_Port_BaudRate;
      case DISPID_Port__Handshaking:
        return DISPID_Port_Handshaking;
      case DISPID_Port__DataBits:
        return DISPID_Port_DataBits;
      case DISPID_Port__InputTimeout:
        return DISPID_Port_InputTimeout;
      case DISPID_Port__IOMode:
      case DISPID_Port_SetIOMode:
        return DISPID_Port_IOMode;
      case DISPID_Port__OutputTimeout:
        return DISPID_Port_OutputTimeout;
      case DISPID_Port__Parity:
        return DISPID_Port_Parity;
      case DISPID_Port__StopBits:
        return DISPID_Port_StopBits;
      default:
        return id;
    }
  }
  win::IUnknown* FindInterface(win::REFIID riid) override {
    if (riid == win::IID_IDispatch) return static_cast<win::IDispatch*>(this);
    if (answersPort18_ && riid == IID_IPort18) return static_cast<win::IDispatch*>(this);
    return nullptr;
  }
  bool answersPort18_;
};

}  // namespace ravlin::testing
