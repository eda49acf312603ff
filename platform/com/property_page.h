// Property pages: the interfaces between a page object and the frame that hosts it.
//
// A frame creates each page object by CLSID, gives it a site (SetPageSite) and the objects to
// edit (SetObjects), asks for its title and size (GetPageInfo), then activates it inside a window
// of its own (Activate: the page builds its dialog as a child of that window) and shows it. While
// the user edits, the page tells its site (OnStatusChange with PROPPAGESTATUS_DIRTY) so the frame
// can enable its Apply button; the frame asks IsPageDirty and calls Apply when the user confirms.
// Closing, the frame deactivates every page and hands it no objects and no site again.
//
// Window handles are opaque here: a parent window is whatever the frame's toolkit uses (the Qt
// frame passes a QWidget*). MSG carries only what a toolkit-neutral accelerator check needs.
//
// Offers: HWND, MSG, PROPPAGEINFO, PROPPAGESTATUS_*, SW_HIDE / SW_SHOW / SW_SHOWNORMAL,
// IPropertyPageSite, IPropertyPage, their IIDs, and FreePropPageInfo.
#pragma once

#include "platform/com/base.h"
#include "platform/com/vartype.h"

namespace win {

using HWND = void*;

struct MSG {
  HWND hwnd;
  UINT message;
  UINT_PTR wParam;
  LONG_PTR lParam;
};

constexpr UINT SW_HIDE = 0;
constexpr UINT SW_SHOWNORMAL = 1;
constexpr UINT SW_SHOW = 5;

constexpr DWORD PROPPAGESTATUS_DIRTY = 0x1;
constexpr DWORD PROPPAGESTATUS_VALIDATE = 0x2;
constexpr DWORD PROPPAGESTATUS_CLEAN = 0x4;

// What a page says about itself. The strings are CoTaskMemAlloc'ed; the caller frees them
// (FreePropPageInfo). size is the page's size in pixels.
struct PROPPAGEINFO {
  ULONG cb;
  LPOLESTR pszTitle;
  SIZE size;
  LPOLESTR pszDocString;
  LPOLESTR pszHelpFile;
  DWORD dwHelpContext;
};

extern const IID IID_IPropertyPageSite;
extern const IID IID_IPropertyPage;

struct IPropertyPageSite : IUnknown {
  // flags: PROPPAGESTATUS_* (DIRTY | VALIDATE when the user changed a field).
  virtual HRESULT OnStatusChange(DWORD dwFlags) = 0;
  virtual HRESULT GetLocaleID(LCID* pLocaleID) = 0;
  virtual HRESULT GetPageContainer(IUnknown** ppUnk) = 0;
  virtual HRESULT TranslateAccelerator(MSG* pMsg) = 0;
};

struct IPropertyPage : IUnknown {
  virtual HRESULT SetPageSite(IPropertyPageSite* pPageSite) = 0;
  // Creates the page's dialog as a child of hWndParent at *pRect.
  virtual HRESULT Activate(HWND hWndParent, const RECT* pRect, BOOL bModal) = 0;
  virtual HRESULT Deactivate() = 0;
  virtual HRESULT GetPageInfo(PROPPAGEINFO* pPageInfo) = 0;
  // The objects to edit (cObjects 0 and a null array releases them).
  virtual HRESULT SetObjects(ULONG cObjects, IUnknown** ppUnk) = 0;
  virtual HRESULT Show(UINT nCmdShow) = 0;
  virtual HRESULT Move(const RECT* pRect) = 0;
  // S_OK when dirty, S_FALSE when clean.
  virtual HRESULT IsPageDirty() = 0;
  virtual HRESULT Apply() = 0;
  virtual HRESULT Help(LPCOLESTR pszHelpDir) = 0;
  virtual HRESULT TranslateAccelerator(MSG* pMsg) = 0;
};

// Frees the strings of a PROPPAGEINFO and nulls them (convenience, not platform API).
void FreePropPageInfo(PROPPAGEINFO* info);

}  // namespace win
