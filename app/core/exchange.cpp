// The scheduler, the timers, opening and closing the port, and the execution of one command.
#include "app/core/exchange.h"

#include "app/core/text_utils.h"

namespace tavo {

Exchange::Exchange(Module1& m, PortApi& port, ExchangeView& view)
    : clock(secondsSinceMidnight), m_(m), port_(port), view_(view) {}

bool Exchange::portOpen() {
  return port_.opened();
}

QString Exchange::pick(const char16_t* english, const char16_t* japaneseText) const {
  return QString::fromUtf16(japanese() ? japaneseText : english);
}

void Exchange::waitUntil(const std::function<bool()>& done) {
  while (!done() && !m_.appEnding) view_.yieldEvents();
}

bool Exchange::linkQuiet() const {
  return m_.rxState == 0 && m_.pollRequest == 0 && m_.sendRequest == 0 && m_.nakRequest == 0;
}

void Exchange::waitSeconds(float seconds, const std::function<bool()>& stopWaiting) {
  waitSecondsWith(
      seconds, clock,
      [this](float remaining) { view_.yieldEvents(static_cast<int>(remaining * 1000.0f) + 1); },
      [&] { return m_.appEnding || (stopWaiting && stopWaiting()); });
}

void Exchange::Timer1_Timer() {
  view_.setTimerEnabled(TimerId::Timer1, false);

  // A pending NAK comes before the receive step: the reply timer raises it while a reply is
  // still awaited, and the receive step would otherwise keep it from ever being sent.
  if (m_.nakRequest != 0) {
    if (!portOpen()) commIni();
    sendNak();
  } else if (m_.rxState != 0) {
    rxdCheck();
  } else if (m_.pollRequest != 0) {
    if (!portOpen()) commIni();
    sendPolling();
  } else if (m_.sendRequest != 0) {
    if (!portOpen()) commIni();
    sendCommand();
  }

  int interval = m_.normalInterval;
  if (m_.nakRequest == 1)
    interval = m_.nakInterval;
  else if (m_.replyStatus == u"12" || m_.replyType == u"B")
    interval = m_.busyInterval;
  // With nothing to send or receive the scheduler only refreshes the port labels, so it ticks
  // slower; a request raised meanwhile brings the next tick at once (kickScheduler).
  if (interval == m_.normalInterval && m_.rxState == 0 && m_.pollRequest == 0 &&
      m_.sendRequest == 0)
    interval = kIdleInterval;
  view_.setTimerInterval(TimerId::Timer1, interval);
  view_.setTimerEnabled(TimerId::Timer1, true);
  showLineState();
}

void Exchange::showLineState() {
  const bool open = portOpen();
  view_.setControlText(QStringLiteral("Label35"), QString::number(port_.portNumber()));
  view_.setControlText(QStringLiteral("Label33"),
                       open ? QStringLiteral("True") : QStringLiteral("False"));
  if (open) {
    if (auto summary = lineSummary(m_.baudRate, m_.parity, m_.dataBits, m_.stopBits))
      view_.setControlText(QStringLiteral("Label1"), *summary);
  }
}

void Exchange::Timer2_Timer() {
  view_.setTimerEnabled(TimerId::Timer2, false);
  m_.nakRequest = 1;
  kickScheduler();
}

void Exchange::kickScheduler() {
  if (view_.timerEnabled(TimerId::Timer1)) view_.setTimerInterval(TimerId::Timer1, 0);
}

void Exchange::Timer3_Timer() {
  view_.setTimerEnabled(TimerId::Timer3, false);
  view_.setTimerEnabled(TimerId::Timer2, false);
  view_.setControlText(QStringLiteral("Label7"), {});
  commClose();
  view_.showMessage(pick(u"No response 1sec.", u"端末から1秒間応答がありません"),
                    MsgIcon::Critical);
}

void Exchange::commIni() {
  if (view_.timerEnabled(TimerId::Timer1)) view_.setTimerEnabled(TimerId::Timer1, false);
  commClose();
  LineSettings s;
  s.baudRate = m_.baudRate;
  s.parity = m_.parity;
  s.dataBits = m_.dataBits;
  s.stopBits = m_.stopBits;
  s.handshaking = m_.handshaking;
  s.portNumber = m_.portNumber;
  port_.applySettings(s);
  QString error;
  if (port_.open(&error)) {
    lastOpenError_.clear();
    reportedOpenError_.clear();
    view_.setTimerInterval(TimerId::Timer1, m_.normalInterval);
    view_.setTimerEnabled(TimerId::Timer1, true);
    port_.clearInputBuffer();
    port_.clearOutputBuffer();
    return;
  }
  // The port stays closed and the next request tries again. The reason goes to the log once,
  // not at every retry, so an operator sees why nothing reaches the device.
  lastOpenError_ = error.isEmpty() ? pick(u"the port did not open", u"ポートが開きません") : error;
  if (lastOpenError_ != reportedOpenError_) {
    reportedOpenError_ = lastOpenError_;
    view_.addLog(pick(u"Cannot open the port: ", u"ポートを開けません: ") + lastOpenError_);
  }
}

void Exchange::commClose() {
  m_.sendRequest = 0;
  m_.pollRequest = 0;
  m_.nakRequest = 0;
  m_.rxState = 0;
  m_.commandText.clear();
  m_.txFrame.clear();
  m_.commBusy = 0;
  view_.setTimerEnabled(TimerId::Timer1, false);
  view_.setTimerEnabled(TimerId::Timer2, false);
  view_.setTimerEnabled(TimerId::Timer3, false);
  view_.setControlText(QStringLiteral("Label7"), {});
  if (portOpen()) {
    port_.clearOutputBuffer();
    port_.clearInputBuffer();
    port_.close();
  }
  view_.setControlText(QStringLiteral("Label33"),
                       portOpen() ? QStringLiteral("True") : QStringLiteral("False"));
  waitSeconds(0.1f);
}

void Exchange::comu() {
  if (m_.commBusy != 0 || !portOpen()) return;
  m_.commBusy = -1;
  waitUntil([this] { return m_.rxState == 0 && m_.sendRequest == 0; });

  const QString head = m_.commandText.left(2);
  if (head == u"MS") {
    view_.setControlText(QStringLiteral("Text10"), m_.commandText.mid(3));
  } else if (head == u"WD") {
    const int track = m_.commandText.size() > 3 ? m_.commandText[3].digitValue() : -1;
    if (track >= 1 && track <= 3)
      view_.setControlText(QStringLiteral("txtWd(%1)").arg(track), m_.commandText.mid(5));
  } else if (head == u"PD") {
    view_.setControlText(QStringLiteral("Text9"), showEscapes(m_.commandText.mid(3)));
  }

  m_.replyType.clear();
  m_.replyStatus.clear();
  m_.replyText.clear();
  m_.sendRequest = 1;
  kickScheduler();

  if (head == u"RS") {
    // Waits for the device's status; no device keeps this polling (the give-up closes the port,
    // the next poll reopens it). Polls are raised once "RS" itself has gone out (a poll goes out
    // before a command, so the status of a poll ahead of "RS" would end the wait before the
    // command was sent). A poll raised here also restarts a stopped scheduler, else the wait
    // would never end after a give-up; "Test Quit" pressed meanwhile ends it.
    const quint32 stops = m_.stopGeneration;
    waitUntil([this, stops] {
      if (m_.replyType == u"R" || m_.stopGeneration != stops) return true;
      if (m_.pollRequest == 0 && m_.sendRequest == 0) {
        m_.pollRequest = 1;
        if (!view_.timerEnabled(TimerId::Timer1)) view_.setTimerEnabled(TimerId::Timer1, true);
        kickScheduler();
      }
      return false;
    });
  } else if (head == u"PD") {
    waitUntil([this] {
      return !m_.commandText.startsWith(u"PD") ||
             (m_.replyType == u"A" && m_.replyStatus != u"12") || !portOpen() || linkQuiet();
    });
  } else if (head == u"CI") {
    waitUntil([this] {
      return !m_.commandText.startsWith(u"CI") || m_.replyType == u"A" || !portOpen() ||
             linkQuiet();
    });
  } else {
    waitUntil([this] { return m_.replyType == u"A" || !portOpen() || linkQuiet(); });
  }

  if (!view_.isChecked(Option::FastMode)) view_.decodeAnswer();
  m_.maskedCommand.clear();
  m_.commBusy = 0;
}

void Exchange::poll() {
  if (m_.commBusy != 0) return;
  m_.commBusy = -1;
  if (!view_.timerEnabled(TimerId::Timer1)) view_.setTimerEnabled(TimerId::Timer1, true);
  m_.rxState = 0;
  m_.replyType.clear();
  m_.replyText.clear();
  m_.pollRequest = 1;
  kickScheduler();
  // A closed port is opened by the scheduler for this poll: the wait ends with the reply, or
  // when the port is closed and no poll is pending any more (it could not be opened, or it was
  // closed again by a give-up or a line event). So the first command after start-up reaches
  // the device instead of only opening the port.
  waitUntil([this] {
    if (m_.replyType == u"B" || m_.replyType == u"A" || m_.replyType == u"R") return true;
    return (!portOpen() && m_.pollRequest == 0) || linkQuiet();
  });
  m_.commBusy = 0;
}

void Exchange::Port1_CommError(int commErrorId) {
  static const char16_t* const kTexts[] = {
      u"フレーミングエラーが発生しました！",     u"オーバーランが発生しました！",
      u"受信バッファがオーバーフローしました！", u"パリティエラーが発生しました！",
      u"送信バッファフルエラーが発生しました！", u"イベントマスクが不正です！",
  };
  if (commErrorId < 1024 || commErrorId > 1029) return;
  commClose();
  view_.showMessage(QString::fromUtf16(kTexts[commErrorId - 1024]), MsgIcon::None);
}

void Exchange::Port1_CommState(int commStateId) {
  // DSR changed. The control reports one line at a time, and when DSR drops together with CD or
  // CTS (a device switched off, on a full cable) the report names the other line: so a change of
  // any of the three has the DSR line read.
  if (commStateId != 1 && commStateId != 2 && commStateId != 3) return;
  if (!view_.isChecked(Option::DsrCheck) || !portOpen()) return;
  if (!port_.dsr()) {
    commClose();
    view_.showMessage(pick(u"Terminal OFF", u"端末がＯＦＦです"), MsgIcon::Critical);
  }
}

void Exchange::cmdTeishi_Click() {
  poll();
  m_.commandText = QStringLiteral("CL");
  comu();
  m_.commandText = QStringLiteral("CO");
  comu();
  m_.stopRequest = 1;
  ++m_.stopGeneration;
}

}  // namespace tavo
