// FormEMC: the EMC test window ("EMC Test"), opened from the main window's "EMC Test" menu. For
// electromagnetic compatibility tests the whole window shows a dense fixed pattern: a text box
// filled with 2400 "H" that covers the window at every size.
//
// The window is made once and hidden when closed; each opening (formLoad) fills it afresh.
//
// Offers: FormEMC, kEmcPatternLength.
#pragma once

#include <QWidget>

class QPlainTextEdit;

namespace tavo {

inline constexpr int kEmcPatternLength = 2400;

class FormEMC final : public QWidget {
  Q_OBJECT

 public:
  explicit FormEMC(QWidget* mainWindow);

  // The text box at the window's corner, filled with the pattern.
  void formLoad();

 protected:
  // The text box takes the window's whole inner area.
  void resizeEvent(QResizeEvent* event) override;

 private:
  QPlainTextEdit* text_;  // Text1
};

}  // namespace tavo
