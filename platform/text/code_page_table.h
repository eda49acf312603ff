// The lookup tables of one ANSI code page (internal to platform/text).
//
// A table is built once per process from glibc's iconv converter of the code page, then
// corrected by the code page's own rules (windows_31j.cpp, windows_1252.cpp), and never changes
// afterwards, so any number of threads may read it without locking.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "platform/wintypes.h"

namespace win::text_detail {

// Encoding of one UTF-16 unit: a single byte (0x00-0xFF), a double-byte code (lead << 8 | trail,
// always >= 0x8100), or kUnmapped. 0xFFFF cannot be a double-byte code: FF is never a trail byte.
constexpr std::uint16_t kUnmapped = 0xFFFF;

struct CodePageTable {
  UINT codePage = 0;
  WCHAR unicodeDefault = u'?';  // what undecodable bytes become
  BYTE defaultByte = '?';       // what unmappable UTF-16 becomes

  std::array<bool, 256> isLead{};
  std::array<bool, 256> isTrail{};
  // Meaning of each byte that is not a lead byte; singleValid false = no character there.
  std::array<WCHAR, 256> single{};
  std::array<bool, 256> singleValid{};
  // Double-byte characters: pairs[leadIndex[lead] * 256 + trail]; 0 = no character there
  // (no double-byte code decodes to U+0000). Row 0 is unused.
  std::array<std::uint8_t, 256> leadIndex{};
  std::vector<WCHAR> pairs;

  std::vector<std::uint16_t> encode;  // 65536 entries, kUnmapped where there is no code
  std::vector<std::pair<WCHAR, std::uint16_t>> bestFit;  // sorted by the UTF-16 unit

  WCHAR Pair(BYTE lead, BYTE trail) const { return pairs[leadIndex[lead] * 256u + trail]; }
  std::uint16_t Encode(WCHAR c, bool useBestFit) const {
    std::uint16_t code = encode[c];
    return (code == kUnmapped && useBestFit) ? BestFit(c) : code;
  }
  std::uint16_t BestFit(WCHAR c) const;

  // Rebuilds `encode` from the decoding tables; among several codes for one character the one
  // with the lowest rank(lead byte) wins, then the lowest code. Single bytes come first.
  void BuildEncode(int (*rank)(BYTE lead));
};

// Decoding tables from iconv: the bytes in `leads` are lead bytes, those in `trails` trail
// bytes. Returns null when iconv does not know `iconvName`.
std::unique_ptr<CodePageTable> DecodeWithIconv(const char* iconvName, UINT codePage,
                                               const std::array<bool, 256>& leads,
                                               const std::array<bool, 256>& trails);

// The two code pages' builders (null when glibc lacks the converter).
std::unique_ptr<CodePageTable> BuildWindows31J();
std::unique_ptr<CodePageTable> BuildWindows1252();

// The table of 932 or 1252 (built on first use), null for any other code page or when it could
// not be built. CP_ACP and CP_UTF8 are resolved by the caller.
const CodePageTable* TableFor(UINT codePage);

}  // namespace win::text_detail
