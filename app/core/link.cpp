// The link routines of Exchange: what goes on the wire and how received bytes are taken apart.
#include "app/core/exchange.h"
#include "app/core/frame.h"
#include "app/core/text_utils.h"

namespace tavo {
namespace {

constexpr qsizetype kReceivePassLimit = 512;  // bytes one receive pass accepts

struct Guide {
  const char16_t* commands[3];
  const char16_t* english;
  const char16_t* japanese;
};

constexpr Guide kGuides[] = {
    {{u"CO", u"HC"}, u"Card out", u"カード排出"},
    {{u"WR", u"WN"}, u"Write", u"ライト"},
    {{u"RD", u"DT"}, u"Read", u"リード"},
    {{u"PR", u"PP", u"PO"}, u"Print", u"プリント"},
    {{u"VR"}, u"Verify", u"ベリファイ"},
    {{u"CI"}, u"Please insert a card.", u"カードを挿入して下さい。"},
    {{u"PD"}, u"Print data setting", u"プリントデータセット"},
    {{u"PI"}, u"Print image data setting", u"プリントイメージデータセット"},
    {{u"WD"}, u"Write data setting", u"ライトデータセット"},
};

QString guideFor(const QString& command, bool japanese) {
  const QString head = command.left(2);
  for (const auto& g : kGuides)
    for (const char16_t* c : g.commands)
      if (c && head == QStringView(c)) return QString::fromUtf16(japanese ? g.japanese : g.english);
  return {};
}

bool isMasked(const QString& command) {
  return command.size() >= 2 && (command.startsWith(u"CT") || command.startsWith(u"!!"));
}

// A digit of a poll reply as a table index; anything but a digit reads 0.
int digitAt(const QString& text, qsizetype index) {
  if (index >= text.size()) return 0;
  const QChar c = text[index];
  return c >= u'0' && c <= u'9' ? c.unicode() - u'0' : 0;
}

}  // namespace

const QString& Exchange::commandOnWire() const {
  return m_.commandText == u"**" && !m_.maskedCommand.isEmpty() ? m_.maskedCommand : m_.commandText;
}

void Exchange::sendCommand() {
  if (!portOpen()) return;
  m_.guideText = guideFor(m_.commandText, japanese());
  view_.setControlText(QStringLiteral("Label37"), m_.guideText);

  // A repeat of a command shown as "**" (after a NAK, or a "B" answer for another command) sends
  // the real command again; the display keeps "**".
  m_.txFrame = toAnsi(commandOnWire() + m_.ETX);
  const QByteArray frame = commandFrame(m_.txFrame);

  view_.setTimerEnabled(TimerId::Timer2, false);
  view_.setTimerInterval(TimerId::Timer2, m_.commandText == u"RS" ? 1000 : 3000);
  view_.setTimerEnabled(TimerId::Timer3, false);
  view_.setTimerInterval(TimerId::Timer3, 10000);

  m_.rxBuffer.clear();
  m_.rxByte = -1;
  m_.rxState = 1;
  overflowReported_ = false;
  lastSentNak_ = false;

  const bool sent = port_.outputBytes(frame) >= 0;
  m_.sendRequest = 0;
  if (!sent) {
    commClose();
    return;
  }
  if (isMasked(m_.commandText)) {
    m_.maskedCommand = m_.commandText;
    m_.commandText = QStringLiteral("**");
  }
  view_.setControlText(QStringLiteral("Text5"), showEscapes(m_.commandText));
  view_.addLog(m_.commandText);
  view_.setControlText(QStringLiteral("Label7"), QStringLiteral("Wait Ans"));
  view_.setTimerEnabled(TimerId::Timer2, true);
  view_.setTimerEnabled(TimerId::Timer3, true);
  if (view_.isChecked(Option::AutoPoll)) m_.pollRequest = 1;
}

void Exchange::sendPolling() {
  if (portOpen()) {
    view_.setTimerEnabled(TimerId::Timer2, false);
    view_.setTimerInterval(TimerId::Timer2, m_.commandText == u"RS" ? 10000 : 3000);
    view_.setTimerEnabled(TimerId::Timer3, false);
    view_.setTimerInterval(TimerId::Timer3, 3000);
    m_.rxState = 1;
    m_.rxBuffer.clear();
    m_.rxByte = -1;
    overflowReported_ = false;
    lastSentNak_ = false;
    if (port_.outputText(m_.EOT + m_.ENQ) >= 0) {
      view_.setControlText(QStringLiteral("Label7"), QStringLiteral("Wait Ans"));
      view_.setTimerEnabled(TimerId::Timer2, true);
      view_.setTimerEnabled(TimerId::Timer3, true);
      view_.addLog(QStringLiteral("Poll"));
    } else {
      commClose();
      view_.showMessage(pick(u"Terminal OFF", u"端末がＯＦＦです"), MsgIcon::Critical);
    }
  }
  m_.pollRequest = 0;
}

void Exchange::sendNak() {
  view_.setTimerEnabled(TimerId::Timer2, false);
  view_.setTimerInterval(TimerId::Timer2, 200);
  m_.rxState = 1;
  m_.rxBuffer.clear();
  m_.rxByte = -1;
  overflowReported_ = false;
  if (port_.outputText(m_.NAK) < 1) {
    commClose();
  } else {
    lastSentNak_ = true;
    view_.setControlText(QStringLiteral("Label7"), QStringLiteral("Wait Ans"));
    view_.setTimerEnabled(TimerId::Timer2, true);
    view_.addLog(QStringLiteral("NAK"));
  }
  m_.nakRequest = 0;
}

void Exchange::rxdCheck() {
  // Once more bytes arrived than a pass takes, nothing is read or shown again until the next
  // transmission (a NAK after the reply time, or the give-up): one report, not one per tick.
  if (overflowReported_) return;
  if (portOpen() && port_.inputBufferByteCount() >= 1) {
    const QByteArray bytes = port_.inputBytes();
    if (!bytes.isEmpty()) m_.rxBuffer.append(bytes);
  }
  if (m_.rxBuffer.size() <= kReceivePassLimit) {
    const QByteArray pass = m_.rxBuffer;
    for (char b : pass) {
      m_.rxByte = static_cast<unsigned char>(b);
      codeCheck();
    }
    m_.rxBuffer.clear();
    m_.rxByte = -1;
  } else {
    overflowReported_ = true;
    view_.showMessage(pick(u"Received data overflow!!", u"受信バッファオーバーフロー!!"),
                      MsgIcon::None);
  }
}

void Exchange::codeCheck() {
  const int b = m_.rxByte;
  switch (m_.rxState) {
    case 1:
      if (b == kACK) {
        view_.setTimerEnabled(TimerId::Timer2, false);
        view_.setTimerEnabled(TimerId::Timer3, false);
        m_.replyType.clear();
        m_.replyText = QStringLiteral("ACK");
        m_.rxState = 0;
        m_.nakRequest = 0;
        if (view_.isChecked(Option::AutoPoll)) m_.pollRequest = 1;
        view_.setControlText(QStringLiteral("Label7"), {});
        view_.setControlText(QStringLiteral("Label10"), QStringLiteral("ACK"));
        view_.addLog(QStringLiteral("   ACK"));
        view_.setControlText(QStringLiteral("Label32"), QStringLiteral("1"));
      } else if (b == kNAK) {
        view_.setTimerEnabled(TimerId::Timer2, false);
        view_.setTimerEnabled(TimerId::Timer3, false);
        m_.replyType.clear();
        m_.replyText = QStringLiteral("NAK");
        m_.rxState = 0;
        m_.nakRequest = 0;
        m_.sendRequest = 1;
        view_.setControlText(QStringLiteral("Label10"), QStringLiteral("NAK"));
        view_.addLog(QStringLiteral("   NAK"));
        view_.setControlText(QStringLiteral("Label32"), QStringLiteral("1"));
        view_.setControlText(QStringLiteral("Label7"), {});
      } else if (b == kSTX) {
        m_.replyType.clear();
        m_.replyText.clear();
        m_.rxText.clear();
        m_.rxState = 2;
      } else {
        m_.replyType.clear();
        m_.replyText.clear();
        view_.setControlText(QStringLiteral("Label10"), QStringLiteral("?"));
        view_.addLog(QStringLiteral("   ?"));
        view_.setControlText(QStringLiteral("Label32"), QStringLiteral("1"));
      }
      return;

    case 2:
      m_.rxText.append(static_cast<char>(b));
      if (b == kETX) m_.rxState = 3;
      return;

    case 3:
      break;

    default:
      m_.rxState = 0;
      return;
  }

  // State 3: the check byte.
  view_.setTimerEnabled(TimerId::Timer2, false);
  view_.setTimerEnabled(TimerId::Timer3, false);
  if (blockCheck(m_.rxText) != static_cast<char>(b)) {
    m_.replyType.clear();
    m_.replyText.clear();
    m_.rxText.clear();
    m_.rxState = 0;
    m_.nakRequest = 0;
    if (view_.isChecked(Option::AutoPoll)) m_.pollRequest = 1;
    view_.setControlText(QStringLiteral("Label39"),
                         QStringLiteral("BCC error     ") + m_.replyCommand);
    view_.setControlText(QStringLiteral("Label25"), {});
    view_.setControlText(QStringLiteral("Label40"), {});
    view_.setControlText(QStringLiteral("Label7"), {});
    return;
  }

  QString text = fromAnsi(m_.rxText);
  m_.rxText.clear();
  view_.setControlText(QStringLiteral("Label32"), vbNumber(text.size() + 2));
  text.chop(1);  // the ETX
  m_.replyText = text;
  m_.replyType = text.left(1);
  m_.rxByte = -1;
  // Every reply ends the wait. This comes before the reply's own fields so that an answer the
  // "NAK" option asks to have repeated keeps its request.
  const bool answerToNak = lastSentNak_;
  m_.rxState = 0;
  m_.nakRequest = 0;
  view_.setControlText(QStringLiteral("Label7"), {});

  if (m_.replyType == u"R") {
    m_.replyStatus = text.mid(1, 2);
    m_.replyDetail = text.mid(3, 2);
    view_.setControlText(QStringLiteral("Label10"), QStringLiteral("R"));
    view_.addLog(QStringLiteral("   ") + text);
    view_.setControlText(QStringLiteral("Label25"), text.mid(1, 2));
    view_.setControlText(QStringLiteral("Label37"), {});
    view_.setControlText(QStringLiteral("Label40"),
                         m_.stateMessages[digitAt(text, 1)] + m_.cardMessages[digitAt(text, 2)]);
    view_.setControlText(QStringLiteral("Label39"),
                         pick(u"Command waiting　", u"コマンド待ち　　"));
  } else if (m_.replyType == u"A") {
    m_.replyCommand = text.mid(1, 2);
    m_.replyStatus = text.mid(3, 2);
    if (m_.replyCommand == u"CT" || m_.replyCommand == u"!!")
      m_.replyCommand = QStringLiteral("**");
    if (m_.replyStatus == u"12" && view_.isChecked(Option::AutoPoll)) m_.pollRequest = 1;
    // "NAK" asks the device to repeat each answer once; the repeat itself is not asked again.
    if (view_.isChecked(Option::Nak) && !answerToNak) m_.nakRequest = 1;
    view_.setControlText(QStringLiteral("Label10"), QStringLiteral("A") + m_.replyCommand);
    view_.addLog(QStringLiteral("   A") + m_.replyCommand + text.mid(3));
    view_.setControlText(QStringLiteral("Label25"), m_.replyStatus);
    view_.setControlText(QStringLiteral("Label40"), statusMessage(m_, m_.replyStatus, japanese()));
    view_.setControlText(QStringLiteral("Label39"),
                         pick(u"Command have done　", u"コマンド終了    ") + m_.replyCommand);
  } else if (m_.replyType == u"B") {
    m_.replyCommand = text.mid(1, 2);
    m_.replyDetail = text.mid(3, 2);
    view_.setControlText(QStringLiteral("Label10"), QStringLiteral("B") + m_.replyCommand);
    view_.addLog(QStringLiteral("   B") + m_.replyCommand + text.mid(3));
    view_.setControlText(QStringLiteral("Label25"), {});
    view_.setControlText(QStringLiteral("Label40"), {});
    view_.setControlText(QStringLiteral("Label39"),
                         pick(u"Command executing　", u"コマンド実行中　") + m_.replyCommand);
    if (m_.replyCommand != commandOnWire().left(2)) {
      m_.pollRequest = 0;
      m_.sendRequest = 1;
    } else if (view_.isChecked(Option::AutoPoll)) {
      m_.pollRequest = 1;
    }
  }
}

}  // namespace tavo
