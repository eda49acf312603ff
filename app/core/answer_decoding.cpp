#include "app/core/answer_decoding.h"

#include "app/core/text_utils.h"

namespace tavo {
namespace {

constexpr QChar kCR = u'\r';

// Characters from 1-based position `pos`, `count` of them; empty beyond the end.
// A digit of the text as a number; anything else reads 0, as the lenient reading does.
int digitValueAt(const QString& text, qsizetype pos) {
  return static_cast<int>(valNumber(charsAt(text, pos, 1)));
}

void decodeTph(Module1& m, const ShowText& show) {
  const QString& reply = m.replyText;
  if (reply.size() < 6) {
    show(QStringLiteral("Label9"), reply);
    return;
  }
  m.tphRank = charsAt(reply, 6, 1);
  show(QStringLiteral("Label9"), replyData(reply));
  QString text = QStringLiteral("TPH rank : ") + m.tphRank + kCR;
  const double rank = valNumber(m.tphRank);
  if (rank < 11) {
    const int index = static_cast<int>(rank);
    const QString band =
        index >= 0 && index < static_cast<int>(m.tphRanks.size()) ? m.tphRanks[index] : QString();
    text += QStringLiteral("Resist :") + band + QStringLiteral("ohm") + kCR;
  }
  if (reply.size() >= 8) {
    m.headTemperature = charsAt(reply, 7, 2);
    text += QStringLiteral("Temp  : ") + m.headTemperature + QStringLiteral("deg");
  }
  show(QStringLiteral("Label19"), text);
}

void decodeTrackResults(const QString& reply, const ShowText& show) {
  if (reply.size() < 13) {
    show(QStringLiteral("Label11"), replyData(reply));
    return;
  }
  show(QStringLiteral("Label11"), charsAt(reply, 6, 2));
  show(QStringLiteral("Label13"), charsAt(reply, 8, 2));
  show(QStringLiteral("Label24"), charsAt(reply, 10, 2));
  show(QStringLiteral("Label47"), charsAt(reply, 12, 2));
  if (reply.size() >= 15) show(QStringLiteral("Label48"), charsAt(reply, 14, 2));
}

void decodeClock(const QString& reply, const ShowText& show) {
  if (reply.size() < 19) return;
  static const QString kWeekdays = QString::fromUtf16(u"日月火水木金土　");
  const int day = digitValueAt(reply, 13);
  const QString weekday = day >= 0 && day < kWeekdays.size() ? QString(kWeekdays[day]) : QString();
  show(QStringLiteral("Label37"), QString::fromUtf16(u" 時計ﾃﾞｰﾀ : ") + charsAt(reply, 6, 2) +
                                      u'/' + charsAt(reply, 8, 2) + u'/' + charsAt(reply, 10, 2) +
                                      u'(' + weekday + u')' + charsAt(reply, 14, 2) + u':' +
                                      charsAt(reply, 16, 2) + u':' + charsAt(reply, 18, 2));
}

}  // namespace

QString replyData(const QString& replyText) {
  return replyText.size() < 6 ? replyText : replyText.mid(5);
}

void decodeAnswer(Module1& m, const ShowText& show) {
  const QString& reply = m.replyText;
  const QString command = m.commandText.left(2);
  if (command == u"ST") {
    show(QStringLiteral("Label14"), replyData(reply));
  } else if (command == u"VS") {
    show(QStringLiteral("Label12"), replyData(reply));
    if (reply.size() >= 6) m.versionText = replyData(reply);
  } else if (command == u"TH") {
    decodeTph(m, show);
  } else if (command == u"MR") {
    show(QStringLiteral("Text31"), replyData(reply));
  } else if (command == u"RE") {
    show(QStringLiteral("Label26"), replyData(reply));
  } else if (command == u"RC") {
    decodeTrackResults(reply, show);
  } else if (command == u"DT") {
    // "DT:4" and "DT:5" have no box of their own; their answer shows only in the log.
    if (m.commandText.size() >= 4) {
      const int track = m.commandText[3].digitValue();
      if (track >= 1 && track <= 3)
        show(QStringLiteral("Text32(%1)").arg(track), reply.size() < 7 ? reply : reply.mid(6));
    }
  } else if (command == u"CK") {
    decodeClock(reply, show);
  }

  const QString masked = m.maskedCommand.left(2);
  if (masked == u"CT") {
    show(QStringLiteral("Label2"), reply.size() < 12 ? reply : reply.mid(5));
  } else if (masked == u"!!" && reply.size() >= 15) {
    const QChar which = m.maskedCommand.size() > 2 ? m.maskedCommand[2] : QChar();
    if (which == u's')
      show(QStringLiteral("Label30"), voltsText(reply, 5));
    else if (which == u'l')
      show(QStringLiteral("Label41"), voltsText(reply, 5));
  }
}

QString voltsText(const QString& text, qsizetype from) {
  QStringList values;
  for (int k = 0; k < 5; ++k) {
    const long value = hexValue(text.mid(from + 2 * k, 2));
    values << QString::number(5.0 * static_cast<double>(value) / 255.0, 'f', 2);
  }
  return values.join(u' ');
}

Lamp lampFor(const QString& label25, const QString& label10) {
  if (label25.left(2) == u"90") return Lamp::BrightGreen;
  const QString type = label10.left(1);
  if (type == u"B") return Lamp::Yellow;
  if (type == u"R") return Lamp::BrightGreen;
  if (type == u"A") return Lamp::BrightRed;
  return Lamp::ButtonFace;
}

QColor lampColour(Lamp lamp) {
  switch (lamp) {
    case Lamp::BrightGreen:
      return QColor(0x00, 0xFF, 0x00);
    case Lamp::Yellow:
      return QColor(0xFF, 0xFF, 0x00);
    case Lamp::BrightRed:
      return QColor(0xFF, 0x00, 0x00);
    case Lamp::ButtonFace:
      break;
  }
  return {};
}

}  // namespace tavo
