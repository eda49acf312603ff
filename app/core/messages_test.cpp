#include "app/core/messages.h"

#include <gtest/gtest.h>

#include "app/core/qstring_printer.h"

#include "app/core/module1.h"

namespace tavo {
namespace {

TEST(Messages, StatusIsReadAsHexadecimal) {
  MessageTables t;
  fillMessageTables(t, false);
  EXPECT_EQ(statusMessage(t, "90", false), "OK                            ");
  EXPECT_EQ(t.errorMessages[144], "OK                            ");
  EXPECT_TRUE(t.errorMessages[90].isEmpty());  // not entry 90
  EXPECT_EQ(statusMessage(t, "3A", false),
            QString::fromUtf16(u"Hard  error  7（CIO  mode  error）"));
  EXPECT_EQ(statusMessage(t, "12", false), "Previous  commnad  is  doing        ");
  EXPECT_EQ(statusMessage(t, "A1", false), "Unknown status A1");
  EXPECT_EQ(statusMessage(t, "A0", false), "");  // inside the table, no text
  EXPECT_EQ(statusMessage(t, "FF", true), QString::fromUtf16(u"不明なステータス FF"));
  // A pair that is not hexadecimal reads as its leading hexadecimal part.
  EXPECT_EQ(statusMessage(t, "3G", false), t.errorMessages[3]);
  EXPECT_EQ(statusMessage(t, "G3", false), t.errorMessages[0]);
}

TEST(Messages, OkFamily) {
  for (const char* ok : {"90", "92", "93", "94", "96"}) EXPECT_TRUE(isOkStatus(ok)) << ok;
  for (const char* bad : {"91", "95", "12", "10", "00", "9", "900", ""})
    EXPECT_FALSE(isOkStatus(bad)) << bad;
}

TEST(Messages, JapaneseTextsKeepTheirSpacing) {
  MessageTables t;
  fillMessageTables(t, true);
  EXPECT_EQ(t.errorMessages[0x02], QString::fromUtf16(u"ＲＳ－２３２Ｃパリティーエラー  "));
  EXPECT_EQ(t.errorMessages[0x90], QString::fromUtf16(u"OK                        "));
  EXPECT_EQ(t.stateMessages[2], QString::fromUtf16(u"パワーアップ  "));
  EXPECT_EQ(t.cardMessages[17], QString::fromUtf16(u"カード有り 後＋保留部"));
  int filled = 0;
  for (const QString& s : t.errorMessages) filled += s.isEmpty() ? 0 : 1;
  EXPECT_EQ(filled, 51);
}

TEST(Messages, SwitchingToEnglishKeepsJapaneseOnlyEntries) {
  MessageTables t;
  fillMessageTables(t, true);
  fillMessageTables(t, false);
  EXPECT_EQ(t.cardMessages[1], "Card  existing      Front");
  EXPECT_EQ(t.cardMessages[8], QString::fromUtf16(u"カ－ド有り 保留部"));
  EXPECT_EQ(t.stateMessages[6], "Hard  error      ");
}

TEST(Messages, TphBands) {
  MessageTables t;
  fillMessageTables(t, true);
  EXPECT_EQ(t.tphRanks[0], "1008-1072");
  EXPECT_EQ(t.tphRanks[8], "1528-1592");
  EXPECT_TRUE(t.tphRanks[9].isEmpty());
}

TEST(Module1, StartValues) {
  Module1 m;
  m.commBusy = -1;
  m.parity = 0;
  m.replyText = "x";
  resetLinkState(m);
  EXPECT_EQ(m.commBusy, 0);
  EXPECT_EQ(m.parity, 2);
  EXPECT_EQ(m.handshaking, 2);
  EXPECT_TRUE(m.replyText.isEmpty());
  initMessages(m);
  EXPECT_EQ(m.password, "48213");
  EXPECT_EQ(m.normalInterval, 2);
  EXPECT_EQ(m.busyInterval, 10);
  EXPECT_EQ(m.nakInterval, 50);
  EXPECT_EQ(m.ETX, QString(QChar(3)));
  EXPECT_EQ(m.testPatterns[2], "abcdiergohijklmnopqrstuvwxwy[]\\ijklmnopqrs");
  EXPECT_EQ(m.testPatterns[11], "FJAKfja2eurqai*+<>?.,#!$%&ja2e*+<>?.,#!$%&");
}

}  // namespace
}  // namespace tavo
