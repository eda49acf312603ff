// The command exchange with the device, run on the main window's thread.
//
// How it works: nothing here blocks. A scheduler timer (Timer1, every 2 ms, 10 ms while the
// device is busy, 50 ms while a NAK is pending, 50 ms while nothing at all is pending; a request
// raised outside a tick brings the next tick at once) looks at the request flags of Module1 on each
// tick and performs at most one link action: send a NAK, process received input, send a poll, or
// send the pending command, in that order of priority. A transmission arms the reply timer (Timer2,
// whose expiry raises a NAK request) and the give-up timer (Timer3, whose expiry closes the port
// and tells the operator). The receive path takes whatever bytes wait and feeds them one at a
// time to the receive state machine, which fills the reply fields and the status labels.
//
// On top of that, comu runs one command for a caller: it waits until the link is idle, raises
// sendRequest and lets window events run until the answer that ends the command has arrived or
// the port has closed; poll does the same for a status poll. The port opens on the first request
// that finds it closed (commIni) and closes on any transmission failure, a give-up, a line error
// or DSR going off (commClose); the next request reopens it.
//
// The link routines (sendCommand, sendPolling, sendNak, rxdCheck, codeCheck) live in link.cpp,
// the scheduler and the command execution in exchange.cpp.
//
// Offers: TimerId, Option, ExchangeView (what the exchange needs of the main window), Exchange.
#pragma once

#include <QString>
#include <functional>

#include "app/core/dialogs.h"
#include "app/core/module1.h"
#include "app/core/port_api.h"

namespace tavo {

enum class TimerId { Timer1, Timer2, Timer3 };
enum class Option { AutoPoll, FastMode, Nak, DsrCheck };

class ExchangeView {
 public:
  virtual ~ExchangeView() = default;
  // Sets the text of a control of the main window by its name ("Label10", "Text5",
  // "txtWd(2)"); the entry of Text5 for the command entry.
  virtual void setControlText(const QString& name, const QString& text) = 0;
  virtual bool isChecked(Option option) = 0;
  // Prepends a line to the log box.
  virtual void addLog(const QString& line) = 0;
  virtual void showMessage(const QString& text, MsgIcon icon) = 0;
  virtual void setTimerEnabled(TimerId timer, bool enabled) = 0;
  virtual bool timerEnabled(TimerId timer) = 0;
  // Changing the interval of a running timer starts its count again.
  virtual void setTimerInterval(TimerId timer, int milliseconds) = 0;
  // Lets window events run, waiting for the next one at most maxWaitMs (-1: until one comes).
  virtual void yieldEvents(int maxWaitMs = -1) = 0;
  // Decodes the last answer into the result fields (run by comu unless "Fast mode" is on).
  virtual void decodeAnswer() = 0;
};

class Exchange {
 public:
  Exchange(Module1& m, PortApi& port, ExchangeView& view);

  // The link (link.cpp).
  void sendCommand();
  void sendPolling();
  void sendNak();
  void rxdCheck();
  void codeCheck();  // the byte in rxByte

  // The scheduler and its timers (exchange.cpp).
  void Timer1_Timer();
  void Timer2_Timer();
  void Timer3_Timer();

  // Runs commandText and waits for its answer; returns at once when busy or the port is closed.
  // The wait also ends, without the answer, when the link has gone quiet with nothing left that
  // could bring it (see linkQuiet).
  void comu();
  // Polls and waits for the device's reply; returns at once when busy. A closed port is opened
  // for the poll; the wait ends without a reply when it cannot be, or when the link went quiet.
  void poll();
  // Closes, configures and opens the port; on success the scheduler runs and both buffers are
  // cleared. Failure leaves the port closed and the scheduler stopped, with the reason in
  // lastOpenError.
  void commIni();
  // Drops every request, stops the timers and closes the port; then waits 0.1 s.
  void commClose();

  // The port control's events.
  void Port1_CommError(int commErrorId);
  void Port1_CommState(int commStateId);

  // "Test Quit": poll, "CL", "CO", then stopRequest.
  void cmdTeishi_Click();

  // Returns after the given time while window events run, at once when the application ends, or
  // as soon as stopWaiting (when given) says so.
  void waitSeconds(float seconds, const std::function<bool()>& stopWaiting = {});

  // The port number, open state and line summary labels.
  void showLineState();

  // The port is open (false when its state cannot be read).
  bool portOpen();

  // The control's description of the last failed open; empty after a successful one.
  const QString& lastOpenError() const { return lastOpenError_; }

  // The clock waitSeconds reads (seconds since midnight); tests replace it.
  std::function<float()> clock;

  // The scheduler's interval while nothing is pending.
  static constexpr int kIdleInterval = 50;

 private:
  bool japanese() const { return m_.japaneseMode == 1; }
  QString pick(const char16_t* english, const char16_t* japaneseText) const;
  void waitUntil(const std::function<bool()>& done);
  // No reply awaited and no poll, command or NAK waiting to go out: nothing on the link can
  // change any more until someone asks. A reply dropped for its check byte, or a status reply
  // where the command's answer was due, leaves the link so; a wait for an answer must then end
  // instead of waiting for ever.
  bool linkQuiet() const;
  // The command as it goes on the wire: the real text of a command shown as "**".
  const QString& commandOnWire() const;
  // Brings the scheduler's next tick forward to now (when it runs), for a request just raised.
  void kickScheduler();

  Module1& m_;
  PortApi& port_;
  ExchangeView& view_;
  // The received-data overflow was reported for the current transmission.
  bool overflowReported_ = false;
  // The last transmission was a NAK: the answer it brings is a repeat.
  bool lastSentNak_ = false;
  QString lastOpenError_;
  QString reportedOpenError_;
};

}  // namespace tavo
