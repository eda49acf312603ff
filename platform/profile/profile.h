// Profile files: the platform's GetPrivateProfileStringA / WritePrivateProfileStringA on INI files.
//
// Principle: every call reads the whole file, parses it into lines (section headers, key lines,
// and everything else), answers or edits, and - for a write that changes something - writes the
// complete new text to a temporary file in the same folder and renames it over the old one, so
// the file is always either the old or the new version. Lines the call does not touch keep
// their exact bytes, comments and order. One process-wide lock serialises the calls; other
// processes are not coordinated with.
//
// Offers: GetPrivateProfileStringA, WritePrivateProfileStringA.
//
// The file format, as the platform reads it:
// - "[name]" opens a section (blanks inside the brackets ignored, text after "]" ignored);
//   "key=value" inside a section is a key; blanks around keys and values are ignored, and a value
//   enclosed in matching quotes (" or ') is returned without them. Lines starting with ";" are
//   comments. Names match case-insensitively for ASCII letters; a double-byte character of the
//   ANSI code page is compared byte for byte, so its trail byte is never taken for a letter or
//   for "]".
// - Lines without "=", keys before the first section, and everything after a NUL byte on a line
//   are ignored when reading and kept when writing. A UTF-8 byte order mark at the start is
//   ignored.
// - Duplicates: the first section of a name is the section; later ones with the same name are
//   ignored by reads and by key writes (and kept in the file), and deleting the section deletes
//   all of them. Within a section the first key of a name wins; deleting a key deletes every line
//   of that key in the section. Listings name each section or key once.
// - Bytes are those of the ANSI code page and pass through untouched in both directions.
//
// File names are used as given: a relative name is relative to the working directory (callers
// pass absolute paths). A missing, unreadable or non-regular file (a folder, a device) reads as
// empty: every lookup returns the default.
#pragma once

#include "platform/wintypes.h"

namespace win {

// Copies the value of [appName] keyName into `returned` (size bytes, NUL included) and returns
// its length; a value that does not fit is cut to size - 1 bytes and size - 1 is returned.
// Missing file, section or key: the default (null = "") without its trailing blanks.
// appName null: the section names; keyName null: the section's key names; each NUL-terminated,
// with one more NUL at the end; the return value counts all but that last NUL. When the list
// does not fit it is cut to size - 2 bytes, two NULs are added, and size - 2 is returned.
// returned null or size 0: nothing is copied and 0 is returned.
DWORD GetPrivateProfileStringA(LPCSTR appName, LPCSTR keyName, LPCSTR defaultValue, LPSTR returned,
                               DWORD size, LPCSTR fileName);

// Sets [appName] keyName = value, creating the file (line ends CR LF) and the section as needed.
// An existing key gets its value replaced in place; a new key goes after the last key line of
// its section, a new section at the end of the file. value null deletes the key, keyName null
// deletes the section; deleting what is not there succeeds and creates nothing. New lines use
// the line end of the file's first line. Returns FALSE, leaving the file as it was, when:
// appName or fileName is null (all three of appName, keyName, value null is the platform's cache
// flush and succeeds); a name or value holds a line break; keyName is empty, holds "=" or starts
// with "[" or ";"; appName holds "]", or is a new section's and ends in a lead byte without its
// trail byte; the file is not a regular file or has no write permission bit; or the new file cannot
// be written and renamed into place. The file's permission bits are kept; a symbolic link is
// followed and stays a link.
BOOL WritePrivateProfileStringA(LPCSTR appName, LPCSTR keyName, LPCSTR value, LPCSTR fileName);

}  // namespace win
