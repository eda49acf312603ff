#include "control/ui/design_drawing.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPalette>

#include "control/ui/pictures.h"

namespace ravlin::ui {

void DrawDesignTime(QPainter& painter, const QRect& bounds) {
  if (bounds.isEmpty()) return;
  const QPalette palette = QGuiApplication::palette();
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing, false);
  painter.setClipRect(bounds, Qt::IntersectClip);
  painter.fillRect(bounds, palette.color(QPalette::Button));
  painter.setPen(QPen(palette.color(QPalette::Dark), 0));
  painter.setBrush(Qt::NoBrush);
  painter.drawRect(bounds.adjusted(0, 0, -1, -1));
  painter.drawImage(bounds.topLeft(), PortIcon(28));
  // Qt's rectangle is inclusive: the platform's "two above the bottom" of an exclusive bottom
  // edge is one above bottom(), and "one before the right edge" (exclusive) is right() - 1.
  painter.setPen(QPen(palette.color(QPalette::Light), 0));
  const QPoint corner = bounds.topLeft();
  painter.drawLine(QPoint(bounds.left(), bounds.bottom() - 1), corner);
  painter.drawLine(corner, QPoint(bounds.right() - 1, bounds.top()));
  painter.restore();
}

}  // namespace ravlin::ui
