#include "app/core/display_label.h"

#include <QLabel>

namespace tavo {
namespace {

constexpr char kRawText[] = "rawText";

}  // namespace

QLabel* makeDisplayLabel(const QString& name, int minWidth) {
  auto* l = new QLabel;
  l->setObjectName(name);
  l->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  l->setMinimumWidth(minWidth);
  l->setTextInteractionFlags(Qt::TextSelectableByMouse);
  return l;
}

void setDisplayText(QLabel* label, const QString& text) {
  label->setProperty(kRawText, text);
  label->setText(QString(text).replace(u'\r', u'\n'));
}

QString displayText(const QLabel* label) {
  const QVariant raw = label->property(kRawText);
  return raw.isValid() ? raw.toString() : label->text();
}

}  // namespace tavo
