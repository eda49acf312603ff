#include "tools/testcon/command_line.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "platform/text/convert.h"
#include "platform/text/excerpt.h"

namespace testcon {
bool ieq(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

namespace {

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// A piece of the line in quotes for a message, cut to at most 200 characters.
std::string quoted(std::string_view text) {
  return "'" + win::Excerpt(text) + "'";
}

bool is_space(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Appends one code point as UTF-16.
void append_utf16(std::u16string* s, std::uint32_t cp) {
  if (cp < 0x10000) {
    s->push_back(static_cast<char16_t>(cp));
  } else {
    cp -= 0x10000;
    s->push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
    s->push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
  }
}

// Decodes one UTF-8 sequence at text[*i]; strict (no overlongs, no surrogates).
bool decode_utf8(std::string_view text, std::size_t* i, std::uint32_t* cp) {
  auto b0 = static_cast<unsigned char>(text[*i]);
  int len;
  std::uint32_t v;
  std::uint32_t min;
  if (b0 < 0x80) {
    *cp = b0;
    ++*i;
    return true;
  } else if ((b0 & 0xE0) == 0xC0) {
    len = 2, v = b0 & 0x1F, min = 0x80;
  } else if ((b0 & 0xF0) == 0xE0) {
    len = 3, v = b0 & 0x0F, min = 0x800;
  } else if ((b0 & 0xF8) == 0xF0) {
    len = 4, v = b0 & 0x07, min = 0x10000;
  } else {
    return false;
  }
  if (*i + len > text.size()) return false;
  for (int k = 1; k < len; ++k) {
    auto b = static_cast<unsigned char>(text[*i + k]);
    if ((b & 0xC0) != 0x80) return false;
    v = (v << 6) | (b & 0x3F);
  }
  if (v < min || v > 0x10FFFF || (v >= 0xD800 && v <= 0xDFFF)) return false;
  *cp = v;
  *i += len;
  return true;
}

bool parse_string(std::string_view text, std::u16string* out, std::string* error) {
  // text includes both quotes.
  std::u16string s;
  std::size_t i = 1;
  const std::size_t end = text.size() - 1;
  while (i < end) {
    char c = text[i];
    if (c == '\\') {
      if (i + 1 >= end) {
        *error = "unfinished escape at the end of a string";
        return false;
      }
      char e = text[i + 1];
      switch (e) {
        case '\\':
          s.push_back(u'\\');
          break;
        case '"':
          s.push_back(u'"');
          break;
        case 'r':
          s.push_back(u'\r');
          break;
        case 'n':
          s.push_back(u'\n');
          break;
        case 't':
          s.push_back(u'\t');
          break;
        case 'x': {
          int h = i + 2 < end ? hex_digit(text[i + 2]) : -1;
          int l = i + 3 < end ? hex_digit(text[i + 3]) : -1;
          if (h < 0 || l < 0) {
            *error = "\\x needs two hex digits";
            return false;
          }
          s.push_back(static_cast<char16_t>(h * 16 + l));
          i += 4;
          continue;
        }
        default:
          *error = std::string("unknown escape \\") + e;
          return false;
      }
      i += 2;
      continue;
    }
    std::uint32_t cp;
    if (!decode_utf8(text.substr(0, end), &i, &cp)) {
      *error = "string is not valid UTF-8";
      return false;
    }
    append_utf16(&s, cp);
  }
  *out = std::move(s);
  return true;
}

bool parse_number(std::string_view text, arg_value* out, std::string* error) {
  std::string_view t = text;
  bool negative = false;
  if (!t.empty() && (t[0] == '+' || t[0] == '-')) {
    negative = t[0] == '-';
    t.remove_prefix(1);
  }
  // One sign at most: the conversions below would take a second one, and the negation of the
  // smallest 64-bit value read that way cannot be represented.
  if (t.empty() || t[0] == '+' || t[0] == '-') {
    *error = quoted(text) + " is not a value";
    return false;
  }
  if (t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) {
    std::uint64_t v = 0;
    auto [p, ec] = std::from_chars(t.data() + 2, t.data() + t.size(), v, 16);
    if (ec != std::errc() || p != t.data() + t.size() || v > 0xFFFFFFFFull) {
      *error = quoted(text) + " is not a 32-bit hex integer";
      return false;
    }
    // Hex gives the 32-bit pattern (0xFFFFFFFF is -1).
    auto bits = static_cast<std::uint32_t>(v);
    if (negative) bits = 0u - bits;
    *out = static_cast<std::int32_t>(bits);
    return true;
  }
  bool is_float = t.find_first_of(".eE") != std::string_view::npos;
  if (!is_float) {
    std::int64_t v = 0;
    auto [p, ec] = std::from_chars(t.data(), t.data() + t.size(), v, 10);
    if (ec == std::errc() && p == t.data() + t.size()) {
      if (negative) v = -v;
      if (v >= std::numeric_limits<std::int32_t>::min() &&
          v <= std::numeric_limits<std::int32_t>::max()) {
        *out = static_cast<std::int32_t>(v);
      } else {
        *out = static_cast<double>(v);  // out of 32-bit range: let the member refuse it
      }
      return true;
    }
    if (ec != std::errc::result_out_of_range) {
      *error = quoted(text) + " is not a number";
      return false;
    }
  }
  double d = 0;
  auto [p, ec] = std::from_chars(t.data(), t.data() + t.size(), d);
  if (ec != std::errc() || p != t.data() + t.size() || !std::isfinite(d)) {
    *error = quoted(text) + " is not a number";
    return false;
  }
  *out = negative ? -d : d;
  return true;
}

// Splits the argument part of a line into tokens; a quoted string is one token.
bool tokenize(std::string_view line, std::vector<std::string_view>* tokens, std::string* error) {
  std::size_t i = 0;
  while (true) {
    while (i < line.size() && is_space(line[i])) ++i;
    if (i >= line.size()) return true;
    std::size_t start = i;
    if (line[i] == '"') {
      ++i;
      bool closed = false;
      while (i < line.size()) {
        if (line[i] == '\\') {
          i += 2;
          continue;
        }
        if (line[i] == '"') {
          closed = true;
          ++i;
          break;
        }
        ++i;
      }
      if (!closed || i > line.size()) {
        *error = "unterminated string";
        return false;
      }
      if (i < line.size() && !is_space(line[i])) {
        *error = "text right after a closing quote";
        return false;
      }
    } else {
      while (i < line.size() && !is_space(line[i])) ++i;
    }
    tokens->push_back(line.substr(start, i - start));
  }
}

bool parse_args(const std::vector<std::string_view>& tokens, std::size_t from,
                std::vector<arg_value>* args, std::string* error) {
  for (std::size_t k = from; k < tokens.size(); ++k) {
    arg_value v;
    if (!parse_argument(tokens[k], &v, error)) {
      *error = "argument " + std::to_string(k - from + 1) + ": " + *error;
      return false;
    }
    args->push_back(std::move(v));
  }
  return true;
}

bool parse_int32_strict(std::string_view t, std::int32_t* out) {
  arg_value v;
  std::string ignored;
  if (!parse_number(t, &v, &ignored)) return false;
  if (auto* i = std::get_if<std::int32_t>(&v)) {
    *out = *i;
    return true;
  }
  return false;
}

}  // namespace

bool parse_argument(std::string_view text, arg_value* out, std::string* error) {
  if (text.empty()) {
    *error = "empty argument";
    return false;
  }
  if (text.front() == '"') {
    if (text.size() < 2 || text.back() != '"') {
      *error = "unterminated string";
      return false;
    }
    std::u16string s;
    if (!parse_string(text, &s, error)) return false;
    *out = std::move(s);
    return true;
  }
  if (text == "-") {
    *out = arg_omitted{};
    return true;
  }
  if (ieq(text, "true")) {
    *out = true;
    return true;
  }
  if (ieq(text, "false")) {
    *out = false;
    return true;
  }
  if (text.front() == '@') {
    if (text.size() == 1) {
      *error = "@ needs the name of a control on the form";
      return false;
    }
    *out = arg_object{std::string(text.substr(1))};
    return true;
  }
  if (ieq(text, "nothing")) {
    *out = arg_nothing{};
    return true;
  }
  if (text.size() >= 6 && ieq(text.substr(0, 6), "bytes:")) {
    std::string_view hex = text.substr(6);
    if (hex.size() % 2 != 0) {
      *error = "byte array needs an even number of hex digits";
      return false;
    }
    arg_bytes b;
    for (std::size_t i = 0; i < hex.size(); i += 2) {
      int h = hex_digit(hex[i]), l = hex_digit(hex[i + 1]);
      if (h < 0 || l < 0) {
        *error = "byte array holds a character that is not a hex digit";
        return false;
      }
      b.bytes.push_back(static_cast<std::uint8_t>(h * 16 + l));
    }
    *out = std::move(b);
    return true;
  }
  char c = text.front();
  if ((c >= '0' && c <= '9') || c == '-' || c == '+' || c == '.')
    return parse_number(text, out, error);
  *error = quoted(text) + " is not a value (strings need double quotes)";
  return false;
}

bool parse_command_line(std::string_view line, command* out, std::string* error) {
  *out = command{};
  // Names and strings end at a NUL further down (the control, the code page): the rest of such
  // a line would silently be dropped.
  if (const std::size_t nul = line.find('\0'); nul != std::string_view::npos) {
    *error = "the line holds a NUL byte (at column " + std::to_string(nul + 1) + ")";
    return false;
  }
  std::vector<std::string_view> tokens;
  std::size_t first = 0;
  while (first < line.size() && is_space(line[first])) ++first;
  if (first >= line.size() || line[first] == '#') return true;  // blank or comment
  if (!tokenize(line, &tokens, error)) return false;

  std::string_view verb = tokens[0];
  auto need = [&](std::size_t min, std::size_t max, const char* usage) {
    if (tokens.size() < min || tokens.size() > max) {
      *error = std::string("usage: ") + usage;
      return false;
    }
    return true;
  };

  if (ieq(verb, "get")) {
    if (!need(2, 2, "get NAME")) return false;
    out->kind = command_kind::get;
    out->name = tokens[1];
    return true;
  }
  if (ieq(verb, "put")) {
    if (!need(3, 3, "put NAME VALUE")) return false;
    out->kind = command_kind::put;
    out->name = tokens[1];
    return parse_args(tokens, 2, &out->args, error);
  }
  if (ieq(verb, "call")) {
    if (!need(2, SIZE_MAX, "call NAME [ARG ...]")) return false;
    out->kind = command_kind::call;
    out->name = tokens[1];
    return parse_args(tokens, 2, &out->args, error);
  }
  if (ieq(verb, "invoke")) {
    if (!need(3, SIZE_MAX, "invoke DISPID get|put|call [ARG ...]")) return false;
    out->kind = command_kind::invoke;
    if (!parse_int32_strict(tokens[1], &out->dispid)) {
      *error = quoted(tokens[1]) + " is not a DISPID";
      return false;
    }
    if (ieq(tokens[2], "get")) {
      out->action = invoke_action::get;
    } else if (ieq(tokens[2], "put")) {
      out->action = invoke_action::put;
      if (tokens.size() != 4) {
        *error = "usage: invoke DISPID put VALUE";
        return false;
      }
    } else if (ieq(tokens[2], "call")) {
      out->action = invoke_action::call;
    } else {
      *error = "invoke needs get, put or call, not " + quoted(tokens[2]);
      return false;
    }
    return parse_args(tokens, 3, &out->args, error);
  }
  if (ieq(verb, "pump")) {
    if (!need(2, 2, "pump MS")) return false;
    out->kind = command_kind::pump;
    if (!parse_int32_strict(tokens[1], &out->milliseconds) || out->milliseconds < 0) {
      *error = "pump needs a number of milliseconds (0 or more)";
      return false;
    }
    return true;
  }
  if (ieq(verb, "mode")) {
    if (!need(2, 2, "mode run|design")) return false;
    out->kind = command_kind::mode;
    if (ieq(tokens[1], "run")) {
      out->run_mode = true;
    } else if (ieq(tokens[1], "design")) {
      out->run_mode = false;
    } else {
      *error = "usage: mode run|design";
      return false;
    }
    return true;
  }
  if (ieq(verb, "save") || ieq(verb, "load")) {
    const bool save = ieq(verb, "save");
    if (!need(2, 2, save ? "save FILE" : "load FILE")) return false;
    out->kind = save ? command_kind::save : command_kind::load;
    // A path is a bare word, or a quoted string when it holds spaces.
    arg_value file;
    if (tokens[1].front() == '"') {
      if (!parse_argument(tokens[1], &file, error)) return false;
    } else {
      file = win::Utf8ToUtf16(tokens[1]);
    }
    if (!std::holds_alternative<std::u16string>(file) || std::get<std::u16string>(file).empty()) {
      *error = std::string(save ? "save" : "load") + " needs a file name";
      return false;
    }
    out->args.push_back(std::move(file));
    return true;
  }
  if (ieq(verb, "dirty") || ieq(verb, "pages")) {
    const bool dirty = ieq(verb, "dirty");
    if (!need(1, 1, dirty ? "dirty" : "pages")) return false;
    out->kind = dirty ? command_kind::dirty : command_kind::pages;
    return true;
  }
  if (ieq(verb, "place")) {
    if (!need(3, 3, "place NAME modem|occupier|counting-occupier|plain")) return false;
    out->kind = command_kind::place;
    out->name = tokens[1];
    for (const char* kind : {"modem", "occupier", "counting-occupier", "plain"}) {
      if (ieq(tokens[2], kind)) out->sibling_kind = kind;
    }
    if (out->sibling_kind.empty()) {
      *error =
          quoted(tokens[2]) + " is no sibling kind (modem, occupier, counting-occupier, plain)";
      return false;
    }
    return true;
  }
  if (ieq(verb, "unplace")) {
    if (!need(2, 2, "unplace NAME")) return false;
    out->kind = command_kind::unplace;
    out->name = tokens[1];
    return true;
  }
  if (ieq(verb, "tell")) {
    if (!need(3, SIZE_MAX, "tell NAME ACTION [ARG ...]")) return false;
    out->kind = command_kind::tell;
    out->name = tokens[1];
    for (char ch : tokens[2])
      out->sibling_action.push_back(
          static_cast<char>(std::tolower(static_cast<unsigned char>(ch))));
    return parse_args(tokens, 3, &out->args, error);
  }
  if (ieq(verb, "members") || ieq(verb, "ports")) {
    const bool members = ieq(verb, "members");
    if (!need(1, 1, members ? "members" : "ports")) return false;
    out->kind = members ? command_kind::members : command_kind::ports;
    return true;
  }
  if (ieq(verb, "help")) {
    if (!need(1, 2, "help [NAME]")) return false;
    out->kind = command_kind::help;
    if (tokens.size() == 2) out->name = tokens[1];
    return true;
  }
  if (ieq(verb, "quit")) {
    if (!need(1, 1, "quit")) return false;
    out->kind = command_kind::quit;
    return true;
  }
  *error = "unknown command " + quoted(verb);
  return false;
}

std::string_view command_summary() {
  return "Commands, one per line (# starts a comment):\n"
         "  get NAME | put NAME VALUE | call NAME [ARG ...]   a member of the Port control\n"
         "  invoke DISPID get|put|call [ARG ...]              a member by DISPID\n"
         "  pump MS                                           serve events for MS ms\n"
         "  mode run|design                                   the form's UserMode\n"
         "  place NAME modem|occupier|counting-occupier|plain a sibling control on the form\n"
         "  unplace NAME                                      takes a sibling off the form\n"
         "  tell NAME refuse|agree|dial DEVICE|close|send TEXT|hangup\n"
         "                                                    a modem sibling acts\n"
         "  save FILE | load FILE                             the settings to / from a file\n"
         "  dirty                                             changed since save or load?\n"
         "  pages                                             the property pages' CLSIDs\n"
         "  members                                           every member, event and enum\n"
         "  help NAME                                         one of them in detail\n"
         "  ports                                             serial devices and their COM "
         "numbers\n"
         "  help | quit\n"
         "Values: 12 0x1F -3 1.5 true false \"text\" (escapes \\\\ \\\" \\r \\n \\t \\xHH)\n"
         "        bytes:3132 (bytes: is empty) nothing, - to omit an optional argument,\n"
         "        @NAME for the control placed under NAME (@Port1: the Port control).\n"
         "Out-parameters take a placeholder value, or - to leave them out.\n"
         "Output: => VALUE | !! 0xHHHHHHHH DESCRIPTION | out NAME = VALUE | event NAME(ARGS)\n"
         "        | changed DISPID | sibling NAME: OPERATION(ARGS)\n";
}

void line_buffer::append(std::string_view bytes) {
  // Bytes already taken as lines are dropped once they are the larger part, so the copying
  // stays linear too.
  if (start_ > 0 && start_ >= pending_.size() - start_) {
    pending_.erase(0, start_);
    start_ = 0;
  }
  pending_.append(bytes);
}

bool line_buffer::next_line(std::string* line) {
  const std::size_t from = start_ + scanned_;
  const void* found = from < pending_.size()
                          ? std::memchr(pending_.data() + from, '\n', pending_.size() - from)
                          : nullptr;
  if (!found) {
    examined_ += pending_.size() - from;
    scanned_ = pending_.size() - start_;
    return false;
  }
  const std::size_t nl = static_cast<const char*>(found) - pending_.data();
  examined_ += nl + 1 - from;
  std::size_t end = nl;
  if (end > start_ && pending_[end - 1] == '\r') --end;
  line->assign(pending_, start_, end - start_);
  start_ = nl + 1;
  scanned_ = 0;
  return true;
}

std::string line_buffer::take_rest() {
  std::string rest = pending_.substr(start_);
  pending_.clear();
  start_ = scanned_ = 0;
  return rest;
}

}  // namespace testcon
