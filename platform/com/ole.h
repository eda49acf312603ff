// Embedding: the interfaces between a control and the container (form) that hosts it.
//
// The host gives each control a client site (IOleObject::SetClientSite). Through the site the
// control reaches the ambient properties (the site's IDispatch: UserMode tells run mode from
// design mode, LocaleID the container's locale), its extender object (IOleControlSite::
// GetExtendedControl; the extender's Name is the control's name on the form) and the container
// (IOleClientSite::GetContainer), which enumerates the controls on the form. Only the members the
// Port control and its hosts use are declared; drawing, in-place activation, monikers and data
// transfer are left out.
//
// Offers: IOleObject (subset), IOleControl (subset), IOleClientSite, IOleControlSite (subset),
// IOleContainer, ISpecifyPropertyPages and CAUUID, IProvideClassInfo2 (GetGUID), the ambient
// DISPIDs, OLEMISC_ / OLECLOSE_ / OLECONTF_ values, SIZEL.
#pragma once

#include "platform/com/connection_point.h"
#include "platform/com/dispatch.h"

namespace win {

extern const IID IID_IOleObject;
extern const IID IID_IOleControl;
extern const IID IID_IOleClientSite;
extern const IID IID_IOleControlSite;
extern const IID IID_IOleContainer;
extern const IID IID_ISpecifyPropertyPages;
extern const IID IID_IProvideClassInfo;
extern const IID IID_IProvideClassInfo2;

// Ambient properties (read through the client site's IDispatch).
constexpr DISPID DISPID_AMBIENT_LOCALEID = -705;
constexpr DISPID DISPID_AMBIENT_DISPLAYNAME = -702;
constexpr DISPID DISPID_AMBIENT_USERMODE = -709;

constexpr DWORD OLECLOSE_SAVEIFDIRTY = 0;
constexpr DWORD OLECLOSE_NOSAVE = 1;
constexpr DWORD OLECLOSE_PROMPTSAVE = 2;

constexpr DWORD OLECONTF_EMBEDDINGS = 1;
constexpr DWORD OLECONTF_LINKS = 2;
constexpr DWORD OLECONTF_OTHERS = 4;
constexpr DWORD OLECONTF_ONLYUSER = 8;
constexpr DWORD OLECONTF_ONLYIFRUNNING = 16;

constexpr DWORD DVASPECT_CONTENT = 1;
constexpr DWORD OLEMISC_RECOMPOSEONRESIZE = 0x1;
constexpr DWORD OLEMISC_CANTLINKINSIDE = 0x10;
constexpr DWORD OLEMISC_INSIDEOUT = 0x80;
constexpr DWORD OLEMISC_ACTIVATEWHENVISIBLE = 0x100;
constexpr DWORD OLEMISC_INVISIBLEATRUNTIME = 0x400;
constexpr DWORD OLEMISC_SETCLIENTSITEFIRST = 0x20000;

constexpr DWORD GUIDKIND_DEFAULT_SOURCE_DISP_IID = 1;

struct SIZEL {
  LONG cx;
  LONG cy;
};

struct CAUUID {
  ULONG cElems;
  GUID* pElems;  // CoTaskMemAlloc'ed; the caller frees it with CoTaskMemFree
};

struct IOleContainer;

struct IOleClientSite : IUnknown {
  virtual HRESULT SaveObject() = 0;
  virtual HRESULT GetContainer(IOleContainer** ppContainer) = 0;
  virtual HRESULT ShowObject() = 0;
  virtual HRESULT OnShowWindow(BOOL fShow) = 0;
  virtual HRESULT RequestNewObjectLayout() = 0;
};

struct IOleControlSite : IUnknown {
  virtual HRESULT OnControlInfoChanged() = 0;
  virtual HRESULT LockInPlaceActive(BOOL fLock) = 0;
  virtual HRESULT GetExtendedControl(IDispatch** ppDisp) = 0;
  virtual HRESULT OnFocus(BOOL fGotFocus) = 0;
  virtual HRESULT ShowPropertyFrame() = 0;
};

struct IOleContainer : IUnknown {
  // The controls on the form, in the order they were placed.
  virtual HRESULT EnumObjects(DWORD grfFlags, IEnumUnknown** ppenum) = 0;
  virtual HRESULT LockContainer(BOOL fLock) = 0;
};

struct IOleObject : IUnknown {
  virtual HRESULT SetClientSite(IOleClientSite* pClientSite) = 0;
  virtual HRESULT GetClientSite(IOleClientSite** ppClientSite) = 0;
  virtual HRESULT Close(DWORD dwSaveOption) = 0;
  // Verb 0 ("properties") and the standard negative verbs; no window or message arguments here.
  virtual HRESULT DoVerb(LONG iVerb, IOleClientSite* pActiveSite) = 0;
  virtual HRESULT GetUserClassID(CLSID* pClsid) = 0;
  virtual HRESULT SetExtent(DWORD dwDrawAspect, SIZEL* psizel) = 0;
  virtual HRESULT GetExtent(DWORD dwDrawAspect, SIZEL* psizel) = 0;
  virtual HRESULT GetMiscStatus(DWORD dwAspect, DWORD* pdwStatus) = 0;
};

struct IOleControl : IUnknown {
  virtual HRESULT OnAmbientPropertyChange(DISPID dispID) = 0;
  virtual HRESULT FreezeEvents(BOOL bFreeze) = 0;
};

struct ISpecifyPropertyPages : IUnknown {
  virtual HRESULT GetPages(CAUUID* pPages) = 0;
};

struct IProvideClassInfo : IUnknown {
  virtual HRESULT GetClassInfo(ITypeInfo** ppTI) = 0;
};

struct IProvideClassInfo2 : IProvideClassInfo {
  // GUIDKIND_DEFAULT_SOURCE_DISP_IID: the IID of the default event interface.
  virtual HRESULT GetGUID(DWORD dwGuidKind, GUID* pGUID) = 0;
};

// Reads an ambient property through a client site (S_OK with the value, or the failure).
HRESULT GetAmbientProperty(IOleClientSite* site, DISPID dispid, VARIANT* value);

}  // namespace win
