#include "tools/testcon/sinks.h"

#include "control/port_identity.h"
#include "control/port_members.h"
#include "platform/host/value_format.h"

namespace testcon {

using namespace win;

HRESULT event_sink::GetTypeInfoCount(UINT* n) {
  if (!n) return E_POINTER;
  *n = 0;
  return S_OK;
}

HRESULT event_sink::GetTypeInfo(UINT, LCID, ITypeInfo** p) {
  if (p) *p = nullptr;
  return E_NOTIMPL;
}

HRESULT event_sink::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) {
  return DISP_E_UNKNOWNNAME;
}

HRESULT event_sink::Invoke(DISPID dispid, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*,
                           EXCEPINFO*, UINT*) {
  HRESULT hr = hook_ ? hook_(dispid, params) : S_OK;
  std::string name = "#" + std::to_string(dispid);
  for (const auto& e : ravlin::iport18EventMembers())
    if (e.dispid == dispid) name = e.name;
  std::string line = "event " + name + "(";
  const UINT n = params ? params->cArgs : 0;
  for (UINT i = 0; i < n; ++i) {
    if (i) line += ", ";
    line +=
        winhost::format_value(params->rgvarg[n - 1 - i]);  // rgvarg holds the last argument first
  }
  line += ")";
  if (out_) out_(line);
  return hr;
}

IUnknown* event_sink::FindInterface(REFIID riid) {
  if (riid == IID_IDispatch || riid == ravlin::DIID__IPort18Events)
    return static_cast<IDispatch*>(this);
  return nullptr;
}

HRESULT notify_sink::OnChanged(DISPID dispid) {
  if (hook_) hook_(dispid);
  if (out_) out_("changed " + std::to_string(dispid));
  return S_OK;
}

HRESULT notify_sink::OnRequestEdit(DISPID) {
  return S_OK;
}

IUnknown* notify_sink::FindInterface(REFIID riid) {
  return riid == IID_IPropertyNotifySink ? static_cast<IPropertyNotifySink*>(this) : nullptr;
}

DWORD advise(IUnknown* control, REFIID iid, IUnknown* sink) {
  ComPtr<IConnectionPointContainer> cpc;
  if (FAILED(control->QueryInterface(IID_IConnectionPointContainer, cpc.ReceiveVoid()))) return 0;
  ComPtr<IConnectionPoint> cp;
  if (FAILED(cpc->FindConnectionPoint(iid, cp.Receive()))) return 0;
  DWORD cookie = 0;
  if (FAILED(cp->Advise(sink, &cookie))) return 0;
  return cookie;
}

}  // namespace testcon
