// The bitmap window's controls and menus.
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QVBoxLayout>

#include "app/bitmap/card_preview.h"
#include "app/bitmap/form_bmp.h"
#include "app/core/display_label.h"

namespace tavo {
namespace {

constexpr int kTwipsPerPixel = 15;

QPushButton* button(const char* name, const QString& text) {
  auto* b = new QPushButton(text);
  b->setObjectName(QLatin1String(name));
  b->setAutoDefault(false);
  return b;
}

QLabel* caption(const char* name, const QString& text) {
  auto* l = new QLabel(text);
  if (name) l->setObjectName(QLatin1String(name));
  return l;
}

QComboBox* list(const char* name, const QStringList& entries) {
  auto* c = new QComboBox;
  c->setObjectName(QLatin1String(name));
  c->addItems(entries);
  return c;
}

}  // namespace

void FormBMP::buildWindow() {
  auto* central = new QWidget;
  setCentralWidget(central);

  // The card window: the top line above it and the message lines below it when the picture
  // shares the card with text.
  preview_ = new CardPreview;
  preview_->setFixedWidth(4860 / kTwipsPerPixel);
  vScroll_ = new QScrollBar(Qt::Vertical);
  vScroll_->setObjectName(QStringLiteral("VScroll1"));
  hScroll_ = new QScrollBar(Qt::Horizontal);
  hScroll_->setObjectName(QStringLiteral("HScroll2"));

  topLine_ = new QLineEdit;
  topLine_->setObjectName(QStringLiteral("Text5"));
  auto* top = new QWidget;
  auto* topRow = new QHBoxLayout(top);
  topRow->setContentsMargins(0, 0, 0, 0);
  topRow->addWidget(caption("Label6", QStringLiteral("Top Message")));
  topRow->addWidget(topLine_, 1);
  textArea_[0] = top;

  auto* messages = new QWidget;
  auto* messageGrid = new QGridLayout(messages);
  messageGrid->setContentsMargins(0, 0, 0, 0);
  const char* captionNames[] = {"Label10", "Label11", "Label17", "Label18"};
  const char* lengthNames[] = {"Label5", "Label7", "Label8", "Label21"};
  for (int i = 0; i < 4; ++i) {
    lines_[i] = new QLineEdit;
    lines_[i]->setObjectName(QStringLiteral("Text%1").arg(i + 1));
    lengths_[i] = caption(lengthNames[i], QStringLiteral("0"));
    lengths_[i]->setMinimumWidth(24);
    messageGrid->addWidget(caption(captionNames[i], QStringLiteral("Message Line%1").arg(i + 1)), i,
                           0);
    messageGrid->addWidget(lines_[i], i, 1);
    messageGrid->addWidget(lengths_[i], i, 2);
  }
  messageGrid->addWidget(caption("Label19", QStringLiteral("26 Max")), 0, 3);
  messageGrid->addWidget(caption("Label20", QStringLiteral("Length")), 1, 3);
  messageGrid->setColumnStretch(1, 1);
  textArea_[1] = messages;

  auto* card = new QGridLayout;
  card->setSpacing(0);
  card->addWidget(top, 0, 0, 1, 2);
  card->addWidget(preview_, 1, 0);
  card->addWidget(vScroll_, 1, 1);
  card->addWidget(hScroll_, 2, 0);
  card->addWidget(messages, 3, 0, 1, 2);
  card->setRowStretch(4, 1);

  // The picture: file name, loading, zoom and brightness.
  fileName_ = new QLineEdit;
  fileName_->setObjectName(QStringLiteral("Text6"));
  auto* fileFrame = new QGroupBox(QStringLiteral("File Name"));
  auto* fileBox = new QVBoxLayout(fileFrame);
  fileBox->addWidget(fileName_);
  auto* fileButtons = new QHBoxLayout;
  fileButtons->addWidget(button("Command1", QStringLiteral("File Read")));
  fileButtons->addWidget(button("Command3", QStringLiteral("BMP File Disp")));
  fileButtons->addWidget(button("Command7", QStringLiteral("Clip Bourd Disp")));
  fileBox->addLayout(fileButtons);

  zoom_ = list("Combo3", {"10", "25", "33", "50", "66", "75", "80", "100", "120", "150", "200",
                          "250", "300", "400"});
  zoom_->setEditable(true);
  brightness_ =
      list("Combo4", {"-50", "-40", "-30", "-20", "-10", "  0", "+10", "+20", "+30", "+40", "+50"});
  auto* looks = new QGridLayout;
  looks->addWidget(caption(nullptr, QStringLiteral("Zoom (%)")), 0, 0);
  looks->addWidget(zoom_, 0, 1);
  looks->addWidget(caption(nullptr, QStringLiteral("Brightness")), 1, 0);
  looks->addWidget(brightness_, 1, 1);
  allImage_ = new QCheckBox(QStringLiteral("All Image"));
  allImage_->setObjectName(QStringLiteral("Check2"));
  looks->addWidget(allImage_, 2, 0, 1, 2);

  // The options in their frames; each pair is one choice.
  auto frame = [this](const QString& title, int first, const QString& a, const QString& b) {
    auto* f = new QGroupBox(title);
    auto* row = new QHBoxLayout(f);
    for (int k = 0; k < 2; ++k) {
      auto* o = new QRadioButton(k == 0 ? a : b);
      o->setObjectName(QStringLiteral("Option%1").arg(first + k));
      options_[first - 1 + k] = o;
      row->addWidget(o);
    }
    return f;
  };
  auto* choices = new QHBoxLayout;
  choices->addWidget(
      frame(QStringLiteral("Back Color"), 1, QStringLiteral("White"), QStringLiteral("Silver")));
  choices->addWidget(
      frame(QStringLiteral("Mag Track"), 3, QStringLiteral("1"), QStringLiteral("2")));
  choices->addWidget(
      frame(QStringLiteral("Command"), 5, QStringLiteral("IB"), QStringLiteral("PI")));

  // The device: download, card, RAM areas, stop.
  const QStringList areas = {"1", "2", "3", "4", "5", "6", "7", "8", "9", ":", ";", "<", "=", ">"};
  saveArea_ = list("Combo5", areas);
  loadArea_ = list("Combo6", areas);
  auto* saveFrame = new QGroupBox(QStringLiteral("Save data"));
  auto* saveRow = new QHBoxLayout(saveFrame);
  saveRow->addWidget(caption(nullptr, QStringLiteral("AreaNo")));
  saveRow->addWidget(saveArea_);
  saveRow->addWidget(button("Command10", QStringLiteral("Save to RAM")), 1);
  auto* loadFrame = new QGroupBox(QStringLiteral("Load data"));
  auto* loadRow = new QHBoxLayout(loadFrame);
  loadRow->addWidget(caption(nullptr, QStringLiteral("AreaNo")));
  loadRow->addWidget(loadArea_);
  loadRow->addWidget(button("Command11", QStringLiteral("Load Image and Print")), 1);

  auto* transmit = button("Command8", QStringLiteral("BMP Transmit and Print"));
  transmit->setMinimumHeight(40);
  auto* actions = new QHBoxLayout;
  actions->addWidget(button("Command5", QStringLiteral("Card In Print (&P)")));
  actions->addWidget(button("Command6", QStringLiteral("Stop")));

  // The status: the status line, the line or block counter, the data being sent, progress.
  status_ = makeDisplayLabel(QStringLiteral("Label3"), 160);
  status_->setAutoFillBackground(true);
  progress1_ = new QProgressBar;
  progress1_->setObjectName(QStringLiteral("ProgressBar1"));
  progress2_ = new QProgressBar;
  progress2_->setObjectName(QStringLiteral("ProgressBar2"));
  QLabel* sent = makeDisplayLabel(QStringLiteral("Label2"), 160);
  sent->setTextInteractionFlags(Qt::NoTextInteraction);
  auto* states = new QGridLayout;
  states->addWidget(caption("Label1", QStringLiteral("Status")), 0, 0);
  states->addWidget(status_, 0, 1);
  states->addWidget(caption("Label9", QStringLiteral("Line")), 1, 0);
  states->addWidget(makeDisplayLabel(QStringLiteral("Label4"), 60), 1, 1);
  states->addWidget(caption("Label12", QStringLiteral("Data")), 2, 0);
  states->addWidget(sent, 2, 1);
  states->addWidget(caption("Label13", QStringLiteral("Convert")), 3, 0);
  states->addWidget(progress1_, 3, 1);
  states->addWidget(caption("Label14", QStringLiteral("Transmit")), 4, 0);
  states->addWidget(progress2_, 4, 1);
  states->setColumnStretch(1, 1);

  auto* side = new QVBoxLayout;
  side->addWidget(fileFrame);
  side->addLayout(looks);
  side->addLayout(choices);
  side->addWidget(transmit);
  side->addLayout(actions);
  side->addWidget(saveFrame);
  side->addWidget(loadFrame);
  side->addLayout(states);
  side->addStretch(1);

  auto* whole = new QHBoxLayout(central);
  whole->addLayout(card);
  whole->addLayout(side, 1);
}

void FormBMP::buildMenus() {
  QMenuBar* bar = menuBar();
  auto add = [this](QWidget* menu, const char* name, const QString& text) {
    auto* a = new QAction(text, this);
    a->setObjectName(QLatin1String(name));
    menu->addAction(a);
    return a;
  };
  connect(add(bar, "showForm1", QStringLiteral("MainForm show")), &QAction::triggered, this,
          [this] {
            QWidget* main = parentWidget();
            main->show();
            main->raise();
            main->activateWindow();
          });
  connect(add(bar, "Close", QStringLiteral("CommClose")), &QAction::triggered, this,
          [this] { Close_Click(); });
  connect(add(bar, "Quit", QStringLiteral("Quit")), &QAction::triggered, this,
          [this] { Quit_Click(); });
  QMenu* print = bar->addMenu(QStringLiteral("Image Print"));
  print->menuAction()->setObjectName(QStringLiteral("PrintMenu"));
  connect(add(print, "bmpDisp", QStringLiteral("BMP File Disp")), &QAction::triggered, this,
          [this] { loadFromFile(); });
  connect(add(print, "bmpDownload", QStringLiteral("BMP Fast DownLoad")), &QAction::triggered, this,
          [this] { bmpDownload_Click(); });
  connect(add(print, "cardPrint", QStringLiteral("Print")), &QAction::triggered, this,
          [this] { cardPrint_Click(); });
  connect(add(print, "Command9", QStringLiteral("File Save for H8Assembla")), &QAction::triggered,
          this, [this] { Command9_Click(); });
}

}  // namespace tavo
