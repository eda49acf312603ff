// libFuzzer target: registry scripts as the registrar parses and applies them.
//
// Input: the script, any bytes up to the first NUL (the registrar takes a C string). The
// replacements MODULE (a path holding quotes, braces, "=" and "%"), CLSID and an empty one are
// set, as a server library sets its own.
//
// Each run starts from an empty store (a file of its own on tmpfs, through RAVLIN_REGISTRY).
// Checks, each a crash with a message when broken:
// - a script the registrar refuses changes nothing: the store file is not even created;
// - a script it takes registers to a well-formed tree (sub-keys and values named once, key
//   names non-empty without backslash or line breaks), and registering it a second time gives
//   the same tree (names, values and types; sub-keys in any order);
// - unregistering it then leaves no named value anywhere (every value came from the script, and
//   the script names it again), and unregistering a second time changes nothing more;
// - unregistering a script from an empty store leaves it empty (missing keys are skipped).
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/com/registrar.h"
#include "platform/com/registry_file.h"

namespace {

using win::registry::NamesEqual;
using win::registry::RegistryFile;
using win::registry::RegistryTree;
using win::registry::RegKey;

std::string g_store;
std::string g_script;

[[noreturn]] void Fail(const std::string& what) {
  std::fprintf(stderr, "registrar_fuzz: %s\n--- script ---\n%s\n---\n", what.c_str(),
               g_script.c_str());
  std::abort();
}

std::string Lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

// A key as text with sub-keys and values sorted by name, so that trees that differ only in
// the order of sub-keys compare equal.
std::string Canonical(const RegKey& key, int depth = 0) {
  std::string out = std::string(static_cast<std::size_t>(depth), ' ') + "[" + key.name + "]\n";
  std::vector<std::string> values;
  for (const auto& v : key.values) {
    std::string line = " " + Lower(v.name) + "|" + v.name + "|" + std::to_string(v.type) + "|";
    for (std::uint8_t b : v.data) line += std::to_string(b) + ",";
    values.push_back(line + "\n");
  }
  std::sort(values.begin(), values.end());
  for (const auto& v : values) out += v;
  std::vector<std::string> children;
  for (const auto& c : key.children) children.push_back(Canonical(*c, depth + 1));
  std::sort(children.begin(), children.end(),
            [](const std::string& a, const std::string& b) { return Lower(a) < Lower(b); });
  for (const auto& c : children) out += c;
  return out;
}

std::string Canonical(const RegistryTree& tree) {
  return Canonical(tree.classesRoot) + Canonical(tree.localMachine);
}

std::string Malformed(const RegKey& key, bool root) {
  if (!root && (key.name.empty() ||
                key.name.find_first_of(std::string_view("\\\r\n\0", 4)) != std::string::npos))
    return "key name '" + key.name + "'";
  for (std::size_t i = 0; i < key.values.size(); ++i)
    for (std::size_t j = 0; j < i; ++j)
      if (NamesEqual(key.values[i].name, key.values[j].name))
        return "value '" + key.values[i].name + "' twice in '" + key.name + "'";
  for (std::size_t i = 0; i < key.children.size(); ++i) {
    for (std::size_t j = 0; j < i; ++j)
      if (NamesEqual(key.children[i]->name, key.children[j]->name))
        return "sub-key '" + key.children[i]->name + "' twice in '" + key.name + "'";
    std::string m = Malformed(*key.children[i], false);
    if (!m.empty()) return m;
  }
  return {};
}

std::string NamedValue(const RegKey& key) {
  for (const auto& v : key.values)
    if (!v.name.empty()) return key.name + " holds '" + v.name + "'";
  for (const auto& c : key.children)
    if (std::string n = NamedValue(*c); !n.empty()) return n;
  return {};
}

std::shared_ptr<const RegistryTree> Store() {
  std::shared_ptr<const RegistryTree> tree;
  if (RegistryFile(g_store).Read(&tree) != 0) Fail("the store cannot be read");
  return tree;
}

bool Empty(const RegistryTree& tree) {
  return tree.classesRoot.children.empty() && tree.classesRoot.values.empty() &&
         tree.localMachine.children.empty() && tree.localMachine.values.empty();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  std::string base = std::filesystem::exists("/dev/shm") ? "/dev/shm" : "/tmp";
  std::string dir = base + "/registrar_fuzz.XXXXXX";
  if (!::mkdtemp(dir.data())) return 1;
  static std::string s_dir = dir;
  std::atexit([] { std::filesystem::remove_all(s_dir); });
  g_store = dir + "/registry.reg";
  ::setenv("RAVLIN_REGISTRY", g_store.c_str(), 1);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  g_script.assign(reinterpret_cast<const char*>(data), size);
  g_script.resize(std::min(g_script.size(), g_script.find('\0')));
  std::filesystem::remove(g_store);

  win::Registrar registrar;
  registrar.AddReplacement("MODULE", "/opt/a b/lib'x'{y}=%z%.so");
  registrar.AddReplacement("CLSID", "{7C2A9E0E-4F3B-4D8A-9E61-2B7D45C0A311}");
  registrar.AddReplacement("EMPTY", "");

  const win::HRESULT hr = registrar.StringRegister(g_script.c_str());
  if (hr != win::S_OK) {
    if (hr != win::DISP_E_EXCEPTION) Fail("a refusal other than DISP_E_EXCEPTION");
    if (std::filesystem::exists(g_store)) Fail("a refused script created the store");
    if (registrar.StringUnregister(g_script.c_str()) != win::DISP_E_EXCEPTION)
      Fail("a script refused for registering is taken for unregistering");
    return 0;
  }
  const auto once = Store();
  for (const RegKey* root : {&once->classesRoot, &once->localMachine})
    if (std::string m = Malformed(*root, true); !m.empty()) Fail("registered tree: " + m);

  if (registrar.StringRegister(g_script.c_str()) != win::S_OK) Fail("the second register failed");
  const auto twice = Store();
  if (Canonical(*once) != Canonical(*twice))
    Fail("registering twice differs from once:\n" + Canonical(*once) + "---\n" + Canonical(*twice));

  if (registrar.StringUnregister(g_script.c_str()) != win::S_OK) Fail("unregister failed");
  const auto removed = Store();
  for (const RegKey* root : {&removed->classesRoot, &removed->localMachine})
    if (std::string n = NamedValue(*root); !n.empty()) Fail("after unregistering, " + n);
  if (registrar.StringUnregister(g_script.c_str()) != win::S_OK) Fail("unregister failed");
  if (Canonical(*Store()) != Canonical(*removed)) Fail("unregistering twice differs from once");

  std::filesystem::remove(g_store);
  if (registrar.StringUnregister(g_script.c_str()) != win::S_OK) Fail("unregister failed");
  if (!Empty(*Store())) Fail("unregistering from an empty store created something");
  return 0;
}
