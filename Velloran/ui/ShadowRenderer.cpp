#include "Velloran/ui/ShadowRenderer.h"

#include <qdrawutil.h>
#include <QPainter>
#include <QPixmapCache>
#include <QRegion>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "Velloran/ui/RoundedRect.h"

namespace velloran {
namespace {

constexpr int kBoxPasses = 3;

// Widths of the box filters whose repeated application approximates the Gaussian: odd widths w
// and w + 2, as many of each as makes the combined variance closest to sigma squared.
std::vector<int> boxWidthsFor(qreal sigma) {
  const qreal ideal = std::sqrt(12.0 * sigma * sigma / kBoxPasses + 1.0);
  int lower = static_cast<int>(std::floor(ideal));
  if (lower % 2 == 0) --lower;
  const qreal lowerCountIdeal =
      (12.0 * sigma * sigma - kBoxPasses * lower * lower - 4.0 * kBoxPasses * lower - 3.0 * kBoxPasses) /
      (-4.0 * lower - 4.0);
  const int lowerCount = static_cast<int>(std::lround(lowerCountIdeal));
  std::vector<int> widths;
  for (int pass = 0; pass < kBoxPasses; ++pass) widths.push_back(pass < lowerCount ? lower : lower + 2);
  return widths;
}

// One running-sum box pass along a line of `count` values `stride` apart.
void boxLine(std::uint8_t* line, int count, int stride, int radius, std::vector<std::uint8_t>& scratch) {
  scratch.resize(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) scratch[static_cast<std::size_t>(i)] = line[i * stride];
  const int width = 2 * radius + 1;
  int sum = 0;
  for (int i = 0; i <= std::min(radius, count - 1); ++i) sum += scratch[static_cast<std::size_t>(i)];
  for (int i = 0; i < count; ++i) {
    line[i * stride] = static_cast<std::uint8_t>((sum + width / 2) / width);
    const int entering = i + radius + 1;
    const int leaving = i - radius;
    if (entering < count) sum += scratch[static_cast<std::size_t>(entering)];
    if (leaving >= 0) sum -= scratch[static_cast<std::size_t>(leaving)];
  }
}

// How far a blurred edge reaches: the box passes widen it by their radii together.
int blurReach(qreal sigma) {
  if (sigma <= 0) return 0;
  int reach = 0;
  for (int width : boxWidthsFor(sigma)) reach += (width - 1) / 2;
  return reach;
}

// The picture's key in Qt's pixmap cache: the shape's and style's numbers themselves after a name
// of the kind of picture, cheap enough to make on every paint.
QString cacheKey(QLatin1String kind, QSize shapeSize, qreal cornerRadius, const ShadowStyle& style) {
  struct Numbers {
    qreal cornerRadius;
    qreal blur;
    int width;
    int height;
    int offsetX;
    int offsetY;
    QRgb color;
    int padding = 0;  // no undefined bytes in the key
  };
  const Numbers numbers{cornerRadius,     style.radius,     shapeSize.width(), shapeSize.height(),
                        style.offset.x(), style.offset.y(), style.color.rgba()};
  static_assert(sizeof(Numbers) % sizeof(QChar) == 0);
  QString key = kind;
  key.append(reinterpret_cast<const QChar*>(&numbers),
             static_cast<qsizetype>(sizeof(Numbers) / sizeof(QChar)));
  return key;
}

QPixmap renderShadow(QSize shapeSize, qreal cornerRadius, const ShadowStyle& style) {
  const int extent = shadowExtent(style);
  const QSize pictureSize = shapeSize + QSize(2 * extent, 2 * extent);

  QImage alpha(pictureSize, QImage::Format_Alpha8);
  alpha.fill(0);
  {
    QPainter painter(&alpha);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillPath(roundedRectPath(QRectF(QPointF(extent, extent), shapeSize), cornerRadius), Qt::black);
  }
  blurAlpha(alpha, style.radius);

  QImage tinted(pictureSize, QImage::Format_ARGB32_Premultiplied);
  tinted.fill(Qt::transparent);
  QPainter painter(&tinted);
  painter.drawImage(0, 0, alpha);
  painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
  painter.fillRect(tinted.rect(), style.color);
  painter.setCompositionMode(QPainter::CompositionMode_DestinationOut);
  painter.setRenderHint(QPainter::Antialiasing);
  const QPointF shapeOrigin(extent - style.offset.x(), extent - style.offset.y());
  painter.fillPath(roundedRectPath(QRectF(shapeOrigin, shapeSize), cornerRadius), Qt::black);
  painter.end();
  return QPixmap::fromImage(tinted);
}

}  // namespace

int shadowExtent(const ShadowStyle& style) {
  return static_cast<int>(std::ceil(3.0 * std::max<qreal>(style.radius, 0)));
}

void blurAlpha(QImage& image, qreal sigma) {
  if (sigma <= 0 || image.isNull()) return;
  const int width = image.width();
  const int height = image.height();
  const int stride = static_cast<int>(image.bytesPerLine());
  std::uint8_t* bits = image.bits();
  std::vector<std::uint8_t> scratch;
  for (int boxWidth : boxWidthsFor(sigma)) {
    const int radius = (boxWidth - 1) / 2;
    for (int y = 0; y < height; ++y) boxLine(bits + y * stride, width, 1, radius, scratch);
    for (int x = 0; x < width; ++x) boxLine(bits + x, height, stride, radius, scratch);
  }
}

QPixmap shadowPixmap(QSize shapeSize, qreal cornerRadius, const ShadowStyle& style) {
  const QString key = cacheKey(QLatin1String("velloran.shadow"), shapeSize, cornerRadius, style);
  QPixmap picture;
  if (QPixmapCache::find(key, &picture)) return picture;
  picture = renderShadow(shapeSize, cornerRadius, style);
  QPixmapCache::insert(key, picture);
  return picture;
}

namespace {

// The whole picture for a shape of any size, made from the picture of a small one (the core) with
// its middle lines stretched, and kept per size: one is made for each size of card, not one per
// paint.
QPixmap stretchedShadowPixmap(QSize shapeSize, qreal radius, const ShadowStyle& style) {
  // Farther than this from a corner, neither the blurred shape nor the cut-away one changes along
  // the edge.
  const int corner = static_cast<int>(std::ceil(radius)) + blurReach(style.radius) +
                     std::max(std::abs(style.offset.x()), std::abs(style.offset.y())) + 1;
  const QSize core(std::min(shapeSize.width(), 2 * corner + 1), std::min(shapeSize.height(), 2 * corner + 1));
  const QPixmap corePicture = shadowPixmap(core, radius, style);
  if (core == shapeSize) return corePicture;

  const QString key = cacheKey(QLatin1String("velloran.shadow.stretched"), shapeSize, radius, style);
  QPixmap picture;
  if (QPixmapCache::find(key, &picture)) return picture;
  const int extent = shadowExtent(style);
  const int sideX = core.width() < shapeSize.width() ? extent + corner : 0;
  const int sideY = core.height() < shapeSize.height() ? extent + corner : 0;
  picture = QPixmap(shapeSize + QSize(2 * extent, 2 * extent));
  picture.fill(Qt::transparent);
  QPainter painter(&picture);
  // The middle line is repeated as it is, not blended with its neighbours.
  painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
  qDrawBorderPixmap(&painter, picture.rect(), QMargins(sideX, sideY, sideX, sideY), corePicture);
  painter.end();
  QPixmapCache::insert(key, picture);
  return picture;
}

}  // namespace

void paintShadow(QPainter& painter, QPoint topLeft, QSize shapeSize, qreal cornerRadius,
                 const ShadowStyle& style) {
  const qreal radius = std::min(cornerRadius, std::min(shapeSize.width(), shapeSize.height()) / 2.0);
  const QPixmap picture = stretchedShadowPixmap(shapeSize, radius, style);
  // Where the shape itself lies, away from its rounded corners, the picture is cut away to nothing:
  // drawing it would only blend clear pixels, over most of the picture's area.
  const int extent = shadowExtent(style);
  const QRect shape(QPoint(extent, extent) - style.offset, shapeSize);
  const int inset = static_cast<int>(std::ceil(radius));
  const QRegion cutAway =
      QRegion(shape.adjusted(inset, 0, -inset, 0)) + QRegion(shape.adjusted(0, inset, 0, -inset));
  for (const QRect& part : QRegion(picture.rect()) - cutAway)
    painter.drawPixmap(topLeft + part.topLeft(), picture, part);
}

}  // namespace velloran
