// libFuzzer target: code page 932 (Windows-31J) decoding and encoding.
//
// Input: any bytes, read two ways.
// - As code-page bytes: decoded with MultiByteToWideChar(932), then encoded back with
//   WideCharToMultiByte(932).
// - As UTF-16 (little-endian pairs of bytes; an odd last byte is left out): encoded and decoded
//   again.
//
// Checks, each a crash with a message when broken:
// - the size a call asks for (destination size 0) is the size it then writes;
// - the bytes split into characters the way the code page says: a lead byte (81-9F, E0-FC) and
//   a trail byte (40-7E, 80-FC) are one character, any other byte is one on its own, and a lead
//   byte before a byte that is no trail byte stands alone (so it never swallows a line end or a
//   frame delimiter). Decoding the whole input gives exactly the characters decoded one by one,
//   and strict decoding (MB_ERR_INVALID_CHARS) succeeds exactly when every character does;
// - decode then encode gives the input back, byte for byte, except where the mapping is not
//   one-to-one. Those places are:
//   * byte sequences that are no character (a lead byte alone, a pair with no character): they
//     decode to U+30FB, the code page's default character, which encodes as 81 45 (the real
//     KATAKANA MIDDLE DOT), so the original bytes cannot come back;
//   * characters with several codes: NEC row 13 symbols also in JIS X 0208 (87 90 -> 81 E0 ...),
//     the NEC-selected IBM extensions (ED, EE -> FA-FC), IBM extensions also in JIS X 0208 or row
//     13 (FA 4A -> 87 54 ...). Encoding writes one code per character, the preferred one: JIS X
//     0208 first, then NEC row 13, then the IBM extensions, never ED/EE.
//   Each such place must be one of these: its code is not the preferred one for its character
//   (the encoded bytes decode to the same character and rank before the input's code) or the
//   input there is no character at all.
// - every UTF-16 unit that encodes without best fit and without the default character decodes
//   back to itself; a unit that needs the default character is reported through
//   usedDefaultChar, one default per unit (one per surrogate pair).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/text/codepage.h"

namespace {

using win::BOOL;
using win::BYTE;
using win::WCHAR;

constexpr win::UINT kCp = 932;
constexpr WCHAR kDefaultCharacter = 0x30FB;

[[noreturn]] void Fail(const char* what, const std::uint8_t* bytes, std::size_t n) {
  std::fprintf(stderr, "cp932_fuzz: %s; bytes:", what);
  for (std::size_t i = 0; i < n && i < 64; ++i) std::fprintf(stderr, " %02X", bytes[i]);
  std::fprintf(stderr, "%s\n", n > 64 ? " ..." : "");
  std::abort();
}

bool IsTrail(BYTE b) {
  return b >= 0x40 && b <= 0xFC && b != 0x7F;
}

std::u16string Decode(const std::uint8_t* src, std::size_t n, win::DWORD flags, bool* ok) {
  const char* s = reinterpret_cast<const char*>(src);
  int need = win::MultiByteToWideChar(kCp, flags, s, static_cast<int>(n), nullptr, 0);
  *ok = need > 0;
  if (need <= 0) return {};
  std::u16string out(static_cast<std::size_t>(need), u'\0');
  int got = win::MultiByteToWideChar(kCp, flags, s, static_cast<int>(n),
                                     reinterpret_cast<WCHAR*>(out.data()), need);
  if (got != need) Fail("MultiByteToWideChar wrote another size than it asked for", src, n);
  return out;
}

std::string Encode(const std::u16string& text, win::DWORD flags, BOOL* usedDefault) {
  const auto* w = reinterpret_cast<const WCHAR*>(text.data());
  const int len = static_cast<int>(text.size());
  BOOL used = 0;
  int need = win::WideCharToMultiByte(kCp, flags, w, len, nullptr, 0, nullptr, &used);
  if (need <= 0) Fail("WideCharToMultiByte refused text", nullptr, 0);
  std::string out(static_cast<std::size_t>(need), '\0');
  BOOL used2 = 0;
  int got = win::WideCharToMultiByte(kCp, flags, w, len, out.data(), need, nullptr, &used2);
  if (got != need || used != used2) Fail("WideCharToMultiByte wrote another size", nullptr, 0);
  if (usedDefault) *usedDefault = used2;
  return out;
}

// Preference among several codes of one character: JIS X 0208 (and single bytes) first, then
// NEC row 13, then the IBM extensions, the NEC-selected IBM extensions last.
int Rank(const std::string& code) {
  if (code.size() < 2) return 0;
  const auto lead = static_cast<BYTE>(code[0]);
  if (lead == 0x87) return 1;
  if (lead >= 0xFA && lead <= 0xFC) return 2;
  if (lead == 0xED || lead == 0xEE) return 3;
  return 0;
}

void CheckBytes(const std::uint8_t* data, std::size_t size) {
  bool ok = false;
  const std::u16string whole = Decode(data, size, 0, &ok);
  if (!ok) Fail("lenient decoding failed", data, size);
  bool strictOk = false;
  const std::u16string strict = Decode(data, size, win::MB_ERR_INVALID_CHARS, &strictOk);

  std::u16string joined;
  std::string expectedBack;
  bool allValid = true;
  for (std::size_t i = 0; i < size;) {
    const std::size_t len =
        (win::IsDBCSLeadByteEx(kCp, data[i]) && i + 1 < size && IsTrail(data[i + 1])) ? 2 : 1;
    const std::uint8_t* unit = data + i;
    bool unitOk = false;
    const std::u16string one = Decode(unit, len, 0, &unitOk);
    if (!unitOk || one.size() != 1) Fail("one character did not decode to one unit", unit, len);
    bool unitValid = false;
    const std::u16string strictOne = Decode(unit, len, win::MB_ERR_INVALID_CHARS, &unitValid);
    if (unitValid && strictOne != one) Fail("strict and lenient decoding differ", unit, len);
    if (!unitValid && one[0] != kDefaultCharacter)
      Fail("no character, but not the default character", unit, len);
    allValid = allValid && unitValid;
    joined += one;

    const std::string code(reinterpret_cast<const char*>(unit), len);
    BOOL used = 0;
    const std::string back = Encode(one, 0, &used);
    if (used) Fail("a decoded character has no code", unit, len);
    if (back != code) {
      // Not one-to-one here: either no character came in, or another code of the same
      // character is preferred.
      bool backOk = false;
      const std::u16string again =
          Decode(reinterpret_cast<const std::uint8_t*>(back.data()), back.size(), 0, &backOk);
      if (!backOk || again != one) Fail("encoded as a code of another character", unit, len);
      if (unitValid && !(Rank(back) < Rank(code) || (Rank(back) == Rank(code) && back < code)))
        Fail("encoded as a code that is not the preferred one", unit, len);
    }
    expectedBack += back;
    i += len;
  }
  if (whole != joined) Fail("decoding the whole differs from character by character", data, size);
  if (strictOk != allValid) Fail("strict decoding disagrees with the characters", data, size);
  if (strictOk && strict != whole) Fail("strict decoding gives other text", data, size);
  if (Encode(whole, 0, nullptr) != expectedBack)
    Fail("encoding the whole differs from character by character", data, size);
}

void CheckUtf16(const std::uint8_t* data, std::size_t size) {
  std::u16string text;
  for (std::size_t i = 0; i + 1 < size; i += 2)
    text.push_back(static_cast<char16_t>(data[i] | data[i + 1] << 8));
  if (text.empty()) return;

  std::string expected;
  bool anyDefault = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    std::u16string one(1, text[i]);
    const bool pair = text[i] >= 0xD800 && text[i] <= 0xDBFF && i + 1 < text.size() &&
                      text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF;
    if (pair) one.push_back(text[++i]);
    BOOL used = 0;
    const std::string code = Encode(one, win::WC_NO_BEST_FIT_CHARS, &used);
    expected += code;
    if (used) {
      anyDefault = true;
      if (code != "?") Fail("one unmapped character is not one default character", data, size);
      continue;
    }
    bool ok = false;
    const std::u16string back =
        Decode(reinterpret_cast<const std::uint8_t*>(code.data()), code.size(), 0, &ok);
    if (!ok || back != one) Fail("a character with a code does not decode back", data, size);
  }
  BOOL used = 0;
  if (Encode(text, win::WC_NO_BEST_FIT_CHARS, &used) != expected || (used != 0) != anyDefault)
    Fail("encoding UTF-16 whole differs from character by character", data, size);
  // With best fit, fewer characters need the default, never more.
  BOOL usedBestFit = 0;
  Encode(text, 0, &usedBestFit);
  if (usedBestFit && !anyDefault) Fail("best fit used the default where it was not", data, size);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  CheckBytes(data, size);
  CheckUtf16(data, size);
  return 0;
}
