#include "platform/text/excerpt.h"

namespace win {
namespace {

// Length in bytes of the UTF-8 sequence at text[at], or 1 when it is not well-formed there.
std::size_t SequenceLength(std::string_view text, std::size_t at) {
  const auto lead = static_cast<unsigned char>(text[at]);
  std::size_t length = lead < 0x80             ? 1
                       : (lead & 0xE0) == 0xC0 ? 2
                       : (lead & 0xF0) == 0xE0 ? 3
                       : (lead & 0xF8) == 0xF0 ? 4
                                               : 1;
  if (length == 1 || at + length > text.size()) return 1;
  for (std::size_t k = 1; k < length; ++k)
    if ((static_cast<unsigned char>(text[at + k]) & 0xC0) != 0x80) return 1;
  return length;
}

}  // namespace

std::string Excerpt(std::string_view text, std::size_t maxChars) {
  std::size_t at = 0;
  for (std::size_t chars = 0; at < text.size(); ++chars) {
    if (chars == maxChars) return std::string(text.substr(0, at)) + std::string(kExcerptEllipsis);
    at += SequenceLength(text, at);
  }
  return std::string(text);
}

}  // namespace win
