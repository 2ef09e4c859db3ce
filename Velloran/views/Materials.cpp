#include "Velloran/views/Materials.h"

#include <QPainter>
#include <QPainterPath>
#include <algorithm>

#include "Velloran/ui/SystemColors.h"

namespace velloran {

QColor ultraThinMaterialColor() {
  return QColor(255, 255, 255, 115);
}

QColor thinMaterialColor() {
  return QColor(255, 255, 255, 165);
}

QColor whiteAt(qreal opacity) {
  return withAlpha(Qt::white, opacity);
}

QColor blackAt(qreal opacity) {
  return withAlpha(Qt::black, opacity);
}

void paintRoundedPanel(QPainter& painter, const QRectF& rect, qreal cornerRadius, const QColor& fill,
                       const QColor& border, qreal borderWidth) {
  const qreal radius = std::clamp(cornerRadius, 0.0, std::min(rect.width(), rect.height()) / 2);
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);
  QPainterPath shape;
  shape.addRoundedRect(rect, radius, radius);
  painter.fillPath(shape, fill);
  if (borderWidth > 0) {
    // Inside the shape: the stroke's centre runs half its width in from the edge.
    const qreal inset = borderWidth / 2;
    QPainterPath inner;
    inner.addRoundedRect(rect.adjusted(inset, inset, -inset, -inset), std::max(0.0, radius - inset),
                         std::max(0.0, radius - inset));
    painter.setPen(QPen(border, borderWidth));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(inner);
  }
  painter.restore();
}

void paintCapsule(QPainter& painter, const QRectF& rect, const QColor& fill, const QColor& border,
                  qreal borderWidth) {
  paintRoundedPanel(painter, rect, std::min(rect.width(), rect.height()) / 2, fill, border, borderWidth);
}

}  // namespace velloran
