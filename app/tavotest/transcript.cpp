#include "app/tavotest/transcript.h"

#include <cstdio>

namespace tavo {

QString escapeText(const QString& text) {
  QString out;
  out.reserve(text.size());
  for (QChar c : text) {
    const char16_t u = c.unicode();
    if (u == u'\r')
      out += QStringLiteral("\\r");
    else if (u == u'\n')
      out += QStringLiteral("\\n");
    else if (u == u'\t')
      out += QStringLiteral("\\t");
    else if (u < 0x20 || u == 0x7F)
      out += QStringLiteral("\\x") + QString::number(u, 16).toUpper().rightJustified(2, u'0');
    else
      out += c;
  }
  return out;
}

void printLine(const QString& line) {
  const QByteArray bytes = line.toUtf8();
  std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

}  // namespace tavo
