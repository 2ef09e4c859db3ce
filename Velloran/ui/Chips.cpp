#include "Velloran/ui/Chips.h"

#include <QFontMetrics>
#include <QHBoxLayout>
#include <QMouseEvent>
#include <QPainter>
#include <QToolButton>
#include <QtMath>

#include "Velloran/ui/DropShadow.h"
#include "Velloran/ui/ElidedLabel.h"
#include "Velloran/ui/Materials.h"
#include "Velloran/ui/Symbols.h"
#include "Velloran/ui/SystemColors.h"
#include "Velloran/ui/TagWrapLayout.h"
#include "Velloran/ui/TextStyles.h"

namespace velloran {
namespace {

constexpr int kTagPaddingX = 12;
constexpr int kTagPaddingY = 7;
constexpr int kMetaPaddingX = 10;
constexpr int kMetaPaddingY = 6;
constexpr int kMetaIconGap = 4;
constexpr int kEditableSpacing = 6;
constexpr int kRemoveSymbolSize = 12;

// The text's full width, rounded up: a label given exactly this much is never cut.
int textWidth(const QFont& font, const QString& text) {
  return qCeil(QFontMetricsF(font).horizontalAdvance(text));
}

// The label as it fits into `width`, cut with an ellipsis only when it really does not fit.
QString fitted(const QFont& font, const QString& text, int width) {
  return textWidth(font, text) <= width ? text : QFontMetrics(font).elidedText(text, Qt::ElideRight, width);
}

const ShadowStyle& chipShadow() {
  static const ShadowStyle style{blackAt(0.08), 6, QPoint(0, 3)};
  return style;
}

void paintChipCapsule(QPainter& painter, const QRectF& rect) {
  paintCapsule(painter, rect, thinMaterialColor(), whiteAt(0.25), 0.8);
}

QFont metaFont() {
  return textFont(TextStyle::caption, QFont::DemiBold);
}

int metaIconSize() {
  return QFontMetrics(metaFont()).ascent();
}

}  // namespace

TagChip::TagChip(const QString& label, QWidget* parent) : QWidget(parent), label_(label) {
  setFont(textFont(TextStyle::caption));
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
  new DropShadow(this, 1000, chipShadow());
}

int TagChip::chipHeight() {
  return QFontMetrics(textFont(TextStyle::caption)).height() + 2 * kTagPaddingY;
}

QSize TagChip::sizeHint() const {
  return {textWidth(font(), label_) + 2 * kTagPaddingX, chipHeight()};
}

void TagChip::setHighlighted(bool highlighted) {
  if (highlighted == highlighted_) return;
  highlighted_ = highlighted;
  update();
}

void TagChip::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  if (highlighted_) {
    paintCapsule(painter, rect(), accentBlueColor(), whiteAt(0.25), 0.8);
  } else {
    paintChipCapsule(painter, rect());
  }
  painter.setPen(highlighted_ ? QColor(Qt::white) : accentBlueColor());
  painter.setFont(font());
  const QRect text = rect().adjusted(kTagPaddingX, 0, -kTagPaddingX, 0);
  painter.drawText(text, Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine,
                   fitted(font(), label_, text.width()));
}

TagSuggestionButton::TagSuggestionButton(const QString& label, QWidget* parent)
    : QAbstractButton(parent), label_(label), chip_(new TagChip(label, this)) {
  setFocusPolicy(Qt::NoFocus);
  setCursor(Qt::PointingHandCursor);
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
  chip_->setAttribute(Qt::WA_TransparentForMouseEvents);
  chip_->setGeometry(QRect(QPoint(0, 0), chip_->sizeHint()));
  setAccessibleName(label);
}

QSize TagSuggestionButton::sizeHint() const {
  return chip_->sizeHint();
}

void TagSuggestionButton::paintEvent(QPaintEvent*) {
  // The chip child draws the whole face.
}

EditableTagChip::EditableTagChip(const QString& label, std::function<void()> onDelete,
                                 std::function<void()> onEdit, QWidget* parent)
    : QWidget(parent), label_(label), onEdit_(std::move(onEdit)) {
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(kTagPaddingX, kTagPaddingY, kTagPaddingX, kTagPaddingY);
  row->setSpacing(kEditableSpacing);

  auto* text = new ElidedLabel(textFont(TextStyle::body), primaryLabelColor(), 1, this);
  text->setText(label);
  // The text gives way (cut with "…") when the chip is narrower than its whole label; the remove
  // button never does.
  text->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
  row->addWidget(text, 1);

  auto* remove = new QToolButton(this);
  remove->setObjectName(QStringLiteral("removeTagButton"));
  // Never the focus: clicking it must leave the focus in the tag field.
  remove->setFocusPolicy(Qt::NoFocus);
  remove->setAutoRaise(true);
  remove->setCursor(Qt::PointingHandCursor);
  remove->setIcon(symbolIcon(QStringLiteral("xmark.circle.fill"), secondaryLabelColor()));
  remove->setIconSize(QSize(kRemoveSymbolSize, kRemoveSymbolSize));
  remove->setFixedSize(kRemoveSymbolSize + 2, kRemoveSymbolSize + 2);
  remove->setStyleSheet(QStringLiteral("QToolButton { border: none; padding: 0; background: transparent; }"));
  remove->setAccessibleName(label);
  QObject::connect(remove, &QToolButton::clicked, this, [onDelete = std::move(onDelete)] {
    if (onDelete) onDelete();
  });
  row->addWidget(remove);
  removeButton_ = remove;

  new DropShadow(this, 1000, chipShadow());
}

QSize EditableTagChip::sizeHint() const {
  QSize whole = layout()->sizeHint();
  if (const std::optional<int> line = TagWrapLayout::lineWidthFor(*this)) {
    whole.setWidth(std::min(whole.width(), *line));
  }
  return whole;
}

void EditableTagChip::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  paintChipCapsule(painter, rect());
}

void EditableTagChip::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && onEdit_) {
    // A copy: editing removes this chip, and with it this object and its members.
    const std::function<void()> edit = onEdit_;
    edit();
    return;
  }
  QWidget::mouseDoubleClickEvent(event);
}

MetaChip::MetaChip(const QString& label, const QString& systemImage, QWidget* parent)
    : QWidget(parent), label_(label), systemImage_(systemImage) {
  requireKnownSymbol(systemImage);
  setFont(metaFont());
  // As wide as its label at most; in a row without room for it, down to a letter and "…".
  setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);
  setProperty("systemImage", systemImage_);
}

void MetaChip::setLabel(const QString& label) {
  if (label == label_) return;
  label_ = label;
  updateGeometry();
  update();
}

int MetaChip::chipHeight() {
  return QFontMetrics(metaFont()).height() + 2 * kMetaPaddingY;
}

QSize MetaChip::sizeHint() const {
  return {2 * kMetaPaddingX + metaIconSize() + kMetaIconGap + textWidth(font(), label_), chipHeight()};
}

QSize MetaChip::minimumSizeHint() const {
  const int cut = std::min(textWidth(font(), QStringLiteral("W…")), textWidth(font(), label_));
  return {2 * kMetaPaddingX + metaIconSize() + kMetaIconGap + cut, chipHeight()};
}

void MetaChip::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  paintCapsule(painter, rect(), thinMaterialColor(), whiteAt(0.2), 0.8);
  const int icon = metaIconSize();
  const QRectF iconSquare(kMetaPaddingX, (height() - icon) / 2.0, icon, icon);
  paintSymbol(painter, iconSquare, systemImage_, primaryLabelColor());
  painter.setPen(primaryLabelColor());
  painter.setFont(font());
  const int textLeft = kMetaPaddingX + icon + kMetaIconGap;
  painter.drawText(QRect(textLeft, 0, width() - textLeft - kMetaPaddingX, height()),
                   Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine,
                   fitted(font(), label_, width() - textLeft - kMetaPaddingX));
}

}  // namespace velloran
