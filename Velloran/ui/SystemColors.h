#pragma once
// The fixed system colours of the application's light appearance (the only appearance it has), its
// material fills, and the two ways colours are handed on: at another opacity, and as a style-sheet value.

#include <QColor>
#include <QString>

namespace velloran {

QColor windowBackgroundColor();   // behind every window's gradient
QColor controlBackgroundColor();  // text fields and editors
QColor accentBlueColor();
QColor accentPurpleColor();

// The translucent fills that stand in for frosted materials: they only lighten what lies beneath,
// nothing is blurred.
QColor ultraThinMaterialColor();  // glass cards, the sync banner, older-version rows, the add button
QColor thinMaterialColor();       // chips

// `color` with its opacity replaced by `alpha` (0 to 1).
QColor withAlpha(QColor color, qreal alpha);
// "rgba(r, g, b, a)", the colour as a style sheet takes it.
QString styleSheetColor(const QColor& color);

}  // namespace velloran
