// Identities of the property-page and drawing interfaces.
#include "platform/com/property_page.h"

#include "platform/com/view_object.h"

namespace win {

const IID IID_IPropertyPageSite = {
    0xB196B28C, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};
const IID IID_IPropertyPage = {
    0xB196B28D, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};
const IID IID_IViewObject = {0x0000010D, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

void FreePropPageInfo(PROPPAGEINFO* info) {
  if (!info) return;
  CoTaskMemFree(info->pszTitle);
  CoTaskMemFree(info->pszDocString);
  CoTaskMemFree(info->pszHelpFile);
  info->pszTitle = info->pszDocString = info->pszHelpFile = nullptr;
}

}  // namespace win
