#include "Velloran/views/Banners.h"

#include <QHBoxLayout>
#include <QPainter>

#include "Velloran/ui/DropShadow.h"
#include "Velloran/ui/ElidedLabel.h"
#include "Velloran/ui/Materials.h"
#include "Velloran/ui/Symbols.h"
#include "Velloran/ui/SystemColors.h"
#include "Velloran/ui/TextStyles.h"

namespace velloran {
namespace {

constexpr int kToastPaddingX = 16;
constexpr int kToastPaddingY = 10;
constexpr int kToastIconGap = 8;
constexpr qreal kToastCornerRadius = 18;

int symbolSizeFor(const QFont& font) {
  return QFontMetrics(font).height();
}

}  // namespace

ToastBanner::ToastBanner(QWidget* parent) : GlassCard(kToastCornerRadius, GlassTint::whiteSheen(), parent) {
  setObjectName(QStringLiteral("copiedToast"));
  setAttribute(Qt::WA_TransparentForMouseEvents);
  const QFont font = textFont(TextStyle::body);
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(kToastPaddingX, kToastPaddingY, kToastPaddingX, kToastPaddingY);
  row->setSpacing(kToastIconGap);
  row->addWidget(
      new SymbolView(QStringLiteral("doc.on.doc.fill"), symbolSizeFor(font), primaryLabelColor(), this), 0,
      Qt::AlignTop);
  label_ = new ElidedLabel(font, primaryLabelColor(), 0, this);
  row->addWidget(label_, 1);
  new DropShadow(this, kToastCornerRadius, ShadowStyle{blackAt(0.1), 10, QPoint(0, 6)});
}

QString ToastBanner::text() const {
  return label_->text();
}

void ToastBanner::setText(const QString& text) {
  label_->setText(text);
  // Read as one element: the symbol says nothing the text does not.
  setAccessibleName(text);
  updateGeometry();
}

QSize ToastBanner::sizeFor(int maximumWidth) const {
  const int chrome = 2 * kToastPaddingX + symbolSizeFor(label_->font()) + kToastIconGap;
  const int textWidth = std::min(label_->sizeHint().width(), std::max(1, maximumWidth - chrome));
  const int textHeight = std::max(label_->heightForWidth(textWidth), symbolSizeFor(label_->font()));
  return {textWidth + chrome, textHeight + 2 * kToastPaddingY};
}

SyncBannerView::SyncBannerView(QWidget* parent) : NoticeStrip(parent) {
  setObjectName(QStringLiteral("syncBanner"));
}

void SyncBannerView::setBanner(const SyncBanner& banner) {
  setNotice(QString::fromStdString(banner.message), banner.isError);
}

}  // namespace velloran
