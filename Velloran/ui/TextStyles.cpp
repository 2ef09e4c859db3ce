#include "Velloran/ui/TextStyles.h"

#include <QApplication>

namespace velloran {
namespace {

int pixelSize(TextStyle style) {
  switch (style) {
    case TextStyle::largeTitle:
      return 26;
    case TextStyle::title:
      return 22;
    case TextStyle::title2:
      return 17;
    case TextStyle::title3:
      return 15;
    case TextStyle::headline:
      return 13;
    case TextStyle::body:
      return 13;
    case TextStyle::subheadline:
      return 11;
    case TextStyle::footnote:
      return 10;
    case TextStyle::caption:
      return 10;
    case TextStyle::caption2:
      return 10;
  }
  return 13;
}

QFont::Weight defaultWeight(TextStyle style) {
  return style == TextStyle::headline ? QFont::Bold : QFont::Normal;
}

}  // namespace

QFont textFont(TextStyle style) {
  return textFont(style, defaultWeight(style));
}

QFont textFont(TextStyle style, QFont::Weight weight) {
  QFont font = QApplication::font();
  font.setPixelSize(pixelSize(style));
  font.setWeight(weight);
  return font;
}

QColor primaryLabelColor() {
  return QColor(0, 0, 0, qRound(0.85 * 255));
}

QColor secondaryLabelColor() {
  return QColor(0, 0, 0, qRound(0.5 * 255));
}

QColor destructiveRedColor() {
  return QColor(0xFF, 0x3B, 0x30);
}

}  // namespace velloran
