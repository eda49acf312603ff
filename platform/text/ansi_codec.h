// The conversion loops of the table-driven code pages, 932 and 1252 (internal to platform/text).
#pragma once

#include <cstddef>

#include "platform/text/code_page_table.h"
#include "platform/text/conversion_sink.h"

namespace win::text_detail {

inline bool IsHighSurrogate(WCHAR c) {
  return c >= 0xD800 && c <= 0xDBFF;
}
inline bool IsLowSurrogate(WCHAR c) {
  return c >= 0xDC00 && c <= 0xDFFF;
}

// Bytes -> UTF-16. strict: stop with kInvalid at the first byte sequence that is no character.
template <class Sink>
Status DecodeAnsi(const CodePageTable& t, const BYTE* src, std::size_t n, bool strict, Sink& out) {
  std::size_t i = 0;
  while (i < n) {
    BYTE b = src[i];
    WCHAR w;
    if (!t.isLead[b]) {
      if (strict && !t.singleValid[b]) return Status::kInvalid;
      w = t.single[b];
      ++i;
    } else if (i + 1 < n && t.isTrail[src[i + 1]]) {
      w = t.Pair(b, src[i + 1]);
      if (w == 0) {
        if (strict) return Status::kInvalid;
        w = t.unicodeDefault;
      }
      i += 2;
    } else {
      // A lead byte at the end, or before a byte that cannot follow it: the lead byte alone
      // stands for the default character and the next byte is read afresh.
      if (strict) return Status::kInvalid;
      w = t.unicodeDefault;
      ++i;
    }
    if (!out.Put(w)) return Status::kNoRoom;
  }
  return Status::kOk;
}

// What replaces unmappable UTF-16: one byte, or a double-byte character.
struct DefaultBytes {
  char bytes[2] = {'?', 0};
  std::size_t length = 1;
};

// UTF-16 -> bytes. Never fails on content; usedDefault tells whether `def` was written.
template <class Sink>
Status EncodeAnsi(const CodePageTable& t, const WCHAR* src, std::size_t n, bool bestFit,
                  const DefaultBytes& def, bool& usedDefault, Sink& out) {
  for (std::size_t i = 0; i < n; ++i) {
    WCHAR c = src[i];
    std::uint16_t code = t.Encode(c, bestFit);
    bool ok;
    if (code < 0x100) {
      ok = out.Put(static_cast<char>(code));
    } else if (code != kUnmapped) {
      char pair[2] = {static_cast<char>(code >> 8), static_cast<char>(code & 0xFF)};
      ok = out.Put(pair, 2);
    } else {
      usedDefault = true;
      // One character outside the BMP is one default character, not two.
      if (IsHighSurrogate(c) && i + 1 < n && IsLowSurrogate(src[i + 1])) ++i;
      ok = out.Put(def.bytes, def.length);
    }
    if (!ok) return Status::kNoRoom;
  }
  return Status::kOk;
}

}  // namespace win::text_detail
