#include "app/core/form1.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>

#include "app/core/answer_decoding.h"
#include "app/core/display_label.h"
#include "app/core/form_com.h"
#include "app/core/modal.h"
#include "app/core/settings_file.h"
#include "app/core/text_utils.h"

namespace tavo {
namespace {

constexpr int kTwipsPerPixel = 15;

}  // namespace

Form1::Form1(Module1& m) : m_(m), exchange_(m, port_, *this), bench_(m, exchange_, *this) {
  setObjectName(QStringLiteral("Form1"));
  setWindowTitle(QStringLiteral("Tavotest"));

  auto makeTimer = [this](const char* name, int interval, bool precise) {
    auto* t = new QTimer(this);
    t->setObjectName(QLatin1String(name));
    t->setInterval(interval);
    if (precise) t->setTimerType(Qt::PreciseTimer);
    return t;
  };
  timer1_ = makeTimer("Timer1", 100, true);
  timer2_ = makeTimer("Timer2", 3000, true);
  timer3_ = makeTimer("Timer3", 100, true);
  timer4_ = makeTimer("Timer4", 65000, false);
  connect(timer1_, &QTimer::timeout, this, [this] { exchange_.Timer1_Timer(); });
  connect(timer2_, &QTimer::timeout, this, [this] { exchange_.Timer2_Timer(); });
  connect(timer3_, &QTimer::timeout, this, [this] { exchange_.Timer3_Timer(); });
  connect(timer4_, &QTimer::timeout, timer4_, &QTimer::stop);
  logRefresh_ = new QTimer(this);
  logRefresh_->setSingleShot(true);
  logRefresh_->setInterval(30);
  connect(logRefresh_, &QTimer::timeout, this, &Form1::flushLog);

  port_.onCommError = [this](int id) { exchange_.Port1_CommError(id); };
  port_.onCommState = [this](int id) { exchange_.Port1_CommState(id); };

  buildWindow();
  buildMenus();
}

Form1::~Form1() {
  port_.destroy();
}

bool Form1::createPort(QString* error) {
  return port_.create(error);
}

void Form1::labelInit() {
  // The result labels, empty.
  for (const char* name : {"Label5(1)", "Label5(2)", "Label5(3)", "Label7",  "Label9",  "Label10",
                           "Label11",   "Label12",   "Label13",   "Label14", "Label19", "Label24",
                           "Label25",   "Label26",   "Label28",   "Label29", "Label30", "Label32",
                           "Label33",   "Label39",   "Label40",   "Label41", "Label42", "Label47",
                           "Label48",   "Label49",   "Label51",   "Label52", "Label53", "Label56"})
    setControlText(QLatin1String(name), {});
  // The parameter boxes, at their start values.
  static const char* const kStart[][2] = {{"Text2", "200"},
                                          {"Text4", "4"},
                                          {"Text6", ""},
                                          {"Text8", "0"},
                                          {"Text9", "0/0/24/esc$e221998"},
                                          {"Text10", ""},
                                          {"Text11", ""},
                                          {"Text12", "69"},
                                          {"Text13", "00/10"},
                                          {"Text14", "LOG000"},
                                          {"Text16", "000000"},
                                          {"Text17", ""},
                                          {"Text18", ""},
                                          {"Text19", "0"},
                                          {"Text20", "459"},
                                          {"Text21", ""},
                                          {"Text22", ""},
                                          {"Text31", ""},
                                          {"Text25", "08"},
                                          {"Text26", "01"},
                                          {"Text27", "FF34"},
                                          {"Text32(1)", ""},
                                          {"Text32(2)", ""},
                                          {"Text32(3)", ""},
                                          {"txtWd(1)", "0"},
                                          {"txtWd(2)", "1"},
                                          {"txtWd(3)", "2"}};
  for (const auto& start : kStart)
    setControlText(QLatin1String(start[0]), QString::fromUtf8(start[1]));
  logText_.clear();
  flushLog();
}

void Form1::formLoad() {
  m_.iniFile = settingsPath(m_.programFolder);
  const WindowPlace place = readStartupSettings(m_);

  // Placed as read, unless that would put the window where no screen shows it.
  QPoint at(place.left / kTwipsPerPixel, place.top / kTwipsPerPixel);
  bool visible = false;
  for (QScreen* s : QGuiApplication::screens())
    if (s->availableGeometry().intersects(QRect(at, QSize(64, 32)))) visible = true;
  if (!visible) at = QPoint(0, 0);
  move(at);

  setControlText(QStringLiteral("Label35"), QString::number(m_.portNumber));
  if (auto summary = lineSummary(m_.baudRate, m_.parity, m_.dataBits, m_.stopBits))
    setControlText(QStringLiteral("Label1"), *summary);
  m_.passwordInput = m_.password;
  resize(9600 / kTwipsPerPixel, 7200 / kTwipsPerPixel);

  for (QTimer* t : {timer1_, timer2_, timer3_}) t->stop();
  japaneseMessage_->setChecked(true);
  m_.japaneseMode = 1;
  dsrChecked_->setChecked(true);
  for (int i = 0; i < kOptionBoxCount; ++i)
    setChecked(QLatin1String(kOptionBoxes[i].name), kOptionBoxes[i].checkedAtStart);
  setEnabled(QStringLiteral("chkER"), checked(QStringLiteral("Check3")));
  setShown(QStringLiteral("chkIR"), false);
  setShown(QStringLiteral("chkPunch"), false);
  autoPoll_->setChecked(true);
  if (auto* combo1 = findChild<QComboBox*>(QStringLiteral("Combo1"))) combo1->setCurrentIndex(0);

  labelInit();
  initMessages(m_);
  timer1_->start();
}

void Form1::formQueryUnload() {
  if (unloaded_) return;
  unloaded_ = true;
  exchange_.commClose();
  WindowPlace place;
  place.left = pos().x() * kTwipsPerPixel;
  place.top = pos().y() * kTwipsPerPixel;
  if (!writeShutdownSettings(m_, place))
    qWarning("tavotest: the settings file %s could not be written", qPrintable(m_.iniFile));
  m_.appEnding = true;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w != this && w->isVisible()) w->close();
  QCoreApplication::exit(0);
}

void Form1::closeEvent(QCloseEvent* event) {
  formQueryUnload();
  event->accept();
}

void Form1::switchLanguage(bool japanese) {
  japaneseMessage_->setChecked(japanese);
  m_.japaneseMode = japanese ? 1 : 0;
  initMessages(m_);
  labelInit();
}

void Form1::cmdKaishi_Click() {
  const QString entry = text5_->currentText();
  text5_->insertItem(0, entry);
  for (int i = 1; i < text5_->count(); ++i) {
    if (text5_->itemText(i) == entry) {
      text5_->removeItem(i);
      break;
    }
  }
  text5_->setCurrentIndex(0);
  exchange_.poll();
  m_.commandText = expandEscapes(entry);
  exchange_.comu();
}

void Form1::cmdTeishi_Click() {
  exchange_.cmdTeishi_Click();
}

void Form1::TestComm_Click() {
  exchange_.commClose();
  FormCOM settings(m_, this);
  execModal(&settings);
  if (m_.appEnding) return;
  exchange_.commIni();
}

void Form1::flushLog() {
  logRefresh_->stop();
  txtDisp_->setPlainText(logText_);
}

void Form1::setControlText(const QString& name, const QString& text) {
  QWidget* w = controls_.value(name);
  if (!w) return;
  if (auto* label = qobject_cast<QLabel*>(w)) {
    setDisplayText(label, text);
    // The status lamp follows the status label, unless answers go undecoded.
    if (name == u"Label25" && !fastMode_->isChecked()) showLamp();
  } else if (auto* edit = qobject_cast<QLineEdit*>(w)) {
    edit->setText(text);
  } else if (auto* combo = qobject_cast<QComboBox*>(w)) {
    if (combo->isEditable()) combo->setEditText(text);
  } else if (auto* plain = qobject_cast<QPlainTextEdit*>(w)) {
    plain->setPlainText(text);
  } else if (auto* spin = qobject_cast<QDoubleSpinBox*>(w)) {
    spin->setValue(valNumber(text));
  }
}

QString Form1::controlText(const QString& name) const {
  QWidget* w = controls_.value(name);
  if (auto* label = qobject_cast<QLabel*>(w)) return displayText(label);
  if (auto* edit = qobject_cast<QLineEdit*>(w)) return edit->text();
  if (auto* spin = qobject_cast<QDoubleSpinBox*>(w)) return QString::number(spin->value());
  if (auto* combo = qobject_cast<QComboBox*>(w)) return combo->currentText();
  if (w == txtDisp_) return logText_;
  return {};
}

bool Form1::isChecked(Option option) {
  switch (option) {
    case Option::AutoPoll:
      return autoPoll_->isChecked();
    case Option::FastMode:
      return fastMode_->isChecked();
    case Option::Nak:
      return nak_->isChecked();
    case Option::DsrCheck:
      return dsrChecked_->isChecked();
  }
  return false;
}

void Form1::addLog(const QString& line) {
  logText_ = logPrepend(logText_, line);
  if (!logRefresh_->isActive()) logRefresh_->start();
  if (onLog) onLog(line);
}

void Form1::showMessage(const QString& text, MsgIcon icon) {
  Dialogs::message(this, text, icon);
}

QTimer* Form1::timer(TimerId id) const {
  switch (id) {
    case TimerId::Timer1:
      return timer1_;
    case TimerId::Timer2:
      return timer2_;
    case TimerId::Timer3:
      return timer3_;
  }
  return timer1_;
}

void Form1::setTimerEnabled(TimerId id, bool enabled) {
  QTimer* t = timer(id);
  if (enabled && !t->isActive())
    t->start();
  else if (!enabled)
    t->stop();
}

bool Form1::timerEnabled(TimerId id) {
  return timer(id)->isActive();
}

void Form1::setTimerInterval(TimerId id, int milliseconds) {
  timer(id)->setInterval(milliseconds);
}

void Form1::yieldEvents(int maxWaitMs) {
  if (maxWaitMs < 0) {
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return;
  }
  QTimer wake;
  wake.setSingleShot(true);
  wake.setTimerType(Qt::PreciseTimer);
  wake.start(maxWaitMs);
  QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

void Form1::decodeAnswer() {
  tavo::decodeAnswer(
      m_, [this](const QString& name, const QString& text) { setControlText(name, text); });
}

void Form1::showLamp() {
  auto* lamp = qobject_cast<QLabel*>(controls_.value(QStringLiteral("Label53")));
  if (!lamp) return;
  const QColor colour = lampColour(
      lampFor(controlText(QStringLiteral("Label25")), controlText(QStringLiteral("Label10"))));
  QPalette p = lamp->palette();
  p.setColor(QPalette::Window, colour.isValid() ? colour : palette().color(QPalette::Button));
  lamp->setPalette(p);
}

bool Form1::checked(const QString& name) {
  if (auto* box = qobject_cast<QAbstractButton*>(controls_.value(name))) return box->isChecked();
  if (QAction* a = actions_.value(name)) return a->isChecked();
  return false;
}

void Form1::setChecked(const QString& name, bool on) {
  if (auto* box = qobject_cast<QAbstractButton*>(controls_.value(name)))
    box->setChecked(on);
  else if (QAction* a = actions_.value(name))
    a->setChecked(on);
}

void Form1::setEnabled(const QString& name, bool on) {
  if (QWidget* w = controls_.value(name)) w->setEnabled(on);
}

void Form1::setShown(const QString& name, bool on) {
  if (QWidget* w = controls_.value(name)) w->setVisible(on);
}

int Form1::selectedIndex(const QString& name) {
  auto* combo = qobject_cast<QComboBox*>(controls_.value(name));
  return combo ? combo->currentIndex() : -1;
}

int Form1::windowWidthTwips() {
  return width() * kTwipsPerPixel;
}

int Form1::windowHeightTwips() {
  return height() * kTwipsPerPixel;
}

void Form1::setWindowTwips(int width, int height) {
  resize(width / kTwipsPerPixel, height / kTwipsPerPixel);
}

}  // namespace tavo
