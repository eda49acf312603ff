// libFuzzer target: the application's receive state machine (Exchange::codeCheck) and the
// answer decoding after it.
//
// Input: the first byte chooses the options and what is sent first: bit 0 "Auto Poll", bit 1
// "NAK", bit 2 "Fast mode", bit 3 Japanese messages, bit 4 a command first (else a poll), bits 5-7
// the command (VS, ST, TH, RC, DT:1, CK, CT:3, !!s). Every following byte is a byte from the
// device, handed to codeCheck through rxByte one at a time as the receive pass does. Whenever
// the exchange is idle before a byte, the harness sends what the scheduler would: a NAK when one
// is requested, else a poll when requested, else the command when requested, else a poll.
//
// Checks, each a crash with a message when broken, against a model of the reply syntax (ACK,
// NAK, or STX text ETX BCC where BCC is the XOR of the text and ETX):
// - rxState is 0-3 and follows the model: 1 waiting for a reply, 2 inside a text, 3 before the
//   BCC; rxText holds exactly the bytes since STX (so it never grows beyond what was received);
// - a byte that is none of ACK, NAK, STX while a reply is awaited is reported as "?" and the
//   wait goes on;
// - ACK and NAK end the wait with replyText "ACK" / "NAK" (NAK asks for the command again);
// - a bad BCC ends the wait with "BCC error" and no reply; a good one ends it with replyText
//   the decoded text without ETX, replyType its first character, replyStatus and replyCommand
//   taken from their positions for "R" and "A" replies;
// - every ending of the wait stops the reply and give-up timers;
// - request flags stay 0 or 1;
// - decoding the answer (unless "Fast mode") leaves every link variable as it was.
#include <QHash>
#include <QString>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "app/core/answer_decoding.h"
#include "app/core/exchange.h"
#include "app/core/module1.h"
#include "app/core/text_utils.h"

namespace tavo {
namespace {

[[noreturn]] void Fail(std::size_t at, const QString& what) {
  std::fprintf(stderr, "receive_fuzz: at device byte %zu: %s\n", at, what.toUtf8().constData());
  std::abort();
}

// The main window as far as the exchange sees it: texts by name, timers, options.
class View final : public ExchangeView {
 public:
  QHash<QString, QString> texts;
  bool timers[3] = {};
  bool options[4] = {};
  int logLines = 0;

  void setControlText(const QString& name, const QString& text) override { texts[name] = text; }
  bool isChecked(Option o) override { return options[static_cast<int>(o)]; }
  void addLog(const QString&) override { ++logLines; }
  void showMessage(const QString&, MsgIcon) override {}
  void setTimerEnabled(TimerId t, bool on) override { timers[static_cast<int>(t)] = on; }
  bool timerEnabled(TimerId t) override { return timers[static_cast<int>(t)]; }
  void setTimerInterval(TimerId, int) override {}
  void yieldEvents(int) override {}
  void decodeAnswer() override {}
};

// An open port that takes every transmission.
class Port final : public PortApi {
 public:
  int sent = 0;
  bool opened() override { return true; }
  void applySettings(const LineSettings&) override {}
  bool open(QString*) override { return true; }
  void close() override {}
  void clearInputBuffer() override {}
  void clearOutputBuffer() override {}
  int outputBytes(const QByteArray& b) override {
    ++sent;
    return static_cast<int>(b.size());
  }
  int outputText(const QString& t) override {
    ++sent;
    return static_cast<int>(t.size());
  }
  int inputBufferByteCount() override { return 0; }
  QByteArray inputBytes() override { return {}; }
  int portNumber() override { return 1; }
  bool dsr() override { return true; }
};

const char16_t* const kCommands[8] = {u"VS", u"ST", u"TH", u"RC", u"DT:1", u"CK", u"CT:3", u"!!s"};

// The link variables decoding must leave alone.
struct Link {
  QByteArray rxText;
  QString replyText, replyType, replyStatus, replyCommand, commandText;
  qint16 rxState, sendRequest, pollRequest, nakRequest;
  bool operator==(const Link&) const = default;
};
Link LinkOf(const Module1& m) {
  return {m.rxText,      m.replyText, m.replyType,   m.replyStatus, m.replyCommand,
          m.commandText, m.rxState,   m.sendRequest, m.pollRequest, m.nakRequest};
}

}  // namespace
}  // namespace tavo

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tavo;
  if (size == 0) return 0;
  Module1 m;
  resetLinkState(m);
  m.japaneseMode = (data[0] & 8) ? 1 : 0;
  initMessages(m);
  View view;
  view.options[static_cast<int>(Option::AutoPoll)] = data[0] & 1;
  view.options[static_cast<int>(Option::Nak)] = data[0] & 2;
  view.options[static_cast<int>(Option::FastMode)] = data[0] & 4;
  view.options[static_cast<int>(Option::DsrCheck)] = true;
  Port port;
  Exchange ex(m, port, view);

  m.commandText = QString::fromUtf16(kCommands[data[0] >> 5]);
  if (data[0] & 16)
    ex.sendCommand();
  else
    ex.sendPolling();

  QByteArray expectedText;  // the model's reply text since STX
  for (std::size_t i = 1; i < size; ++i) {
    if (m.rxState == 0) {
      if (m.nakRequest)
        ex.sendNak();
      else if (m.pollRequest)
        ex.sendPolling();
      else if (m.sendRequest)
        ex.sendCommand();
      else
        ex.sendPolling();
      if (m.rxState != 1) Fail(i, QStringLiteral("a transmission did not start a wait"));
      if (!m.rxText.isEmpty()) Fail(i, QStringLiteral("a transmission kept an old reply text"));
    }
    const int state = m.rxState;
    const std::uint8_t b = data[i];
    view.texts.remove(QStringLiteral("Label10"));
    view.texts.remove(QStringLiteral("Label39"));
    m.rxByte = b;
    ex.codeCheck();

    if (m.rxState < 0 || m.rxState > 3) Fail(i, QStringLiteral("rxState %1").arg(m.rxState));
    for (qint16 flag : {m.sendRequest, m.pollRequest, m.nakRequest})
      if (flag != 0 && flag != 1) Fail(i, QStringLiteral("a request flag is %1").arg(flag));
    const bool waitEnded = m.rxState == 0;
    if (waitEnded && (view.timers[1] || view.timers[2]))
      Fail(i, QStringLiteral("the wait ended with a reply timer running"));

    if (state == 1) {
      if (b == 0x06 || b == 0x15) {
        const QString text = b == 0x06 ? QStringLiteral("ACK") : QStringLiteral("NAK");
        if (!waitEnded || m.replyText != text || view.texts.value("Label10") != text)
          Fail(i, QStringLiteral("%1 did not end the wait as %1").arg(text));
        if (b == 0x15 && m.sendRequest != 1) Fail(i, QStringLiteral("NAK asked for no repeat"));
      } else if (b == 0x02) {
        if (m.rxState != 2 || !m.rxText.isEmpty()) Fail(i, QStringLiteral("STX opened no text"));
        expectedText.clear();
      } else if (m.rxState != 1 || view.texts.value("Label10") != QStringLiteral("?")) {
        Fail(i, QStringLiteral("a stray byte %1 was not reported as \"?\"").arg(b));
      }
    } else if (state == 2) {
      expectedText.append(static_cast<char>(b));
      if (m.rxText != expectedText) Fail(i, QStringLiteral("rxText is not the bytes since STX"));
      if (m.rxState != (b == 0x03 ? 3 : 2)) Fail(i, QStringLiteral("ETX and text states"));
    } else if (state == 3) {
      if (!waitEnded || !m.rxText.isEmpty()) Fail(i, QStringLiteral("the BCC byte ended no wait"));
      char bcc = 0;
      for (char c : expectedText) bcc = static_cast<char>(bcc ^ c);
      if (bcc != static_cast<char>(b)) {
        if (!view.texts.value("Label39").startsWith(QStringLiteral("BCC error")) ||
            !m.replyText.isEmpty() || !m.replyType.isEmpty())
          Fail(i, QStringLiteral("a bad BCC was taken"));
      } else {
        const QString text = fromAnsi(expectedText.chopped(1));
        if (m.replyText != text || m.replyType != text.left(1))
          Fail(i, QStringLiteral("reply \"%1\" read as \"%2\"").arg(text, m.replyText));
        if (m.replyType == u"R" && m.replyStatus != text.mid(1, 2))
          Fail(i, QStringLiteral("R status"));
        if (m.replyType == u"A") {
          const QString echo = text.mid(1, 2);
          const QString expected = (echo == u"CT" || echo == u"!!") ? QStringLiteral("**") : echo;
          if (m.replyCommand != expected || m.replyStatus != text.mid(3, 2))
            Fail(i, QStringLiteral("A echo or status"));
        }
        if (!view.options[static_cast<int>(Option::FastMode)]) {
          const Link before = LinkOf(m);
          decodeAnswer(m, [](const QString&, const QString&) {});
          if (!(LinkOf(m) == before)) Fail(i, QStringLiteral("decoding changed the link"));
        }
        lampFor(m.replyStatus, m.replyType);
      }
    } else if (m.rxState != 0) {
      Fail(i, QStringLiteral("a byte while idle started something"));
    }
  }
  return 0;
}
