#include "app/eeprom/eeprom_counters.h"

namespace tavo {

const std::array<Counter, 16> kCounters = {{
    {u"ﾊﾟｽ回数", 0x1E, 8, '0', 6, 8, u"パ ス 回数 : "},
    {u"ﾗｲﾄ回数", 0x1C, 8, '1', 6, 8, u"ライト回数 : "},
    {u"ﾘｰﾄﾞ回数", 0x1A, 8, '2', 6, 8, u"リード回数 : "},
    {u"印字回数", 0x18, 8, '3', 6, 8, u"印字　回数 : "},
    {u"電断回数", 0x0C, 4, '4', 6, 8, u"電断　回数 : "},
    {u"Tr1ｴﾗｰ", 0x11, 4, '9', 10, 4, u"Tr1エラー  :     "},
    {u"Tr2ｴﾗｰ", 0x12, 4, 'A', 10, 4, u"Tr2エラー　:     "},
    {u"Tr3ｴﾗｰ", 0x13, 4, 'B', 10, 4, u"Tr3エラー　:     "},
    {u"Tr4ｴﾗｰ", 0x14, 4, 'C', 10, 4, u"Tr4エラー  :     "},
    {u"ﾒｶｴﾗｰ", 0x10, 4, '8', 8, 6, u"メカエラー :   "},
    {u"ｼﾞｬﾑｴﾗｰ", 0x0F, 4, '7', 8, 6, u"ｼﾞｬﾑエラー :   "},
    {u"ﾊｰﾄﾞｴﾗｰ", 0x16, 4, 'E', 8, 6, u"ﾊｰﾄﾞエラー :   "},
    {u"受信ｴﾗｰ", 0x0D, 4, '5', 8, 6, u"受信エラー :   "},
    {u"送信ｴﾗｰ", 0x0E, 4, '6', 8, 6, u"送信エラー :   "},
    {u"ﾌｨｰﾄﾞｴﾗｰ", 0x15, 4, 'D', 8, 6, u"ﾌｨｰﾄﾞエラー:   "},
    {u"ﾊﾟﾝﾁｴﾗｰ", 0x17, 4, 'F', 8, 6, u"ﾊﾟﾝﾁエラー :   "},
}};

QString counterCommand(const Counter& counter) {
  return QStringLiteral("CT:") + QLatin1Char(counter.code);
}

QString counterLine(const Counter& counter, const QString& replyText) {
  return QString::fromUtf16(counter.caption) +
         replyText.mid(counter.sliceStart - 1, counter.sliceLength);
}

QString counterWrite(int index, const QString& count, bool japanese, QString* refusal) {
  if (index < 0 || index >= static_cast<int>(kCounters.size())) {
    *refusal = japanese ? QStringLiteral("書き込むカウンタをリストから選んでください。")
                        : QStringLiteral("Choose the counter to write in the list.");
    return {};
  }
  const Counter& c = kCounters[index];
  const quint64 largest = c.width == 8 ? 0xFFFFFFFFull : 0xFFFFull;

  const QString digits = count.trimmed();
  bool whole = !digits.isEmpty() && digits.size() <= 10;
  for (QChar ch : digits) whole = whole && ch >= u'0' && ch <= u'9';
  const quint64 value = whole ? digits.toULongLong() : 0;
  if (!whole || value > largest) {
    const QString range = c.width == 8 ? QStringLiteral("0 - 4294967295 (0 - FFFFFFFFh)")
                                       : QStringLiteral("0 - 65535 (0 - FFFFh)");
    *refusal = japanese ? QString::fromUtf16(c.listText) + QStringLiteral(" に書ける回数は ") +
                              range + QStringLiteral(" の整数です。")
                        : QStringLiteral("The count for ") + QString::fromUtf16(c.listText) +
                              QStringLiteral(" must be a whole number ") + range + u'.';
    return {};
  }
  refusal->clear();
  return QStringLiteral("eew:") + QString::number(c.word, 16).rightJustified(2, u'0').toUpper() +
         (c.width == 8 ? QStringLiteral("/02/") : QStringLiteral("/01/")) +
         QString::number(value, 16).rightJustified(c.width, u'0').toUpper();
}

}  // namespace tavo
