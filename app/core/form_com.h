// FormCOM: the port settings window ("通信設定"), opened modally from the main window's
// "Comm Setting". It shows the current port and line settings in six lists, and "Comm Set"
// stores the choices in Module1 and in the settings file and closes the window; closing it by its
// title-bar button discards them. The main window reopens the port when it closes either way.
// "デバイスマネージャー" lists the serial devices present and the COM numbers that reach them.
//
// Offers: FormCOM.
#pragma once

#include <QDialog>

#include "app/core/module1.h"

class QComboBox;

namespace tavo {

class FormCOM final : public QDialog {
  Q_OBJECT

 public:
  FormCOM(Module1& m, QWidget* parent = nullptr);

  // "Comm Set".
  void Command22_Click();
  // "デバイスマネージャー".
  void DeviceManager_Click();

 private:
  void formLoad();

  Module1& m_;
  QComboBox* combo_[6] = {};
};

}  // namespace tavo
