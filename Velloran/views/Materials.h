#pragma once
// The translucent fills that stand in for frosted materials, and the capsule every chip is drawn
// on. A material here only lightens what lies beneath; nothing is blurred.
//
// Main thread only (painting).

#include <QColor>
#include <QRectF>

class QPainter;

namespace velloran {

QColor ultraThinMaterialColor();  // the sync banner, older-version rows, the add button
QColor thinMaterialColor();       // chips

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
