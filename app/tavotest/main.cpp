// Tavotest: the bench application for the card reader/writer/printer.
//
//   tavotest [--lang ja|en] [--home DIR]                    the window
//   tavotest --run FILE [--error-stop] [--reconnect SECONDS] [--lang ja|en] [--home DIR]
//   tavotest --ui-script FILE [--lang ja|en] [--home DIR]
//   tavotest --press OBJECT [--press OBJECT ...] [--set OBJECT=TEXT] [--check OBJECT=on|off]
//   tavotest --download PICTURE [--mode ib|pi] [--all-image|--with-text] [--zoom P] ...
//   tavotest --version
//
// The start-up routine: shared state to its start values, the main window created and loaded
// (settings file, message tables, scheduler), then shown, or driven headless by a command file
// or a UI script on the offscreen platform.
#include <QApplication>
#include <QFile>
#include <cstdio>
#include <cstring>

#include "app/core/dialogs.h"
#include "app/core/form1.h"
#include "app/core/module1.h"
#include "app/core/program_folder.h"
#include "app/core/program_version.h"
#include "app/files/command_script.h"
#include "app/tavotest/headless_download.h"
#include "app/tavotest/headless_press.h"
#include "app/tavotest/headless_run.h"
#include "app/tavotest/transcript.h"
#include "app/tavotest/ui_script.h"
#include "app/tavotest/windows.h"

namespace {

struct Options {
  QString runFile;
  QString uiScript;
  QString home;
  QStringList presses;
  QList<tavo::Preset> presets;
  tavo::DownloadOptions download;
  bool downloadOption = false;  // an option of --download was given
  bool english = false;
  bool errorStop = false;
  int reconnectSeconds = 0;  // --run: how long a closed port is tried again; 0 not at all
};

const char kUsage[] =
    "usage: tavotest [--lang ja|en] [--home DIR]\n"
    "       tavotest --run FILE [--error-stop] [--reconnect SECONDS] [--lang ja|en]\n"
    "                [--home DIR]\n"
    "       tavotest --ui-script FILE [--lang ja|en] [--home DIR]\n"
    "       tavotest --press OBJECT [--press OBJECT ...] [--set OBJECT=TEXT]\n"
    "                [--check OBJECT=on|off] [--lang ja|en] [--home DIR]\n"
    "       tavotest --download PICTURE [--mode ib|pi] [--all-image|--with-text]\n"
    "                [--zoom P] [--brightness B] [--silver] [--track 1|2]\n"
    "                [--line0..--line4 TEXT] [--no-card] [--block-timeout MS]\n"
    "       tavotest --version\n";

void help() {
  std::printf(
      "%s\n"
      "Tavotest talks to the card reader/writer/printer on COM<n> (RAVLIN_COM<n> names the "
      "device,\n"
      "else /dev/ttyS<n-1>). The program folder (settings file Marlo4.ini, log records) is "
      "--home,\n"
      "else $TAVOTEST_HOME, else the executable's folder.\n"
      "\n"
      "--run FILE     runs a command file without a window: END, LOOP, POLL, WAIT and command\n"
      "               lines (label of six characters, then the command). Prints every log line,\n"
      "               every message as 'message: TEXT', and '=> TYPE STATUS TEXT' after each\n"
      "               command. Exit status 0 ran to its end, 1 stopped by --error-stop, 2 the\n"
      "               port closed or did not open, 4 the file cannot be run.\n"
      "--reconnect S  with --run: a port that closes (no answer, device gone) is opened again\n"
      "               once a second for up to S seconds, printing 'reconnected', and the run\n"
      "               goes on; status 2 only when it stays shut.\n"
      "--ui-script F  drives the windows without a screen, one command a line:\n"
      "               window NAME | menu NAME | set OBJECT TEXT | select OBJECT TEXT |\n"
      "               check OBJECT on|off | press OBJECT | key OBJECT Enter|Escape |\n"
      "               answer ok|cancel|yes|no|TEXT | wait MS | print OBJECT | snapshot FILE |\n"
      "               doubleclick LIST ENTRY | when LOGLINE COMMAND | after MS COMMAND |\n"
      "               quit. Exit status 0, or 3 when a line was bad.\n"
      "--press OBJECT presses a button of the main window (name such as Command47 or\n"
      "               Command1(21), or its caption); repeat for more, pressed in order after\n"
      "               the port has opened. --set OBJECT=TEXT and --check OBJECT=on|off preset\n"
      "               boxes and check boxes first. Prints as --run does. Exit status 0 the\n"
      "               last answer was good, 1 it was not or the W/R test said NG, 2 the port\n"
      "               closed or did not open, 4 an object is not there or cannot be used.\n"
      "--download PICTURE  \"BMP Transmit and Print\" of the bitmap window without a screen:\n"
      "               the picture (BMP, PNG, JPEG, GIF) converted and sent as \"PI\" lines\n"
      "               (--mode pi, the default) or \"IB\" blocks (--mode ib), the whole card\n"
      "               (--all-image, default) or with the top line and message lines\n"
      "               (--with-text; --line0 TEXT top line, --line1..4 message lines, else\n"
      "               those of the settings file), --zoom percent (100), --brightness -50..50\n"
      "               (0), --silver back colour, --track 1|2 magnetic track (1); then a card\n"
      "               is written and printed (--no-card: not). Progress on standard error;\n"
      "               a block unanswered for --block-timeout ms (5000; 0 no limit) is an\n"
      "               error. Exit status 0 printed (or data set with --no-card), 1 Error or\n"
      "               Stop, 2 the port did not open, 4 bad picture or option.\n"
      "--lang ja|en   message language (default ja)\n"
      "--version      the version window's texts\n",
      kUsage);
}

bool parse(int argc, char** argv, Options* o, QString* error) {
  for (int i = 1; i < argc; ++i) {
    const char* a = argv[i];
    auto value = [&](QString* out) {
      if (i + 1 >= argc) return false;
      *out = QString::fromLocal8Bit(argv[++i]);
      return true;
    };
    if (!std::strcmp(a, "--run")) {
      if (!value(&o->runFile)) return false;
    } else if (!std::strcmp(a, "--ui-script")) {
      if (!value(&o->uiScript)) return false;
    } else if (!std::strcmp(a, "--home")) {
      if (!value(&o->home)) return false;
    } else if (!std::strcmp(a, "--lang")) {
      QString lang;
      if (!value(&lang) || (lang != u"ja" && lang != u"en")) return false;
      o->english = lang == u"en";
    } else if (!std::strcmp(a, "--press")) {
      QString name;
      if (!value(&name)) return false;
      o->presses << name;
    } else if (!std::strcmp(a, "--set") || !std::strcmp(a, "--check")) {
      QString text;
      tavo::Preset preset;
      const auto kind = a[2] == 's' ? tavo::Preset::Text : tavo::Preset::Check;
      if (!value(&text) || !tavo::parsePreset(kind, text, &preset)) return false;
      o->presets << preset;
    } else if (!std::strcmp(a, "--error-stop")) {
      o->errorStop = true;
    } else if (!std::strcmp(a, "--reconnect")) {
      QString text;
      bool ok = false;
      if (value(&text)) o->reconnectSeconds = text.toInt(&ok);
      if (!ok || o->reconnectSeconds < 1 || o->reconnectSeconds > 86400) {
        *error = QStringLiteral("--reconnect needs a number of seconds, 1 to 86400");
        return false;
      }
    } else {
      const QString name = QString::fromLocal8Bit(a);
      const QString next = i + 1 < argc ? QString::fromLocal8Bit(argv[i + 1]) : QString();
      bool known = false, used = false;
      if (!tavo::parseDownloadOption(name, i + 1 < argc ? &next : nullptr, &o->download, &known,
                                     &used, error))
        return false;
      if (!known) {
        *error = QStringLiteral("unknown option %1").arg(name);
        return false;
      }
      if (used) ++i;
      if (name != u"--download") o->downloadOption = true;
    }
  }
  if (o->downloadOption && o->download.picture.isEmpty()) {
    *error = QStringLiteral("the download options need --download PICTURE");
    return false;
  }
  // One headless mode at a time; presets belong to --press.
  const int modes = !o->runFile.isEmpty() + !o->uiScript.isEmpty() + !o->presses.isEmpty() +
                    !o->download.picture.isEmpty();
  if (modes > 1) return false;
  if (o->reconnectSeconds > 0 && o->runFile.isEmpty()) {
    *error = QStringLiteral("--reconnect goes with --run");
    return false;
  }
  return o->presets.isEmpty() || !o->presses.isEmpty();
}

// The offscreen platform says it cannot pass size hints each time a window is shown; that is
// no news to a headless run, and it would bury what the run says on standard error.
QtMessageHandler standardHandler = nullptr;

void quietOffscreen(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (message.contains(QLatin1String("does not support propagateSizeHints")) ||
      message.contains(QLatin1String("does not support raise()")))
    return;
  if (standardHandler)
    standardHandler(type, context, message);
  else
    std::fprintf(stderr, "%s\n", qPrintable(message));
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h")) {
      help();
      return 0;
    }
    if (!std::strcmp(argv[i], "--version")) {
      const tavo::ProgramVersion v = tavo::programVersion();
      for (const QString& line :
           {v.fileDescription, tavo::versionLine(v), v.comments, v.legalCopyright})
        std::printf("%s\n", line.toUtf8().constData());
      return 0;
    }
  }
  Options options;
  QString badOption;
  if (!parse(argc, argv, &options, &badOption)) {
    if (!badOption.isEmpty()) std::fprintf(stderr, "tavotest: %s\n", qPrintable(badOption));
    std::fputs(kUsage, stderr);
    return 4;
  }
  const bool headless = !options.runFile.isEmpty() || !options.uiScript.isEmpty() ||
                        !options.presses.isEmpty() || !options.download.picture.isEmpty();
  if (headless && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  if (headless) standardHandler = qInstallMessageHandler(quietOffscreen);

  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Tavotest"));

  QStringList scriptLines;
  if (!options.uiScript.isEmpty()) {
    QFile f(options.uiScript);
    if (!f.open(QIODevice::ReadOnly)) {
      std::fprintf(stderr, "tavotest: %s: %s\n", qPrintable(options.uiScript),
                   qPrintable(f.errorString()));
      return 4;
    }
    scriptLines = QString::fromUtf8(f.readAll()).split(u'\n');
    for (QString& line : scriptLines)
      if (line.endsWith(u'\r')) line.chop(1);
  }

  tavo::Module1& m = tavo::module1();
  tavo::resetLinkState(m);
  m.programFolder = tavo::programFolder(options.home);

  if (headless) {
    tavo::Dialogs::setScripted(true);
    const bool withAnswers = !options.uiScript.isEmpty();
    tavo::Dialogs::setObserver([withAnswers](const tavo::Dialogs::Shown& shown) {
      QString line = QStringLiteral("message: ") + tavo::escapeText(shown.text);
      if (withAnswers) line += QStringLiteral(" -> ") + tavo::escapeText(shown.answer);
      tavo::printLine(line);
    });
  }

  tavo::Form1 form(m);
  tavo::Windows windows(form);
  QString error;
  if (!form.createPort(&error)) {
    std::fprintf(stderr, "tavotest: %s\n", qPrintable(error));
    if (!headless) tavo::Dialogs::message(nullptr, error, tavo::MsgIcon::Critical);
  }
  if (headless) form.onLog = [](const QString& line) { tavo::printLine(tavo::escapeText(line)); };
  form.formLoad();
  if (options.english) form.switchLanguage(false);

  if (!options.runFile.isEmpty())
    return tavo::runCommandFile(form, options.runFile, options.errorStop, options.reconnectSeconds);
  if (!options.presses.isEmpty()) return tavo::runPresses(form, options.presets, options.presses);
  if (!options.download.picture.isEmpty())
    return tavo::runDownload(form, windows, options.download);

  form.show();
  if (!options.uiScript.isEmpty()) {
    tavo::UiScript script(form, [](const QString& line) { tavo::printLine(line); });
    script.setLines(scriptLines);
    return script.run();
  }
  return app.exec();
}
