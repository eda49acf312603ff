// UTF-8 <-> UTF-16 conversion loops (internal to platform/text).
//
// Decoding replaces each maximal ill-formed part (the longest prefix of a valid sequence, or one
// byte) with U+FFFD; encoding replaces each lone surrogate with U+FFFD. In strict mode both stop
// with kInvalid instead.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/text/ansi_codec.h"
#include "platform/text/conversion_sink.h"

namespace win::text_detail {

constexpr WCHAR kReplacementCharacter = 0xFFFD;

template <class Sink>
Status DecodeUtf8(const BYTE* s, std::size_t n, bool strict, Sink& out) {
  std::size_t i = 0;
  while (i < n) {
    BYTE b = s[i];
    if (b < 0x80) {
      if (!out.Put(static_cast<WCHAR>(b))) return Status::kNoRoom;
      ++i;
      continue;
    }
    std::size_t need = 0;
    std::uint32_t cp = 0;
    BYTE lo = 0x80, hi = 0xBF;  // the allowed range of the next byte
    if (b >= 0xC2 && b <= 0xDF) {
      need = 1;
      cp = b & 0x1F;
    } else if (b >= 0xE0 && b <= 0xEF) {
      need = 2;
      cp = b & 0x0F;
      if (b == 0xE0) lo = 0xA0;  // no overlong forms
      if (b == 0xED) hi = 0x9F;  // no surrogates
    } else if (b >= 0xF0 && b <= 0xF4) {
      need = 3;
      cp = b & 0x07;
      if (b == 0xF0) lo = 0x90;
      if (b == 0xF4) hi = 0x8F;  // nothing above U+10FFFF
    }
    std::size_t j = 1;
    if (need != 0) {
      for (; j <= need && i + j < n; ++j) {
        BYTE c = s[i + j];
        if (c < lo || c > hi) break;
        lo = 0x80;
        hi = 0xBF;
        cp = cp << 6 | (c & 0x3F);
      }
    }
    if (need == 0 || j <= need) {
      if (strict) return Status::kInvalid;
      if (!out.Put(kReplacementCharacter)) return Status::kNoRoom;
      i += j;
      continue;
    }
    bool ok;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      WCHAR pair[2] = {static_cast<WCHAR>(0xD800 + (cp >> 10)),
                       static_cast<WCHAR>(0xDC00 + (cp & 0x3FF))};
      ok = out.Put(pair, 2);
    } else {
      ok = out.Put(static_cast<WCHAR>(cp));
    }
    if (!ok) return Status::kNoRoom;
    i += need + 1;
  }
  return Status::kOk;
}

// replaced tells whether a lone surrogate became U+FFFD.
template <class Sink>
Status EncodeUtf8(const WCHAR* s, std::size_t n, bool strict, bool& replaced, Sink& out) {
  for (std::size_t i = 0; i < n; ++i) {
    std::uint32_t cp = s[i];
    if (IsHighSurrogate(s[i]) && i + 1 < n && IsLowSurrogate(s[i + 1])) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (s[i + 1] - 0xDC00);
      ++i;
    } else if (IsHighSurrogate(s[i]) || IsLowSurrogate(s[i])) {
      if (strict) return Status::kInvalid;
      cp = kReplacementCharacter;
      replaced = true;
    }
    char bytes[4];
    std::size_t len;
    if (cp < 0x80) {
      bytes[0] = static_cast<char>(cp);
      len = 1;
    } else if (cp < 0x800) {
      bytes[0] = static_cast<char>(0xC0 | cp >> 6);
      bytes[1] = static_cast<char>(0x80 | (cp & 0x3F));
      len = 2;
    } else if (cp < 0x10000) {
      bytes[0] = static_cast<char>(0xE0 | cp >> 12);
      bytes[1] = static_cast<char>(0x80 | (cp >> 6 & 0x3F));
      bytes[2] = static_cast<char>(0x80 | (cp & 0x3F));
      len = 3;
    } else {
      bytes[0] = static_cast<char>(0xF0 | cp >> 18);
      bytes[1] = static_cast<char>(0x80 | (cp >> 12 & 0x3F));
      bytes[2] = static_cast<char>(0x80 | (cp >> 6 & 0x3F));
      bytes[3] = static_cast<char>(0x80 | (cp & 0x3F));
      len = 4;
    }
    if (!out.Put(bytes, len)) return Status::kNoRoom;
  }
  return Status::kOk;
}

}  // namespace win::text_detail
