#include "app/core/pattern_pool.h"

#include <gtest/gtest.h>

#include "app/core/qstring_printer.h"

namespace tavo {
namespace {

using Slots = std::array<QString, 12>;

const Slots kLabels = {"a", "b", "c", "d", "e", "f", "g", "h", "i", "j", "k", "l"};

// The labels of slots 1-12 as one text, to compare orders at a glance.
QString order(const PatternPool& pool) {
  QString text;
  for (const QString& s : pool.slotTexts()) text += s;
  return text;
}

// The twelve test patterns the pool starts the JIS cycle with.
const Slots kTestPatterns = {
    "ABCDEABCDE222225788987CDEABCDE222225789",      "33333ABC;:<>?@DEABCDEFACDB0BC;:<>?@DEAB1",
    "abcdiergohijklmnopqrstuvwxwy[]\\ijklmnopqrs",  "!$%'&()*+<=<>!$#&P%'>/()*$%'&()!$#&P%'>/(",
    "12345678901234543298789012345432987890123",    "6789012345678907438789012345678907431",
    "goperyqhjfasdjfapoqeurfdafsdjfapoqeurfdada",   "FECDBADF09sdjfapDBADF09sdjoqeuDBADF09sdj5",
    "fefrioBADJFWIERUequr()%#&/*+@RUequr()%#&/*+@", "87521046DADEDBBFBA74521046DADEDBBFBA7",
    "0DEADFDD628apejufoup89DFA4BCC80DEADFDD62",     "FJAKfja2eurqai*+<>?.,#!$%&ja2e*+<>?.,#!$%&",
};

TEST(PatternPool, FillPutsPatternsInSlotOrder) {
  PatternPool pool;
  pool.fill(kLabels);
  EXPECT_EQ(order(pool), "abcdefghijkl");
  pool.nextJis(69);
  pool.fill(kLabels);  // a new fill starts from the given order again
  EXPECT_EQ(order(pool), "abcdefghijkl");
}

TEST(PatternPool, IsoTracksAndShuffle) {
  PatternPool pool;
  pool.fill(kLabels);
  // The tracks are taken before the shuffle.
  TrackData t = pool.nextIso();
  EXPECT_EQ(t.track1, "abcd");
  EXPECT_EQ(t.track2, "efgh");
  EXPECT_EQ(t.track3, "ijklefgh");
  EXPECT_EQ(order(pool), "bcdajklifghe");

  t = pool.nextIso();
  EXPECT_EQ(t.track1, "bcda");
  EXPECT_EQ(t.track2, "jkli");
  EXPECT_EQ(t.track3, "fghejkli");
  EXPECT_EQ(order(pool), "cdabghefklij");

  pool.nextIso();
  EXPECT_EQ(order(pool), "dabclijkhefg");
  pool.nextIso();
  EXPECT_EQ(order(pool), "abcdefghijkl");  // four passes bring the order back
}

TEST(PatternPool, JisTracksAndShuffle) {
  PatternPool pool;
  pool.fill(kLabels);
  TrackData t = pool.nextJis(69);
  EXPECT_EQ(t.track1, "abcd");
  EXPECT_EQ(t.track2, "efgh");
  EXPECT_EQ(t.track3, "ijkl");
  EXPECT_EQ(order(pool), "fkdejchibgla");

  t = pool.nextJis(69);
  EXPECT_EQ(t.track1, "fkde");
  EXPECT_EQ(t.track2, "jchi");
  EXPECT_EQ(t.track3, "bgla");
  EXPECT_EQ(order(pool), "clejgdibkhaf");

  // The shuffle is one cycle through all twelve slots: halfway round, and back after twelve.
  for (int pass = 3; pass <= 6; ++pass) pool.nextJis(69);
  EXPECT_EQ(order(pool), "gdibkhafclej");
  for (int pass = 7; pass <= 11; ++pass) pool.nextJis(69);
  EXPECT_NE(order(pool), "abcdefghijkl");
  pool.nextJis(69);
  EXPECT_EQ(order(pool), "abcdefghijkl");
}

TEST(PatternPool, JisLengthCutsEachTrack) {
  PatternPool pool;
  pool.fill(kTestPatterns);
  TrackData t = pool.nextJis(69);
  // Slot 1 has 39 characters, so 30 of slot 2 follow; slot 5 has 41 (28 of slot 6 follow);
  // slot 9 has 44 (25 of slot 10 follow).
  EXPECT_EQ(t.track1,
            "ABCDEABCDE222225788987CDEABCDE222225789"
            "33333ABC;:<>?@DEABCDEFACDB0BC;");
  EXPECT_EQ(t.track2,
            "12345678901234543298789012345432987890123"
            "6789012345678907438789012345");
  EXPECT_EQ(t.track3,
            "fefrioBADJFWIERUequr()%#&/*+@RUequr()%#&/*+@"
            "87521046DADEDBBFBA7452104");
  EXPECT_EQ(t.track1.size(), 69);
  EXPECT_EQ(t.track2.size(), 69);
  EXPECT_EQ(t.track3.size(), 69);

  // Longer than the join: each track whole. The pool now holds test patterns 6, 11, 4, 5 |
  // 10, 3, 8, 9 | 2, 7, 12, 1: joins of 37 + 40 + 41 + 41 = 159, 37 + 42 + 41 + 44 = 164 and
  // 40 + 42 + 42 + 39 = 163 characters.
  t = pool.nextJis(500);
  EXPECT_EQ(t.track1, kTestPatterns[5] + kTestPatterns[10] + kTestPatterns[3] + kTestPatterns[4]);
  EXPECT_EQ(t.track2, kTestPatterns[9] + kTestPatterns[2] + kTestPatterns[7] + kTestPatterns[8]);
  EXPECT_EQ(t.track3, kTestPatterns[1] + kTestPatterns[6] + kTestPatterns[11] + kTestPatterns[0]);
  EXPECT_EQ(t.track1.size(), 159);
  EXPECT_EQ(t.track2.size(), 164);
  EXPECT_EQ(t.track3.size(), 163);

  // Zero or below: empty tracks, and the pool still moves on.
  const QString before = order(pool);
  t = pool.nextJis(0);
  EXPECT_TRUE(t.track1.isEmpty());
  EXPECT_TRUE(t.track2.isEmpty());
  EXPECT_TRUE(t.track3.isEmpty());
  EXPECT_NE(order(pool), before);
  t = pool.nextJis(-5);
  EXPECT_TRUE(t.track1.isEmpty());
  EXPECT_TRUE(t.track3.isEmpty());

  // A length of 1 takes the first character of each track's first slot.
  pool.fill(kTestPatterns);
  t = pool.nextJis(1);
  EXPECT_EQ(t.track1, "A");
  EXPECT_EQ(t.track2, "1");
  EXPECT_EQ(t.track3, "f");
}

TEST(PatternPool, IsoTrackLengthsWithTheIsoSet) {
  // Pattern lengths 31, 22, 28, 30 | 27, 28, 25, 30 | 27, 28, 29, 25: every join is longer than
  // its track, so the tracks are 76, 37 and 104 characters in every pass.
  PatternPool pool;
  pool.fill(isoPatterns());
  TrackData t = pool.nextIso();
  EXPECT_EQ(t.track1,
            "0123456789:;<=>@ABCDEFGHIJKLMNO"
            "33333ABCDEABCDEFACDB01"
            "666:;@@@OLM667777712345");
  EXPECT_EQ(t.track2,
            "0129873537<>====3456789:<=>"
            "98765432><");
  EXPECT_EQ(t.track3,
            "<=::<>890157643<>:18946==34"
            "87521046<>==:7381:73183==349"
            "<><098<=31==344<>637<3>4<>:::"
            "77087>21394956278344");
  for (int pass = 2; pass <= 8; ++pass) {
    t = pool.nextIso();
    EXPECT_EQ(t.track1.size(), 76) << pass;
    EXPECT_EQ(t.track2.size(), 37) << pass;
    EXPECT_EQ(t.track3.size(), 104) << pass;
  }
  // The second pass reads slots 2, 3, 4, 1 for track 1 and 10, 11, 12, 9 for track 2.
  pool.fill(isoPatterns());
  pool.nextIso();
  t = pool.nextIso();
  EXPECT_EQ(t.track1,
            "33333ABCDEABCDEFACDB01"
            "666:;@@@OLM66777771234567890"
            "1234==<>:;@5678KLM90ABCDEF");
  EXPECT_EQ(t.track2, "87521046<>==:7381:73183==349<><098<=3");
}

TEST(PatternPool, IsoTrackLengthsWithTheNumericSet) {
  // Pattern lengths 54, 51, 43, 52 | 55, 45, 45, 50 | 43, 53, 45, 49.
  PatternPool pool;
  pool.fill(numericPatterns());
  const TrackData t = pool.nextIso();
  EXPECT_EQ(t.track1,
            "012345678974381560138478209321394956278344714894138949"
            "3333337410658341036356");
  EXPECT_EQ(t.track2, "0129873537659467675675187820932139495");
  EXPECT_EQ(t.track3,
            "9015764389463490157298746986438946349015764"
            "87521046521046381521046731878209321394956278344352349"
            "07817843");
  EXPECT_EQ(t.track1.size(), 76);
  EXPECT_EQ(t.track3.size(), 104);
}

TEST(PatternPool, SetsHoldTheirPatterns) {
  const std::array<int, 12> isoLengths = {31, 22, 28, 30, 27, 28, 25, 30, 27, 28, 29, 25};
  const std::array<int, 12> numericLengths = {54, 51, 43, 52, 55, 45, 45, 50, 43, 53, 45, 49};
  for (int i = 0; i < 12; ++i) {
    EXPECT_EQ(isoPatterns()[i].size(), isoLengths[i]) << i;
    EXPECT_EQ(numericPatterns()[i].size(), numericLengths[i]) << i;
    for (QChar c : numericPatterns()[i]) EXPECT_TRUE(c.isDigit()) << i;
  }
  EXPECT_EQ(isoPatterns()[0], "0123456789:;<=>@ABCDEFGHIJKLMNO");
  EXPECT_EQ(isoPatterns()[11], "77087>2139495627834443333");
  EXPECT_EQ(numericPatterns()[0], "012345678974381560138478209321394956278344714894138949");
  EXPECT_EQ(numericPatterns()[11], "7708782093213949562783444333782093213949562783443");
}

TEST(PatternPool, JisTrackLengthFromItsBox) {
  struct Case {
    const char* text;
    int length;
    bool refill;
  };
  const Case cases[] = {
      {"", 69, true},      {"abc", 69, true},   {"-5", 69, true},  {"0", 69, true},
      {" 40 ", 40, false}, {"12abc", 69, true}, {"69", 69, false}, {"1", 1, false},
      {"500", 500, false}, {"   ", 69, true},   {"4.5", 69, true},
  };
  for (const Case& c : cases) {
    bool refill = !c.refill;  // starts at the wrong answer, so that an untouched flag shows
    EXPECT_EQ(jisTrackLength(c.text, &refill), c.length) << c.text;
    EXPECT_EQ(refill, c.refill) << c.text;
  }
  EXPECT_EQ(jisTrackLength("abc", nullptr), 69);
}

}  // namespace
}  // namespace tavo
