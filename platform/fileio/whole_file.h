// Files users own, read and written whole: settings, command files, the component registry, the
// simulator's EEPROM image, stored control settings.
//
// How it works. A write never changes the file in place: the new contents go to a temporary
// file of a unique name in the same folder (created exclusively, so two writers never share
// one), are flushed to disk, and the temporary is renamed over the target; then the folder is
// flushed so the rename itself survives a power cut. Readers therefore see the old file or the
// new one, never a mix, and two concurrent writers end with one of their files whole. A symbolic
// link is followed: its target is replaced and the link stays a link. The replaced file keeps
// its permission bits (and, where allowed, its owner and group); a new file gets 0666 less the
// umask. A target that is no regular file, or that has no write permission bit, is refused: a
// read-only file stays read-only, even for a superuser.
//
// Offers: read_outcome, ReadWholeFile, IsWritableFile, ReplaceWholeFile, ResolveLinks.
#pragma once

#include <string>
#include <string_view>

namespace fileio {

enum class read_outcome {
  read,     // `out` holds the file
  missing,  // no such file (or a folder on the way is missing)
  failed,   // exists but cannot be read as a file: a folder, a device, no permission, I/O error
};

// The whole file at path. On anything but `read`, `out` is empty.
read_outcome ReadWholeFile(const std::string& path, std::string& out);

// Whether an existing file may be replaced: a regular file with a write permission bit that
// this process may write.
bool IsWritableFile(const std::string& path);

// The file a write to path replaces: the final target of a chain of symbolic links (a relative
// link read from its own folder; a dangling one names the file it points at), else path itself.
std::string ResolveLinks(const std::string& path);

// Replaces (or creates) the file at path with contents, as the header says. On failure returns
// false, sets *error (when given) to a one-line reason naming the file and *errorNumber (when
// given) to the errno value behind it (EACCES for a read-only file, EINVAL for a target that is
// no regular file), removes the temporary file, and leaves the old file exactly as it was.
bool ReplaceWholeFile(const std::string& path, std::string_view contents,
                      std::string* error = nullptr, int* errorNumber = nullptr);

}  // namespace fileio
