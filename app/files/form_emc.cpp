#include "app/files/form_emc.h"

#include <QPlainTextEdit>
#include <QResizeEvent>

namespace tavo {

FormEMC::FormEMC(QWidget* mainWindow)
    : QWidget(mainWindow, Qt::Window), text_(new QPlainTextEdit(this)) {
  setObjectName(QStringLiteral("FormEMC"));
  setWindowTitle(QStringLiteral("EMC Test"));
  text_->setObjectName(QStringLiteral("Text1"));
  QFont font(QStringLiteral("ＭＳ ゴシック"));
  font.setStyleHint(QFont::TypeWriter);  // where that face is missing, a fixed-pitch one
  text_->setFont(font);
  text_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  text_->setWordWrapMode(QTextOption::WrapAnywhere);
  resize(640, 480);
}

void FormEMC::formLoad() {
  text_->move(0, 0);
  text_->setPlainText(QString(kEmcPatternLength, u'H'));
  text_->resize(size());
}

void FormEMC::resizeEvent(QResizeEvent* event) {
  text_->setGeometry(0, 0, event->size().width(), event->size().height());
  QWidget::resizeEvent(event);
}

}  // namespace tavo
