// The two profile functions: argument rules, the lock, and copying results the platform's way.
#include "platform/profile/profile.h"

#include <cstring>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/fileio/whole_file.h"
#include "platform/profile/ini_document.h"
#include "platform/text/codepage.h"

namespace win {

namespace {

using namespace profile_detail;

// One lock for every profile file of the process: calls are short and rare.
std::mutex& ProfileLock() {
  static std::mutex lock;
  return lock;
}

IniDocument Load(const char* fileName) {
  std::string text;
  if (fileio::ReadWholeFile(fileName, text) != fileio::read_outcome::read) text.clear();
  return IniDocument(std::move(text));
}

DWORD CopyString(std::string_view s, LPSTR out, DWORD size) {
  std::size_t n = std::min<std::size_t>(s.size(), size - 1);
  std::memcpy(out, s.data(), n);
  out[n] = '\0';
  return static_cast<DWORD>(n);
}

// Names, each followed by a NUL, then one more NUL.
DWORD CopyList(const std::vector<std::string_view>& names, LPSTR out, DWORD size) {
  std::string all;
  for (std::string_view name : names) all.append(name).push_back('\0');
  if (all.size() + 1 <= size) {
    std::memcpy(out, all.data(), all.size());
    out[all.size()] = '\0';
    return static_cast<DWORD>(all.size());
  }
  if (size < 2) {
    out[0] = '\0';
    return 0;
  }
  std::memcpy(out, all.data(), size - 2);
  out[size - 2] = '\0';
  out[size - 1] = '\0';
  return size - 2;
}

bool HasLineBreak(std::string_view s) {
  return s.find_first_of("\r\n") != std::string_view::npos;
}

// Whether `c` occurs in `s` as a character of the ANSI code page (not as a trail byte).
bool HasCharacter(std::string_view s, char c) {
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (IsDBCSLeadByte(static_cast<BYTE>(s[i])) && i + 1 < s.size()) {
      ++i;
    } else if (s[i] == c) {
      return true;
    }
  }
  return false;
}

// Whether the last byte of `s` is a lead byte without its trail byte.
bool EndsInLoneLeadByte(std::string_view s) {
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (IsDBCSLeadByte(static_cast<BYTE>(s[i]))) {
      if (i + 1 == s.size()) return true;
      ++i;
    }
  }
  return false;
}

// Names and values that would not read back as what was written, or would break the file's
// structure (a line break in a value could forge a section), are refused.
bool ValidSection(std::string_view name) {
  return !HasLineBreak(name) && !HasCharacter(name, ']');
}

bool ValidKey(std::string_view key) {
  return !key.empty() && !HasLineBreak(key) && key.find('=') == std::string_view::npos &&
         key.front() != '[' && key.front() != ';';
}

}  // namespace

DWORD GetPrivateProfileStringA(LPCSTR appName, LPCSTR keyName, LPCSTR defaultValue, LPSTR returned,
                               DWORD size, LPCSTR fileName) {
  if (returned == nullptr || size == 0) return 0;
  std::unique_lock lock(ProfileLock());
  IniDocument document = fileName != nullptr ? Load(fileName) : IniDocument();
  lock.unlock();

  if (appName == nullptr) return CopyList(document.SectionNames(), returned, size);
  const std::string_view section = TrimBlanks(appName);
  if (keyName == nullptr) return CopyList(document.KeyNames(section), returned, size);
  if (auto value = document.Value(section, TrimBlanks(keyName))) {
    return CopyString(*value, returned, size);
  }
  std::string_view fallback = defaultValue != nullptr ? defaultValue : "";
  while (!fallback.empty() && IsBlank(fallback.back())) fallback.remove_suffix(1);
  return CopyString(fallback, returned, size);
}

BOOL WritePrivateProfileStringA(LPCSTR appName, LPCSTR keyName, LPCSTR value, LPCSTR fileName) {
  if (appName == nullptr) {
    // All null is the platform's "flush the cache"; there is no cache here.
    return (keyName == nullptr && value == nullptr) ? TRUE : FALSE;
  }
  if (fileName == nullptr || *fileName == '\0') return FALSE;
  const std::string_view section = TrimBlanks(appName);
  const std::string_view key = keyName != nullptr ? TrimBlanks(keyName) : std::string_view();
  if (!ValidSection(section)) return FALSE;
  if (keyName != nullptr && !ValidKey(key)) return FALSE;
  if (value != nullptr && HasLineBreak(value)) return FALSE;

  std::lock_guard lock(ProfileLock());
  std::string text;
  fileio::read_outcome outcome = fileio::ReadWholeFile(fileName, text);
  if (outcome == fileio::read_outcome::failed) return FALSE;
  IniDocument document(std::move(text));
  const std::string before = document.text();

  if (keyName == nullptr) {
    document.DeleteSection(section);
  } else if (value == nullptr) {
    document.DeleteKey(section, key);
  } else {
    // A new header for a name ending in a lone lead byte would not read back: that byte would
    // take the "]" as its trail byte. (A section already there is found and edited in place.)
    if (!document.HasSection(section) && EndsInLoneLeadByte(section)) return FALSE;
    document.SetValue(section, key, value);
  }
  if (document.text() == before) {
    // Nothing to write. Storing a value a read-only file already holds still fails, as on the
    // platform; deleting what is not there succeeds.
    if (keyName != nullptr && value != nullptr)
      return fileio::IsWritableFile(fileName) ? TRUE : FALSE;
    return TRUE;
  }
  return fileio::ReplaceWholeFile(fileName, document.text()) ? TRUE : FALSE;
}

}  // namespace win
