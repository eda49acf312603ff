#include "control/page_factory.h"

#include "control/port_identity.h"
#include "control/property_page.h"

namespace ravlin {

using namespace win;

HRESULT CreatePortPropertyPage(const CLSID& clsid, IUnknown* outer, REFIID riid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  const bool known =
      clsid == CLSID_CPort19Ppg1 || clsid == CLSID_CPort19Ppg2 || clsid == CLSID_CPort19Ppg4;
  if (!known) return CLASS_E_CLASSNOTAVAILABLE;
  if (outer) return CLASS_E_NOAGGREGATION;
  if (clsid == CLSID_CPort19Ppg1) return CreateAggregable<CPort19Ppg1>(nullptr, riid, out);
  if (clsid == CLSID_CPort19Ppg2) return CreateAggregable<CPort19Ppg2>(nullptr, riid, out);
  return CreateAggregable<CPort19Ppg4>(nullptr, riid, out);
}

std::span<const CLSID> PortPropertyPages() {
  static const CLSID pages[] = {CLSID_CPort19Ppg1, CLSID_CPort19Ppg2, CLSID_CPort19Ppg4};
  return pages;
}

}  // namespace ravlin
