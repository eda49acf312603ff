// The Reg* functions over RegistryFile. An open key is a handle naming its hive and path; every
// call resolves the path afresh in the store as the file is now (re-parsed only when it changed),
// so handles stay valid across processes' changes (a key deleted meanwhile reads as missing).
#include "platform/com/registry.h"

#include <cstring>
#include <mutex>
#include <unordered_map>

#include "platform/com/registry_file.h"

namespace win {
namespace {

using registry::Hive;
using registry::RegistryFile;
using registry::RegistryTree;
using registry::RegKey;

struct KeyPath {
  Hive hive;
  std::vector<std::string> parts;
};

class HandleTable {
 public:
  HKEY Add(KeyPath path) {
    std::lock_guard lock(mutex_);
    std::uintptr_t id = next_;
    next_ += 4;
    open_.emplace(id, std::move(path));
    return reinterpret_cast<HKEY>(id);
  }
  bool Find(HKEY key, KeyPath* out) {
    if (key == HKEY_CLASSES_ROOT) {
      *out = KeyPath{Hive::ClassesRoot, {}};
      return true;
    }
    if (key == HKEY_LOCAL_MACHINE) {
      *out = KeyPath{Hive::LocalMachine, {}};
      return true;
    }
    std::lock_guard lock(mutex_);
    auto it = open_.find(reinterpret_cast<std::uintptr_t>(key));
    if (it == open_.end()) return false;
    *out = it->second;
    return true;
  }
  bool Remove(HKEY key) {
    std::lock_guard lock(mutex_);
    return open_.erase(reinterpret_cast<std::uintptr_t>(key)) == 1;
  }

 private:
  std::mutex mutex_;
  std::unordered_map<std::uintptr_t, KeyPath> open_;
  std::uintptr_t next_ = 0x10000;
};

HandleTable& Handles() {
  static HandleTable table;
  return table;
}

// The handle's path with subKey appended.
LONG Resolve(HKEY key, LPCSTR subKey, KeyPath* out) {
  if (!Handles().Find(key, out)) return ERROR_INVALID_HANDLE;
  std::vector<std::string> more;
  if (subKey && !registry::SplitKeyPath(subKey, &more)) return ERROR_INVALID_PARAMETER;
  out->parts.insert(out->parts.end(), more.begin(), more.end());
  return ERROR_SUCCESS;
}

// Lookups in a shared tree, which no reader may change.
const RegKey* Find(const RegistryTree& tree, const KeyPath& path) {
  const RegKey* key = path.hive == Hive::ClassesRoot ? &tree.classesRoot : &tree.localMachine;
  for (const auto& part : path.parts) {
    key = key->Child(part);
    if (!key) return nullptr;
  }
  return key;
}

const registry::RegValue* FindValue(const RegKey& key, std::string_view name) {
  for (const auto& v : key.values)
    if (registry::NamesEqual(v.name, name)) return &v;
  return nullptr;
}

std::string_view ValueName(LPCSTR name) {
  return name ? std::string_view(name) : std::string_view();
}

}  // namespace

LONG RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD /*reserved*/, LPSTR /*cls*/, DWORD /*options*/,
                     DWORD /*samDesired*/, void* /*securityAttributes*/, HKEY* result,
                     DWORD* disposition) {
  if (!result) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  KeyPath path;
  if (LONG rc = Resolve(key, subKey, &path); rc != ERROR_SUCCESS) return rc;
  bool created = false;
  LONG rc = RegistryFile().Update([&](RegistryTree& tree, bool* changed) -> LONG {
    RegKey* k = &tree.Root(path.hive);
    for (const auto& part : path.parts) {
      RegKey* next = k->Child(part);
      if (!next) {
        next = k->AddChild(part);
        created = true;
      }
      k = next;
    }
    *changed = created;
    return ERROR_SUCCESS;
  });
  if (rc != ERROR_SUCCESS) return rc;
  *result = Handles().Add(std::move(path));
  if (disposition) *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
  return ERROR_SUCCESS;
}

LONG RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD /*options*/, DWORD /*samDesired*/, HKEY* result) {
  if (!result) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  KeyPath path;
  if (LONG rc = Resolve(key, subKey, &path); rc != ERROR_SUCCESS) return rc;
  std::shared_ptr<const RegistryTree> tree;
  if (LONG rc = RegistryFile().Read(&tree); rc != ERROR_SUCCESS) return rc;
  if (!Find(*tree, path)) return ERROR_FILE_NOT_FOUND;
  *result = Handles().Add(std::move(path));
  return ERROR_SUCCESS;
}

LONG RegCloseKey(HKEY key) {
  if (key == HKEY_CLASSES_ROOT || key == HKEY_LOCAL_MACHINE) return ERROR_SUCCESS;
  return Handles().Remove(key) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

namespace {

// A value's type and data into the caller's buffers, as RegQueryValueExA gives them.
LONG CopyValue(const registry::RegValue& v, DWORD* type, BYTE* data, DWORD* cbData) {
  if (type) *type = v.type;
  const DWORD size = static_cast<DWORD>(v.data.size());
  if (!cbData) return ERROR_SUCCESS;
  if (data && *cbData < size) {
    *cbData = size;
    return ERROR_MORE_DATA;
  }
  if (data && size) std::memcpy(data, v.data.data(), size);
  *cbData = size;
  return ERROR_SUCCESS;
}

}  // namespace

LONG RegQueryValueExA(HKEY key, LPCSTR valueName, DWORD* /*reserved*/, DWORD* type, BYTE* data,
                      DWORD* cbData) {
  if (data && !cbData) return ERROR_INVALID_PARAMETER;
  KeyPath path;
  if (LONG rc = Resolve(key, nullptr, &path); rc != ERROR_SUCCESS) return rc;
  std::shared_ptr<const RegistryTree> tree;
  if (LONG rc = RegistryFile().Read(&tree); rc != ERROR_SUCCESS) return rc;
  const RegKey* k = Find(*tree, path);
  if (!k) return ERROR_FILE_NOT_FOUND;
  const registry::RegValue* v = FindValue(*k, ValueName(valueName));
  if (!v) return ERROR_FILE_NOT_FOUND;
  return CopyValue(*v, type, data, cbData);
}

LONG RegEnumValueA(HKEY key, DWORD index, LPSTR valueName, DWORD* cchValueName, DWORD*, DWORD* type,
                   BYTE* data, DWORD* cbData) {
  if (!valueName || !cchValueName || (data && !cbData)) return ERROR_INVALID_PARAMETER;
  KeyPath path;
  if (LONG rc = Resolve(key, nullptr, &path); rc != ERROR_SUCCESS) return rc;
  std::shared_ptr<const RegistryTree> tree;
  if (LONG rc = RegistryFile().Read(&tree); rc != ERROR_SUCCESS) return rc;
  const RegKey* k = Find(*tree, path);
  if (!k) return ERROR_FILE_NOT_FOUND;
  if (index >= k->values.size()) return ERROR_NO_MORE_ITEMS;
  const registry::RegValue& v = k->values[index];
  if (v.name.size() + 1 > *cchValueName) {
    *cchValueName = static_cast<DWORD>(v.name.size() + 1);
    return ERROR_MORE_DATA;
  }
  std::memcpy(valueName, v.name.c_str(), v.name.size() + 1);
  *cchValueName = static_cast<DWORD>(v.name.size());
  return CopyValue(v, type, data, cbData);
}

LONG RegSetValueExA(HKEY key, LPCSTR valueName, DWORD /*reserved*/, DWORD type, const BYTE* data,
                    DWORD cbData) {
  if (!data && cbData) return ERROR_INVALID_PARAMETER;
  if (type == REG_DWORD && cbData != 4) return ERROR_INVALID_PARAMETER;
  std::string_view name = ValueName(valueName);
  // The file holds one value per line; a name that breaks a line could not be read back.
  if (name.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos)
    return ERROR_INVALID_PARAMETER;
  KeyPath path;
  if (LONG rc = Resolve(key, nullptr, &path); rc != ERROR_SUCCESS) return rc;
  std::vector<BYTE> bytes(data, data + cbData);
  // A string always reads back terminated, whether or not the writer counted its NUL.
  if (type == REG_SZ && (bytes.empty() || bytes.back() != 0)) bytes.push_back(0);
  return RegistryFile().Update([&](RegistryTree& tree, bool* changed) -> LONG {
    RegKey* k = tree.Find(path.hive, path.parts);
    if (!k) return ERROR_FILE_NOT_FOUND;
    k->SetValue(name, type, std::move(bytes));
    *changed = true;
    return ERROR_SUCCESS;
  });
}

LONG RegDeleteValueA(HKEY key, LPCSTR valueName) {
  KeyPath path;
  if (LONG rc = Resolve(key, nullptr, &path); rc != ERROR_SUCCESS) return rc;
  return RegistryFile().Update([&](RegistryTree& tree, bool* changed) -> LONG {
    RegKey* k = tree.Find(path.hive, path.parts);
    if (!k || !k->RemoveValue(ValueName(valueName))) return ERROR_FILE_NOT_FOUND;
    *changed = true;
    return ERROR_SUCCESS;
  });
}

namespace {

LONG DeleteKey(HKEY key, LPCSTR subKey, bool withSubkeys) {
  KeyPath path;
  if (LONG rc = Resolve(key, subKey, &path); rc != ERROR_SUCCESS) return rc;
  return RegistryFile().Update([&](RegistryTree& tree, bool* changed) -> LONG {
    RegKey* k = tree.Find(path.hive, path.parts);
    if (!k) return ERROR_FILE_NOT_FOUND;
    if (path.parts.empty() && !withSubkeys) return ERROR_ACCESS_DENIED;  // hives stay
    if (!withSubkeys && !k->children.empty()) return ERROR_ACCESS_DENIED;
    if (withSubkeys && (path.parts.empty() || !subKey || !*subKey)) {
      // The tree below a hive or an open key: the key itself stays, emptied.
      *changed = !k->children.empty() || !k->values.empty();
      k->children.clear();
      k->values.clear();
      return ERROR_SUCCESS;
    }
    std::vector<std::string> parentPath(path.parts.begin(), path.parts.end() - 1);
    tree.Find(path.hive, parentPath)->RemoveChild(path.parts.back());
    *changed = true;
    return ERROR_SUCCESS;
  });
}

}  // namespace

LONG RegDeleteKeyA(HKEY key, LPCSTR subKey) {
  return DeleteKey(key, subKey, false);
}

LONG RegDeleteTreeA(HKEY key, LPCSTR subKey) {
  return DeleteKey(key, subKey, true);
}

}  // namespace win
