// The property frame: the modal dialog that shows property pages for a set of objects (the
// stand-in for the platform's OleCreatePropertyFrame).
//
// How it works. The frame gives each page a site, the objects and asks for its page info; each
// page then builds its dialog inside a tab of its own (Activate), in page order, titled with the
// page's title. A page's site passes the page's status changes on, and the frame enables Apply
// while some page is dirty. Apply applies the dirty pages; OK applies them and closes; Cancel
// (or Esc) closes without applying. Closing, every page is deactivated and gets no objects and
// no site again. The frame is titled "<caption>のプロパティ" and owned by the given window or,
// without one, by the application's active window.
//
// Offers: ShowPropertyFrame, OleCreatePropertyFrame.
#pragma once

#include <QString>
#include <span>

#include "platform/com/property_page.h"

class QWidget;

namespace ravlin::ui {

// Shows pages (made by the caller) for objects and returns once the frame is closed: S_OK. When
// a page cannot be activated nothing is shown and its failure is returned (the pages activated
// before it are deactivated and let go again).
win::HRESULT ShowPropertyFrame(QWidget* owner, const QString& caption,
                               std::span<win::IUnknown* const> objects,
                               std::span<win::IPropertyPage* const> pages, win::LCID lcid);

// The platform's entry point: makes each page by class id (CoCreateInstance) and shows them as
// ShowPropertyFrame does. hwndOwner is a QWidget* (null: the active window); the frame is
// placed at (x, y) of the owner when either is not 0. The first page that cannot be made is
// the result, and nothing is shown. E_INVALIDARG for a count without its array.
win::HRESULT OleCreatePropertyFrame(win::HWND hwndOwner, win::UINT x, win::UINT y,
                                    win::LPCOLESTR lpszCaption, win::ULONG cObjects,
                                    win::IUnknown** ppUnk, win::ULONG cPages,
                                    const win::CLSID* pPageClsID, win::LCID lcid,
                                    win::DWORD dwReserved, void* pvReserved);

}  // namespace ravlin::ui
