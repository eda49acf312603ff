#include "app/eeprom/eeprom_settings.h"

namespace tavo {
namespace {

const SettingSpec kSettings[] = {
    {"Command2", "Combo1", "eer:20/01", "eew:20/01/", true, nullptr, u"ＴＰＨランクを変更します ！",
     u"    Rank "},
    {"Command12", "Combo5", "eer:20/01", "eew:20/01/", false, nullptr, u"印字濃度を変更します ！",
     u"    濃度 "},
    {"Command3", "Combo2", "eer:22/01", "eew:22/01/", false, u"未設定",
     u"消去ランクを変更します ！", u"    Rank "},
    {"Command4", "Combo3", "eer:22/01", "eew:22/01/", true, u"未設定", u"消去ロットを変更します ！",
     u"    ELOT "},
    {"Command14", "Combo8", "eer:08/01", "eew:08/01/", false, u"4", u"印字位置を変更します ！",
     u"    印字位置 "},
};

bool isHexDigits(const QString& text) {
  for (QChar c : text)
    if (!((c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F') || (c >= u'a' && c <= u'f')))
      return false;
  return true;
}

}  // namespace

const SettingSpec& settingSpec(Setting setting) {
  return kSettings[static_cast<int>(setting)];
}

std::optional<WordRead> readWord(const QString& replyText) {
  if (replyText.size() < 9 || !replyText.startsWith(u"Aee") || !isOkStatus(replyText.mid(3, 2)))
    return std::nullopt;
  const QString digits = replyText.mid(5, 4);
  if (!isHexDigits(digits)) return std::nullopt;
  return WordRead{digits.left(2), digits.mid(2, 2)};
}

bool writeAccepted(const QString& replyText) {
  return replyText.startsWith(u"Aee") && isOkStatus(replyText.mid(3, 2));
}

QString answerProblem(const MessageTables& tables, const QString& command, const QString& replyText,
                      bool japanese) {
  const QString quoted = QStringLiteral("\"") + command + QStringLiteral("\"");
  if (replyText.isEmpty())
    return japanese ? quoted + QStringLiteral(" に応答がありません。")
                    : QStringLiteral("No answer to ") + quoted + u'.';
  const QString status = replyText.mid(3, 2);
  if (replyText.startsWith(u'A') && status.size() == 2 && !isOkStatus(status))
    return quoted + QStringLiteral(": ") + statusMessage(tables, status, japanese);
  const QString reply = QStringLiteral("\"") + replyText + QStringLiteral("\"");
  return japanese
             ? quoted + QStringLiteral(" の応答 ") + reply + QStringLiteral(" が不正です。")
             : QStringLiteral("Unexpected reply ") + reply + QStringLiteral(" to ") + quoted + u'.';
}

QString currentShown(Setting setting, const WordRead& word) {
  const SettingSpec& spec = settingSpec(setting);
  const QString digit = (spec.firstByte ? word.firstByte : word.secondByte).right(1);
  if (digit == u"F" && spec.whenErased) return QString::fromUtf16(spec.whenErased);
  return digit;
}

QString settingQuestion(Setting setting, const WordRead& word, const QString& newDigit) {
  const SettingSpec& spec = settingSpec(setting);
  return QString::fromUtf16(spec.heading) + QStringLiteral("\r\n") +
         QString::fromUtf16(spec.label) + currentShown(setting, word) + QStringLiteral(" → ") +
         newDigit;
}

QString settingWrite(Setting setting, const WordRead& word, const QString& newDigit) {
  if (newDigit.size() != 1 || !newDigit[0].isDigit() || newDigit[0].unicode() > u'9') return {};
  const SettingSpec& spec = settingSpec(setting);
  const QString byte = QStringLiteral("3") + newDigit;
  return QLatin1String(spec.writeHead) +
         (spec.firstByte ? byte + word.secondByte : word.firstByte + byte);
}

}  // namespace tavo
