#pragma once
// Pictures of soft shadows: the shadow a rounded rectangle casts, blurred with a Gaussian and
// tinted, rendered once per shape and kept in Qt's pixmap cache.
//
// Main thread only (QPixmap).

#include <QColor>
#include <QImage>
#include <QPixmap>
#include <QPoint>
#include <QSize>

class QPainter;

namespace velloran {

struct ShadowStyle {
  QColor color;      // opacity included
  qreal radius = 0;  // blur radius: the Gaussian's standard deviation
  QPoint offset;     // how far the shadow lies from its shape
};

// How far a shadow reaches beyond its offset shape on every side (three standard deviations).
int shadowExtent(const ShadowStyle& style);

// Blurs an alpha-only image (QImage::Format_Alpha8) in place with three box passes per direction,
// a close stand-in for a Gaussian of standard deviation `sigma`. Beyond the edges counts as
// transparent. sigma <= 0 leaves the image as it is.
void blurAlpha(QImage& image, qreal sigma);

// The shadow of a rounded rectangle of `shapeSize` (`cornerRadius` clamped to half the shorter
// side, so a large radius gives a capsule). The picture covers the shape moved by the style's
// offset and grown by shadowExtent on every side; where the shape itself lies the shadow is cut
// away, so it shows only around the shape, also beneath translucent shapes.
QPixmap shadowPixmap(QSize shapeSize, qreal cornerRadius, const ShadowStyle& style);

// Paints the same picture with its top-left corner at `topLeft`, for a shape of any size: along an
// edge, away from the corners, every line of a shadow is the same, so a large shape's picture is
// made from the picture of a small one with its middle line stretched. Only small pictures are
// blurred, however tall a card grows; the stretched picture is kept per size (Qt's pixmap cache),
// so painting the shadow again only draws it. The part cut away where the shape lies is not drawn.
void paintShadow(QPainter& painter, QPoint topLeft, QSize shapeSize, qreal cornerRadius,
                 const ShadowStyle& style);

}  // namespace velloran
