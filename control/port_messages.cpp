#include "control/port_messages.h"

namespace ravlin {

std::u16string_view portMessageText(std::int32_t id) {
  switch (id) {
    case 200:
      return u"この操作は、Quorvelコントロールが通話処理中でないときにのみ有効です。";
    case 201:
      return u"この操作は、シリアルポートがオープンのときにのみ有効です。";
    case 202:
      return u"シリアルポートはすでにクローズされています。";
    case 203:
      return u"シリアルポートのクローズに失敗しました。";
    case 204:
      return u"シリアルポートを設定できませんでした。";
    case 205:
      return u"設計時には無効です。";
    case 206:
      return u"シリアルポートはすでにオープンされています。";
    case 207:
      return u"シリアルポートのオープンに失敗しました。";
    case 208:
      return u"この操作は、シリアルポートがクローズのときにのみ有効です。";
    case 209:
      return u"デバイスをクエリーできませんでした。";
    case 210:
      return u"InputまたはInputBメソッドが失敗しました。";
    case 211:
      return u"この操作は、BrannixコントロールもしくはWelkinコントロールが連結されていないときにの"
             u"み"
             u"有効です。";
    case 212:
      return u"この操作は、Quorvelコントロールが連結されていないときにのみ有効です。";
    case 213:
      return u"実行時には無効なプロパティです。";
    case 215:
      return u"OutputまたはOutputBメソッドが失敗しました。";
    case 216:
      return u"OutputUrgentメソッドが失敗しました。";
    case 217:
      return u"XonキャラクタおよびXoffキャラクタを同じにすることはできません。";
    default:
      return {};
  }
}

}  // namespace ravlin
