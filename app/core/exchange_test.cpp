// The command exchange over a device played here, on a virtual clock: the view's timers fire in
// virtual time whenever the exchange lets events run, and the device answers what it is sent
// after a delay of its own. Expected frames and texts are worked out here, not taken from the
// code under test.
#include <gtest/gtest.h>

#include <cmath>

#include "app/core/qstring_printer.h"

#include <QHash>
#include <QStringList>
#include <deque>
#include <functional>

#include "app/core/exchange.h"
#include "app/core/module1.h"

namespace tavo {
namespace {

QByteArray bytes(std::initializer_list<int> values) {
  QByteArray b;
  for (int v : values) b.append(static_cast<char>(v));
  return b;
}

// STX text ETX BCC, BCC = XOR of the text bytes and ETX.
QByteArray reply(const QByteArray& text, bool goodCheck = true) {
  char bcc = 0x03;
  for (char c : text) bcc = static_cast<char>(bcc ^ c);
  if (!goodCheck) bcc = static_cast<char>(bcc ^ 0x55);
  return QByteArray(1, 0x02) + text + QByteArray(1, 0x03) + QByteArray(1, bcc);
}

QByteArray commandBytes(const QByteArray& text) {
  return QByteArray(1, 0x04) + reply(text);
}

const QByteArray kPoll = bytes({0x04, 0x05});
const QByteArray kNak = bytes({0x15});
const QByteArray kAck = bytes({0x06});

class FakePort final : public PortApi {
 public:
  bool isOpen = false;
  bool openSucceeds = true;
  QString openError = QStringLiteral("no such device");
  int opens = 0;
  bool dsrOn = true;
  QList<QByteArray> written;
  QByteArray available;
  // Called with every transmission; answers through answer().
  std::function<void(const QByteArray&)> device;
  double* clock = nullptr;

  struct Delivery {
    double at;
    QByteArray bytes;
  };
  std::deque<Delivery> pending;

  void answer(const QByteArray& b, double delayMs = 1) { pending.push_back({*clock + delayMs, b}); }
  void deliverDue() {
    while (!pending.empty() && pending.front().at <= *clock) {
      if (isOpen) available += pending.front().bytes;
      pending.pop_front();
    }
  }

  bool opened() override { return isOpen; }
  void applySettings(const LineSettings&) override {}
  bool open(QString* error) override {
    ++opens;
    isOpen = openSucceeds;
    if (!isOpen) *error = openError;
    return isOpen;
  }
  void close() override {
    isOpen = false;
    available.clear();
    pending.clear();
  }
  void clearInputBuffer() override { available.clear(); }
  void clearOutputBuffer() override {}
  int outputBytes(const QByteArray& b) override {
    if (!isOpen) return -1;
    written << b;
    if (device) device(b);
    return static_cast<int>(b.size());
  }
  int outputText(const QString& text) override { return outputBytes(text.toLatin1()); }
  int inputBufferByteCount() override { return isOpen ? static_cast<int>(available.size()) : 0; }
  QByteArray inputBytes() override {
    QByteArray b = available;
    available.clear();
    return b;
  }
  int portNumber() override { return 1; }
  bool dsr() override { return dsrOn; }
};

class FakeView final : public ExchangeView {
 public:
  struct Timer {
    bool enabled = false;
    int interval = 100;
    double due = 0;
  };

  static constexpr int kIdle = Exchange::kIdleInterval;
  double now = 0;
  double limit = 120000;  // virtual ms after which a test is a runaway
  Exchange* exchange = nullptr;
  FakePort* port = nullptr;
  Timer timers[3];
  QHash<QString, QString> texts;
  QStringList log;
  QStringList messages;
  bool autoPoll = true, fastMode = false, nak = false, dsrCheck = true;
  int decodes = 0;

  void setControlText(const QString& name, const QString& text) override { texts[name] = text; }
  bool isChecked(Option o) override {
    switch (o) {
      case Option::AutoPoll:
        return autoPoll;
      case Option::FastMode:
        return fastMode;
      case Option::Nak:
        return nak;
      case Option::DsrCheck:
        return dsrCheck;
    }
    return false;
  }
  void addLog(const QString& line) override { log << line; }
  void showMessage(const QString& text, MsgIcon) override { messages << text; }
  void setTimerEnabled(TimerId id, bool on) override {
    Timer& t = timers[static_cast<int>(id)];
    if (on && !t.enabled) t.due = now + t.interval;
    t.enabled = on;
  }
  bool timerEnabled(TimerId id) override { return timers[static_cast<int>(id)].enabled; }
  void setTimerInterval(TimerId id, int ms) override {
    Timer& t = timers[static_cast<int>(id)];
    t.interval = ms;
    if (t.enabled) t.due = now + ms;
  }
  // One millisecond of virtual time: the device's due bytes arrive, then every timer that is
  // due fires once (a timer handler may itself let events run).
  void yieldEvents(int) override {
    if (now > limit) throw std::runtime_error("virtual time limit passed");
    now += 1;
    port->deliverDue();
    for (int i = 0; i < 3; ++i) {
      Timer& t = timers[i];
      if (!t.enabled || t.due > now) continue;
      t.due = now + std::max(t.interval, 1);
      if (i == 0) exchange->Timer1_Timer();
      if (i == 1) exchange->Timer2_Timer();
      if (i == 2) exchange->Timer3_Timer();
    }
  }
  void decodeAnswer() override { ++decodes; }

  // Lets virtual time pass.
  void run(double ms) {
    const double end = now + ms;
    while (now < end) yieldEvents(-1);
  }
};

class ExchangeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m = Module1{};
    resetLinkState(m);
    initMessages(m);
    port.clock = &view.now;
    view.port = &port;
    view.exchange = &ex;
    ex.clock = [this] { return static_cast<float>(view.now / 1000.0); };
  }

  // Opens the port the way the first request does, and starts the scheduler.
  void openPort() {
    ex.commIni();
    ASSERT_TRUE(port.isOpen);
  }

  int count(const QByteArray& frame) const {
    return static_cast<int>(std::count(port.written.begin(), port.written.end(), frame));
  }

  Module1 m;
  FakePort port;
  FakeView view;
  Exchange ex{m, port, view};
};

TEST_F(ExchangeTest, FramesOnTheWire) {
  openPort();
  m.commandText = QStringLiteral("RS");
  ex.sendCommand();
  ASSERT_EQ(port.written.size(), 1);
  EXPECT_EQ(port.written[0], bytes({0x04, 0x02, 0x52, 0x53, 0x03, 0x02}));
  EXPECT_EQ(view.timers[1].interval, 1000);  // a reply to "RS" is awaited 1 s
  EXPECT_EQ(view.timers[2].interval, 10000);
  EXPECT_EQ(m.rxState, 1);
  EXPECT_EQ(view.texts["Label7"], "Wait Ans");

  m.commandText = QStringLiteral("PA");
  ex.sendPolling();
  EXPECT_EQ(port.written.last(), kPoll);
  EXPECT_EQ(view.timers[1].interval, 3000);
  EXPECT_EQ(view.timers[2].interval, 3000);
  EXPECT_EQ(view.log.last(), "Poll");

  ex.sendNak();
  EXPECT_EQ(port.written.last(), kNak);
  EXPECT_EQ(view.timers[1].interval, 200);
  EXPECT_EQ(view.log.last(), "NAK");
}

TEST_F(ExchangeTest, CodePage932CommandIsSentAsShiftJisBytes) {
  openPort();
  m.commandText = QString::fromUtf16(u"PD:0/4/0/テスト");
  ex.sendCommand();
  // テ 83 65, ス 83 58, ト 83 67.
  const QByteArray text = QByteArray("PD:0/4/0/") + bytes({0x83, 0x65, 0x83, 0x58, 0x83, 0x67});
  EXPECT_EQ(port.written.last(), commandBytes(text));
}

TEST_F(ExchangeTest, CommandAnsweredDirectly) {
  port.device = [this](const QByteArray& b) {
    if (b == commandBytes("VS")) port.answer(reply("AVS902.10"));
  };
  openPort();
  m.commandText = QStringLiteral("VS");
  ex.comu();
  EXPECT_EQ(m.replyType, "A");
  EXPECT_EQ(m.replyCommand, "VS");
  EXPECT_EQ(m.replyStatus, "90");
  EXPECT_EQ(m.replyText, "AVS902.10");
  EXPECT_EQ(view.texts["Label10"], "AVS");
  EXPECT_EQ(view.texts["Label25"], "90");
  EXPECT_EQ(view.texts["Label40"], m.errorMessages[0x90]);
  EXPECT_EQ(view.texts["Label40"], QString::fromUtf16(u"OK                        "));
  EXPECT_EQ(view.texts["Label39"], QString::fromUtf16(u"コマンド終了    VS"));
  EXPECT_EQ(view.texts["Label32"], " 12");  // nine text characters and ETX, + 2
  EXPECT_EQ(view.log, QStringList({"VS", "   AVS902.10"}));
  EXPECT_EQ(view.decodes, 1);
  EXPECT_EQ(m.commBusy, 0);
  EXPECT_EQ(m.pollRequest, 1);  // "Auto Poll": a poll follows the command
}

TEST_F(ExchangeTest, ShortStatusReplyAndItsLength) {
  port.device = [this](const QByteArray& b) {
    if (b == commandBytes("RS")) port.answer(reply("ARS90"));
  };
  openPort();
  m.commandText = QStringLiteral("RS");
  m.replyType.clear();
  m.sendRequest = 1;
  view.run(20);
  EXPECT_EQ(m.replyCommand, "RS");
  EXPECT_EQ(view.texts["Label32"], " 8");
  EXPECT_EQ(view.texts["Label40"], m.errorMessages[144]);
}

TEST_F(ExchangeTest, FastModeSkipsDecodingOnly) {
  view.fastMode = true;
  port.device = [this](const QByteArray& b) {
    if (b == commandBytes("ST")) port.answer(reply("AST90X"));
  };
  openPort();
  m.commandText = QStringLiteral("ST");
  ex.comu();
  EXPECT_EQ(view.decodes, 0);
  EXPECT_EQ(view.texts["Label10"], "AST");
}

TEST_F(ExchangeTest, DeviceNakRepeatsTheCommandWithoutLimit) {
  int naks = 0;
  port.device = [&](const QByteArray& b) {
    if (b == kPoll) port.answer(reply("R0000"));  // "Auto Poll" polls before each repeat
    if (b != commandBytes("VS")) return;
    if (naks < 5) {
      ++naks;
      port.answer(kNak);
    } else {
      port.answer(reply("AVS90"));
    }
  };
  openPort();
  m.commandText = QStringLiteral("VS");
  ex.comu();
  EXPECT_EQ(count(commandBytes("VS")), 6);
  EXPECT_EQ(m.replyType, "A");
  EXPECT_EQ(view.log.count("   NAK"), 5);
  EXPECT_TRUE(view.messages.isEmpty());
}

TEST_F(ExchangeTest, SilentDeviceGetsNaksThenTheLinkGivesUp) {
  view.autoPoll = false;
  openPort();
  m.commandText = QStringLiteral("VS");
  const double start = view.now;
  ex.comu();
  const double took = view.now - start;
  // No answer: NAK after 3000 ms, then every 200 ms, until the give-up after 10000 ms.
  EXPECT_GE(took, 10000);
  EXPECT_LT(took, 10300);
  const int naks = count(kNak);
  EXPECT_GE(naks, 30);
  EXPECT_LE(naks, 36);
  EXPECT_FALSE(port.isOpen);
  ASSERT_EQ(view.messages.size(), 1);
  EXPECT_EQ(view.messages[0], QString::fromUtf16(u"端末から1秒間応答がありません"));
  EXPECT_EQ(m.commBusy, 0);
  EXPECT_FALSE(view.timers[0].enabled);

  // The next request reopens the port.
  port.device = [this](const QByteArray& b) {
    if (b == kPoll) port.answer(reply("R0000"));
  };
  ex.poll();  // the port is closed: the poll opens it
  EXPECT_TRUE(port.isOpen);
  EXPECT_EQ(port.opens, 2);
  EXPECT_EQ(m.replyType, "R");
}

TEST_F(ExchangeTest, EnglishGiveUpMessage) {
  m.japaneseMode = 0;
  initMessages(m);
  openPort();
  m.commandText = QStringLiteral("PA");
  ex.comu();
  ASSERT_EQ(view.messages.size(), 1);
  EXPECT_EQ(view.messages[0], "No response 1sec.");
}

TEST_F(ExchangeTest, ReplyAfterOneNakIsTaken) {
  int sent = 0;
  port.device = [&](const QByteArray& b) {
    if (b == commandBytes("VS")) ++sent;  // the first frame goes unanswered
    if (b == kNak) port.answer(reply("AVS90"));
  };
  openPort();
  m.commandText = QStringLiteral("VS");
  ex.comu();
  EXPECT_EQ(sent, 1);
  EXPECT_EQ(count(kNak), 1);
  EXPECT_EQ(m.replyType, "A");
  EXPECT_TRUE(port.isOpen);
}

TEST_F(ExchangeTest, BadCheckByteShowsBccErrorAndPollsWithoutNak) {
  QString stateWhenPolled;
  bool vsSent = false;
  port.device = [&](const QByteArray& b) {
    if (b == commandBytes("PA")) port.answer(reply("APA90"));
    if (b == commandBytes("VS")) vsSent = true, port.answer(reply("AVS90", false));
    if (b == kPoll && vsSent) stateWhenPolled = view.texts["Label39"] + "|" + view.texts["Label25"];
    if (b == kPoll) port.answer(reply("R0000"));
  };
  openPort();
  m.commandText = QStringLiteral("PA");
  ex.comu();
  EXPECT_EQ(m.replyCommand, "PA");
  view.run(200);  // the poll that follows "PA"
  m.commandText = QStringLiteral("VS");
  m.replyType.clear();
  m.sendRequest = 1;
  view.run(200);
  // The poll that "Auto Poll" sends after the bad reply finds the error shown.
  EXPECT_EQ(stateWhenPolled, "BCC error     PA|");
  EXPECT_EQ(count(kNak), 0);
  EXPECT_EQ(count(kPoll), 2);
  EXPECT_EQ(m.replyType, "R");
}

// A command whose answer was dropped for its check byte, with a status reply (or nothing) after
// it, leaves nothing on the link that could bring the answer: the command ends there, without an
// "A" answer, instead of waiting for ever; the port stays open and the next command goes through.
TEST_F(ExchangeTest, AnswerLostToItsCheckByteEndsTheWaitWithoutTheAnswer) {
  int vs = 0;
  port.device = [&](const QByteArray& b) {
    if (b == commandBytes("VS") && ++vs == 1) port.answer(reply("AVS90", false));
    if (b == commandBytes("VS") && vs > 1) port.answer(reply("AVS902.10"));
    if (b == commandBytes("PA")) port.answer(reply("APA90", false));
    if (b == kPoll) port.answer(reply("R0000"));
  };
  openPort();
  m.commandText = QStringLiteral("VS");
  ex.comu();  // "Auto Poll": the poll after the bad answer gets the status
  EXPECT_EQ(m.replyType, "R");
  EXPECT_EQ(m.commBusy, 0);
  EXPECT_LT(view.now, 3000) << "ended by the status, not by a time-out";
  view.autoPoll = false;
  const double before = view.now;
  m.commandText = QStringLiteral("PA");
  ex.comu();  // no poll follows: the bad answer itself leaves the link quiet
  EXPECT_TRUE(m.replyType.isEmpty());
  EXPECT_LT(view.now - before, 3000);
  EXPECT_EQ(count(kNak), 0);
  m.commandText = QStringLiteral("VS");
  ex.comu();
  EXPECT_EQ(m.replyType, "A");
  EXPECT_EQ(m.replyText, "AVS902.10");
  EXPECT_TRUE(port.isOpen);
}

// Without "Auto Poll" nothing polls after a busy answer or a poll reply dropped for its check
// byte: the waits end there rather than never.
TEST_F(ExchangeTest, WithoutAutoPollABusyAnswerOrABadPollReplyEndsTheWait) {
  port.device = [&](const QByteArray& b) {
    if (b == commandBytes("CO")) port.answer(reply("BCO00"));
    if (b == kPoll) port.answer(reply("R0000", false));
  };
  view.autoPoll = false;
  openPort();
  m.commandText = QStringLiteral("CO");
  ex.comu();
  EXPECT_EQ(m.replyType, "B");
  EXPECT_EQ(m.commBusy, 0);
  ex.poll();
  EXPECT_TRUE(m.replyType.isEmpty());
  EXPECT_EQ(m.commBusy, 0);
  EXPECT_TRUE(port.isOpen);
  EXPECT_LT(view.now, 3000);
}

TEST_F(ExchangeTest, BusyAnswerWithAnotherEchoSendsTheCommandAgain) {
  int vs = 0;
  port.device = [&](const QByteArray& b) {
    if (b == commandBytes("VS") && ++vs == 1)
      port.answer(reply("BCI00"));
    else if (b == commandBytes("VS"))
      port.answer(reply("AVS90"));
  };
  view.autoPoll = false;
  openPort();
  m.commandText = QStringLiteral("VS");
  ex.comu();
  EXPECT_EQ(vs, 2);
  EXPECT_TRUE(view.log.contains("   BCI00"));
  EXPECT_EQ(view.texts["Label39"], QString::fromUtf16(u"コマンド終了    VS"));
}

TEST_F(ExchangeTest, MaskedCommandIsShownAsStarsButRepeatedForReal) {
  int frames = 0;
  port.device = [&](const QByteArray& b) {
    if (b == commandBytes("CT:0") && ++frames == 1)
      port.answer(kNak);
    else if (b == commandBytes("CT:0"))
      port.answer(reply("ACT9000001234"));
  };
  view.autoPoll = false;
  openPort();
  m.commandText = QStringLiteral("CT:0");
  ex.comu();
  EXPECT_EQ(frames, 2);
  EXPECT_EQ(count(commandBytes("**")), 0);
  EXPECT_EQ(view.log, QStringList({"**", "   NAK", "**", "   A**9000001234"}));
  EXPECT_EQ(view.texts["Text5"], "**");
  EXPECT_EQ(view.texts["Label10"], "A**");
  EXPECT_EQ(m.replyCommand, "**");
  EXPECT_EQ(m.maskedCommand, "");  // cleared when comu ends
}

TEST_F(ExchangeTest, ReceiveStatesOneByteAtATime) {
  openPort();
  auto feed = [this](int b) {
    m.rxByte = b;
    ex.codeCheck();
  };
  // State 0 drops bytes.
  m.rxState = 0;
  feed(0x06);
  EXPECT_EQ(m.rxState, 0);
  EXPECT_TRUE(view.log.isEmpty());
  // State 1: a stray byte shows "?" and keeps waiting.
  m.rxState = 1;
  feed('x');
  EXPECT_EQ(m.rxState, 1);
  EXPECT_EQ(view.texts["Label10"], "?");
  EXPECT_EQ(view.texts["Label32"], "1");
  // ACK ends the wait.
  view.setTimerEnabled(TimerId::Timer2, true);
  feed(0x06);
  EXPECT_EQ(m.rxState, 0);
  EXPECT_EQ(m.replyText, "ACK");
  EXPECT_EQ(view.texts["Label10"], "ACK");
  EXPECT_FALSE(view.timers[1].enabled);
  EXPECT_EQ(m.pollRequest, 1);
  // NAK asks for the command again.
  m.rxState = 1;
  m.pollRequest = 0;
  feed(0x15);
  EXPECT_EQ(m.sendRequest, 1);
  EXPECT_EQ(m.replyText, "NAK");
  // STX, text, ETX, check byte: a poll reply.
  m.sendRequest = 0;
  m.rxState = 1;
  for (char c : reply("R12AB")) feed(static_cast<unsigned char>(c));
  EXPECT_EQ(m.rxState, 0);
  EXPECT_EQ(m.replyType, "R");
  EXPECT_EQ(m.replyStatus, "12");
  EXPECT_EQ(m.replyDetail, "AB");
  EXPECT_EQ(view.texts["Label25"], "12");
  EXPECT_EQ(view.texts["Label40"], m.stateMessages[1] + m.cardMessages[2]);
  EXPECT_EQ(view.texts["Label39"], QString::fromUtf16(u"コマンド待ち　　"));
  // A reply type the link does not know still ends the wait.
  m.rxState = 1;
  for (char c : reply("Zzz")) feed(static_cast<unsigned char>(c));
  EXPECT_EQ(m.rxState, 0);
  EXPECT_EQ(m.replyType, "Z");
}

TEST_F(ExchangeTest, NonDigitCardPositionReadsZero) {
  openPort();
  m.rxState = 1;
  for (char c : reply("R2x00")) {
    m.rxByte = static_cast<unsigned char>(c);
    ex.codeCheck();
  }
  EXPECT_EQ(view.texts["Label40"], m.stateMessages[2] + m.cardMessages[0]);
}

TEST_F(ExchangeTest, BytesAfterACompleteReplyInTheSamePassAreDropped) {
  openPort();
  m.rxState = 1;
  port.available = kAck + reply("AVS90");
  ex.rxdCheck();
  EXPECT_EQ(m.replyText, "ACK");
  EXPECT_EQ(m.rxState, 0);
  EXPECT_TRUE(port.available.isEmpty());
  EXPECT_EQ(view.log, QStringList({"   ACK"}));
}

TEST_F(ExchangeTest, PendingNakIsServedBeforeTheReceiveStep) {
  openPort();
  m.rxState = 2;  // inside a reply that stopped coming
  m.nakRequest = 1;
  ex.Timer1_Timer();
  EXPECT_EQ(port.written.last(), kNak);
  EXPECT_EQ(m.nakRequest, 0);
  EXPECT_EQ(m.rxState, 1);
}

TEST_F(ExchangeTest, SchedulerIntervals) {
  openPort();
  ex.Timer1_Timer();
  EXPECT_EQ(view.timers[0].interval, FakeView::kIdle);  // nothing pending
  m.rxState = 1;                                        // a reply awaited
  ex.Timer1_Timer();
  EXPECT_EQ(view.timers[0].interval, 2);
  m.rxState = 0;
  m.replyStatus = QStringLiteral("12");
  ex.Timer1_Timer();
  EXPECT_EQ(view.timers[0].interval, 10);
  m.replyStatus.clear();
  m.replyType = QStringLiteral("B");
  ex.Timer1_Timer();
  EXPECT_EQ(view.timers[0].interval, 10);
  m.replyType.clear();
  ex.Timer2_Timer();  // the reply time passed: a NAK is due, and the next tick comes at once
  EXPECT_EQ(view.timers[0].interval, 0);
  m.rxState = 0;
  ex.Timer1_Timer();                      // sends it
  EXPECT_EQ(view.timers[0].interval, 2);  // its reply is awaited
  m.nakRequest = 1;
  m.rxState = 1;
  port.isOpen = false;  // the NAK send fails: the link is closed, but a later NAK...
  port.openSucceeds = false;
  ex.Timer1_Timer();
  EXPECT_TRUE(view.timers[0].enabled);  // the tick always rearms the scheduler
  EXPECT_EQ(view.texts["Label33"], "False");
}

TEST_F(ExchangeTest, OverflowIsReportedOnceAndClearedByTheNextTransmission) {
  openPort();
  m.rxState = 1;
  port.available = QByteArray(600, 'x');
  ex.rxdCheck();
  port.available = QByteArray(10, 'y');
  ex.rxdCheck();
  ex.rxdCheck();
  ASSERT_EQ(view.messages.size(), 1);
  EXPECT_EQ(view.messages[0], QString::fromUtf16(u"受信バッファオーバーフロー!!"));
  EXPECT_EQ(m.rxBuffer.size(), 600);  // left as it was
  ex.sendNak();
  EXPECT_TRUE(m.rxBuffer.isEmpty());
  port.available = kAck;
  ex.rxdCheck();
  EXPECT_EQ(m.replyText, "ACK");
}

TEST_F(ExchangeTest, NakOptionAsksForEachAnswerOnce) {
  view.nak = true;
  view.autoPoll = false;
  port.device = [this](const QByteArray& b) {
    if (b == commandBytes("VS") || b == kNak) port.answer(reply("AVS90"));
  };
  openPort();
  m.commandText = QStringLiteral("VS");
  ex.comu();
  view.run(100);
  EXPECT_EQ(count(kNak), 1);
  EXPECT_EQ(m.nakRequest, 0);
  EXPECT_EQ(m.rxState, 0);
  EXPECT_EQ(view.log.count("   AVS90"), 2);
}

TEST_F(ExchangeTest, FailedOpenLeavesThePortClosedAndSaysWhyOnce) {
  port.openSucceeds = false;
  ex.commIni();
  EXPECT_FALSE(port.isOpen);
  EXPECT_FALSE(view.timers[0].enabled);
  EXPECT_EQ(ex.lastOpenError(), "no such device");
  ex.commIni();
  EXPECT_EQ(view.log.size(), 1);
  EXPECT_TRUE(view.log[0].endsWith("no such device"));

  // comu on a closed port sends nothing and returns at once; a poll tries to open it once.
  m.commandText = QStringLiteral("VS");
  ex.comu();
  EXPECT_TRUE(port.written.isEmpty());
  EXPECT_EQ(m.commBusy, 0);
  const int opens = port.opens;
  ex.poll();
  EXPECT_EQ(port.opens, opens + 1);
  EXPECT_EQ(m.commBusy, 0);
  EXPECT_TRUE(port.written.isEmpty());
}

TEST_F(ExchangeTest, FirstSendAfterStartOpensThePortAndSendsTheCommand) {
  port.device = [this](const QByteArray& b) {
    if (b == kPoll) port.answer(reply("R0000"));
    if (b == commandBytes("VS")) port.answer(reply("AVS90"));
  };
  view.setTimerEnabled(TimerId::Timer1, true);  // as after start-up: scheduler on, port closed
  ex.poll();
  m.commandText = QStringLiteral("VS");
  ex.comu();
  EXPECT_EQ(port.written, QList<QByteArray>({kPoll, commandBytes("VS")}));
  EXPECT_EQ(m.replyType, "A");
}

TEST_F(ExchangeTest, StatusWaitKeepsPollingThroughGiveUpsUntilAStatusComes) {
  int polls = 0;
  port.device = [&](const QByteArray& b) {
    if (b == commandBytes("RS")) port.answer(kAck);
    if (b == kPoll && ++polls > 2) port.answer(reply("R0000"));
  };
  openPort();
  m.commandText = QStringLiteral("RS");
  ex.comu();
  EXPECT_EQ(m.replyType, "R");
  EXPECT_EQ(port.written.first(), commandBytes("RS"));  // the command goes out before any poll
  EXPECT_GE(port.opens, 2);  // a give-up closed the port and a poll opened it again
  EXPECT_GE(view.messages.size(), 1);
}

TEST_F(ExchangeTest, TestQuitEndsAStatusWaitWithNoDevice) {
  port.openSucceeds = true;
  openPort();
  port.openSucceeds = false;  // the device is gone: every reopen fails
  m.commandText = QStringLiteral("RS");
  bool pressed = false;
  port.device = [&](const QByteArray&) {
    if (!pressed && view.now > 5000) {
      pressed = true;
      ex.cmdTeishi_Click();
    }
  };
  ex.comu();
  EXPECT_TRUE(pressed);
  EXPECT_EQ(port.written.first(), commandBytes("RS"));
  EXPECT_EQ(m.stopRequest, 1);
  EXPECT_EQ(m.commBusy, 0);
}

TEST_F(ExchangeTest, WaitAcrossMidnightAndAWaitCutShort) {
  // Half a second before midnight, a wait of 1.5 seconds lasts 1.5 seconds of the view's time.
  ex.clock = [this] { return static_cast<float>(std::fmod(86399.5 + view.now / 1000.0, 86400.0)); };
  ex.waitSeconds(1.5f);
  EXPECT_GE(view.now, 1500.0);
  EXPECT_LT(view.now, 1600.0);
  // A wait its caller stops (an aborted run) ends then, not at its time.
  const double start = view.now;
  ex.waitSeconds(100.0f, [&] { return view.now - start >= 300.0; });
  EXPECT_GE(view.now - start, 300.0);
  EXPECT_LT(view.now - start, 400.0);
}

TEST_F(ExchangeTest, PortEvents) {
  openPort();
  ex.Port1_CommState(2);  // DSR still on: nothing
  EXPECT_TRUE(port.isOpen);
  port.dsrOn = false;
  view.dsrCheck = false;
  ex.Port1_CommState(2);
  EXPECT_TRUE(port.isOpen);
  view.dsrCheck = true;
  ex.Port1_CommState(4);  // RING: not a line that says the device is there
  EXPECT_TRUE(port.isOpen);
  ex.Port1_CommState(2);
  EXPECT_FALSE(port.isOpen);
  EXPECT_EQ(view.messages.last(), QString::fromUtf16(u"端末がＯＦＦです"));
  // DSR dropping together with CD is reported as a CD change: DSR is read all the same.
  openPort();
  ex.Port1_CommState(3);
  EXPECT_FALSE(port.isOpen);
  EXPECT_EQ(view.messages.size(), 2);
  port.dsrOn = true;
  openPort();
  ex.Port1_CommState(1);  // CTS with DSR on: nothing
  EXPECT_TRUE(port.isOpen);

  openPort();
  ex.Port1_CommError(1030);
  EXPECT_TRUE(port.isOpen);
  ex.Port1_CommError(1025);
  EXPECT_FALSE(port.isOpen);
  EXPECT_EQ(view.messages.last(), QString::fromUtf16(u"オーバーランが発生しました！"));
}

TEST_F(ExchangeTest, ComuShowsParametersOfTheCommand) {
  port.device = [this](const QByteArray& b) {
    if (b.size() > 4) port.answer(reply("A" + b.mid(2, 2) + "90"));
  };
  view.autoPoll = false;
  openPort();
  m.commandText = QStringLiteral("MS:F1X0");
  ex.comu();
  EXPECT_EQ(view.texts["Text10"], "F1X0");
  m.commandText = QStringLiteral("WD:2/ABC");
  ex.comu();
  EXPECT_EQ(view.texts["txtWd(2)"], "ABC");
  m.commandText = QStringLiteral(
      "PD:0/0/0/\x1B"
      "e22X\nY");
  ex.comu();
  EXPECT_EQ(view.texts["Text9"], "0/0/0/esc$e22Xlf$Y");
}

}  // namespace
}  // namespace tavo
