// Handles for string lists that the Port control fills on request (the modem page's list of
// modem controls, filled by _TapiCtls).
//
// How it works. _TapiCtls receives a list by handle (a UINT), as a window handle names a combo
// box on the desktop. The control core has no windows, so a list that wants to be filled (a
// property page's combo box, a test) registers a sink here and hands out the handle it gets.
// The table is process-wide and guarded by a lock; a sink is called on the thread that asks for
// the list to be filled, outside the lock, and stays alive for that call even when it is
// unregistered meanwhile. Entries are UTF-16 text. _TapiCtls answers a handle that is not
// registered with E_INVALIDARG. Handles are never 0, and a handle comes back only after the
// 32-bit counter has wrapped around (and never while it is still registered).
//
// Offers: string_list_sink, RegisterStringList, UnregisterStringList, StringListFor,
// string_list_registration (registration for the life of a scope).
#pragma once

#include <functional>
#include <memory>
#include <string_view>

#include "platform/wintypes.h"

namespace ravlin {

struct string_list_sink {
  std::function<void()> clear;                   // empties the list
  std::function<void(std::u16string_view)> add;  // appends one entry
};

// Registers sink and returns its handle (never 0). A sink without both functions is refused
// with 0.
win::UINT RegisterStringList(string_list_sink sink);
// Forgets the handle; an unknown handle is ignored.
void UnregisterStringList(win::UINT handle);
// The sink registered under handle, or null for an unknown handle.
std::shared_ptr<const string_list_sink> StringListFor(win::UINT handle);

// Registers a sink for as long as it lives.
class string_list_registration {
 public:
  explicit string_list_registration(string_list_sink sink)
      : handle_(RegisterStringList(std::move(sink))) {}
  ~string_list_registration() { UnregisterStringList(handle_); }
  string_list_registration(const string_list_registration&) = delete;
  string_list_registration& operator=(const string_list_registration&) = delete;
  win::UINT handle() const { return handle_; }

 private:
  win::UINT handle_;
};

}  // namespace ravlin
