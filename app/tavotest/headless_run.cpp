#include "app/tavotest/headless_run.h"

#include <QCoreApplication>
#include <QFile>

#include "app/core/dialogs.h"
#include "app/core/form1.h"
#include "app/core/module1.h"
#include "app/files/command_script.h"
#include "app/tavotest/transcript.h"

namespace tavo {
namespace {

class HeadlessHost final : public RunHost {
 public:
  HeadlessHost(Form1& form, Module1& m) : form_(form), m_(m) {}

  void yield() override { QCoreApplication::processEvents(); }
  void showLine(int) override {}
  void showLoop(int) override {}
  void showCommand(const QString&) override {}
  void showWait(const QString&) override {}
  void poll() override { form_.exchange().poll(); }
  void send(const QString& command) override {
    form_.setControlText(QStringLiteral("Text5"), command);
    form_.cmdKaishi_Click();
    printResultLine(form_);
  }
  void waitSeconds(float seconds) override { form_.exchange().waitSeconds(seconds); }
  bool portOpen() override { return form_.port().opened(); }
  bool stopRequested() override { return m_.stopRequest != 0; }
  QString replyStatus() override { return m_.replyStatus; }
  void report(const QString& text) override {
    Dialogs::message(&form_, text, MsgIcon::Exclamation);
  }

 private:
  Form1& form_;
  Module1& m_;
};

}  // namespace

void printResultLine(Form1& form) {
  QString result = QStringLiteral("=> ") + form.controlText(QStringLiteral("Label10")) + u' ' +
                   form.controlText(QStringLiteral("Label25")) + u' ' +
                   form.controlText(QStringLiteral("Label40"));
  while (result.endsWith(u' ')) result.chop(1);
  printLine(escapeText(result));
}

int runCommandFile(Form1& form, const QString& file, bool errorStop) {
  Module1& m = module1();
  QFile f(file);
  if (!f.open(QIODevice::ReadOnly)) {
    printLine(QStringLiteral("error: %1: %2").arg(file, f.errorString()));
    form.formQueryUnload();
    return 4;
  }
  const QStringList lines = splitScriptLines(scriptTextFromFile(f.readAll()));

  m.stopRequest = 0;
  form.exchange().commIni();
  if (!form.port().opened()) {
    const QString reason = form.exchange().lastOpenError();
    Dialogs::message(&form, reason, MsgIcon::Critical);
    form.formQueryUnload();
    return 2;
  }

  HeadlessHost host(form, m);
  const RunEnd end = runScript(lines, errorStop, m.japaneseMode == 1, host);
  form.formQueryUnload();
  switch (end) {
    case RunEnd::Finished:
    case RunEnd::Stopped:
      return 0;
    case RunEnd::ErrorStop:
      return 1;
    case RunEnd::PortClosed:
      return 2;
    case RunEnd::BadLoop:
      return 4;
  }
  return 0;
}

}  // namespace tavo
