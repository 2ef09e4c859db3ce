#include "Velloran/ui/TagWrapLayout.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTest>
#include <QVBoxLayout>
#include <QWidget>

namespace velloran {
namespace {

// A widget whose ideal size the test decides.
class Chip final : public QWidget {
 public:
  Chip(QSize ideal, QWidget* parent) : QWidget(parent), ideal_(ideal) {}
  QSize sizeHint() const override { return ideal_; }
  void setIdeal(QSize ideal) {
    ideal_ = ideal;
    updateGeometry();
  }

 private:
  QSize ideal_;
};

class TagWrapLayoutTest : public ::testing::Test {
 protected:
  Chip* addChip(QSize ideal) {
    auto* chip = new Chip(ideal, &container_);
    layout_->addWidget(chip);
    return chip;
  }
  std::vector<QRect> chipFrames() const {
    std::vector<QRect> frames;
    for (int index = 0; index < layout_->count(); ++index)
      frames.push_back(layout_->itemAt(index)->widget()->geometry());
    return frames;
  }

  QWidget container_;
  TagWrapLayout* layout_ = new TagWrapLayout(8, 8, &container_);
};

using Frames = std::vector<QRect>;

TEST_F(TagWrapLayoutTest, ThreeChipsInAHundredPointsWrapTheThird) {
  for (int i = 0; i < 3; ++i) addChip(QSize(40, 20));

  EXPECT_TRUE(layout_->hasHeightForWidth());
  EXPECT_EQ(layout_->heightForWidth(100), 48);
  EXPECT_EQ(layout_->sizeHint(), QSize(144, 20)) << "the ideal size is the single line";

  layout_->setGeometry(QRect(0, 0, 100, 48));
  EXPECT_EQ(chipFrames(), (Frames{{0, 0, 40, 20}, {48, 0, 40, 20}, {0, 28, 40, 20}}));
}

TEST_F(TagWrapLayoutTest, ATooWideChipIsNeitherShrunkNorClippedAndStartsOneLineSpacingDown) {
  addChip(QSize(120, 20));

  EXPECT_EQ(layout_->heightForWidth(100), 28);
  EXPECT_EQ(layout_->minimumSize(), QSize(0, 0)) << "a wide chip must not force a minimum width";
  layout_->setGeometry(QRect(0, 0, 100, 28));
  EXPECT_EQ(chipFrames(), (Frames{{0, 8, 120, 20}}));
}

TEST_F(TagWrapLayoutTest, PlacesInsideTheContentsMarginsOfItsBounds) {
  for (int i = 0; i < 3; ++i) addChip(QSize(40, 20));
  layout_->setContentsMargins(4, 3, 2, 1);

  EXPECT_EQ(layout_->sizeHint(), QSize(150, 24));
  EXPECT_EQ(layout_->heightForWidth(106), 52);
  layout_->setGeometry(QRect(10, 5, 106, 52));
  EXPECT_EQ(chipFrames(), (Frames{{14, 8, 40, 20}, {62, 8, 40, 20}, {14, 36, 40, 20}}));
}

TEST_F(TagWrapLayoutTest, HiddenChipsTakeNoPart) {
  addChip(QSize(40, 20));
  Chip* hidden = addChip(QSize(40, 20));
  Chip* last = addChip(QSize(40, 20));
  hidden->hide();

  EXPECT_EQ(layout_->sizeHint(), QSize(96, 20));
  layout_->setGeometry(QRect(0, 0, 100, 20));
  EXPECT_EQ(last->geometry(), QRect(48, 0, 40, 20));
}

TEST_F(TagWrapLayoutTest, AChipThatGrowsIsMeasuredAgain) {
  Chip* first = addChip(QSize(40, 20));
  addChip(QSize(40, 20));
  EXPECT_EQ(layout_->heightForWidth(100), 20);

  first->setIdeal(QSize(60, 20));

  EXPECT_EQ(layout_->heightForWidth(100), 48);
}

TEST_F(TagWrapLayoutTest, ReflowsWhenItsWindowIsResized) {
  QWidget window;
  auto* column = new QVBoxLayout(&window);
  column->setContentsMargins(0, 0, 0, 0);
  auto* tags = new QWidget;
  auto* wrap = new TagWrapLayout(8, 8, tags);
  std::vector<Chip*> chips;
  for (int i = 0; i < 3; ++i) {
    chips.push_back(new Chip(QSize(40, 20), tags));
    wrap->addWidget(chips.back());
  }
  column->addWidget(tags);
  column->addStretch();

  window.resize(100, 200);
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  EXPECT_EQ(tags->height(), 48) << "the box layout asks the wrap layout's height for its width";
  EXPECT_EQ(chips[2]->geometry(), QRect(0, 28, 40, 20));

  window.resize(200, 200);
  QCoreApplication::sendPostedEvents();
  EXPECT_EQ(tags->height(), 20);
  EXPECT_EQ(chips[2]->geometry(), QRect(96, 0, 40, 20));
}

}  // namespace
}  // namespace velloran
