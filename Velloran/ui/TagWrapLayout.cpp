#include "Velloran/ui/TagWrapLayout.h"

#include <QWidget>

#include "Velloran/ui/TagWrapFlow.h"

namespace velloran {

TagWrapLayout::TagWrapLayout(int spacing, int lineSpacing, QWidget* parent)
    : QLayout(parent), spacing_(spacing), lineSpacing_(lineSpacing) {
  // A layout set on a widget would otherwise take the style's window margins.
  setContentsMargins(0, 0, 0, 0);
}

TagWrapLayout::~TagWrapLayout() {
  qDeleteAll(items_);
}

void TagWrapLayout::setSpacing(int spacing) {
  spacing_ = spacing;
  invalidate();
}

void TagWrapLayout::setLineSpacing(int lineSpacing) {
  lineSpacing_ = lineSpacing;
  invalidate();
}

void TagWrapLayout::addItem(QLayoutItem* item) {
  items_.append(item);
  invalidate();
}

QLayoutItem* TagWrapLayout::itemAt(int index) const {
  return index >= 0 && index < items_.size() ? items_.at(index) : nullptr;
}

QLayoutItem* TagWrapLayout::takeAt(int index) {
  if (index < 0 || index >= items_.size()) return nullptr;
  QLayoutItem* item = items_.takeAt(index);
  invalidate();
  return item;
}

TagWrapLayout::Participants TagWrapLayout::participants() const {
  Participants result;
  for (QLayoutItem* item : items_) {
    if (item->isEmpty()) continue;
    result.items.append(item);
    result.idealSizes.push_back(item->sizeHint());
  }
  return result;
}

QSize TagWrapLayout::sizeFor(std::optional<int> contentsWidth) const {
  const QMargins margins = contentsMargins();
  const QSize contents = flowTags(participants().idealSizes, contentsWidth, spacing_, lineSpacing_).size;
  return contents.grownBy(margins);
}

QSize TagWrapLayout::sizeHint() const {
  return sizeFor(std::nullopt);
}

QSize TagWrapLayout::minimumSize() const {
  const QMargins margins = contentsMargins();
  return QSize(margins.left() + margins.right(), margins.top() + margins.bottom());
}

int TagWrapLayout::heightForWidth(int width) const {
  const QMargins margins = contentsMargins();
  return sizeFor(width - margins.left() - margins.right()).height();
}

std::optional<int> TagWrapLayout::lineWidthFor(const QWidget& item) {
  const QWidget* flow = item.parentWidget();
  const auto* layout = flow != nullptr ? dynamic_cast<const TagWrapLayout*>(flow->layout()) : nullptr;
  if (layout == nullptr) return std::nullopt;
  const QMargins margins = layout->contentsMargins();
  const int line = flow->width() - margins.left() - margins.right();
  return line > 0 ? std::optional<int>(line) : std::nullopt;
}

void TagWrapLayout::setGeometry(const QRect& rect) {
  QLayout::setGeometry(rect);
  const QRect bounds = rect.marginsRemoved(contentsMargins());
  if (bounds.width() != placedLineWidth_) {
    placedLineWidth_ = bounds.width();
    // Items capped at the line's width measure themselves anew; their new hints come back here.
    for (QLayoutItem* item : std::as_const(items_)) {
      if (QWidget* widget = item->widget()) widget->updateGeometry();
    }
  }
  const Participants placed = participants();
  const TagWrapFlow flow = flowTags(placed.idealSizes, bounds.width(), spacing_, lineSpacing_);
  for (qsizetype index = 0; index < placed.items.size(); ++index) {
    placed.items[index]->setGeometry(
        QRect(bounds.topLeft() + flow.positions[index], placed.idealSizes[index]));
  }
}

}  // namespace velloran
