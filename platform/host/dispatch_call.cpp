#include "platform/host/dispatch_call.h"

#include <algorithm>
#include <utility>

#include "platform/com/errorinfo.h"
#include "platform/com/unknown.h"

namespace winhost {

using namespace win;

namespace {

// The description of the error info the callee left on this thread (taken), or "".
std::u16string TakeErrorDescription() {
  ComPtr<IErrorInfo> info;
  if (GetErrorInfo(0, info.Receive()) != S_OK || !info) return {};
  Bstr description;
  if (FAILED(info->GetDescription(description.Receive()))) return {};
  return std::u16string(description.View());
}

}  // namespace

HRESULT InvokeDispid(IDispatch* target, DISPID dispid, WORD flags, std::vector<VARIANT> args,
                     VARIANT* result, std::u16string* error) {
  if (error) error->clear();
  if (result) VariantClear(result);
  if (!target) return E_POINTER;

  std::reverse(args.begin(), args.end());  // DISPPARAMS holds the last argument first
  DISPID putId = DISPID_PROPERTYPUT;
  DISPPARAMS params{args.empty() ? nullptr : args.data(), nullptr, static_cast<UINT>(args.size()),
                    0};
  if ((flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) && !args.empty()) {
    params.rgdispidNamedArgs = &putId;  // names rgvarg[0], the value
    params.cNamedArgs = 1;
  }

  EXCEPINFO excep{};
  UINT argErr = 0;
  SetErrorInfo(0, nullptr);
  HRESULT hr = target->Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, &excep,
                              &argErr);
  std::u16string description;
  if (hr == DISP_E_EXCEPTION) {
    if (excep.pfnDeferredFillIn) excep.pfnDeferredFillIn(&excep);
    hr = excep.scode ? excep.scode : MakeHResult(0x80040200u + excep.wCode);
    description = BstrView(excep.bstrDescription);
  } else if (FAILED(hr)) {
    description = TakeErrorDescription();
  }
  ClearExcepInfo(&excep);
  if (FAILED(hr)) {
    if (result) VariantClear(result);
    if (error) *error = std::move(description);
  }
  return hr;
}

HRESULT GetProperty(IDispatch* target, DISPID dispid, VARIANT* result, std::u16string* error) {
  if (!result) {
    if (error) error->clear();
    return E_POINTER;
  }
  return InvokeDispid(target, dispid, DISPATCH_PROPERTYGET, {}, result, error);
}

HRESULT PutProperty(IDispatch* target, DISPID dispid, const VARIANT& value, std::u16string* error) {
  return InvokeDispid(target, dispid, DISPATCH_PROPERTYPUT, {value}, nullptr, error);
}

HRESULT CallMethod(IDispatch* target, DISPID dispid, std::vector<VARIANT> args, VARIANT* result,
                   std::u16string* error) {
  return InvokeDispid(target, dispid, DISPATCH_METHOD, std::move(args), result, error);
}

}  // namespace winhost
