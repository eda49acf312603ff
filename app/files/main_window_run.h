// A command-file run on the main window: what a script's steps do, for the command-file window
// and for the headless run (tavotest --run) alike.
//
// How it works: a command line goes into the main window's command entry and is sent by its
// "Send" (so the entry's history, the framing, the log and the reply displays stay the main
// window's business); a poll is the main window's poll, a wait its waitSeconds. A wait ends early
// when a stop was asked for, so an abort does not sit out a long wait. The reply fields are
// emptied before each command while the link is idle, so Error Stop judges the command's own
// answer and a command that got none counts as not good. The run displays do nothing here; a
// window shows them by overriding.
//
// Offers: MainWindowRun, openPortForRun.
#pragma once

#include "app/files/command_script.h"

class QWidget;

namespace tavo {

class Form1;
struct Module1;

class MainWindowRun : public RunHost {
 public:
  // Messages (a bad loop) are shown over messageParent.
  MainWindowRun(Form1& main, QWidget* messageParent);

  void yield() override;
  void showLine(int) override {}
  void showLoop(int) override {}
  void showCommand(const QString&) override {}
  void showWait(const QString&) override {}
  void poll() override;
  void send(const QString& command) override;
  void waitSeconds(float seconds) override;
  bool portOpen() override;
  bool stopRequested() override;
  QString replyStatus() override;
  void report(const QString& text) override;

 protected:
  Form1& main_;
  Module1& m_;
  QWidget* messageParent_;
};

// Opens the main window's port when it is closed, as a run needs it. False when it cannot be
// opened; the reason has then been shown over messageParent.
bool openPortForRun(Form1& main, QWidget* messageParent);

}  // namespace tavo
