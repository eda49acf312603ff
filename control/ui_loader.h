// Loading the control's window library (libravlin_ui.so) when something is first to be shown.
//
// How it works. The library is looked for beside the module that holds the control (found with
// dladdr: libravlin.so in a host, the executable when the control is linked in), then in
// ../lib relative to it (build/bin next to build/lib), then through the loader's own search
// path; RAVLIN_UI_LIBRARY names a file to use instead. A loaded library stays loaded (a window
// toolkit is not unloaded safely). A failure is not remembered: the next call tries again.
// Showing a window also needs a Qt application on the calling thread; without one (a console
// host such as ravlin-testcon, a service) the request fails instead of crashing.
//
// Offers: RequireUi, LoadedUi, UiLibraryCandidates, kNoWindowSystemText.
#pragma once

#include <string>
#include <vector>

#include "control/ui_entries.h"
#include "platform/com/base.h"

namespace ravlin {

inline constexpr const char16_t* kNoWindowSystemText =
    u"the property pages and the about box need a window system: this process has no Qt "
    u"application";
inline constexpr const char16_t* kWrongThreadText =
    u"the property pages and the about box can only be shown on the thread of the process's Qt "
    u"application";

// The window library's entries, ready to show windows from this thread. On failure: null,
// *hr = E_FAIL and the thread's error info (source "Cobrix.Port.1") says why: "cannot load
// libravlin_ui.so: <the loader's message>", kNoWindowSystemText or kWrongThreadText.
const ravlin_ui_entries* RequireUi(win::HRESULT* hr);

// The entries when the library is already loaded and a window can be shown from this thread;
// null otherwise. Never loads anything and sets no error info.
const ravlin_ui_entries* LoadedUi();

// The files tried, in order.
std::vector<std::string> UiLibraryCandidates();

}  // namespace ravlin
