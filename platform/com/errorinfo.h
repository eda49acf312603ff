// Error information: a per-thread slot holding the description of the last failure.
//
// A failing member creates an error object (CreateErrorInfo), fills source, description and
// interface GUID, and sets it for the calling thread (SetErrorInfo). The caller (or Invoke, for
// EXCEPINFO) takes it with GetErrorInfo, which empties the slot. ISupportErrorInfo tells a caller
// on which interfaces the object reports this way.
#pragma once

#include <string_view>

#include "platform/com/base.h"
#include "platform/com/bstr.h"

namespace win {

extern const IID IID_IErrorInfo;
extern const IID IID_ICreateErrorInfo;
extern const IID IID_ISupportErrorInfo;

struct IErrorInfo : IUnknown {
  virtual HRESULT GetGUID(GUID* pGUID) = 0;
  virtual HRESULT GetSource(BSTR* pBstrSource) = 0;
  virtual HRESULT GetDescription(BSTR* pBstrDescription) = 0;
  virtual HRESULT GetHelpFile(BSTR* pBstrHelpFile) = 0;
  virtual HRESULT GetHelpContext(DWORD* pdwHelpContext) = 0;
};

struct ICreateErrorInfo : IUnknown {
  virtual HRESULT SetGUID(REFGUID rguid) = 0;
  virtual HRESULT SetSource(LPOLESTR szSource) = 0;
  virtual HRESULT SetDescription(LPOLESTR szDescription) = 0;
  virtual HRESULT SetHelpFile(LPOLESTR szHelpFile) = 0;
  virtual HRESULT SetHelpContext(DWORD dwHelpContext) = 0;
};

struct ISupportErrorInfo : IUnknown {
  virtual HRESULT InterfaceSupportsErrorInfo(REFIID riid) = 0;
};

// A new, empty error object (it answers IErrorInfo too).
HRESULT CreateErrorInfo(ICreateErrorInfo** pperrinfo);
// Replaces the calling thread's error object (null clears it). dwReserved must be 0.
HRESULT SetErrorInfo(ULONG dwReserved, IErrorInfo* perrinfo);
// Takes the calling thread's error object: S_OK with it, or S_FALSE and null when there is none.
HRESULT GetErrorInfo(ULONG dwReserved, IErrorInfo** pperrinfo);

// Convenience (not platform API): builds and sets an error object, and returns hr so a member can
// write `return ReportError(hr, u"Cobrix.Port.1", text, GUID_NULL);`. Returns E_OUTOFMEMORY when
// the object cannot be made.
HRESULT ReportError(HRESULT hr, std::u16string_view source, std::u16string_view description,
                    REFIID iid = GUID_NULL);

}  // namespace win
