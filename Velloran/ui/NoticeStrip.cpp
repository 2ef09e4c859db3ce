#include "Velloran/ui/NoticeStrip.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QToolButton>

#include "Velloran/ui/ElidedLabel.h"
#include "Velloran/ui/Materials.h"
#include "Velloran/ui/Symbols.h"
#include "Velloran/ui/SystemColors.h"
#include "Velloran/ui/TextStyles.h"

namespace velloran {
namespace {

constexpr int kPaddingX = 12;
constexpr int kPaddingY = 10;
constexpr int kSpacing = 8;
constexpr qreal kCornerRadius = 12;
constexpr int kCloseSymbolSize = 13;

}  // namespace

NoticeStrip::NoticeStrip(QWidget* parent) : QWidget(parent) {
  // As tall as its lines at the width it gets: a fixed height would be the one of its natural width
  // and cut the lines a narrower place wraps the message into.
  QSizePolicy policy(QSizePolicy::Expanding, QSizePolicy::Preferred);
  policy.setHeightForWidth(true);
  setSizePolicy(policy);
  const QFont font = textFont(TextStyle::footnote, QFont::DemiBold);
  const int symbolSize = QFontMetrics(font).height();
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(kPaddingX, kPaddingY, kPaddingX, kPaddingY);
  row->setSpacing(kSpacing);
  symbol_ =
      new SymbolView(QStringLiteral("arrow.triangle.2.circlepath"), symbolSize, accentBlueColor(), this);
  row->addWidget(symbol_);
  message_ = new ElidedLabel(font, primaryLabelColor(), 0, this);
  row->addWidget(message_, 1);
}

void NoticeStrip::setNotice(const QString& message, bool isError) {
  isError_ = isError;
  if (isError) {
    symbol_->setSymbol(QStringLiteral("exclamationmark.triangle.fill"), destructiveRedColor());
  } else {
    symbol_->setSymbol(QStringLiteral("arrow.triangle.2.circlepath"), accentBlueColor());
  }
  message_->setText(message);
  setAccessibleName(message);
  updateGeometry();
}

QString NoticeStrip::message() const {
  return message_->text();
}

void NoticeStrip::addCloseButton(const QString& name, std::function<void()> onClose) {
  close_ = makeCloseButton(name, this);
  close_->setObjectName(QStringLiteral("closeNoticeButton"));
  connect(close_, &QToolButton::clicked, this, [onClose = std::move(onClose)] {
    if (onClose) onClose();
  });
  layout()->addWidget(close_);
  updateGeometry();
}

int NoticeStrip::heightForWidth(int width) const {
  int textWidth = width - 2 * kPaddingX - symbol_->sizeHint().width() - kSpacing;
  if (close_) textWidth -= close_->sizeHint().width() + kSpacing;
  return std::max(message_->heightForWidth(textWidth), symbol_->sizeHint().height()) + 2 * kPaddingY;
}

void NoticeStrip::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  paintRoundedPanel(painter, rect(), kCornerRadius, ultraThinMaterialColor(), blackAt(0.06), 1);
}

QToolButton* makeCloseButton(const QString& name, QWidget* parent) {
  auto* button = new QToolButton(parent);
  button->setIcon(symbolIcon(QStringLiteral("xmark.circle.fill"), secondaryLabelColor()));
  button->setIconSize(QSize(kCloseSymbolSize, kCloseSymbolSize));
  button->setAutoRaise(true);
  button->setCursor(Qt::PointingHandCursor);
  button->setStyleSheet(QStringLiteral("QToolButton { border: none; padding: 2px; }"));
  button->setToolTip(name);
  button->setAccessibleName(name);
  return button;
}

NoticeStrip* makeFailureStrip(QWidget* parent) {
  auto* strip = new NoticeStrip(parent);
  strip->setObjectName(QStringLiteral("saveFailureBanner"));
  strip->hide();
  return strip;
}

void showFailure(NoticeStrip& strip, const std::optional<std::string>& message) {
  if (message) strip.setNotice(QString::fromStdString(*message), true);
  strip.setVisible(message.has_value());
}

}  // namespace velloran
