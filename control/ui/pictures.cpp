#include "control/ui/pictures.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace ravlin::ui {
namespace {

// The connector's shell (a trapezoid, wider at the top) with 5 + 4 pins, inside box.
void DrawConnector(QPainter& p, const QRectF& box) {
  const qreal w = box.width(), h = box.height();
  QPainterPath shell;
  shell.moveTo(box.left(), box.top());
  shell.lineTo(box.right(), box.top());
  shell.lineTo(box.right() - w * 0.12, box.bottom());
  shell.lineTo(box.left() + w * 0.12, box.bottom());
  shell.closeSubpath();
  QLinearGradient metal(box.topLeft(), box.bottomLeft());
  metal.setColorAt(0, QColor(0x9C, 0xB4, 0xD8));
  metal.setColorAt(1, QColor(0x2E, 0x4A, 0x7A));
  p.setPen(QPen(QColor(0x10, 0x20, 0x40), 1));
  p.setBrush(metal);
  p.drawPath(shell);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0xF0, 0xD0, 0x40));
  const qreal pin = std::max<qreal>(1.5, w / 12);
  for (int i = 0; i < 5; ++i)
    p.drawEllipse(QPointF(box.left() + w * (0.2 + 0.15 * i), box.top() + h * 0.33), pin, pin);
  for (int i = 0; i < 4; ++i)
    p.drawEllipse(QPointF(box.left() + w * (0.275 + 0.15 * i), box.top() + h * 0.7), pin, pin);
}

}  // namespace

QImage PortIcon(int size) {
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  const qreal margin = 3;
  DrawConnector(p, QRectF(margin, size * 0.25, size - 2 * margin - 1, size * 0.5));
  return image;
}

QImage AboutIcon() {
  return PortIcon(32);
}

QImage AboutPicture() {
  QImage image(96, 64, QImage::Format_ARGB32_Premultiplied);
  QPainter p(&image);
  QLinearGradient sky(0, 0, 0, 64);
  sky.setColorAt(0, QColor(0xE8, 0xF0, 0xFF));
  sky.setColorAt(1, QColor(0x80, 0xA0, 0xD0));
  p.fillRect(image.rect(), sky);
  p.setRenderHint(QPainter::Antialiasing);
  // A cable leaving the connector.
  p.setPen(QPen(QColor(0x30, 0x30, 0x30), 4, Qt::SolidLine, Qt::RoundCap));
  QPainterPath cable;
  cable.moveTo(48, 44);
  cable.cubicTo(48, 60, 80, 40, 92, 60);
  p.drawPath(cable);
  DrawConnector(p, QRectF(24, 10, 48, 30));
  return image;
}

}  // namespace ravlin::ui
