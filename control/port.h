// The Port control (class `Port`, implementation class CPort19): the automation object a host
// embeds to drive one serial port.
//
// How it works. The control is an apartment object: it lives on the thread that created it and
// every property, method and event runs there. Its programmable surface is IPort18, a dispatch
// interface described once by the member table (port_members.h); GetIDsOfNames and Invoke are
// driven by that table, and each entry's handler calls the C++ member of the same name below.
// The serial work (device, line settings, queues, the four workers) is the engine,
// serial::rs232x_port_t; this class adds the automation rules on top: BOOL checks, result
// pointers, the occupancy and run-mode refusals, property-change notifications, the dirty mark,
// and the translation of the engine's status codes into HRESULTs with error info
// (reportPortError: 0x80040000 + message id, source "Cobrix.Port.1"). The engine reports
// through rs232x_host_t on the control's thread; the control fires those reports to the host's
// sinks through its _IPort18Events connection point (arguments reversed, byte arrays by
// reference, sinks in advise order, a failing sink not stopping the others).
//
// Sibling controls on the same form (port_connections.cpp): a modem control linked through
// TapiCtl / ConnectTapiCtl hands its open line to the control through _Open, and an occupier set
// through _TermOrFile takes over the data stream; the interfaces asked of them are in
// sibling_interfaces.h. While either is attached, the public members refuse what would disturb
// it and the sibling uses the hidden twins.
//
// Offers: CPort19 (create with CPort19::Create), the C++ members of IPort18, the hidden
// _Fire_* members, reportPortError, and the object's COM identity (IDispatch/IPort18,
// IConnectionPointContainer, IProvideClassInfo2, ISupportErrorInfo, IOleObject, IOleControl,
// IPersistStreamInit and IPersistStorage (the settings as one stream, port_state_stream.h),
// ISpecifyPropertyPages, IViewObject).
#pragma once

#include <atomic>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "control/design_view.h"
#include "platform/com/connection_point.h"
#include "platform/com/dispatch.h"
#include "platform/com/ole.h"
#include "platform/com/stream.h"
#include "platform/com/unknown.h"
#include "serial/engine_host.h"
#include "serial/port.h"

namespace ravlin {

using win::BSTR;
using win::HRESULT;
using win::IDispatch;
using win::LONG;
using win::SAFEARRAY;
using win::SHORT;
using win::VARIANT;
using win::VARIANT_BOOL;

// The error every member reports: sets the calling thread's error info (source "Cobrix.Port.1",
// GUID_NULL, the message text or "Unknown Error") and returns 0x80040000 + id.
HRESULT reportPortError(int messageId);
// The same with the device and reason after the text: "TEXT (DEVICE: REASON)".
HRESULT reportPortError(int messageId, const std::string& detail);

class CPort19 final
    : public win::Unknown<win::IDispatch, win::IConnectionPointContainer, win::IProvideClassInfo2,
                          win::ISupportErrorInfo, win::IOleObject, win::IOleControl,
                          win::IPersistStreamInit, win::IPersistStorage,
                          win::ISpecifyPropertyPages>,
      public serial::rs232x_host_t {
 public:
  // Creates a control (aggregated when outer is given) and queries it for riid. The engine and
  // its workers are made here; E_OUTOFMEMORY when they cannot be.
  static HRESULT Create(win::IUnknown* outer, win::REFIID riid, void** object);

  static const win::TypeDescription& Description();
  static const win::TypeDescription& EventDescription();

  // ---- IDispatch (IPort18) -----------------------------------------------------------------
  HRESULT GetTypeInfoCount(win::UINT* pctinfo) override;
  HRESULT GetTypeInfo(win::UINT iTInfo, win::LCID lcid, win::ITypeInfo** ppTInfo) override;
  HRESULT GetIDsOfNames(win::REFIID riid, win::LPOLESTR* rgszNames, win::UINT cNames,
                        win::LCID lcid, win::DISPID* rgDispId) override;
  HRESULT Invoke(win::DISPID dispIdMember, win::REFIID riid, win::LCID lcid, win::WORD wFlags,
                 win::DISPPARAMS* pDispParams, VARIANT* pVarResult, win::EXCEPINFO* pExcepInfo,
                 win::UINT* puArgErr) override;

  // ---- IConnectionPointContainer -----------------------------------------------------------
  HRESULT EnumConnectionPoints(win::IEnumConnectionPoints** ppEnum) override;
  HRESULT FindConnectionPoint(win::REFIID riid, win::IConnectionPoint** ppCP) override;

  // ---- IProvideClassInfo2 ------------------------------------------------------------------
  HRESULT GetClassInfo(win::ITypeInfo** ppTI) override;
  HRESULT GetGUID(win::DWORD dwGuidKind, win::GUID* pGUID) override;

  // ---- ISupportErrorInfo -------------------------------------------------------------------
  HRESULT InterfaceSupportsErrorInfo(win::REFIID riid) override;

  // ---- IOleObject --------------------------------------------------------------------------
  HRESULT SetClientSite(win::IOleClientSite* pClientSite) override;
  HRESULT GetClientSite(win::IOleClientSite** ppClientSite) override;
  HRESULT Close(win::DWORD dwSaveOption) override;
  HRESULT DoVerb(LONG iVerb, win::IOleClientSite* pActiveSite) override;
  HRESULT GetUserClassID(win::CLSID* pClsid) override;
  HRESULT SetExtent(win::DWORD dwDrawAspect, win::SIZEL* psizel) override;
  HRESULT GetExtent(win::DWORD dwDrawAspect, win::SIZEL* psizel) override;
  HRESULT GetMiscStatus(win::DWORD dwAspect, win::DWORD* pdwStatus) override;

  // ---- IOleControl -------------------------------------------------------------------------
  HRESULT OnAmbientPropertyChange(win::DISPID dispID) override;
  HRESULT FreezeEvents(win::BOOL bFreeze) override;

  // ---- IPersistStreamInit / IPersistStorage (port_persist.cpp) -------------------------------
  HRESULT GetClassID(win::CLSID* pClassID) override;
  HRESULT IsDirty() override;
  HRESULT Load(win::IStream* pStm) override;
  HRESULT Save(win::IStream* pStm, win::BOOL fClearDirty) override;
  HRESULT GetSizeMax(win::ULARGE_INTEGER* pCbSize) override;
  HRESULT InitNew() override;
  HRESULT InitNew(win::IStorage* pStg) override;
  HRESULT Load(win::IStorage* pStg) override;
  HRESULT Save(win::IStorage* pStgSave, win::BOOL fSameAsLoad) override;
  HRESULT SaveCompleted(win::IStorage* pStgNew) override;
  HRESULT HandsOffStorage() override;

  // ---- ISpecifyPropertyPages ---------------------------------------------------------------
  HRESULT GetPages(win::CAUUID* pPages) override;

  // ---- IPort18 methods ---------------------------------------------------------------------
  HRESULT AboutBox();
  HRESULT CancelPendingInputs(VARIANT_BOOL* result);
  HRESULT CancelPendingOutputs(VARIANT_BOOL* result);
  HRESULT ClearInputBuffer(VARIANT_BOOL* result);
  HRESULT ClearOutputBuffer(VARIANT_BOOL* result);
  HRESULT Close(VARIANT_BOOL* result);
  HRESULT Configure(VARIANT_BOOL* result);
  HRESULT ConnectTapiCtl(IDispatch* quorvel, VARIANT_BOOL* result);
  HRESULT Crc16(SAFEARRAY** checkBytes, VARIANT* result);
  HRESULT Crc32(SAFEARRAY** checkBytes, VARIANT* result);
  HRESULT DisconnectTapiCtl(VARIANT_BOOL* result);
  HRESULT Input(BSTR* inputString, LONG numBytes, LONG* result);
  HRESULT InputB(SAFEARRAY** inputBytes, LONG numBytes, LONG* result);
  HRESULT Open(const serial::rs232x_open_args_t& args, VARIANT_BOOL* result);
  HRESULT Output(BSTR outputString, LONG* result);
  HRESULT OutputB(SAFEARRAY** outputBytes, LONG* result);
  HRESULT OutputUrgent(win::BYTE urgentByte, VARIANT_BOOL* result);
  HRESULT SetIOMode(LONG ioMode, VARIANT_BOOL* result);

  // ---- IPort18 properties ------------------------------------------------------------------
  HRESULT get_AllowConnection(VARIANT_BOOL* pVal);
  HRESULT put_AllowConnection(LONG newVal);
  HRESULT get_BaudRate(LONG* pVal);
  HRESULT put_BaudRate(LONG newVal);
  HRESULT get_Break(VARIANT_BOOL* pVal);
  HRESULT put_Break(LONG newVal);
  HRESULT get_Cd(VARIANT_BOOL* pVal);
  HRESULT get_Cts(VARIANT_BOOL* pVal);
  HRESULT get_DataBits(SHORT* pVal);
  HRESULT put_DataBits(SHORT newVal);
  HRESULT get_Dsr(VARIANT_BOOL* pVal);
  HRESULT get_Dtr(VARIANT_BOOL* pVal);
  HRESULT put_Dtr(LONG newVal);
  HRESULT get_EventByte(win::BYTE* pVal);
  HRESULT put_EventByte(win::BYTE newVal);
  HRESULT get_EventMask(LONG* pVal);
  HRESULT put_EventMask(LONG newVal);
  HRESULT get_Handle(LONG* pVal);
  HRESULT get_Handshaking(LONG* pVal);
  HRESULT put_Handshaking(LONG newVal);
  HRESULT get_InputBufferByteCount(LONG* pVal);
  HRESULT get_InputBufferSize(LONG* pVal);
  HRESULT put_InputBufferSize(LONG newVal);
  HRESULT get_InputByteCount(LONG* pVal);
  HRESULT get_InputThreshold(LONG* pVal);
  HRESULT put_InputThreshold(LONG newVal);
  HRESULT get_InputTimeout(LONG* pVal);
  HRESULT put_InputTimeout(LONG newVal);
  HRESULT get_IOMode(LONG* pVal);
  HRESULT put_IOMode(LONG newVal);
  HRESULT get_IsOccupied(VARIANT_BOOL* pVal);
  HRESULT get_NullDiscard(VARIANT_BOOL* pVal);
  HRESULT put_NullDiscard(LONG newVal);
  HRESULT get_OccupyingControl(IDispatch** pVal);
  HRESULT get_OffThreshold(LONG* pVal);
  HRESULT put_OffThreshold(LONG newVal);
  HRESULT get_OnThreshold(LONG* pVal);
  HRESULT put_OnThreshold(LONG newVal);
  HRESULT get_Opened(VARIANT_BOOL* pVal);
  HRESULT get_OutputBufferByteCount(LONG* pVal);
  HRESULT get_OutputBufferSize(LONG* pVal);
  HRESULT put_OutputBufferSize(LONG newVal);
  HRESULT get_OutputByteCount(LONG* pVal);
  HRESULT get_OutputThreshold(LONG* pVal);
  HRESULT put_OutputThreshold(LONG newVal);
  HRESULT get_OutputTimeout(LONG* pVal);
  HRESULT put_OutputTimeout(LONG newVal);
  HRESULT get_Parity(LONG* pVal);
  HRESULT put_Parity(LONG newVal);
  HRESULT get_ParityReplaceByte(win::BYTE* pVal);
  HRESULT put_ParityReplaceByte(win::BYTE newVal);
  HRESULT get_PortLastError(LONG* pVal);
  HRESULT put_PortLastError(LONG newVal);
  HRESULT get_PortNumber(LONG* pVal);
  HRESULT put_PortNumber(LONG newVal);
  HRESULT get_Ri(VARIANT_BOOL* pVal);
  HRESULT get_Rts(VARIANT_BOOL* pVal);
  HRESULT put_Rts(LONG newVal);
  HRESULT get_StopBits(float* pVal);
  HRESULT put_StopBits(float newVal);
  HRESULT get_TapiCtl(IDispatch** pVal);
  HRESULT put_TapiCtl(IDispatch* newVal);
  // wantArray: the caller's VARIANT already held an array type.
  HRESULT get_WaitForData(VARIANT* pVal, bool wantArray);
  HRESULT put_WaitForData(const VARIANT& newVal);
  HRESULT get_XoffByte(win::BYTE* pVal);
  HRESULT put_XoffByte(win::BYTE newVal);
  HRESULT get_XonByte(win::BYTE* pVal);
  HRESULT put_XonByte(win::BYTE newVal);

  // ---- hidden members ----------------------------------------------------------------------
  HRESULT _Close(VARIANT_BOOL* result);
  HRESULT _Input(BSTR* inputString, LONG numBytes, LONG* result);
  HRESULT _InputB(SAFEARRAY** inputBytes, LONG numBytes, LONG* result);
  HRESULT _Open(const serial::rs232x_open_args_t& args, VARIANT_BOOL* result);
  // _Open as a linked modem control calls it: args.port_number carries its device handle (as the
  // Handle property gives one) and modemDcb the 28 bytes of its DCB, given in place of BaudRate
  // as a byte array. While a modem control is linked by pointer the DCB is required, and without
  // one it is refused: E_INVALIDARG either way (also for a DCB of another size). modemDcb null:
  // exactly _Open above. The control adopts a duplicate of the handle, so the modem control's
  // own handle stays open after the close.
  HRESULT _Open(const serial::rs232x_open_args_t& args, const std::vector<std::uint8_t>* modemDcb,
                VARIANT_BOOL* result);
  HRESULT _Output(BSTR outputString, LONG* result);
  HRESULT _OutputB(SAFEARRAY** outputBytes, LONG* result);
  HRESULT _SetIOMode(LONG ioMode, VARIANT_BOOL* result);
  HRESULT put__BaudRate(LONG newVal);
  HRESULT put__Handshaking(LONG newVal);
  HRESULT put__DataBits(SHORT newVal);
  HRESULT put__InputTimeout(LONG newVal);
  HRESULT put__IOMode(LONG newVal);
  HRESULT put__OutputTimeout(LONG newVal);
  HRESULT put__Parity(LONG newVal);
  HRESULT put__StopBits(float newVal);
  HRESULT put__TermOrFile(IDispatch* newVal);
  HRESULT _GetComponent(BSTR* ps);
  HRESULT _RunMode(LONG noOp, VARIANT_BOOL* result);
  HRESULT _SaneContainer(VARIANT_BOOL* result);
  HRESULT _SetComponent(BSTR s);
  HRESULT _TapiCtl(VARIANT_BOOL* result);
  // gizmo: the handle of a list registered with RegisterStringList (string_list_handles.h),
  // filled with an empty entry and then the names of the form's modem controls in the form's
  // order. No container to enumerate: E_FAIL; a handle nobody registered: E_INVALIDARG; the list
  // is untouched either way.
  HRESULT _TapiCtls(win::UINT gizmo);
  // The firing members (what the engine's reports arrive as). Byte arrays are by reference:
  // a sink that replaces the array changes it for the sinks after it.
  HRESULT Fire_AutoInput(SAFEARRAY** inputBytes, LONG numBytes);
  HRESULT Fire_CommError(LONG commErrorId);
  HRESULT Fire_CommIOState(LONG commIOStateId);
  HRESULT Fire_CommState(LONG commStateId);
  HRESULT Fire_DataDetected();
  HRESULT Fire_NonblockInput(LONG requestId, BSTR inputString, LONG numBytes);
  HRESULT Fire_NonblockInputB(LONG requestId, SAFEARRAY** inputBytes, LONG numBytes);
  HRESULT Fire_NonblockOutput(LONG requestId, LONG numBytes);
  HRESULT Fire__UberAutoInput(SAFEARRAY** inputBytes, LONG numBytes);

  // ---- rs232x_host_t (the engine's reports, on the control's thread) -------------------------
  void _Fire_AutoInput(const std::vector<std::uint8_t>& bytes, LONG numBytes) override;
  void _Fire__UberAutoInput(const std::vector<std::uint8_t>& bytes, LONG numBytes) override;
  void _Fire_CommError(LONG commErrorId) override;
  void _Fire_CommIOState(LONG commIOStateId) override;
  void _Fire_CommState(LONG commStateId) override;
  void _Fire_DataDetected() override;
  void _Fire_NonblockInput(LONG requestId, const std::u16string* text, LONG numBytes) override;
  void _Fire_NonblockInputB(LONG requestId, const std::vector<std::uint8_t>* bytes,
                            LONG numBytes) override;
  void _Fire_NonblockOutput(LONG requestId, LONG numBytes) override;
  bool IsOccupied() override;
  bool CountingSuppressed() override;
  serial::rs232x_counters_t& Counters() override { return counters_; }

  // ---- sibling controls (port_connections.cpp) ----------------------------------------------
  // TapiCtl's worker: sets (control) or clears (null) the modem link by pointer, without the
  // design-mode check of the property. S_OK when linked, unlinked or unchanged; message 200 when
  // the modem control refuses (the link stays as it was, or is gone when the old modem agreed to
  // unlink and the new one then refused); E_INVALIDARG for a control without the modem interface
  // or without a name on the form. A change notifies 134 and marks the control dirty.
  virtual HRESULT SetModemLink(IDispatch* control);
  // A modem link known by name only (persistence restores it without a pointer): the refusals
  // of a linked modem hold, and the first TapiCtl get looks the name up on the form. An empty
  // name forgets it. A link held by pointer is replaced by the name alone (no attach call).
  void RestoreModemName(std::u16string name);
  const std::u16string& ModemName() const { return modemName_; }

  // ---- state for hosts and tests -----------------------------------------------------------
  bool Dirty() const { return dirty_; }
  void ClearDirty() { dirty_ = false; }
  bool RunMode();  // the container's ambient UserMode (false without a site or the property)
  serial::rs232x_port_t& Engine() { return *engine_; }

 private:
  explicit CPort19(win::IUnknown* outer);
  ~CPort19() override;
  win::IUnknown* FindInterface(win::REFIID riid) override;

  // The status of an engine operation as an HRESULT (S_OK, E_INVALIDARG, E_OUTOFMEMORY or the
  // message id through reportPortError).
  HRESULT FromStatus(int status);
  // For setters that live in the engine: notification on validation, dirty mark on change.
  template <typename Put>
  HRESULT EngineSetter(win::DISPID dispid, Put put);
  void fireOnChanged(win::DISPID dispid) { notify_.FireOnChanged(dispid); }
  void FireBytes(win::DISPID event, SAFEARRAY** bytes, LONG numBytes);
  void FireHidden(win::DISPID member, std::initializer_list<VARIANT> args);
  // The property frame with the control's pages (Configure, the properties verb).
  HRESULT ShowPropertyFrame();
  bool Occupied() const { return !portFree_.load(); }
  bool ModemLinked() const { return !modemName_.empty(); }

  // The modem link (port_connections.cpp). Link: the control must offer the modem interface
  // (not_modem) and have a name on the form (no_name); the one already linked is success;
  // otherwise the current one is unlinked and the new one attached (refused when either modem
  // control says no). Unlink: attach(null) on the linked control (refused leaves the link), then
  // both pointer and name are forgotten; a name without a pointer is simply forgotten.
  enum class link_result { done, not_modem, no_name, refused };
  link_result Link(IDispatch* control);
  link_result Unlink();
  bool IsLinkedModem(IDispatch* control) const;
  // The sibling with this extender name on the control's form, or null.
  win::ComPtr<IDispatch> FindSibling(std::u16string_view name);
  // The occupier's hooks around open and close (nothing when free or not supported).
  void TellOccupierOpened();
  void TellOccupierClosed();
  // The control's site is going away: the links to its siblings are let go (each holds a
  // reference to the control, so neither side would ever be freed otherwise).
  void ReleaseSiblings();

  serial::rs232x_counters_t counters_;
  std::unique_ptr<serial::rs232x_port_t> engine_;
  win::ConnectionPoint events_;
  win::ConnectionPoint notify_;
  win::ComPtr<win::IOleClientSite> site_;
  int siteSets_ = 0;
  int freezeCount_ = 0;
  win::ComPtr<IDispatch> occupier_;
  std::atomic<bool> portFree_{true};
  // The occupier offers the counting interface (asked from worker threads, hence atomic).
  std::atomic<bool> occupierCounts_{false};
  bool allowConnection_ = true;
  win::ComPtr<IDispatch> modem_;  // the linked modem control; null when linked by name only
  std::u16string modemName_;      // the modem link's name; empty while no modem control is linked
  bool dirty_ = false;
  // The extent the host is told (HIMETRIC): 28 pixels at 96 per inch, or what a stream held.
  static constexpr LONG kExtentHimetric = (28 * 2540 + 48) / 96;
  win::SIZEL extent_{kExtentHimetric, kExtentHimetric};
  PortViewObject view_{ControllingUnknown()};  // IViewObject: the design-time picture
};

}  // namespace ravlin
