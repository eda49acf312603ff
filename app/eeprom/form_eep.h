// FormEEP: the EEPROM maintenance window ("EEPROM Setting Mode"), opened from the main window's
// "EEPcontrol" menu after its password. A service engineer reads the device's counters and
// settings, changes one setting at a time after a question, writes or clears counters, restarts
// the reader and prints a data sheet on a card.
//
// How it works: the window owns no link logic. Every step is one command through the main
// window's exchange (comu, poll), and the window reads the answer from the exchange's reply text;
// displays show slices of those answers. An operation begins only while the exchange is free (a
// press made while another operation waits for the device is told so and does nothing), and it
// ends early, leaving the displays as they are, when a command gets no answer: the port closed or
// could not be opened, which the exchange has already reported. A setting change writes only what
// it composed from a good read of its word, and only after the question was answered OK; a
// counter write sends nothing for a count the counter cannot hold or a wrong password.
//
// The window is made once and hidden by "終了"; each opening empties it again, so it keeps no
// state between openings.
//
// Offers: FormEEP.
#pragma once

#include <QWidget>

#include "app/core/exchange.h"
#include "app/core/module1.h"
#include "app/eeprom/eeprom_settings.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QCheckBox;

namespace tavo {

class FormEEP final : public QWidget {
  Q_OBJECT

 public:
  // The window belongs to the main window (mainWindow) and uses its exchange.
  FormEEP(Module1& m, Exchange& exchange, QWidget* mainWindow);

  // Opening: the window beside the main window's corner, the reply fields cleared while the link
  // is idle, every setting list, the count box and the displays emptied.
  void formLoad();

  void Command1_Click();   // "各カウント情報取得": the counter display
  void Command8_Click();   // "CR設定情報取得": settings, temperature, version, "RE"
  void Command9_Click();   // "一括情報取得": both
  void Command13_Click();  // "Write": the count box into the chosen counter
  void Command5_Click();   // "エラー回数初期化" (Japanese mode only)
  void Command7_Click();   // "ｴﾗｰ+ﾊﾟｽ回数初期化"
  void Command10_Click();  // "RS": restarts the reader
  void Command11_Click();  // "CRﾃﾞｰﾀ印　字": the data sheet
  // The five setting buttons.
  void changeSetting(Setting setting);

 private:
  void buildWindow();
  void connectControls();
  bool japanese() const { return m_.japaneseMode == 1; }

  // True when the exchange is free; otherwise the operator is told and false.
  bool begin();
  // Runs one command; true when the device answered it.
  bool send(const QString& command);
  // Poll, and "PA" when the poll reply says the reader has just powered up ("R2").
  bool preamble();
  // The operations' bodies; false when a command got no answer.
  bool counterDisplay();
  bool settingsDisplay();
  bool clearCounters(const QString& question, const QString& command);
  bool printDataSheet();

  void setLabel(const QString& name, const QString& text);
  QComboBox* list(const char* name) const;
  void tell(const QString& text);

  Module1& m_;
  Exchange& x_;
  QWidget* mainWindow_;
  QLineEdit* count_ = nullptr;       // Text1
  QCheckBox* erasePrint_ = nullptr;  // Check1
};

}  // namespace tavo
