// How ravlin-testcon prints values: integers in decimal, booleans true/false, floats in their
// shortest form, strings quoted with escapes, byte arrays as "bytes:" + upper-case hex, objects
// as "object" / "nothing". Pure functions over VARIANTs, so tests and the host share them.
#pragma once

#include <string>
#include <string_view>

#include "platform/com/variant.h"

namespace testcon {

std::string format_value(const win::VARIANT& value);
std::string format_string(std::u16string_view text);  // quoted, with escapes
// "!! 0xHHHHHHHH DESCRIPTION" without the line end.
std::string format_failure(win::HRESULT hr, std::u16string_view description);

}  // namespace testcon
