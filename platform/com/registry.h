// The registry store: the platform's hierarchical key/value database, kept in one text file.
//
// Principle: keys under HKEY_CLASSES_ROOT and HKEY_LOCAL_MACHINE hold named values (strings and
// 32-bit integers; the unnamed value is the key's default). The whole store lives in a REGEDIT4
// ".reg" file at RAVLIN_REGISTRY, else $XDG_CONFIG_HOME/cobrix/registry.reg (~/.config/... when
// unset). Every call reads the file under a shared lock; every change rewrites it under an
// exclusive lock through a temporary file and a rename, so two processes never leave it torn. A
// damaged file is read as far as it is valid. The parsed file is kept and parsed again only when
// the file changed (another inode, size or modification time). Only a regular file of at most
// 16 MiB is read: anything else at the path (a FIFO, a device, a directory, a larger file) reads
// as an empty store and refuses changes with ERROR_ACCESS_DENIED. Key names are matched
// case-insensitively.
//
// Offers: HKEY, HKEY_CLASSES_ROOT, HKEY_LOCAL_MACHINE, REG_SZ, REG_DWORD; RegCreateKeyExA,
// RegOpenKeyExA, RegCloseKey, RegQueryValueExA, RegEnumValueA, RegSetValueExA, RegDeleteValueA,
// RegDeleteKeyA, RegDeleteTreeA (error codes of platform/winerror.h: ERROR_SUCCESS,
// ERROR_FILE_NOT_FOUND, ERROR_MORE_DATA, ...).
#pragma once

#include "platform/winerror.h"
#include "platform/wintypes.h"

namespace win {

struct HKEY__;
using HKEY = HKEY__*;

inline HKEY const HKEY_CLASSES_ROOT =
    reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(0x80000000));
inline HKEY const HKEY_LOCAL_MACHINE =
    reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(0x80000002));

constexpr DWORD REG_NONE = 0;
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_DWORD = 4;

constexpr DWORD KEY_READ = 0x20019;
constexpr DWORD KEY_WRITE = 0x20006;
constexpr DWORD KEY_ALL_ACCESS = 0xF003F;
constexpr DWORD REG_OPTION_NON_VOLATILE = 0;
constexpr DWORD REG_CREATED_NEW_KEY = 1;
constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

// All return a Win32 error code (LONG): ERROR_SUCCESS (0), ERROR_FILE_NOT_FOUND (2) for a missing
// key or value, ERROR_MORE_DATA (234) when the buffer is too small (*cbData then holds the size
// needed), ERROR_INVALID_PARAMETER (87), ERROR_ACCESS_DENIED (5) when the file cannot be written.
LONG RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD reserved, LPSTR cls, DWORD options,
                     DWORD samDesired, void* securityAttributes, HKEY* result, DWORD* disposition);
LONG RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, DWORD samDesired, HKEY* result);
LONG RegCloseKey(HKEY key);
// valueName null or "" is the key's default value. REG_SZ data includes its terminating NUL.
LONG RegQueryValueExA(HKEY key, LPCSTR valueName, DWORD* reserved, DWORD* type, BYTE* data,
                      DWORD* cbData);
// The index-th value of the key, in the order the store holds them: its name (with *cchValueName
// in characters, without the NUL, on return), type and data as RegQueryValueExA gives them.
// ERROR_NO_MORE_ITEMS past the last one; ERROR_MORE_DATA when the name or the data do not fit.
LONG RegEnumValueA(HKEY key, DWORD index, LPSTR valueName, DWORD* cchValueName, DWORD* reserved,
                   DWORD* type, BYTE* data, DWORD* cbData);
LONG RegSetValueExA(HKEY key, LPCSTR valueName, DWORD reserved, DWORD type, const BYTE* data,
                    DWORD cbData);
LONG RegDeleteValueA(HKEY key, LPCSTR valueName);
// Deletes a key that has no subkeys (ERROR_ACCESS_DENIED otherwise, as the platform does).
LONG RegDeleteKeyA(HKEY key, LPCSTR subKey);
// Deletes a key with everything below it.
LONG RegDeleteTreeA(HKEY key, LPCSTR subKey);

}  // namespace win
