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
constexpr int kBannerPaddingX = 12;
constexpr int kBannerPaddingY = 10;
constexpr int kBannerSpacing = 8;
constexpr qreal kBannerCornerRadius = 12;

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

SyncBannerView::SyncBannerView(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("syncBanner"));
  QSizePolicy policy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  policy.setHeightForWidth(true);
  setSizePolicy(policy);
  const QFont font = textFont(TextStyle::footnote, QFont::DemiBold);
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(kBannerPaddingX, kBannerPaddingY, kBannerPaddingX, kBannerPaddingY);
  row->setSpacing(kBannerSpacing);
  symbol_ = new SymbolView(QStringLiteral("arrow.triangle.2.circlepath"), symbolSizeFor(font),
                           accentBlueColor(), this);
  row->addWidget(symbol_);
  message_ = new ElidedLabel(font, primaryLabelColor(), 0, this);
  row->addWidget(message_, 1);
}

QString SyncBannerView::message() const {
  return message_->text();
}

void SyncBannerView::setBanner(const SyncBanner& banner) {
  banner_ = banner;
  if (banner.isError) {
    symbol_->setSymbol(QStringLiteral("exclamationmark.triangle.fill"), destructiveRedColor());
  } else {
    symbol_->setSymbol(QStringLiteral("arrow.triangle.2.circlepath"), accentBlueColor());
  }
  message_->setText(QString::fromStdString(banner.message));
  setAccessibleName(message_->text());
  updateGeometry();
}

int SyncBannerView::heightForWidth(int width) const {
  const int textWidth = width - 2 * kBannerPaddingX - symbol_->sizeHint().width() - kBannerSpacing;
  return std::max(message_->heightForWidth(textWidth), symbol_->sizeHint().height()) + 2 * kBannerPaddingY;
}

void SyncBannerView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  paintRoundedPanel(painter, rect(), kBannerCornerRadius, ultraThinMaterialColor(), blackAt(0.06), 1);
}

SyncBannerView* makeSaveFailureBanner(QWidget* parent) {
  auto* banner = new SyncBannerView(parent);
  banner->setObjectName(QStringLiteral("saveFailureBanner"));
  banner->hide();
  return banner;
}

void showSaveFailure(SyncBannerView& banner, const std::optional<std::string>& message) {
  if (message) banner.setBanner(SyncBanner{*message, true});
  banner.setVisible(message.has_value());
}

}  // namespace velloran
