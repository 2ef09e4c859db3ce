#include "Velloran/ui/TagWrapFlow.h"

#include <algorithm>

namespace velloran {

TagWrapFlow flowTags(const std::vector<QSize>& idealSizes, std::optional<int> availableWidth, int spacing,
                     int lineSpacing) {
  TagWrapFlow flow;
  flow.positions.reserve(idealSizes.size());
  int x = 0;
  int y = 0;
  int lineHeight = 0;
  int widest = 0;
  for (const QSize& ideal : idealSizes) {
    if (availableWidth && x + ideal.width() > *availableWidth) {
      widest = std::max(widest, x);
      y += lineHeight + lineSpacing;
      x = 0;
      lineHeight = 0;
    }
    flow.positions.emplace_back(x, y);
    x += ideal.width() + spacing;
    lineHeight = std::max(lineHeight, ideal.height());
  }
  flow.size = QSize(std::max(widest, x), y + lineHeight);
  return flow;
}

}  // namespace velloran
