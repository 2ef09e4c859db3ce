#include "Velloran/ui/DropShadow.h"

#include <gtest/gtest.h>

#include <QPointer>
#include <QTest>
#include <QVBoxLayout>
#include <QWidget>

namespace velloran {
namespace {

const ShadowStyle kStyle{QColor(0, 0, 0, 38), 4, QPoint(0, 3)};  // reaches 12 beyond the offset shape

class DropShadowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    window_.resize(300, 200);
    caster_ = new QWidget(&window_);
    caster_->setGeometry(50, 40, 100, 60);
    shadow_ = new DropShadow(caster_, 10, kStyle);
    window_.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window_));
  }

  QWidget* picture() const { return shadow_->shadowWidget(); }
  int indexAmongSiblings(QWidget* widget) const { return window_.children().indexOf(widget); }

  QWidget window_;
  QWidget* caster_ = nullptr;
  DropShadow* shadow_ = nullptr;
};

TEST_F(DropShadowTest, LiesBeneathTheCasterGrownByItsReach) {
  ASSERT_NE(picture(), nullptr);
  EXPECT_EQ(picture()->parentWidget(), &window_);
  EXPECT_EQ(picture()->geometry(), QRect(50 - 12, 40 + 3 - 12, 100 + 24, 60 + 24));
  EXPECT_EQ(indexAmongSiblings(picture()), indexAmongSiblings(caster_) - 1) << "directly beneath the caster";
  EXPECT_TRUE(picture()->isVisible());
}

TEST_F(DropShadowTest, LetsTheMouseThrough) {
  auto* neighbour = new QWidget(&window_);
  neighbour->setGeometry(20, 40, 30, 60);
  neighbour->show();
  caster_->raise();  // the shadow now lies over the neighbour's right part

  EXPECT_EQ(window_.childAt(45, 50), neighbour);
}

TEST_F(DropShadowTest, FollowsMovesResizesAndVisibility) {
  caster_->setGeometry(10, 20, 80, 40);
  EXPECT_EQ(picture()->geometry(), QRect(10 - 12, 20 + 3 - 12, 80 + 24, 40 + 24));

  caster_->hide();
  EXPECT_FALSE(picture()->isVisible());
  caster_->show();
  EXPECT_TRUE(picture()->isVisible());

  window_.hide();
  window_.show();
  EXPECT_TRUE(picture()->isVisible()) << "hiding the window is not hiding the caster";
}

TEST_F(DropShadowTest, StaysBeneathWhenTheCasterIsRestacked) {
  auto* other = new QWidget(&window_);
  other->show();
  caster_->raise();
  EXPECT_EQ(indexAmongSiblings(picture()), indexAmongSiblings(caster_) - 1);

  caster_->lower();
  EXPECT_EQ(indexAmongSiblings(picture()), indexAmongSiblings(caster_) - 1);
}

TEST_F(DropShadowTest, MovesWithTheCasterToAnotherParentAndLeavesWithIt) {
  QWidget elsewhere;
  elsewhere.resize(200, 200);
  caster_->setParent(&elsewhere);
  caster_->show();
  ASSERT_NE(picture(), nullptr);
  EXPECT_EQ(picture()->parentWidget(), &elsewhere);
  EXPECT_FALSE(window_.children().contains(picture()));

  caster_->setParent(nullptr);
  EXPECT_EQ(picture(), nullptr) << "a caster without a parent casts nothing";
  delete caster_;
}

TEST_F(DropShadowTest, GoesAwayWithTheCaster) {
  QPointer<QWidget> shadowPicture = picture();
  delete caster_;
  EXPECT_TRUE(shadowPicture.isNull());
}

TEST(DropShadowLayoutTest, ACasterPlacedByALayoutLaterGetsItsShadowThen) {
  QWidget window;
  auto* column = new QVBoxLayout(&window);
  column->setContentsMargins(20, 20, 20, 20);
  auto* caster = new QWidget;
  caster->setMinimumSize(50, 30);
  auto* shadow = new DropShadow(caster, 8, kStyle);
  EXPECT_EQ(shadow->shadowWidget(), nullptr);

  column->addWidget(caster);
  window.resize(200, 100);
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

  ASSERT_NE(shadow->shadowWidget(), nullptr);
  EXPECT_EQ(shadow->shadowWidget()->geometry(),
            caster->geometry().translated(0, 3).adjusted(-12, -12, 12, 12));
  EXPECT_EQ(column->count(), 1) << "the shadow is not an item of the layout";
}

}  // namespace
}  // namespace velloran
