#include "app/core/print_layouts.h"

#include <initializer_list>

namespace tavo {
namespace {

// The control characters as they stand between the texts of a layout.
constexpr QStringView kEsc = u"\x1B";
constexpr QStringView kLf = u"\n";

// One command made of its pieces, in order.
QString cat(std::initializer_list<QStringView> pieces) {
  QString text;
  for (QStringView piece : pieces) text += piece;
  return text;
}

// The "GJ:" command that the layouts with marks and frames send before their print data: "GJ:"
// and 145 "F".
QString gjCommand() {
  return QStringLiteral("GJ:") + QString(145, u'F');
}

// The character chart that the first print command of card type 5 carries on with, in the same
// command: one line per character group, 27 dots apart from Y135 (ASCII signs, capitals, small
// letters, the half-width katakana in two lines), then two lines of 26 alternating "lF" and "l0"
// marks, the second starting with the other one.
QString characterChart() {
  const QString marks = cat({kEsc, u"lF", kEsc, u"l0"}).repeated(13);
  const QString invertedMarks = cat({kEsc, u"l0", kEsc, u"lF"}).repeated(13);
  QString chart = cat({kLf, kEsc, u"Y135", u"0123456789!#$%&=@()*+,-./:"});
  chart += cat({kLf, kEsc, u"Y162", u"ABCDEFGHIJKLMNOPQRSTUVWXYZ"});
  chart += cat({kLf, kEsc, u"Y189", u"abcdefghijklmnopqrstuvwxyz"});
  chart += cat({kLf, kEsc, u"Y216", u"ｱｲｳｴｵｶｷｸｹｺｻｼｽｾｿﾀﾁﾂﾃﾄﾅﾆﾇﾈﾉ"});
  chart += cat({kLf, kEsc, u"Y243", u"ﾊﾋﾌﾍﾎﾏﾐﾑﾒﾓﾔﾕﾖﾗﾘﾙﾚﾛﾜﾝｦｧｨｩｪｫｬｭｮｯｰ"});
  chart += cat({kLf, kEsc, u"Y270", marks});
  chart += cat({kLf, kEsc, u"Y294", invertedMarks});
  return chart;
}

// Layout for card type 1: the product leaflet with its features and the firmware version.
QStringList leafletLayout(const QString& versionText) {
  QString data = cat({u"PD:0/4/0/*", kEsc, u"lF********************", kEsc, u"lF*", kLf});
  data += cat({kEsc, u"Y028磁気カード・リーダライタ", kLf});
  data += cat({kEsc, u"Y056   ", versionText, kLf});
  data += cat({kEsc, u"Y084**************************", kLf});
  data += cat({kEsc, u"Y124       << 特長 >>         ", kLf});
  data += cat({kEsc, u"F0", kLf});
  data += cat({kEsc, u"Y164 業界初!小型消去ﾍｯﾄﾞ内蔵", kLf});
  data += cat({kEsc, u"Y190*   広範なカードに対応   *", kLf});
  data += cat({kEsc, u"Y216*   ﾘﾗｲﾄ･ｻｰﾏﾙｶｰﾄﾞ        *", kLf});
  data += cat({kEsc, u"Y242*   PET･ﾌﾟﾗｽﾁｯｸｶｰﾄﾞ      *", kLf});
  data += cat({kEsc, u"Y268 開閉機構による簡単ﾒﾝﾃﾅﾝｽ", kLf});
  data += cat({kEsc, u"Y326ABCDEFGHIJKLMNOPQRSTUVWXYZ", kLf});
  data += cat({kEsc, u"Y354abcdefghijklmnopqrstuvwxyz", kLf});
  data += cat({kEsc, u"Y400", kEsc, u"F1TEST PRINT TEST PRINT TEST", kLf});
  data +=
      cat({kEsc, u"Y436PRINT ", kEsc, u"lF", kEsc, u"lF PRINT ", kEsc, u"lF", kEsc, u"lF PRIN"});
  return {QStringLiteral("MS:F1X0Y0N0K0"), gjCommand(), data};
}

// Layouts for card types 2 and 3: three lines of a point card, from dot line 216 or 227, after
// the given mode setting.
QStringList pointCardLayout(const QString& modeCommand, QStringView firstLine) {
  QString data = cat({u"PD:1/", firstLine, u"/2/TESTﾎﾟｲﾝﾄ 今回:99999P 累計:99999P", kLf});
  data += cat({u"ﾎﾟｲﾝﾄ有効期限:99/99 ｶｰﾄﾞ発行日:99/99", kLf});
  data += cat({u"ﾎﾟｲﾝﾄがご利用いただけます。"});
  return {modeCommand, data};
}

// Layout for card type 4: marks in the four corners, then a print sample framed by asterisks
// with the head's rank and temperature and the firmware version.
QStringList sampleLayout(const QString& tphRank, const QString& headTemperature,
                         const QString& versionText) {
  QString marks = cat({u"PD:0/000/0/", kEsc, u"lF", kLf});
  marks += cat({kEsc, u"Y436", kEsc, u"lF", kLf});
  marks += cat({kEsc, u"X072", kEsc, u"Y436", kEsc, u"lF", kLf});
  marks += cat({kEsc, u"X072", kEsc, u"Y0", kEsc, u"lF"});

  QString sample = cat({u"PD:1/072/27/**********************************", kLf});
  sample += cat({u" ", kEsc, u"lF     Re-write Card R/W/P    ", kEsc, u"lF", kLf});
  sample += cat({u" ", kEsc, u"lF ", kEsc, u"e12 PRINT SAMPLE", kEsc, u"e11 ", kEsc, u"lF", kLf});
  sample += cat({kEsc, u"X000", kEsc, u"Y027**********************************", kLf});
  sample += cat({kEsc, u"X000", kEsc, u"Y051/◆ TPH=", tphRank, u" TMP=", headTemperature, u" ROM=",
                 versionText, u"▼"});
  return {QStringLiteral("MS:K0N0X0F1Y0E2"), gjCommand(), marks, sample};
}

// Layout for card type 5: corner marks carrying on with the character chart, then full-width
// characters and kanji with the firmware version.
QStringList chartLayout(const QString& versionText) {
  QString chart = cat({u"PD:0/0/0/", kEsc, u"lF", kEsc, u"X296", kEsc, u"lF", kEsc, u"X000", kEsc,
                       u"Y560", kEsc, u"lF", kEsc, u"X296", kEsc, u"lF"});
  chart += characterChart();

  QString wide = cat({u"PD:0/4/321/０１２３４５６７８９！＃", kLf});
  wide += cat({kEsc, u"Y348＄％＆’（）＊；，－．／：", kLf});
  wide += cat({kEsc, u"Y375ＡＢＣＤＥＦＧＨＩＪＫＬＭ", kLf});
  wide += cat({kEsc, u"Y402ＮＯＰＱＲＳＴＵＶＷＸＹＺ", kLf});
  wide += cat({kEsc, u"Y429ａｂｃｄｅｆｇｈｉｊｋｌｍ", kLf});
  wide += cat({kEsc, u"Y456ｎｏｐｑｒｓｔｕｖｗｘｙｚ", kLf});
  wide += cat({kEsc, u"Y483亜唖娃阿哀愛挨姶逢葵茜穐悪", kLf});
  wide += cat({kEsc, u"Y510厮厰厶參簒雙叟曼燮叮叨叭叺", kLf});
  wide += cat({kEsc, u"Y537******** ", versionText, u" ********"});
  return {QStringLiteral("MS:K0N0X0F1Y3"), gjCommand(), chart, wide};
}

}  // namespace

QStringList printTestCommands(int cardType, const QString& tphRank, const QString& headTemperature,
                              const QString& versionText) {
  switch (cardType) {
    case 1:
      return leafletLayout(versionText);
    case 2:
      return pointCardLayout(QStringLiteral("MS:K0N0X0F3Y4"), u"216");
    case 3:
      // The blank after the colon is part of this layout's mode setting.
      return pointCardLayout(QStringLiteral("MS: K0N0X0F3Y7T0"), u"227");
    case 4:
      return sampleLayout(tphRank, headTemperature, versionText);
    case 5:
      return chartLayout(versionText);
    default:
      return {};
  }
}

}  // namespace tavo
