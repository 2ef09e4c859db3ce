#include "Velloran/settings/AdaptiveGridLayout.h"

#include <QWidget>
#include <algorithm>

namespace velloran {

AdaptiveGridLayout::AdaptiveGridLayout(int minimumColumnWidth, int spacing, QWidget* parent)
    : QLayout(parent), minimumColumnWidth_(minimumColumnWidth), spacing_(spacing) {
  setContentsMargins(0, 0, 0, 0);
}

AdaptiveGridLayout::~AdaptiveGridLayout() {
  while (QLayoutItem* item = takeAt(0)) delete item;
}

int AdaptiveGridLayout::columnCountFor(int width) const {
  return std::max(1, (width + spacing_) / (minimumColumnWidth_ + spacing_));
}

void AdaptiveGridLayout::addItem(QLayoutItem* item) {
  items_.append(item);
}

QLayoutItem* AdaptiveGridLayout::itemAt(int index) const {
  return index >= 0 && index < items_.size() ? items_.at(index) : nullptr;
}

QLayoutItem* AdaptiveGridLayout::takeAt(int index) {
  return index >= 0 && index < items_.size() ? items_.takeAt(index) : nullptr;
}

int AdaptiveGridLayout::heightForWidth(int width) const {
  const QMargins margins = contentsMargins();
  return arrange(QRect(0, 0, width - margins.left() - margins.right(), 0), false) + margins.top() +
         margins.bottom();
}

QSize AdaptiveGridLayout::sizeHint() const {
  return {minimumColumnWidth_, heightForWidth(minimumColumnWidth_)};
}

QSize AdaptiveGridLayout::minimumSize() const {
  int widest = 0;
  for (QLayoutItem* item : items_) widest = std::max(widest, item->minimumSize().width());
  const QMargins margins = contentsMargins();
  return {widest + margins.left() + margins.right(), 0};
}

void AdaptiveGridLayout::setGeometry(const QRect& rect) {
  QLayout::setGeometry(rect);
  arrange(rect.marginsRemoved(contentsMargins()), true);
}

int AdaptiveGridLayout::arrange(const QRect& rect, bool apply) const {
  const int columns = columnCountFor(rect.width());
  const int columnWidth = std::max(0, (rect.width() - (columns - 1) * spacing_) / columns);
  int y = rect.y();
  for (int rowStart = 0; rowStart < items_.size(); rowStart += columns) {
    const int rowEnd = std::min<int>(rowStart + columns, static_cast<int>(items_.size()));
    int rowHeight = 0;
    for (int index = rowStart; index < rowEnd; ++index) {
      QLayoutItem* item = items_.at(index);
      const int wanted =
          item->hasHeightForWidth() ? item->heightForWidth(columnWidth) : item->sizeHint().height();
      const int height = std::max(wanted, item->minimumSize().height());
      rowHeight = std::max(rowHeight, height);
      if (apply) {
        const int x = rect.x() + (index - rowStart) * (columnWidth + spacing_);
        item->setGeometry(QRect(x, y, columnWidth, height));
      }
    }
    y += rowHeight + spacing_;
  }
  return items_.isEmpty() ? 0 : y - spacing_ - rect.y();
}

}  // namespace velloran
