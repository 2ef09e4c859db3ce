#include "Velloran/settings/OtherAppCard.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QVBoxLayout>

#include "Velloran/settings/AppIconView.h"
#include "Velloran/ui/ElidedLabel.h"
#include "Velloran/ui/Materials.h"
#include "Velloran/ui/Symbols.h"
#include "Velloran/ui/SystemColors.h"
#include "Velloran/ui/TextStyles.h"

namespace velloran {
namespace {

constexpr int kCardPadding = 12;
constexpr qreal kCardRadius = 14;
constexpr int kArrowSize = 20;
// A store name is a few words; the bound keeps a reply with an enormous name from making a card
// taller than any screen and from having all of it laid out.
constexpr int kNameLines = 3;

QColor withOpacity(QColor color, qreal opacity) {
  color.setAlphaF(color.alphaF() * opacity);
  return color;
}

// The tertiary and quaternary label colours of the light appearance.
QColor tertiaryLabelColor() {
  return QColor(0, 0, 0, qRound(0.26 * 255));
}

QColor quaternaryLabelColor() {
  return QColor(0, 0, 0, qRound(0.1 * 255));
}

void paintBar(QPainter& painter, qreal x, qreal y, qreal width, qreal height, const QColor& color) {
  paintRoundedPanel(painter, QRectF(x, y, width, height), 4, color, Qt::transparent, 0);
}

}  // namespace

OtherAppCard::OtherAppCard(const AppStoreApp& app, bool openable, ArtworkLoader& loader,
                           std::function<void()> onOpen, QWidget* parent)
    : QAbstractButton(parent), appID_(app.id) {
  setObjectName(QStringLiteral("otherAppCard-%1").arg(app.id));
  setEnabled(openable);
  setCursor(openable ? Qt::PointingHandCursor : Qt::ArrowCursor);
  setFocusPolicy(Qt::TabFocus);
  setAccessibleName(QString::fromStdString(app.name));
  // Wrapped text makes the card's height depend on its width.
  QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred, QSizePolicy::PushButton);
  policy.setHeightForWidth(true);
  setSizePolicy(policy);

  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(kCardPadding, kCardPadding, kCardPadding, kCardPadding);
  row->setSpacing(12);

  icon_ = new AppIconView(app.artworkURL, loader, this);
  row->addWidget(icon_, 0, Qt::AlignVCenter);

  auto* column = new QVBoxLayout();
  column->setSpacing(4);
  auto addLine = [&](const std::string& text, const QFont& font, const QColor& color, int maxLines) {
    auto* label = new ElidedLabel(font, color, maxLines, this);
    label->setText(QString::fromStdString(text));
    label->setAttribute(Qt::WA_TransparentForMouseEvents);
    column->addWidget(label);
    lines_.append(label);
  };
  addLine(app.name, textFont(TextStyle::headline), primaryLabelColor(), kNameLines);
  addLine(app.subtitle, textFont(TextStyle::subheadline), secondaryLabelColor(), 2);
  if (app.genre != app.subtitle) addLine(app.genre, textFont(TextStyle::caption), secondaryLabelColor(), 1);
  row->addLayout(column, 1);

  row->addSpacing(6);
  auto* arrow = new SymbolView(QStringLiteral("arrow.up.right.circle.fill"), kArrowSize,
                               openable ? accentBlueColor() : withOpacity(accentBlueColor(), 0.35), this);
  row->addWidget(arrow, 0, Qt::AlignVCenter);

  connect(this, &QAbstractButton::clicked, this, [onOpen = std::move(onOpen)] { onOpen(); });
}

QStringList OtherAppCard::textLines() const {
  QStringList lines;
  for (const ElidedLabel* label : lines_) lines.append(label->text());
  return lines;
}

int OtherAppCard::heightForWidth(int width) const {
  return layout()->heightForWidth(width);
}

QSize OtherAppCard::sizeHint() const {
  return layout()->sizeHint();
}

void OtherAppCard::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  QColor fill = withOpacity(controlBackgroundColor(), 0.9);
  if (isDown()) fill = fill.darker(106);
  paintRoundedPanel(painter, rect(), kCardRadius, fill, Qt::transparent, 0);
}

PlaceholderAppCard::PlaceholderAppCard(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("otherAppPlaceholder"));
  setMinimumHeight(80);
}

void PlaceholderAppCard::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  paintRoundedPanel(painter, rect(), kCardRadius, withOpacity(controlBackgroundColor(), 0.8), Qt::transparent,
                    0);
  const qreal top = (height() - AppIconView::kSide) / 2.0;
  paintRoundedPanel(painter, QRectF(kCardPadding, top, AppIconView::kSide, AppIconView::kSide), 12,
                    tertiaryLabelColor(), Qt::transparent, 0);
  // Three bars, 6 apart, centred beside the square.
  const qreal x = kCardPadding + AppIconView::kSide + 12;
  const qreal barsTop = height() / 2.0 - (14 + 12 + 10 + 2 * 6) / 2.0;
  paintBar(painter, x, barsTop, 140, 14, tertiaryLabelColor());
  paintBar(painter, x, barsTop + 20, 120, 12, quaternaryLabelColor());
  paintBar(painter, x, barsTop + 38, 80, 10, withOpacity(quaternaryLabelColor(), 0.7));
}

}  // namespace velloran
