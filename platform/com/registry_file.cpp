#include "platform/com/registry_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <unordered_map>

#include "platform/fileio/whole_file.h"
#include "platform/winerror.h"

namespace win::registry {
namespace {

constexpr DWORD kRegSz = 1;
constexpr DWORD kRegBinary = 3;
constexpr DWORD kRegDword = 4;

char Lower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// ---- parsing ---------------------------------------------------------------------------------

struct Cursor {
  std::string_view rest;
  bool Eat(char c) {
    if (rest.empty() || rest.front() != c) return false;
    rest.remove_prefix(1);
    return true;
  }
  bool EatPrefix(std::string_view p) {
    if (rest.size() < p.size()) return false;
    for (size_t i = 0; i < p.size(); ++i)
      if (Lower(rest[i]) != Lower(p[i])) return false;
    rest.remove_prefix(p.size());
    return true;
  }
  void SkipBlanks() {
    while (!rest.empty() && (rest.front() == ' ' || rest.front() == '\t')) rest.remove_prefix(1);
  }
  bool AtEnd() {
    SkipBlanks();
    return rest.empty();
  }
};

// A quoted string with \\ and \" escapes.
bool ParseQuoted(Cursor& c, std::string* out) {
  if (!c.Eat('"')) return false;
  out->clear();
  while (!c.rest.empty()) {
    char ch = c.rest.front();
    c.rest.remove_prefix(1);
    if (ch == '"') return true;
    if (ch == '\\') {
      if (c.rest.empty()) return false;
      ch = c.rest.front();
      c.rest.remove_prefix(1);
      if (ch != '\\' && ch != '"') return false;
    }
    out->push_back(ch);
  }
  return false;  // no closing quote: a cut line
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = Lower(c);
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

bool ParseHexBytes(Cursor& c, std::vector<BYTE>* out) {
  out->clear();
  c.SkipBlanks();
  if (c.rest.empty()) return true;
  for (;;) {
    c.SkipBlanks();
    if (c.rest.size() < 2) return false;
    int hi = HexDigit(c.rest[0]), lo = HexDigit(c.rest[1]);
    if (hi < 0 || lo < 0) return false;
    out->push_back(static_cast<BYTE>(hi * 16 + lo));
    c.rest.remove_prefix(2);
    c.SkipBlanks();
    if (c.rest.empty()) return true;
    if (!c.Eat(',')) return false;
  }
}

bool ParseHive(std::string_view name, Hive* hive) {
  if (NamesEqual(name, "HKEY_CLASSES_ROOT") || NamesEqual(name, "HKCR")) {
    *hive = Hive::ClassesRoot;
    return true;
  }
  if (NamesEqual(name, "HKEY_LOCAL_MACHINE") || NamesEqual(name, "HKLM")) {
    *hive = Hive::LocalMachine;
    return true;
  }
  return false;
}

// The children of the keys a parse adds to, by lower-case name, so that a key with many
// subkeys is read in linear time rather than searched child by child for each new one. A
// parent's children are indexed when the parse first adds below it; a removed key leaves the
// index with everything below it, since its address may come back as a new key's.
class ChildIndex {
 public:
  // (insert and find only: emplace and operator[] name std::piecewise_construct, a unique symbol
  // in some builds, and one of those keeps a server library that links this file loaded.)
  RegKey* AddChild(RegKey* parent, std::string_view name) {
    auto slot = parents_.find(parent);
    if (slot == parents_.end()) {
      slot = parents_.insert({parent, Children()}).first;
      for (const auto& child : parent->children)
        slot->second.insert({Folded(child->name), child.get()});
    }
    std::string folded = Folded(name);
    if (auto entry = slot->second.find(folded); entry != slot->second.end()) return entry->second;
    parent->children.push_back(std::make_unique<RegKey>());
    RegKey* added = parent->children.back().get();
    added->name = std::string(name);
    slot->second.insert({std::move(folded), added});
    return added;
  }
  void RemoveChild(RegKey* parent, std::string_view name) {
    RegKey* child = parent->Child(name);
    if (!child) return;
    if (auto it = parents_.find(parent); it != parents_.end()) it->second.erase(Folded(name));
    Forget(child);
    parent->RemoveChild(name);
  }

 private:
  void Forget(const RegKey* key) {
    std::vector<const RegKey*> pending{key};
    while (!pending.empty()) {
      const RegKey* k = pending.back();
      pending.pop_back();
      parents_.erase(k);
      for (const auto& child : k->children) pending.push_back(child.get());
    }
  }

  static std::string Folded(std::string_view name) {
    std::string folded(name);
    for (char& c : folded) c = Lower(c);
    return folded;
  }
  using Children = std::unordered_map<std::string, RegKey*>;
  std::unordered_map<const RegKey*, Children> parents_;
};

// "[HIVE\a\b]" or "[-HIVE\a\b]". The name ends at the last ']' so that keys may hold ']'.
bool ParseKeyLine(std::string_view line, RegistryTree* tree, RegKey** current, ChildIndex* index) {
  size_t close = line.rfind(']');
  if (close == std::string_view::npos) return false;
  for (size_t i = close + 1; i < line.size(); ++i)
    if (line[i] != ' ' && line[i] != '\t') return false;
  std::string_view inner = line.substr(1, close - 1);
  bool remove = !inner.empty() && inner.front() == '-';
  if (remove) inner.remove_prefix(1);
  size_t slash = inner.find('\\');
  Hive hive;
  if (!ParseHive(inner.substr(0, slash), &hive)) return false;
  std::vector<std::string> parts;
  if (slash != std::string_view::npos && !SplitKeyPath(inner.substr(slash + 1), &parts))
    return false;
  if (remove) {
    *current = nullptr;
    if (parts.empty()) return true;  // a hive itself is never removed
    std::vector<std::string> parentPath(parts.begin(), parts.end() - 1);
    if (RegKey* parent = tree->Find(hive, parentPath)) index->RemoveChild(parent, parts.back());
    return true;
  }
  RegKey* key = &tree->Root(hive);
  for (const auto& part : parts) key = index->AddChild(key, part);
  *current = key;
  return true;
}

bool ParseValueLine(std::string_view line, RegKey* current) {
  if (!current) return false;
  Cursor c{line};
  std::string name;
  if (c.Eat('@')) {
    name.clear();
  } else if (!ParseQuoted(c, &name)) {
    return false;
  }
  c.SkipBlanks();
  if (!c.Eat('=')) return false;
  c.SkipBlanks();
  if (c.Eat('-')) {
    if (!c.AtEnd()) return false;
    current->RemoveValue(name);
    return true;
  }
  if (!c.rest.empty() && c.rest.front() == '"') {
    std::string text;
    if (!ParseQuoted(c, &text) || !c.AtEnd()) return false;
    std::vector<BYTE> data(text.begin(), text.end());
    data.push_back(0);
    current->SetValue(name, kRegSz, std::move(data));
    return true;
  }
  if (c.EatPrefix("dword:")) {
    std::string_view digits = c.rest;
    while (!digits.empty() && (digits.back() == ' ' || digits.back() == '\t'))
      digits.remove_suffix(1);
    if (digits.empty() || digits.size() > 8) return false;
    std::uint32_t v = 0;
    for (char d : digits) {
      int h = HexDigit(d);
      if (h < 0) return false;
      v = v * 16 + static_cast<std::uint32_t>(h);
    }
    std::vector<BYTE> data(4);
    std::memcpy(data.data(), &v, 4);  // little-endian, as REG_DWORD is
    current->SetValue(name, kRegDword, std::move(data));
    return true;
  }
  if (c.EatPrefix("hex")) {
    DWORD type = kRegBinary;
    if (c.Eat('(')) {
      std::uint32_t t = 0;
      int n = 0;
      while (!c.rest.empty() && HexDigit(c.rest.front()) >= 0 && n < 8) {
        t = t * 16 + static_cast<std::uint32_t>(HexDigit(c.rest.front()));
        c.rest.remove_prefix(1);
        ++n;
      }
      if (n == 0 || !c.Eat(')')) return false;
      type = t;
    }
    if (!c.Eat(':')) return false;
    std::vector<BYTE> data;
    if (!ParseHexBytes(c, &data)) return false;
    current->SetValue(name, type, std::move(data));
    return true;
  }
  return false;
}

// ---- writing ---------------------------------------------------------------------------------

void AppendQuoted(std::string& out, std::string_view text) {
  out.push_back('"');
  for (char ch : text) {
    if (ch == '\\' || ch == '"') out.push_back('\\');
    out.push_back(ch);
  }
  out.push_back('"');
}

void AppendHex(std::string& out, const std::vector<BYTE>& data) {
  static const char kDigits[] = "0123456789abcdef";
  for (size_t i = 0; i < data.size(); ++i) {
    if (i) out.push_back(',');
    out.push_back(kDigits[data[i] >> 4]);
    out.push_back(kDigits[data[i] & 15]);
  }
}

// A string is written quoted only when it reads back byte for byte: one terminating NUL and no
// line breaks or NULs inside.
bool QuotableString(const RegValue& v) {
  if (v.type != kRegSz || v.data.empty() || v.data.back() != 0) return false;
  for (size_t i = 0; i + 1 < v.data.size(); ++i)
    if (v.data[i] == 0 || v.data[i] == '\n' || v.data[i] == '\r') return false;
  return true;
}

void AppendValue(std::string& out, const RegValue& v) {
  if (v.name.empty()) {
    out += '@';
  } else {
    AppendQuoted(out, v.name);
  }
  out += '=';
  if (QuotableString(v)) {
    AppendQuoted(out,
                 std::string_view(reinterpret_cast<const char*>(v.data.data()), v.data.size() - 1));
  } else if (v.type == kRegDword && v.data.size() == 4) {
    std::uint32_t n;
    std::memcpy(&n, v.data.data(), 4);
    char buf[16];
    std::snprintf(buf, sizeof buf, "dword:%08x", n);
    out += buf;
  } else if (v.type == kRegBinary) {
    out += "hex:";
    AppendHex(out, v.data);
  } else {
    char buf[24];
    std::snprintf(buf, sizeof buf, "hex(%x):", v.type);
    out += buf;
    AppendHex(out, v.data);
  }
  out += '\n';
}

void AppendKey(std::string& out, const std::string& path, const RegKey& key) {
  out += '[';
  out += path;
  out += "]\n";
  for (const auto& v : key.values) AppendValue(out, v);
  out += '\n';
  for (const auto& child : key.children) AppendKey(out, path + "\\" + child->name, *child);
}

// ---- files -----------------------------------------------------------------------------------

// Which version of a file a parse came from: a rename, a rewrite or a change of length or
// modification time makes another one.
struct FileIdentity {
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  timespec modified{};
  bool operator==(const FileIdentity& o) const {
    return device == o.device && inode == o.inode && size == o.size &&
           modified.tv_sec == o.modified.tv_sec && modified.tv_nsec == o.modified.tv_nsec;
  }
};

enum class Opened { Missing, Usable, Refused, Failed };

// Names an oversized file on standard error, once for each version of it (every registry call
// meets it again).
void ReportTooLarge(const std::string& path, const FileIdentity& identity) {
  static std::mutex lock;
  static auto* reported = new std::pair<std::string, FileIdentity>;
  {
    std::lock_guard guard(lock);
    if (reported->first == path && reported->second == identity) return;
    *reported = {path, identity};
  }
  std::fprintf(stderr, "ravlin: registry file %s is larger than %lld MiB; it is not read\n",
               path.c_str(), static_cast<long long>(kMaxRegistryFileBytes >> 20));
}

// Opens path for reading without waiting (a FIFO without a writer would hold the caller
// forever) and checks the opened file, not the path, so what is read is what was checked.
// Usable: *fd is a regular file of at most kMaxRegistryFileBytes, *identity says which version.
// Refused: a FIFO, device or directory, or a larger file (the larger file is named on standard
// error); Missing: no file; Failed: it exists and cannot be opened. *fd is open only for Usable.
Opened OpenRegular(const std::string& path, int* fd, FileIdentity* identity) {
  *fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (*fd < 0) return errno == ENOENT || errno == ENOTDIR ? Opened::Missing : Opened::Failed;
  struct stat st;
  Opened result = Opened::Usable;
  if (::fstat(*fd, &st) != 0) {
    result = Opened::Failed;
  } else if (!S_ISREG(st.st_mode)) {
    result = Opened::Refused;
  } else if (st.st_size > kMaxRegistryFileBytes) {
    ReportTooLarge(path, FileIdentity{st.st_dev, st.st_ino, st.st_size, st.st_mtim});
    result = Opened::Refused;
  }
  if (result != Opened::Usable) {
    ::close(*fd);
    *fd = -1;
    return result;
  }
  *identity = FileIdentity{st.st_dev, st.st_ino, st.st_size, st.st_mtim};
  return Opened::Usable;
}

// Reads the open file to its end and closes it; false on a read error or when it grew past
// the limit since it was checked.
bool ReadAll(int fd, std::string* out) {
  out->clear();
  char buffer[65536];
  bool ok = true;
  for (;;) {
    ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 || out->size() + static_cast<size_t>(n) > kMaxRegistryFileBytes) {
      ok = false;
      break;
    }
    if (n == 0) break;
    out->append(buffer, static_cast<size_t>(n));
  }
  ::close(fd);
  return ok;
}

// The last tree Read parsed, shared by every reader of the process: readers get the same
// immutable tree until the file's identity changes. The lock guards only the slot; parsing
// happens outside it, so two threads that find it stale at once may both parse (the later one's
// tree is kept; both are the same file's).
//
// A file modified in the same clock tick as it was read may change again within that tick
// without its modification time moving: such a parse ("racy") is used once and not reused.
struct ParsedCache {
  std::mutex lock;
  std::string path;
  FileIdentity identity;
  bool racy = false;
  std::shared_ptr<const RegistryTree> tree;
  std::atomic<unsigned long> parses{0};
};

// The clock the kernel stamps files with, at its tick.
timespec FileClockNow() {
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME_COARSE, &now);
  return now;
}

bool NotBefore(const timespec& a, const timespec& b) {
  return a.tv_sec != b.tv_sec ? a.tv_sec > b.tv_sec : a.tv_nsec >= b.tv_nsec;
}

ParsedCache& Cache() {
  static auto* cache = new ParsedCache;  // never destroyed: readers may run during exit
  return *cache;
}

RegistryTree ParsedTree(std::string_view text) {
  RegistryTree tree;
  ParseRegFile(text, &tree);
  return tree;
}

const std::shared_ptr<const RegistryTree>& EmptyTree() {
  static const auto* empty = new std::shared_ptr<const RegistryTree>(new RegistryTree);
  return *empty;
}

bool MakeFolders(const std::string& filePath) {
  size_t slash = filePath.rfind('/');
  if (slash == std::string::npos || slash == 0) return true;
  std::string folder = filePath.substr(0, slash);
  for (size_t pos = 1; pos <= folder.size(); ++pos) {
    if (pos == folder.size() || folder[pos] == '/') {
      std::string part = folder.substr(0, pos);
      if (::mkdir(part.c_str(), 0777) != 0 && errno != EEXIST) return false;
    }
  }
  return true;
}

// The lock lives in a file of its own: the store itself is replaced by rename, and a lock held
// on a replaced file would guard nothing.
class FileLock {
 public:
  FileLock(const std::string& storePath, bool exclusive, bool create) {
    std::string lockPath = storePath + ".lock";
    if (create && !MakeFolders(lockPath)) return;
    // Without waiting: a FIFO in the lock file's place must not hold the caller.
    fd_ = ::open(lockPath.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC | (create ? O_CREAT : 0), 0666);
    if (fd_ < 0 && !create) fd_ = ::open(lockPath.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) return;
    int rc;
    do {
      rc = ::flock(fd_, exclusive ? LOCK_EX : LOCK_SH);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
      ::close(fd_);
      fd_ = -1;
    }
  }
  ~FileLock() {
    if (fd_ >= 0) ::close(fd_);  // closing releases the lock
  }
  bool held() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

}  // namespace

bool NamesEqual(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (Lower(a[i]) != Lower(b[i])) return false;
  return true;
}

bool SplitKeyPath(std::string_view path, std::vector<std::string>* parts) {
  parts->clear();
  if (path.empty()) return true;
  size_t start = 0;
  for (;;) {
    size_t end = path.find('\\', start);
    std::string_view part = path.substr(start, end == std::string_view::npos ? end : end - start);
    if (part.empty()) return false;
    for (char ch : part)
      if (ch == '\0' || ch == '\n' || ch == '\r') return false;
    parts->emplace_back(part);
    if (end == std::string_view::npos) return true;
    start = end + 1;
  }
}

RegKey* RegKey::Child(std::string_view childName) const {
  for (const auto& child : children)
    if (NamesEqual(child->name, childName)) return child.get();
  return nullptr;
}

RegKey* RegKey::AddChild(std::string_view childName) {
  if (RegKey* existing = Child(childName)) return existing;
  children.push_back(std::make_unique<RegKey>());
  children.back()->name = std::string(childName);
  return children.back().get();
}

bool RegKey::RemoveChild(std::string_view childName) {
  for (auto it = children.begin(); it != children.end(); ++it) {
    if (NamesEqual((*it)->name, childName)) {
      children.erase(it);
      return true;
    }
  }
  return false;
}

RegValue* RegKey::Value(std::string_view valueName) {
  for (auto& v : values)
    if (NamesEqual(v.name, valueName)) return &v;
  return nullptr;
}

void RegKey::SetValue(std::string_view valueName, DWORD type, std::vector<BYTE> data) {
  RegValue* v = Value(valueName);
  if (!v) {
    values.push_back(RegValue{std::string(valueName), type, {}});
    v = &values.back();
  }
  v->type = type;
  v->data = std::move(data);
}

bool RegKey::RemoveValue(std::string_view valueName) {
  for (auto it = values.begin(); it != values.end(); ++it) {
    if (NamesEqual(it->name, valueName)) {
      values.erase(it);
      return true;
    }
  }
  return false;
}

RegKey* RegistryTree::Find(Hive hive, const std::vector<std::string>& path) {
  RegKey* key = &Root(hive);
  for (const auto& part : path) {
    key = key->Child(part);
    if (!key) return nullptr;
  }
  return key;
}

bool ParseRegFile(std::string_view text, RegistryTree* tree) {
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  bool headerSeen = false;
  RegKey* current = nullptr;
  ChildIndex index;
  while (!text.empty()) {
    size_t eol = text.find('\n');
    bool lastLine = eol == std::string_view::npos;
    std::string line(text.substr(0, lastLine ? text.size() : eol));
    text.remove_prefix(lastLine ? text.size() : eol + 1);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    // Hex data may continue over lines ending in a backslash.
    while (!line.empty() && line.back() == '\\' && line.front() != '[' &&
           line.find("=hex") != std::string::npos && !text.empty()) {
      line.pop_back();
      size_t next = text.find('\n');
      std::string_view more = text.substr(0, next == std::string_view::npos ? text.size() : next);
      text.remove_prefix(next == std::string_view::npos ? text.size() : next + 1);
      if (!more.empty() && more.back() == '\r') more.remove_suffix(1);
      while (!more.empty() && (more.front() == ' ' || more.front() == '\t')) more.remove_prefix(1);
      line.append(more);
    }
    std::string_view trimmed = line;
    while (!trimmed.empty() && (trimmed.front() == ' ' || trimmed.front() == '\t'))
      trimmed.remove_prefix(1);
    if (!headerSeen) {
      if (trimmed.empty()) continue;
      if (trimmed != "REGEDIT4") return false;
      headerSeen = true;
      continue;
    }
    if (trimmed.empty() || trimmed.front() == ';') continue;
    bool ok = trimmed.front() == '[' ? ParseKeyLine(trimmed, tree, &current, &index)
                                     : ParseValueLine(trimmed, current);
    if (!ok) return false;
  }
  return true;
}

std::string SerializeRegFile(const RegistryTree& tree) {
  std::string out = "REGEDIT4\n\n";
  for (const RegKey* root : {&tree.classesRoot, &tree.localMachine}) {
    if (!root->values.empty()) AppendKey(out, root->name, *root);
    for (const auto& child : root->children)
      AppendKey(out, root->name + "\\" + child->name, *child);
  }
  return out;
}

std::string RegistryFile::DefaultPath() {
  if (const char* explicitPath = std::getenv("RAVLIN_REGISTRY"); explicitPath && *explicitPath)
    return explicitPath;
  if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && *config)
    return std::string(config) + "/cobrix/registry.reg";
  const char* home = std::getenv("HOME");
  return std::string(home && *home ? home : ".") + "/.config/cobrix/registry.reg";
}

LONG RegistryFile::Read(std::shared_ptr<const RegistryTree>* tree) const {
  *tree = EmptyTree();
  const std::string target = fileio::ResolveLinks(path_);
  // No lock file yet means no writer has run; a rename-replaced file is whole anyway.
  FileLock lock(target, /*exclusive=*/false, /*create=*/false);
  int fd = -1;
  FileIdentity identity;
  switch (OpenRegular(target, &fd, &identity)) {
    case Opened::Missing:
    case Opened::Refused:
      return ERROR_SUCCESS;
    case Opened::Failed:
      return ERROR_ACCESS_DENIED;
    case Opened::Usable:
      break;
  }
  ParsedCache& cache = Cache();
  {
    std::lock_guard guard(cache.lock);
    if (cache.tree && !cache.racy && cache.path == target && cache.identity == identity) {
      ::close(fd);
      *tree = cache.tree;
      return ERROR_SUCCESS;
    }
  }
  const timespec readAt = FileClockNow();
  std::string text;
  if (!ReadAll(fd, &text)) return ERROR_ACCESS_DENIED;
  // Not make_shared: its type tag is a unique symbol, and one of those keeps a server library
  // that links this file from ever being unloaded.
  std::shared_ptr<const RegistryTree> parsed(new RegistryTree(ParsedTree(text)));
  cache.parses.fetch_add(1, std::memory_order_relaxed);
  std::lock_guard guard(cache.lock);
  cache.path = target;
  cache.identity = identity;
  cache.racy = NotBefore(identity.modified, readAt);
  cache.tree = parsed;
  *tree = std::move(parsed);
  return ERROR_SUCCESS;
}

unsigned long RegistryFile::ParseCount() {
  return Cache().parses.load(std::memory_order_relaxed);
}

LONG RegistryFile::Update(const Change& change) const {
  const std::string target = fileio::ResolveLinks(path_);
  FileLock lock(target, /*exclusive=*/true, /*create=*/true);
  if (!lock.held()) return ERROR_ACCESS_DENIED;
  RegistryTree tree;
  std::string text;
  int fd = -1;
  FileIdentity identity;
  const Opened opened = OpenRegular(target, &fd, &identity);
  // A FIFO, device or oversized file is never replaced by a rewrite of what could not be read.
  if (opened == Opened::Failed || opened == Opened::Refused) return ERROR_ACCESS_DENIED;
  const bool missing = opened == Opened::Missing;
  if (!missing && !ReadAll(fd, &text)) return ERROR_ACCESS_DENIED;
  const bool damaged = !missing && !ParseRegFile(text, &tree);
  bool changed = false;
  LONG result = change(tree, &changed);
  if (result != ERROR_SUCCESS || !changed) return result;

  // The unreadable tail of a damaged store would be lost by the rewrite: keep the old file aside.
  if (damaged && !fileio::ReplaceWholeFile(target + ".damaged", text)) return ERROR_ACCESS_DENIED;
  if (!fileio::ReplaceWholeFile(target, SerializeRegFile(tree))) return ERROR_ACCESS_DENIED;
  return ERROR_SUCCESS;
}

}  // namespace win::registry
