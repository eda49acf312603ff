#include "app/core/messages.h"

#include "app/core/text_utils.h"

namespace tavo {
namespace {

struct StatusText {
  int code;
  const char16_t* english;
  const char16_t* japanese;
};

// The spacing inside the texts is the device's own and is kept as it is.
constexpr StatusText kStatusTexts[] = {
    {0x00, u"RS-232C  framing  error                  ", u"ＲＳ－２３２Ｃフレーミングエラー"},
    {0x01, u"RS-232C  overrun  error                  ", u"ＲＳ－２３２Ｃオーバーランエラー"},
    {0x02, u"RS-232C  parity  error                    ", u"ＲＳ－２３２Ｃパリティーエラー  "},
    {0x03, u"RS-232C  buffer  overflow          ", u"バファオーバーフローエラー      "},
    {0x04, u"BCC  error                        ", u"ＢＣＣエラー                    "},
    {0x05, u"Communication  impossible      ", u"通信不能                        "},
    {0x10, u"Power  up  error                  ", u"パワーアップエラー            "},
    {0x11, u"Command  error                  ", u"コマンドエラー                "},
    {0x12, u"Previous  commnad  is  doing        ", u"コマンド実行中エラー                    "},
    {0x13, u"Command  error                ", u"コマンドエラー                "},
    {0x14, u"Parameter  error                ", u"パラメーターエラー            "},
    {0x20, u"Card  existing                    ", u"カードありエラー              "},
    {0x21, u"Card  pull  out  waiting          ", u"カード抜き取り待ちエラー      "},
    {0x22, u"Card  size  error                ", u"カードサイズエラー            "},
    {0x23, u"Card  insertion  error        ", u"カード挿入エラー              "},
    {0x25, u"No  card  error                  ", u"カードなしエラー              "},
    {0x30, u"Card  jam  error                            ",
     u"カードジャムエラー                      "},
    {0x32, u"Thermal  head  mechanical  error  ", u"サーマルメカエラー                      "},
    {0x33, u"Encoder  pulse  error                    ", u"エンコーダパルスエラー              "},
    {0x35, u"Hard  error  1  (A/D)                    ", u"ハードエラー１（A/Dエラー）"},
    {0x36, u"Hard  error  2（TPH  Rank  error）", u"ハードエラー２（ランクエラー）"},
    {0x37, u"Hard  error  3  (EEPROM  error）", u"ハードエラー３（EEPROM  ｴﾗｰ）"},
    {0x38, u"Hard  error  4（Braking  error）", u"ハードエラー４（ﾌﾞﾚｰｷﾝｸﾞｴﾗｰ）"},
    {0x39, u"Hard  error  6（Font  ROM  error）", u"ハードエラー５（漢字ROMｴﾗｰ）  "},
    {0x3A, u"Hard  error  7（CIO  mode  error）", u"ハードエラー６（CIOﾓｰﾄﾞｴﾗｰ）  "},
    {0x3C, u"Hard  error  8（EEPROM）          ", u"ハードエラー７（EEPROM  ｴﾗｰ）  "},
    {0x40, u"Read/Write  error                ", u"リード／ライトエラー          "},
    {0x41, u"No  start  code                          ", u"スタートコード無しエラー      "},
    {0x42, u"Parity  error                    ", u"パリティーエラー              "},
    {0x43, u"No  end  code                            ", u"エンドコード無しエラー        "},
    {0x44, u"BCC/LRC  error                      ", u"ＢＣＣ／ＬＲＣエラー          "},
    {0x45, u"Verity  error                    ", u"ベリファイエラー              "},
    {0x46, u"No  read  data                          ", u"リ－ドデータなしエラー        "},
    {0x47, u"No  write  data                      ", u"ライトデータなしエラー        "},
    {0x48, u"Magnetic  data  code  error    ", u"磁気データコードエラー        "},
    {0x50, u"No  print  data                        ", u"プリントデータなしエラー      "},
    {0x51, u"Thermal  heat  error          ", u"サーマルヒートエラー          "},
    {0x52, u"Erase  unit  low  temparature    ", u"消去ユニット低温エラー          "},
    {0x53, u"Print  character  error          ", u"プリントキャラクタエラー      "},
    {0x54, u"Print  area  over  error          ", u"印字エリアオーバーエラー      "},
    {0x60, u"No  feeder                          ", u"フィーダなしエラー            "},
    {0x61, u"No  feed  card                              ",
     u"フィーダカードなし                      "},
    {0x62, u"Feed  error                      ", u"フィードエラー                "},
    {0x64, u"Feeder  existing              ", u"フィーダありエラー            "},
    {0x70, u"EEPROM  PR  energy  table  error", u"ＥＥＰＲＯＭ印字テーブルエラー"},
    {0x75, u"IR  bar  code  read  error        ", u"ＩＲバーコードリードエラー    "},
    {0x90, u"OK                            ", u"OK                        "},
    {0x92, u"OK  (  No  operation  )              ", u"OK（ノーオペレーション  ）"},
    {0x93, u"OK  (  No  feeder  card  )          ", u"OK（フィーダカードエンド）"},
    {0x94, u"OK  (  Thermal  head  low  temp.)", u"OK（サーマル低温警告）      "},
    {0x96, u"OK  (  Other  track  error)        ", u"OK（他トラックエラー）      "},
};

struct IndexedText {
  int index;
  const char16_t* text;
};

constexpr IndexedText kStatesEnglish[] = {
    {0, u"OK          "},         {1, u"OK        "},         {2, u"Power  up    "},
    {3, u"Thermal  high  temp."}, {4, u"Jam  error        "}, {5, u"Mechanical  error  "},
    {6, u"Hard  error      "},
};
constexpr IndexedText kStatesJapanese[] = {
    {0, u"OK    "},         {1, u"OK    "},         {2, u"パワーアップ  "}, {3, u"サーマル高温  "},
    {4, u"ジャムエラー  "}, {5, u"メカエラー    "}, {6, u"ハードエラー  "},
};
constexpr IndexedText kCardsEnglish[] = {
    {0, u"No  card          "},           {1, u"Card  existing      Front"},
    {2, u"Card  existing      Mid    "},  {3, u"Card  existing      Back  "},
    {4, u"Please  pull  out  the  card"}, {5, u"Please  pull  out  the  card"},
};
constexpr IndexedText kCardsJapanese[] = {
    {0, u"カ－ドなし    "},
    {1, u"カ－ド有り  前"},
    {2, u"カード有り  中"},
    {3, u"カード有り  後"},
    {4, u"カードを抜き取って下さい"},
    {5, u"カードを抜き取って下さい"},
    {8, u"カ－ド有り 保留部"},
    {9, u"カ－ド有り 前＋保留部"},
    {16, u"カード有り 中＋保留部"},
    {17, u"カード有り 後＋保留部"},
    {18, u"カードを抜き取って下さい"},
    {19, u"カードを抜き取って下さい"},
};

template <std::size_t N, std::size_t M>
void fill(std::array<QString, N>& table, const IndexedText (&texts)[M]) {
  for (const auto& t : texts) table[t.index] = QString::fromUtf16(t.text);
}

}  // namespace

void fillMessageTables(MessageTables& tables, bool japanese) {
  for (const auto& s : kStatusTexts)
    tables.errorMessages[s.code] = QString::fromUtf16(japanese ? s.japanese : s.english);
  if (japanese) {
    fill(tables.stateMessages, kStatesJapanese);
    fill(tables.cardMessages, kCardsJapanese);
  } else {
    fill(tables.stateMessages, kStatesEnglish);
    fill(tables.cardMessages, kCardsEnglish);
  }
  // Bands of 65 ohms from 1008, the same in both languages.
  for (int rank = 0; rank <= 8; ++rank)
    tables.tphRanks[rank] = QString("%1-%2").arg(1008 + 65 * rank).arg(1072 + 65 * rank);
}

QString statusMessage(const MessageTables& tables, const QString& pair, bool japanese) {
  const long value = hexValue(pair);
  if (value >= 0 && value < static_cast<long>(tables.errorMessages.size()))
    return tables.errorMessages[value];
  return japanese ? QString::fromUtf16(u"不明なステータス ") + pair
                  : QStringLiteral("Unknown status ") + pair;
}

bool isOkStatus(const QString& pair) {
  return pair == u"90" || pair == u"92" || pair == u"93" || pair == u"94" || pair == u"96";
}

}  // namespace tavo
