// The minimal host: a form, its client sites, their ambient properties and extenders.
#include "platform/com/client_site.h"

#include <algorithm>

namespace win {

namespace {

// The extender: what the container adds around a control, here its Name on the form.
class Extender final : public Unknown<DispatchImpl<Extender, IDispatch>> {
 public:
  explicit Extender(std::u16string name) : name_(std::move(name)) {}

  static const TypeDescription& Description() {
    static const TypeDescription type(
        u"Extender", IID_IDispatch,
        {{.name = u"Name",
          .dispid = DISPID_NAME,
          .kind = MemberKind::PropertyGet,
          .result = VT_BSTR,
          .handler = On<Extender>([](Extender& self, Invocation& call) {
            *call.ResultStr() = SysAllocString(self.name_);
            return *call.ResultStr() ? S_OK : E_OUTOFMEMORY;
          })}});
    return type;
  }

 private:
  IUnknown* FindInterface(REFIID riid) override {
    return IsEqualGUID(riid, IID_IDispatch) ? static_cast<IDispatch*>(this) : nullptr;
  }
  std::u16string name_;
};

}  // namespace

// ---- ClientSite --------------------------------------------------------------------------------

ClientSite::ClientSite(Form* form, IUnknown* control, std::u16string name)
    : form_(form), control_(control), name_(std::move(name)) {
  auto extender = MakeObject<Extender>(name_);
  extender_ = ComPtr<IDispatch>(extender.get());
}

const TypeDescription& ClientSite::Description() {
  static const TypeDescription type(
      u"AmbientProperties", IID_IDispatch,
      {
          {.name = u"UserMode",
           .dispid = DISPID_AMBIENT_USERMODE,
           .kind = MemberKind::PropertyGet,
           .result = VT_BOOL,
           .handler = On<ClientSite>(
               [](ClientSite& s, Invocation& c) { return s.AmbientUserMode(c.ResultBool()); })},
          {.name = u"LocaleID",
           .dispid = DISPID_AMBIENT_LOCALEID,
           .kind = MemberKind::PropertyGet,
           .result = VT_I4,
           .handler = On<ClientSite>(
               [](ClientSite& s, Invocation& c) { return s.AmbientLocaleID(c.ResultI4()); })},
          {.name = u"DisplayName",
           .dispid = DISPID_AMBIENT_DISPLAYNAME,
           .kind = MemberKind::PropertyGet,
           .result = VT_BSTR,
           .handler = On<ClientSite>(
               [](ClientSite& s, Invocation& c) { return s.AmbientDisplayName(c.ResultStr()); })},
      });
  return type;
}

IUnknown* ClientSite::FindInterface(REFIID riid) {
  if (IsEqualGUID(riid, IID_IOleClientSite)) return static_cast<IOleClientSite*>(this);
  if (IsEqualGUID(riid, IID_IOleControlSite)) return static_cast<IOleControlSite*>(this);
  if (IsEqualGUID(riid, IID_IDispatch)) return static_cast<IDispatch*>(this);
  return nullptr;
}

HRESULT ClientSite::AmbientUserMode(VARIANT_BOOL* value) {
  if (!form_) return DISP_E_MEMBERNOTFOUND;
  *value = form_->UserMode() ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
}

HRESULT ClientSite::AmbientLocaleID(LONG* value) {
  if (!form_) return DISP_E_MEMBERNOTFOUND;
  *value = static_cast<LONG>(form_->LocaleID());
  return S_OK;
}

HRESULT ClientSite::AmbientDisplayName(BSTR* value) {
  *value = SysAllocString(name_);
  return *value ? S_OK : E_OUTOFMEMORY;
}

HRESULT ClientSite::SaveObject() {
  return E_NOTIMPL;
}

HRESULT ClientSite::GetContainer(IOleContainer** ppContainer) {
  if (!ppContainer) return E_POINTER;
  *ppContainer = form_;
  if (!form_) return E_NOINTERFACE;
  form_->AddRef();
  return S_OK;
}

HRESULT ClientSite::ShowObject() {
  return S_OK;
}
HRESULT ClientSite::OnShowWindow(BOOL) {
  return S_OK;
}
HRESULT ClientSite::RequestNewObjectLayout() {
  return E_NOTIMPL;
}
HRESULT ClientSite::OnControlInfoChanged() {
  return S_OK;
}
HRESULT ClientSite::LockInPlaceActive(BOOL) {
  return S_OK;
}

HRESULT ClientSite::GetExtendedControl(IDispatch** ppDisp) {
  if (!ppDisp) return E_POINTER;
  *ppDisp = nullptr;
  if (!extender_) return E_NOTIMPL;
  return extender_.CopyTo(ppDisp);
}

HRESULT ClientSite::OnFocus(BOOL) {
  return S_OK;
}
HRESULT ClientSite::ShowPropertyFrame() {
  return E_NOTIMPL;
}  // the control shows its own

HRESULT ClientSite::GetTypeInfoCount(UINT* pctinfo) {
  if (!pctinfo) return E_POINTER;
  *pctinfo = 0;
  return S_OK;
}

HRESULT ClientSite::GetTypeInfo(UINT, LCID, ITypeInfo** ppTInfo) {
  if (ppTInfo) *ppTInfo = nullptr;
  return E_NOTIMPL;
}

HRESULT ClientSite::GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID,
                                  DISPID* rgDispId) {
  return DispatchGetIDsOfNames(Description(), riid, rgszNames, cNames, rgDispId);
}

HRESULT ClientSite::Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags,
                           DISPPARAMS* pDispParams, VARIANT* pVarResult, EXCEPINFO* pExcepInfo,
                           UINT* puArgErr) {
  return DispatchInvoke(Description(), this, dispIdMember, riid, lcid, wFlags, pDispParams,
                        pVarResult, pExcepInfo, puArgErr);
}

// ---- Form --------------------------------------------------------------------------------------

Form::Form() = default;

Form::~Form() {
  Close();
}

IUnknown* Form::FindInterface(REFIID riid) {
  return IsEqualGUID(riid, IID_IOleContainer) ? static_cast<IOleContainer*>(this) : nullptr;
}

HRESULT Form::AddControl(IUnknown* control, std::u16string_view name, ClientSite** site) {
  if (site) *site = nullptr;
  if (!control) return E_INVALIDARG;
  for (const Entry& e : entries_)
    if (e.control == control || e.site->Name() == name) return E_INVALIDARG;
  auto made = MakeObject<ClientSite>(this, control, std::u16string(name));
  if (!made) return E_OUTOFMEMORY;
  control->AddRef();
  entries_.push_back({control, made.Detach()});
  ClientSite* s = entries_.back().site;
  ComPtr<IOleObject> ole;
  if (SUCCEEDED(control->QueryInterface(IID_IOleObject, ole.ReceiveVoid()))) {
    HRESULT hr = ole->SetClientSite(s);
    if (FAILED(hr)) {
      RemoveControl(control);
      return hr;
    }
  }
  if (site) {
    s->AddRef();
    *site = s;
  }
  return S_OK;
}

HRESULT Form::RemoveControl(IUnknown* control) {
  auto it = std::find_if(entries_.begin(), entries_.end(),
                         [&](const Entry& e) { return e.control == control; });
  if (it == entries_.end()) return E_INVALIDARG;
  Entry entry = *it;
  entries_.erase(it);
  // Off the form before the control hears of it, so it no longer finds itself there.
  entry.site->form_ = nullptr;
  ComPtr<IOleObject> ole;
  if (SUCCEEDED(entry.control->QueryInterface(IID_IOleObject, ole.ReceiveVoid()))) {
    ole->Close(OLECLOSE_NOSAVE);
    ole->SetClientSite(nullptr);
  }
  ole.Reset();
  entry.site->Release();
  entry.control->Release();
  return S_OK;
}

void Form::Close() {
  while (!entries_.empty()) RemoveControl(entries_.front().control);
}

void Form::SetUserMode(bool userMode) {
  if (userMode_ == userMode) return;
  userMode_ = userMode;
  NotifyAmbient(DISPID_AMBIENT_USERMODE);
}

void Form::SetLocaleID(LCID lcid) {
  if (lcid_ == lcid) return;
  lcid_ = lcid;
  NotifyAmbient(DISPID_AMBIENT_LOCALEID);
}

void Form::NotifyAmbient(DISPID dispid) {
  // A snapshot: a control may take itself off the form when it hears of the change.
  std::vector<ComPtr<IUnknown>> controls;
  for (const Entry& e : entries_) controls.emplace_back(e.control);
  for (const auto& c : controls) {
    ComPtr<IOleControl> control;
    if (SUCCEEDED(c->QueryInterface(IID_IOleControl, control.ReceiveVoid())))
      control->OnAmbientPropertyChange(dispid);
  }
}

HRESULT Form::EnumObjects(DWORD, IEnumUnknown** ppenum) {
  std::vector<IUnknown*> controls;
  for (const Entry& e : entries_) controls.push_back(e.control);
  return CreateEnumUnknown(controls, ppenum);
}

HRESULT Form::LockContainer(BOOL) {
  return S_OK;
}

}  // namespace win
