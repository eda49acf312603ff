#include "control/page_model.h"

#include <cmath>
#include <limits>

#include "control/port_identity.h"
#include "control/port_members.h"
#include "platform/com/errorinfo.h"
#include "platform/com/property_page.h"
#include "platform/com/system_message.h"

namespace ravlin {

using namespace win;

LONG ParseSignedDecimal(std::u16string_view text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == u' ' || text[i] == u'\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) negative = text[i++] == u'-';
  std::int64_t value = 0;
  constexpr std::int64_t kLimit = std::int64_t{std::numeric_limits<LONG>::max()} + 1;
  for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
    value = value * 10 + (text[i] - u'0');
    if (value > kLimit) value = kLimit;  // saturates; more digits change nothing
  }
  if (negative) value = -value;
  if (value > std::numeric_limits<LONG>::max()) value = std::numeric_limits<LONG>::max();
  return static_cast<LONG>(value);
}

std::u16string FormatDecimal(LONG value) {
  std::u16string text;
  for (char c : std::to_string(value)) text += static_cast<char16_t>(c);
  return text;
}

Variant PageValue(value_type type, double value) {
  switch (type) {
    case value_type::i2:
      return Variant::I2(static_cast<SHORT>(value));
    case value_type::r4:
      return Variant::R4(static_cast<FLOAT>(value));
    case value_type::ui1:
      return Variant::UI1(static_cast<BYTE>(value));
    case value_type::boolean:
      return Variant::Bool(value != 0);
    case value_type::i4:
      break;
  }
  return Variant::I4(static_cast<LONG>(value));
}

bool ReportsModemLink(IDispatch* object) {
  Variant result;
  if (FAILED(InvokeByDispid(object, DISPID_Port__TapiCtl, DISPATCH_METHOD, {}, &result)))
    return false;
  if (FAILED(result.ChangeType(VT_BOOL))) return false;
  return result.boolVal != VARIANT_FALSE;
}

namespace {

// What a refusal says: the error-info description, or the system's message for hr.
std::u16string RefusalText(HRESULT hr) {
  ComPtr<IErrorInfo> info;
  if (GetErrorInfo(0, info.Receive()) == S_OK && info) {
    Bstr description;
    if (SUCCEEDED(info->GetDescription(description.Receive())) && !description.View().empty())
      return std::u16string(description.View());
  }
  return SystemMessageText(hr);
}

HRESULT PutValue(IDispatch* object, DISPID dispid, bool asMethod, const Variant& value) {
  SetErrorInfo(0, nullptr);  // what an earlier call left is not this refusal's reason
  if (!asMethod) return PutProperty(object, dispid, value);
  Variant ignored;
  return InvokeByDispid(object, dispid, DISPATCH_METHOD, {value}, &ignored);
}

}  // namespace

PageModel::PageModel(const page_spec& spec) : spec_(spec), states_(spec.controls.size()) {}

std::size_t PageModel::IndexOf(int id) const {
  for (std::size_t i = 0; i < spec_.controls.size(); ++i)
    if (spec_.controls[i].id == id) return i;
  return page_view::kAllControls;
}

void PageModel::SetObjects(std::span<IUnknown* const> objects) {
  objects_.clear();
  for (IUnknown* unknown : objects) {
    if (!unknown) continue;
    ComPtr<IDispatch> port;
    if (SUCCEEDED(unknown->QueryInterface(IID_IPort18, port.ReceiveVoid())) && port)
      objects_.push_back(std::move(port));
  }
}

bool PageModel::HasLineSettings() const {
  for (const auto& p : spec_.properties)
    if (p.lineSetting) return true;
  return false;
}

void PageModel::UpdateLineSettings(bool enabled) {
  for (const auto& p : spec_.properties) {
    if (!p.lineSetting) continue;
    std::size_t i = IndexOf(p.controlId);
    if (i != page_view::kAllControls) states_[i].enabled = enabled;
  }
}

bool PageModel::LoadProperty(IDispatch* object, const property_spec& property) {
  Variant value;
  if (FAILED(GetProperty(object, property.get, &value)) || FAILED(value.ChangeType(VT_R8)))
    return false;
  const double v = value.dblVal;
  if (property.controlId == 0) {
    const auto mask = static_cast<std::int64_t>(v);
    for (std::size_t i = 0; i < spec_.controls.size(); ++i)
      if (spec_.controls[i].kind == control_kind::mask_check)
        states_[i].checked = (mask & spec_.controls[i].bit) != 0;
    return true;
  }
  std::size_t i = IndexOf(property.controlId);
  if (i == page_view::kAllControls) return false;
  const control_spec& control = spec_.controls[i];
  control_state& state = states_[i];
  switch (control.kind) {
    case control_kind::edit:
    case control_kind::number_edit:
    case control_kind::editable_list:
      state.text = FormatDecimal(static_cast<LONG>(v));
      break;
    case control_kind::list:
      state.selection = -1;
      for (std::size_t e = 0; e < control.entries.size(); ++e)
        if (control.entries[e].value == v) state.selection = static_cast<int>(e);
      break;
    case control_kind::check:
    case control_kind::mask_check:
      state.checked = v != 0;
      break;
  }
  return true;
}

bool PageModel::ValueOf(const std::vector<control_state>& states, const property_spec& property,
                        Variant* value) const {
  if (property.controlId == 0) {
    LONG mask = 0;
    for (std::size_t i = 0; i < spec_.controls.size(); ++i)
      if (spec_.controls[i].kind == control_kind::mask_check && states[i].checked)
        mask |= spec_.controls[i].bit;
    *value = PageValue(property.type, mask);
    return true;
  }
  std::size_t i = IndexOf(property.controlId);
  if (i == page_view::kAllControls) return false;
  const control_spec& control = spec_.controls[i];
  const control_state& state = states[i];
  switch (control.kind) {
    case control_kind::edit:
    case control_kind::number_edit:
    case control_kind::editable_list:
      *value = PageValue(property.type, ParseSignedDecimal(state.text));
      return true;
    case control_kind::list:
      if (state.selection < 0 ||
          static_cast<std::size_t>(state.selection) >= control.entries.size())
        return false;
      *value = PageValue(property.type, control.entries[state.selection].value);
      return true;
    case control_kind::check:
    case control_kind::mask_check:
      *value = PageValue(property.type, state.checked ? -1 : 0);
      return true;
  }
  return false;
}

HRESULT PageModel::Write(IDispatch* object, const property_spec& property, const Variant& value) {
  return PutValue(object, property.put, property.putIsMethod, value);
}

void PageModel::Load() {
  const bool lineSettings = HasLineSettings();
  bool linked = false;
  for (const auto& object : objects_) {
    for (const auto& property : spec_.properties) LoadProperty(object.get(), property);
    if (lineSettings && ReportsModemLink(object.get())) linked = true;
  }
  if (lineSettings) UpdateLineSettings(!linked);
  loaded_ = true;
  dirty_ = false;
  Refresh(page_view::kAllControls);
}

void PageModel::Apply() {
  if (loaded_) {
    // What the user entered goes to every object: a field reloaded from an object that refused
    // it shows that object's value, but the next object still gets the entered one.
    const std::vector<control_state> entered = states_;
    for (const auto& object : objects_) {
      const bool linked = HasLineSettings() && ReportsModemLink(object.get());
      for (const auto& property : spec_.properties) {
        if (property.lineSetting && linked) continue;
        Variant value;
        if (!ValueOf(entered, property, &value))
          continue;  // a list with nothing chosen writes nothing
        HRESULT hr = Write(object.get(), property, value);
        if (SUCCEEDED(hr)) continue;
        const std::u16string text = RefusalText(hr);
        LoadProperty(object.get(), property);
        if (property.controlId == 0) {
          Refresh(page_view::kAllControls);
        } else {
          Refresh(IndexOf(property.controlId));
        }
        if (warn_) warn_(property.caption, text);
        break;  // the rest is not written to this object
      }
    }
  }
  dirty_ = false;
}

void PageModel::Reset() {
  const bool wasDirty = dirty_;
  for (const auto& object : objects_) {
    if (spec_.beforeReset) spec_.beforeReset(object.get());
    // A default can be refused only because of another setting the page writes after it (8 data
    // bits next to the old 1.5 stop bits, the new OnThreshold against the old OffThreshold):
    // those are tried once more after the others went in.
    std::vector<const reset_value*> refused;
    for (const auto& r : spec_.reset)
      if (FAILED(PutValue(object.get(), r.put, false, PageValue(r.type, r.value))))
        refused.push_back(&r);
    for (const reset_value* r : refused)
      PutValue(object.get(), r->put, false, PageValue(r->type, r->value));
  }
  SetErrorInfo(0, nullptr);
  Load();
  if (wasDirty && changed_) changed_(PROPPAGESTATUS_CLEAN);
}

void PageModel::MarkDirty() {
  dirty_ = true;
  if (changed_) changed_(PROPPAGESTATUS_DIRTY | PROPPAGESTATUS_VALIDATE);
}

void PageModel::Refresh(std::size_t control) {
  if (refresh_) refresh_(control);
}

void PageModel::Edit(std::size_t control, std::u16string_view text) {
  if (control >= states_.size()) return;
  states_[control].text = std::u16string(text);
  MarkDirty();
}

void PageModel::Select(std::size_t control, int selection) {
  if (control >= states_.size()) return;
  if (selection < -1 || selection >= static_cast<int>(spec_.controls[control].entries.size()))
    return;
  states_[control].selection = selection;
  MarkDirty();
}

void PageModel::Check(std::size_t control, bool checked) {
  if (control >= states_.size()) return;
  states_[control].checked = checked;
  MarkDirty();
}

}  // namespace ravlin
