#include "tools/testcon/host.h"

#include <memory>

#include "control/port_identity.h"
#include "control/port_members.h"
#include "platform/com/activation.h"
#include "platform/com/apartment.h"
#include "platform/com/errorinfo.h"
#include "platform/com/ole.h"
#include "platform/com/stream.h"
#include "platform/fileio/whole_file.h"
#include "platform/host/value_format.h"
#include "platform/text/convert.h"
#include "platform/text/excerpt.h"
#include "tools/testcon/member_listing.h"
#include "tools/testcon/port_listing.h"

namespace testcon {

using namespace win;
using winhost::format_failure;
using winhost::format_value;

namespace {

const ravlin::member_spec* find_member(DISPID dispid, WORD flags) {
  using ravlin::member_kind;
  if (flags & DISPATCH_PROPERTYPUT) return ravlin::findPortMember(dispid, member_kind::propput);
  if (flags & DISPATCH_PROPERTYGET) return ravlin::findPortMember(dispid, member_kind::propget);
  return ravlin::findPortMember(dispid, member_kind::method);
}

// The storage one argument needs for the length of the call.
struct arg_slot {
  Variant value;               // what is passed (by value, or BYREF pointing below)
  BSTR text = nullptr;         // BYREF string storage
  SAFEARRAY* array = nullptr;  // BYREF array storage
  bool out = false;
  std::string name;
  ~arg_slot() {
    SysFreeString(text);
    if (array) SafeArrayDestroy(array);
  }
};

// The controls an argument @NAME can name.
using object_lookup = std::function<IDispatch*(const std::string&)>;

// Turns one written argument into the VARIANT for a parameter of type `type` (0: unknown).
HRESULT make_arg(const arg_value& a, std::uint16_t type, bool out, arg_slot* slot,
                 const object_lookup& lookup, std::string* error) {
  namespace vt = ravlin::vt;
  if (auto* o = std::get_if<arg_object>(&a)) {
    IDispatch* object = lookup(o->name);
    if (!object) {
      *error = "no control named '" + Excerpt(o->name) + "' on the form";
      return E_INVALIDARG;
    }
    slot->value = Variant::Dispatch(object);
    return S_OK;
  }
  const bool wantsBytes = (type & ~vt::byref) == vt::bytes;
  const bool byref = (type & vt::byref) != 0;
  if (std::holds_alternative<arg_omitted>(a)) {
    slot->value = Variant::Missing();
    return S_OK;
  }
  if (wantsBytes && byref) {
    if (auto* b = std::get_if<arg_bytes>(&a)) {
      slot->array = SafeArrayFromBytes(b->bytes.data(), b->bytes.size());
      if (!slot->array) return E_OUTOFMEMORY;
    } else if (!std::holds_alternative<arg_nothing>(a) && !out) {
      *error = "a byte array (bytes:...) or nothing is needed here";
      return DISP_E_TYPEMISMATCH;
    }
    slot->value = Variant::ByRef(VT_ARRAY | VT_UI1, &slot->array);
    return S_OK;
  }
  if (type == (vt::bstr | vt::byref)) {
    if (auto* s = std::get_if<std::u16string>(&a)) slot->text = SysAllocString(*s);
    slot->value = Variant::ByRef(VT_BSTR, &slot->text);
    return S_OK;
  }
  if (auto* i = std::get_if<std::int32_t>(&a)) {
    slot->value = Variant::I4(*i);
  } else if (auto* d = std::get_if<double>(&a)) {
    slot->value = Variant::R8(*d);
  } else if (auto* b = std::get_if<bool>(&a)) {
    slot->value = Variant::Bool(*b);
  } else if (auto* s = std::get_if<std::u16string>(&a)) {
    slot->value = Variant::Str(*s);
  } else if (auto* bytes = std::get_if<arg_bytes>(&a)) {
    SAFEARRAY* sa = SafeArrayFromBytes(bytes->bytes.data(), bytes->bytes.size());
    if (!sa) return E_OUTOFMEMORY;
    slot->value = Variant::ArrayAttach(VT_UI1, sa);
  } else if (std::holds_alternative<arg_nothing>(a)) {
    if (wantsBytes) {
      slot->value.vt = VT_ARRAY | VT_UI1;
      slot->value.parray = nullptr;
    } else {
      slot->value = Variant::Dispatch(nullptr);
    }
  }
  return S_OK;
}

// The calling thread's error description (taken), empty when there is none.
std::u16string take_error_description() {
  ComPtr<IErrorInfo> info;
  if (GetErrorInfo(0, info.Receive()) != S_OK || !info) return {};
  Bstr description;
  info->GetDescription(description.Receive());
  return std::u16string(description.View());
}

}  // namespace

host::host(line_callback out) : out_(std::move(out)) {}

host::~host() {
  close();
}

void host::close() {
  if (form_) form_->Close();
  siblings_.clear();
  form_.Reset();
  control_.Reset();
  // Whatever may still hold the sinks reaches nothing from here on.
  if (events_) events_->set_handler({});
  if (notify_) notify_->set_callback({});
}

void host::fail(HRESULT hr, std::u16string_view description) {
  ++failures_;
  out_(format_failure(hr, description));
}

void host::fail(HRESULT hr, const std::string& description) {
  fail(hr, std::u16string_view(Utf8ToUtf16(description)));
}

HRESULT host::create(const std::string& library) {
  HRESULT hr = library.empty() ? CoCreateInstance(ravlin::CLSID_Port, nullptr, CLSCTX_INPROC_SERVER,
                                                  IID_IDispatch, control_.ReceiveVoid())
                               : CoCreateInstanceFromLibrary(library.c_str(), ravlin::CLSID_Port,
                                                             nullptr, CLSCTX_INPROC_SERVER,
                                                             IID_IDispatch, control_.ReceiveVoid());
  if (FAILED(hr)) {
    fail(hr, std::string("cannot create the Port control") +
                 (library.empty() ? "" : " from " + library));
    return hr;
  }
  form_ = ComPtr<Form>::Attach(new Form);
  form_->SetUserMode(true);
  form_->AddControl(control_.get(), u"Port1");
  events_ = make_event_sink(out_);
  notify_ = make_notify_sink(out_);
  if (!advise(control_.get(), ravlin::DIID__IPort18Events, events_.get()) ||
      !advise(control_.get(), IID_IPropertyNotifySink, notify_.get())) {
    fail(CONNECT_E_CANNOTCONNECT, std::string("cannot connect to the control's events"));
    return CONNECT_E_CANNOTCONNECT;
  }
  return S_OK;
}

void host::pump(int ms) {
  WaitWithDispatch(0, nullptr, static_cast<DWORD>(ms));
}

bool host::run_line(std::string_view line) {
  command c;
  std::string error;
  if (!parse_command_line(line, &c, &error)) {
    fail(E_INVALIDARG, error);
    return true;
  }
  if (c.kind == command_kind::none) return true;
  if (c.kind == command_kind::quit) {
    out_("=> ok");
    return false;
  }
  run(c);
  return true;
}

void host::run(const command& c) {
  switch (c.kind) {
    case command_kind::pump:
      pump(c.milliseconds);
      out_("=> ok");
      return;
    case command_kind::mode:
      if (form_) form_->SetUserMode(c.run_mode);
      out_("=> ok");
      return;
    case command_kind::help: {
      if (!c.name.empty()) {
        const std::vector<std::string> lines = describe_member(c.name);
        if (lines.empty())
          return fail(DISP_E_UNKNOWNNAME, "unknown member '" + Excerpt(c.name) + "'");
        for (const std::string& l : lines) out_(l);
        out_("=> ok");
        return;
      }
      const std::string_view summary = command_summary();
      for (std::size_t start = 0; start < summary.size();) {
        const std::size_t nl = summary.find('\n', start);
        out_(std::string(summary.substr(start, nl - start)));
        start = nl == std::string_view::npos ? summary.size() : nl + 1;
      }
      out_("=> ok");
      return;
    }
    case command_kind::members: {
      const std::vector<std::string> lines = list_members();
      for (const std::string& l : lines) out_(l);
      out_("=> " + std::to_string(lines.size()) + " entries");
      return;
    }
    case command_kind::ports:
      for (const std::string& l : list_serial_ports()) out_(l);
      out_("=> ok");
      return;
    default:
      break;
  }
  if (!control_) {
    fail(E_UNEXPECTED, std::string("no control"));
    return;
  }
  switch (c.kind) {
    case command_kind::save:
      save(Utf16ToUtf8(std::get<std::u16string>(c.args.at(0))));
      return;
    case command_kind::load:
      load(Utf16ToUtf8(std::get<std::u16string>(c.args.at(0))));
      return;
    case command_kind::dirty:
      dirty();
      return;
    case command_kind::pages:
      pages();
      return;
    case command_kind::place:
      place(c);
      return;
    case command_kind::unplace:
      unplace(c);
      return;
    case command_kind::tell:
      tell(c);
      return;
    default:
      break;
  }
  if (c.kind == command_kind::invoke) {
    WORD flags = c.action == invoke_action::get   ? DISPATCH_PROPERTYGET
                 : c.action == invoke_action::put ? DISPATCH_PROPERTYPUT
                                                  : DISPATCH_METHOD;
    invoke(c.dispid, flags, c.args);
    return;
  }
  DISPID dispid = DISPID_UNKNOWN;
  HRESULT hr = DispidOfName(control_.get(), Utf8ToUtf16(c.name), &dispid);
  if (FAILED(hr)) {
    fail(hr, "unknown member '" + Excerpt(c.name) + "'");
    return;
  }
  WORD flags = c.kind == command_kind::get   ? DISPATCH_PROPERTYGET
               : c.kind == command_kind::put ? DISPATCH_PROPERTYPUT
                                             : DISPATCH_METHOD;
  invoke(dispid, flags, c.args);
}

// The control's settings go to memory first and then replace the file in one step, so a failed
// save never leaves a half-written file behind.
void host::save(const std::string& path) {
  ComPtr<IPersistStreamInit> persist;
  HRESULT hr = control_->QueryInterface(IID_IPersistStreamInit, persist.ReceiveVoid());
  if (FAILED(hr)) return fail(hr, std::string("the control cannot save its settings"));
  ComPtr<IStream> stream;
  hr = CreateStreamOnMemory(nullptr, 0, stream.Receive());
  if (SUCCEEDED(hr)) hr = persist->Save(stream.get(), TRUE);
  std::vector<BYTE> bytes;
  if (SUCCEEDED(hr)) hr = ReadStreamBytes(stream.get(), &bytes);
  if (FAILED(hr)) return fail(hr, std::string("saving the settings failed"));
  const std::string_view contents(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  std::string why;
  if (!fileio::ReplaceWholeFile(path, contents, &why)) return fail(STG_E_WRITEFAULT, Excerpt(why));
  out_("=> " + std::to_string(bytes.size()) + " bytes");
}

void host::load(const std::string& path) {
  ComPtr<IPersistStreamInit> persist;
  HRESULT hr = control_->QueryInterface(IID_IPersistStreamInit, persist.ReceiveVoid());
  if (FAILED(hr)) return fail(hr, std::string("the control cannot load settings"));
  ComPtr<IStream> stream;
  hr = SHCreateStreamOnFileA(path.c_str(), STGM_READ, stream.Receive());
  if (FAILED(hr)) return fail(hr, "cannot read '" + Excerpt(path) + "'");
  hr = persist->Load(stream.get());
  if (FAILED(hr)) return fail(hr, "'" + Excerpt(path) + "' holds no settings the control can load");
  out_("=> ok");
}

void host::dirty() {
  ComPtr<IPersistStreamInit> persist;
  HRESULT hr = control_->QueryInterface(IID_IPersistStreamInit, persist.ReceiveVoid());
  if (FAILED(hr)) return fail(hr, std::string("the control keeps no settings"));
  hr = persist->IsDirty();
  if (FAILED(hr)) return fail(hr, std::u16string_view());
  out_(hr == S_OK ? "=> true" : "=> false");
}

void host::pages() {
  ComPtr<ISpecifyPropertyPages> pages;
  HRESULT hr = control_->QueryInterface(IID_ISpecifyPropertyPages, pages.ReceiveVoid());
  if (FAILED(hr)) return fail(hr, std::string("the control has no property pages"));
  CAUUID list{};
  hr = pages->GetPages(&list);
  if (FAILED(hr)) return fail(hr, std::u16string_view());
  std::string line = "=>";
  for (ULONG i = 0; i < list.cElems; ++i) line += (i ? ", " : " ") + FormatGuid(list.pElems[i]);
  CoTaskMemFree(list.pElems);
  out_(line);
}

void host::invoke(DISPID dispid, WORD flags, const std::vector<arg_value>& args) {
  const ravlin::member_spec* member = find_member(dispid, flags);
  // Out-parameters always get storage, so their values can be shown; "-" leaves one out.
  std::size_t count = args.size();
  if (member && flags == DISPATCH_METHOD) {
    for (std::size_t i = count; i < member->params.size(); ++i)
      if (member->params[i].flags & ravlin::pf_out) count = i + 1;
  }
  std::vector<std::unique_ptr<arg_slot>> slots;
  for (std::size_t i = 0; i < count; ++i) {
    auto slot = std::make_unique<arg_slot>();
    std::uint16_t type = 0;
    bool out = false;
    if (member && i < member->params.size()) {
      type = member->params[i].type;
      out = (member->params[i].flags & ravlin::pf_out) != 0;
      slot->name = member->params[i].name;
    }
    slot->out = out && (i >= args.size() || !std::holds_alternative<arg_omitted>(args[i]));
    std::string error;
    arg_value given = i < args.size() ? args[i] : arg_value{arg_nothing{}};
    HRESULT hr = make_arg(
        given, type, out, slot.get(), [this](const std::string& name) { return placed(name); },
        &error);
    if (FAILED(hr)) {
      fail(hr, "argument " + std::to_string(i + 1) + ": " + error);
      return;
    }
    slots.push_back(std::move(slot));
  }
  // DISPPARAMS holds the last argument first.
  std::vector<VARIANT> reversed;
  for (auto it = slots.rbegin(); it != slots.rend(); ++it) reversed.push_back((*it)->value);
  DISPID putId = DISPID_PROPERTYPUT;
  DISPPARAMS params{reversed.empty() ? nullptr : reversed.data(), nullptr,
                    static_cast<UINT>(reversed.size()), 0};
  if (flags == DISPATCH_PROPERTYPUT) {
    params.rgdispidNamedArgs = &putId;
    params.cNamedArgs = 1;
  }
  Variant result;
  EXCEPINFO excep{};
  UINT argErr = 0;
  SetErrorInfo(0, nullptr);
  HRESULT hr = control_->Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, &result,
                                &excep, &argErr);
  if (hr == DISP_E_EXCEPTION) {
    HRESULT code = excep.scode ? excep.scode : MakeHResult(0x80040200u + excep.wCode);
    fail(code, BstrView(excep.bstrDescription));
    ClearExcepInfo(&excep);
    return;
  }
  ClearExcepInfo(&excep);
  if (FAILED(hr)) {
    std::string what;
    if (hr == DISP_E_MEMBERNOTFOUND) what = "no such member for this call";
    if (hr == DISP_E_BADPARAMCOUNT) what = "wrong number of arguments";
    if (hr == DISP_E_PARAMNOTOPTIONAL) what = "a required argument is missing";
    if (hr == DISP_E_TYPEMISMATCH || hr == DISP_E_OVERFLOW)
      what = "argument " + std::to_string(reversed.size() - argErr) +
             (hr == DISP_E_OVERFLOW ? " is out of range" : " has the wrong type");
    fail(hr, what);
    return;
  }
  for (const auto& slot : slots)
    if (slot->out) out_("out " + slot->name + " = " + format_value(slot->value));
  const bool hasResult = member ? member->result != ravlin::vt::empty : result.vt != VT_EMPTY;
  out_(hasResult && flags != DISPATCH_PROPERTYPUT ? "=> " + format_value(result) : "=> ok");
}

IDispatch* host::placed(const std::string& name) {
  if (name == "Port1") return control_.get();
  auto it = siblings_.find(name);
  return it == siblings_.end() ? nullptr : it->second->dispatch();
}

void host::place(const command& c) {
  ravlin::sibling_kind kind;
  if (!ravlin::ParseSiblingKind(c.sibling_kind, &kind)) {
    fail(E_INVALIDARG, "'" + Excerpt(c.sibling_kind) + "' is no sibling kind");
    return;
  }
  auto sibling = MakeObject<ravlin::SiblingControl>(kind, out_);
  if (!sibling) {
    fail(E_OUTOFMEMORY, std::string("cannot make the control"));
    return;
  }
  HRESULT hr = form_->AddControl(sibling->unknown(), Utf8ToUtf16(c.name));
  if (FAILED(hr)) {
    fail(hr, "the form already holds a control named '" + Excerpt(c.name) + "'");
    return;
  }
  siblings_[c.name] = sibling;
  out_("=> ok");
}

void host::unplace(const command& c) {
  auto it = siblings_.find(c.name);
  if (it == siblings_.end()) {
    fail(E_INVALIDARG, "no sibling named '" + Excerpt(c.name) + "' on the form");
    return;
  }
  ComPtr<ravlin::SiblingControl> sibling = it->second;
  siblings_.erase(it);
  form_->RemoveControl(sibling->unknown());
  out_("=> ok");
}

void host::tell(const command& c) {
  auto it = siblings_.find(c.name);
  if (it == siblings_.end()) {
    fail(E_INVALIDARG, "no sibling named '" + Excerpt(c.name) + "' on the form");
    return;
  }
  ComPtr<ravlin::SiblingControl> sibling = it->second;
  const std::string& action = c.sibling_action;
  const auto text = [&](std::u16string* value) {
    const auto* s = c.args.size() == 1 ? std::get_if<std::u16string>(&c.args[0]) : nullptr;
    if (s) *value = *s;
    return s != nullptr;
  };
  std::u16string value;
  if ((action == "refuse" || action == "agree" || action == "close" || action == "hangup") &&
      !c.args.empty()) {
    fail(E_INVALIDARG, "usage: tell NAME " + action);
    return;
  }
  if (action == "refuse" || action == "agree") {
    sibling->set_refusing(action == "refuse");
    out_("=> ok");
  } else if (action == "dial") {
    if (!text(&value)) {
      fail(E_INVALIDARG, std::string("usage: tell NAME dial \"DEVICE\""));
      return;
    }
    VARIANT_BOOL opened = VARIANT_FALSE;
    SetErrorInfo(0, nullptr);
    HRESULT hr = sibling->Dial(Utf16ToUtf8(value), &opened);
    const std::u16string described = take_error_description();
    if (hr == E_UNEXPECTED) {
      fail(hr, std::string("the sibling is no linked modem, or holds a line already"));
    } else if (hr == E_FAIL && described.empty()) {
      fail(hr, "cannot open or query '" + Excerpt(Utf16ToUtf8(value)) + "'");
    } else if (FAILED(hr)) {
      fail(hr, described);  // the Port control's refusal
    } else {
      out_(opened ? "=> true" : "=> false");
    }
  } else if (action == "close") {
    VARIANT_BOOL closed = VARIANT_FALSE;
    SetErrorInfo(0, nullptr);
    HRESULT hr = sibling->ClosePort(&closed);
    const std::u16string described = take_error_description();
    if (hr == E_UNEXPECTED) {
      fail(hr, std::string("the sibling is no linked modem"));
    } else if (FAILED(hr)) {
      fail(hr, described);
    } else {
      out_(closed ? "=> true" : "=> false");
    }
  } else if (action == "send") {
    if (!text(&value)) {
      fail(E_INVALIDARG, std::string("usage: tell NAME send \"TEXT\""));
      return;
    }
    HRESULT hr = sibling->Send(WideToAnsi(value));
    if (FAILED(hr)) {
      fail(hr, std::string(hr == E_UNEXPECTED ? "the sibling holds no line" : "the write failed"));
    } else {
      out_("=> ok");
    }
  } else if (action == "hangup") {
    sibling->HangUp();
    out_("=> ok");
  } else {
    fail(E_INVALIDARG, "unknown action '" + Excerpt(action) +
                           "' (refuse, agree, dial DEVICE, close, send TEXT, hangup)");
  }
}

}  // namespace testcon
