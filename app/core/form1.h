// Form1: the main window, the operator's test bench, and the owner of the port control (Port1)
// and of the command exchange.
//
// How it works: the window holds the command entry (Text5, with its history), "Send" and
// "Test Quit", the link and status labels, the option check boxes, the parameter boxes the
// exchange fills, the log box (txtDisp, newest line first) and the menus. It is the exchange's
// view: the exchange writes labels by name, reads the option check boxes, starts and stops the
// window's timers (Timer1 scheduler, Timer2 reply, Timer3 give-up, Timer4 unused) and waits by
// letting window events run. Every control carries its bench name (Text5, Label25) as objectName
// (control arrays as "txtWd(2)"), so scripts and tests find it.
//
// Life: the start-up routine creates the window and calls formLoad (settings file, window
// place, start values, message tables, scheduler on; the port is opened by the first request).
// Closing the window (or "Quit") runs formQueryUnload: the port is closed, the settings written,
// and the application ends. Later windows reach the exchange through exchange().
//
// Offers: Form1.
#pragma once

#include <QHash>
#include <QMainWindow>
#include <functional>

#include "app/core/bench.h"
#include "app/core/exchange.h"
#include "app/core/module1.h"
#include "app/core/port_client.h"

class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;
class QTimer;

namespace tavo {

class Form1 final : public QMainWindow, public ExchangeView, public BenchView {
  Q_OBJECT

 public:
  explicit Form1(Module1& m);
  ~Form1() override;

  // Creates the port control; false, with the reason, when it cannot be made (the window then
  // still works, and every request finds the port closed).
  bool createPort(QString* error);

  // The load handler: settings file, window place and size, start values, message tables,
  // scheduler on. m.programFolder must be set.
  void formLoad();
  // The unload handler: closes the port and writes the settings file; the application then
  // ends. Runs once; later calls do nothing.
  void formQueryUnload();

  // The language switch ("JapaneesMessage").
  void switchLanguage(bool japanese);

  // "Send": the entry text of Text5 into the history, a poll, then the text with its escape
  // names expanded as the command.
  void cmdKaishi_Click();
  // "Test Quit".
  void cmdTeishi_Click();
  // "Comm Setting": closes the port, shows the port settings window, reopens the port.
  void TestComm_Click();

  Module1& shared() { return m_; }
  Exchange& exchange() { return exchange_; }
  Bench& bench() { return bench_; }
  PortClient& port() { return port_; }

  // The log box's text as the program holds it (lines separated by CR LF, newest first).
  const QString& logText() const { return logText_; }
  // The text a control of the window shows ("" for an unknown name).
  QString controlText(const QString& name) const;
  // Shows the log text in the log box now (it is otherwise refreshed a moment after a change).
  void flushLog();

  // Called with every line added to the log box (headless runs print them).
  std::function<void(const QString&)> onLog;

  // ExchangeView.
  void setControlText(const QString& name, const QString& text) override;
  bool isChecked(Option option) override;
  void addLog(const QString& line) override;
  void showMessage(const QString& text, MsgIcon icon) override;
  void setTimerEnabled(TimerId timer, bool enabled) override;
  bool timerEnabled(TimerId timer) override;
  void setTimerInterval(TimerId timer, int milliseconds) override;
  void yieldEvents(int maxWaitMs = -1) override;
  void decodeAnswer() override;

  // BenchView.
  QString text(const QString& name) override { return controlText(name); }
  void setText(const QString& name, const QString& text) override { setControlText(name, text); }
  bool checked(const QString& name) override;
  void setChecked(const QString& name, bool on) override;
  void setEnabled(const QString& name, bool on) override;
  void setShown(const QString& name, bool on) override;
  int selectedIndex(const QString& name) override;
  void labelInit() override;
  int windowWidthTwips() override;
  int windowHeightTwips() override;
  void setWindowTwips(int width, int height) override;
  QWidget* dialogParent() override { return this; }

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  // The window's controls (form1_layout.cpp).
  struct OptionBox {
    const char* name;
    const char* caption;
    bool checkedAtStart;
  };
  static const OptionBox kOptionBoxes[];
  static const int kOptionBoxCount;
  void buildWindow();
  QWidget* buildCommandsPage();
  QWidget* buildMaintenancePage();
  QWidget* buildTestPage();
  void buildMenus();
  void connectControls();

  QTimer* timer(TimerId id) const;
  // The status lamp for the status and reply labels.
  void showLamp();

  Module1& m_;
  PortClient port_;
  Exchange exchange_;
  Bench bench_;
  QHash<QString, QWidget*> controls_;
  QHash<QString, QAction*> actions_;
  QString logText_;
  bool unloaded_ = false;

  QTimer* timer1_ = nullptr;
  QTimer* timer2_ = nullptr;
  QTimer* timer3_ = nullptr;
  QTimer* timer4_ = nullptr;
  QTimer* wake_ = nullptr;        // ends a bounded wait for events
  QTimer* logRefresh_ = nullptr;  // shows the log text a moment after it changed

  QTabWidget* pages_ = nullptr;
  QComboBox* text5_ = nullptr;
  QPlainTextEdit* txtDisp_ = nullptr;
  QCheckBox* autoPoll_ = nullptr;
  QCheckBox* fastMode_ = nullptr;
  QCheckBox* nak_ = nullptr;
  QAction* dsrChecked_ = nullptr;
  QAction* japaneseMessage_ = nullptr;
};

}  // namespace tavo
