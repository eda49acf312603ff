#include "app/files/version_disp.h"

#include <QApplication>
#include <QEvent>
#include <QFrame>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include "app/core/program_version.h"

namespace tavo {
namespace {

QLabel* text(const char* name) {
  auto* l = new QLabel;
  l->setObjectName(QLatin1String(name));
  l->setWordWrap(true);
  return l;
}

}  // namespace

VersionDisp::VersionDisp(QWidget* mainWindow) : QWidget(mainWindow, Qt::Window) {
  setObjectName(QStringLiteral("VersionDisp"));
  setWindowTitle(QStringLiteral("ﾊﾞｰｼﾞｮﾝ情報"));

  auto* icon = new QLabel;
  icon->setObjectName(QStringLiteral("Image2"));
  icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxInformation).pixmap(48, 48));
  auto* line = new QFrame;
  line->setObjectName(QStringLiteral("Line1"));
  line->setFrameShape(QFrame::HLine);
  line->setFrameShadow(QFrame::Sunken);
  auto* ok = new QPushButton(QStringLiteral("OK"));
  ok->setObjectName(QStringLiteral("Command1"));
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QWidget::hide);
  ok->installEventFilter(this);

  auto* grid = new QGridLayout(this);
  grid->addWidget(icon, 0, 0, 2, 1, Qt::AlignTop);
  grid->addWidget(text("Text1"), 0, 1);
  grid->addWidget(text("Text2"), 1, 1);
  grid->addWidget(line, 2, 0, 1, 2);
  grid->addWidget(text("Text3"), 3, 0, 1, 2);
  grid->addWidget(text("Text4"), 4, 0, 1, 2);
  grid->addWidget(ok, 5, 1, Qt::AlignRight);
  setMinimumWidth(420);
}

void VersionDisp::formLoad() {
  const ProgramVersion v = programVersion();
  findChild<QLabel*>(QStringLiteral("Text1"))->setText(v.fileDescription);
  findChild<QLabel*>(QStringLiteral("Text2"))->setText(versionLine(v));
  findChild<QLabel*>(QStringLiteral("Text3"))->setText(v.comments);
  findChild<QLabel*>(QStringLiteral("Text4"))->setText(v.legalCopyright);
}

void VersionDisp::keyPressEvent(QKeyEvent* event) {
  event->accept();
  hide();
}

bool VersionDisp::eventFilter(QObject* watched, QEvent* event) {
  // Any key on the button hides the window, as a key on the window does.
  if (event->type() == QEvent::KeyPress) {
    hide();
    return true;
  }
  return QWidget::eventFilter(watched, event);
}

void VersionDisp::changeEvent(QEvent* event) {
  if (event->type() == QEvent::ActivationChange && !isActiveWindow() && isVisible()) hide();
  QWidget::changeEvent(event);
}

}  // namespace tavo
