#include "tools/testcon/member_listing.h"

#include <cctype>
#include <set>

#include "control/port_enums.h"
#include "control/port_members.h"
#include "tools/testcon/command_line.h"

namespace testcon {

namespace {

using ravlin::member_kind;
using ravlin::member_spec;
using ravlin::param_spec;

std::string type_name(std::uint16_t type, const char* enumName) {
  namespace vt = ravlin::vt;
  if (enumName) return enumName;
  switch (type & ~vt::byref) {
    case vt::i2:
      return "int16";
    case vt::i4:
      return "int32";
    case vt::r4:
      return "float";
    case vt::bstr:
      return "string";
    case vt::dispatch:
      return "object";
    case vt::boolean:
      return "bool";
    case vt::variant:
      return "variant";
    case vt::ui1:
      return "byte";
    case vt::uint:
      return "uint";
    case vt::bytes:
      return "byte array";
    default:
      return "vt " + std::to_string(type);
  }
}

std::string parameters(const member_spec& m) {
  std::string out = "(";
  for (std::size_t i = 0; i < m.params.size(); ++i) {
    const param_spec& p = m.params[i];
    std::string one = std::string(p.name) + " " + type_name(p.type, p.enum_name);
    if (p.flags & ravlin::pf_out) one = "out " + one;
    if ((p.flags & ravlin::pf_out) == 0 && (p.type & ravlin::vt::byref)) one += " by reference";
    if (p.flags & ravlin::pf_optional) one = "[" + one + "]";
    out += (i ? ", " : "") + one;
  }
  return out + ")";
}

std::string help_text(const member_spec& m) {
  return m.help ? std::string("  ") + m.help : std::string();
}

// The line of a method or event, or of a property (its get and put together).
std::string member_line(const member_spec& m, bool isEvent) {
  const std::string flags = (m.flags & ravlin::mf_hidden) ? ", hidden" : "";
  const std::string id = std::to_string(m.dispid);
  if (isEvent)
    return "event " + std::string(m.name) + parameters(m) + "  [" + id + "]" + help_text(m);
  if (m.kind == member_kind::method) {
    std::string result = m.result ? " -> " + type_name(m.result, m.result_enum) : std::string();
    return "method " + std::string(m.name) + parameters(m) + result + "  [" + id + flags + "]" +
           help_text(m);
  }
  const bool get = ravlin::findPortMember(m.dispid, member_kind::propget) != nullptr;
  const bool put = ravlin::findPortMember(m.dispid, member_kind::propput) != nullptr;
  const param_spec* value =
      m.kind == member_kind::propput && !m.params.empty() ? &m.params[0] : nullptr;
  const std::string type =
      value ? type_name(value->type, value->enum_name) : type_name(m.result, m.result_enum);
  const std::string access = get && put ? "read/write" : get ? "read-only" : "write-only";
  return "property " + std::string(m.name) + ": " + type + " (" + access + ")  [" + id + flags +
         "]" + help_text(m);
}

std::string enum_line(const ravlin::enum_description& e) {
  std::string out = "enum " + std::string(e.name) + ":";
  for (std::size_t i = 0; i < e.constants.size(); ++i)
    out += std::string(i ? ", " : " ") + e.constants[i].name + " = " +
           std::to_string(e.constants[i].value);
  return out;
}

// The enumeration lines with each value's help string.
void add_enum_detail(const ravlin::enum_description& e, std::vector<std::string>* out) {
  out->push_back(enum_line(e) + (e.help ? std::string("  ") + e.help : std::string()));
  for (const auto& c : e.constants)
    out->push_back("  " + std::string(c.name) + " = " + std::to_string(c.value) +
                   (c.help ? std::string("  ") + c.help : std::string()));
}

// Properties appear once: the get, or the put when there is no get.
bool first_of_its_property(const member_spec& m) {
  if (m.kind == member_kind::method) return true;
  if (m.kind == member_kind::propget) return true;
  return ravlin::findPortMember(m.dispid, member_kind::propget) == nullptr;
}

void enums_used(const member_spec& m, std::set<std::string>* names) {
  if (m.result_enum) names->insert(m.result_enum);
  for (const auto& p : m.params)
    if (p.enum_name) names->insert(p.enum_name);
}

}  // namespace

std::vector<std::string> list_members() {
  std::vector<std::string> out;
  for (const auto& m : ravlin::iport18Members())
    if (first_of_its_property(m)) out.push_back(member_line(m, false));
  for (const auto& e : ravlin::iport18EventMembers()) out.push_back(member_line(e, true));
  for (const auto& e : ravlin::portEnumerations()) out.push_back(enum_line(e));
  return out;
}

std::vector<std::string> describe_member(std::string_view name) {
  std::vector<std::string> out;
  std::set<std::string> enums;
  for (const auto& m : ravlin::iport18Members()) {
    if (!ieq(m.name, name)) continue;
    enums_used(m, &enums);
    if (first_of_its_property(m)) out.push_back(member_line(m, false));
  }
  for (const auto& e : ravlin::iport18EventMembers()) {
    if (!ieq(e.name, name)) continue;
    enums_used(e, &enums);
    out.push_back(member_line(e, true));
  }
  for (const auto& e : ravlin::portEnumerations())
    if (ieq(e.name, name) || enums.count(e.name)) add_enum_detail(e, &out);
  return out;
}

}  // namespace testcon
