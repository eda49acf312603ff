// The Port control's property page objects (CPort19Ppg1, CPort19Ppg2, CPort19Ppg4): COM objects
// implementing IPropertyPage over a PageModel, with their dialogs from the window library.
//
// How it works. The object keeps the frame's site and the objects to edit (SetObjects queries
// each for IPort18). Activate loads the window library (ui_loader.h), has it build the page's
// dialog inside the frame's window, loads every field and shows it; the dialog reports the
// user's changes, which mark the page dirty and tell the site (PROPPAGESTATUS_DIRTY |
// PROPPAGESTATUS_VALIDATE). Apply writes through the model and shows a refusal in a warning box;
// the reset button writes the page's defaults. Deactivate closes the dialog. Every page object
// holds the module (ModuleLock) while it lives, so the library is not unloaded under it. Help
// has no viewer on this platform; GetPageInfo still names the help file.
//
// Offers: CPort19PropertyPage (the shared implementation), CPort19Ppg1, CPort19Ppg2,
// CPort19Ppg4.
#pragma once

#include "control/page_model.h"
#include "control/page_view.h"
#include "platform/com/property_page.h"
#include "platform/com/unknown.h"

namespace ravlin {

class CPort19PropertyPage : public win::Unknown<win::IPropertyPage>, private page_editor {
 public:
  // ---- IPropertyPage -------------------------------------------------------------------------
  win::HRESULT SetPageSite(win::IPropertyPageSite* pPageSite) override;
  // Fails (E_FAIL with error info) when the window library cannot be loaded or the process has
  // no Qt application; nothing is created then.
  win::HRESULT Activate(win::HWND hWndParent, const win::RECT* pRect, win::BOOL bModal) override;
  win::HRESULT Deactivate() override;
  // E_POINTER for null; E_OUTOFMEMORY (nothing allocated) when a string cannot be copied.
  win::HRESULT GetPageInfo(win::PROPPAGEINFO* pPageInfo) override;
  // E_POINTER when cObjects is not 0 and ppUnk is null; objects without IPort18 are left out.
  win::HRESULT SetObjects(win::ULONG cObjects, win::IUnknown** ppUnk) override;
  win::HRESULT Show(win::UINT nCmdShow) override;
  win::HRESULT Move(const win::RECT* pRect) override;
  win::HRESULT IsPageDirty() override;
  // Always S_OK; a refusal is shown in a warning box and the page is clean afterwards.
  win::HRESULT Apply() override;
  win::HRESULT Help(win::LPCOLESTR pszHelpDir) override;       // E_NOTIMPL
  win::HRESULT TranslateAccelerator(win::MSG* pMsg) override;  // S_FALSE

  PageModel& Model() { return model_; }

 protected:
  CPort19PropertyPage(win::IUnknown* outer, const page_spec& spec);
  ~CPort19PropertyPage() override;

 private:
  win::IUnknown* FindInterface(win::REFIID riid) override;

  // ---- page_editor ---------------------------------------------------------------------------
  const page_spec& Spec() const override { return model_.Spec(); }
  const control_state& State(std::size_t control) const override;
  void UserEdited(std::size_t control, std::u16string_view text) override;
  void UserSelected(std::size_t control, int selection) override;
  void UserChecked(std::size_t control, bool checked) override;
  void UserPressedReset() override;
  void ViewGone() override { view_ = nullptr; }

  void CloseView();

  PageModel model_;
  win::ComPtr<win::IPropertyPageSite> site_;
  page_view* view_ = nullptr;
};

// "Port19Ppg1 Class": general settings.
class CPort19Ppg1 final : public CPort19PropertyPage {
 public:
  explicit CPort19Ppg1(win::IUnknown* outer);
};

// "Port19Ppg2 Class": flow control and events.
class CPort19Ppg2 final : public CPort19PropertyPage {
 public:
  explicit CPort19Ppg2(win::IUnknown* outer);
};

// "Port19Ppg4 Class": event mask.
class CPort19Ppg4 final : public CPort19PropertyPage {
 public:
  explicit CPort19Ppg4(win::IUnknown* outer);
};

}  // namespace ravlin
