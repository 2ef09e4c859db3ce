#include "Velloran/views/LibraryParts.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

#include "Velloran/ui/Buttons.h"
#include "Velloran/ui/DropShadow.h"
#include "Velloran/ui/ElidedLabel.h"
#include "Velloran/ui/GlassCard.h"
#include "Velloran/ui/Materials.h"
#include "Velloran/ui/NoticeStrip.h"
#include "Velloran/ui/Symbols.h"
#include "Velloran/ui/SystemColors.h"
#include "Velloran/ui/TextStyles.h"
#include "Velloran/views/ViewTexts.h"

namespace velloran {
namespace {

constexpr int kLibraryPadding = 16;
constexpr int kAddButtonSize = 52;
constexpr int kAddSymbolSize = 20;

}  // namespace

EmptyLibraryCard::EmptyLibraryCard(std::function<void()> onCreate, QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("emptyState"));
  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(kLibraryPadding, kLibraryPadding, kLibraryPadding, kLibraryPadding);
  outer->addStretch();
  auto* card = new GlassCard(16, GlassTint::whiteSheen(), this);
  card->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Maximum);
  auto* column = new QVBoxLayout(card);
  column->setContentsMargins(20, 28, 20, 28);
  column->setSpacing(16);

  auto* title = new QLabel(card);
  title->setTextFormat(Qt::PlainText);
  title->setText(uiText(texts::kEmptyTitle));
  title->setFont(textFont(TextStyle::title3, QFont::DemiBold));
  title->setAlignment(Qt::AlignHCenter);
  column->addWidget(title);

  auto* message = new ElidedLabel(textFont(TextStyle::subheadline), secondaryLabelColor(), 0, card);
  message->setText(uiText(texts::kEmptyMessage));
  message->setAlignment(Qt::AlignHCenter);
  message->setContentsMargins(kLibraryPadding, 0, kLibraryPadding, 0);
  column->addWidget(message);

  create_ = makeButton(uiText(texts::kCreatePrompt), card, QStringLiteral("plus"));
  create_->setObjectName(QStringLiteral("emptyStateCreatePromptButton"));
  create_->setFont(textFont(TextStyle::headline));
  styleProminentButton(*create_, accentBlueColor());
  connect(create_, &QPushButton::clicked, this, [onCreate = std::move(onCreate)] {
    if (onCreate) onCreate();
  });
  column->addWidget(create_, 0, Qt::AlignHCenter);

  auto* centred = new QHBoxLayout;
  centred->addStretch();
  centred->addWidget(card);
  centred->addStretch();
  outer->addLayout(centred);
  outer->addStretch();
}

UsageHint::UsageHint(std::function<void()> onClose, QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("usageHint"));
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(kLibraryPadding, 0, kLibraryPadding, 0);
  row->setSpacing(10);
  row->addWidget(new SymbolView(QStringLiteral("hand.tap"), 14, secondaryLabelColor(), this), 0,
                 Qt::AlignVCenter);
  auto* text = new ElidedLabel(textFont(TextStyle::footnote), secondaryLabelColor(), 3, this);
  text->setText(uiText(texts::kHint));
  row->addWidget(text, 1, Qt::AlignVCenter);
  close_ = makeCloseButton(uiText(texts::kCloseNotice), this);
  close_->setObjectName(QStringLiteral("hintCloseButton"));
  connect(close_, &QToolButton::clicked, this, [onClose = std::move(onClose)] {
    if (onClose) onClose();
  });
  row->addWidget(close_, 0, Qt::AlignVCenter);
}

AddPromptButton::AddPromptButton(QWidget* parent) : QAbstractButton(parent) {
  setObjectName(QStringLiteral("addPromptButton"));
  setAccessibleName(uiText(texts::kCreatePrompt));
  setCursor(Qt::PointingHandCursor);
  setFocusPolicy(Qt::TabFocus);
  resize(sizeHint());
  new DropShadow(this, kAddButtonSize, ShadowStyle{blackAt(0.15), 10, QPoint(0, 6)});
}

QSize AddPromptButton::sizeHint() const {
  return {kAddButtonSize, kAddButtonSize};
}

void AddPromptButton::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const QRectF circle = QRectF(rect());
  // Rather more body than the cards' material: the button floats over cards, not over the window.
  painter.setPen(Qt::NoPen);
  painter.setBrush(isDown() ? whiteAt(0.55) : whiteAt(0.72));
  painter.drawEllipse(circle);
  painter.setPen(QPen(whiteAt(0.35), 1));
  painter.setBrush(Qt::NoBrush);
  painter.drawEllipse(circle.adjusted(0.5, 0.5, -0.5, -0.5));
  const qreal inset = (kAddButtonSize - kAddSymbolSize) / 2.0;
  paintSymbol(painter, QRectF(inset, inset, kAddSymbolSize, kAddSymbolSize), QStringLiteral("plus"),
              primaryLabelColor());
}

}  // namespace velloran
