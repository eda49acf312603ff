// Error objects and the per-thread error slot.
#include "platform/com/errorinfo.h"

#include <string>

#include "platform/com/unknown.h"

namespace win {

const IID IID_IErrorInfo = {
    0x1CF2B120, 0x547D, 0x101B, {0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B, 0xD1, 0x19}};
const IID IID_ICreateErrorInfo = {
    0x22F03340, 0x547D, 0x101B, {0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B, 0xD1, 0x19}};
const IID IID_ISupportErrorInfo = {
    0xDF0B3D60, 0x548F, 0x101B, {0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B, 0xD1, 0x19}};

namespace {

std::u16string Text(LPCOLESTR s) {
  return s ? std::u16string(s) : std::u16string();
}

HRESULT Out(const std::u16string& text, BSTR* out) {
  if (!out) return E_INVALIDARG;
  *out = SysAllocString(text);
  return *out ? S_OK : E_OUTOFMEMORY;
}

class ErrorObject final : public Unknown<IErrorInfo, ICreateErrorInfo> {
 public:
  HRESULT GetGUID(GUID* pGUID) override {
    if (!pGUID) return E_INVALIDARG;
    *pGUID = guid_;
    return S_OK;
  }
  HRESULT GetSource(BSTR* out) override { return Out(source_, out); }
  HRESULT GetDescription(BSTR* out) override { return Out(description_, out); }
  HRESULT GetHelpFile(BSTR* out) override { return Out(helpFile_, out); }
  HRESULT GetHelpContext(DWORD* out) override {
    if (!out) return E_INVALIDARG;
    *out = helpContext_;
    return S_OK;
  }
  HRESULT SetGUID(REFGUID g) override {
    guid_ = g;
    return S_OK;
  }
  HRESULT SetSource(LPOLESTR s) override {
    source_ = Text(s);
    return S_OK;
  }
  HRESULT SetDescription(LPOLESTR s) override {
    description_ = Text(s);
    return S_OK;
  }
  HRESULT SetHelpFile(LPOLESTR s) override {
    helpFile_ = Text(s);
    return S_OK;
  }
  HRESULT SetHelpContext(DWORD c) override {
    helpContext_ = c;
    return S_OK;
  }

 private:
  IUnknown* FindInterface(REFIID riid) override {
    if (IsEqualGUID(riid, IID_IErrorInfo)) return static_cast<IErrorInfo*>(this);
    if (IsEqualGUID(riid, IID_ICreateErrorInfo)) return static_cast<ICreateErrorInfo*>(this);
    return nullptr;
  }
  GUID guid_ = GUID_NULL;
  std::u16string source_, description_, helpFile_;
  DWORD helpContext_ = 0;
};

// The calling thread's slot; the reference is released when the thread ends.
struct Slot {
  IErrorInfo* info = nullptr;
  ~Slot() {
    if (info) info->Release();
  }
};
thread_local Slot tSlot;

}  // namespace

HRESULT CreateErrorInfo(ICreateErrorInfo** pperrinfo) {
  if (!pperrinfo) return E_INVALIDARG;
  auto obj = MakeObject<ErrorObject>();
  if (!obj) {
    *pperrinfo = nullptr;
    return E_OUTOFMEMORY;
  }
  *pperrinfo = static_cast<ICreateErrorInfo*>(obj.Detach());
  return S_OK;
}

HRESULT SetErrorInfo(ULONG dwReserved, IErrorInfo* perrinfo) {
  if (dwReserved != 0) return E_INVALIDARG;
  if (perrinfo) perrinfo->AddRef();
  IErrorInfo* old = tSlot.info;
  tSlot.info = perrinfo;
  if (old) old->Release();
  return S_OK;
}

HRESULT GetErrorInfo(ULONG dwReserved, IErrorInfo** pperrinfo) {
  if (!pperrinfo) return E_INVALIDARG;
  *pperrinfo = nullptr;
  if (dwReserved != 0) return E_INVALIDARG;
  if (!tSlot.info) return S_FALSE;
  *pperrinfo = tSlot.info;  // the slot's reference moves to the caller
  tSlot.info = nullptr;
  return S_OK;
}

HRESULT ReportError(HRESULT hr, std::u16string_view source, std::u16string_view description,
                    REFIID iid) {
  ICreateErrorInfo* create = nullptr;
  if (FAILED(CreateErrorInfo(&create))) return E_OUTOFMEMORY;
  std::u16string s(source), d(description);
  create->SetGUID(iid);
  create->SetSource(s.data());
  create->SetDescription(d.data());
  IErrorInfo* info = nullptr;
  create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info));
  create->Release();
  SetErrorInfo(0, info);
  if (info) info->Release();
  return hr;
}

}  // namespace win
