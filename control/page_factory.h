// Making the Port control's property page objects by class id: what the library's object map
// hands to the page classes' class objects, and the list of pages the control shows.
//
// Offers: CreatePortPropertyPage, PortPropertyPages.
#pragma once

#include <span>

#include "platform/com/base.h"

namespace ravlin {

// Creates the page object of clsid (CPort19Ppg1, CPort19Ppg2 or CPort19Ppg4) and queries it for
// riid. E_POINTER for a null out; CLASS_E_CLASSNOTAVAILABLE for any other class id (the page
// class Port19Ppg3 has no implementation); CLASS_E_NOAGGREGATION when outer is given;
// E_OUTOFMEMORY; E_NOINTERFACE. *out is null on every failure.
win::HRESULT CreatePortPropertyPage(const win::CLSID& clsid, win::IUnknown* outer, win::REFIID riid,
                                    void** out);

// The control's pages in the order they are shown: Ppg1, Ppg2, Ppg4.
std::span<const win::CLSID> PortPropertyPages();

}  // namespace ravlin
