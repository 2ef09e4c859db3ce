// Labels that cut their text with an ellipsis only when it does not fit.

#include "Velloran/ui/ElidedLabel.h"

#include <gtest/gtest.h>

#include <QFontMetrics>
#include <QLayoutItem>

#include "Velloran/ui/TextStyles.h"

namespace velloran {
namespace {

TEST(ElidedLabelTest, AtItsNaturalWidthEveryWordShowsWhole) {
  // Short words whose last glyph reaches past its advance were cut at the width the label asked for.
  for (const QFont& font :
       {textFont(TextStyle::body), textFont(TextStyle::caption), textFont(TextStyle::headline)}) {
    for (const QString text : {"hier", "lang", "review", "Übersicht", "f", "Wolf", "tagtrr", "Zeile\nzwei"}) {
      ElidedLabel label(font, primaryLabelColor(), 1);
      label.setText(text);
      const int width = label.sizeHint().width();
      const QStringList lines = ElidedLabel::linesFor(text.section('\n', 0, 0), font, 1, width);
      EXPECT_EQ(lines, QStringList{text.section('\n', 0, 0)}) << text.toStdString() << " at " << width;
    }
  }
}

TEST(ElidedLabelTest, ALayoutGivesAShortWordNoMoreThanItsNaturalWidth) {
  QWidget row;
  auto* label = new ElidedLabel(textFont(TextStyle::body), primaryLabelColor(), 1, &row);
  label->setText(QStringLiteral("xi"));
  EXPECT_EQ(QWidgetItem(label).sizeHint().width(), label->sizeHint().width());
}

TEST(ElidedLabelTest, TooNarrowItEndsWithAnEllipsis) {
  const QFont font = textFont(TextStyle::body);
  const int narrow = QFontMetrics(font).horizontalAdvance(QStringLiteral("Übers…"));
  const QStringList lines = ElidedLabel::linesFor(QStringLiteral("Übersicht der Prompts"), font, 1, narrow);
  ASSERT_EQ(lines.size(), 1);
  EXPECT_TRUE(lines.front().endsWith(QChar(0x2026))) << lines.front().toStdString();
}

}  // namespace
}  // namespace velloran
