// String conversions for our own code, on top of the code page tables of codepage.h.
//
// AnsiToWide / WideToAnsi use the active ANSI code page (GetACP) with the platform's default
// treatment (undecodable bytes -> the default Unicode character, unmappable text -> '?'), so
// they never fail; embedded NULs are converted like any other character. The UTF-8 pair is for
// the application's Qt side and for files we write ourselves.
#pragma once

#include <string>
#include <string_view>

namespace win {

std::u16string AnsiToWide(std::string_view bytes);
// usedDefault (when given) tells whether some character had no mapping and became '?'.
std::string WideToAnsi(std::u16string_view text, bool* usedDefault = nullptr);

// Ill-formed UTF-8 and lone surrogates become U+FFFD.
std::u16string Utf8ToUtf16(std::string_view bytes);
std::string Utf16ToUtf8(std::u16string_view text);

}  // namespace win
