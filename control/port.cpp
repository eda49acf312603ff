// CPort19: identity, lifetime, embedding, connection points and the firing of events.
#include "control/port.h"

#include <algorithm>

#include "control/module.h"
#include "control/port_enums.h"
#include "control/port_identity.h"
#include "control/port_members.h"
#include "control/port_messages.h"
#include "platform/com/errorinfo.h"
#include "platform/kernel/kernel.h"
#include "platform/text/convert.h"

namespace ravlin {

// The engine reports with its own copies of the event ids (it cannot see the control's type
// library); they must stay the values the host is told about.
constexpr bool Same(long engine, long typeLibrary) {
  return engine == typeLibrary;
}
static_assert(Same(serial::pioeInputThreshold, pioeInputThreshold) &&
              Same(serial::pioeInputTimeout, pioeInputTimeout) &&
              Same(serial::pioeInputBTimeout, pioeInputBTimeout) &&
              Same(serial::pioeInputWrapped, pioeInputWrapped) &&
              Same(serial::pioeOutputThreshold, pioeOutputThreshold) &&
              Same(serial::pioeOutputTimeout, pioeOutputTimeout) &&
              Same(serial::pioeOutputBTimeout, pioeOutputBTimeout) &&
              Same(serial::pioeOutputWrapped, pioeOutputWrapped));
static_assert(Same(serial::perFrame, perFrame) && Same(serial::perOverrun, perOverrun) &&
              Same(serial::perInputBufferOverflow, perInputBufferOverflow) &&
              Same(serial::perParity, perParity) &&
              Same(serial::perOutputBufferFull, perOutputBufferFull));
static_assert(Same(serial::peCts, peCts) && Same(serial::peDsr, peDsr) &&
              Same(serial::peCd, peCd) && Same(serial::peRing, peRing) &&
              Same(serial::peBreak, peBreak) && Same(serial::peInputByte, peInputByte) &&
              Same(serial::peEventByte, peEventByte) &&
              Same(serial::peInputBuffer80Full, peInputBuffer80Full) &&
              Same(serial::peOutputBufferEmpty, peOutputBufferEmpty) &&
              Same(serial::peDriverEvent1, peDriverEvent1) &&
              Same(serial::peDriverEvent2, peDriverEvent2));

using namespace win;

HRESULT reportPortError(int messageId) {
  return ReportError(portErrorHResult(messageId), kPortErrorSource, portErrorDescription(messageId),
                     GUID_NULL);
}

HRESULT reportPortError(int messageId, const std::string& detail) {
  const std::u16string description =
      std::u16string(portErrorDescription(messageId)) + u" (" + Utf8ToUtf16(detail) + u")";
  return ReportError(portErrorHResult(messageId), kPortErrorSource, description, GUID_NULL);
}

HRESULT CPort19::Create(IUnknown* outer, REFIID riid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (outer && riid != IID_IUnknown) return CLASS_E_NOAGGREGATION;
  auto* created = new (std::nothrow) CPort19(outer);
  if (!created) return E_OUTOFMEMORY;
  IUnknown* inner = created->InnerUnknown();
  if (!created->engine_ || serial::rs_succeeded(created->engine_->init()) == false) {
    inner->Release();
    return E_OUTOFMEMORY;
  }
  HRESULT hr = inner->QueryInterface(riid, object);
  inner->Release();
  return hr;
}

CPort19::CPort19(IUnknown* outer)
    : Unknown(outer),
      engine_(new (std::nothrow) serial::rs232x_port_t(*this)),
      events_(static_cast<IConnectionPointContainer*>(this), DIID__IPort18Events),
      notify_(static_cast<IConnectionPointContainer*>(this), IID_IPropertyNotifySink) {
  ModuleLock(+1);
}

CPort19::~CPort19() {
  // Nobody hears from an object that is going away, not even the close sequence's completions.
  events_.UnadviseAll();
  notify_.UnadviseAll();
  if (engine_) {
    if (engine_->opened()) engine_->close(ModemLinked());
    engine_->teardown_workers();
    engine_.reset();
  }
  ModuleLock(-1);
}

IUnknown* CPort19::FindInterface(REFIID riid) {
  if (riid == IID_IDispatch || riid == IID_IPort18) return static_cast<IDispatch*>(this);
  if (riid == IID_IConnectionPointContainer) return static_cast<IConnectionPointContainer*>(this);
  if (riid == IID_IProvideClassInfo || riid == IID_IProvideClassInfo2)
    return static_cast<IProvideClassInfo2*>(this);
  if (riid == IID_ISupportErrorInfo) return static_cast<ISupportErrorInfo*>(this);
  if (riid == IID_IOleObject) return static_cast<IOleObject*>(this);
  if (riid == IID_IOleControl) return static_cast<IOleControl*>(this);
  if (riid == IID_IPersistStreamInit) return static_cast<IPersistStreamInit*>(this);
  if (riid == IID_IPersistStorage) return static_cast<IPersistStorage*>(this);
  if (riid == IID_IPersist) return static_cast<IPersistStreamInit*>(this);
  if (riid == IID_ISpecifyPropertyPages) return static_cast<ISpecifyPropertyPages*>(this);
  if (riid == IID_IViewObject) return &view_;
  return nullptr;
}

// ---- IDispatch ----------------------------------------------------------------------------------

HRESULT CPort19::GetTypeInfoCount(UINT* pctinfo) {
  if (!pctinfo) return E_POINTER;
  *pctinfo = 0;
  return S_OK;
}

HRESULT CPort19::GetTypeInfo(UINT, LCID, ITypeInfo** ppTInfo) {
  if (ppTInfo) *ppTInfo = nullptr;
  return E_NOTIMPL;
}

HRESULT CPort19::GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID,
                               DISPID* rgDispId) {
  return DispatchGetIDsOfNames(Description(), riid, rgszNames, cNames, rgDispId);
}

namespace {
// WaitForData's getter answers in the form the caller's VARIANT already has.
thread_local bool t_waitForDataWantsArray = false;
}  // namespace

HRESULT CPort19::Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags,
                        DISPPARAMS* pDispParams, VARIANT* pVarResult, EXCEPINFO* pExcepInfo,
                        UINT* puArgErr) {
  bool saved = t_waitForDataWantsArray;
  t_waitForDataWantsArray =
      dispIdMember == DISPID_Port_WaitForData && pVarResult && (pVarResult->vt & VT_ARRAY) != 0;
  // Handle answers a duplicate of the device handle that the caller owns. A caller that takes no
  // result would leave that duplicate open, and with it the device: the port could not be opened
  // again. It gets the duplicate here, and it is closed at once.
  Variant discarded;
  VARIANT* result = pVarResult;
  if (!result && dispIdMember == DISPID_Port_Handle) result = &discarded;
  HRESULT hr = DispatchInvoke(Description(), this, dispIdMember, riid, lcid, wFlags, pDispParams,
                              result, pExcepInfo, puArgErr);
  if (result == &discarded && SUCCEEDED(hr) && discarded.vt == VT_I4)
    CloseHandle(reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(discarded.lVal)));
  t_waitForDataWantsArray = saved;
  return hr;
}

bool WaitForDataCallerWantsArray() {
  return t_waitForDataWantsArray;
}

// ---- IConnectionPointContainer ------------------------------------------------------------------

HRESULT CPort19::EnumConnectionPoints(IEnumConnectionPoints** ppEnum) {
  return EnumConnectionPointsOf({&events_, &notify_}, ppEnum);
}

HRESULT CPort19::FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) {
  return FindConnectionPointIn({&events_, &notify_}, riid, ppCP);
}

// ---- IProvideClassInfo2 / ISupportErrorInfo -----------------------------------------------------

HRESULT CPort19::GetClassInfo(ITypeInfo** ppTI) {
  if (ppTI) *ppTI = nullptr;
  return E_NOTIMPL;
}

HRESULT CPort19::GetGUID(DWORD dwGuidKind, GUID* pGUID) {
  if (!pGUID) return E_POINTER;
  if (dwGuidKind != GUIDKIND_DEFAULT_SOURCE_DISP_IID) return E_INVALIDARG;
  *pGUID = DIID__IPort18Events;
  return S_OK;
}

HRESULT CPort19::InterfaceSupportsErrorInfo(REFIID riid) {
  return riid == IID_IPort18 ? S_OK : S_FALSE;
}

// ---- IOleObject / IOleControl -------------------------------------------------------------------

HRESULT CPort19::SetClientSite(IOleClientSite* pClientSite) {
  // Losing (or changing) the site closes the port; the container's release of the control
  // (its second site call) also stops the workers.
  if (engine_->opened()) engine_->close(ModemLinked());
  if (++siteSets_ >= 2) engine_->teardown_workers();
  if (!pClientSite) ReleaseSiblings();
  site_ = ComPtr<IOleClientSite>(pClientSite);
  return S_OK;
}

HRESULT CPort19::GetClientSite(IOleClientSite** ppClientSite) {
  return site_.CopyTo(ppClientSite);
}

HRESULT CPort19::Close(DWORD) {
  return S_OK;
}

// Verb 0 ("ﾌﾟﾛﾊﾟﾃｨ(&P)") shows the property pages.
HRESULT CPort19::DoVerb(LONG iVerb, IOleClientSite*) {
  return iVerb == 0 ? ShowPropertyFrame() : E_NOTIMPL;
}

HRESULT CPort19::GetUserClassID(CLSID* pClsid) {
  if (!pClsid) return E_POINTER;
  *pClsid = CLSID_Port;
  return S_OK;
}

HRESULT CPort19::SetExtent(DWORD, SIZEL* psizel) {
  if (!psizel) return E_POINTER;
  return S_OK;  // the extent is fixed
}

HRESULT CPort19::GetExtent(DWORD, SIZEL* psizel) {
  if (!psizel) return E_POINTER;
  *psizel = extent_;
  return S_OK;
}

HRESULT CPort19::GetMiscStatus(DWORD, DWORD* pdwStatus) {
  if (!pdwStatus) return E_POINTER;
  *pdwStatus = OLEMISC_SETCLIENTSITEFIRST | OLEMISC_INVISIBLEATRUNTIME |
               OLEMISC_ACTIVATEWHENVISIBLE | OLEMISC_INSIDEOUT | OLEMISC_CANTLINKINSIDE |
               OLEMISC_RECOMPOSEONRESIZE;
  return S_OK;
}

HRESULT CPort19::OnAmbientPropertyChange(DISPID) {
  return S_OK;
}

HRESULT CPort19::FreezeEvents(BOOL bFreeze) {
  // Only counted: events fire even while the container has frozen them.
  freezeCount_ += bFreeze ? 1 : (freezeCount_ > 0 ? -1 : 0);
  return S_OK;
}

bool CPort19::RunMode() {
  if (!site_) return false;
  Variant v;
  if (FAILED(GetAmbientProperty(site_.get(), DISPID_AMBIENT_USERMODE, &v))) return false;
  if (FAILED(v.ChangeType(VT_BOOL))) return false;
  return v.boolVal != VARIANT_FALSE;
}

// ---- firing -------------------------------------------------------------------------------------

void CPort19::FireBytes(DISPID event, SAFEARRAY** bytes, LONG numBytes) {
  EventArgs args;
  args.ArrayRef(bytes).I4(numBytes);
  events_.FireDispatch(event, args);
}

HRESULT CPort19::Fire_AutoInput(SAFEARRAY** inputBytes, LONG numBytes) {
  FireBytes(DISPID_PortEvent_AutoInput, inputBytes, numBytes);
  return S_OK;
}

HRESULT CPort19::Fire__UberAutoInput(SAFEARRAY** inputBytes, LONG numBytes) {
  FireBytes(DISPID_PortEvent__UberAutoInput, inputBytes, numBytes);
  return S_OK;
}

HRESULT CPort19::Fire_CommError(LONG id) {
  EventArgs args;
  args.I4(id);
  events_.FireDispatch(DISPID_PortEvent_CommError, args);
  return S_OK;
}

HRESULT CPort19::Fire_CommIOState(LONG id) {
  EventArgs args;
  args.I4(id);
  events_.FireDispatch(DISPID_PortEvent_CommIOState, args);
  return S_OK;
}

HRESULT CPort19::Fire_CommState(LONG id) {
  EventArgs args;
  args.I4(id);
  events_.FireDispatch(DISPID_PortEvent_CommState, args);
  return S_OK;
}

HRESULT CPort19::Fire_DataDetected() {
  EventArgs args;
  events_.FireDispatch(DISPID_PortEvent_DataDetected, args);
  return S_OK;
}

HRESULT CPort19::Fire_NonblockInput(LONG requestId, BSTR inputString, LONG numBytes) {
  EventArgs args;
  args.I4(requestId).Str(inputString).I4(numBytes);
  events_.FireDispatch(DISPID_PortEvent_NonblockInput, args);
  return S_OK;
}

HRESULT CPort19::Fire_NonblockInputB(LONG requestId, SAFEARRAY** inputBytes, LONG numBytes) {
  EventArgs args;
  args.I4(requestId).ArrayRef(inputBytes).I4(numBytes);
  events_.FireDispatch(DISPID_PortEvent_NonblockInputB, args);
  return S_OK;
}

HRESULT CPort19::Fire_NonblockOutput(LONG requestId, LONG numBytes) {
  EventArgs args;
  args.I4(requestId).I4(numBytes);
  events_.FireDispatch(DISPID_PortEvent_NonblockOutput, args);
  return S_OK;
}

// ---- rs232x_host_t ------------------------------------------------------------------------------

namespace {
// A byte array for one firing; the control destroys whatever the sinks leave in it.
struct fired_array {
  explicit fired_array(const std::vector<std::uint8_t>* bytes)
      : sa(bytes ? SafeArrayFromBytes(bytes->data(), bytes->size()) : nullptr) {}
  ~fired_array() {
    if (sa) SafeArrayDestroy(sa);
  }
  SAFEARRAY* sa;
};
}  // namespace

// The engine's reports arrive as calls of the hidden firing members, by DISPID through the
// control's own dispatch interface, as a worker holding a marshalled IPort18 would make them.
void CPort19::FireHidden(DISPID member, std::initializer_list<VARIANT> args) {
  std::vector<VARIANT> reversed(args.begin(), args.end());
  std::reverse(reversed.begin(), reversed.end());
  DISPPARAMS params{reversed.empty() ? nullptr : reversed.data(), nullptr,
                    static_cast<UINT>(reversed.size()), 0};
  Variant ignored;
  Invoke(member, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, &ignored, nullptr,
         nullptr);
}

void CPort19::_Fire_AutoInput(const std::vector<std::uint8_t>& bytes, LONG numBytes) {
  fired_array a(&bytes);
  FireHidden(DISPID_Port__Fire_AutoInput,
             {Variant::ByRef(VT_ARRAY | VT_UI1, &a.sa), Variant::I4(numBytes)});
}

void CPort19::_Fire__UberAutoInput(const std::vector<std::uint8_t>& bytes, LONG numBytes) {
  fired_array a(&bytes);
  FireHidden(DISPID_Port__Fire__UberAutoInput,
             {Variant::ByRef(VT_ARRAY | VT_UI1, &a.sa), Variant::I4(numBytes)});
}

void CPort19::_Fire_CommError(LONG id) {
  FireHidden(DISPID_Port__Fire_CommError, {Variant::I4(id)});
}

void CPort19::_Fire_CommIOState(LONG id) {
  FireHidden(DISPID_Port__Fire_CommIOState, {Variant::I4(id)});
}

void CPort19::_Fire_CommState(LONG id) {
  FireHidden(DISPID_Port__Fire_CommState, {Variant::I4(id)});
}

void CPort19::_Fire_DataDetected() {
  FireHidden(DISPID_Port__Fire_DataDetected, {});
}

void CPort19::_Fire_NonblockInput(LONG requestId, const std::u16string* text, LONG numBytes) {
  Bstr s = text ? Bstr(*text) : Bstr();
  VARIANT str;
  str.vt = VT_BSTR;
  str.bstrVal = s.get();  // still owned by s
  FireHidden(DISPID_Port__Fire_NonblockInput, {Variant::I4(requestId), str, Variant::I4(numBytes)});
}

void CPort19::_Fire_NonblockInputB(LONG requestId, const std::vector<std::uint8_t>* bytes,
                                   LONG numBytes) {
  fired_array a(bytes);
  FireHidden(
      DISPID_Port__Fire_NonblockInputB,
      {Variant::I4(requestId), Variant::ByRef(VT_ARRAY | VT_UI1, &a.sa), Variant::I4(numBytes)});
}

void CPort19::_Fire_NonblockOutput(LONG requestId, LONG numBytes) {
  FireHidden(DISPID_Port__Fire_NonblockOutput, {Variant::I4(requestId), Variant::I4(numBytes)});
}

bool CPort19::IsOccupied() {
  return !portFree_.load();
}

// An occupier that does not count (no counting interface, or one known only from a loaded
// portFree flag) turns counting off; one that counts keeps it on and gets _UberAutoInput.
bool CPort19::CountingSuppressed() {
  return !portFree_.load() && !occupierCounts_.load();
}

}  // namespace ravlin
