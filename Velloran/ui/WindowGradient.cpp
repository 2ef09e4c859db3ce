#include "Velloran/ui/WindowGradient.h"

#include <QLinearGradient>
#include <QPainter>

#include "Velloran/ui/SystemColors.h"

namespace velloran {

void paintWindowGradient(QPainter& painter, const QRect& rect) {
  // In the rectangle's own unit square, so the ends sit exactly on opposite corners.
  QLinearGradient gradient(0, 0, 1, 1);
  gradient.setCoordinateMode(QGradient::ObjectMode);
  gradient.setColorAt(0.0, windowBackgroundColor());
  gradient.setColorAt(0.5, withAlpha(accentBlueColor(), 0.24));
  gradient.setColorAt(1.0, withAlpha(accentPurpleColor(), 0.28));
  painter.fillRect(rect, windowBackgroundColor());
  painter.fillRect(rect, gradient);
}

GradientBackground::GradientBackground(QWidget* parent) : QWidget(parent) {
  // Every pixel is painted here, so Qt need not clear the background first.
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void GradientBackground::paintEvent(QPaintEvent*) {
  const qreal ratio = devicePixelRatioF();
  if (painted_.deviceIndependentSize() != QSizeF(size()) || painted_.devicePixelRatio() != ratio) {
    painted_ = QPixmap(size() * ratio);
    painted_.setDevicePixelRatio(ratio);
    QPainter onPixmap(&painted_);
    paintWindowGradient(onPixmap, rect());
  }
  // The painter is already clipped to the region that needs painting.
  QPainter painter(this);
  painter.drawPixmap(0, 0, painted_);
}

}  // namespace velloran
