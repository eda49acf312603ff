// The entry table of the control's window library (libravlin_ui.so): everything the control
// shows on a screen (property page dialogs, the property frame, the about box, the design-time
// picture) goes through these few functions.
//
// How it works. The control library never links the window library (a host without a window
// system must be able to use the control); it loads it on first use (ui_loader.h) and resolves
// one C function, ravlin_ui_entry_table, which returns this table. Both sides are built from
// this header: size is checked before anything else is used, so a stale library is refused
// instead of called. Windows and painters are opaque: a parent or owner is a QWidget* (null:
// the application's active window), a painter a QPainter*.
//
// Offers: ui_application_state, ravlin_ui_entries, kUiEntryTableSymbol, ravlin_ui_entry_table_fn.
#pragma once

#include <cstdint>

#include "control/page_view.h"
#include "platform/com/property_page.h"

namespace ravlin {

enum ui_application_state : int {
  ui_ready = 0,           // a QApplication exists and this is its thread
  ui_no_application = 1,  // no QApplication in this process (a console host, a service)
  ui_wrong_thread = 2,    // called on another thread than the application's
};

}  // namespace ravlin

extern "C" {

struct ravlin_ui_entries {
  std::uint32_t size;  // sizeof(ravlin_ui_entries) as the library was built
  // Whether windows can be shown from the calling thread (ui_application_state).
  int (*application_state)();
  // Builds a page's dialog as a child of parent at *rect (pixels) and shows the editor's states.
  ravlin::page_view* (*create_page_view)(ravlin::page_editor* editor, void* parent,
                                         const win::RECT* rect);
  // A modal warning box without owner.
  void (*warning_box)(const char16_t* title, const char16_t* text);
  // The modal property frame: one tab per page in order, OK / Cancel / Apply. The pages get a
  // site, the objects, and are activated, deactivated and let go again. Returns S_OK once the
  // frame is closed, or the failure of a page that could not be activated (nothing shown then).
  win::HRESULT (*property_frame)(void* owner, const char16_t* caption, win::ULONG objectCount,
                                 win::IUnknown** objects, win::ULONG pageCount,
                                 win::IPropertyPage** pages, win::LCID lcid);
  // The modal about box; the product line is built from description and fileVersion.
  void (*about_box)(void* owner, const char* description, const char* fileVersion);
  // The control's design-time picture in *bounds (pixels) of a QPainter.
  void (*draw_design_time)(void* painter, const win::RECT* bounds);
  // A size in dialog units of the pages' font, in pixels.
  win::SIZE (*dialog_units_to_pixels)(win::SIZE dialogUnits);
};

using ravlin_ui_entry_table_fn = const ravlin_ui_entries* (*)();

}  // extern "C"

namespace ravlin {
inline constexpr const char* kUiEntryTableSymbol = "ravlin_ui_entry_table";
inline constexpr const char* kUiLibraryName = "libravlin_ui.so";
}  // namespace ravlin
