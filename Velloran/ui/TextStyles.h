#pragma once
// The text styles and label colours of the library's views, fixed in pixels so that text measures
// the same on every machine (the family is the application font, see ApplicationLook.h).
//
// Main thread only (fonts are made from the application's font).

#include <QColor>
#include <QFont>

namespace velloran {

enum class TextStyle {
  largeTitle,
  title,
  title2,
  title3,
  headline,
  body,
  subheadline,
  footnote,
  caption,
  caption2
};

// The application font at the style's size and weight (headline is bold, the rest regular).
QFont textFont(TextStyle style);
// The same with another weight, e.g. a semibold caption for chips.
QFont textFont(TextStyle style, QFont::Weight weight);

QColor primaryLabelColor();    // ordinary text
QColor secondaryLabelColor();  // explanations, dates, dimmed symbols
QColor destructiveRedColor();  // error symbols and delete actions

}  // namespace velloran
