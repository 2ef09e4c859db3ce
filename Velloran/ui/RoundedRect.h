#pragma once
// The rounded rectangle every card, panel, chip and shadow of the interface is drawn as.

#include <QPainterPath>
#include <QRectF>

namespace velloran {

// `rect` with corners of `cornerRadius`, clamped to between 0 and half the shorter side (so a large
// radius gives a capsule).
QPainterPath roundedRectPath(const QRectF& rect, qreal cornerRadius);

}  // namespace velloran
