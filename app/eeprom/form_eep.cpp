#include "app/eeprom/form_eep.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDate>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "app/core/dialogs.h"
#include "app/core/display_label.h"
#include "app/core/text_utils.h"
#include "app/eeprom/data_sheet.h"
#include "app/eeprom/eeprom_counters.h"

namespace tavo {
namespace {

constexpr int kTwipsPerPixel = 15;
// The counter write asks for this before it writes.
constexpr char16_t kWritePassword[] = u"tilbor";

QString orWhenErased(const QString& digit, const QString& replacement) {
  return digit == u"F" ? replacement : digit;
}

}  // namespace

FormEEP::FormEEP(Module1& m, Exchange& exchange, QWidget* mainWindow)
    : QWidget(mainWindow, Qt::Window), m_(m), x_(exchange), mainWindow_(mainWindow) {
  setObjectName(QStringLiteral("FormEEP"));
  setWindowTitle(QStringLiteral("EEPROM Setting Mode"));
  buildWindow();
  connectControls();
}

void FormEEP::connectControls() {
  auto onClick = [this](const char* name, auto handler) {
    auto* b = findChild<QPushButton*>(QLatin1String(name));
    connect(b, &QPushButton::clicked, this, handler);
  };
  onClick("Command1", [this] { Command1_Click(); });
  onClick("Command8", [this] { Command8_Click(); });
  onClick("Command9", [this] { Command9_Click(); });
  onClick("Command13", [this] { Command13_Click(); });
  onClick("Command5", [this] { Command5_Click(); });
  onClick("Command7", [this] { Command7_Click(); });
  onClick("Command10", [this] { Command10_Click(); });
  onClick("Command11", [this] { Command11_Click(); });
  onClick("Command6", [this] { close(); });
  for (Setting s : {Setting::TphRank, Setting::PrintDensity, Setting::EraseRank, Setting::EraseLot,
                    Setting::PrintPosition})
    onClick(settingSpec(s).button, [this, s] { changeSetting(s); });
  connect(count_, &QLineEdit::returnPressed, this, [this] { Command13_Click(); });
}

void FormEEP::formLoad() {
  const int offset = 600 / kTwipsPerPixel;
  move(mainWindow_->pos() + QPoint(offset, offset));
  // The reply of an exchange still under way belongs to whoever waits for it.
  if (m_.commBusy == 0 && m_.rxState == 0) {
    m_.replyType.clear();
    m_.replyStatus.clear();
    m_.replyText.clear();
    m_.replyCommand.clear();
  }
  for (const char* name : {"Combo1", "Combo2", "Combo3", "Combo4", "Combo5", "Combo8"})
    list(name)->setCurrentIndex(-1);
  count_->clear();
  for (const char* name : {"Label1", "Label2", "Label3", "Label4", "Label5", "Label6", "Label7",
                           "Label8", "Label15", "Label17"})
    setLabel(QLatin1String(name), {});
  list("Combo6")->setCurrentIndex(0);
  list("Combo7")->setCurrentIndex(0);
  findChild<QPushButton*>(QStringLiteral("Command10"))->setText(QStringLiteral("RS\n(CR再起動)"));
}

void FormEEP::setLabel(const QString& name, const QString& text) {
  setDisplayText(findChild<QLabel*>(name), text);
}

QComboBox* FormEEP::list(const char* name) const {
  return findChild<QComboBox*>(QLatin1String(name));
}

void FormEEP::tell(const QString& text) {
  Dialogs::message(this, text, MsgIcon::Exclamation);
}

bool FormEEP::begin() {
  if (m_.commBusy == 0) return true;
  tell(japanese() ? QStringLiteral("他の操作が装置と通信中です。終わってから操作してください。")
                  : QStringLiteral("Another operation is talking to the device. Try again when "
                                   "it has ended."));
  return false;
}

bool FormEEP::send(const QString& command) {
  // comu leaves the reply fields alone when the command cannot go out (port closed); emptied
  // here, they never show the answer to an earlier command.
  m_.replyType.clear();
  m_.replyStatus.clear();
  m_.replyText.clear();
  m_.commandText = command;
  x_.comu();
  return !m_.replyType.isEmpty();
}

bool FormEEP::preamble() {
  x_.poll();
  if (!x_.portOpen()) return false;
  return !m_.replyText.startsWith(u"R2") || send(QStringLiteral("PA"));
}

bool FormEEP::counterDisplay() {
  x_.poll();
  if (!x_.portOpen()) return false;
  if (powerUpReported(m_) && !send(QStringLiteral("PA"))) return false;
  QString shown;
  for (const Counter& c : kCounters) {
    if (!send(counterCommand(c))) return false;
    const QString line = counterLine(c, m_.replyText);
    shown = &c == &kCounters.front() ? line : shown + u'\r' + line;
    setLabel(QStringLiteral("Label1"), shown);
  }
  return true;
}

bool FormEEP::settingsDisplay() {
  if (!preamble() || !send(QStringLiteral("TH"))) return false;
  const QString th = m_.replyText;
  m_.headTemperature = charsAt(th, 7, 2);
  m_.tphRank = charsAt(th, 6, 1);
  setLabel(QStringLiteral("Label2"), orWhenErased(m_.tphRank, QStringLiteral("0")));
  setLabel(QStringLiteral("Label5"), charsAt(th, 7, 2));
  setLabel(QStringLiteral("Label7"), charsAt(th, 6, 7) + u' ');

  if (!send(QStringLiteral("eer:20/01"))) return false;
  setLabel(QStringLiteral("Label15"),
           orWhenErased(charsAt(m_.replyText, 9, 1), QStringLiteral("2")));
  if (!send(QStringLiteral("eer:22/01"))) return false;
  setLabel(QStringLiteral("Label3"),
           orWhenErased(charsAt(m_.replyText, 9, 1), QStringLiteral("4")));
  setLabel(QStringLiteral("Label4"),
           orWhenErased(charsAt(m_.replyText, 7, 1), QStringLiteral("未設定")));
  if (!send(QStringLiteral("eer:08/01"))) return false;
  setLabel(QStringLiteral("Label17"),
           orWhenErased(charsAt(m_.replyText, 9, 1), QStringLiteral("4")));

  if (!send(QStringLiteral("VS"))) return false;
  m_.versionText = m_.replyText.mid(5);  // the data sheet prints it
  setLabel(QStringLiteral("Label6"), charsAt(m_.replyText, 6, 10) + u' ');
  if (!send(QStringLiteral("RE"))) return false;
  setLabel(QStringLiteral("Label8"), charsAt(m_.replyText, 6, 10) + u' ');
  return true;
}

void FormEEP::Command1_Click() {
  if (begin()) counterDisplay();
}

void FormEEP::Command8_Click() {
  if (begin()) settingsDisplay();
}

void FormEEP::Command9_Click() {
  if (begin() && counterDisplay()) settingsDisplay();
}

void FormEEP::changeSetting(Setting setting) {
  if (!begin()) return;
  const SettingSpec& spec = settingSpec(setting);
  const QString read = QLatin1String(spec.readCommand);
  if (!preamble()) return;
  send(read);
  QComboBox* choice = list(spec.list);
  if (choice->currentIndex() < 0) return;

  // The write puts the other byte back as read: without a good read there is nothing to write.
  const std::optional<WordRead> word = readWord(m_.replyText);
  if (!word) {
    tell(answerProblem(m_, read, m_.replyText, japanese()) +
         (japanese() ? QStringLiteral("\r\n書き込みはしていません。")
                     : QStringLiteral("\r\nNothing was written.")));
    return;
  }
  const QString newDigit = choice->currentText();
  if (Dialogs::message(this, settingQuestion(setting, *word, newDigit), MsgIcon::Question,
                       MsgButtons::OkCancel) != MsgAnswer::Ok)
    return;
  const QString write = settingWrite(setting, *word, newDigit);
  if (write.isEmpty()) return;
  send(write);
  if (!writeAccepted(m_.replyText)) {
    tell(answerProblem(m_, write, m_.replyText, japanese()));
    return;
  }
  Dialogs::message(this, QStringLiteral("設定を有効にするにはC/Rを一旦ﾘｾｯﾄして下さい"),
                   MsgIcon::Information);
}

void FormEEP::Command13_Click() {
  if (!begin()) return;
  QString refusal;
  const QString write =
      counterWrite(list("Combo4")->currentIndex(), count_->text(), japanese(), &refusal);
  if (write.isEmpty()) {
    tell(refusal);
    return;
  }
  const std::optional<QString> typed =
      Dialogs::input(this, QStringLiteral("パスワードを入力してください！"));
  if (!typed || *typed != QStringView(kWritePassword)) return;
  if (!preamble() || !send(write)) return;
  if (!writeAccepted(m_.replyText)) tell(answerProblem(m_, write, m_.replyText, japanese()));
  counterDisplay();
}

bool FormEEP::clearCounters(const QString& question, const QString& command) {
  if (Dialogs::message(this, question, MsgIcon::Question, MsgButtons::OkCancel) != MsgAnswer::Ok)
    return true;
  return preamble() && send(command) && counterDisplay();
}

void FormEEP::Command5_Click() {
  // The error-only clear is offered in Japanese mode only.
  if (!japanese() || !begin()) return;
  clearCounters(QStringLiteral("エラー回数のみ初期化されます！"), QStringLiteral("!!e"));
}

void FormEEP::Command7_Click() {
  if (begin())
    clearCounters(QStringLiteral("ｴﾗｰ＋ﾊﾟｽ回数が初期化されます !"), QStringLiteral("!!c"));
}

void FormEEP::Command10_Click() {
  if (!begin()) return;
  x_.poll();
  send(QStringLiteral("RS"));
}

void FormEEP::Command11_Click() {
  if (!begin()) return;
  if (Dialogs::message(this, QStringLiteral("   カードを挿入してください！"), MsgIcon::Question,
                       MsgButtons::OkCancel) != MsgAnswer::Ok)
    return;
  printDataSheet();
}

bool FormEEP::printDataSheet() {
  if (!counterDisplay() || !settingsDisplay()) return false;
  if (!send(QStringLiteral("PW:00DF"))) return false;
  // Without a card there is nothing to print on: the head's power goes back and the sheet ends.
  if (!send(QStringLiteral("CI"))) return false;
  if (!m_.replyText.startsWith(u"ACI") || !isOkStatus(m_.replyStatus)) {
    const QString problem = answerProblem(m_, QStringLiteral("CI"), m_.replyText, japanese());
    send(QStringLiteral("PW:0000"));
    tell(problem);
    return true;
  }
  if (!send(QStringLiteral("PA")) || !send(QStringLiteral("CL"))) return false;

  DataSheet sheet;
  for (const SheetRead& read : kSheetReads) {
    if (!send(QLatin1String(read.command))) return false;
    takeSheetRead(read, m_.replyText, &sheet);
  }
  sheet.date = QDate::currentDate().toString(QStringLiteral("yyyy/MM/dd"));
  sheet.serial = count_->text();
  sheet.version = m_.versionText;
  sheet.temperature = m_.headTemperature;
  for (const QString& command : dataSheetPrint(sheet, erasePrint_->isChecked()))
    if (!send(command)) return false;
  return true;
}

}  // namespace tavo
