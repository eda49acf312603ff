// The sibling stand-ins: modem, occupiers and a plain control.
#include "control/sibling_controls.h"

#include <cstdint>

#include "control/container_lookup.h"
#include "control/port_members.h"
#include "platform/comm/comm.h"
#include "platform/kernel/kernel.h"
#include "platform/text/convert.h"

namespace ravlin {

using namespace win;

bool ParseSiblingKind(std::string_view text, sibling_kind* kind) {
  static constexpr sibling_kind kinds[] = {sibling_kind::modem, sibling_kind::occupier,
                                           sibling_kind::counting_occupier, sibling_kind::plain};
  for (sibling_kind k : kinds) {
    if (text == SiblingKindName(k)) {
      *kind = k;
      return true;
    }
  }
  return false;
}

const char* SiblingKindName(sibling_kind kind) {
  switch (kind) {
    case sibling_kind::modem:
      return "modem";
    case sibling_kind::occupier:
      return "occupier";
    case sibling_kind::counting_occupier:
      return "counting-occupier";
    case sibling_kind::plain:
      return "plain";
  }
  return "plain";
}

SiblingControl::SiblingControl(sibling_kind kind, report_fn report)
    : kind_(kind), report_(std::move(report)), line_(INVALID_HANDLE_VALUE) {}

SiblingControl::~SiblingControl() {
  HangUp();
}

const TypeDescription& SiblingControl::Description() {
  static const TypeDescription type(
      u"SiblingControl", IID_IDispatch,
      {{.name = u"Kind",
        .dispid = 1,
        .kind = MemberKind::PropertyGet,
        .result = VT_BSTR,
        .handler = On<SiblingControl>([](SiblingControl& self, Invocation& call) {
          *call.ResultStr() = SysAllocString(Utf8ToUtf16(SiblingKindName(self.kind_)));
          return *call.ResultStr() ? S_OK : E_OUTOFMEMORY;
        })}});
  return type;
}

IUnknown* SiblingControl::FindInterface(REFIID riid) {
  if (riid == IID_IDispatch) return static_cast<IModemLink*>(this);
  if (riid == IID_IOleObject) return static_cast<IOleObject*>(this);
  switch (kind_) {
    case sibling_kind::modem:
      if (riid == IID_IModemLink) return static_cast<IModemLink*>(this);
      break;
    case sibling_kind::counting_occupier:
      if (riid == IID_IOccupierCounting) return static_cast<IOccupierCounting*>(this);
      [[fallthrough]];
    case sibling_kind::occupier:
      if (riid == IID_ITerminalNotification) return static_cast<ITerminalNotification*>(this);
      break;
    case sibling_kind::plain:
      break;
  }
  return nullptr;
}

void SiblingControl::Report(const std::string& call) {
  calls_.push_back(call);
  if (report_) {
    report_("sibling " + Utf16ToUtf8(ExtenderName(static_cast<IOleObject*>(this))) + ": " + call);
  }
}

// ---- the sibling interfaces ---------------------------------------------------------------------

HRESULT SiblingControl::Attach(IDispatch* port) {
  std::string call = "attach(";
  if (port) {
    const std::u16string name = ExtenderName(port);
    call += name.empty() ? "?" : Utf16ToUtf8(name);
  } else {
    call += "nothing";
  }
  call += ")";
  if (refusing_) {
    Report(call + " refused");
    return E_FAIL;
  }
  Report(call);
  port_ = ComPtr<IDispatch>(port);
  return S_OK;
}

HRESULT SiblingControl::PortOpened() {
  Report("PortOpened()");
  return S_OK;
}

HRESULT SiblingControl::PortClosed() {
  Report("PortClosed()");
  return S_OK;
}

HRESULT SiblingControl::Notify(LONG* value) {
  Report("Notify()");
  if (value) *value = 0;
  return S_OK;
}

// ---- dialling -----------------------------------------------------------------------------------

HRESULT SiblingControl::Dial(const std::string& device, VARIANT_BOOL* result) {
  if (!result) return E_POINTER;
  *result = VARIANT_FALSE;
  if (!port_ || line_ != INVALID_HANDLE_VALUE) return E_UNEXPECTED;
  HANDLE h = CreateFileA(device.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                         FILE_FLAG_OVERLAPPED, nullptr);
  if (h == INVALID_HANDLE_VALUE || h == nullptr) return E_FAIL;
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  if (!GetCommState(h, &dcb)) {
    CloseHandle(h);
    return E_FAIL;
  }
  line_ = h;
  // The handle travels as the Handle property gives one out: a 32-bit value.
  Variant handle = Variant::I4(static_cast<LONG>(reinterpret_cast<std::intptr_t>(h)));
  Variant settings = Variant::ArrayAttach(VT_UI1, SafeArrayFromBytes(&dcb, sizeof dcb));
  Variant opened;
  ComPtr<IDispatch> port = port_;
  HRESULT hr =
      InvokeByDispid(port.get(), DISPID_Port__Open, DISPATCH_METHOD, {handle, settings}, &opened);
  if (SUCCEEDED(hr) && opened.vt == VT_BOOL) *result = opened.boolVal;
  if (*result != VARIANT_TRUE) HangUp();
  return hr;
}

HRESULT SiblingControl::ClosePort(VARIANT_BOOL* result) {
  if (!result) return E_POINTER;
  *result = VARIANT_FALSE;
  if (!port_) return E_UNEXPECTED;
  ComPtr<IDispatch> port = port_;
  Variant closed;
  HRESULT hr = InvokeByDispid(port.get(), DISPID_Port__Close, DISPATCH_METHOD, {}, &closed);
  if (SUCCEEDED(hr) && closed.vt == VT_BOOL) *result = closed.boolVal;
  return hr;
}

HRESULT SiblingControl::Send(std::string_view bytes) {
  if (line_ == INVALID_HANDLE_VALUE) return E_UNEXPECTED;
  HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (!event) return E_FAIL;
  OVERLAPPED ov{};
  ov.hEvent = event;
  DWORD written = 0;
  bool ok = WriteFile(line_, bytes.data(), static_cast<DWORD>(bytes.size()), &written, &ov) ||
            (GetLastError() == ERROR_IO_PENDING && GetOverlappedResult(line_, &ov, &written, TRUE));
  CloseHandle(event);
  return ok && written == bytes.size() ? S_OK : E_FAIL;
}

void SiblingControl::HangUp() {
  if (line_ == INVALID_HANDLE_VALUE) return;
  CloseHandle(line_);
  line_ = INVALID_HANDLE_VALUE;
}

// ---- IOleObject ---------------------------------------------------------------------------------

HRESULT SiblingControl::SetClientSite(IOleClientSite* pClientSite) {
  site_ = ComPtr<IOleClientSite>(pClientSite);
  // Off the form: the Port control it was attached to is let go, so neither keeps the other.
  if (!pClientSite) port_.Reset();
  return S_OK;
}

HRESULT SiblingControl::GetClientSite(IOleClientSite** ppClientSite) {
  return site_.CopyTo(ppClientSite);
}

HRESULT SiblingControl::Close(DWORD) {
  return S_OK;
}

HRESULT SiblingControl::DoVerb(LONG, IOleClientSite*) {
  return E_NOTIMPL;
}

HRESULT SiblingControl::GetUserClassID(CLSID* pClsid) {
  if (!pClsid) return E_POINTER;
  *pClsid = GUID_NULL;
  return S_OK;
}

HRESULT SiblingControl::SetExtent(DWORD, SIZEL* psizel) {
  return psizel ? S_OK : E_POINTER;
}

HRESULT SiblingControl::GetExtent(DWORD, SIZEL* psizel) {
  if (!psizel) return E_POINTER;
  psizel->cx = psizel->cy = 0;
  return S_OK;
}

HRESULT SiblingControl::GetMiscStatus(DWORD, DWORD* pdwStatus) {
  if (!pdwStatus) return E_POINTER;
  *pdwStatus = OLEMISC_INVISIBLEATRUNTIME;
  return S_OK;
}

}  // namespace ravlin
