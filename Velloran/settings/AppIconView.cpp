#include "Velloran/settings/AppIconView.h"

#include <QPainter>
#include <QPainterPath>
#include <QPointer>

#include "Velloran/settings/ArtworkLoader.h"
#include "Velloran/ui/DropShadow.h"
#include "Velloran/ui/Materials.h"
#include "Velloran/ui/Symbols.h"
#include "Velloran/ui/SystemColors.h"
#include "Velloran/ui/TextStyles.h"

namespace velloran {
namespace {

constexpr qreal kCornerRadius = 12;
constexpr int kPlaceholderSymbolSize = 20;

}  // namespace

AppIconView::AppIconView(const std::optional<platform::Url>& url, ArtworkLoader& loader, QWidget* parent)
    : QWidget(parent) {
  setFixedSize(kSide, kSide);
  setAttribute(Qt::WA_TransparentForMouseEvents);
  setProperty("placeholderSymbol", QStringLiteral("sparkles"));
  new DropShadow(this, kCornerRadius, ShadowStyle{blackAt(0.12), 6, QPoint(0, 3)});
  if (!url) return;
  loader.load(*url, [view = QPointer<AppIconView>(this)](QImage image) {
    if (!view || image.isNull()) return;
    view->image_ = std::move(image);
    view->update();
  });
}

void AppIconView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  const QRectF square = rect();
  QPainterPath shape;
  shape.addRoundedRect(square, kCornerRadius, kCornerRadius);

  painter.save();
  painter.setClipPath(shape);
  if (image_.isNull()) {
    painter.fillPath(shape, controlBackgroundColor());
    const QRectF symbol(square.center().x() - kPlaceholderSymbolSize / 2.0,
                        square.center().y() - kPlaceholderSymbolSize / 2.0, kPlaceholderSymbolSize,
                        kPlaceholderSymbolSize);
    paintSymbol(painter, symbol, QStringLiteral("sparkles"), secondaryLabelColor());
  } else {
    // Fill the square, keep the aspect ratio; the overflow is cut by the clip.
    const QSizeF scaled = QSizeF(image_.size()).scaled(square.size(), Qt::KeepAspectRatioByExpanding);
    const QRectF target(square.center().x() - scaled.width() / 2, square.center().y() - scaled.height() / 2,
                        scaled.width(), scaled.height());
    painter.drawImage(target, image_);
  }
  painter.restore();

  paintRoundedPanel(painter, square, kCornerRadius, Qt::transparent, whiteAt(0.25), 0.8);
}

}  // namespace velloran
