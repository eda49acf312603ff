// Stand-ins for the sibling controls the Port control cooperates with, for tests and for
// ravlin-testcon: small OLE controls placed on the same form as the Port control.
//
// How it works. A SiblingControl is an IDispatch object with IOleObject (so the form gives it a
// client site and the Port control can read its extender name) and, by kind, the sibling
// interfaces of sibling_interfaces.h:
//
//   modem               IModemLink. Records every Attach and keeps the Port control it was
//                       attached to; can be told to refuse (as a modem control busy with a call
//                       does). It dials like a real one: Dial opens a device through the comm
//                       layer (CreateFileA, GetCommState) and hands the open handle and its DCB to
//                       the Port control through _Open, by DISPID (handle in place of PortNumber,
//                       the 28-byte DCB as a byte array in place of BaudRate).
//   occupier            ITerminalNotification only: a terminal that does not count.
//   counting-occupier   IOccupierCounting and ITerminalNotification.
//   plain               no sibling interface at all.
//
// Every call the Port control makes of it is reported as "sibling NAME: OPERATION(ARGS)" (NAME:
// its extender name) through the report callback, and kept in calls() as "OPERATION(ARGS)".
// Losing its client site, a modem lets go of the Port control it holds. Everything runs on the
// form's thread.
//
// Offers: sibling_kind, ParseSiblingKind, SiblingKindName, SiblingControl.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "control/sibling_interfaces.h"
#include "platform/com/ole.h"
#include "platform/com/unknown.h"

namespace ravlin {

enum class sibling_kind { modem, occupier, counting_occupier, plain };

// "modem", "occupier", "counting-occupier", "plain" (exact); false for anything else.
bool ParseSiblingKind(std::string_view text, sibling_kind* kind);
const char* SiblingKindName(sibling_kind kind);

class SiblingControl final
    : public win::Unknown<win::DispatchImpl<SiblingControl, IModemLink>, IOccupierCounting,
                          ITerminalNotification, win::IOleObject> {
 public:
  using report_fn = std::function<void(const std::string&)>;

  SiblingControl(sibling_kind kind, report_fn report);

  // Its dispatch interface: the read-only property Kind (the kind's name).
  static const win::TypeDescription& Description();

  sibling_kind kind() const { return kind_; }
  // The object as a form and a Port control take it.
  win::IUnknown* unknown() { return static_cast<win::IOleObject*>(this); }
  win::IDispatch* dispatch() { return static_cast<IModemLink*>(this); }
  // Every call of the Port control, in order: "attach(Port1)", "attach(nothing)", "PortOpened()",
  // "PortClosed()", "Notify()". A refused attach is recorded with " refused" after it.
  const std::vector<std::string>& calls() const { return calls_; }

  // ---- modem ---------------------------------------------------------------------------------
  // Refusing: Attach fails (E_FAIL) and changes nothing.
  void set_refusing(bool refusing) { refusing_ = refusing; }
  // The Port control this modem is attached to (null when none).
  win::IDispatch* port() const { return port_.get(); }
  // Opens device (a COM name or a device path) and hands the line to the attached Port control
  // through _Open. The Port control's HRESULT and result; E_UNEXPECTED when not attached or
  // already holding a line, the comm layer's failure (E_FAIL) when the device does not open or
  // cannot be queried. A line the Port control did not take is closed again.
  win::HRESULT Dial(const std::string& device, win::VARIANT_BOOL* result);
  // Calls the attached Port control's _Close (E_UNEXPECTED when not attached).
  win::HRESULT ClosePort(win::VARIANT_BOOL* result);
  // Writes bytes through the modem's own handle, waiting for the write to finish. E_UNEXPECTED
  // without a line, E_FAIL when the write fails or writes fewer bytes.
  win::HRESULT Send(std::string_view bytes);
  // Closes the modem's own handle (nothing without a line).
  void HangUp();
  win::HANDLE line() const { return line_; }

  // ---- the sibling interfaces ----------------------------------------------------------------
  win::HRESULT Attach(win::IDispatch* port) override;
  win::HRESULT PortOpened() override;
  win::HRESULT PortClosed() override;
  win::HRESULT Notify(win::LONG* value) override;

  // ---- IOleObject ----------------------------------------------------------------------------
  win::HRESULT SetClientSite(win::IOleClientSite* pClientSite) override;
  win::HRESULT GetClientSite(win::IOleClientSite** ppClientSite) override;
  win::HRESULT Close(win::DWORD dwSaveOption) override;
  win::HRESULT DoVerb(win::LONG iVerb, win::IOleClientSite* pActiveSite) override;
  win::HRESULT GetUserClassID(win::CLSID* pClsid) override;
  win::HRESULT SetExtent(win::DWORD dwDrawAspect, win::SIZEL* psizel) override;
  win::HRESULT GetExtent(win::DWORD dwDrawAspect, win::SIZEL* psizel) override;
  win::HRESULT GetMiscStatus(win::DWORD dwAspect, win::DWORD* pdwStatus) override;

 private:
  ~SiblingControl() override;
  win::IUnknown* FindInterface(win::REFIID riid) override;
  void Report(const std::string& call);

  sibling_kind kind_;
  report_fn report_;
  std::vector<std::string> calls_;
  win::ComPtr<win::IOleClientSite> site_;
  win::ComPtr<win::IDispatch> port_;
  bool refusing_ = false;
  win::HANDLE line_;
};

}  // namespace ravlin
