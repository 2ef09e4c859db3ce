#include "Velloran/ui/Materials.h"

#include <QPainter>
#include <algorithm>

#include "Velloran/ui/RoundedRect.h"
#include "Velloran/ui/SystemColors.h"

namespace velloran {

QColor whiteAt(qreal opacity) {
  return withAlpha(Qt::white, opacity);
}

QColor blackAt(qreal opacity) {
  return withAlpha(Qt::black, opacity);
}

void paintRoundedPanel(QPainter& painter, const QRectF& rect, qreal cornerRadius, const QColor& fill,
                       const QColor& border, qreal borderWidth) {
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);
  painter.fillPath(roundedRectPath(rect, cornerRadius), fill);
  if (borderWidth > 0) {
    // Inside the shape: the stroke's centre runs half its width in from the edge, on a radius
    // smaller by as much (clamped for the smaller rectangle, as the outer one is).
    const qreal inset = borderWidth / 2;
    painter.setPen(QPen(border, borderWidth));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(roundedRectPath(rect.adjusted(inset, inset, -inset, -inset), cornerRadius - inset));
  }
  painter.restore();
}

void paintCapsule(QPainter& painter, const QRectF& rect, const QColor& fill, const QColor& border,
                  qreal borderWidth) {
  paintRoundedPanel(painter, rect, std::min(rect.width(), rect.height()) / 2, fill, border, borderWidth);
}

}  // namespace velloran
