#include "control/property_page.h"

#include <cstring>

#include "control/module.h"
#include "control/port_identity.h"
#include "control/ui_loader.h"

namespace ravlin {

using namespace win;

namespace {

// A task-memory copy of text (null when out of memory).
LPOLESTR TaskString(std::u16string_view text) {
  auto* copy = static_cast<LPOLESTR>(CoTaskMemAlloc((text.size() + 1) * sizeof(OLECHAR)));
  if (!copy) return nullptr;
  std::memcpy(copy, text.data(), text.size() * sizeof(OLECHAR));
  copy[text.size()] = 0;
  return copy;
}

// Dialog units to pixels with the platform's rounding (MulDiv).
LONG Scale(LONG units, LONG base, LONG divisor) {
  return static_cast<LONG>((static_cast<std::int64_t>(units) * base + divisor / 2) / divisor);
}

// The pages' size without a window system to measure the dialog font in: the base units of
// "ＭＳ Ｐゴシック" 9 point on a 96 dpi screen (6 by 12 pixels).
SIZE FallbackPixels(SIZE du) {
  return {Scale(du.cx, 6, 4), Scale(du.cy, 12, 8)};
}

}  // namespace

CPort19PropertyPage::CPort19PropertyPage(IUnknown* outer, const page_spec& spec)
    : Unknown(outer), model_(spec) {
  ModuleLock(+1);
  model_.set_refresh([this](std::size_t control) {
    if (view_) view_->Refresh(control);
  });
  model_.set_changed([this](DWORD status) {
    if (site_) site_->OnStatusChange(status);
  });
  model_.set_warn([](std::u16string_view title, std::u16string_view text) {
    if (const ravlin_ui_entries* ui = LoadedUi())
      ui->warning_box(std::u16string(title).c_str(), std::u16string(text).c_str());
  });
}

CPort19PropertyPage::~CPort19PropertyPage() {
  CloseView();
  ModuleLock(-1);
}

IUnknown* CPort19PropertyPage::FindInterface(REFIID riid) {
  if (riid == IID_IPropertyPage) return static_cast<IPropertyPage*>(this);
  return nullptr;
}

void CPort19PropertyPage::CloseView() {
  if (page_view* view = std::exchange(view_, nullptr)) view->Destroy();
}

HRESULT CPort19PropertyPage::SetPageSite(IPropertyPageSite* pPageSite) {
  site_ = ComPtr<IPropertyPageSite>(pPageSite);
  return S_OK;
}

HRESULT CPort19PropertyPage::Activate(HWND hWndParent, const RECT* pRect, BOOL) {
  HRESULT hr = S_OK;
  const ravlin_ui_entries* ui = RequireUi(&hr);
  if (!ui) return hr;
  CloseView();
  RECT rect{0, 0, 0, 0};
  if (pRect) rect = *pRect;
  // The lists are filled and the fields loaded before the dialog first shows them.
  model_.Load();
  view_ = ui->create_page_view(this, hWndParent, &rect);
  if (!view_) return ReportError(E_FAIL, kPortErrorSource, u"the page's dialog could not be made");
  return S_OK;
}

HRESULT CPort19PropertyPage::Deactivate() {
  CloseView();
  return S_OK;
}

HRESULT CPort19PropertyPage::GetPageInfo(PROPPAGEINFO* pPageInfo) {
  if (!pPageInfo) return E_POINTER;
  const page_spec& spec = model_.Spec();
  PROPPAGEINFO info{};
  info.cb = sizeof(PROPPAGEINFO);
  const SIZE du{kPortPageWidthDu, kPortPageHeightDu};
  const ravlin_ui_entries* ui = LoadedUi();
  info.size = ui ? ui->dialog_units_to_pixels(du) : FallbackPixels(du);
  info.pszTitle = TaskString(spec.title);
  info.pszDocString = TaskString(spec.docString);
  info.pszHelpFile = TaskString(kPortPagesHelpFile);
  info.dwHelpContext = 0;
  if (!info.pszTitle || !info.pszDocString || !info.pszHelpFile) {
    FreePropPageInfo(&info);
    return E_OUTOFMEMORY;
  }
  *pPageInfo = info;
  return S_OK;
}

HRESULT CPort19PropertyPage::SetObjects(ULONG cObjects, IUnknown** ppUnk) {
  if (cObjects && !ppUnk) return E_POINTER;
  model_.SetObjects(std::span<IUnknown* const>(ppUnk, ppUnk ? cObjects : 0));
  return S_OK;
}

HRESULT CPort19PropertyPage::Show(UINT nCmdShow) {
  if (!view_) return E_UNEXPECTED;
  view_->Show(nCmdShow != SW_HIDE);
  return S_OK;
}

HRESULT CPort19PropertyPage::Move(const RECT* pRect) {
  if (!pRect) return E_POINTER;
  if (!view_) return E_UNEXPECTED;
  view_->Move(*pRect);
  return S_OK;
}

HRESULT CPort19PropertyPage::IsPageDirty() {
  return model_.Dirty() ? S_OK : S_FALSE;
}

HRESULT CPort19PropertyPage::Apply() {
  model_.Apply();
  return S_OK;
}

HRESULT CPort19PropertyPage::Help(LPCOLESTR) {
  return E_NOTIMPL;
}

HRESULT CPort19PropertyPage::TranslateAccelerator(MSG*) {
  return S_FALSE;
}

const control_state& CPort19PropertyPage::State(std::size_t control) const {
  return model_.State(control);
}

void CPort19PropertyPage::UserEdited(std::size_t control, std::u16string_view text) {
  model_.Edit(control, text);
}

void CPort19PropertyPage::UserSelected(std::size_t control, int selection) {
  model_.Select(control, selection);
}

void CPort19PropertyPage::UserChecked(std::size_t control, bool checked) {
  model_.Check(control, checked);
}

void CPort19PropertyPage::UserPressedReset() {
  model_.Reset();
}

CPort19Ppg1::CPort19Ppg1(IUnknown* outer) : CPort19PropertyPage(outer, Port19Page1Spec()) {}
CPort19Ppg2::CPort19Ppg2(IUnknown* outer) : CPort19PropertyPage(outer, Port19Page2Spec()) {}
CPort19Ppg4::CPort19Ppg4(IUnknown* outer) : CPort19PropertyPage(outer, Port19Page4Spec()) {}

}  // namespace ravlin
