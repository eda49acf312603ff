// The command language of ravlin-testcon: one command per line, parsed into a `command` whose
// arguments are plain values (`arg_value`). Parsing is pure: it touches no control, so a
// malformed line (a NUL byte anywhere in it among them) is reported with a readable
// description and the host goes on. A description quotes at most 200 characters of the line.
// Input arriving in pieces is cut into lines by a `line_buffer`, in time linear in its length
// however long a line is.
//
// Besides the members of the one Port control, a script places sibling controls on its form
// (place, unplace), has them act (tell) and passes them to the control as arguments (@NAME).
//
// Offers: arg_value, command, parse_command_line, parse_argument, command_summary, line_buffer.
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
struct arg_object {  // "@NAME": the control placed on the form under NAME
  std::string name;
};

// One argument as written: integer, float, boolean, UTF-16 string, byte array, nothing, omitted,
// a control on the form.
using arg_value = std::variant<std::int32_t, double, bool, std::u16string, arg_bytes, arg_nothing,
                               arg_omitted, arg_object>;

enum class command_kind {
  none,
  get,
  put,
  call,
  invoke,
  pump,
  mode,
  place,
  unplace,
  tell,
  help,
  members,
  ports,
  quit,
  save,
  load,
  dirty,
  pages
};
enum class invoke_action { get, put, call };

struct command {
  command_kind kind = command_kind::none;  // none: a blank or comment line
  std::string name;  // get / put / call / help: the member; place / unplace / tell: the sibling
  std::int32_t dispid = 0;  // invoke
  invoke_action action = invoke_action::call;
  std::vector<arg_value> args;    // put: exactly one; tell: the action's arguments; save / load:
                                  // the file, a string
  std::int32_t milliseconds = 0;  // pump
  bool run_mode = true;           // mode
  std::string sibling_kind;       // place: modem, occupier, counting-occupier or plain
  std::string sibling_action;     // tell: the action, lower case
};

// Whether two names are the same, ASCII letters compared without case (commands, members).
bool ieq(std::string_view a, std::string_view b);

// Parses one line (without its line end). On failure returns false and sets *error; a line
// holding a NUL byte is malformed.
bool parse_command_line(std::string_view line, command* out, std::string* error);

// Parses one argument token (exactly the whole text). On failure returns false and sets *error.
bool parse_argument(std::string_view text, arg_value* out, std::string* error);

// The command language in a few lines, for help.
std::string_view command_summary();

// Cuts bytes that arrive in pieces into lines. Each byte is searched once, wherever the pieces
// cut a line, so reading a line of any length takes linear time.
class line_buffer {
 public:
  void append(std::string_view bytes);
  // The next whole line, without its "\n" and a "\r" before it; false when none has arrived.
  bool next_line(std::string* line);
  // The bytes after the last line end (a last line without one), and empties the buffer.
  std::string take_rest();
  // How many bytes the line-end search has looked at so far (tests watch the linearity).
  std::size_t bytes_examined() const { return examined_; }

 private:
  std::string pending_;
  std::size_t start_ = 0;    // the next line's first byte in pending_
  std::size_t scanned_ = 0;  // bytes from start_ known to hold no line end
  std::size_t examined_ = 0;
};

}  // namespace testcon
