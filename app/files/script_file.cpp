#include "app/files/script_file.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include "app/core/text_utils.h"
#include "app/files/command_script.h"

namespace tavo {
namespace {

QString pick(bool japanese, const QString& english, const QString& japaneseText) {
  return japanese ? japaneseText : english;
}

}  // namespace

QString scriptFilePath(const QString& folder, const QString& name) {
  if (name.startsWith(u'/')) return name;
  if (folder.endsWith(u'/')) return folder + name;
  return folder + u'/' + name;
}

std::optional<QString> readScriptFile(const QString& path, bool japanese, QString* reason) {
  const QFileInfo info(path);
  if (!info.exists()) {
    *reason =
        pick(japanese, QStringLiteral("no such file"), QStringLiteral("ファイルがありません"));
    return std::nullopt;
  }
  // A folder, a FIFO or a device would hang the read or never end.
  if (!info.isFile()) {
    *reason = pick(japanese, QStringLiteral("not a regular file"),
                   QStringLiteral("通常のファイルではありません"));
    return std::nullopt;
  }
  if (info.size() > kMaxScriptFileBytes) {
    *reason = pick(
        japanese,
        QStringLiteral("larger than %1 MiB: not a command file").arg(kMaxScriptFileBytes >> 20),
        QStringLiteral("%1 MiB を超えています (コマンドファイルではありません)")
            .arg(kMaxScriptFileBytes >> 20));
    return std::nullopt;
  }
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    *reason = file.errorString();
    return std::nullopt;
  }
  const QByteArray bytes = file.read(kMaxScriptFileBytes + 1);
  if (file.error() != QFileDevice::NoError) {
    *reason = file.errorString();
    return std::nullopt;
  }
  return scriptTextFromFile(bytes);
}

bool writeScriptFile(const QString& path, const QString& editorText, bool japanese,
                     QString* reason) {
  const QString text = editorText + QStringLiteral("\r\n");
  qsizetype lost = -1;
  const QByteArray bytes = toAnsi(text, &lost);
  if (lost >= 0) {
    const int line = static_cast<int>(QStringView(text).left(lost).count(u'\n')) + 1;
    const qsizetype length = text[lost].isHighSurrogate() && lost + 1 < text.size() ? 2 : 1;
    const QString character = text.mid(lost, length);
    const QString code =
        QString::number(character.toUcs4().value(0), 16).toUpper().rightJustified(4, u'0');
    *reason = pick(japanese,
                   QStringLiteral("the character \"%1\" (U+%2) on line %3 cannot be written in "
                                  "the file's code page")
                       .arg(character, code)
                       .arg(line),
                   QStringLiteral("%3行目の文字「%1」(U+%2) はファイルの文字コードで書けません")
                       .arg(character, code)
                       .arg(line));
    return false;
  }
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
    *reason = file.errorString();
    return false;
  }
  return true;
}

}  // namespace tavo
