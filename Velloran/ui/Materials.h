#pragma once
// The capsule every chip is drawn on, the rounded panels of the views, and the white and black
// border tints. The material fills themselves are the application's colours (SystemColors.h).
//
// Main thread only (painting).

#include <QColor>
#include <QRectF>

#include "Velloran/ui/SystemColors.h"

class QPainter;

namespace velloran {

// A capsule filling `rect` (ends fully round) in `fill`, with an inner border of `borderWidth`
// in `border` (no border when the width is 0).
void paintCapsule(QPainter& painter, const QRectF& rect, const QColor& fill, const QColor& border,
                  qreal borderWidth);
// A rounded rectangle with an inner border, as the capsule above.
void paintRoundedPanel(QPainter& painter, const QRectF& rect, qreal cornerRadius, const QColor& fill,
                       const QColor& border, qreal borderWidth);

// White at the given opacity, for borders.
QColor whiteAt(qreal opacity);
QColor blackAt(qreal opacity);

}  // namespace velloran
