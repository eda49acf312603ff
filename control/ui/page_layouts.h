// Where the property pages' dialogs put their items, and what the labels say, in dialog units
// of the pages' font (dialog_font.h). The controls themselves (ids, kinds, list entries) are the
// control's page tables (control/page_spec.h); this is only their placement and wording.
//
// Offers: layout_kind, du_rect, layout_item, page_layout, LayoutFor.
#pragma once

#include <span>
#include <string_view>

namespace ravlin::ui {

enum class layout_kind {
  control,  // a control of the page's table, by id (text: a check box's caption)
  reset,    // the page's reset button, by id
  label,    // a static text; id: the control it names (objectName "label<id>"), or 0
  group,    // a group box frame
  note,     // a static text that names no control
};

struct du_rect {
  int x, y, width, height;
};

struct layout_item {
  layout_kind kind;
  int id;
  const char16_t* text;
  du_rect at;
  const char* name;  // objectName for groups and notes ("" elsewhere)
};

struct page_layout {
  std::u16string_view className;       // of the page_spec it lays out
  std::span<const layout_item> items;  // in creation (and tab) order
};

// The layout of the page class ("CPort19Ppg1", ...), or null.
const page_layout* LayoutFor(std::u16string_view className);

}  // namespace ravlin::ui
