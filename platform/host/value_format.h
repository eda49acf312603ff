// How hosts show values as text: one line per value, the same in ravlin-testcon's output, in
// the application's logs and in tests that compare against either.
//
// Integers print in decimal, booleans as true / false, floats in their shortest round-tripping
// form, strings quoted with escapes (\" \\ \xHH for control characters, \uHHHH for a lone
// surrogate, everything else as UTF-8), byte arrays as "bytes:" and upper-case hex, objects as
// "object" / "nothing", VT_ERROR as "error 0xHHHHHHHH". By-reference values print what they point
// at ("null" for a null reference). Anything else prints as "<vt N>", other arrays as "array".
// The arguments of a call print in declared order (DISPPARAMS holds them last first), separated
// by ", ". These are pure functions: they read their input and never change or fail on it.
//
// Offers: format_value, format_string, format_arguments, format_failure.
#pragma once

#include <string>
#include <string_view>

#include "platform/com/dispatch.h"
#include "platform/com/variant.h"

namespace winhost {

// The text of value as above; never fails (an unreadable array prints as "bytes:?").
std::string format_value(const win::VARIANT& value);
// text quoted, with escapes.
std::string format_string(std::u16string_view text);
// The arguments of params in declared order, each as format_value prints it, separated by ", ";
// "" for no arguments or null params.
std::string format_arguments(const win::DISPPARAMS* params);
// "!! 0xHHHHHHHH DESCRIPTION" without the line end; without the space when description is empty.
std::string format_failure(win::HRESULT hr, std::u16string_view description);

}  // namespace winhost
