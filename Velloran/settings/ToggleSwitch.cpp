#include "Velloran/settings/ToggleSwitch.h"

#include <QPainter>

#include "Velloran/ui/Materials.h"
#include "Velloran/ui/SystemColors.h"

namespace velloran {

ToggleSwitch::ToggleSwitch(QWidget* parent) : QAbstractButton(parent) {
  setCheckable(true);
  setCursor(Qt::PointingHandCursor);
  setFocusPolicy(Qt::StrongFocus);
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void ToggleSwitch::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  // The focus ring takes the outer 2 pixels; the track lies inside it.
  const QRectF track = QRectF(rect()).adjusted(2, 2, -2, -2);
  if (hasFocus()) {
    QColor ring = accentBlueColor();
    ring.setAlphaF(0.45);
    paintCapsule(painter, QRectF(rect()), ring, Qt::transparent, 0);
  }
  const QColor trackColor = isChecked() ? accentBlueColor() : QColor(0, 0, 0, qRound(0.16 * 255));
  paintCapsule(painter, track, isEnabled() ? trackColor : trackColor.lighter(130), Qt::transparent, 0);

  const qreal inset = 2;
  const qreal knob = track.height() - 2 * inset;
  const qreal x = isChecked() ? track.right() - inset - knob : track.left() + inset;
  painter.setPen(QPen(blackAt(0.08), 0.5));
  painter.setBrush(Qt::white);
  painter.drawEllipse(QRectF(x, track.top() + inset, knob, knob));
}

}  // namespace velloran
