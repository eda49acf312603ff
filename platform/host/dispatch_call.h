// Calling a control's members by DISPID, for hosts that declare the DISPIDs they use.
//
// InvokeDispid takes the arguments in declared order, first argument first, and reverses them
// into DISPPARAMS, where the last argument comes first. A property put (or putref) passes its
// value, the last argument, as the named argument DISPID_PROPERTYPUT. The thread's error info is
// cleared before the call, so whatever is found after it comes from the callee. Invoke always
// gets an EXCEPINFO: when the member fails with DISP_E_EXCEPTION, the failure returned is the
// EXCEPINFO's scode (0x80040200 + wCode when scode is 0) and its description is handed back;
// when Invoke fails on its own (no such member, wrong argument count...), the description is that
// of the error info the callee left, if any. The EXCEPINFO's strings are always freed. The caller
// owns the argument VARIANTs: they are passed as they are (by-reference ones write into the
// caller's storage) and never cleared here.
//
// Offers: InvokeDispid, GetProperty, PutProperty, CallMethod.
#pragma once

#include <string>
#include <vector>

#include "platform/com/dispatch.h"

namespace winhost {

// Calls dispid on target with flags (DISPATCH_METHOD, DISPATCH_PROPERTYGET,
// DISPATCH_PROPERTYPUT...) and args in declared order, first argument first.
// result may be null; otherwise it must hold a valid VARIANT, which is cleared first and receives
// the member's result. error may be null; otherwise it is cleared first and receives the
// description of a failure ("" when the callee gave none).
// Returns S_OK (or the member's success code), or the failure: E_POINTER for a null target, the
// exception's code for DISP_E_EXCEPTION, else Invoke's own HRESULT. On failure *result is empty.
win::HRESULT InvokeDispid(win::IDispatch* target, win::DISPID dispid, win::WORD flags,
                          std::vector<win::VARIANT> args, win::VARIANT* result,
                          std::u16string* error);

// InvokeDispid with DISPATCH_PROPERTYGET and no arguments. result must not be null (E_POINTER,
// and nothing is called, when it is).
win::HRESULT GetProperty(win::IDispatch* target, win::DISPID dispid, win::VARIANT* result,
                         std::u16string* error);

// InvokeDispid with DISPATCH_PROPERTYPUT and value as the one (named) argument.
win::HRESULT PutProperty(win::IDispatch* target, win::DISPID dispid, const win::VARIANT& value,
                         std::u16string* error);

// InvokeDispid with DISPATCH_METHOD.
win::HRESULT CallMethod(win::IDispatch* target, win::DISPID dispid, std::vector<win::VARIANT> args,
                        win::VARIANT* result, std::u16string* error);

}  // namespace winhost
