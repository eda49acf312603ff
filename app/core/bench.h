// Bench: what the main window's command buttons, canned tests and menus do.
//
// How it works: every button builds a command text and runs it through the exchange's comu,
// which waits for the answer while window events run; the answer is then shown by the exchange
// and the answer decoding. The canned sequences (the print test, the counter read-out, the log
// record, the repeated read/write/print test, the EEPROM fill, the table download) are chains of
// such commands. Bench reads and writes the window's boxes, labels and check boxes by their
// names through BenchView, so it holds no widget of its own.
//
// A handler that runs while another one waits (a second press during a test) finds the exchange
// busy: its commands return at once without going out. "Test Quit" (stopRequest) and a port
// that closes end the repeated test at its next check.
//
// Offers: BenchView (what Bench needs of the window), Bench.
#pragma once

#include <QString>
#include <functional>

#include "app/core/dialogs.h"
#include "app/core/exchange.h"
#include "app/core/module1.h"
#include "app/core/pattern_pool.h"

class QWidget;

namespace tavo {

class BenchView {
 public:
  virtual ~BenchView() = default;
  // Texts of boxes and labels, and check boxes, by the control's name ("Text2", "Label36",
  // "txtWd(2)", "Check3"). Unknown names read "" / false and take nothing.
  virtual QString text(const QString& name) = 0;
  virtual void setText(const QString& name, const QString& text) = 0;
  virtual bool checked(const QString& name) = 0;
  virtual void setChecked(const QString& name, bool on) = 0;
  virtual void setEnabled(const QString& name, bool on) = 0;
  virtual void setShown(const QString& name, bool on) = 0;
  // The selected entry of a list (-1: none).
  virtual int selectedIndex(const QString& name) = 0;
  // Empties the result labels and puts the parameter boxes to their start values.
  virtual void labelInit() = 0;
  // The window's size in twips.
  virtual int windowWidthTwips() = 0;
  virtual int windowHeightTwips() = 0;
  virtual void setWindowTwips(int width, int height) = 0;
  // The parent of message boxes.
  virtual QWidget* dialogParent() = 0;
};

// The other windows the menus open.
enum class Window { Bitmap, CommandFile, Eeprom, Version, Emc };

class Bench {
 public:
  Bench(Module1& m, Exchange& exchange, BenchView& view);

  // The first button array: one device command each (i = 0..48).
  void Command1_Click(int index);
  // The second button array: settings, clock, sensors, EEPROM (i = 0..20).
  void Command2_Click(int index);
  void Command3_Click();   // "PrintData": the print test for the card type in Combo1
  void Command34_Click();  // "情報": the counter read-out into Label36
  void Command35_Click();  // "Loging": reads the device's state and appends a log record
  void Command47_Click();  // "Test Start": the repeated read/write/print test
  void Command54_Click();  // "DSPclear"
  void Command66_Click();  // "Comm Close"
  void Command70_Click();  // "eew all": fills the EEPROM with FFh after a confirmation
  void Command72_Click();  // "Save": appends a log record without asking the device
  void Command75_Click();  // "CJ": the character table download
  void Check3_Click();     // "Print" on enables "ER"; off clears and disables it
  void txtWd_Change(int track);
  // Menus.
  void enLarge();
  void eepControl();
  // "BMP data download", "File access", "Version(&V)" (and "EEPcontrol" after its password).
  void openMenuWindow(Window w);

  // Checks the track results of the last write or read ("RC"); counters count in place.
  void wrCheck(bool intoLabel29, QString* result, const bool enabled[3], qint16 errors[3],
               int passes);
  // Reads tracks back with "DT:n" and compares them with the data written.
  void wrCheck2(bool intoLabel29, QString* result, const bool enabled[3], qint16 errors[3],
                int passes);
  // Checks the bar-code result of an IR read ("RC").
  void wrCheck3(qint16* irErrors, int irPasses);

  // The last run of the repeated test found errors or could not set its data (for headless
  // runs, which report it in their exit status).
  bool lastTestFailed() const { return lastTestFailed_; }

  // Opens another window and says whether it did; set by the program that owns the windows.
  // Without it, or for a window it does not open, the menus say that the window is not available.
  std::function<bool(Window)> openWindow;

 private:
  bool japanese() const { return m_.japaneseMode == 1; }
  QString pick(const char16_t* english, const char16_t* japaneseText) const;
  // Runs one command through comu.
  void send(const QString& command);
  // Sends "PA" when the device reports power-up: an "R" reply with state 2 or an "A" answer
  // with status 10.
  void acknowledgePowerUp();
  // The EEPROM confirm box; true for OK.
  bool confirmEepromChange();
  void resetNotice();
  // Appends the log record; withLabel29 for "Save". False, after telling the operator, when it
  // cannot be written.
  bool appendLogRecord(bool withLabel29);
  // Counts a failed track (good(k) false, asked only for enabled tracks) and shows the
  // "Tr1 : errors/passes" lines in Label28 or Label29.
  void showTrackResults(bool intoLabel29, QString* result, const bool enabled[3], qint16 errors[3],
                        int passes, const std::function<bool(int)>& good);
  // The repeated test's stop check: the port closed or "Test Quit" pressed.
  bool stopped();
  // One pass of the repeated test; false when it stopped (*dataError: data could not be set).
  struct TestRun;
  bool runPass(TestRun& run, bool* dataError);

  Module1& m_;
  Exchange& x_;
  BenchView& view_;
  PatternPool pool_;
  bool poolFilled_ = false;
  bool lastTestFailed_ = false;
};

}  // namespace tavo
