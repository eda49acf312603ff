// The registry store's in-memory tree and its REGEDIT4 text form, plus the file it lives in.
//
// RegistryTree holds the two hives as trees of keys with typed values (raw bytes, as the
// platform keeps them). ParseRegFile reads REGEDIT4 text up to the first line that is not valid
// and keeps everything before it; SerializeRegFile writes text that ParseRegFile reads back whole.
// RegistryFile reads the store under a shared lock and changes it under an exclusive lock with a
// write to a temporary file and a rename, so readers and writers in several processes only ever
// see a whole file. Only a regular file of at most 16 MiB is read: a FIFO, a device or a
// directory at the path reads as an empty store (never waited on), and so does a larger file,
// which is named once on standard error. A parsed file is kept for the whole process and parsed
// again only when its identity (device, inode), size or modification time changed; readers on
// any thread share the kept tree, which is never modified.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/wintypes.h"

namespace win::registry {

struct RegValue {
  std::string name;  // "" is the key's default value
  DWORD type = 0;
  std::vector<BYTE> data;
};

struct RegKey {
  std::string name;
  std::vector<RegValue> values;
  std::vector<std::unique_ptr<RegKey>> children;

  // Names compare ASCII case-insensitively, as the platform's do.
  RegKey* Child(std::string_view childName) const;
  RegKey* AddChild(std::string_view childName);  // existing or new
  bool RemoveChild(std::string_view childName);
  RegValue* Value(std::string_view valueName);
  void SetValue(std::string_view valueName, DWORD type, std::vector<BYTE> data);
  bool RemoveValue(std::string_view valueName);
};

enum class Hive { ClassesRoot, LocalMachine };

struct RegistryTree {
  RegKey classesRoot{"HKEY_CLASSES_ROOT", {}, {}};
  RegKey localMachine{"HKEY_LOCAL_MACHINE", {}, {}};

  RegKey& Root(Hive hive) { return hive == Hive::ClassesRoot ? classesRoot : localMachine; }
  // The key at path below the hive, or null.
  RegKey* Find(Hive hive, const std::vector<std::string>& path);
};

bool NamesEqual(std::string_view a, std::string_view b);

// Splits "A\B\C" into its parts; false for empty parts or characters a key name cannot hold.
bool SplitKeyPath(std::string_view path, std::vector<std::string>* parts);

// Fills tree from text; returns true when the whole text was valid. Stops at the first invalid
// line, keeping what came before.
bool ParseRegFile(std::string_view text, RegistryTree* tree);
std::string SerializeRegFile(const RegistryTree& tree);

// Files above this size are not read.
inline constexpr long long kMaxRegistryFileBytes = 16ll << 20;

class RegistryFile {
 public:
  // RAVLIN_REGISTRY, else $XDG_CONFIG_HOME/cobrix/registry.reg, else ~/.config/cobrix/....
  static std::string DefaultPath();

  explicit RegistryFile(std::string path = DefaultPath()) : path_(std::move(path)) {}

  // The store as last parsed, shared and immutable; a missing file, a path that is no regular
  // file and an oversized file read as an empty store. ERROR_SUCCESS, or ERROR_ACCESS_DENIED
  // (with *tree empty) when the file exists but cannot be opened or read.
  LONG Read(std::shared_ptr<const RegistryTree>* tree) const;

  // How many times Read has parsed a file in this process (tests watch the cache with it).
  static unsigned long ParseCount();

  // Reads the store, lets change edit it and, when change returns ERROR_SUCCESS and sets
  // *changed, writes it back; the whole step holds the exclusive lock. Returns change's result,
  // or ERROR_ACCESS_DENIED when the file cannot be locked, read or written, or is no regular file
  // or an oversized one (it is then left as it is and change is not called). A damaged file is
  // copied to <path>.damaged before its valid part is written back. A symbolic link is written
  // through.
  using Change = std::function<LONG(RegistryTree& tree, bool* changed)>;
  LONG Update(const Change& change) const;

  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace win::registry
