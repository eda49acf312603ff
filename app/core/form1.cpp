#include "app/core/form1.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
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

#include "app/core/form_com.h"
#include "app/core/modal.h"
#include "app/core/settings_file.h"
#include "app/core/text_utils.h"

namespace tavo {
namespace {

constexpr int kTwipsPerPixel = 15;

QLabel* valueLabel(const QString& name, int minWidth) {
  auto* l = new QLabel;
  l->setObjectName(name);
  l->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  l->setMinimumWidth(minWidth);
  l->setTextInteractionFlags(Qt::TextSelectableByMouse);
  return l;
}

QLabel* caption(const QString& text) {
  auto* l = new QLabel(text);
  l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  return l;
}

// The option check boxes of the repeated test, with the names the window gives them.
struct OptionBox {
  const char* name;
  const char* caption;
  bool checkedAtStart;
};
constexpr OptionBox kOptionBoxes[] = {
    {"chkRmargin", "Rmargin", false},
    {"chkEMC", "EMC", false},
    {"chkLCD", "LCD", false},
    {"chkER", "ER", true},
    {"chkPort2PR", "Port2PR", false},
    {"chkJIS", "JIS", true},
    {"chkISO", "ISO", false},
    {"chk2750Oe3Tr", "2750Oe 3Tr", false},
    {"chkAutoSave", "Auto Save", false},
    {"chkRDDT", "RD+DT", false},
};

}  // namespace

Form1::Form1(Module1& m) : m_(m), exchange_(m, port_, *this) {
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

void Form1::buildWindow() {
  auto* central = new QWidget;
  auto* outer = new QVBoxLayout(central);
  outer->setContentsMargins(6, 4, 6, 6);
  outer->setSpacing(4);

  // Command entry.
  auto* entryRow = new QHBoxLayout;
  text5_ = new QComboBox;
  text5_->setObjectName(QStringLiteral("Text5"));
  text5_->setEditable(true);
  text5_->setInsertPolicy(QComboBox::NoInsert);
  text5_->setMaxVisibleItems(20);
  text5_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  auto* send = new QPushButton(QStringLiteral("Send"));
  send->setObjectName(QStringLiteral("cmdKaishi"));
  send->setAutoDefault(false);
  auto* quit = new QPushButton(QStringLiteral("Test Quit"));
  quit->setObjectName(QStringLiteral("cmdTeishi"));
  quit->setAutoDefault(false);
  entryRow->addWidget(new QLabel(QStringLiteral("Command")));
  entryRow->addWidget(text5_, 1);
  entryRow->addWidget(send);
  entryRow->addWidget(quit);
  outer->addLayout(entryRow);
  connect(send, &QPushButton::clicked, this, [this] { cmdKaishi_Click(); });
  connect(quit, &QPushButton::clicked, this, [this] { cmdTeishi_Click(); });
  connect(text5_->lineEdit(), &QLineEdit::returnPressed, this, [this] { cmdKaishi_Click(); });

  // Link and reply state.
  auto* status = new QGridLayout;
  status->setHorizontalSpacing(6);
  status->setVerticalSpacing(3);
  auto* label35 = valueLabel(QStringLiteral("Label35"), 36);
  auto* label33 = valueLabel(QStringLiteral("Label33"), 44);
  auto* label1 = valueLabel(QStringLiteral("Label1"), 96);
  auto* label7 = valueLabel(QStringLiteral("Label7"), 70);
  auto* label10 = valueLabel(QStringLiteral("Label10"), 44);
  auto* label25 = valueLabel(QStringLiteral("Label25"), 30);
  auto* label53 = valueLabel(QStringLiteral("Label53"), 22);
  label53->setAutoFillBackground(true);
  label53->setMaximumWidth(22);
  auto* label32 = valueLabel(QStringLiteral("Label32"), 36);
  auto* label40 = valueLabel(QStringLiteral("Label40"), 200);
  auto* label39 = valueLabel(QStringLiteral("Label39"), 200);
  auto* label37 = valueLabel(QStringLiteral("Label37"), 200);
  status->addWidget(caption(QStringLiteral("Port")), 0, 0);
  status->addWidget(label35, 0, 1);
  status->addWidget(caption(QStringLiteral("Open")), 0, 2);
  status->addWidget(label33, 0, 3);
  status->addWidget(caption(QStringLiteral("Line")), 0, 4);
  status->addWidget(label1, 0, 5);
  status->addWidget(label7, 0, 6);
  status->addWidget(caption(QStringLiteral("Reply")), 1, 0);
  status->addWidget(label10, 1, 1);
  status->addWidget(caption(QStringLiteral("Status")), 1, 2);
  auto* statusCell = new QHBoxLayout;
  statusCell->setSpacing(3);
  statusCell->addWidget(label25, 1);
  statusCell->addWidget(label53);
  status->addLayout(statusCell, 1, 3);
  status->addWidget(caption(QStringLiteral("Length")), 1, 4);
  status->addWidget(label32, 1, 5);
  status->addWidget(caption(QStringLiteral("Result")), 2, 0);
  status->addWidget(label40, 2, 1, 1, 6);
  status->addWidget(caption(QStringLiteral("State")), 3, 0);
  status->addWidget(label39, 3, 1, 1, 6);
  status->addWidget(caption(QStringLiteral("Guide")), 4, 0);
  status->addWidget(label37, 4, 1, 1, 6);
  status->setColumnStretch(5, 1);
  status->setColumnStretch(6, 1);
  outer->addLayout(status);

  // Link options.
  auto* linkRow = new QHBoxLayout;
  autoPoll_ = new QCheckBox(QStringLiteral("Auto Poll"));
  autoPoll_->setObjectName(QStringLiteral("Check10"));
  fastMode_ = new QCheckBox(QStringLiteral("Fast mode"));
  fastMode_->setObjectName(QStringLiteral("Check13"));
  nak_ = new QCheckBox(QStringLiteral("NAK"));
  nak_->setObjectName(QStringLiteral("Check16"));
  linkRow->addWidget(autoPoll_);
  linkRow->addWidget(fastMode_);
  linkRow->addWidget(nak_);
  linkRow->addStretch(1);
  outer->addLayout(linkRow);

  // Test options and the card type.
  auto* options = new QGroupBox(QStringLiteral("Test options"));
  auto* optionGrid = new QGridLayout(options);
  optionGrid->setContentsMargins(6, 2, 6, 4);
  optionGrid->setVerticalSpacing(1);
  int column = 0;
  int row = 0;
  for (const auto& o : kOptionBoxes) {
    auto* box = new QCheckBox(QLatin1String(o.caption));
    box->setObjectName(QLatin1String(o.name));
    optionGrid->addWidget(box, row, column);
    if (++column == 6) column = 0, ++row;
  }
  auto* combo1 = new QComboBox;
  combo1->setObjectName(QStringLiteral("Combo1"));
  combo1->addItem(QString());
  for (int i = 1; i <= 5; ++i) combo1->addItem(QStringLiteral("Type %1").arg(i));
  optionGrid->addWidget(new QLabel(QStringLiteral("Card type")), row, column++);
  optionGrid->addWidget(combo1, row, column);
  outer->addWidget(options);

  // The boxes the exchange shows a command's parameters in.
  auto* params = new QGridLayout;
  params->setHorizontalSpacing(6);
  params->setVerticalSpacing(3);
  auto lineEdit = [](const QString& name) {
    auto* e = new QLineEdit;
    e->setObjectName(name);
    return e;
  };
  params->addWidget(caption(QStringLiteral("MS")), 0, 0);
  params->addWidget(lineEdit(QStringLiteral("Text10")), 0, 1);
  params->addWidget(caption(QStringLiteral("PD")), 0, 2);
  params->addWidget(lineEdit(QStringLiteral("Text9")), 0, 3, 1, 3);
  for (int n = 1; n <= 3; ++n) {
    params->addWidget(caption(QStringLiteral("WD:%1").arg(n)), 1, 2 * (n - 1));
    params->addWidget(lineEdit(QStringLiteral("txtWd(%1)").arg(n)), 1, 2 * (n - 1) + 1);
  }
  params->setColumnStretch(1, 1);
  params->setColumnStretch(3, 1);
  params->setColumnStretch(5, 1);
  outer->addLayout(params);

  // The log, newest line first.
  txtDisp_ = new QPlainTextEdit;
  txtDisp_->setObjectName(QStringLiteral("txtDisp"));
  txtDisp_->setReadOnly(true);
  txtDisp_->setLineWrapMode(QPlainTextEdit::NoWrap);
  outer->addWidget(txtDisp_, 1);

  setCentralWidget(central);

  for (QWidget* w : central->findChildren<QWidget*>())
    if (!w->objectName().isEmpty()) controls_.insert(w->objectName(), w);
}

void Form1::buildMenus() {
  QMenu* setting = menuBar()->addMenu(QStringLiteral("Setting"));
  setting->setObjectName(QStringLiteral("menuSetting"));
  QAction* comm = setting->addAction(QStringLiteral("Comm Setting"));
  comm->setObjectName(QStringLiteral("TestComm"));
  connect(comm, &QAction::triggered, this, [this] { TestComm_Click(); });
  dsrChecked_ = setting->addAction(QStringLiteral("DSR Checkd"));
  dsrChecked_->setObjectName(QStringLiteral("Check1"));
  dsrChecked_->setCheckable(true);
  japaneseMessage_ = setting->addAction(QStringLiteral("JapaneesMessage"));
  japaneseMessage_->setObjectName(QStringLiteral("JapaneesMessage"));
  japaneseMessage_->setCheckable(true);
  connect(japaneseMessage_, &QAction::triggered, this,
          [this](bool checked) { switchLanguage(checked); });

  QAction* quit = menuBar()->addAction(QStringLiteral("Quit"));
  quit->setObjectName(QStringLiteral("Quit"));
  connect(quit, &QAction::triggered, this, [this] { close(); });
}

void Form1::labelInit() {
  for (const char* name :
       {"Label7", "Label10", "Label25", "Label32", "Label33", "Label39", "Label40", "Label37"})
    setControlText(QLatin1String(name), {});
  for (const char* name : {"Text9", "Text10", "txtWd(1)", "txtWd(2)", "txtWd(3)"})
    setControlText(QLatin1String(name), {});
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
  for (const auto& o : kOptionBoxes)
    if (auto* box = findChild<QCheckBox*>(QLatin1String(o.name))) box->setChecked(o.checkedAtStart);
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
    label->setText(text);
  } else if (auto* edit = qobject_cast<QLineEdit*>(w)) {
    edit->setText(text);
  } else if (auto* combo = qobject_cast<QComboBox*>(w)) {
    if (combo->isEditable()) combo->setEditText(text);
  } else if (auto* plain = qobject_cast<QPlainTextEdit*>(w)) {
    plain->setPlainText(text);
  }
}

QString Form1::controlText(const QString& name) const {
  QWidget* w = controls_.value(name);
  if (auto* label = qobject_cast<QLabel*>(w)) return label->text();
  if (auto* edit = qobject_cast<QLineEdit*>(w)) return edit->text();
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
  if (answerDecoder) answerDecoder();
}

}  // namespace tavo
