#include "platform/text/convert.h"

#include <gtest/gtest.h>

#include "platform/text/codepage.h"

namespace {

using namespace win;

class ConvertTest : public ::testing::Test {
 protected:
  void SetUp() override { SetActiveCodePageForTesting(932); }
  void TearDown() override { SetActiveCodePageForTesting(0); }
};

TEST_F(ConvertTest, AnsiFollowsTheActiveCodePage) {
  EXPECT_EQ(AnsiToWide("\x83\x4A\x81\x5B\x83\x68"), u"カード");
  EXPECT_EQ(WideToAnsi(u"カード"), "\x83\x4A\x81\x5B\x83\x68");
  SetActiveCodePageForTesting(1252);
  EXPECT_EQ(AnsiToWide("\x80"), u"€");
  EXPECT_EQ(WideToAnsi(u"€"), "\x80");
  SetActiveCodePageForTesting(CP_UTF8);
  EXPECT_EQ(AnsiToWide("\xE2\x82\xAC"), u"€");
  EXPECT_EQ(WideToAnsi(u"€"), "\xE2\x82\xAC");
}

TEST_F(ConvertTest, AnsiKeepsEverythingAndNeverFails) {
  EXPECT_EQ(AnsiToWide(""), u"");
  EXPECT_EQ(WideToAnsi(u""), "");
  // Embedded NULs and control characters travel like any other character.
  const std::string frame(
      "\x02"
      "A0\0\x03",
      5);
  EXPECT_EQ(WideToAnsi(AnsiToWide(frame)), frame);
  // Undecodable bytes become the default character; the text after them is intact.
  EXPECT_EQ(AnsiToWide("\x85\x40OK\x81"), u"\u30FBOK\u30FB");

  bool used = true;
  EXPECT_EQ(WideToAnsi(u"OK", &used), "OK");
  EXPECT_FALSE(used);
  EXPECT_EQ(WideToAnsi(u"\u00E9t\u00E9", &used), "?t?");
  EXPECT_TRUE(used);
  // Best fit applies as in WideCharToMultiByte without flags.
  EXPECT_EQ(WideToAnsi(u"\u301C", &used), "\x81\x60");
  EXPECT_FALSE(used);

  // A long mixed text: every byte that has a meaning comes back.
  std::string all;
  for (int round = 0; round < 100; ++round) {
    for (int b = 0x20; b < 0x80; ++b) all.push_back(static_cast<char>(b));
    for (int b = 0xA1; b <= 0xDF; ++b) all.push_back(static_cast<char>(b));
    all += "\x88\x9F\xEA\xA4\x87\x40\xFA\x40";
  }
  EXPECT_EQ(WideToAnsi(AnsiToWide(all)), all);
}

TEST(Utf8Convert, RoundTripsAndReplacesIllFormedParts) {
  const std::u16string text = u"Tavotest カード ① \U0001F600";
  EXPECT_EQ(Utf8ToUtf16(Utf16ToUtf8(text)), text);
  EXPECT_EQ(Utf16ToUtf8(u"é"), "\xC3\xA9");
  EXPECT_EQ(Utf8ToUtf16("a\xFF"
                        "b"),
            u"a\uFFFDb");
  const char16_t lone[] = {u'a', 0xDBFF, u'b', 0xDFFF};
  EXPECT_EQ(Utf16ToUtf8(std::u16string_view(lone, 4)),
            "a\xEF\xBF\xBD"
            "b\xEF\xBF\xBD");
  EXPECT_EQ(Utf8ToUtf16(std::string("\0x", 2)), std::u16string(u"\0x", 2));
}

}  // namespace
