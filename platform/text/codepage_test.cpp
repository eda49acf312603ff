#include "platform/text/codepage.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/text/active_code_page.h"

namespace {

using namespace win;
using namespace win::text_errors;

// Converts with a size query first, then into a buffer of exactly that size, as callers do.
std::u16string Decode(std::string_view bytes, UINT cp = 932, DWORD flags = 0) {
  int n = MultiByteToWideChar(cp, flags, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  if (n == 0) return u"<fail>";
  std::u16string out(n, u'\0');
  EXPECT_EQ(n, MultiByteToWideChar(cp, flags, bytes.data(), static_cast<int>(bytes.size()),
                                   out.data(), n));
  return out;
}

std::string Encode(std::u16string_view text, UINT cp = 932, DWORD flags = 0, BOOL* used = nullptr,
                   const char* defaultChar = nullptr) {
  int n = WideCharToMultiByte(cp, flags, text.data(), static_cast<int>(text.size()), nullptr, 0,
                              defaultChar, used);
  if (n == 0) return "<fail>";
  std::string out(n, '\0');
  EXPECT_EQ(n, WideCharToMultiByte(cp, flags, text.data(), static_cast<int>(text.size()),
                                   out.data(), n, defaultChar, used));
  return out;
}

class CodePageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetActiveCodePageForTesting(932);
    SetTextLastError(ERROR_SUCCESS);
  }
  void TearDown() override { SetActiveCodePageForTesting(0); }
};

TEST_F(CodePageTest, KnownShiftJisSequences) {
  struct Case {
    std::u16string text;
    std::string bytes;
  };
  const Case cases[] = {
      {u"カード", "\x83\x4A\x81\x5B\x83\x68"},
      {u"ｶｰﾄﾞ", "\xB6\xB0\xC4\xDE"},
      {u"\uFF5E", "\x81\x60"},                // FULLWIDTH TILDE
      {u"\uFF0D", "\x81\x7C"},                // FULLWIDTH HYPHEN-MINUS
      {u"\u2015", "\x81\x5C"},                // HORIZONTAL BAR
      {u"\u2225", "\x81\x61"},                // PARALLEL TO
      {u"\uFF3C", "\x81\x5F"},                // FULLWIDTH REVERSE SOLIDUS
      {u"①", "\x87\x40"},                     // NEC row 13
      {u"№", "\x87\x82"},                     // NEC row 13, also FA 59
      {u"髙", "\xFB\xFC"},                    // IBM extension, also EE E0
      {u"ⅰ", "\xFA\x40"},                     // IBM extension, also EE EF
      {u"Ⅰ", "\x87\x54"},                     // NEC row 13, also FA 4A
      {u"∵", "\x81\xE6"},                     // JIS, also 87 9A and FA 5B
      {u"\uFFE2", "\x81\xCA"},                // NOT SIGN: JIS, also EE F9 and FA 54
      {u"表ソ", "\x95\x5C\x83\x5C"},          // trail byte 5C is not a backslash
      {u"\\~", "\x5C\x7E"},                   // ASCII stays ASCII
      {u"\uE000\uE757", "\xF0\x40\xF9\xFC"},  // user-defined area
      {u"VS:1\x03", "VS:1\x03"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Encode(c.text));
    EXPECT_EQ(Encode(c.text), c.bytes);
    EXPECT_EQ(Decode(c.bytes), c.text);
  }
  // The other codes of duplicated characters decode to the same character.
  EXPECT_EQ(Decode("\xEE\xE0\xEE\xEF\xFA\x4A\x87\x9A\xFA\x5B\xFA\x59"), u"髙ⅰⅠ∵∵№");
}

TEST_F(CodePageTest, BestFitForJisFormsUnlessRefused) {
  const std::pair<std::u16string, std::string> cases[] = {
      {u"\u301C", "\x81\x60"}, {u"\u2016", "\x81\x61"}, {u"\u2212", "\x81\x7C"},
      {u"\u2014", "\x81\x5C"}, {u"\u00A2", "\x81\x91"}, {u"\u00A3", "\x81\x92"},
      {u"\u00AC", "\x81\xCA"}, {u"\u00A5", "\x5C"},     {u"\u203E", "\x7E"},
  };
  for (const auto& [text, bytes] : cases) {
    BOOL used = TRUE;
    EXPECT_EQ(Encode(text, 932, 0, &used), bytes);
    EXPECT_FALSE(used);
    EXPECT_EQ(Encode(text, 932, WC_NO_BEST_FIT_CHARS, &used), "?");
    EXPECT_TRUE(used);
  }
  // Best fit is one way: 81 60 reads back as the code page's own character.
  EXPECT_EQ(Decode(Encode(u"\u301C")), u"\uFF5E");
}

TEST_F(CodePageTest, BytesThatAreNoCharacters932) {
  // The platform maps these single bytes out of the way, and back.
  EXPECT_EQ(Decode("\x80\xA0\xFD\xFE\xFF"), u"\u0080\uF8F0\uF8F1\uF8F2\uF8F3");
  EXPECT_EQ(Encode(u"\u0080\uF8F0\uF8F1\uF8F2\uF8F3"), "\x80\xA0\xFD\xFE\xFF");
  EXPECT_EQ(Decode("\x80\xA0\xFD", 932, MB_ERR_INVALID_CHARS), u"\u0080\uF8F0\uF8F1");

  // Unassigned double-byte code (valid lead and trail): both bytes become the default character.
  EXPECT_EQ(Decode("\x85\x40Z"), u"\u30FBZ");
  // Lead byte at the end of the input.
  EXPECT_EQ(Decode("A\x81"), u"A\u30FB");
  // Lead byte before a byte that cannot be a trail byte: that byte is kept.
  EXPECT_EQ(Decode(std::string("\x81\x03\x82\x0D\x9F ", 6)), u"\u30FB\x03\u30FB\r\u30FB ");
  // ... also the terminating NUL of a NUL-terminated string.
  char16_t out[4] = {u'x', u'x', u'x', u'x'};
  EXPECT_EQ(MultiByteToWideChar(932, 0, "\x81", -1, out, 4), 2);
  EXPECT_EQ(out[0], u'\u30FB');
  EXPECT_EQ(out[1], u'\0');
  // KATAKANA MIDDLE DOT itself (81 45) is a real character, not a failure.
  EXPECT_EQ(Decode("\x81\x45", 932, MB_ERR_INVALID_CHARS), u"\u30FB");

  for (std::string bad : {"\x85\x40", "A\x81", "\x81\x03", "\xEA\xA5"}) {
    SetTextLastError(ERROR_SUCCESS);
    EXPECT_EQ(MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, bad.data(),
                                  static_cast<int>(bad.size()), nullptr, 0),
              0)
        << bad;
    EXPECT_EQ(GetTextLastError(), ERROR_NO_UNICODE_TRANSLATION);
  }
}

TEST_F(CodePageTest, EveryDoubleByteCodeRoundTrips) {
  int characters = 0;
  int userDefined = 0;
  for (int lead = 0; lead < 256; ++lead) {
    const bool isLead = (lead >= 0x81 && lead <= 0x9F) || (lead >= 0xE0 && lead <= 0xFC);
    ASSERT_EQ(IsDBCSLeadByteEx(932, static_cast<BYTE>(lead)) != FALSE, isLead) << lead;
    if (!isLead) {
      // Every single byte means something and comes back.
      std::string one(1, static_cast<char>(lead));
      std::u16string w = Decode(one, 932, MB_ERR_INVALID_CHARS);
      ASSERT_EQ(w.size(), 1u) << lead;
      ASSERT_EQ(Encode(w), one) << lead;
      continue;
    }
    for (int trail = 0x40; trail <= 0xFC; ++trail) {
      if (trail == 0x7F) continue;
      const std::string code{static_cast<char>(lead), static_cast<char>(trail)};
      char16_t w = 0;
      if (MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, code.data(), 2, &w, 1) != 1) continue;
      ++characters;
      if (lead >= 0xF0 && lead <= 0xF9) ++userDefined;
      const std::string back = Encode(std::u16string(1, w));
      ASSERT_EQ(back.size(), 2u) << std::hex << lead << trail;
      // The code may come back as another code of the same character, but it must mean the
      // same thing, and never be one of the NEC-selected rows the platform does not write.
      ASSERT_EQ(Decode(back), std::u16string(1, w)) << std::hex << lead << trail;
      ASSERT_NE(static_cast<unsigned char>(back[0]), 0xED);
      ASSERT_NE(static_cast<unsigned char>(back[0]), 0xEE);
      if (lead != 0xED && lead != 0xEE && lead != 0xFA && lead != 0xFB && lead != 0xFC &&
          lead != 0x87) {
        ASSERT_EQ(back, code) << std::hex << lead << trail;
      }
    }
  }
  // JIS X 0208 (6879) + NEC row 13 (83) + NEC-selected IBM (374) + IBM (388) + user area (1880).
  EXPECT_EQ(characters, 9604);
  EXPECT_EQ(userDefined, 1880);
}

// Our encoder against glibc's own CP932 encoder over the whole BMP: the only differences allowed
// are the bytes the platform maps that glibc refuses.
TEST_F(CodePageTest, EncoderAgreesWithGlibcCp932) {
  iconv_t cd = iconv_open("CP932", "UTF-16LE");
  ASSERT_NE(cd, reinterpret_cast<iconv_t>(-1));
  int compared = 0;
  for (unsigned c = 1; c < 0x10000; ++c) {
    if (c >= 0xD800 && c <= 0xDFFF) continue;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    unsigned char in[2] = {static_cast<unsigned char>(c), static_cast<unsigned char>(c >> 8)};
    char* inPtr = reinterpret_cast<char*>(in);
    size_t inLeft = 2;
    char out[8];
    char* outPtr = out;
    size_t outLeft = sizeof out;
    const bool glibcMaps = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) != static_cast<size_t>(-1);
    BOOL used = FALSE;
    const std::string ours = Encode(std::u16string(1, static_cast<char16_t>(c)), 932, 0, &used);
    if (!glibcMaps) {
      const bool platformOnly = c == 0x80 || (c >= 0xF8F0 && c <= 0xF8F3);
      EXPECT_EQ(used != FALSE, !platformOnly) << std::hex << c;
      continue;
    }
    ++compared;
    EXPECT_EQ(ours, std::string(out, outPtr)) << std::hex << c;
  }
  iconv_close(cd);
  EXPECT_GT(compared, 9000);
}

TEST_F(CodePageTest, Windows1252) {
  EXPECT_EQ(Decode("\x80", 1252), u"\u20AC");
  EXPECT_EQ(Encode(u"\u20AC", 1252), "\x80");
  EXPECT_EQ(Decode("caf\xE9 \x93q\x94", 1252), u"café “q”");
  // The unassigned bytes pass through as C1 controls; every byte survives the round trip.
  EXPECT_EQ(Decode("\x81\x8D\x8F\x90\x9D", 1252, MB_ERR_INVALID_CHARS),
            u"\u0081\u008D\u008F\u0090\u009D");
  std::string all;
  for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
  std::u16string wide = Decode(all, 1252, MB_ERR_INVALID_CHARS);
  ASSERT_EQ(wide.size(), 256u);
  EXPECT_EQ(Encode(wide, 1252), all);
  BOOL used = FALSE;
  EXPECT_EQ(Encode(u"カ€", 1252, 0, &used), "?\x80");
  EXPECT_TRUE(used);
  for (int b = 0; b < 256; ++b) EXPECT_FALSE(IsDBCSLeadByteEx(1252, static_cast<BYTE>(b)));
}

TEST_F(CodePageTest, Utf8) {
  EXPECT_EQ(Decode("\xE3\x82\xAB\xE3\x83\xBC\xE3\x83\x89", CP_UTF8), u"カード");
  EXPECT_EQ(Encode(u"カード", CP_UTF8), "\xE3\x82\xAB\xE3\x83\xBC\xE3\x83\x89");
  EXPECT_EQ(Decode("\xF0\x9F\x98\x80", CP_UTF8), u"\U0001F600");
  EXPECT_EQ(Encode(u"\U0001F600", CP_UTF8), "\xF0\x9F\x98\x80");
  // Each maximal ill-formed part is one U+FFFD; the byte that broke a sequence is read again.
  EXPECT_EQ(Decode("\xE3\x82"
                   "A",
                   CP_UTF8),
            u"\uFFFDA");
  EXPECT_EQ(Decode("\xC0\xAF", CP_UTF8), u"\uFFFD\uFFFD");            // overlong
  EXPECT_EQ(Decode("\xED\xA0\x80", CP_UTF8), u"\uFFFD\uFFFD\uFFFD");  // encoded surrogate
  EXPECT_EQ(Decode("\xF4\x90\x80\x80", CP_UTF8), u"\uFFFD\uFFFD\uFFFD\uFFFD");
  EXPECT_EQ(Decode("x\xC3", CP_UTF8), u"x\uFFFD");
  EXPECT_EQ(Decode("\xC3", CP_UTF8, MB_ERR_INVALID_CHARS), u"<fail>");
  EXPECT_EQ(GetTextLastError(), ERROR_NO_UNICODE_TRANSLATION);
  // Lone surrogates.
  const char16_t lone[] = {u'a', 0xD800, u'b', 0xDC00};
  EXPECT_EQ(Encode(std::u16string_view(lone, 4), CP_UTF8),
            "a\xEF\xBF\xBD"
            "b\xEF\xBF\xBD");
  EXPECT_EQ(Encode(std::u16string_view(lone, 4), CP_UTF8, WC_ERR_INVALID_CHARS), "<fail>");
  EXPECT_EQ(GetTextLastError(), ERROR_NO_UNICODE_TRANSLATION);
  // The platform refuses a default character and the best-fit flags for UTF-8.
  BOOL used;
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"a", 1, nullptr, 0, nullptr, &used), 0);
  EXPECT_EQ(GetTextLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(
      WideCharToMultiByte(CP_UTF8, WC_NO_BEST_FIT_CHARS, u"a", 1, nullptr, 0, nullptr, nullptr), 0);
  EXPECT_EQ(GetTextLastError(), ERROR_INVALID_FLAGS);
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, MB_PRECOMPOSED, "a", 1, nullptr, 0), 0);
  EXPECT_EQ(GetTextLastError(), ERROR_INVALID_FLAGS);
}

TEST_F(CodePageTest, LengthsSizeQueriesAndShortBuffers) {
  // -1: up to and including the NUL, which is converted too.
  EXPECT_EQ(MultiByteToWideChar(932, 0, "\x83\x4A\x81\x5B", -1, nullptr, 0), 3);
  EXPECT_EQ(WideCharToMultiByte(932, 0, u"カー", -1, nullptr, 0, nullptr, nullptr), 5);
  char bytes[8];
  std::memset(bytes, 'x', sizeof bytes);
  EXPECT_EQ(WideCharToMultiByte(932, 0, u"カー", -1, bytes, 8, nullptr, nullptr), 5);
  EXPECT_EQ(std::string(bytes, 6), std::string("\x83\x4A\x81\x5B\0x", 6));
  // An explicit length converts embedded NULs like any other character.
  EXPECT_EQ(Decode(std::string("a\0b", 3)), std::u16string(u"a\0b", 3));

  // Short buffer: fails, keeps what fits, never half a double-byte character.
  std::memset(bytes, 'x', sizeof bytes);
  EXPECT_EQ(WideCharToMultiByte(932, 0, u"aカー", 3, bytes, 4, nullptr, nullptr), 0);
  EXPECT_EQ(GetTextLastError(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(std::string(bytes, 4), "a\x83\x4Ax");
  char16_t wide[2] = {u'x', u'x'};
  EXPECT_EQ(MultiByteToWideChar(932, 0, "abc", 3, wide, 2), 0);
  EXPECT_EQ(GetTextLastError(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(std::u16string(wide, 2), u"ab");
  char16_t pair[2] = {u'x', u'x'};
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "a\xF0\x9F\x98\x80", 5, pair, 2), 0);
  EXPECT_EQ(pair[1], u'x');  // half a surrogate pair is not written

  // A buffer of exactly the needed size is enough.
  char exact[2];
  EXPECT_EQ(WideCharToMultiByte(932, 0, u"カ", 1, exact, 2, nullptr, nullptr), 2);
}

TEST_F(CodePageTest, BadArgumentsAreRefused) {
  char16_t w[4];
  char b[4];
  auto expectFail = [](int result, DWORD error) {
    EXPECT_EQ(result, 0);
    EXPECT_EQ(GetTextLastError(), error);
    SetTextLastError(ERROR_SUCCESS);
  };
  expectFail(MultiByteToWideChar(932, 0, nullptr, 3, w, 4), ERROR_INVALID_PARAMETER);
  expectFail(MultiByteToWideChar(932, 0, "a", 0, w, 4), ERROR_INVALID_PARAMETER);
  expectFail(MultiByteToWideChar(932, 0, "a", -2, w, 4), ERROR_INVALID_PARAMETER);
  expectFail(MultiByteToWideChar(932, 0, "a", 1, w, -1), ERROR_INVALID_PARAMETER);
  expectFail(MultiByteToWideChar(932, 0, "a", 1, nullptr, 4), ERROR_INVALID_PARAMETER);
  expectFail(MultiByteToWideChar(437, 0, "a", 1, w, 4), ERROR_INVALID_PARAMETER);
  expectFail(MultiByteToWideChar(932, 0x100, "a", 1, w, 4), ERROR_INVALID_FLAGS);
  expectFail(MultiByteToWideChar(932, MB_PRECOMPOSED | MB_COMPOSITE, "a", 1, w, 4),
             ERROR_INVALID_FLAGS);
  expectFail(WideCharToMultiByte(932, 0, nullptr, 1, b, 4, nullptr, nullptr),
             ERROR_INVALID_PARAMETER);
  expectFail(WideCharToMultiByte(932, 0, u"a", 0, b, 4, nullptr, nullptr), ERROR_INVALID_PARAMETER);
  expectFail(WideCharToMultiByte(932, 0, u"a", 1, nullptr, 4, nullptr, nullptr),
             ERROR_INVALID_PARAMETER);
  expectFail(WideCharToMultiByte(1250, 0, u"a", 1, b, 4, nullptr, nullptr),
             ERROR_INVALID_PARAMETER);
  expectFail(WideCharToMultiByte(932, WC_ERR_INVALID_CHARS, u"a", 1, b, 4, nullptr, nullptr),
             ERROR_INVALID_FLAGS);
  // Accepted flags without effect on these code pages.
  EXPECT_EQ(Decode("a", 932, MB_PRECOMPOSED | MB_USEGLYPHCHARS), u"a");
  EXPECT_EQ(Encode(u"a", 932, WC_COMPOSITECHECK | WC_DEFAULTCHAR), "a");
}

TEST_F(CodePageTest, DefaultCharacterAndSurrogates) {
  BOOL used = FALSE;
  EXPECT_EQ(Encode(u"a\u0101b", 932, 0, &used, "*"), "a*b");
  EXPECT_TRUE(used);
  // A double-byte default character is written whole.
  EXPECT_EQ(Encode(u"\u0101", 932, 0, &used, "\x81\x45"), "\x81\x45");
  // Half a double-byte character would swallow the next byte: the plain default is used.
  EXPECT_EQ(Encode(u"\u0101B", 932, 0, &used, "\x81"), "?B");
  // One character outside the BMP is one default character; lone surrogates one each.
  EXPECT_EQ(Encode(u"x\U0001F600y", 932, 0, &used), "x?y");
  const char16_t lone[] = {0xDC00, 0xD800};
  EXPECT_EQ(Encode(std::u16string_view(lone, 2), 932, 0, &used), "??");
  EXPECT_EQ(Encode(u"カ", 932, 0, &used), "\x83\x4A");
  EXPECT_FALSE(used);
}

TEST_F(CodePageTest, ActiveCodePageFollowsTheOverride) {
  EXPECT_EQ(GetACP(), 932u);
  EXPECT_TRUE(IsDBCSLeadByte(0x81));
  EXPECT_EQ(Decode("\x83\x4A", CP_ACP), u"カ");

  SetActiveCodePageForTesting(1252);
  EXPECT_EQ(GetACP(), 1252u);
  EXPECT_FALSE(IsDBCSLeadByte(0x81));
  EXPECT_EQ(Decode("\x83\x4A", CP_ACP), u"ƒJ");

  SetActiveCodePageForTesting(437);  // unsupported: ignored
  EXPECT_EQ(GetACP(), 1252u);

  SetActiveCodePageForTesting(CP_UTF8);
  EXPECT_FALSE(IsDBCSLeadByte(0xE3));
  EXPECT_EQ(Encode(u"カ", CP_ACP), "\xE3\x82\xAB");
  // Arguments meant for the ANSI code pages work through CP_ACP whatever it is.
  BOOL used = TRUE;
  EXPECT_EQ(Encode(u"カ", CP_ACP, WC_NO_BEST_FIT_CHARS, &used, "?"), "\xE3\x82\xAB");
  EXPECT_FALSE(used);
  const char16_t lone[] = {0xD800};
  EXPECT_EQ(Encode(std::u16string_view(lone, 1), CP_ACP, 0, &used), "\xEF\xBF\xBD");
  EXPECT_TRUE(used);
  EXPECT_EQ(Decode("\xE3\x82\xAB", CP_ACP, MB_PRECOMPOSED), u"カ");

  SetActiveCodePageForTesting(0);
  bool valid = true;
  EXPECT_EQ(GetACP(), text_detail::CodePageFromSetting(std::getenv("RAVLIN_ACP"), &valid));
}

TEST(ActiveCodePageSetting, ParsesTheEnvironmentValue) {
  bool valid = false;
  EXPECT_EQ(text_detail::CodePageFromSetting(nullptr, &valid), 932u);
  EXPECT_TRUE(valid);
  EXPECT_EQ(text_detail::CodePageFromSetting("", &valid), 932u);
  EXPECT_TRUE(valid);
  EXPECT_EQ(text_detail::CodePageFromSetting(" 1252 ", &valid), 1252u);
  EXPECT_TRUE(valid);
  EXPECT_EQ(text_detail::CodePageFromSetting("65001", &valid), 65001u);
  EXPECT_TRUE(valid);
  for (const char* bad : {"437", "cp932", "932x", "-932", "99999999999999999999", "0"}) {
    EXPECT_EQ(text_detail::CodePageFromSetting(bad, &valid), 932u) << bad;
    EXPECT_FALSE(valid) << bad;
  }
}

TEST_F(CodePageTest, ConcurrentConversionsAgree) {
  const std::u16string text = u"カード①髙ｶｰﾄﾞ ABC 123 ～－";
  const std::string bytes = Encode(text);
  std::vector<std::thread> threads;
  std::vector<int> mismatches(4, 0);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 2000; ++i) {
        if (Encode(text, t % 2 ? CP_ACP : 932) != bytes) ++mismatches[t];
        if (Decode(bytes, t % 2 ? CP_ACP : 932) != text) ++mismatches[t];
        if (Decode("\x85\x40", 932, MB_ERR_INVALID_CHARS) != u"<fail>") ++mismatches[t];
        if (GetTextLastError() != ERROR_NO_UNICODE_TRANSLATION) ++mismatches[t];
      }
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(mismatches, std::vector<int>(4, 0));
}

}  // namespace
