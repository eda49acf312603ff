// UI scripts (tavotest --ui-script FILE): drive the application's windows without a screen, one
// command per line, as a person at the screen would.
//
// Commands (objects by objectName, control arrays as "Command1(21)", or by caption, quoted when
// it has blanks; TEXT is the rest of the line, or a double-quoted string to keep leading or
// trailing blanks; escapes \r \n \t \\ \" \xHH in quoted strings and in the TEXT of set):
//   window NAME          make an open window current (Form1, FormCOM, ...)
//   menu NAME            trigger a menu entry of the current window (name or caption)
//   set OBJECT TEXT      text of a text box or editable list
//   select OBJECT TEXT   choose a list entry by its text
//   doubleclick OBJECT TEXT   double-click a list entry (a click, then the double-click)
//   check OBJECT on|off  check box, option button or checkable menu entry
//   press OBJECT         click a button; its handler runs to its end
//   key OBJECT Enter|Escape
//   answer ok|cancel|yes|no|TEXT   the answer for the next message, question or input box
//   wait MS              let the application run for MS milliseconds
//   print OBJECT         "OBJECT: TEXT" (a lamp adds " [#RRGGBB]", its colour)
//   snapshot FILE        save a picture of the current window (PNG)
//   quit                 end as the "Quit" menu does
//   when LOGLINE COMMAND run COMMAND (press, set, check, ...) once the log box gets the line
//                        LOGLINE (quoted when it has blanks), while whatever runs then waits:
//                        "when WR press cmdTeishi" presses "Test Quit" in the middle of a test
//   after MS COMMAND     run COMMAND once MS milliseconds have passed, while whatever runs then
//                        waits: "after 2000 press Command5" aborts a command file's long wait
// Blank lines and lines starting with # are skipped. A modal window that a command opens becomes
// the current window and the script goes on inside it; when it closes, the code that opened it
// continues, then the script's next line. A modal window still open at the end is closed.
//
// A bad line prints "error: LINE: REASON" and the script goes on; run() returns 0, or 3 when a
// line was bad. The application then shuts down as "Quit" does.
//
// A control on a page of a tab widget that is not in front has its page brought forward first.
//
// Offers: UiScript, parseUiLine (for tests), UiCommand, revealPage.
#pragma once

#include <QPointer>
#include <QString>
#include <QStringList>
#include <functional>
#include <utility>
#include <vector>

class QDialog;
class QObject;
class QWidget;

namespace tavo {

class Form1;

struct UiCommand {
  QString verb;    // lower case; empty for a blank or comment line
  QString object;  // the object argument, unquoted
  QString text;    // the TEXT argument, unquoted and with escapes applied
};

// Brings the page that holds the widget to the front of its tab widget (and so on outwards), as a
// person clicks a page's tab before using what is on it.
void revealPage(QWidget* widget);

// Splits a line into its command. False, with the reason, for a line that cannot be parsed.
bool parseUiLine(const QString& line, UiCommand* command, QString* error);

class UiScript {
 public:
  using Output = std::function<void(const QString&)>;
  UiScript(Form1& main, Output out);
  ~UiScript();

  void setLines(QStringList lines) { lines_ = std::move(lines); }
  // Runs the script from the start, then shuts the application down.
  int run();

 private:
  void runLines(QDialog* frame);
  bool execute(const UiCommand& c, QString* error);
  QWidget* current() const;
  QObject* find(const QString& name, QString* error) const;

  Form1& main_;
  Output out_;
  QStringList lines_;
  qsizetype next_ = 0;
  bool bad_ = false;
  bool quitting_ = false;
  std::vector<QPointer<QWidget>> windows_;               // the current window of each nesting level
  std::vector<std::pair<QString, UiCommand>> triggers_;  // log line, command to run once
};

}  // namespace tavo
