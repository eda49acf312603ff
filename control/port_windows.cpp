// CPort19: what the control shows on a screen. The property frame (Configure and the properties
// verb), the about box and the design-time picture all come from the window library, loaded on
// first use; without it, or without a Qt application, they fail with error info.
#include "control/design_view.h"
#include "control/page_factory.h"
#include "control/port.h"
#include "control/ui_loader.h"
#include "platform/com/ole.h"

// The library's version block (library_entry.cpp). Weak: a program that links the control
// without the library's exports shows an about box without a build number.
extern "C" {
extern const char ravlin_file_version[] __attribute__((weak));
extern const char ravlin_description[] __attribute__((weak));
}

namespace ravlin {

using namespace win;

namespace {
constexpr const char16_t* kFrameCaption = u"Port";  // string 100, the project name
constexpr HRESULT DV_E_DVASPECT = MakeHResult(0x8004006B);
}  // namespace

HRESULT CPort19::ShowPropertyFrame() {
  HRESULT hr = S_OK;
  const ravlin_ui_entries* ui = RequireUi(&hr);
  if (!ui) return hr;
  std::vector<ComPtr<IPropertyPage>> pages;
  for (const CLSID& clsid : PortPropertyPages()) {
    ComPtr<IPropertyPage> page;
    hr = CreatePortPropertyPage(clsid, nullptr, IID_IPropertyPage, page.ReceiveVoid());
    if (FAILED(hr)) return hr;
    pages.push_back(std::move(page));
  }
  std::vector<IPropertyPage*> raw;
  for (const auto& page : pages) raw.push_back(page.get());
  IUnknown* self = ControllingUnknown();
  return ui->property_frame(nullptr, kFrameCaption, 1, &self, static_cast<ULONG>(raw.size()),
                            raw.data(), LOCALE_USER_DEFAULT);
}

HRESULT CPort19::Configure(VARIANT_BOOL* result) {
  if (!result) return E_POINTER;
  *result = VARIANT_FALSE;
  if (engine_->opened()) return S_OK;  // the pages would change a live line
  HRESULT hr = ShowPropertyFrame();
  if (FAILED(hr)) return hr;
  *result = VARIANT_TRUE;
  return S_OK;
}

HRESULT CPort19::AboutBox() {
  HRESULT hr = S_OK;
  const ravlin_ui_entries* ui = RequireUi(&hr);
  if (!ui) return hr;
  ui->about_box(nullptr, ravlin_description ? ravlin_description : "",
                ravlin_file_version ? ravlin_file_version : "");
  return S_OK;
}

HRESULT PortViewObject::Draw(DWORD dwDrawAspect, LONG, void*, void*, void*, void* hdcDraw,
                             const RECTL* lprcBounds, const RECTL*, void*, UINT_PTR) {
  if (dwDrawAspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  if (!hdcDraw || !lprcBounds) return E_INVALIDARG;
  HRESULT hr = S_OK;
  const ravlin_ui_entries* ui = RequireUi(&hr);
  if (!ui) return hr;
  ui->draw_design_time(hdcDraw, lprcBounds);
  return S_OK;
}

}  // namespace ravlin
