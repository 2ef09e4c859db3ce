#include "Velloran/ui/SheetSurface.h"

#include <QPainter>
#include <QPainterPath>

#include "Velloran/ui/Materials.h"
#include "Velloran/ui/WindowGradient.h"

namespace velloran {
namespace {

constexpr qreal kCornerRadius = 12;

}  // namespace

SheetSurface::SheetSurface(QWidget* parent) : QWidget(parent) {}

void SheetSurface::paintEvent(QPaintEvent*) {
  if (gradient_.size() != size()) {
    gradient_ = QPixmap(size());
    QPainter onPixmap(&gradient_);
    paintWindowGradient(onPixmap, rect());
  }
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  QPainterPath shape;
  shape.addRoundedRect(QRectF(rect()), kCornerRadius, kCornerRadius);
  painter.fillPath(shape, QBrush(gradient_));
  painter.setPen(QPen(blackAt(0.12), 1));
  painter.drawPath(shape);
}

}  // namespace velloran
