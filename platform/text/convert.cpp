#include "platform/text/convert.h"

#include "platform/text/ansi_codec.h"
#include "platform/text/code_page_table.h"
#include "platform/text/codepage.h"
#include "platform/text/utf8_codec.h"

namespace win {

namespace {

using namespace text_detail;

const BYTE* Bytes(std::string_view s) {
  return reinterpret_cast<const BYTE*>(s.data());
}

}  // namespace

std::u16string AnsiToWide(std::string_view bytes) {
  std::u16string out;
  out.reserve(bytes.size());
  StringSink<std::u16string> sink{out};
  const UINT cp = GetACP();
  if (cp == CP_UTF8) {
    DecodeUtf8(Bytes(bytes), bytes.size(), false, sink);
  } else if (const CodePageTable* table = TableFor(cp)) {
    DecodeAnsi(*table, Bytes(bytes), bytes.size(), false, sink);
  } else {
    // No converter in this glibc (already reported): keep every byte as its own code unit so
    // that WideToAnsi gives the same bytes back.
    for (char c : bytes) out.push_back(static_cast<BYTE>(c));
  }
  return out;
}

std::string WideToAnsi(std::u16string_view text, bool* usedDefault) {
  std::string out;
  out.reserve(text.size() * 2);
  StringSink<std::string> sink{out};
  bool used = false;
  const UINT cp = GetACP();
  if (cp == CP_UTF8) {
    EncodeUtf8(text.data(), text.size(), false, used, sink);
  } else if (const CodePageTable* table = TableFor(cp)) {
    EncodeAnsi(*table, text.data(), text.size(), true, DefaultBytes{}, used, sink);
  } else {
    for (char16_t c : text) {
      used = used || c > 0xFF;
      out.push_back(c > 0xFF ? '?' : static_cast<char>(c));
    }
  }
  if (usedDefault != nullptr) *usedDefault = used;
  return out;
}

std::u16string Utf8ToUtf16(std::string_view bytes) {
  std::u16string out;
  out.reserve(bytes.size());
  StringSink<std::u16string> sink{out};
  DecodeUtf8(Bytes(bytes), bytes.size(), false, sink);
  return out;
}

std::string Utf16ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size() * 3);
  StringSink<std::string> sink{out};
  bool replaced = false;
  EncodeUtf8(text.data(), text.size(), false, replaced, sink);
  return out;
}

}  // namespace win
