#include "app/core/text_utils.h"

#include <QTime>
#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <string_view>

#include "platform/text/convert.h"

namespace tavo {
namespace {

constexpr char16_t kRawByteBase = 0xF700;

constexpr QChar ESC(0x1B), SI(0x0F), SO(0x0E), LF(0x0A);

bool isUpperHexDigit(QChar c) {
  return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F');
}

int hexDigitValue(QChar c) {
  if (c >= u'0' && c <= u'9') return c.unicode() - u'0';
  if (c >= u'A' && c <= u'F') return c.unicode() - u'A' + 10;
  if (c >= u'a' && c <= u'f') return c.unicode() - u'a' + 10;
  return -1;
}

std::u16string_view view(const QString& text, qsizetype from, qsizetype length) {
  return {reinterpret_cast<const char16_t*>(text.utf16()) + from, static_cast<size_t>(length)};
}

}  // namespace

QString expandEscapes(const QString& text) {
  QString out;
  out.reserve(text.size());
  qsizetype i = 0;
  while (i < text.size()) {
    const QStringView rest = QStringView(text).mid(i);
    if (rest.startsWith(u"esc$")) {
      out += ESC;
      i += 4;
    } else if (rest.startsWith(u"bin$") && rest.size() >= 6 && isUpperHexDigit(rest[4]) &&
               isUpperHexDigit(rest[5])) {
      out += rawByteChar(static_cast<unsigned char>(hexPairValue(rest.mid(4, 2).toString())));
      i += 6;
    } else if (rest.startsWith(u"si$")) {
      out += SI;
      i += 3;
    } else if (rest.startsWith(u"so$")) {
      out += SO;
      i += 3;
    } else if (rest.startsWith(u"lf$")) {
      out += LF;
      i += 3;
    } else {
      out += text[i];
      ++i;
    }
  }
  return out;
}

QString charsAt(const QString& text, qsizetype pos, qsizetype count) {
  return pos - 1 < text.size() ? text.mid(pos - 1, count) : QString();
}

QString showEscapes(const QString& text) {
  QString out;
  out.reserve(text.size());
  for (QChar c : text) {
    if (c == ESC)
      out += u"esc$";
    else if (c == SI)
      out += u"si$";
    else if (c == SO)
      out += u"so$";
    else if (c == LF)
      out += u"lf$";
    else
      out += c;
  }
  return out;
}

int hexPairValue(const QString& pair) {
  if (pair.isEmpty()) return 0;
  auto digit = [](QChar c) { return c.unicode() >= 64 ? c.unicode() - 55 : c.unicode() - 48; };
  return digit(pair.front()) * 16 + digit(pair.back());
}

long hexValue(const QString& text) {
  long value = 0;
  for (QChar c : text) {
    const int d = hexDigitValue(c);
    if (d < 0) break;
    value = value * 16 + d;
    if (value > 0xFFFFFF) break;  // far past any table; keeps the arithmetic bounded
  }
  return value;
}

double valNumber(const QString& text) {
  qsizetype i = 0;
  while (i < text.size() && (text[i] == u' ' || text[i] == u'\t')) ++i;
  const qsizetype start = i;
  if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) ++i;
  qsizetype digits = 0;
  while (i < text.size() && text[i].isDigit() && text[i].unicode() < 128) ++i, ++digits;
  if (i < text.size() && text[i] == u'.') {
    ++i;
    while (i < text.size() && text[i].unicode() < 128 && text[i].isDigit()) ++i, ++digits;
  }
  if (digits == 0) return 0;
  qsizetype end = i;
  if (i < text.size() && (text[i] == u'e' || text[i] == u'E')) {
    qsizetype j = i + 1;
    if (j < text.size() && (text[j] == u'+' || text[j] == u'-')) ++j;
    qsizetype expDigits = 0;
    while (j < text.size() && text[j].unicode() < 128 && text[j].isDigit()) ++j, ++expDigits;
    if (expDigits > 0) end = j;
  }
  bool ok = false;
  const double value = text.mid(start, end - start).toDouble(&ok);
  return ok && std::isfinite(value) ? value : 0;
}

qint32 roundToInt32(double value) {
  const double r = std::nearbyint(value);
  if (!(r >= std::numeric_limits<qint32>::min() && r <= std::numeric_limits<qint32>::max()))
    return 0;
  return static_cast<qint32>(r);
}

qint16 roundToInt16(double value) {
  const double r = std::nearbyint(value);
  if (!(r >= std::numeric_limits<qint16>::min() && r <= std::numeric_limits<qint16>::max()))
    return 0;
  return static_cast<qint16>(r);
}

QString plainNumber(double value) {
  if (value == std::floor(value) && std::fabs(value) < 1e15)
    return QString::number(static_cast<long long>(value));
  return QString::number(value, 'g', 7);
}

QString vbNumber(long value) {
  return value < 0 ? QString::number(value) : QStringLiteral(" ") + QString::number(value);
}

QString logPrepend(const QString& current, const QString& line) {
  constexpr qsizetype kKeep = 13000;
  return line + QStringLiteral("\r\n") + (current.size() > kKeep ? current.left(kKeep) : current);
}

std::optional<QString> lineSummary(qint32 baudRate, qint16 parity, qint16 dataBits,
                                   float stopBits) {
  static const char* const kLetters[] = {"N", "O", "E"};
  if (parity < 0 || parity > 2) return std::nullopt;
  return QString::number(baudRate) + u',' + QLatin1String(kLetters[parity]) + u',' +
         QString::number(dataBits) + u',' + plainNumber(stopBits);
}

QByteArray toAnsi(const QString& text, qsizetype* firstWithoutCode) {
  QByteArray out;
  out.reserve(text.size());
  if (firstWithoutCode) *firstWithoutCode = -1;
  qsizetype runStart = 0;
  auto flush = [&](qsizetype end) {
    if (end <= runStart) return;
    bool usedDefault = false;
    const std::string bytes = win::WideToAnsi(view(text, runStart, end - runStart), &usedDefault);
    out.append(bytes.data(), static_cast<qsizetype>(bytes.size()));
    if (!usedDefault || !firstWithoutCode || *firstWithoutCode >= 0) return;
    // Which character it was: the first one (a surrogate pair counts as one) that alone has no
    // code.
    for (qsizetype i = runStart; i < end; ++i) {
      const qsizetype length = text[i].isHighSurrogate() && i + 1 < end ? 2 : 1;
      bool lost = false;
      win::WideToAnsi(view(text, i, length), &lost);
      if (lost) {
        *firstWithoutCode = i;
        return;
      }
      i += length - 1;
    }
  };
  for (qsizetype i = 0; i < text.size(); ++i) {
    const char16_t c = text[i].unicode();
    if (c >= kRawByteBase && c <= kRawByteBase + 0xFF) {
      flush(i);
      out.append(static_cast<char>(c - kRawByteBase));
      runStart = i + 1;
    }
  }
  flush(text.size());
  return out;
}

QString fromAnsi(const QByteArray& bytes) {
  const std::u16string wide = win::AnsiToWide(std::string_view(bytes.constData(), bytes.size()));
  return QString::fromUtf16(wide.data(), static_cast<qsizetype>(wide.size()));
}

QChar rawByteChar(unsigned char b) {
  const char byte = static_cast<char>(b);
  const std::u16string wide = win::AnsiToWide(std::string_view(&byte, 1));
  if (wide.size() == 1) {
    bool usedDefault = false;
    const std::string back = win::WideToAnsi(wide, &usedDefault);
    if (!usedDefault && back.size() == 1 && back[0] == byte) return QChar(wide[0]);
  }
  return QChar(static_cast<char16_t>(kRawByteBase + b));
}

void waitSecondsWith(float seconds, const std::function<float()>& clock,
                     const std::function<void(float)>& yield,
                     const std::function<bool()>& abandon) {
  constexpr double kDay = 86400.0;
  const double wanted = seconds > 0 ? seconds : 0.0;  // NaN too
  const double start = clock();
  double last = start;
  double days = 0;  // a day for each midnight the clock passed
  for (;;) {
    // At most a second at a time: a clock that passes midnight between two readings is then
    // noticed within a second, not after a day.
    const double remaining = std::min(start + wanted - (last + days), 1.0);
    yield(remaining > 0 ? static_cast<float>(remaining) : 0.0f);
    if (abandon && abandon()) return;
    const double now = clock();
    if (now < last - kDay / 2) days += kDay;
    last = now;
    if (now + days - start >= wanted) return;
  }
}

float secondsSinceMidnight() {
  return static_cast<float>(QTime::currentTime().msecsSinceStartOfDay()) / 1000.0f;
}

}  // namespace tavo
