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

}  // namespace velloran
