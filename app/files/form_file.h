// FormFile: the command-file window ("File W/R Mode"), opened from the main window's
// "File access" menu. A test engineer writes a script of device commands in the editor, saves it,
// opens it again and runs it against the device, watching the line, the loop count, the command
// and the wait as the run goes.
//
// How it works: the folder list starts at the program folder's "FileAccess" (made when missing);
// the drive list holds the mounted file systems, the folder list the folder's parent ("..") and
// sub-folders (double-click or Enter goes into one; the path box above it takes a typed path),
// the file list the folder's files (a click puts the name into the file-name box, a double-click
// or Enter opens the file). Open and Save use the folder and the file-name box (an absolute path
// there stands for itself); a file that cannot be read or written is named in a message box with
// the reason, and a failed save leaves the file as it was.
//
// A run splits the editor's text afresh and runs it through the main window (MainWindowRun): it
// opens the port when it is closed, refuses to start while another operation talks to the device,
// and runs one at a time ("実行" is off while it runs). "中止" polls, sends "CL" and asks the run
// to stop; the run ends after its current step, and a wait ends at once. Pressed while a command
// waits for its answer, it asks the run to stop and the run sends the "CL" once that command has
// ended (a "CI" waiting for a card ends at once). Closing the window during a run asks the run to
// stop the same way, without the "CL".
//
// The window is made once and hidden by "終了"; each opening (formLoad) starts it afresh.
//
// Offers: FormFile.
#pragma once

#include <QWidget>
#include <optional>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPlainTextEdit;
class QPushButton;

namespace tavo {

class Form1;
struct Module1;

class FormFile final : public QWidget {
  Q_OBJECT

 public:
  explicit FormFile(Form1& main);

  // Opening: beside the main window's corner, the folder list at "FileAccess", "Sample.dat" in
  // the file-name box, the sample script in the editor, the run displays empty. While a run is
  // still ending, the window is only shown again.
  void formLoad();

  void Command2_Click();  // "開く(&O)": the file into the editor
  void Command3_Click();  // "保存(&S)": the editor into the file
  void Command1_Click();  // "消去(&E)": file name and editor emptied
  void Command4_Click();  // "実行(&R)": run the script
  void Command5_Click();  // "中止": abort a run
  // The folder the lists show; false (nothing changes) when it is not a readable folder.
  bool setFolder(const QString& path);
  QString folder() const { return folder_; }
  bool running() const { return running_; }

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  class WindowRun;
  void buildWindow();
  void connectControls();
  void fillDrives();
  void fillLists();
  // A double-click or Enter on a list entry: the folder shown, or the file opened.
  void folderChosen(QListWidgetItem* item);
  void fileChosen(QListWidgetItem* item);
  // Shows the folder, or tells the operator it cannot be shown and keeps the one shown.
  void goTo(const QString& target);
  QString driveOf(const QString& folder) const;
  QString scriptText() const;
  void setScriptText(const QString& crLfText);
  // The file the file-name box names in the folder; nothing (the operator told) when it is
  // empty.
  std::optional<QString> namedFile();
  bool japanese() const;
  void tell(const QString& text);
  // A poll, then "CL" through the main window's command entry.
  void sendClear();
  void setDisplay(const char* name, const QString& text);

  Form1& main_;
  Module1& m_;
  QString folder_;
  bool running_ = false;
  bool aborting_ = false;
  bool clAfterRun_ = false;           // "中止" came while a command waited
  QComboBox* drives_ = nullptr;       // Drive1
  QLineEdit* path_ = nullptr;         // Dir1Path: the folder list's path
  QListWidget* folders_ = nullptr;    // Dir1
  QListWidget* files_ = nullptr;      // File1
  QLineEdit* name_ = nullptr;         // Text1
  QPlainTextEdit* editor_ = nullptr;  // Text2
  QCheckBox* errorStop_ = nullptr;    // Check1
  QPushButton* run_ = nullptr;        // Command4
};

}  // namespace tavo
