// libFuzzer target: the component registry file (REGEDIT4 text) as ParseRegFile reads it.
//
// Input: the text of a registry file, any bytes.
//
// Checks, each a crash with a message when broken:
// - the tree read (whole or up to the first invalid line) is well formed: key names non-empty
//   without backslash, NUL, CR or LF; no two sub-keys of a key and no two values of a key share
//   a name (names compare ASCII case-insensitively);
// - SerializeRegFile's text of that tree parses whole (ParseRegFile returns true) into the same
//   tree (names, value types and bytes, order), and serialising that tree gives the same text;
// - parsing is deterministic: the same text read twice gives the same tree.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/com/registry_file.h"

namespace {

using win::registry::NamesEqual;
using win::registry::ParseRegFile;
using win::registry::RegistryTree;
using win::registry::RegKey;
using win::registry::SerializeRegFile;

[[noreturn]] void Fail(const std::string& what, std::string_view text) {
  std::fprintf(stderr, "registry_file_fuzz: %s\n--- text (%zu bytes) ---\n%.*s\n---\n",
               what.c_str(), text.size(), static_cast<int>(text.size()), text.data());
  std::abort();
}

// Where two keys differ, as a path; empty when they are the same.
std::string Difference(const RegKey& a, const RegKey& b, const std::string& path) {
  if (a.name != b.name) return path + ": name '" + a.name + "' / '" + b.name + "'";
  if (a.values.size() != b.values.size()) return path + ": value count";
  for (std::size_t i = 0; i < a.values.size(); ++i) {
    const auto& x = a.values[i];
    const auto& y = b.values[i];
    if (x.name != y.name || x.type != y.type || x.data != y.data)
      return path + ": value '" + x.name + "'";
  }
  if (a.children.size() != b.children.size()) return path + ": sub-key count";
  for (std::size_t i = 0; i < a.children.size(); ++i) {
    std::string d = Difference(*a.children[i], *b.children[i], path + "\\" + a.children[i]->name);
    if (!d.empty()) return d;
  }
  return {};
}

std::string Difference(const RegistryTree& a, const RegistryTree& b) {
  std::string d = Difference(a.classesRoot, b.classesRoot, "HKCR");
  return d.empty() ? Difference(a.localMachine, b.localMachine, "HKLM") : d;
}

// The first fault of a key's shape, or empty.
std::string Malformed(const RegKey& key, const std::string& path, bool root) {
  if (!root) {
    if (key.name.empty()) return path + ": empty key name";
    if (key.name.find_first_of(std::string_view("\\\r\n\0", 4)) != std::string::npos)
      return path + ": key name with a backslash, line break or NUL";
  }
  for (std::size_t i = 0; i < key.values.size(); ++i)
    for (std::size_t j = 0; j < i; ++j)
      if (NamesEqual(key.values[i].name, key.values[j].name))
        return path + ": value '" + key.values[i].name + "' twice";
  for (std::size_t i = 0; i < key.children.size(); ++i) {
    for (std::size_t j = 0; j < i; ++j)
      if (NamesEqual(key.children[i]->name, key.children[j]->name))
        return path + ": sub-key '" + key.children[i]->name + "' twice";
    std::string m = Malformed(*key.children[i], path + "\\" + key.children[i]->name, false);
    if (!m.empty()) return m;
  }
  return {};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);

  RegistryTree tree;
  ParseRegFile(input, &tree);
  for (const RegKey* root : {&tree.classesRoot, &tree.localMachine}) {
    std::string m = Malformed(*root, root->name, true);
    if (!m.empty()) Fail("the tree read is malformed: " + m, input);
  }
  RegistryTree again;
  ParseRegFile(input, &again);
  if (std::string d = Difference(tree, again); !d.empty())
    Fail("the same text read twice differs at " + d, input);

  const std::string text = SerializeRegFile(tree);
  RegistryTree reread;
  if (!ParseRegFile(text, &reread)) Fail("the written text does not read back whole", text);
  if (std::string d = Difference(tree, reread); !d.empty())
    Fail("the written text reads back differently at " + d, text);
  if (SerializeRegFile(reread) != text) Fail("writing the tree read back gives another text", text);
  return 0;
}
