// The controls of the main window and where they sit: the command entry and the link and status
// labels on top; below them three pages (the device commands, the maintenance commands and the
// tests) beside the log. Every control carries its name as objectName.
#include <QAction>
#include <QCheckBox>
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
#include <QTabWidget>
#include <QVBoxLayout>

#include "app/core/display_label.h"
#include "app/core/form1.h"

namespace tavo {
namespace {

QLabel* valueLabel(const QString& name, int minWidth = 30) {
  return makeDisplayLabel(name, minWidth);
}

QLabel* caption(const QString& text) {
  auto* l = new QLabel(text);
  l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  return l;
}

QLineEdit* box(const QString& name, int width = 0) {
  auto* e = new QLineEdit;
  e->setObjectName(name);
  e->setMinimumWidth(28);
  if (width > 0) e->setMaximumWidth(width);
  return e;
}

QPushButton* button(const QString& name, const QString& text) {
  auto* b = new QPushButton(text);
  b->setObjectName(name);
  b->setAutoDefault(false);
  b->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
  return b;
}

// A button of a button array (and the small buttons beside them): it may be narrower than the
// style's usual button, so that the arrays fit the window's normal size of 640 x 480.
QPushButton* arrayButton(const QString& name, const QString& text) {
  QPushButton* b = button(name, text);
  b->setMinimumWidth(b->fontMetrics().horizontalAdvance(text) + 8);
  return b;
}

const char* const kCommand1Captions[49] = {
    "Poll", "PA",   "RS",   "CI",   "MS",   "CO", "CI*", "CL",       "BI", "BO",
    "BP",   "FE",   "HC",   "CR",   "CE",   "EC", "FP",  "RP",       "MR", "CT",
    "ST",   "VS",   "DT:4", "DT:5", "RD",   "WR", "WN",  "VR",       "RC", "DT:1",
    "DT:2", "DT:3", "WD:1", "WD:2", "WD:3", "PC", "PR",  "PO",       "PP", "EP+CO",
    "DC",   "DD",   "DP",   "PD",   "AS",   "PU", "LC",  "NAK test", "wr"};

const char16_t* const kCommand2Captions[21] = {u"Er Table",
                                               u"ErRk確認",
                                               u"ErRk設定",
                                               u"RE",
                                               u"ET",
                                               u"時計確認",
                                               u"時計設定",
                                               u"TPH設定",
                                               u"TH",
                                               u"ｾﾝｻｰ電圧",
                                               u"ｾﾝｻｰしきい値確認",
                                               u"ｾﾝｻｰ設定",
                                               u"ｾﾝｻｰｸﾘｱ",
                                               u"ｴﾗｰ回数初期化",
                                               u"ﾊﾟｽ+ｴﾗｰ初期化",
                                               u"EH test count clear",
                                               u"EH test count read",
                                               u"eer",
                                               u"EEPRead",
                                               u"EEPWrite",
                                               u"dt:*"};

}  // namespace

// The option check boxes of the repeated test: name, caption, state at start.
const Form1::OptionBox Form1::kOptionBoxes[] = {
    {"Check3", "Print", true},        {"chkER", "ER", true},
    {"chkEMC", "EMC", false},         {"chkLCD", "LCD", false},
    {"chkPort2PR", "Port2PR", false}, {"chkRmargin", "Rmargin", false},
    {"chk09code", "0-9code", false},  {"chkIR", "IR read", false},
    {"chkPunch", "Punch", false},     {"chkJIS", "JIS", true},
    {"chkISO", "ISO", false},         {"chk2750Oe3Tr", "2750Oe 3Tr", false},
    {"chkCom2", "Com2", false},       {"chkAutoSave", "Auto Save", false},
    {"chkRDDT", "RD+DT", false},
};
const int Form1::kOptionBoxCount = static_cast<int>(std::size(Form1::kOptionBoxes));

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
  auto* send = button(QStringLiteral("cmdKaishi"), QStringLiteral("Send"));
  auto* quit = button(QStringLiteral("cmdTeishi"), QStringLiteral("Test Quit"));
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
  status->setVerticalSpacing(2);
  auto* label53 = valueLabel(QStringLiteral("Label53"), 22);
  label53->setAutoFillBackground(true);
  label53->setMaximumWidth(22);
  status->addWidget(caption(QStringLiteral("Port")), 0, 0);
  status->addWidget(valueLabel(QStringLiteral("Label35"), 36), 0, 1);
  status->addWidget(caption(QStringLiteral("Open")), 0, 2);
  status->addWidget(valueLabel(QStringLiteral("Label33"), 44), 0, 3);
  status->addWidget(caption(QStringLiteral("Line")), 0, 4);
  status->addWidget(valueLabel(QStringLiteral("Label1"), 96), 0, 5);
  status->addWidget(valueLabel(QStringLiteral("Label7"), 70), 0, 6);
  status->addWidget(caption(QStringLiteral("Reply")), 1, 0);
  status->addWidget(valueLabel(QStringLiteral("Label10"), 44), 1, 1);
  status->addWidget(caption(QStringLiteral("Status")), 1, 2);
  auto* statusCell = new QHBoxLayout;
  statusCell->setSpacing(3);
  statusCell->addWidget(valueLabel(QStringLiteral("Label25"), 30), 1);
  statusCell->addWidget(label53);
  status->addLayout(statusCell, 1, 3);
  status->addWidget(caption(QStringLiteral("Length")), 1, 4);
  status->addWidget(valueLabel(QStringLiteral("Label32"), 36), 1, 5);
  status->addWidget(valueLabel(QStringLiteral("Label39"), 70), 1, 6);  // command state
  status->addWidget(caption(QStringLiteral("Result")), 2, 0);
  status->addWidget(valueLabel(QStringLiteral("Label40"), 200), 2, 1, 1, 6);
  status->addWidget(caption(QStringLiteral("Guide")), 3, 0);
  status->addWidget(valueLabel(QStringLiteral("Label37"), 200), 3, 1, 1, 6);
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
  linkRow->addWidget(button(QStringLiteral("Command54"), QStringLiteral("DSPclear")));
  linkRow->addWidget(button(QStringLiteral("Command66"), QStringLiteral("Comm Close")));
  outer->addLayout(linkRow);

  // The pages beside the log.
  auto* middle = new QHBoxLayout;
  pages_ = new QTabWidget;
  pages_->setObjectName(QStringLiteral("pages"));
  pages_->addTab(buildCommandsPage(), QStringLiteral("Commands"));
  pages_->addTab(buildMaintenancePage(), QStringLiteral("Maintenance"));
  pages_->addTab(buildTestPage(), QStringLiteral("Tests"));
  middle->addWidget(pages_, 3);

  txtDisp_ = new QPlainTextEdit;
  txtDisp_->setObjectName(QStringLiteral("txtDisp"));
  txtDisp_->setReadOnly(true);
  txtDisp_->setLineWrapMode(QPlainTextEdit::NoWrap);
  txtDisp_->setMinimumWidth(72);
  middle->addWidget(txtDisp_, 1);
  outer->addLayout(middle, 1);

  setCentralWidget(central);

  for (QWidget* w : central->findChildren<QWidget*>())
    if (!w->objectName().isEmpty()) controls_.insert(w->objectName(), w);
  connectControls();
}

QWidget* Form1::buildCommandsPage() {
  auto* page = new QWidget;
  auto* layout = new QVBoxLayout(page);
  layout->setContentsMargins(4, 4, 4, 4);
  layout->setSpacing(4);

  auto* row = new QHBoxLayout;
  auto* buttons = new QGridLayout;
  buttons->setSpacing(2);
  for (int i = 0; i < 49; ++i)
    buttons->addWidget(
        arrayButton(QStringLiteral("Command1(%1)").arg(i), QLatin1String(kCommand1Captions[i])),
        i / 7, i % 7);
  row->addLayout(buttons, 3);

  // What the data commands answered.
  auto* results = new QGridLayout;
  results->setSpacing(2);
  int r = 0;
  auto field = [&](const QString& text, QWidget* w) {
    results->addWidget(caption(text), r, 0);
    results->addWidget(w, r++, 1);
  };
  field(QStringLiteral("VS"), valueLabel(QStringLiteral("Label12"), 80));
  field(QStringLiteral("ST"), valueLabel(QStringLiteral("Label14"), 80));
  field(QStringLiteral("MR"), box(QStringLiteral("Text31")));
  field(QStringLiteral("CT"), valueLabel(QStringLiteral("Label2"), 80));
  auto* rc = new QHBoxLayout;
  rc->setSpacing(2);
  for (const char* name : {"Label11", "Label13", "Label24", "Label47", "Label48"})
    rc->addWidget(valueLabel(QLatin1String(name), 20));
  results->addWidget(caption(QStringLiteral("RC")), r, 0);
  results->addLayout(rc, r++, 1);
  for (int n = 1; n <= 3; ++n)
    field(QStringLiteral("DT:%1").arg(n), box(QStringLiteral("Text32(%1)").arg(n)));
  results->setRowStretch(r, 1);
  row->addLayout(results, 2);
  layout->addLayout(row);

  // Parameters of the commands.
  auto* params = new QGridLayout;
  params->setHorizontalSpacing(4);
  params->setVerticalSpacing(2);
  params->addWidget(caption(QStringLiteral("MS")), 0, 0);
  params->addWidget(box(QStringLiteral("Text10")), 0, 1);
  params->addWidget(caption(QStringLiteral("PD/DD")), 0, 2);
  params->addWidget(box(QStringLiteral("Text9")), 0, 3, 1, 5);
  for (int n = 1; n <= 3; ++n) {
    params->addWidget(caption(QStringLiteral("WD:%1").arg(n)), 1, 2 * n - 2);
    auto* cell = new QHBoxLayout;
    cell->setSpacing(2);
    cell->addWidget(box(QStringLiteral("txtWd(%1)").arg(n)), 1);
    cell->addWidget(valueLabel(QStringLiteral("Label5(%1)").arg(n), 24));
    params->addLayout(cell, 1, 2 * n - 1);
  }
  params->addWidget(caption(QStringLiteral("AS")), 2, 0);
  auto* as = new QHBoxLayout;
  as->setSpacing(2);
  as->addWidget(box(QStringLiteral("Text19")));
  as->addWidget(box(QStringLiteral("Text20")));
  params->addLayout(as, 2, 1);
  params->addWidget(caption(QStringLiteral("PU")), 2, 2);
  params->addWidget(box(QStringLiteral("Text18")), 2, 3);
  params->addWidget(caption(QStringLiteral("wr")), 2, 4);
  params->addWidget(box(QStringLiteral("Text28")), 2, 5);
  params->addWidget(caption(QStringLiteral("NAK wait s")), 2, 6);
  auto* nakWait = new QDoubleSpinBox;
  nakWait->setObjectName(QStringLiteral("NakWait"));
  nakWait->setRange(0, 60);
  nakWait->setDecimals(1);
  nakWait->setSingleStep(0.5);
  params->addWidget(nakWait, 2, 7);
  for (int c : {1, 3, 5}) params->setColumnStretch(c, 1);
  layout->addLayout(params);
  layout->addStretch(1);
  return page;
}

QWidget* Form1::buildMaintenancePage() {
  auto* page = new QWidget;
  auto* grid = new QGridLayout(page);
  grid->setContentsMargins(2, 4, 2, 4);
  grid->setHorizontalSpacing(2);
  grid->setVerticalSpacing(2);

  // Each button with the box it takes or the field it fills, three columns of seven.
  auto place = [&](int i, QWidget* extra, QWidget* second = nullptr) {
    const int row = i % 7;
    const int column = (i / 7) * 3;
    grid->addWidget(arrayButton(QStringLiteral("Command2(%1)").arg(i),
                                QString::fromUtf16(kCommand2Captions[i])),
                    row, column);
    if (extra) grid->addWidget(extra, row, column + 1, 1, second ? 1 : 2);
    if (second) grid->addWidget(second, row, column + 2);
  };
  place(0, box(QStringLiteral("Text4"), 60));
  place(1, valueLabel(QStringLiteral("Label42")));
  place(2, box(QStringLiteral("Text6"), 60));
  place(3, valueLabel(QStringLiteral("Label26")));
  place(4, box(QStringLiteral("Text1")));
  place(5, nullptr);
  place(6, nullptr);
  place(7, box(QStringLiteral("Text21"), 60));
  place(8, valueLabel(QStringLiteral("Label9")));
  place(9, valueLabel(QStringLiteral("Label30"), 60));
  place(10, valueLabel(QStringLiteral("Label41"), 60));
  place(11, nullptr);
  place(12, nullptr);
  place(13, nullptr);
  place(14, nullptr);
  place(15, nullptr);
  place(16, valueLabel(QStringLiteral("Label52")));
  place(17, box(QStringLiteral("Text13")));
  place(18, valueLabel(QStringLiteral("Label56")));
  auto* eeprom = new QWidget;
  auto* eepromRow = new QHBoxLayout(eeprom);
  eepromRow->setContentsMargins(0, 0, 0, 0);
  eepromRow->setSpacing(2);
  eepromRow->addWidget(box(QStringLiteral("Text25"), 36));
  eepromRow->addWidget(box(QStringLiteral("Text26"), 36));
  eepromRow->addWidget(box(QStringLiteral("Text27")));
  place(19, eeprom);
  auto* text24 = box(QStringLiteral("Text24"));
  text24->setText(QStringLiteral("617180"));  // the "dt:*" data the box starts with
  place(20, text24);

  auto* label19 = valueLabel(QStringLiteral("Label19"), 100);
  label19->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  grid->addWidget(caption(QStringLiteral("TPH")), 7, 0);
  grid->addWidget(label19, 7, 1, 2, 5);
  grid->addWidget(arrayButton(QStringLiteral("Command70"), QStringLiteral("eew all")), 7, 6);
  grid->addWidget(arrayButton(QStringLiteral("Command75"), QStringLiteral("CJ")), 7, 7);
  grid->addWidget(caption(QStringLiteral("Memo")), 8, 6);
  grid->addWidget(box(QStringLiteral("Text22")), 8, 7, 1, 2);
  grid->setRowStretch(9, 1);
  for (int c : {1, 2, 4, 5, 7, 8}) grid->setColumnStretch(c, 1);
  return page;
}

QWidget* Form1::buildTestPage() {
  auto* page = new QWidget;
  auto* row = new QHBoxLayout(page);
  row->setContentsMargins(4, 4, 4, 4);
  row->setSpacing(6);

  auto* left = new QVBoxLayout;
  left->setSpacing(3);

  // The print test.
  auto* print = new QHBoxLayout;
  print->addWidget(button(QStringLiteral("Command3"), QStringLiteral("PrintData")));
  auto* combo1 = new QComboBox;
  combo1->setObjectName(QStringLiteral("Combo1"));
  combo1->addItem(QString());
  for (int i = 1; i <= 5; ++i) combo1->addItem(QStringLiteral("Type %1").arg(i));
  print->addWidget(combo1, 1);
  print->addWidget(button(QStringLiteral("Command34"), QString::fromUtf16(u"情報")));
  left->addLayout(print);

  // The repeated test: its parameters, options and results.
  auto* test = new QGridLayout;
  test->setHorizontalSpacing(4);
  test->setVerticalSpacing(2);
  test->addWidget(button(QStringLiteral("Command47"), QStringLiteral("Test Start")), 0, 0);
  test->addWidget(caption(QStringLiteral("Passes")), 0, 1);
  test->addWidget(box(QStringLiteral("Text2"), 60), 0, 2);
  test->addWidget(caption(QStringLiteral("Wait s")), 0, 3);
  test->addWidget(box(QStringLiteral("Text8"), 40), 0, 4);
  test->addWidget(caption(QStringLiteral("JIS length")), 1, 1);
  test->addWidget(box(QStringLiteral("Text12"), 60), 1, 2);
  test->addWidget(caption(QStringLiteral("MS:")), 1, 3);
  test->addWidget(box(QStringLiteral("Text17")), 1, 4);
  left->addLayout(test);

  auto* options = new QGroupBox(QStringLiteral("Test options"));
  auto* optionGrid = new QGridLayout(options);
  optionGrid->setContentsMargins(6, 2, 6, 4);
  optionGrid->setVerticalSpacing(1);
  for (int i = 0; i < kOptionBoxCount; ++i) {
    auto* check = new QCheckBox(QLatin1String(kOptionBoxes[i].caption));
    check->setObjectName(QLatin1String(kOptionBoxes[i].name));
    optionGrid->addWidget(check, i / 4, i % 4);
  }
  left->addWidget(options);

  auto* results = new QGridLayout;
  results->setSpacing(3);
  auto* label28 = valueLabel(QStringLiteral("Label28"), 90);
  auto* label29 = valueLabel(QStringLiteral("Label29"), 90);
  label28->setMinimumHeight(44);
  label29->setMinimumHeight(44);
  results->addWidget(label28, 0, 0);
  results->addWidget(label29, 0, 1);
  auto* ir = new QHBoxLayout;
  ir->addWidget(caption(QStringLiteral("IR")));
  ir->addWidget(valueLabel(QStringLiteral("Label49"), 50));
  ir->addWidget(valueLabel(QStringLiteral("Label51"), 50));
  results->addLayout(ir, 0, 2);
  left->addLayout(results);

  // The log record.
  auto* record = new QGridLayout;
  record->setHorizontalSpacing(4);
  record->setVerticalSpacing(2);
  record->addWidget(button(QStringLiteral("Command35"), QStringLiteral("Loging")), 0, 0);
  record->addWidget(button(QStringLiteral("Command72"), QStringLiteral("Save")), 1, 0);
  record->addWidget(caption(QStringLiteral("File")), 0, 1);
  record->addWidget(box(QStringLiteral("Text14"), 80), 0, 2);
  record->addWidget(caption(QStringLiteral("No.")), 0, 3);
  record->addWidget(box(QStringLiteral("Text16"), 70), 0, 4);
  record->addWidget(caption(QStringLiteral("Comment")), 1, 1);
  record->addWidget(box(QStringLiteral("Text11")), 1, 2, 1, 3);
  left->addLayout(record);
  left->addStretch(1);
  row->addLayout(left, 3);

  auto* label36 = valueLabel(QStringLiteral("Label36"), 120);
  label36->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  row->addWidget(label36, 2);
  return page;
}

void Form1::buildMenus() {
  QMenu* setting = menuBar()->addMenu(QStringLiteral("Setting"));
  setting->setObjectName(QStringLiteral("menuSetting"));
  auto add = [this](QMenu* menu, const char* name, const QString& text) {
    QAction* a = menu ? menu->addAction(text) : menuBar()->addAction(text);
    a->setObjectName(QLatin1String(name));
    actions_.insert(a->objectName(), a);
    return a;
  };
  QAction* comm = add(setting, "TestComm", QStringLiteral("Comm Setting"));
  connect(comm, &QAction::triggered, this, [this] { TestComm_Click(); });
  dsrChecked_ = add(setting, "Check1", QStringLiteral("DSR Checkd"));
  dsrChecked_->setCheckable(true);
  japaneseMessage_ = add(setting, "JapaneesMessage", QStringLiteral("JapaneesMessage"));
  japaneseMessage_->setCheckable(true);
  connect(japaneseMessage_, &QAction::triggered, this,
          [this](bool checked) { switchLanguage(checked); });
  connect(add(setting, "enLarge", QStringLiteral("FormEnlarge")), &QAction::triggered, this,
          [this] { bench_.enLarge(); });

  QMenu* tools = menuBar()->addMenu(QStringLiteral("Maintenance"));
  tools->setObjectName(QStringLiteral("menuMaintenance"));
  connect(add(tools, "eepControl", QStringLiteral("EEPcontrol")), &QAction::triggered, this,
          [this] { bench_.eepControl(); });
  connect(add(tools, "bmpPr", QStringLiteral("BMP data download")), &QAction::triggered, this,
          [this] { bench_.openMenuWindow(Window::Bitmap); });
  connect(add(tools, "fileAccess", QStringLiteral("File access")), &QAction::triggered, this,
          [this] { bench_.openMenuWindow(Window::CommandFile); });
  add(tools, "romDownLoad", QStringLiteral("ROM DownLoad"));  // no action
  connect(add(tools, "emcTest", QStringLiteral("EMC Test")), &QAction::triggered, this,
          [this] { bench_.openMenuWindow(Window::Emc); });

  connect(add(nullptr, "VerDSP", QStringLiteral("Version(&V)")), &QAction::triggered, this,
          [this] { bench_.openMenuWindow(Window::Version); });
  QAction* quit = add(nullptr, "Quit", QStringLiteral("Quit"));
  connect(quit, &QAction::triggered, this, [this] { close(); });
}

void Form1::connectControls() {
  auto clicked = [this](const QString& name, std::function<void()> handler) {
    if (auto* b = qobject_cast<QPushButton*>(controls_.value(name)))
      connect(b, &QPushButton::clicked, this, std::move(handler));
  };
  for (int i = 0; i < 49; ++i)
    clicked(QStringLiteral("Command1(%1)").arg(i), [this, i] { bench_.Command1_Click(i); });
  for (int i = 0; i < 21; ++i)
    clicked(QStringLiteral("Command2(%1)").arg(i), [this, i] { bench_.Command2_Click(i); });
  clicked(QStringLiteral("Command3"), [this] { bench_.Command3_Click(); });
  clicked(QStringLiteral("Command34"), [this] { bench_.Command34_Click(); });
  clicked(QStringLiteral("Command35"), [this] { bench_.Command35_Click(); });
  clicked(QStringLiteral("Command47"), [this] { bench_.Command47_Click(); });
  clicked(QStringLiteral("Command54"), [this] { bench_.Command54_Click(); });
  clicked(QStringLiteral("Command66"), [this] { bench_.Command66_Click(); });
  clicked(QStringLiteral("Command70"), [this] { bench_.Command70_Click(); });
  clicked(QStringLiteral("Command72"), [this] { bench_.Command72_Click(); });
  clicked(QStringLiteral("Command75"), [this] { bench_.Command75_Click(); });
  if (auto* check3 = qobject_cast<QCheckBox*>(controls_.value(QStringLiteral("Check3"))))
    connect(check3, &QCheckBox::clicked, this, [this] { bench_.Check3_Click(); });

  // Enter in a parameter box presses the button that sends it.
  auto enter = [this](const QString& boxName, const QString& buttonName) {
    auto* e = qobject_cast<QLineEdit*>(controls_.value(boxName));
    auto* b = qobject_cast<QPushButton*>(controls_.value(buttonName));
    if (e && b) connect(e, &QLineEdit::returnPressed, b, &QPushButton::click);
  };
  enter(QStringLiteral("Text10"), QStringLiteral("Command1(4)"));
  enter(QStringLiteral("Text9"), QStringLiteral("Command1(43)"));
  enter(QStringLiteral("Text18"), QStringLiteral("Command1(45)"));
  for (int n = 1; n <= 3; ++n)
    enter(QStringLiteral("txtWd(%1)").arg(n), QStringLiteral("Command1(%1)").arg(n + 31));
  enter(QStringLiteral("Text13"), QStringLiteral("Command2(17)"));
  enter(QStringLiteral("Text24"), QStringLiteral("Command2(20)"));

  for (int n = 1; n <= 3; ++n) {
    if (auto* e = qobject_cast<QLineEdit*>(controls_.value(QStringLiteral("txtWd(%1)").arg(n))))
      connect(e, &QLineEdit::textChanged, this, [this, n] { bench_.txtWd_Change(n); });
  }
  // An emptied track-length box gets its usual length back.
  if (auto* text12 = qobject_cast<QLineEdit*>(controls_.value(QStringLiteral("Text12")))) {
    connect(text12, &QLineEdit::editingFinished, text12, [text12] {
      if (text12->text().trimmed().isEmpty()) text12->setText(QStringLiteral("69"));
    });
  }
}

}  // namespace tavo
