#include "app/eeprom/data_sheet.h"

namespace tavo {
namespace {

struct PrintLine {
  const char16_t* label;
  QString DataSheet::*field;
  const char16_t* unit = nullptr;
};

const PrintLine kPrintLines[] = {
    {u"PD/データ取得日  = ", &DataSheet::date},
    {u"PD/ｼﾘｱﾙﾅﾝﾊﾞｰ     =  ", &DataSheet::serial},
    {u"PD/Ｒ Ｏ Ｍ      =  ", &DataSheet::version},
    {u"PD/サーマルランク=  ", &DataSheet::thermalRank},
    {u"PD/消 去 ラ ン ク=  ", &DataSheet::eraseRank},
    {u"PD/イレースロット=  ", &DataSheet::eraseLot},
    {u"PD/温　度　　　　=  ", &DataSheet::temperature, u"℃"},
    {u"PD/パ ス 回 数   =  ", &DataSheet::passes},
    {u"PD/印 字 回 数   =  ", &DataSheet::prints},
    {u"PD/ラ イ ト 回 数=  ", &DataSheet::writes},
    {u"PD/リ ー ド 回 数=  ", &DataSheet::reads},
    {u"PD/Ｒ／Ｗエラー(1ch) =  ", &DataSheet::tr1},
    {u"PD/            (2ch) =  ", &DataSheet::tr2},
    {u"PD/            (3ch) =  ", &DataSheet::tr3},
    {u"PD/ｼﾞｬﾑｴﾗｰ　　   =  ", &DataSheet::jam},
    {u"PD/ﾒｶｴﾗ-         =  ", &DataSheet::mechanism},
    {u"PD/ﾊｰﾄﾞｴﾗｰ　　　 =  ", &DataSheet::hardware},
    {u"PD/電源切断回数  =  ", &DataSheet::powerCuts},
};

}  // namespace

const std::array<SheetRead, 13> kSheetReads = {{
    {"CT:0", {{&DataSheet::passes, 6, 8}, {}}},
    {"CT:1", {{&DataSheet::writes, 6, 8}, {}}},
    {"CT:2", {{&DataSheet::reads, 6, 8}, {}}},
    {"CT:3", {{&DataSheet::prints, 6, 8}, {}}},
    {"CT:9", {{&DataSheet::tr1, 10, 4}, {}}},
    {"CT:A", {{&DataSheet::tr2, 10, 4}, {}}},
    {"CT:B", {{&DataSheet::tr3, 10, 4}, {}}},
    {"CT:4", {{&DataSheet::powerCuts, 6, 8}, {}}},
    {"CT:8", {{&DataSheet::mechanism, 6, 8}, {}}},
    {"CT:7", {{&DataSheet::jam, 8, 6}, {}}},
    {"CT:E", {{&DataSheet::hardware, 6, 8}, {}}},
    {"TH", {{&DataSheet::thermalRank, 6, 1}, {}}},
    {"eer:22/01", {{&DataSheet::eraseRank, 9, 1}, {&DataSheet::eraseLot, 7, 1}}},
}};

void takeSheetRead(const SheetRead& read, const QString& replyText, DataSheet* sheet) {
  for (const SheetRead::Take& take : read.takes)
    if (take.field) (*sheet).*take.field = replyText.mid(take.start - 1, take.length);
}

QStringList dataSheetPrint(const DataSheet& sheet, bool erasePrint) {
  QStringList commands = {QStringLiteral("MS:K0Y0N0F1X0"), QStringLiteral("PC"),
                          QStringLiteral("PD:0/0/2/*** ＣＲデータ確認印字 ***")};
  for (const PrintLine& line : kPrintLines) {
    QString text = QString::fromUtf16(line.label) + sheet.*line.field;
    if (line.unit) text += QString::fromUtf16(line.unit);
    commands << text;
  }
  if (erasePrint)
    commands << QStringLiteral("PO");
  else
    commands << QStringLiteral("PP") << QStringLiteral("CO");
  commands << QStringLiteral("PW:0000");
  return commands;
}

}  // namespace tavo
