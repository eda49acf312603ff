// libFuzzer target: the command language of ravlin-testcon.
//
// Input: a script as ravlin-testcon reads it, any bytes; every line (split at LF, as the host
// reads them) goes to parse_command_line.
//
// Checks, each a crash with a message when broken:
// - a line that parses has the shape its command promises (put: one argument; invoke put: one;
//   pump: 0 ms or more; place: a name and a kind; tell: a name and an action; blank and comment
//   lines: kind none and nothing else);
// - a failed parse says why (a non-empty error);
// - a parsed command written back in canonical form (lower-case verb, decimal integers, floats
//   with a point or an exponent, strings with escapes, bytes:HEX, @NAME) parses again to the same
//   command, and writing that one gives the same text.
// - every argument token parse_argument accepts on its own reads the same as within its line.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <variant>

#include "tools/testcon/command_line.h"

namespace {

using testcon::arg_bytes;
using testcon::arg_nothing;
using testcon::arg_object;
using testcon::arg_omitted;
using testcon::arg_value;
using testcon::command;
using testcon::command_kind;
using testcon::invoke_action;

[[noreturn]] void Fail(std::string_view line, const std::string& what) {
  std::fprintf(stderr, "command_line_fuzz: %s\n  line: \"", what.c_str());
  for (unsigned char c : line) {
    if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\')
      std::fputc(c, stderr);
    else
      std::fprintf(stderr, "\\x%02X", c);
  }
  std::fprintf(stderr, "\"\n");
  std::abort();
}

void AppendUtf8(std::string& out, std::uint32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

// An argument in the canonical spelling the parser must read back as the same value.
std::string Write(const arg_value& v, std::string_view line) {
  char buf[64];
  if (auto* i = std::get_if<std::int32_t>(&v)) return std::to_string(*i);
  if (auto* d = std::get_if<double>(&v)) {
    if (!std::isfinite(*d)) Fail(line, "a float argument is not finite");
    std::snprintf(buf, sizeof buf, "%.17g", *d);
    std::string s = buf;
    // Without a point or an exponent the text would read as an integer.
    if (s.find_first_of(".e") == std::string::npos) s += ".0";
    return s;
  }
  if (auto* b = std::get_if<bool>(&v)) return *b ? "true" : "false";
  if (auto* s = std::get_if<std::u16string>(&v)) {
    std::string out = "\"";
    for (std::size_t k = 0; k < s->size(); ++k) {
      char16_t c = (*s)[k];
      if (c == u'"' || c == u'\\') {
        out.push_back('\\');
        out.push_back(static_cast<char>(c));
      } else if (c < 0x20 || (c >= 0x7F && c < 0x100)) {
        std::snprintf(buf, sizeof buf, "\\x%02X", static_cast<unsigned>(c));
        out += buf;
      } else if (c >= 0xD800 && c <= 0xDBFF && k + 1 < s->size() && (*s)[k + 1] >= 0xDC00 &&
                 (*s)[k + 1] <= 0xDFFF) {
        AppendUtf8(out, 0x10000 + ((c - 0xD800u) << 10) + ((*s)[k + 1] - 0xDC00u));
        ++k;
      } else if (c >= 0xD800 && c <= 0xDFFF) {
        Fail(line, "a string argument holds a lone surrogate");
      } else {
        AppendUtf8(out, c);
      }
    }
    return out + "\"";
  }
  if (auto* b = std::get_if<arg_bytes>(&v)) {
    std::string out = "bytes:";
    for (std::uint8_t x : b->bytes) {
      std::snprintf(buf, sizeof buf, "%02x", x);
      out += buf;
    }
    return out;
  }
  if (std::holds_alternative<arg_nothing>(v)) return "nothing";
  if (auto* o = std::get_if<arg_object>(&v)) {
    if (o->name.empty()) Fail(line, "an object argument without a name");
    return "@" + o->name;
  }
  return "-";
}

std::string Write(const command& c, std::string_view line) {
  std::string out;
  auto args = [&](std::size_t from) {
    for (std::size_t k = from; k < c.args.size(); ++k) out += " " + Write(c.args[k], line);
  };
  switch (c.kind) {
    case command_kind::none:
      return "";
    case command_kind::get:
      return "get " + c.name;
    case command_kind::put:
      out = "put " + c.name;
      args(0);
      return out;
    case command_kind::call:
      out = "call " + c.name;
      args(0);
      return out;
    case command_kind::invoke:
      out = "invoke " + std::to_string(c.dispid) +
            (c.action == invoke_action::get   ? " get"
             : c.action == invoke_action::put ? " put"
                                              : " call");
      args(0);
      return out;
    case command_kind::pump:
      return "pump " + std::to_string(c.milliseconds);
    case command_kind::mode:
      return c.run_mode ? "mode run" : "mode design";
    case command_kind::place:
      return "place " + c.name + " " + c.sibling_kind;
    case command_kind::unplace:
      return "unplace " + c.name;
    case command_kind::tell:
      out = "tell " + c.name + " " + c.sibling_action;
      args(0);
      return out;
    case command_kind::help:
      return c.name.empty() ? "help" : "help " + c.name;
    case command_kind::members:
      return "members";
    case command_kind::ports:
      return "ports";
    case command_kind::quit:
      return "quit";
    case command_kind::save:
    case command_kind::load:
      return (c.kind == command_kind::save ? "save " : "load ") + Write(c.args.at(0), line);
    case command_kind::dirty:
      return "dirty";
    case command_kind::pages:
      return "pages";
  }
  Fail(line, "a command of no known kind");
}

bool SameValue(const arg_value& a, const arg_value& b) {
  if (a.index() != b.index()) return false;
  if (auto* d = std::get_if<double>(&a)) {
    double e = std::get<double>(b);
    return *d == e && std::signbit(*d) == std::signbit(e);
  }
  if (auto* x = std::get_if<arg_bytes>(&a)) return x->bytes == std::get<arg_bytes>(b).bytes;
  if (auto* i = std::get_if<std::int32_t>(&a)) return *i == std::get<std::int32_t>(b);
  if (auto* x = std::get_if<bool>(&a)) return *x == std::get<bool>(b);
  if (auto* s = std::get_if<std::u16string>(&a)) return *s == std::get<std::u16string>(b);
  if (auto* o = std::get_if<arg_object>(&a)) return o->name == std::get<arg_object>(b).name;
  return true;  // nothing, omitted
}

bool Same(const command& a, const command& b) {
  if (a.kind != b.kind || a.name != b.name || a.args.size() != b.args.size()) return false;
  for (std::size_t k = 0; k < a.args.size(); ++k)
    if (!SameValue(a.args[k], b.args[k])) return false;
  switch (a.kind) {
    case command_kind::invoke:
      return a.dispid == b.dispid && a.action == b.action;
    case command_kind::pump:
      return a.milliseconds == b.milliseconds;
    case command_kind::mode:
      return a.run_mode == b.run_mode;
    case command_kind::place:
      return a.sibling_kind == b.sibling_kind;
    case command_kind::tell:
      return a.sibling_action == b.sibling_action;
    default:
      return true;
  }
}

void CheckLine(std::string_view line) {
  command c;
  std::string error;
  if (!testcon::parse_command_line(line, &c, &error)) {
    if (error.empty()) Fail(line, "a refused line without a reason");
    return;
  }
  switch (c.kind) {
    case command_kind::none:
      if (!c.name.empty() || !c.args.empty()) Fail(line, "a blank line with content");
      return;
    case command_kind::put:
      if (c.args.size() != 1) Fail(line, "put without exactly one value");
      break;
    case command_kind::invoke:
      if (c.action == invoke_action::put && c.args.size() != 1)
        Fail(line, "invoke put without exactly one value");
      break;
    case command_kind::pump:
      if (c.milliseconds < 0) Fail(line, "pump with a negative time");
      break;
    default:
      break;
  }
  if ((c.kind == command_kind::get || c.kind == command_kind::put || c.kind == command_kind::call ||
       c.kind == command_kind::place || c.kind == command_kind::unplace ||
       c.kind == command_kind::tell) &&
      c.name.empty())
    Fail(line, "a member or sibling command without a name");
  if (c.kind == command_kind::place && c.sibling_kind.empty())
    Fail(line, "place without a sibling kind");
  if (c.kind == command_kind::tell && c.sibling_action.empty())
    Fail(line, "tell without an action");

  const std::string written = Write(c, line);
  command again;
  if (!testcon::parse_command_line(written, &again, &error))
    Fail(line, "its canonical form \"" + written + "\" is refused: " + error);
  if (!Same(c, again)) Fail(line, "its canonical form \"" + written + "\" reads differently");
  if (Write(again, line) != written) Fail(line, "writing it twice gives two texts");

  for (const arg_value& v : c.args) {
    arg_value alone;
    const std::string text = Write(v, line);
    if (!testcon::parse_argument(text, &alone, &error) || !SameValue(v, alone))
      Fail(line, "argument \"" + text + "\" reads differently on its own");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view script(reinterpret_cast<const char*>(data), size);
  while (!script.empty()) {
    std::size_t lf = script.find('\n');
    CheckLine(script.substr(0, lf));
    if (lf == std::string_view::npos) break;
    script.remove_prefix(lf + 1);
  }
  return 0;
}
