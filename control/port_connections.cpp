// CPort19: the connections to sibling controls on the same form. The modem link (TapiCtl,
// ConnectTapiCtl, DisconnectTapiCtl, _SetComponent, _GetComponent, _TapiCtl, _TapiCtls and the
// TapiCtl worker SetModemLink) and the occupier (_TermOrFile and what it hears around open and
// close).
#include "control/container_lookup.h"
#include "control/port.h"
#include "control/port_members.h"
#include "control/port_messages.h"
#include "control/sibling_interfaces.h"
#include "control/string_list_handles.h"
#include "platform/com/errorinfo.h"

namespace ravlin {

using namespace win;

namespace {

constexpr VARIANT_BOOL AsBool(bool b) {
  return b ? VARIANT_TRUE : VARIANT_FALSE;
}

// Two interface pointers of one object (COM identity: their IUnknown).
bool SameObject(IUnknown* a, IUnknown* b) {
  if (!a || !b) return a == b;
  ComPtr<IUnknown> ia, ib;
  if (FAILED(a->QueryInterface(IID_IUnknown, ia.ReceiveVoid())) ||
      FAILED(b->QueryInterface(IID_IUnknown, ib.ReceiveVoid())))
    return false;
  return ia.get() == ib.get();
}

template <class I>
ComPtr<I> Query(IUnknown* object, REFIID iid) {
  ComPtr<I> found;
  if (object && SUCCEEDED(object->QueryInterface(iid, found.ReceiveVoid()))) return found;
  return {};
}

}  // namespace

// ---- the modem link -----------------------------------------------------------------------------

bool CPort19::IsLinkedModem(IDispatch* control) const {
  return modem_ && SameObject(modem_.get(), control);
}

CPort19::link_result CPort19::Link(IDispatch* control) {
  ComPtr<IDispatch> keep(control);  // an attach call may drop the caller's reference
  ComPtr<IModemLink> modem = Query<IModemLink>(control, IID_IModemLink);
  if (!modem) return link_result::not_modem;
  std::u16string name = ExtenderName(control);
  if (name.empty()) return link_result::no_name;
  if (IsLinkedModem(control)) return link_result::done;
  if (Unlink() != link_result::done) return link_result::refused;
  if (FAILED(modem->Attach(static_cast<IDispatch*>(this)))) return link_result::refused;
  modem_ = keep;
  modemName_ = std::move(name);
  return link_result::done;
}

CPort19::link_result CPort19::Unlink() {
  if (!modem_) {
    modemName_.clear();  // a name without a control: nobody to ask
    return link_result::done;
  }
  ComPtr<IDispatch> linked = modem_;
  if (ComPtr<IModemLink> modem = Query<IModemLink>(linked.get(), IID_IModemLink))
    if (FAILED(modem->Attach(nullptr))) return link_result::refused;
  if (IsLinkedModem(linked.get())) {  // unless the attach call linked something else meanwhile
    modem_.Reset();
    modemName_.clear();
  }
  return link_result::done;
}

HRESULT CPort19::SetModemLink(IDispatch* control) {
  if (!control && !modem_) {
    if (!modemName_.empty()) {
      modemName_.clear();
      dirty_ = true;
    }
    return S_OK;
  }
  if (control && IsLinkedModem(control)) return S_OK;
  const link_result r = control ? Link(control) : Unlink();
  if (r == link_result::refused) return reportPortError(msgModemBusy);
  if (r != link_result::done) return E_INVALIDARG;
  fireOnChanged(DISPID_Port_TapiCtl);
  dirty_ = true;
  return S_OK;
}

void CPort19::RestoreModemName(std::u16string name) {
  modem_.Reset();
  modemName_ = std::move(name);
}

ComPtr<IDispatch> CPort19::FindSibling(std::u16string_view name) {
  if (!site_) return {};
  return FindByExtenderName(site_.get(), name);
}

HRESULT CPort19::get_TapiCtl(IDispatch** pVal) {
  if (!pVal) return E_POINTER;
  *pVal = nullptr;
  if (!modem_ && !modemName_.empty()) {
    // Known by name only: the control of that name on the form becomes the link; when there is
    // none the name is forgotten. A refusal on the way is not this getter's failure.
    ComPtr<IDispatch> named = FindSibling(modemName_);
    if (FAILED(SetModemLink(named.get()))) SetErrorInfo(0, nullptr);
  }
  ComPtr<IModemLink> modem = Query<IModemLink>(modem_.get(), IID_IModemLink);
  *pVal = modem.Detach();  // the modem interface is a dispatch interface
  return S_OK;
}

HRESULT CPort19::put_TapiCtl(IDispatch* newVal) {
  if (RunMode()) return reportPortError(msgRunTime);
  return SetModemLink(newVal);
}

HRESULT CPort19::ConnectTapiCtl(IDispatch* quorvel, VARIANT_BOOL* result) {
  if (!result) return E_POINTER;
  *result = VARIANT_FALSE;
  if (!quorvel) return E_POINTER;
  if (engine_->opened()) return S_OK;
  if (modemName_.empty()) {
    switch (Link(quorvel)) {
      case link_result::done:
        *result = VARIANT_TRUE;
        return S_OK;
      case link_result::refused:
        return S_OK;
      default:
        return E_INVALIDARG;
    }
  }
  // A link exists already: it is confirmed, never replaced.
  if (!Query<IModemLink>(quorvel, IID_IModemLink)) return E_INVALIDARG;
  const std::u16string name = ExtenderName(quorvel);
  if (name.empty()) return E_INVALIDARG;
  if (IsLinkedModem(quorvel)) {
    *result = VARIANT_TRUE;
  } else if (!modem_ && name == modemName_) {
    // The link was restored by name and this is the control of that name: it is the link.
    *result = AsBool(Link(quorvel) == link_result::done);
  }
  return S_OK;
}

HRESULT CPort19::DisconnectTapiCtl(VARIANT_BOOL* result) {
  if (!result) return E_POINTER;
  *result = VARIANT_FALSE;
  if (engine_->opened()) return S_OK;
  if (Unlink() == link_result::refused) return reportPortError(msgModemBusy);
  *result = VARIANT_TRUE;
  return S_OK;
}

HRESULT CPort19::_SetComponent(BSTR s) {
  ComPtr<IDispatch> named = FindSibling(BstrView(s));
  return put_TapiCtl(named.get());
}

HRESULT CPort19::_GetComponent(BSTR* ps) {
  if (!ps) return E_POINTER;
  BSTR copy = SysAllocString(modemName_);
  if (!copy) return E_OUTOFMEMORY;
  SysFreeString(*ps);
  *ps = copy;
  return S_OK;
}

HRESULT CPort19::_TapiCtl(VARIANT_BOOL* result) {
  if (!result) return E_INVALIDARG;
  *result = AsBool(ModemLinked());
  return S_OK;
}

HRESULT CPort19::_TapiCtls(UINT gizmo) {
  std::vector<ComPtr<IUnknown>> objects;
  if (!site_ || FAILED(ContainerObjects(site_.get(), &objects))) return E_FAIL;
  const auto list = StringListFor(gizmo);
  if (!list) return E_INVALIDARG;
  list->clear();
  list->add(u"");
  for (const auto& object : objects)
    if (Query<IModemLink>(object.get(), IID_IModemLink)) list->add(ExtenderName(object.get()));
  return S_OK;
}

// ---- the occupier -------------------------------------------------------------------------------

HRESULT CPort19::put__TermOrFile(IDispatch* newVal) {
  ComPtr<IDispatch> held(newVal);
  const bool counts = static_cast<bool>(Query<IOccupierCounting>(newVal, IID_IOccupierCounting));
  // Workers read the two flags without a lock: they never see an occupier counting that does
  // not, nor a free port that suppresses counting.
  if (newVal) {
    occupierCounts_.store(counts);
    portFree_.store(false);
  } else {
    portFree_.store(true);
    occupierCounts_.store(false);
  }
  std::swap(occupier_, held);  // the old occupier is released last, with the state settled
  return S_OK;
}

void CPort19::TellOccupierOpened() {
  if (!Occupied()) return;
  ComPtr<IDispatch> occupier = occupier_;
  if (auto counting = Query<IOccupierCounting>(occupier.get(), IID_IOccupierCounting))
    counting->PortOpened();
}

void CPort19::TellOccupierClosed() {
  if (!Occupied()) return;
  ComPtr<IDispatch> occupier = occupier_;
  if (auto counting = Query<IOccupierCounting>(occupier.get(), IID_IOccupierCounting))
    counting->PortClosed();
  if (auto terminal = Query<ITerminalNotification>(occupier.get(), IID_ITerminalNotification)) {
    LONG ignored = 0;
    terminal->Notify(&ignored);
  }
}

void CPort19::ReleaseSiblings() {
  // The name of the modem link and the portFree flag stay: they are settings of the control.
  if (ComPtr<IDispatch> modem = std::move(modem_)) {
    if (auto link = Query<IModemLink>(modem.get(), IID_IModemLink)) link->Attach(nullptr);
  }
  ComPtr<IDispatch> occupier = std::move(occupier_);
}

}  // namespace ravlin
