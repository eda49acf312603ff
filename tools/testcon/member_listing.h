// What ravlin-testcon tells about the Port control's programmable surface, from the control's
// own member and enumeration tables (the type library's contents): every property, method and
// event with its DISPID, kind, arguments and help string, and the values of the enumerations
// they use. Pure text; nothing here touches a control.
//
// Offers: list_members (the `members` command), describe_member (`help NAME`).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace testcon {

// One line per member of IPort18 (a property's get and put as one line), then one per event,
// then one per enumeration with its values.
std::vector<std::string> list_members();

// The lines for NAME (case-insensitive): a member of IPort18 (hidden ones too), an event, or an
// enumeration, each with the values of the enumerations its arguments use. Empty when nothing
// has that name.
std::vector<std::string> describe_member(std::string_view name);

}  // namespace testcon
