#include "Velloran/ui/SystemColors.h"

namespace velloran {

QColor windowBackgroundColor() {
  return QColor(0xEC, 0xEC, 0xEC);
}

QColor controlBackgroundColor() {
  return QColor(0xFF, 0xFF, 0xFF);
}

QColor accentBlueColor() {
  return QColor(0x00, 0x7A, 0xFF);
}

QColor accentPurpleColor() {
  return QColor(0xAF, 0x52, 0xDE);
}

QColor ultraThinMaterialColor() {
  return QColor(255, 255, 255, 115);
}

QColor thinMaterialColor() {
  return QColor(255, 255, 255, 165);
}

QColor withAlpha(QColor color, qreal alpha) {
  color.setAlphaF(alpha);
  return color;
}

QString styleSheetColor(const QColor& color) {
  return QStringLiteral("rgba(%1, %2, %3, %4)")
      .arg(color.red())
      .arg(color.green())
      .arg(color.blue())
      .arg(color.alphaF(), 0, 'f', 3);
}

}  // namespace velloran
