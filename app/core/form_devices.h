// FormDevices: the list of serial devices present and the COM numbers that reach them, opened
// from the port settings window. "Refresh" scans again; "Use" (or a double click) hands the
// selected device's first COM number to the port settings window; "Close" closes.
//
// Offers: FormDevices.
#pragma once

#include <QDialog>

class QTreeWidget;

namespace tavo {

class FormDevices final : public QDialog {
  Q_OBJECT

 public:
  explicit FormDevices(QWidget* parent = nullptr);

  void refresh();

 signals:
  void portChosen(int port);

 private:
  void useSelected();

  QTreeWidget* list_ = nullptr;
};

}  // namespace tavo
