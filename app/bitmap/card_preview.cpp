#include "app/bitmap/card_preview.h"

#include <QPainter>
#include <algorithm>

namespace tavo {

CardPreview::CardPreview(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("Picture1"));
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void CardPreview::setImage(const QImage& image) {
  image_ = image;
  update();
}

int CardPreview::dotScale() const {
  if (image_.isNull() || image_.width() == 0 || image_.height() == 0) return 1;
  return std::max(1, std::min(width() / image_.width(), height() / image_.height()));
}

void CardPreview::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), Qt::white);
  if (image_.isNull()) return;
  const int s = dotScale();
  p.drawImage(QRect(0, 0, image_.width() * s, image_.height() * s), image_);
}

void CardPreview::mouseDoubleClickEvent(QMouseEvent*) {
  if (onDoubleClick) onDoubleClick();
}

}  // namespace tavo
