// The meeting point of a property page object (in the control library, no window toolkit) and
// its dialog (in the window library, libravlin_ui.so): two small interfaces, one each way.
//
// How it works. The page object holds the state of every control as plain values
// (control_state) and implements page_editor: the dialog reads the page's tables and states
// through it and reports the user's changes to it. The dialog implements page_view: the page
// object asks it to show the states again after a load, a refused value or a reset. Only
// virtual calls and header-only types cross between the two libraries, so neither links the
// other.
//
// Offers: control_state, page_editor, page_view.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "control/page_spec.h"
#include "platform/wintypes.h"

namespace ravlin {

// What one control shows.
struct control_state {
  std::u16string text;   // edit, number_edit, editable_list
  int selection = -1;    // list: index of the selected entry, -1 for none
  bool checked = false;  // check, mask_check
  bool enabled = true;
};

// The page object, as its dialog sees it. Control indices are positions in Spec().controls.
class page_editor {
 public:
  virtual const page_spec& Spec() const = 0;
  virtual const control_state& State(std::size_t control) const = 0;
  // The user's changes: each marks the page dirty and tells the page site.
  virtual void UserEdited(std::size_t control, std::u16string_view text) = 0;
  virtual void UserSelected(std::size_t control, int selection) = 0;
  virtual void UserChecked(std::size_t control, bool checked) = 0;
  virtual void UserPressedReset() = 0;
  // The dialog went away without being asked to (its parent window closed first).
  virtual void ViewGone() = 0;

 protected:
  ~page_editor() = default;
};

// The dialog, as the page object sees it.
class page_view {
 public:
  // Shows the state of one control again (a list is refilled first), or of every control and
  // its enabled state when control is kAllControls.
  static constexpr std::size_t kAllControls = static_cast<std::size_t>(-1);
  virtual void Refresh(std::size_t control) = 0;
  virtual void Show(bool visible) = 0;
  virtual void Move(const win::RECT& rect) = 0;
  // Closes the dialog; the pointer is not used again and the dialog does not call ViewGone.
  virtual void Destroy() = 0;

 protected:
  ~page_view() = default;
};

}  // namespace ravlin
