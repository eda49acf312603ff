// Excerpts of outside text for messages.
//
// Principle: a message that quotes what it refuses (a line, a token, a name read from a file)
// shows at most a fixed number of characters of it, so one enormous input cannot flood a
// terminal or a log. Characters are counted in UTF-8: a well-formed sequence is one character,
// any other byte is one character of its own, so a cut never splits a sequence.
//
// Offers: kExcerptChars, kExcerptEllipsis, Excerpt.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace win {

// How many characters of an input a message quotes, and what marks a cut.
inline constexpr std::size_t kExcerptChars = 200;
inline constexpr std::string_view kExcerptEllipsis = "...";

// text itself when it has at most maxChars characters, else its first maxChars characters
// followed by kExcerptEllipsis. Never fails.
std::string Excerpt(std::string_view text, std::size_t maxChars = kExcerptChars);

}  // namespace win
