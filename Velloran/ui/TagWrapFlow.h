#pragma once
// The line-breaking walk behind TagWrapLayout, free of widgets so it can be checked by numbers.
//
// Items are placed left to right at their ideal sizes, `spacing` after every item (the last of a
// line included), and a new line starts `lineSpacing` below the tallest item of the previous line
// whenever the next item would end strictly beyond the available width. The break is taken even on
// an empty line: an item wider than the width leaves an empty first line (height 0) and starts one
// `lineSpacing` down, and a later such item gets a line of its own. Items are never shrunk; a too
// wide item reaches past the right edge.

#include <QPoint>
#include <QSize>
#include <optional>
#include <vector>

namespace velloran {

struct TagWrapFlow {
  std::vector<QPoint> positions;  // top-left corner of each item, relative to the origin
  // The widest line (trailing spacing counted) and the bottom of the last line. With no available
  // width everything stays on one line.
  QSize size;
};

// `availableWidth` nullopt: unbounded.
TagWrapFlow flowTags(const std::vector<QSize>& idealSizes, std::optional<int> availableWidth, int spacing,
                     int lineSpacing);

}  // namespace velloran
