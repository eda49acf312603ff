#include "platform/text/excerpt.h"

#include <gtest/gtest.h>

#include <string>

namespace win {
namespace {

TEST(Excerpt, ShortTextStaysWholeLongTextIsCutWithAnEllipsis) {
  EXPECT_EQ(Excerpt(""), "");
  EXPECT_EQ(Excerpt("abc"), "abc");
  const std::string exact(kExcerptChars, 'x');
  EXPECT_EQ(Excerpt(exact), exact);
  const std::string longer = exact + "yz";
  EXPECT_EQ(Excerpt(longer), exact + "...");
  EXPECT_EQ(Excerpt("abcdef", 3), "abc...");
  EXPECT_EQ(Excerpt(std::string(5'000'000, 'q')).size(), kExcerptChars + 3);
}

TEST(Excerpt, CountsUtf8SequencesAsOneCharacterAndNeverSplitsOne) {
  // "日" is three bytes: 200 of them are 600 bytes and still whole.
  std::string japanese;
  for (std::size_t i = 0; i < kExcerptChars; ++i) japanese += "日";
  EXPECT_EQ(Excerpt(japanese), japanese);
  EXPECT_EQ(Excerpt(japanese + "本"), japanese + "...");
  EXPECT_EQ(Excerpt("a\xF0\x9F\x98\x80"
                    "b",
                    2),
            "a\xF0\x9F\x98\x80...");
  // Bytes that are no UTF-8 count one each.
  EXPECT_EQ(Excerpt("\xFF\xFE\x80z", 3), "\xFF\xFE\x80...");
  EXPECT_EQ(Excerpt("\xE6\x97z", 2), "\xE6\x97...");
}

}  // namespace
}  // namespace win
