// VersionDisp: the version window ("ﾊﾞｰｼﾞｮﾝ情報"), opened by the main window's "Version(&V)"
// menu. It shows the program's description, title and version, comments and legal notice, and
// goes away at the first sign that the operator has read it: a click on its button, any key, or
// the window losing the focus (another window chosen, Alt+Tab).
//
// The window is made once and hidden, never destroyed; each opening (formLoad) fills it afresh.
//
// Offers: VersionDisp.
#pragma once

#include <QWidget>

namespace tavo {

class VersionDisp final : public QWidget {
  Q_OBJECT

 public:
  explicit VersionDisp(QWidget* mainWindow);

  // Fills the four texts from the program's version data.
  void formLoad();

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void changeEvent(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
};

}  // namespace tavo
