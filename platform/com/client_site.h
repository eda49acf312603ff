// A minimal host for controls: a form (IOleContainer) whose controls each get a client site.
//
// Form::AddControl places a control under a name: the form keeps a reference to the control, makes
// a ClientSite for it (ambient properties UserMode, LocaleID and DisplayName, extender object with
// the Name) and hands the site to the control (IOleObject::SetClientSite). The form's
// EnumObjects lists the controls in placement order. RemoveControl and Close take controls off
// again (IOleObject::Close, then SetClientSite(nullptr), then release). Changing an ambient
// property tells every control (IOleControl::OnAmbientPropertyChange). Everything runs on the
// host's thread.
//
// Offers: Form, ClientSite.
#pragma once

#include <string>
#include <vector>

#include "platform/com/ole.h"
#include "platform/com/unknown.h"

namespace win {

class Form;

class ClientSite final : public Unknown<IOleClientSite, IOleControlSite, IDispatch> {
 public:
  ClientSite(Form* form, IUnknown* control, std::u16string name);

  // IOleClientSite
  HRESULT SaveObject() override;
  HRESULT GetContainer(IOleContainer** ppContainer) override;
  HRESULT ShowObject() override;
  HRESULT OnShowWindow(BOOL fShow) override;
  HRESULT RequestNewObjectLayout() override;
  // IOleControlSite
  HRESULT OnControlInfoChanged() override;
  HRESULT LockInPlaceActive(BOOL fLock) override;
  HRESULT GetExtendedControl(IDispatch** ppDisp) override;
  HRESULT OnFocus(BOOL fGotFocus) override;
  HRESULT ShowPropertyFrame() override;
  // IDispatch: the ambient properties (read-only).
  HRESULT GetTypeInfoCount(UINT* pctinfo) override;
  HRESULT GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) override;
  HRESULT GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid,
                        DISPID* rgDispId) override;
  HRESULT Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags, DISPPARAMS* pDispParams,
                 VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) override;

  const std::u16string& Name() const { return name_; }
  IUnknown* Control() const { return control_; }
  static const TypeDescription& Description();

 private:
  friend class Form;
  IUnknown* FindInterface(REFIID riid) override;
  HRESULT AmbientUserMode(VARIANT_BOOL* value);
  HRESULT AmbientLocaleID(LONG* value);
  HRESULT AmbientDisplayName(BSTR* value);

  Form* form_;         // null once the form has closed
  IUnknown* control_;  // owned by the form
  std::u16string name_;
  ComPtr<IDispatch> extender_;
};

class Form final : public Unknown<IOleContainer> {
 public:
  Form();

  // Places control under name and gives it its site. The control need not answer IOleObject
  // (it then simply gets no site). E_INVALIDARG for a null control or a name already used.
  HRESULT AddControl(IUnknown* control, std::u16string_view name, ClientSite** site = nullptr);
  // Takes the control off the form: IOleObject::Close(OLECLOSE_NOSAVE), SetClientSite(nullptr),
  // release. E_INVALIDARG when it is not on the form.
  HRESULT RemoveControl(IUnknown* control);
  // Takes every control off, in placement order. The form is then empty.
  void Close();

  // Ambient properties (defaults: UserMode true, LocaleID 0x0411 Japanese).
  void SetUserMode(bool userMode);
  void SetLocaleID(LCID lcid);
  bool UserMode() const { return userMode_; }
  LCID LocaleID() const { return lcid_; }

  // IOleContainer
  HRESULT EnumObjects(DWORD grfFlags, IEnumUnknown** ppenum) override;
  HRESULT LockContainer(BOOL fLock) override;

 private:
  friend class ClientSite;
  ~Form() override;
  IUnknown* FindInterface(REFIID riid) override;
  void NotifyAmbient(DISPID dispid);

  struct Entry {
    IUnknown* control;  // referenced
    ClientSite* site;   // referenced
  };
  std::vector<Entry> entries_;
  bool userMode_ = true;
  LCID lcid_ = 0x0411;
};

}  // namespace win
