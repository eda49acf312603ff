#include "platform/com/system_message.h"

#include <cstdio>

#include "platform/text/codepage.h"

namespace win {
namespace {

struct system_message {
  std::uint32_t code;
  const char16_t* japanese;
  const char16_t* english;
};

constexpr system_message kMessages[] = {
    {0x80004001, u"実装されていません", u"Not implemented"},
    {0x80004002, u"インターフェイスがサポートされていません", u"No such interface supported"},
    {0x80004003, u"無効なポインターです", u"Invalid pointer"},
    {0x80004004, u"操作は中止されました", u"Operation aborted"},
    {0x80004005, u"エラーを特定できません", u"Unspecified error"},
    {0x8000FFFF, u"致命的なエラーです", u"Catastrophic failure"},
    {0x80070002, u"指定されたファイルが見つかりません。",
     u"The system cannot find the file specified."},
    {0x80070005, u"アクセスが拒否されました。", u"Access is denied."},
    {0x80070006, u"ハンドルが無効です。", u"The handle is invalid."},
    {0x8007000E, u"この操作を完了するのに十分な記憶域がありません。",
     u"Not enough memory resources are available to complete this operation."},
    {0x8007001F, u"システムに接続されたデバイスが機能していません。",
     u"A device attached to the system is not functioning."},
    {0x80070032, u"要求はサポートされていません。", u"The request is not supported."},
    {0x80070057, u"パラメーターが間違っています。", u"The parameter is incorrect."},
    {0x80020003, u"メンバーが見つかりません。", u"Member not found."},
    {0x80020004, u"パラメーターが見つかりません。", u"Parameter not found."},
    {0x80020005, u"型が一致しません。", u"Type mismatch."},
    {0x80020006, u"名前が見つかりません。", u"Unknown name."},
    {0x80020007, u"名前付き引数がありません。", u"No named arguments."},
    {0x80020008, u"変数の型が正しくありません。", u"Bad variable type."},
    {0x80020009, u"例外が発生しました。", u"Exception occurred."},
    {0x8002000A, u"有効範囲を超えています。", u"Out of present range."},
    {0x8002000E, u"パラメーターの数が無効です。", u"Invalid number of parameters."},
    {0x8002000F, u"パラメーターは省略できません。", u"Parameter not optional."},
    {0x80040110, u"クラスは集合体をサポートしません", u"Class does not support aggregation"},
    {0x80040111, u"ClassFactory は要求されたクラスを提供できません",
     u"ClassFactory cannot supply requested class"},
    {0x80040154, u"クラスが登録されていません", u"Class not registered"},
};

}  // namespace

std::u16string SystemMessageText(HRESULT hr) {
  const bool japanese = GetACP() == 932;
  const auto code = static_cast<std::uint32_t>(hr);
  for (const auto& m : kMessages)
    if (m.code == code) return japanese ? m.japanese : m.english;
  char hex[16];
  std::snprintf(hex, sizeof hex, "0x%08X", static_cast<unsigned>(code));
  std::u16string text = japanese ? u"エラー " : u"Error ";
  for (const char* p = hex; *p; ++p) text += static_cast<char16_t>(*p);
  return text;
}

}  // namespace win
