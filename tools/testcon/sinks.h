// The sinks a host advises on a Port control: one for _IPort18Events that turns every event into
// a line "event NAME(ARG, ...)" (arguments in declared order, printed as values), and one for
// IPropertyNotifySink that turns every notification into "changed DISPID". Each line goes to a
// callback, so the test container prints it and tests collect it.
#pragma once

#include <functional>
#include <string>

#include "platform/com/connection_point.h"
#include "platform/com/unknown.h"

namespace testcon {

using line_callback = std::function<void(const std::string&)>;

class event_sink final : public win::Unknown<win::IDispatch> {
 public:
  explicit event_sink(line_callback out) : out_(std::move(out)) {}

  // A hook that runs inside the event call, before the line is printed (tests use it to act
  // on the arguments, e.g. change a by-reference array, or to fail the call).
  using hook = std::function<win::HRESULT(win::DISPID, win::DISPPARAMS*)>;
  void set_hook(hook h) { hook_ = std::move(h); }

  win::HRESULT GetTypeInfoCount(win::UINT* n) override;
  win::HRESULT GetTypeInfo(win::UINT, win::LCID, win::ITypeInfo** p) override;
  win::HRESULT GetIDsOfNames(win::REFIID, win::LPOLESTR*, win::UINT, win::LCID,
                             win::DISPID*) override;
  win::HRESULT Invoke(win::DISPID dispid, win::REFIID riid, win::LCID lcid, win::WORD flags,
                      win::DISPPARAMS* params, win::VARIANT* result, win::EXCEPINFO* excep,
                      win::UINT* argErr) override;

 private:
  win::IUnknown* FindInterface(win::REFIID riid) override;
  line_callback out_;
  hook hook_;
};

class notify_sink final : public win::Unknown<win::IPropertyNotifySink> {
 public:
  explicit notify_sink(line_callback out) : out_(std::move(out)) {}
  win::HRESULT OnChanged(win::DISPID dispid) override;
  win::HRESULT OnRequestEdit(win::DISPID dispid) override;

  using hook = std::function<void(win::DISPID)>;
  void set_hook(hook h) { hook_ = std::move(h); }

 private:
  win::IUnknown* FindInterface(win::REFIID riid) override;
  line_callback out_;
  hook hook_;
};

// Advises sink on the connection point for iid of control; the cookie, or 0 on failure.
win::DWORD advise(win::IUnknown* control, win::REFIID iid, win::IUnknown* sink);

}  // namespace testcon
