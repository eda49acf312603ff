// The command language of ravlin-testcon: one command per line, parsed into a `command` whose
// arguments are plain values (`arg_value`). Parsing is pure: it touches no control, so a
// malformed line is reported with a readable description and the host goes on.
//
// Offers: arg_value, command, parse_command_line, parse_argument.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace testcon {

struct arg_omitted {};  // "-": an optional argument left out
struct arg_nothing {};  // "nothing": a null object or no array
struct arg_bytes {
  std::vector<std::uint8_t> bytes;
};

// One argument as written: integer, float, boolean, UTF-16 string, byte array, nothing, omitted.
using arg_value =
    std::variant<std::int32_t, double, bool, std::u16string, arg_bytes, arg_nothing, arg_omitted>;

enum class command_kind { none, get, put, call, invoke, pump, mode, quit };
enum class invoke_action { get, put, call };

struct command {
  command_kind kind = command_kind::none;  // none: a blank or comment line
  std::string name;                        // get / put / call
  std::int32_t dispid = 0;                 // invoke
  invoke_action action = invoke_action::call;
  std::vector<arg_value> args;    // put: exactly one
  std::int32_t milliseconds = 0;  // pump
  bool run_mode = true;           // mode
};

// Parses one line (without its line end). On failure returns false and sets *error.
bool parse_command_line(std::string_view line, command* out, std::string* error);

// Parses one argument token (exactly the whole text). On failure returns false and sets *error.
bool parse_argument(std::string_view text, arg_value* out, std::string* error);

}  // namespace testcon
