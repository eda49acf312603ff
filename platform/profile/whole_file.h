// Files read and written whole (internal to platform/profile).
#pragma once

#include <string>
#include <string_view>

namespace win::profile_detail {

enum class ReadOutcome {
  kRead,     // `out` holds the file
  kMissing,  // no such file (or a folder on the way is missing)
  kFailed,   // exists but cannot be read as a file: a folder, a device, no permission, I/O error
};

ReadOutcome ReadWholeFile(const std::string& path, std::string& out);

// Whether an existing file may be replaced: a regular file with a write permission bit that
// this process may write. A read-only file stays read-only, even for a superuser, as on the
// platform.
bool IsWritableFile(const std::string& path);

// Replaces the file's contents without ever leaving it half written: the text goes to a new file
// in the same folder, is flushed to disk, and is renamed over the old one. Keeps the permission
// bits (and, where allowed, the owner) of an existing file, writes through a symbolic link to its
// target, and gives a new file 0666 less the umask. Refuses (false, nothing changed) a target
// that is not a regular file or has no write permission bit; on any failure the temporary file
// is removed and the old file is untouched.
bool ReplaceWholeFile(const std::string& path, std::string_view contents);

}  // namespace win::profile_detail
