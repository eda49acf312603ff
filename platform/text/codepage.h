// The ANSI code page: conversions between the bytes of the host code page and UTF-16.
//
// Principle: every supported code page is turned, once per process and on first use, into
// immutable lookup tables (bytes -> UTF-16 and UTF-16 -> bytes) built from glibc's iconv
// converters and corrected where glibc and the platform's tables differ. After that a
// conversion is a plain table walk: no locks, no iconv descriptors, safe from any thread.
// UTF-8 is converted by hand. The active ANSI code page (CP_ACP) is 932 (Windows-31J, the
// Japanese Shift-JIS of the platform) unless the environment variable RAVLIN_ACP names another;
// it is read once per process.
//
// Failures return 0 and leave their reason in a per-thread last error of this layer
// (GetTextLastError), with the platform's error numbers (text_errors below). The process-wide
// GetLastError of the platform lives in platform/comm; this layer does not depend on it, so a
// caller that needs the code there passes GetTextLastError() to SetLastError itself.
//
// Offers:
// - MultiByteToWideChar, WideCharToMultiByte: the platform's contract (length -1 means
//   NUL-terminated and counts the NUL; a destination size of 0 asks for the size needed; a short
//   destination fails with ERROR_INSUFFICIENT_BUFFER after filling what fits).
// - IsDBCSLeadByteEx, IsDBCSLeadByte, GetACP.
// - GetTextLastError / SetTextLastError, SetActiveCodePageForTesting.
// - Supported code pages: 932, 1252, 65001 (CP_UTF8), and CP_ACP for the active one.
//
// How undecodable input is treated (the platform's tables, with one safety change):
// - 932: 0x80 -> U+0080, 0xA0 -> U+F8F0, 0xFD/0xFE/0xFF -> U+F8F1..U+F8F3 (and back); a lead
//   byte with a trail byte in the trail range but no character, or a lead byte at the end of the
//   input, decodes as U+30FB (the code page's default Unicode character). A lead byte followed by
//   a byte outside the trail range (a control character, NUL, a blank, ...) decodes as U+30FB and
//   the following byte is decoded on its own, so a stray lead byte never swallows a line end or a
//   frame delimiter.
// - 1252: the five unassigned bytes 0x81 0x8D 0x8F 0x90 0x9D decode to U+0081 ... and back.
// - UTF-8: each ill-formed part becomes U+FFFD.
// - With MB_ERR_INVALID_CHARS every such case fails with ERROR_NO_UNICODE_TRANSLATION instead.
// - UTF-16 with no mapping becomes the default character ('?' or lpDefaultChar) and sets
//   *usedDefaultChar; a surrogate pair becomes one default character, a lone surrogate one.
// - Best fit (932, unless WC_NO_BEST_FIT_CHARS): the JIS forms that Windows-31J spells with other
//   code points map to the code page's character: U+301C WAVE DASH -> 81 60 (which decodes as
//   U+FF5E), U+2016 -> 81 61, U+2212 -> 81 7C, U+2014 -> 81 5C, U+00A2 -> 81 91,
//   U+00A3 -> 81 92, U+00AC -> 81 CA, U+00A5 -> 5C, U+203E -> 7E.
// - Characters with several codes in 932 encode as the platform does: the JIS X 0208 code first,
//   then the NEC row 13 code, then the IBM extension (FA-FC); never the NEC-selected rows (ED, EE).
// - Composition flags (MB_COMPOSITE, MB_USEGLYPHCHARS, WC_COMPOSITECHECK and its companions)
//   are accepted and have no effect: none of the supported code pages has combining characters.
// - CP_UTF8 by number takes only the platform's UTF-8 arguments; when CP_ACP is UTF-8 the
//   arguments meant for the ANSI code pages are accepted and ignored, so a CP_ACP caller works
//   whatever the active code page is.
#pragma once

#include "platform/wintypes.h"

namespace win {

// Code pages.
constexpr UINT CP_ACP = 0;
constexpr UINT CP_UTF8 = 65001;

// MultiByteToWideChar flags.
constexpr DWORD MB_PRECOMPOSED = 0x01;
constexpr DWORD MB_COMPOSITE = 0x02;
constexpr DWORD MB_USEGLYPHCHARS = 0x04;
constexpr DWORD MB_ERR_INVALID_CHARS = 0x08;

// WideCharToMultiByte flags.
constexpr DWORD WC_DISCARDNS = 0x10;
constexpr DWORD WC_SEPCHARS = 0x20;
constexpr DWORD WC_DEFAULTCHAR = 0x40;
constexpr DWORD WC_ERR_INVALID_CHARS = 0x80;  // CP_UTF8 only
constexpr DWORD WC_COMPOSITECHECK = 0x200;
constexpr DWORD WC_NO_BEST_FIT_CHARS = 0x400;

// The reasons this layer reports (the platform's numbers). Kept in their own namespace so that
// they never collide with the same names in platform/comm's kernel.h.
namespace text_errors {
constexpr DWORD ERROR_SUCCESS = 0;
constexpr DWORD ERROR_INVALID_PARAMETER = 87;  // null pointers, bad lengths, unknown code page
constexpr DWORD ERROR_INSUFFICIENT_BUFFER = 122;
constexpr DWORD ERROR_INVALID_FLAGS = 1004;
constexpr DWORD ERROR_NO_UNICODE_TRANSLATION = 1113;
}  // namespace text_errors

// The last failure of a function of this layer on the calling thread (successful calls leave it
// as it was, as on the platform).
DWORD GetTextLastError();
void SetTextLastError(DWORD code);

// Bytes -> UTF-16. Returns the number of UTF-16 units written (or needed when dstLen is 0),
// 0 on failure.
int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR src, int srcLen, LPWSTR dst, int dstLen);

// UTF-16 -> bytes. Returns the number of bytes written (or needed when dstLen is 0), 0 on
// failure. defaultChar (its first character, one or two bytes) replaces what has no mapping,
// '?' when null or when it starts with a lead byte that has no trail byte; usedDefaultChar, when
// given, tells whether that happened. Both must be null for CP_UTF8.
int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR src, int srcLen, LPSTR dst, int dstLen,
                        LPCSTR defaultChar, BOOL* usedDefaultChar);

// Whether c can start a double-byte character (932: 81-9F and E0-FC). Says nothing about the
// byte after it.
BOOL IsDBCSLeadByteEx(UINT codePage, BYTE c);
BOOL IsDBCSLeadByte(BYTE c);

// The active ANSI code page: the override set for testing, else RAVLIN_ACP (read once), else 932.
// An unsupported RAVLIN_ACP value is reported once on stderr and 932 is used.
UINT GetACP();

// Tests switch the active code page with this: 932, 1252 or 65001; 0 goes back to the
// environment's choice. Other values are ignored.
void SetActiveCodePageForTesting(UINT codePage);

}  // namespace win
