#include "app/tavotest/headless_run.h"

#include "app/core/exchange.h"
#include "app/core/form1.h"
#include "app/core/module1.h"
#include "app/files/command_script.h"
#include "app/files/main_window_run.h"
#include "app/files/script_file.h"
#include "app/tavotest/transcript.h"

namespace tavo {
namespace {

// The run of the command-file window, with each command's result printed.
class HeadlessHost final : public MainWindowRun {
 public:
  HeadlessHost(Form1& form, int reconnectSeconds)
      : MainWindowRun(form, &form), reconnectSeconds_(reconnectSeconds) {}

  void send(const QString& command) override {
    MainWindowRun::send(command);
    printResultLine(main_);
  }

  bool portOpen() override {
    if (MainWindowRun::portOpen()) return true;
    Exchange& x = main_.exchange();
    // The opening is tried quietly: one line says how it ended, not one message a second.
    for (int attempt = 0; attempt < reconnectSeconds_; ++attempt) {
      waitSeconds(1);
      if (stopRequested()) return false;
      x.commIni();
      if (x.portOpen()) {
        printLine(QStringLiteral("reconnected"));
        return true;
      }
    }
    if (reconnectSeconds_ > 0)
      printLine(QStringLiteral("reconnect failed: %1").arg(escapeText(x.lastOpenError())));
    return false;
  }

 private:
  const int reconnectSeconds_;
};

}  // namespace

void printResultLine(Form1& form) {
  QString result = QStringLiteral("=> ") + form.controlText(QStringLiteral("Label10")) + u' ' +
                   form.controlText(QStringLiteral("Label25")) + u' ' +
                   form.controlText(QStringLiteral("Label40"));
  while (result.endsWith(u' ')) result.chop(1);
  printLine(escapeText(result));
}

int runCommandFile(Form1& form, const QString& file, bool errorStop, int reconnectSeconds) {
  Module1& m = module1();
  QString reason;
  const std::optional<QString> text = readScriptFile(file, m.japaneseMode == 1, &reason);
  if (!text) {
    printLine(QStringLiteral("error: %1: %2").arg(file, reason));
    form.formQueryUnload();
    return 4;
  }
  const QStringList lines = splitScriptLines(*text);

  m.stopRequest = 0;
  if (!openPortForRun(form, &form)) {
    form.formQueryUnload();
    return 2;
  }

  HeadlessHost host(form, reconnectSeconds);
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
