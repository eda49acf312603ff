#include "app/files/main_window_run.h"

#include <QCoreApplication>

#include "app/core/dialogs.h"
#include "app/core/form1.h"
#include "app/core/module1.h"

namespace tavo {

MainWindowRun::MainWindowRun(Form1& main, QWidget* messageParent)
    : main_(main), m_(main.shared()), messageParent_(messageParent) {}

void MainWindowRun::yield() {
  QCoreApplication::processEvents();
}

void MainWindowRun::poll() {
  main_.exchange().poll();
}

void MainWindowRun::send(const QString& command) {
  if (m_.commBusy == 0 && m_.rxState == 0) {
    m_.replyType.clear();
    m_.replyStatus.clear();
    m_.replyText.clear();
  }
  main_.setControlText(QStringLiteral("Text5"), command);
  main_.cmdKaishi_Click();
}

void MainWindowRun::waitSeconds(float seconds) {
  main_.exchange().waitSeconds(seconds, [this] { return m_.stopRequest != 0; });
}

bool MainWindowRun::portOpen() {
  return main_.exchange().portOpen();
}

bool MainWindowRun::stopRequested() {
  return m_.stopRequest != 0 || m_.appEnding;
}

QString MainWindowRun::replyStatus() {
  return m_.replyStatus;
}

void MainWindowRun::report(const QString& text) {
  Dialogs::message(messageParent_, text, MsgIcon::Exclamation);
}

bool openPortForRun(Form1& main, QWidget* messageParent) {
  Exchange& x = main.exchange();
  if (x.portOpen()) return true;
  x.commIni();
  if (x.portOpen()) return true;
  Dialogs::message(messageParent, x.lastOpenError(), MsgIcon::Critical);
  return false;
}

}  // namespace tavo
