// libFuzzer target: profile files (INI) as GetPrivateProfileStringA reads them and
// WritePrivateProfileStringA changes them, with the ANSI code page 932.
//
// Input: the bytes before the first three NULs in a row are the file. After them, up to three
// NUL-separated fields are one write: section, key, value (a missing value deletes the key, a
// missing key deletes the section). No three NULs: no write.
//
// Checks, each a crash with a message when broken:
// - the listings (sections; keys of each section) and every value read are consistent: each
//   listed section lists its keys, each listed key has a value, names are listed once;
// - lists and values cut to a small buffer follow the contract: the value cut to size - 1 bytes,
//   a list to size - 2 bytes and two NULs, the returned count what was kept;
// - the same contents written out plainly ("[section]", "key=\"value\"", CR LF) read back as the
//   same sections, keys and values;
// - the write, when accepted, reads back: the key's value is what was written (without blanks
//   around it and without enclosing quotes, as reads give it), a deleted key or section is gone,
//   and every other section's keys and values are as they were. Refused, the file is unchanged
//   byte for byte. A write of plain names and a plain value is never refused.
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/profile/ini_document.h"
#include "platform/profile/profile.h"
#include "platform/text/codepage.h"

namespace {

using win::DWORD;
using win::FALSE;
using win::profile_detail::IsBlank;
using win::profile_detail::SameName;

// At most this many sections and keys are read one by one (each read parses the whole file).
constexpr std::size_t kMaxReads = 64;

// The default of every read: no value can be it, as no value holds a line end.
constexpr const char* kMissing = "\n";

std::string g_file;        // the profile file the target works on
bool g_complete = true;    // the last ReadAll read every key
std::size_t g_listed = 0;  // how many of its first sections it listed the keys of
std::string g_input;

[[noreturn]] void Fail(const std::string& what) {
  std::fprintf(stderr, "profile_fuzz: %s\n--- file (%zu bytes) ---\n", what.c_str(),
               g_input.size());
  std::fwrite(g_input.data(), 1, g_input.size(), stderr);
  std::fprintf(stderr, "\n---\n");
  std::abort();
}

void Put(std::string_view text) {
  int fd = ::open(g_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0 || ::write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size()))
    Fail("cannot write the test file");
  ::close(fd);
}

std::string Contents() {
  std::string out;
  int fd = ::open(g_file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return out;
  char buf[65536];
  for (ssize_t n; (n = ::read(fd, buf, sizeof buf)) > 0;) out.append(buf, static_cast<size_t>(n));
  ::close(fd);
  return out;
}

// A read with a buffer of `size` bytes: the returned count and the bytes the buffer holds.
std::pair<DWORD, std::string> Get(const char* section, const char* key, DWORD size) {
  std::vector<char> buffer(size + 1, '\x7F');
  DWORD n =
      win::GetPrivateProfileStringA(section, key, kMissing, buffer.data(), size, g_file.c_str());
  if (buffer[size] != '\x7F') Fail("a read wrote past the buffer's end");
  return {n, std::string(buffer.data(), size)};
}

// A listing (section or key names) read whole, as its names.
std::vector<std::string> List(const char* section, std::size_t bound) {
  const DWORD size = static_cast<DWORD>(bound + 2);
  auto [n, bytes] = Get(section, nullptr, size);
  if (n + 2 > size) Fail("a listing did not fit a buffer large enough for it");
  if (bytes[n] != '\0') Fail("a listing does not end with NUL");
  std::vector<std::string> names;
  std::size_t start = 0;
  for (std::size_t i = 0; i < n; ++i) {
    if (bytes[i] == '\0') {
      names.emplace_back(bytes.substr(start, i - start));
      start = i + 1;
    }
  }
  if (start != n) Fail("a listing's last name has no NUL");
  return names;
}

std::optional<std::string> Value(const std::string& section, const std::string& key,
                                 std::size_t bound) {
  const DWORD size = static_cast<DWORD>(bound + 1);
  auto [n, bytes] = Get(section.c_str(), key.c_str(), size);
  if (n + 1 > size || bytes[n] != '\0') Fail("a value did not fit a buffer large enough for it");
  std::string value = bytes.substr(0, n);
  if (value == kMissing) return std::nullopt;
  return value;
}

// Sections in listing order, each with its keys and values in listing order.
using Contents_t =
    std::vector<std::pair<std::string, std::vector<std::pair<std::string, std::string>>>>;

Contents_t ReadAll(std::size_t bound) {
  Contents_t all;
  std::size_t reads = 0;
  g_complete = true;
  g_listed = 0;
  for (const std::string& section : List(nullptr, bound)) {
    for (const auto& [earlier, keys] : all)
      if (SameName(earlier, section)) Fail("section '" + section + "' listed twice");
    all.push_back({section, {}});
    if (++reads > kMaxReads) {
      g_complete = false;
      continue;
    }
    for (const std::string& key : List(section.c_str(), bound)) {
      for (const auto& [earlier, v] : all.back().second)
        if (SameName(earlier, key)) Fail("key '" + key + "' listed twice in '" + section + "'");
      if (key.empty()) Fail("an empty key name in '" + section + "'");
      if (++reads > kMaxReads) {
        g_complete = false;
        all.back().second.push_back({key, "\x01unread"});
        continue;
      }
      std::optional<std::string> value = Value(section, key, bound);
      if (!value) Fail("listed key '" + key + "' of '" + section + "' has no value");
      all.back().second.push_back({key, *value});
    }
    g_listed = all.size();
  }
  return all;
}

void CheckCut(const std::string& full, DWORD n, const std::string& bytes, DWORD size, bool list,
              const char* what) {
  if (list) {
    if (full.size() + 1 <= size) {
      if (n != full.size() || bytes.compare(0, n + 1, full + '\0') != 0)
        Fail(std::string(what) + ": a list that fits is not copied whole");
    } else if (size < 2) {
      if (n != 0 || bytes[0] != '\0') Fail(std::string(what) + ": a 1-byte buffer is not empty");
    } else if (n != size - 2 || bytes.compare(0, size - 2, full, 0, size - 2) != 0 ||
               bytes[size - 2] != '\0' || bytes[size - 1] != '\0') {
      Fail(std::string(what) + ": a cut list is not its start and two NULs");
    }
  } else {
    const std::size_t kept = std::min<std::size_t>(full.size(), size - 1);
    if (n != kept || bytes.compare(0, kept, full, 0, kept) != 0 || bytes[kept] != '\0')
      Fail(std::string(what) + ": a cut value is not its start and a NUL");
  }
}

// The contents written out plainly. A name that ends in a lead byte gets a blank before "]", else
// the lead byte would take "]" as its trail byte.
std::string Plain(const Contents_t& all) {
  std::string text;
  for (const auto& [section, keys] : all) {
    text += "[" + section;
    if (!section.empty() && win::IsDBCSLeadByte(static_cast<win::BYTE>(section.back()))) {
      std::size_t i = 0;
      while (i < section.size())
        i += win::IsDBCSLeadByte(static_cast<win::BYTE>(section[i])) ? 2 : 1;
      if (i == section.size() + 1) text += " ";  // the last byte is a lead byte on its own
    }
    text += "]\r\n";
    for (const auto& [key, value] : keys) text += key + "=\"" + value + "\"\r\n";
  }
  return text;
}

// A value as reads give it back: without surrounding blanks and enclosing matching quotes.
std::string AsRead(std::string_view value) {
  std::string_view v = win::profile_detail::TrimBlanks(value);
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
    v = v.substr(1, v.size() - 2);
  return std::string(v);
}

bool Plain(std::string_view s) {
  if (s.empty()) return false;
  for (char c : s)
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))) return false;
  return true;
}

void CheckWrite(const Contents_t& before, std::size_t bound, const char* section, const char* key,
                const char* value) {
  const std::string old = Contents();
  const bool accepted =
      win::WritePrivateProfileStringA(section, key, value, g_file.c_str()) != FALSE;
  const std::string now = Contents();
  const std::string what = std::string("write [") + section + "] " + (key ? key : "(null)") +
                           " = " + (value ? value : "(null)");
  if (!accepted) {
    if (now != old) Fail(what + ": refused, but the file changed");
    if (Plain(section) && (!key || Plain(key)) && (!value || Plain(value)))
      Fail(what + ": a plain write was refused");
    return;
  }
  const std::string s(win::profile_detail::TrimBlanks(section));
  const std::string k = key ? std::string(win::profile_detail::TrimBlanks(key)) : std::string();
  const std::size_t readBound = bound + (value ? std::strlen(value) : 0) + s.size() + k.size() + 8;
  if (key && value) {
    std::optional<std::string> got = Value(s, k, readBound);
    if (!got || *got != AsRead(value))
      Fail(what + ": reads back as '" + got.value_or("(none)") + "'");
  } else if (key) {
    if (Value(s, k, readBound)) Fail(what + ": the deleted key is still there");
  } else {
    for (const std::string& name : List(nullptr, readBound))
      if (SameName(name, s)) Fail(what + ": the deleted section is still there");
  }
  // Everything else as it was.
  std::size_t reads = 0;
  for (const auto& [sec, keys] : before) {
    const bool sameSection = SameName(sec, s);
    if (sameSection && !key) continue;
    for (const auto& [name, v] : keys) {
      if (sameSection && SameName(name, k)) continue;
      if (v == "\x01unread" || ++reads > kMaxReads) continue;
      std::optional<std::string> got = Value(sec, name, readBound);
      if (!got || *got != v)
        Fail(what + ": [" + sec + "] " + name + " changed from '" + v + "' to '" +
             got.value_or("(none)") + "'");
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  win::SetActiveCodePageForTesting(932);
  std::string base = std::filesystem::exists("/dev/shm") ? "/dev/shm" : "/tmp";
  std::string dir = base + "/profile_fuzz.XXXXXX";
  if (!::mkdtemp(dir.data())) return 1;
  g_file = dir + "/Marlo4.ini";
  static std::string s_dir = dir;
  std::atexit([] { std::filesystem::remove_all(s_dir); });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::size_t split = input.find(std::string_view("\0\0\0", 3));
  g_input = std::string(input.substr(0, split));
  Put(g_input);
  // Enough for any listing or value of this file.
  const std::size_t bound = 2 * g_input.size() + 16;

  const Contents_t all = ReadAll(bound);

  // Cut to a small buffer: every listing and the first values.
  const DWORD small = static_cast<DWORD>(1 + g_input.size() % 23);
  {
    std::string full;
    for (const auto& [section, keys] : all) full += section + '\0';
    auto [n, bytes] = Get(nullptr, nullptr, small);
    CheckCut(full, n, bytes, small, true, "section list");
  }
  for (std::size_t i = 0; i < g_listed && i < 4; ++i) {
    const auto& [section, keys] = all[i];
    std::string full;
    for (const auto& [key, value] : keys) full += key + '\0';
    auto [n, bytes] = Get(section.c_str(), nullptr, small);
    CheckCut(full, n, bytes, small, true, "key list");
    if (!keys.empty() && keys[0].second != "\x01unread") {
      auto [vn, vbytes] = Get(section.c_str(), keys[0].first.c_str(), small);
      CheckCut(keys[0].second, vn, vbytes, small, false, "value");
    }
  }

  // The write, on the file as it came.
  if (split != std::string_view::npos) {
    std::string_view rest = input.substr(split + 3);
    std::vector<std::string> fields;
    while (fields.size() < 3 && !rest.empty()) {
      std::size_t nul = rest.find('\0');
      fields.emplace_back(rest.substr(0, nul));
      rest = nul == std::string_view::npos ? std::string_view() : rest.substr(nul + 1);
    }
    if (!fields.empty()) {
      CheckWrite(all, bound, fields[0].c_str(), fields.size() > 1 ? fields[1].c_str() : nullptr,
                 fields.size() > 2 ? fields[2].c_str() : nullptr);
    }
  }

  // The same contents written plainly read back the same (only when every key was read).
  if (g_complete) {
    g_input = Plain(all);
    Put(g_input);
    const Contents_t again = ReadAll(2 * g_input.size() + 16);
    if (again != all) Fail("the contents written plainly read back differently");
  }
  return 0;
}
