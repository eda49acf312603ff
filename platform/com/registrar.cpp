#include "platform/com/registrar.h"

#include <dlfcn.h>
#include <strings.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <set>
#include <string_view>

#include "platform/com/registry.h"
#include "platform/com/registry_file.h"

namespace win {
namespace {

HRESULT FromWin32(LONG rc) {
  return rc == ERROR_SUCCESS ? S_OK
                             : MakeHResult(0x80070000u | (static_cast<std::uint32_t>(rc) & 0xFFFF));
}

// ---- script tree -----------------------------------------------------------------------------

struct TypedValue {
  DWORD type = REG_NONE;
  std::vector<BYTE> data;
};

struct ScriptKey {
  enum class Flag { None, NoRemove, ForceRemove, Delete };
  std::string name;
  Flag flag = Flag::None;
  std::optional<TypedValue> defaultValue;
  std::vector<std::pair<std::string, TypedValue>> values;
  std::vector<ScriptKey> children;
};

struct ScriptRoot {
  registry::Hive hive;
  std::vector<ScriptKey> keys;
};

// ---- tokens ----------------------------------------------------------------------------------

struct Token {
  enum class Kind { End, Open, Close, Equals, Word } kind = Kind::End;
  std::string text;     // after replacement
  bool quoted = false;  // quoted words are never keywords
};

class Lexer {
 public:
  Lexer(std::string_view text, const std::vector<std::pair<std::string, std::string>>& repl)
      : text_(text), replacements_(repl) {}

  // False on a malformed token (open quote, unknown %NAME%).
  bool Next(Token* t) {
    while (pos_ < text_.size() && IsSpace(text_[pos_])) ++pos_;
    *t = Token{};
    if (pos_ >= text_.size()) return true;
    char c = text_[pos_];
    if (c == '{' && pos_ + 1 < text_.size() && !IsSpace(text_[pos_ + 1]) &&
        text_[pos_ + 1] != '{' && text_[pos_ + 1] != '}') {
      // A bare {GUID} key name: the brace opens a name, not a block.
      t->kind = Token::Kind::Word;
      std::string raw;
      while (pos_ < text_.size() && !IsSpace(text_[pos_]) && text_[pos_] != '=') {
        raw.push_back(text_[pos_++]);
        if (raw.back() == '}') break;
      }
      return Replace(raw, &t->text);
    }
    if (c == '{' || c == '}' || c == '=') {
      t->kind = c == '{' ? Token::Kind::Open : c == '}' ? Token::Kind::Close : Token::Kind::Equals;
      ++pos_;
      return true;
    }
    t->kind = Token::Kind::Word;
    std::string raw;
    if (c == '\'') {
      t->quoted = true;
      ++pos_;
      for (;;) {
        if (pos_ >= text_.size()) return false;
        char ch = text_[pos_++];
        if (ch == '\'') {
          if (pos_ < text_.size() && text_[pos_] == '\'') {
            raw.push_back('\'');
            ++pos_;
            continue;
          }
          break;
        }
        raw.push_back(ch);
      }
    } else {
      while (pos_ < text_.size() && !IsSpace(text_[pos_]) && text_[pos_] != '{' &&
             text_[pos_] != '}' && text_[pos_] != '=' && text_[pos_] != '\'')
        raw.push_back(text_[pos_++]);
    }
    return Replace(raw, &t->text);
  }

 private:
  static bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

  bool Replace(const std::string& raw, std::string* out) const {
    out->clear();
    for (size_t i = 0; i < raw.size(); ++i) {
      if (raw[i] != '%') {
        out->push_back(raw[i]);
        continue;
      }
      size_t end = raw.find('%', i + 1);
      if (end == std::string::npos) return false;
      std::string_view name(raw.data() + i + 1, end - i - 1);
      if (name.empty()) {
        out->push_back('%');
      } else {
        const std::string* value = nullptr;
        for (const auto& [k, v] : replacements_)
          if (k.size() == name.size() && strncasecmp(k.data(), name.data(), name.size()) == 0)
            value = &v;
        if (!value) return false;
        out->append(*value);
      }
      i = end;
    }
    return true;
  }

  std::string_view text_;
  size_t pos_ = 0;
  const std::vector<std::pair<std::string, std::string>>& replacements_;
};

bool IsKeyword(const Token& t, const char* word) {
  return t.kind == Token::Kind::Word && !t.quoted && strcasecmp(t.text.c_str(), word) == 0;
}

// ---- parser ----------------------------------------------------------------------------------

class Parser {
 public:
  Parser(std::string_view text, const std::vector<std::pair<std::string, std::string>>& repl)
      : lexer_(text, repl) {}

  bool Parse(std::vector<ScriptRoot>* roots) {
    if (!Advance()) return false;
    while (tok_.kind != Token::Kind::End) {
      if (IsKeyword(tok_, "NoRemove") && !Advance()) return false;
      ScriptRoot root;
      if (tok_.kind != Token::Kind::Word || !HiveNamed(tok_.text, &root.hive)) return false;
      if (!Advance() || tok_.kind != Token::Kind::Open) return false;
      if (!Advance() || !ParseKeys(&root.keys, 0)) return false;
      roots->push_back(std::move(root));
    }
    return true;
  }

 private:
  static constexpr int kMaxDepth = 64;

  bool Advance() { return lexer_.Next(&tok_); }

  static bool HiveNamed(const std::string& name, registry::Hive* hive) {
    if (strcasecmp(name.c_str(), "HKCR") == 0 ||
        strcasecmp(name.c_str(), "HKEY_CLASSES_ROOT") == 0) {
      *hive = registry::Hive::ClassesRoot;
      return true;
    }
    if (strcasecmp(name.c_str(), "HKLM") == 0 ||
        strcasecmp(name.c_str(), "HKEY_LOCAL_MACHINE") == 0) {
      *hive = registry::Hive::LocalMachine;
      return true;
    }
    return false;
  }

  // Reads keys up to and including the closing brace.
  bool ParseKeys(std::vector<ScriptKey>* keys, int depth) {
    if (depth > kMaxDepth) return false;
    for (;;) {
      if (tok_.kind == Token::Kind::Close) return Advance();
      if (tok_.kind != Token::Kind::Word) return false;
      if (IsKeyword(tok_, "val")) {
        if (!Advance() || tok_.kind != Token::Kind::Word) return false;
        std::string name = tok_.text;
        if (!ValidValueName(name)) return false;
        TypedValue value;
        if (!Advance() || tok_.kind != Token::Kind::Equals || !Advance() ||
            !ParseTypedValue(&value))
          return false;
        if (current_ == nullptr) return false;  // values belong to a key, not to a hive
        current_->values.emplace_back(std::move(name), std::move(value));
        continue;
      }
      ScriptKey key;
      if (IsKeyword(tok_, "NoRemove")) key.flag = ScriptKey::Flag::NoRemove;
      if (IsKeyword(tok_, "ForceRemove")) key.flag = ScriptKey::Flag::ForceRemove;
      if (IsKeyword(tok_, "Delete")) key.flag = ScriptKey::Flag::Delete;
      if (key.flag != ScriptKey::Flag::None && (!Advance() || tok_.kind != Token::Kind::Word))
        return false;
      key.name = tok_.text;
      if (!ValidKeyName(key.name) || !Advance()) return false;
      if (tok_.kind == Token::Kind::Equals) {
        TypedValue value;
        if (!Advance() || !ParseTypedValue(&value)) return false;
        key.defaultValue = std::move(value);
      }
      if (tok_.kind == Token::Kind::Open) {
        ScriptKey* outer = current_;
        current_ = &key;
        if (!Advance() || !ParseKeys(&key.children, depth + 1)) return false;
        current_ = outer;
      }
      keys->push_back(std::move(key));
    }
  }

  // "s 'text'", "d 'number'" (decimal or 0x hex), "b 'hex bytes'"; leaves the next token read.
  bool ParseTypedValue(TypedValue* value) {
    if (tok_.kind != Token::Kind::Word || tok_.quoted) return false;
    std::string kind = tok_.text;
    if (!Advance() || tok_.kind != Token::Kind::Word) return false;
    const std::string& text = tok_.text;
    if (strcasecmp(kind.c_str(), "s") == 0) {
      value->type = REG_SZ;
      value->data.assign(text.begin(), text.end());
      value->data.push_back(0);
    } else if (strcasecmp(kind.c_str(), "d") == 0) {
      if (text.empty()) return false;
      errno = 0;
      char* end = nullptr;
      unsigned long long n = std::strtoull(text.c_str(), &end, 0);
      if (*end != '\0' || errno != 0 || n > 0xFFFFFFFFull || text[0] == '-') return false;
      DWORD d = static_cast<DWORD>(n);
      value->type = REG_DWORD;
      value->data.resize(4);
      std::memcpy(value->data.data(), &d, 4);
    } else if (strcasecmp(kind.c_str(), "b") == 0) {
      if (text.size() % 2 != 0) return false;
      value->type = 3;  // REG_BINARY
      for (size_t i = 0; i < text.size(); i += 2) {
        char pair[3] = {text[i], text[i + 1], 0};
        char* end = nullptr;
        long b = std::strtol(pair, &end, 16);
        if (*end != '\0' || !std::isxdigit(static_cast<unsigned char>(pair[0]))) return false;
        value->data.push_back(static_cast<BYTE>(b));
      }
    } else {
      return false;
    }
    return Advance();
  }

  static bool ValidKeyName(const std::string& name) {
    if (name.empty()) return false;
    for (char c : name)
      if (c == '\\' || c == '\0' || c == '\r' || c == '\n') return false;
    return true;
  }
  static bool ValidValueName(const std::string& name) {
    return name.find_first_of(std::string_view("\r\n\0", 3)) == std::string::npos;
  }

  Lexer lexer_;
  Token tok_;
  ScriptKey* current_ = nullptr;
};

// ---- applying --------------------------------------------------------------------------------
// A script is applied to the store's tree in one locked update, so it lands whole or not at all.

using registry::RegKey;

void Register(RegKey& parent, const ScriptKey& k) {
  if (k.flag == ScriptKey::Flag::Delete || k.flag == ScriptKey::Flag::ForceRemove)
    parent.RemoveChild(k.name);
  if (k.flag == ScriptKey::Flag::Delete) return;
  RegKey* key = parent.AddChild(k.name);
  if (k.defaultValue) key->SetValue("", k.defaultValue->type, k.defaultValue->data);
  for (const auto& [valueName, value] : k.values) key->SetValue(valueName, value.type, value.data);
  for (const auto& child : k.children) Register(*key, child);
}

// A key's path below its hive, lower case, as the key to the set of NoRemove keys.
std::string PathOf(const std::string& parentPath, const std::string& name) {
  std::string path = parentPath + "\\";
  for (char c : name) path.push_back((c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c);
  return path;
}

// The paths of every key the script marks NoRemove, wherever it names it.
void CollectNoRemove(const std::vector<ScriptKey>& keys, const std::string& parentPath,
                     std::set<std::string>* paths) {
  for (const ScriptKey& k : keys) {
    const std::string path = PathOf(parentPath, k.name);
    if (k.flag == ScriptKey::Flag::NoRemove) paths->insert(path);
    CollectNoRemove(k.children, path, paths);
  }
}

// A key the script marks NoRemove anywhere is never deleted by a plain entry of the same key,
// whether that entry comes before the NoRemove one or after it.
void Unregister(RegKey& parent, const ScriptKey& k, const std::string& parentPath,
                const std::set<std::string>& noRemove) {
  if (k.flag == ScriptKey::Flag::ForceRemove || k.flag == ScriptKey::Flag::Delete) {
    parent.RemoveChild(k.name);
    return;
  }
  RegKey* key = parent.Child(k.name);
  if (!key) return;
  const std::string path = PathOf(parentPath, k.name);
  for (const auto& child : k.children) Unregister(*key, child, path, noRemove);
  for (const auto& [valueName, value] : k.values) key->RemoveValue(valueName);
  // Another server's sub-keys keep a shared key alive.
  if (k.flag != ScriptKey::Flag::NoRemove && !noRemove.count(path) && key->children.empty())
    parent.RemoveChild(k.name);
}

}  // namespace

HRESULT Registrar::AddReplacement(const char* name, const char* value) {
  if (!name || !value || !*name) return E_INVALIDARG;
  for (auto& [k, v] : replacements_) {
    if (strcasecmp(k.c_str(), name) == 0) {
      v = value;
      return S_OK;
    }
  }
  replacements_.emplace_back(name, value);
  return S_OK;
}

HRESULT Registrar::ClearReplacements() {
  replacements_.clear();
  return S_OK;
}

HRESULT Registrar::StringRegister(const char* script) {
  return Run(script, true);
}

HRESULT Registrar::StringUnregister(const char* script) {
  return Run(script, false);
}

HRESULT Registrar::Run(const char* script, bool registering) {
  if (!script) return E_INVALIDARG;
  std::vector<ScriptRoot> roots;
  if (!Parser(script, replacements_).Parse(&roots)) return DISP_E_EXCEPTION;
  std::set<std::string> noRemove;
  for (const auto& root : roots)
    CollectNoRemove(root.keys, root.hive == registry::Hive::ClassesRoot ? "hkcr" : "hklm",
                    &noRemove);
  LONG rc = registry::RegistryFile().Update([&](registry::RegistryTree& tree, bool* changed) {
    for (const auto& root : roots) {
      const std::string hive = root.hive == registry::Hive::ClassesRoot ? "hkcr" : "hklm";
      for (const auto& key : root.keys) {
        if (registering) {
          Register(tree.Root(root.hive), key);
        } else {
          Unregister(tree.Root(root.hive), key, hive, noRemove);
        }
      }
    }
    *changed = true;
    return static_cast<LONG>(ERROR_SUCCESS);
  });
  return FromWin32(rc);
}

std::string ModulePathOf(const void* address) {
  Dl_info info{};
  if (!dladdr(address, &info) || !info.dli_fname || !*info.dli_fname) return {};
  char resolved[PATH_MAX];
  // The main program may be reported by its bare name; its real path is /proc/self/exe.
  if (std::strchr(info.dli_fname, '/') == nullptr) {
    ssize_t n = readlink("/proc/self/exe", resolved, sizeof resolved - 1);
    return n > 0 ? std::string(resolved, static_cast<size_t>(n)) : std::string();
  }
  if (realpath(info.dli_fname, resolved)) return resolved;
  return info.dli_fname;
}

}  // namespace win
