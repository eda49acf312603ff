#include "app/core/print_layouts.h"

#include <gtest/gtest.h>

#include "app/core/qstring_printer.h"
#include "app/core/text_utils.h"

namespace tavo {
namespace {

// Control characters written as octal escapes so that a following letter or digit cannot run
// into them: \033 is ESC, \n is LF.

const QString kGj = QString("GJ:") + QString(145, 'F');

// The code-page bytes of a run of consecutive single-byte codes.
QByteArray byteRun(int first, int last) {
  QByteArray bytes;
  for (int b = first; b <= last; ++b) bytes += static_cast<char>(b);
  return bytes;
}

// The code-page bytes of a run of consecutive double-byte codes.
QByteArray doubleByteRun(int lead, int firstTrail, int lastTrail) {
  QByteArray bytes;
  for (int t = firstTrail; t <= lastTrail; ++t) {
    bytes += static_cast<char>(lead);
    bytes += static_cast<char>(t);
  }
  return bytes;
}

TEST(PrintLayouts, NoCardTypeSendsNothing) {
  EXPECT_TRUE(printTestCommands(0, "3", "25", "V1.00").isEmpty());
  EXPECT_TRUE(printTestCommands(6, "3", "25", "V1.00").isEmpty());
  EXPECT_TRUE(printTestCommands(-1, "3", "25", "V1.00").isEmpty());
}

TEST(PrintLayouts, EveryLayoutIsInTheCodePage) {
  // None of the layouts holds a '?' of its own: one after the conversion is a character that
  // code page 932 cannot carry.
  for (int type = 1; type <= 5; ++type) {
    for (const QString& command : printTestCommands(type, "3", "25", "V1.00")) {
      EXPECT_FALSE(toAnsi(command).contains('?'))
          << "type " << type << ": " << command.toStdString();
    }
  }
}

TEST(PrintLayouts, CardType1Leaflet) {
  const QStringList c = printTestCommands(1, "RANK", "TEMP", "V1.23");
  ASSERT_EQ(c.size(), 3);
  EXPECT_EQ(c[0], "MS:F1X0Y0N0K0");
  EXPECT_EQ(c[1], kGj);
  EXPECT_EQ(c[1].size(), 3 + 145);
  EXPECT_TRUE(
      c[2].startsWith(QString::fromUtf16(u"PD:0/4/0/*\033lF********************\033lF*\n"
                                         u"\033Y028磁気カード・リーダライタ\n"
                                         u"\033Y056   V1.23\n"
                                         u"\033Y084**************************\n")))
      << c[2].toStdString();
  EXPECT_TRUE(
      c[2].endsWith("\n\033Y400\033F1TEST PRINT TEST PRINT TEST\n"
                    "\033Y436PRINT \033lF\033lF PRINT \033lF\033lF PRIN"));
  EXPECT_TRUE(
      c[2].contains(QString::fromUtf16(u"\n\033Y124       << 特長 >>         \n"
                                       u"\033F0\n"
                                       u"\033Y164 業界初!小型消去ﾍｯﾄﾞ内蔵\n")));
  EXPECT_TRUE(c[2].contains(QString::fromUtf16(u"\n\033Y216*   ﾘﾗｲﾄ･ｻｰﾏﾙｶｰﾄﾞ        *\n")));
  // The rank and the temperature are not printed on this card.
  EXPECT_FALSE(c[2].contains("RANK"));
  EXPECT_FALSE(c[2].contains("TEMP"));
  EXPECT_EQ(c[2].count("\033"), 21);
  EXPECT_EQ(c[2].count("\n"), 14);
}

TEST(PrintLayouts, CardType2PointCardInFull) {
  const QStringList c = printTestCommands(2, "3", "25", "V1.23");
  ASSERT_EQ(c.size(), 2);
  EXPECT_EQ(c[0], "MS:K0N0X0F3Y4");
  EXPECT_EQ(c[1], QString::fromUtf16(u"PD:1/216/2/TESTﾎﾟｲﾝﾄ 今回:99999P 累計:99999P\n"
                                     u"ﾎﾟｲﾝﾄ有効期限:99/99 ｶｰﾄﾞ発行日:99/99\n"
                                     u"ﾎﾟｲﾝﾄがご利用いただけます。"));
  // On the wire: half-width katakana one byte each, kanji and hiragana two.
  const QByteArray katakanaPoint = QByteArray::fromHex("cedfb2ddc4");  // ﾎﾟｲﾝﾄ
  const QByteArray expected =
      QByteArray("PD:1/216/2/TEST") + katakanaPoint + " " + QByteArray::fromHex("8da189f1") +
      ":99999P " +                                                           // 今回
      QByteArray::fromHex("97dd8c76") + ":99999P\n" +                        // 累計
      katakanaPoint + QByteArray::fromHex("974c8cf88afa8cc0") + ":99/99 " +  // 有効期限
      QByteArray::fromHex("b6b0c4de") +                                      // ｶｰﾄﾞ
      QByteArray::fromHex("94ad8d7393fa") + ":99/99\n" +                     // 発行日
      katakanaPoint +
      QByteArray::fromHex(
          "82aa82b29798977082a282bd82be82af82dc82b78142");  // がご利用いただけます。
  EXPECT_EQ(toAnsi(c[1]), expected);
  // The values read from the device are not printed on this card.
  EXPECT_EQ(printTestCommands(2, "7", "99", "X"), c);
}

TEST(PrintLayouts, CardType3PointCardLower) {
  const QStringList c = printTestCommands(3, "3", "25", "V1.23");
  ASSERT_EQ(c.size(), 2);
  EXPECT_EQ(c[0], "MS: K0N0X0F3Y7T0");  // with the blank after the colon
  EXPECT_EQ(c[1], QString::fromUtf16(u"PD:1/227/2/TESTﾎﾟｲﾝﾄ 今回:99999P 累計:99999P\n"
                                     u"ﾎﾟｲﾝﾄ有効期限:99/99 ｶｰﾄﾞ発行日:99/99\n"
                                     u"ﾎﾟｲﾝﾄがご利用いただけます。"));
}

TEST(PrintLayouts, CardType4SampleInFull) {
  const QStringList c = printTestCommands(4, "5", "31", "3.10A");
  ASSERT_EQ(c.size(), 4);
  EXPECT_EQ(c[0], "MS:K0N0X0F1Y0E2");
  EXPECT_EQ(c[1], kGj);
  EXPECT_EQ(c[2],
            "PD:0/000/0/\033lF\n"
            "\033Y436\033lF\n"
            "\033X072\033Y436\033lF\n"
            "\033X072\033Y0\033lF");
  EXPECT_EQ(c[3], QString::fromUtf16(u"PD:1/072/27/**********************************\n"
                                     u" \033lF     Re-write Card R/W/P    \033lF\n"
                                     u" \033lF \033e12 PRINT SAMPLE\033e11 \033lF\n"
                                     u"\033X000\033Y027**********************************\n"
                                     u"\033X000\033Y051/◆ TPH=5 TMP=31 ROM=3.10A▼"));
  EXPECT_TRUE(toAnsi(c[3]).endsWith(QByteArray("\x1BX000\x1BY051/") +
                                    QByteArray::fromHex("819f") +  // ◆
                                    " TPH=5 TMP=31 ROM=3.10A" + QByteArray::fromHex("81a5")));  // ▼
}

TEST(PrintLayouts, ValuesLandInTheirPlaces) {
  // Distinct values, so that one in the place of another shows.
  const QStringList c4 = printTestCommands(4, "R", "T", "V");
  ASSERT_EQ(c4.size(), 4);
  EXPECT_TRUE(c4[3].endsWith(QString::fromUtf16(u"/◆ TPH=R TMP=T ROM=V▼")));
  const QStringList empty4 = printTestCommands(4, "", "", "");
  ASSERT_EQ(empty4.size(), 4);
  EXPECT_TRUE(empty4[3].endsWith(QString::fromUtf16(u"/◆ TPH= TMP= ROM=▼")));

  const QStringList c1 = printTestCommands(1, "R", "T", "ROM 2.05");
  ASSERT_EQ(c1.size(), 3);
  EXPECT_TRUE(c1[2].contains("\n\033Y056   ROM 2.05\n\033Y084"));

  const QStringList c5 = printTestCommands(5, "R", "T", "ROM 2.05");
  ASSERT_EQ(c5.size(), 4);
  EXPECT_TRUE(c5[3].endsWith("\n\033Y537******** ROM 2.05 ********"));
  EXPECT_FALSE(c5[2].contains("ROM"));
}

TEST(PrintLayouts, CardType5ChartIsPartOfTheFrameCommand) {
  const QStringList c = printTestCommands(5, "3", "25", "V1.23");
  ASSERT_EQ(c.size(), 4);
  EXPECT_EQ(c[0], "MS:K0N0X0F1Y3");
  EXPECT_EQ(c[1], kGj);

  const QString frame = "PD:0/0/0/\033lF\033X296\033lF\033X000\033Y560\033lF\033X296\033lF";
  ASSERT_TRUE(c[2].startsWith(frame)) << c[2].toStdString();
  const QStringList lines = c[2].mid(frame.size()).split('\n');
  ASSERT_EQ(lines.size(), 8);  // the chart starts with a line feed: nothing before it
  EXPECT_EQ(lines[0], "");
  EXPECT_EQ(lines[1], "\033Y1350123456789!#$%&=@()*+,-./:");
  EXPECT_EQ(lines[2], "\033Y162ABCDEFGHIJKLMNOPQRSTUVWXYZ");
  EXPECT_EQ(lines[3], "\033Y189abcdefghijklmnopqrstuvwxyz");
  // The half-width katakana in code order: B1h-C9h, then CAh-DDh and A6h-B0h.
  EXPECT_EQ(toAnsi(lines[4]), QByteArray("\x1BY216") + byteRun(0xB1, 0xC9));
  EXPECT_EQ(toAnsi(lines[5]), QByteArray("\x1BY243") + byteRun(0xCA, 0xDD) + byteRun(0xA6, 0xB0));
  EXPECT_EQ(lines[4].size(), 5 + 25);
  EXPECT_EQ(lines[5].size(), 5 + 31);
  EXPECT_EQ(lines[6], "\033Y270" + QString("\033lF\033l0").repeated(13));
  EXPECT_EQ(lines[7], "\033Y294" + QString("\033l0\033lF").repeated(13));

  const QStringList wide = c[3].split('\n');
  ASSERT_EQ(wide.size(), 9);
  EXPECT_EQ(wide[0], QString::fromUtf16(u"PD:0/4/321/０１２３４５６７８９！＃"));
  EXPECT_EQ(wide[1], QString::fromUtf16(u"\033Y348＄％＆’（）＊；，－．／："));
  EXPECT_EQ(wide[2], QString::fromUtf16(u"\033Y375ＡＢＣＤＥＦＧＨＩＪＫＬＭ"));
  EXPECT_EQ(wide[3], QString::fromUtf16(u"\033Y402ＮＯＰＱＲＳＴＵＶＷＸＹＺ"));
  EXPECT_EQ(wide[4], QString::fromUtf16(u"\033Y429ａｂｃｄｅｆｇｈｉｊｋｌｍ"));
  EXPECT_EQ(wide[5], QString::fromUtf16(u"\033Y456ｎｏｐｑｒｓｔｕｖｗｘｙｚ"));
  // The two kanji lines are runs of consecutive codes: 889Fh-88ABh and 99CFh-99DBh.
  EXPECT_EQ(toAnsi(wide[6]), QByteArray("\x1BY483") + doubleByteRun(0x88, 0x9F, 0xAB));
  EXPECT_EQ(toAnsi(wide[7]), QByteArray("\x1BY510") + doubleByteRun(0x99, 0xCF, 0xDB));
  EXPECT_EQ(wide[8], "\033Y537******** V1.23 ********");
}

}  // namespace
}  // namespace tavo
