// The behaviour of a property page without its dialog: loading the fields from the objects,
// writing them back (Apply), writing the defaults (Reset), and the dirty flag.
//
// How it works. A PageModel is made for one page_spec and holds one control_state per control
// and the objects being edited, each as the IDispatch it answered for IPort18 (members are
// reached by DISPID, so any object with that interface will do). Load reads every property
// from each object in turn, so with several objects the last one's values remain; on a page with
// line settings they are disabled when an object reports a modem link (_TapiCtl TRUE; an object
// that cannot answer has none). Apply writes the properties in table order to each object; the
// first one an object refuses is read back from it, reported through the warning hook (title:
// the property's caption; text: the error-info description, else the system's message for the
// HRESULT) and the rest is not written to that object. Every object is written the values the
// user entered, also after an earlier object refused one and its field was reloaded. Reset writes
// the page's defaults to every object, ignoring refusals, and loads again. The user's edits change
// the states, mark the page dirty and call the change hook; Apply and Reset leave it clean.
//
// Offers: PageModel, ParseSignedDecimal, FormatDecimal.
#pragma once

#include <cstddef>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "control/page_spec.h"
#include "control/page_view.h"
#include "platform/com/dispatch.h"
#include "platform/com/unknown.h"

namespace ravlin {

// An edit field's text as a signed decimal number: blanks, an optional sign and digits, up to
// the first other character; nothing readable is 0, and the value saturates at the int32 range.
win::LONG ParseSignedDecimal(std::u16string_view text);
// A number as the fields show it ("%ld").
std::u16string FormatDecimal(win::LONG value);

class PageModel {
 public:
  using WarnHook = std::function<void(std::u16string_view title, std::u16string_view text)>;
  using ChangeHook = std::function<void(win::DWORD propPageStatus)>;
  using RefreshHook = std::function<void(std::size_t control)>;  // page_view::Refresh

  explicit PageModel(const page_spec& spec);

  const page_spec& Spec() const { return spec_; }
  std::size_t ControlCount() const { return states_.size(); }
  const control_state& State(std::size_t control) const { return states_[control]; }
  // The index of the control with this dialog id; page_view::kAllControls when there is none.
  std::size_t IndexOf(int id) const;

  // Keeps the objects that answer IPort18 (the others are left out). An empty span lets go.
  void SetObjects(std::span<win::IUnknown* const> objects);
  std::size_t ObjectCount() const { return objects_.size(); }

  // Fills every control from each object in turn; the page is clean and loaded afterwards.
  void Load();
  bool Loaded() const { return loaded_; }
  // Writes the page to every object (nothing before the first Load). Leaves the page clean.
  void Apply();
  // Writes the defaults to every object and loads again. Leaves the page clean.
  void Reset();

  // The user's changes. Out-of-range indices and selections are ignored.
  void Edit(std::size_t control, std::u16string_view text);
  void Select(std::size_t control, int selection);
  void Check(std::size_t control, bool checked);
  bool Dirty() const { return dirty_; }

  void set_warn(WarnHook hook) { warn_ = std::move(hook); }
  void set_changed(ChangeHook hook) { changed_ = std::move(hook); }
  void set_refresh(RefreshHook hook) { refresh_ = std::move(hook); }

 private:
  // Reads one property from object into its control(s); false when the object would not say.
  bool LoadProperty(win::IDispatch* object, const property_spec& property);
  // The value the control(s) of property hold in states; false when a list has nothing selected.
  bool ValueOf(const std::vector<control_state>& states, const property_spec& property,
               win::Variant* value) const;
  win::HRESULT Write(win::IDispatch* object, const property_spec& property,
                     const win::Variant& value);
  bool HasLineSettings() const;
  void UpdateLineSettings(bool enabled);
  void MarkDirty();
  void Refresh(std::size_t control);

  const page_spec& spec_;
  std::vector<control_state> states_;
  std::vector<win::ComPtr<win::IDispatch>> objects_;
  bool loaded_ = false;
  bool dirty_ = false;
  WarnHook warn_;
  ChangeHook changed_;
  RefreshHook refresh_;
};

// Whether object reports a modem link: its hidden _TapiCtl answers TRUE. An object that cannot
// answer has none.
bool ReportsModemLink(win::IDispatch* object);

// A page value as the automation type it is written as.
win::Variant PageValue(value_type type, double value);

}  // namespace ravlin
