#pragma once
// What a widget test can check of a screen as shown, beyond a screenshot for people: that nothing
// is cut off, and which texts can be seen.
//
// Main thread, inside a running test, on a widget that has been shown and laid out.

#include <gtest/gtest.h>

#include <QStringList>

class QLineEdit;
class QWidget;

namespace velloran::testing {

// Every visible widget below `root` lies wholly inside its parent, so no part of it is cut away.
// Exempt: the contents of a scroll area's viewport (they scroll), decorations that let the mouse
// through (shadows reach past their owner on purpose) and empty widgets. A failure names each
// widget that is cut, with its and its parent's geometry.
::testing::AssertionResult nothingClipped(const QWidget& root);

// The line edit, empty, would draw its whole placeholder: the room it gives its text (its contents
// less its text margins and its own small margin) holds the placeholder without a cut.
::testing::AssertionResult showsWholePlaceholder(const QLineEdit& field);

// The texts of the visible labels, elided labels and buttons below `root`, in creation order.
QStringList visibleTexts(const QWidget& root);

}  // namespace velloran::testing
