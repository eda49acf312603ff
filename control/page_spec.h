// What each of the Port control's property pages holds, as data: its controls (dialog id, kind,
// list entries), the properties they edit in the order Apply writes them (with the caption a
// refusal is reported under), and the defaults its reset button writes.
//
// How it works. A control is one dialog item that carries a value; a property is one member of
// IPort18 reached by DISPID. Most properties have exactly one control; the event mask has one
// check box per bit. Lists hold (text, value) entries: the selected entry's value is what is
// written, and loading selects the entry whose value the object reports. The tables are the one
// description of the pages: the page model (page_model.h) works from them, and the dialogs
// (control/ui) lay out and label the same controls by id.
//
// Offers: control_kind, list_entry, control_spec, value_type, property_spec, reset_value,
// page_spec, and the three pages: Port19Page1Spec (general settings), Port19Page2Spec (flow
// control and events), Port19Page4Spec (event mask).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/com/dispatch.h"

namespace ravlin {

enum class control_kind : std::uint8_t {
  edit,           // any text, read as a signed decimal number
  number_edit,    // digits only, read as a signed decimal number
  editable_list,  // a drop-down whose text may also be typed; read as a number
  list,           // a drop-down list: the selected entry's value
  check,          // a check box: TRUE or FALSE
  mask_check,     // a check box that stands for one bit of the page's mask property
};

struct list_entry {
  const char16_t* text;
  double value;
};

struct control_spec {
  int id;  // the dialog item id
  control_kind kind;
  std::span<const list_entry> entries = {};  // list, editable_list
  std::int32_t bit = 0;                      // mask_check
};

// The automation type a property is written as.
enum class value_type : std::uint8_t { i4, i2, r4, ui1, boolean };

struct property_spec {
  const char16_t* caption;  // the title of the warning box when an object refuses the value
  win::DISPID get;          // read with this property
  win::DISPID put;          // written with this member: a property put, or...
  bool putIsMethod;         // ...a method taking the value (SetIOMode)
  value_type type;
  int controlId;     // the control that shows it; 0: every mask_check control of the page
  bool lineSetting;  // left alone on an object that reports a modem link (_TapiCtl)
};

// One default the reset button writes (results are not checked).
struct reset_value {
  win::DISPID put;
  value_type type;
  double value;
};

struct page_spec {
  const win::CLSID* clsid;
  const char16_t* className;  // "CPort19Ppg1"
  const char16_t* title;      // the tab title
  const char16_t* docString;
  std::span<const control_spec> controls;     // in the dialog's order
  std::span<const property_spec> properties;  // in the order Apply writes them
  std::span<const reset_value> reset;         // in the order Reset writes them
  int resetButtonId;
  // Run on each object before the defaults are written, for defaults that the object's current
  // values could block whatever the order (null when there are none).
  void (*beforeReset)(win::IDispatch* object);
};

// The help file every page names, and the pages' size in dialog units.
inline constexpr const char16_t* kPortPagesHelpFile = u"Ravlin.hlp";
inline constexpr int kPortPageWidthDu = 257;
inline constexpr int kPortPageHeightDu = 155;

const page_spec& Port19Page1Spec();
const page_spec& Port19Page2Spec();
const page_spec& Port19Page4Spec();

}  // namespace ravlin
