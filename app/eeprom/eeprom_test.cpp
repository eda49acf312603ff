// The commands the EEPROM window composes: setting changes from a read word, counter writes and
// their refusals, the counter display's lines and the data sheet.
#include <gtest/gtest.h>

#include "app/eeprom/data_sheet.h"
#include "app/eeprom/eeprom_counters.h"
#include "app/eeprom/eeprom_settings.h"

using namespace Qt::StringLiterals;

namespace tavo {
namespace {

WordRead Word(const QString& reply) {
  const std::optional<WordRead> word = readWord(reply);
  EXPECT_TRUE(word.has_value()) << reply.toStdString();
  return word.value_or(WordRead{});
}

TEST(EepromSettings, ChangesOneByteAndWritesTheOtherBackAsRead) {
  const WordRead w20 = Word(u"Aee903532"_s);
  EXPECT_EQ(settingQuestion(Setting::TphRank, w20, u"7"_s),
            u"ＴＰＨランクを変更します ！\r\n    Rank 5 → 7"_s);
  EXPECT_EQ(settingWrite(Setting::TphRank, w20, u"7"_s), u"eew:20/01/3732"_s);
  EXPECT_EQ(settingQuestion(Setting::PrintDensity, w20, u"0"_s),
            u"印字濃度を変更します ！\r\n    濃度 2 → 0"_s);
  EXPECT_EQ(settingWrite(Setting::PrintDensity, w20, u"0"_s), u"eew:20/01/3530"_s);

  // An erased word: the replacement is shown, and FF goes back untouched.
  const WordRead erased = Word(u"Aee90FFFF"_s);
  EXPECT_EQ(settingQuestion(Setting::EraseRank, erased, u"6"_s),
            u"消去ランクを変更します ！\r\n    Rank 未設定 → 6"_s);
  EXPECT_EQ(settingWrite(Setting::EraseRank, erased, u"6"_s), u"eew:22/01/FF36"_s);
  EXPECT_EQ(currentShown(Setting::EraseLot, erased), u"未設定"_s);
  EXPECT_EQ(settingWrite(Setting::EraseLot, erased, u"2"_s), u"eew:22/01/32FF"_s);
  EXPECT_EQ(settingQuestion(Setting::PrintPosition, erased, u"8"_s),
            u"印字位置を変更します ！\r\n    印字位置 4 → 8"_s);
  EXPECT_EQ(settingWrite(Setting::PrintPosition, erased, u"8"_s), u"eew:08/01/FF38"_s);
  // Rank and density have no replacement: "F" as read.
  EXPECT_EQ(currentShown(Setting::TphRank, erased), u"F"_s);
  EXPECT_EQ(currentShown(Setting::PrintDensity, erased), u"F"_s);

  // The byte kept is the reply's characters as they came, whatever their case.
  EXPECT_EQ(settingWrite(Setting::EraseLot, Word(u"Aee92fe34"_s), u"1"_s), u"eew:22/01/3134"_s);
  EXPECT_EQ(settingWrite(Setting::EraseRank, Word(u"Aee92fe34"_s), u"1"_s), u"eew:22/01/fe31"_s);

  // Each setting reads the word its write goes to.
  for (Setting s : {Setting::TphRank, Setting::PrintDensity, Setting::EraseRank, Setting::EraseLot,
                    Setting::PrintPosition}) {
    const QString write = settingWrite(s, w20, u"1"_s);
    EXPECT_EQ(write.mid(4, 2), QLatin1String(settingSpec(s).readCommand).mid(4, 2));
  }
}

TEST(EepromSettings, NoWriteFromAFailedReadOrForAValueThatIsNotADigit) {
  for (const QString& reply : {u""_s, u"Aee14"_s, u"Aee10"_s, u"Aee9035"_s, u"Aee12353233"_s,
                               u"Aee9035G2"_s, u"ACT903532"_s, u"R20"_s, u"Bee903532"_s})
    EXPECT_FALSE(readWord(reply).has_value()) << reply.toStdString();
  const WordRead w = Word(u"Aee903532"_s);
  for (const QString& value : {u""_s, u"12"_s, u"A"_s, u"３"_s, u"/"_s})
    EXPECT_EQ(settingWrite(Setting::TphRank, w, value), QString()) << value.toStdString();
  // More data than one word: the word is the first four digits.
  EXPECT_EQ(settingWrite(Setting::TphRank, Word(u"Aee9035321234"_s), u"7"_s), u"eew:20/01/3732"_s);
}

TEST(EepromSettings, ProblemTextNamesTheCommandAndWhatCameBack) {
  MessageTables tables;
  fillMessageTables(tables, false);
  EXPECT_EQ(answerProblem(tables, u"eer:20/01"_s, {}, false), u"No answer to \"eer:20/01\"."_s);
  EXPECT_EQ(answerProblem(tables, u"eer:20/01"_s, u"Aee14"_s, false),
            u"\"eer:20/01\": Parameter  error                "_s);
  EXPECT_EQ(answerProblem(tables, u"eer:20/01"_s, u"Aee9035"_s, false),
            u"Unexpected reply \"Aee9035\" to \"eer:20/01\"."_s);
  fillMessageTables(tables, true);
  EXPECT_EQ(answerProblem(tables, u"eew:20/01/3732"_s, u"Aee14"_s, true),
            u"\"eew:20/01/3732\": パラメーターエラー            "_s);
  EXPECT_TRUE(writeAccepted(u"Aee90"_s));
  EXPECT_TRUE(writeAccepted(u"Aee96"_s));
  EXPECT_FALSE(writeAccepted(u"Aee14"_s));
  EXPECT_FALSE(writeAccepted(u"ACT90"_s));
  EXPECT_FALSE(writeAccepted({}));
}

int IndexOf(const char16_t* listText) {
  for (std::size_t i = 0; i < kCounters.size(); ++i)
    if (QStringView(kCounters[i].listText) == QStringView(listText)) return static_cast<int>(i);
  ADD_FAILURE() << "no counter";
  return -1;
}

TEST(EepromCounters, WriteFillsTheCounterWidthWithUpperCaseHexadecimal) {
  QString refusal;
  EXPECT_EQ(counterWrite(IndexOf(u"ﾊﾟｽ回数"), u"1000"_s, true, &refusal), u"eew:1E/02/000003E8"_s);
  EXPECT_EQ(counterWrite(IndexOf(u"Tr1ｴﾗｰ"), u"255"_s, true, &refusal), u"eew:11/01/00FF"_s);
  EXPECT_EQ(counterWrite(IndexOf(u"印字回数"), u" 4294967295 "_s, true, &refusal),
            u"eew:18/02/FFFFFFFF"_s);
  EXPECT_EQ(counterWrite(IndexOf(u"ﾊﾟﾝﾁｴﾗｰ"), u"65535"_s, true, &refusal), u"eew:17/01/FFFF"_s);
  EXPECT_EQ(counterWrite(IndexOf(u"電断回数"), u"0"_s, true, &refusal), u"eew:0C/01/0000"_s);
  EXPECT_EQ(counterWrite(IndexOf(u"ﾌｨｰﾄﾞｴﾗｰ"), u"00012"_s, true, &refusal), u"eew:15/01/000C"_s);
  EXPECT_TRUE(refusal.isEmpty());
}

TEST(EepromCounters, RefusesWhatTheCounterCannotHold) {
  const int tr1 = IndexOf(u"Tr1ｴﾗｰ");
  const int passes = IndexOf(u"ﾊﾟｽ回数");
  QString refusal;
  for (const QString& count : {u"65536"_s, u"-1"_s, u"1.5"_s, u""_s, u"  "_s, u"abc"_s, u"0x10"_s,
                               u"+5"_s, u"1e3"_s, u"１２"_s, u"99999999999999999999"_s}) {
    refusal.clear();
    EXPECT_EQ(counterWrite(tr1, count, false, &refusal), QString()) << count.toStdString();
    EXPECT_EQ(refusal, u"The count for Tr1ｴﾗｰ must be a whole number 0 - 65535 (0 - FFFFh)."_s);
  }
  EXPECT_EQ(counterWrite(passes, u"4294967296"_s, true, &refusal), QString());
  EXPECT_EQ(refusal, u"ﾊﾟｽ回数 に書ける回数は 0 - 4294967295 (0 - FFFFFFFFh) の整数です。"_s);
  EXPECT_EQ(counterWrite(-1, u"5"_s, false, &refusal), QString());
  EXPECT_EQ(refusal, u"Choose the counter to write in the list."_s);
}

TEST(EepromCounters, TableMatchesTheDeviceLayout) {
  // Two-word counters are the four usage counters; every word is used once.
  QList<int> words;
  for (const Counter& c : kCounters) {
    words << c.word;
    if (c.width == 8) words << c.word + 1;
  }
  std::sort(words.begin(), words.end());
  QList<int> expected;
  for (int w = 0x0C; w <= 0x1F; ++w) expected << w;
  EXPECT_EQ(words, expected);

  const QString reply = u"ACT90000003E8"_s;
  EXPECT_EQ(counterLine(kCounters[0], reply), u"パ ス 回数 : 000003E8"_s);
  EXPECT_EQ(counterLine(kCounters[IndexOf(u"Tr2ｴﾗｰ")], reply), u"Tr2エラー　:     03E8"_s);
  EXPECT_EQ(counterLine(kCounters[IndexOf(u"ｼﾞｬﾑｴﾗｰ")], reply), u"ｼﾞｬﾑエラー :   0003E8"_s);
  EXPECT_EQ(counterLine(kCounters[IndexOf(u"ｼﾞｬﾑｴﾗｰ")], u"ACT14"_s), u"ｼﾞｬﾑエラー :   "_s);
  EXPECT_EQ(counterCommand(kCounters[IndexOf(u"ﾊｰﾄﾞｴﾗｰ")]), u"CT:E"_s);
}

TEST(DataSheet, KeepsTheSlicesAndPrintsOneLinePerValue) {
  DataSheet sheet;
  for (const SheetRead& read : kSheetReads) {
    const QString command = QLatin1String(read.command);
    QString reply = u"A"_s + command.left(2) + u"90"_s;
    if (command == u"TH")
      reply += u"625"_s;
    else if (command.startsWith(u"eer"))
      reply += u"3134"_s;
    else
      reply += u"0000012"_s + command.right(1);
    takeSheetRead(read, reply, &sheet);
  }
  EXPECT_EQ(sheet.passes, u"00000120"_s);
  EXPECT_EQ(sheet.tr2, u"012A"_s);
  EXPECT_EQ(sheet.jam, u"000127"_s);
  EXPECT_EQ(sheet.hardware, u"0000012E"_s);
  EXPECT_EQ(sheet.thermalRank, u"6"_s);
  EXPECT_EQ(sheet.eraseRank, u"4"_s);
  EXPECT_EQ(sheet.eraseLot, u"1"_s);

  sheet.date = u"2026/12/09"_s;
  sheet.serial = u"SN-7"_s;
  sheet.version = u"2.10-SIM"_s;
  sheet.temperature = u"25"_s;
  const QStringList withErase = dataSheetPrint(sheet, true);
  ASSERT_EQ(withErase.size(), 3 + 18 + 2);
  EXPECT_EQ(withErase.mid(0, 5),
            (QStringList{u"MS:K0Y0N0F1X0"_s, u"PC"_s, u"PD:0/0/2/*** ＣＲデータ確認印字 ***"_s,
                         u"PD/データ取得日  = 2026/12/09"_s, u"PD/ｼﾘｱﾙﾅﾝﾊﾞｰ     =  SN-7"_s}));
  EXPECT_TRUE(withErase.contains(u"PD/温　度　　　　=  25℃"_s));
  EXPECT_TRUE(withErase.contains(u"PD/            (2ch) =  012A"_s));
  EXPECT_EQ(withErase[20], u"PD/電源切断回数  =  00000124"_s);
  EXPECT_EQ(withErase.mid(21), (QStringList{u"PO"_s, u"PW:0000"_s}));
  const QStringList withoutErase = dataSheetPrint(sheet, false);
  EXPECT_EQ(withoutErase.mid(21), (QStringList{u"PP"_s, u"CO"_s, u"PW:0000"_s}));
}

}  // namespace
}  // namespace tavo
