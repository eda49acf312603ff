#include "app/files/form_file.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStorageInfo>
#include <QVBoxLayout>
#include <algorithm>

#include "app/core/dialogs.h"
#include "app/core/display_label.h"
#include "app/core/form1.h"
#include "app/core/module1.h"
#include "app/files/command_script.h"
#include "app/files/main_window_run.h"
#include "app/files/script_file.h"

namespace tavo {
namespace {

constexpr int kTwipsPerPixel = 15;
const QString kParent = QStringLiteral("..");

QPushButton* button(const char* name, const QString& text) {
  auto* b = new QPushButton(text);
  b->setObjectName(QLatin1String(name));
  b->setAutoDefault(false);
  return b;
}

}  // namespace

// The run as the window shows it: the four run displays follow each step.
class FormFile::WindowRun final : public MainWindowRun {
 public:
  explicit WindowRun(FormFile& window) : MainWindowRun(window.main_, &window), w_(window) {}
  void showLine(int line) override { w_.setDisplay("Label5", QString::number(line)); }
  void showLoop(int loopRemaining) override {
    w_.setDisplay("Label3", QString::number(loopRemaining));
  }
  void showCommand(const QString& text) override { w_.setDisplay("Label2", text); }
  void showWait(const QString& text) override { w_.setDisplay("Label4", text); }

 private:
  FormFile& w_;
};

FormFile::FormFile(Form1& main) : QWidget(&main, Qt::Window), main_(main), m_(main.shared()) {
  setObjectName(QStringLiteral("FormFile"));
  setWindowTitle(QStringLiteral("File W/R Mode"));
  buildWindow();
  connectControls();
}

void FormFile::buildWindow() {
  drives_ = new QComboBox;
  drives_->setObjectName(QStringLiteral("Drive1"));
  path_ = new QLineEdit;
  path_->setObjectName(QStringLiteral("Dir1Path"));
  folders_ = new QListWidget;
  folders_->setObjectName(QStringLiteral("Dir1"));
  files_ = new QListWidget;
  files_->setObjectName(QStringLiteral("File1"));
  name_ = new QLineEdit;
  name_->setObjectName(QStringLiteral("Text1"));
  auto* nameCaption = new QLabel(QStringLiteral("File Name(&N)"));
  nameCaption->setBuddy(name_);

  auto* fileButtons = new QHBoxLayout;
  fileButtons->addWidget(button("Command2", QStringLiteral("開く(&O)")));
  fileButtons->addWidget(button("Command3", QStringLiteral("保存(&S)")));
  fileButtons->addWidget(button("Command1", QStringLiteral("消去(&E)")));

  auto* left = new QVBoxLayout;
  left->addWidget(drives_);
  left->addWidget(path_);
  left->addWidget(folders_, 1);
  left->addWidget(files_, 1);
  left->addWidget(nameCaption);
  left->addWidget(name_);
  left->addLayout(fileButtons);

  editor_ = new QPlainTextEdit;
  editor_->setObjectName(QStringLiteral("Text2"));
  editor_->setLineWrapMode(QPlainTextEdit::NoWrap);
  QFont fixed(QStringLiteral("Monospace"));
  fixed.setStyleHint(QFont::TypeWriter);
  editor_->setFont(fixed);

  auto* displays = new QGridLayout;
  const char* names[] = {"Label5", "Label3", "Label2", "Label4"};
  const QString captions[] = {QStringLiteral("Line"), QStringLiteral("Loop Count"),
                              QStringLiteral("Command"), QStringLiteral("Wait (sec)")};
  for (int k = 0; k < 4; ++k) {
    displays->addWidget(new QLabel(captions[k]), 0, k);
    displays->addWidget(makeDisplayLabel(QLatin1String(names[k]), k == 2 ? 200 : 60), 1, k);
  }
  displays->setColumnStretch(2, 1);

  errorStop_ = new QCheckBox(QStringLiteral("Error Stop"));
  errorStop_->setObjectName(QStringLiteral("Check1"));
  run_ = button("Command4", QStringLiteral("実行(&R)"));
  auto* runButtons = new QHBoxLayout;
  runButtons->addWidget(errorStop_);
  runButtons->addStretch(1);
  runButtons->addWidget(run_);
  runButtons->addWidget(button("Command5", QStringLiteral("中止")));
  runButtons->addWidget(button("Command6", QStringLiteral("終了")));

  auto* right = new QVBoxLayout;
  right->addWidget(editor_, 1);
  right->addLayout(displays);
  right->addLayout(runButtons);

  auto* whole = new QHBoxLayout(this);
  whole->addLayout(left, 2);
  whole->addLayout(right, 5);
  resize(820, 520);
}

void FormFile::connectControls() {
  auto onClick = [this](const char* name, auto handler) {
    connect(findChild<QPushButton*>(QLatin1String(name)), &QPushButton::clicked, this, handler);
  };
  onClick("Command2", [this] { Command2_Click(); });
  onClick("Command3", [this] { Command3_Click(); });
  onClick("Command1", [this] { Command1_Click(); });
  onClick("Command4", [this] { Command4_Click(); });
  onClick("Command5", [this] { Command5_Click(); });
  onClick("Command6", [this] { close(); });
  connect(drives_, &QComboBox::activated, this,
          [this](int index) { goTo(drives_->itemText(index)); });
  connect(path_, &QLineEdit::returnPressed, this, [this] {
    if (path_->text() != folder_) goTo(path_->text());
  });
  connect(folders_, &QListWidget::itemDoubleClicked, this,
          [this](QListWidgetItem* item) { folderChosen(item); });
  connect(files_, &QListWidget::itemClicked, this,
          [this](QListWidgetItem* item) { name_->setText(item->text()); });
  connect(files_, &QListWidget::itemDoubleClicked, this,
          [this](QListWidgetItem* item) { fileChosen(item); });
  folders_->installEventFilter(this);
  files_->installEventFilter(this);
}

bool FormFile::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
      if (watched == folders_ && folders_->currentItem()) {
        folderChosen(folders_->currentItem());
        return true;
      }
      if (watched == files_ && files_->currentItem()) {
        fileChosen(files_->currentItem());
        return true;
      }
    }
  }
  return QWidget::eventFilter(watched, event);
}

void FormFile::formLoad() {
  if (running_) return;
  const int offset = 400 / kTwipsPerPixel;
  move(main_.pos() + QPoint(offset, offset));
  const QString home = m_.programFolder.isEmpty() ? QDir::currentPath() : m_.programFolder;
  const QString access = scriptFilePath(home, QStringLiteral("FileAccess"));
  QDir().mkpath(access);  // a fresh installation has none yet
  fillDrives();
  if (!setFolder(access)) setFolder(home);
  name_->setText(QStringLiteral("Sample.dat"));
  setScriptText(sampleScript());
  for (const char* name : {"Label5", "Label3", "Label2", "Label4"}) setDisplay(name, {});
}

void FormFile::fillDrives() {
  QStringList roots;
  for (const QStorageInfo& volume : QStorageInfo::mountedVolumes())
    if (volume.isValid() && volume.isReady()) roots << volume.rootPath();
  roots.removeDuplicates();
  roots.sort();
  drives_->clear();
  drives_->addItems(roots);
}

bool FormFile::setFolder(const QString& path) {
  const QFileInfo info(path);
  if (path.isEmpty() || !info.isDir() || !info.isReadable()) return false;
  folder_ = QDir::cleanPath(info.absoluteFilePath());
  path_->setText(folder_);
  drives_->setCurrentIndex(drives_->findText(driveOf(folder_)));
  fillLists();
  return true;
}

QString FormFile::driveOf(const QString& folder) const {
  // The mounted file system the folder is on: the longest root above it.
  QString best;
  for (int k = 0; k < drives_->count(); ++k) {
    const QString root = drives_->itemText(k);
    const bool above = root == u"/" || folder == root || folder.startsWith(root + u'/');
    if (above && root.size() > best.size()) best = root;
  }
  return best;
}

void FormFile::fillLists() {
  const QDir dir(folder_);
  folders_->clear();
  if (!dir.isRoot()) folders_->addItem(kParent);
  folders_->addItems(
      dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase));
  files_->clear();
  files_->addItems(dir.entryList(QDir::Files, QDir::Name | QDir::IgnoreCase));
}

void FormFile::fileChosen(QListWidgetItem* item) {
  name_->setText(item->text());
  Command2_Click();
}

void FormFile::folderChosen(QListWidgetItem* item) {
  goTo(item->text() == kParent ? QFileInfo(folder_).path() : scriptFilePath(folder_, item->text()));
}

void FormFile::goTo(const QString& target) {
  if (setFolder(target)) return;
  path_->setText(folder_);
  drives_->setCurrentIndex(drives_->findText(driveOf(folder_)));
  tell(japanese() ? QStringLiteral("「%1」は開けるフォルダではありません。").arg(target)
                  : QStringLiteral("\"%1\" is not a folder that can be opened.").arg(target));
}

QString FormFile::scriptText() const {
  QString text = editor_->toPlainText();
  text.replace(u'\n', QStringLiteral("\r\n"));
  return text;
}

void FormFile::setScriptText(const QString& crLfText) {
  QString text = crLfText;
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  editor_->setPlainText(text);
}

bool FormFile::japanese() const {
  return m_.japaneseMode == 1;
}

void FormFile::tell(const QString& text) {
  Dialogs::message(this, text, MsgIcon::Exclamation);
}

void FormFile::setDisplay(const char* name, const QString& text) {
  setDisplayText(findChild<QLabel*>(QLatin1String(name)), text);
}

std::optional<QString> FormFile::namedFile() {
  if (!name_->text().trimmed().isEmpty()) return scriptFilePath(folder_, name_->text().trimmed());
  tell(japanese() ? QStringLiteral("ファイル名を入力してください。")
                  : QStringLiteral("Enter a file name."));
  return std::nullopt;
}

void FormFile::Command2_Click() {
  const std::optional<QString> file = namedFile();
  if (!file) return;
  const QString& path = *file;
  QString reason;
  const std::optional<QString> text = readScriptFile(path, japanese(), &reason);
  if (!text) {
    tell(japanese() ? QStringLiteral("「%1」を開けません: %2").arg(path, reason)
                    : QStringLiteral("Cannot open \"%1\": %2").arg(path, reason));
    return;
  }
  setScriptText(*text);
}

void FormFile::Command3_Click() {
  const std::optional<QString> file = namedFile();
  if (!file) return;
  const QString& path = *file;
  QString reason;
  if (!writeScriptFile(path, scriptText(), japanese(), &reason)) {
    tell(japanese() ? QStringLiteral("「%1」に保存できません: %2").arg(path, reason)
                    : QStringLiteral("Cannot save \"%1\": %2").arg(path, reason));
    return;
  }
  fillLists();  // a new file shows in the list
}

void FormFile::Command1_Click() {
  name_->clear();
  editor_->clear();
}

void FormFile::Command4_Click() {
  if (running_) return;
  if (m_.commBusy != 0) {
    tell(japanese()
             ? QStringLiteral("他の操作が装置と通信中です。終わってから実行してください。")
             : QStringLiteral("Another operation is talking to the device. Run the file when it "
                              "has ended."));
    return;
  }
  m_.stopRequest = 0;
  if (!openPortForRun(main_, this)) return;
  running_ = true;
  run_->setEnabled(false);
  const QStringList lines = splitScriptLines(scriptText());
  WindowRun host(*this);
  runScript(lines, errorStop_->isChecked(), japanese(), host);
  if (clAfterRun_) {
    clAfterRun_ = false;
    sendClear();
  }
  running_ = false;
  run_->setEnabled(true);
}

void FormFile::Command5_Click() {
  if (m_.stopRequest != 0 || aborting_) return;
  if (m_.commBusy != 0) {
    // A command of the run waits for its answer further down this thread's stack: waiting here
    // for it to end would never end. The run stops after that command and sends the "CL" then.
    // A "CI" waiting for a card gives up its wait as soon as another command is placed.
    m_.stopRequest = 1;
    clAfterRun_ = running_;
    if (m_.commandText.startsWith(u"CI")) m_.commandText = QStringLiteral("CL");
    return;
  }
  aborting_ = true;
  sendClear();
  m_.stopRequest = 1;
  aborting_ = false;
}

void FormFile::sendClear() {
  if (m_.appEnding) return;
  main_.exchange().poll();
  main_.setControlText(QStringLiteral("Text5"), QStringLiteral("CL"));
  main_.cmdKaishi_Click();
}

void FormFile::closeEvent(QCloseEvent* event) {
  if (running_) m_.stopRequest = 1;
  QWidget::closeEvent(event);
}

}  // namespace tavo
