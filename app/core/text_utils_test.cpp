#include "app/core/text_utils.h"

#include <gtest/gtest.h>

#include <cmath>

#include "app/core/qstring_printer.h"

#include <vector>

namespace tavo {
namespace {

TEST(TextUtils, HexPairValueTakesUpperCaseDigitsOnly) {
  EXPECT_EQ(hexPairValue("1A"), 26);
  EXPECT_EQ(hexPairValue("90"), 144);
  EXPECT_EQ(hexPairValue("FF"), 255);
  EXPECT_EQ(hexPairValue("ff"), 47 * 16 + 47);  // lower case is not hexadecimal here
  EXPECT_EQ(hexPairValue("7"), 7 * 16 + 7);     // first and last are the same character
  EXPECT_EQ(hexPairValue(""), 0);
}

TEST(TextUtils, HexValueReadsTheLeadingHexadecimalPart) {
  EXPECT_EQ(hexValue("90"), 0x90);
  EXPECT_EQ(hexValue("a0"), 0xA0);
  EXPECT_EQ(hexValue("9Z"), 9);
  EXPECT_EQ(hexValue("Z9"), 0);
  EXPECT_EQ(hexValue(""), 0);
}

TEST(TextUtils, EscapeNamesBothWays) {
  const QString expanded = expandEscapes("esc$Abin$41lf$");
  EXPECT_EQ(expanded, QString("\x1B"
                              "AA\n"));
  EXPECT_EQ(showEscapes(expanded), "esc$AAlf$");
  EXPECT_EQ(expandEscapes("si$so$"), QString("\x0F\x0E"));
  EXPECT_EQ(expandEscapes("ESC$esc"), "ESC$esc");    // case-sensitive, incomplete name copied
  EXPECT_EQ(expandEscapes("bin$4"), "bin$4");        // needs two digits
  EXPECT_EQ(expandEscapes("bin$4g"), "bin$4g");      // and hexadecimal ones
  EXPECT_EQ(expandEscapes("bin$esc$"), "bin$\x1B");  // "bin$" without digits is text
}

TEST(TextUtils, BinaryEscapePutsExactlyThatByteOnTheWire) {
  // 81h alone is a lead byte of code page 932: no character of its own, yet the byte is kept.
  EXPECT_EQ(toAnsi(expandEscapes("Abin$81Z")), QByteArray("A\x81Z"));
  // B1h alone is a half-width katakana.
  const QString katakana = expandEscapes("bin$B1");
  EXPECT_EQ(katakana, QString::fromUtf16(u"ｱ"));
  EXPECT_EQ(toAnsi(katakana), QByteArray("\xB1"));
  for (int b = 0; b < 256; ++b) {
    const QString text =
        expandEscapes(QString("bin$") + QString::number(b, 16).toUpper().rightJustified(2, '0'));
    ASSERT_EQ(toAnsi(text), QByteArray(1, static_cast<char>(b))) << b;
  }
}

TEST(TextUtils, AnsiConversionOfJapaneseText) {
  const QString text = QString::fromUtf16(u"磁気カード");
  const QByteArray bytes = toAnsi(text);
  EXPECT_EQ(bytes, QByteArray("\x8E\xA5\x8B\x43\x83\x4A\x81\x5B\x83\x68"));
  EXPECT_EQ(fromAnsi(bytes), text);
}

TEST(TextUtils, LogKeepsTheNewest13000CharactersBeforeTheNewLine) {
  QString log;
  log = logPrepend(log, "first");
  EXPECT_EQ(log, "first\r\n");
  log = logPrepend(log, "second");
  EXPECT_EQ(log, "second\r\nfirst\r\n");
  const QString big = QString(13000, 'n') + QString(50, 'o');
  const QString cut = logPrepend(big, "new");
  EXPECT_EQ(cut.size(), 3 + 2 + 13000);
  EXPECT_TRUE(cut.startsWith("new\r\nnnn"));
  EXPECT_FALSE(cut.contains('o'));
  EXPECT_EQ(logPrepend(QString(13000, 'n'), "x").size(), 13003);  // exactly 13000 is kept whole
}

TEST(TextUtils, LenientNumbers) {
  EXPECT_EQ(valNumber("19200abc"), 19200);
  EXPECT_EQ(valNumber("  1.5"), 1.5);
  EXPECT_EQ(valNumber("-3x"), -3);
  EXPECT_EQ(valNumber("1e3"), 1000);
  EXPECT_EQ(valNumber("2e"), 2);
  EXPECT_EQ(valNumber(".5"), 0.5);
  EXPECT_EQ(valNumber(""), 0);
  EXPECT_EQ(valNumber("abc"), 0);
  EXPECT_EQ(valNumber("-"), 0);
  EXPECT_EQ(valNumber("1e999"), 0);  // not a finite number
  EXPECT_EQ(roundToInt32(2.5), 2);   // half to even
  EXPECT_EQ(roundToInt32(3.5), 4);
  EXPECT_EQ(roundToInt32(3e10), 0);  // out of range
  EXPECT_EQ(roundToInt16(40000), 0);
  EXPECT_EQ(roundToInt16(-2.5), -2);
}

TEST(TextUtils, PlainAndWindowNumbers) {
  EXPECT_EQ(plainNumber(9600), "9600");
  EXPECT_EQ(plainNumber(1.5f), "1.5");
  EXPECT_EQ(plainNumber(-3), "-3");
  EXPECT_EQ(plainNumber(0), "0");
  EXPECT_EQ(vbNumber(12), " 12");
  EXPECT_EQ(vbNumber(0), " 0");
  EXPECT_EQ(vbNumber(-3), "-3");
}

TEST(TextUtils, LineSummary) {
  EXPECT_EQ(lineSummary(9600, 2, 8, 1.0f).value(), "9600,E,8,1");
  EXPECT_EQ(lineSummary(115200, 0, 7, 1.5f).value(), "115200,N,7,1.5");
  EXPECT_EQ(lineSummary(2400, 1, 8, 2.0f).value(), "2400,O,8,2");
  EXPECT_FALSE(lineSummary(9600, 3, 8, 1.0f).has_value());
  EXPECT_FALSE(lineSummary(9600, -1, 8, 1.0f).has_value());
}

// A clock that moves on by a step at every yield, wrapping at midnight as the real one does.
struct SteppingClock {
  float now;
  float step;
  int yields = 0;
  float read() const { return now; }
  void yield() {
    ++yields;
    now += step;
    if (now >= 86400.0f) now -= 86400.0f;
  }
};

TEST(TextUtils, WaitEndsAfterItsTimeAcrossMidnight) {
  SteppingClock c{86399.5f, 0.125f};
  float waited = 0;
  waitSecondsWith(
      1.0f, [&] { return c.read(); }, [&](float) { c.yield(), waited += c.step; });
  EXPECT_GE(waited, 1.0f);
  EXPECT_LT(waited, 1.3f);  // about a second, not a day
}

TEST(TextUtils, WaitLongerThanADayLastsItsTime) {
  SteppingClock c{100.0f, 50.0f};
  float waited = 0;
  waitSecondsWith(
      100000.0f, [&] { return c.read(); }, [&](float) { c.yield(), waited += c.step; });
  EXPECT_GE(waited, 100000.0f);
  EXPECT_LE(waited, 100050.0f);
}

TEST(TextUtils, WaitIsNotCutShortByTheClockSteppingBack) {
  // A clock set back by two seconds (a time correction) is not midnight: the wait goes on.
  float now = 5000.0f;
  int yields = 0;
  waitSecondsWith(
      3.0f, [&] { return now; },
      [&](float) {
        ++yields;
        now += yields == 2 ? -2.0f : 0.5f;
      });
  EXPECT_FLOAT_EQ(now, 5003.0f);
  // A wait of a non-number lets events run once and ends.
  int once = 0;
  waitSecondsWith(
      std::nanf(""), [&] { return 10.0f; }, [&](float) { ++once; });
  EXPECT_EQ(once, 1);
}

TEST(TextUtils, WaitAsksForNoMoreThanWhatRemains) {
  SteppingClock c{100.0f, 0.25f};
  std::vector<float> asked;
  waitSecondsWith(
      0.5f, [&] { return c.read(); }, [&](float r) { asked.push_back(r), c.yield(); });
  ASSERT_EQ(asked.size(), 2u);
  EXPECT_FLOAT_EQ(asked[0], 0.5f);
  EXPECT_FLOAT_EQ(asked[1], 0.25f);
  // A zero wait still lets events run once; a long one is asked in pieces of a second at most.
  SteppingClock z{10.0f, 0.001f};
  waitSecondsWith(
      0, [&] { return z.read(); }, [&](float) { z.yield(); });
  EXPECT_EQ(z.yields, 1);
  SteppingClock l{10.0f, 1.0f};
  float largest = 0;
  waitSecondsWith(
      5, [&] { return l.read(); }, [&](float r) { largest = std::max(largest, r), l.yield(); });
  EXPECT_LE(largest, 1.0f);
}

TEST(TextUtils, WaitStopsWhenAbandoned) {
  SteppingClock c{100.0f, 0.01f};
  waitSecondsWith(
      100.0f, [&] { return c.read(); }, [&](float) { c.yield(); }, [&] { return c.yields >= 3; });
  EXPECT_EQ(c.yields, 3);
}

}  // namespace
}  // namespace tavo
