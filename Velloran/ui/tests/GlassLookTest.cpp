// The window gradient and the glass card, checked by pixels and saved as a screenshot to look at.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QTest>
#include <QVBoxLayout>

#include "Velloran/ui/DropShadow.h"
#include "Velloran/ui/GlassCard.h"
#include "Velloran/ui/WindowGradient.h"
#include "Velloran/ui/testing/Screenshot.h"

namespace velloran {
namespace {

// Colour `over` at `opacity` laid on the window background colour, as 8-bit channels.
QColor blended(QColor over, double opacity) {
  const QColor base(0xEC, 0xEC, 0xEC);
  const auto mix = [&](int top, int bottom) { return qRound(top * opacity + bottom * (1 - opacity)); };
  return QColor(mix(over.red(), base.red()), mix(over.green(), base.green()), mix(over.blue(), base.blue()));
}

void expectClose(QColor actual, QColor expected, int tolerance = 3) {
  EXPECT_NEAR(actual.red(), expected.red(), tolerance) << "red";
  EXPECT_NEAR(actual.green(), expected.green(), tolerance) << "green";
  EXPECT_NEAR(actual.blue(), expected.blue(), tolerance) << "blue";
}

int lightness(QColor color) {
  return color.red() + color.green() + color.blue();
}

QImage windowGradient(QSize size) {
  QImage image(size, QImage::Format_ARGB32_Premultiplied);
  QPainter painter(&image);
  paintWindowGradient(painter, image.rect());
  return image;
}

TEST(WindowGradientTest, RunsCornerToCornerThroughBlueToPurple) {
  const QImage image = windowGradient(QSize(400, 200));

  expectClose(image.pixelColor(0, 0), QColor(0xEC, 0xEC, 0xEC));
  expectClose(image.pixelColor(399, 199), blended(QColor(0xAF, 0x52, 0xDE), 0.28));
  // Corner to corner in the rectangle's own proportions: the other two corners are the middle.
  expectClose(image.pixelColor(399, 0), blended(QColor(0x00, 0x7A, 0xFF), 0.24));
  expectClose(image.pixelColor(0, 199), blended(QColor(0x00, 0x7A, 0xFF), 0.24));
  expectClose(image.pixelColor(200, 100), blended(QColor(0x00, 0x7A, 0xFF), 0.24));
}

TEST(WindowGradientTest, TheBackgroundWidgetPaintsTheGradient) {
  GradientBackground background;
  background.resize(300, 180);
  const QImage painted = background.grab().toImage();
  const QImage expected = windowGradient(QSize(300, 180));

  for (QPoint at : {QPoint(0, 0), QPoint(150, 90), QPoint(299, 179), QPoint(299, 0)}) {
    expectClose(painted.pixelColor(at), expected.pixelColor(at), 1);
  }
}

class GlassCardTest : public ::testing::Test {
 protected:
  void SetUp() override {
    window_.resize(360, 260);
    card_ = new GlassCard(16, GlassTint::whiteSheen(), &window_);
    card_->setGeometry(80, 60, 200, 120);
    window_.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window_));
  }

  QImage withoutCard() {
    card_->hide();
    QImage image = window_.grab().toImage();
    card_->show();
    return image;
  }

  GradientBackground window_;
  GlassCard* card_ = nullptr;
};

TEST_F(GlassCardTest, LightensWhatLiesBeneathAndCastsItsShadowDownwards) {
  const QImage bare = withoutCard();
  const QImage carded = window_.grab().toImage();

  const QPoint inside(180, 120);
  EXPECT_GT(lightness(carded.pixelColor(inside)), lightness(bare.pixelColor(inside)) + 30);

  const QPoint belowCard(180, 60 + 120 + 12);
  EXPECT_LT(lightness(carded.pixelColor(belowCard)), lightness(bare.pixelColor(belowCard)) - 6);

  const int darkeningAbove = lightness(bare.pixelColor(180, 48)) - lightness(carded.pixelColor(180, 48));
  const int darkeningBelow = lightness(bare.pixelColor(180, 192)) - lightness(carded.pixelColor(180, 192));
  EXPECT_LT(darkeningAbove, darkeningBelow) << "the shadow lies 10 points down";
}

TEST_F(GlassCardTest, TheBorderAndGlazeStayAboveContentAddedLater) {
  auto* content = new QLabel(QStringLiteral("Inhalt"), card_);
  content->setGeometry(10, 10, 100, 20);
  content->show();

  QWidget* topmost = nullptr;
  for (QObject* child : card_->children()) {
    if (child->isWidgetType()) topmost = static_cast<QWidget*>(child);
  }
  ASSERT_NE(topmost, nullptr);
  EXPECT_NE(topmost, content);
  EXPECT_EQ(topmost->geometry(), card_->rect());
  EXPECT_EQ(card_->childAt(20, 15), content) << "the finish lets the mouse through to the content";

  card_->resize(240, 150);
  EXPECT_EQ(topmost->geometry(), card_->rect());
}

// A page like the library's: cards of several sizes on the gradient, with text, to look at.
TEST(GlassLookScreenshotTest, CardsOnTheWindowGradient) {
  GradientBackground window;
  window.resize(560, 380);
  auto* page = new QVBoxLayout(&window);
  page->setContentsMargins(24, 24, 24, 24);
  page->setSpacing(16);

  auto* header = new GlassCard(16, GlassTint::whiteSheen());
  auto* headerText = new QVBoxLayout(header);
  headerText->setContentsMargins(14, 12, 14, 12);
  auto* title = new QLabel(QStringLiteral("Noch keine Prompts"));
  QFont titleFont = title->font();
  titleFont.setPixelSize(17);
  titleFont.setBold(true);
  title->setFont(titleFont);
  headerText->addWidget(title);
  headerText->addWidget(
      new QLabel(QStringLiteral("Lege deinen ersten Prompt an, inkl. Versionierung und Tags.")));
  page->addWidget(header);

  auto* row = new QHBoxLayout;
  row->setSpacing(14);
  for (const char* text : {"Code-Review", "Übersicht", "Zusammenfassung"}) {
    auto* card = new GlassCard(16, GlassTint::whiteSheen());
    auto* content = new QVBoxLayout(card);
    content->setContentsMargins(14, 12, 14, 12);
    content->addWidget(new QLabel(QString::fromUtf8(text)));
    content->addWidget(new QLabel(QStringLiteral("v1 · System")));
    content->addStretch();
    card->setMinimumHeight(130);
    row->addWidget(card);
  }
  page->addLayout(row);
  page->addStretch();

  auto* hint = new GlassCard(14, GlassTint::whiteSheen());
  auto* hintText = new QVBoxLayout(hint);
  hintText->setContentsMargins(14, 10, 14, 10);
  hintText->addWidget(new QLabel(QStringLiteral("Tippen kopiert.")));
  page->addWidget(hint);

  const QString path = testing::saveScreenshot(window);
  EXPECT_FALSE(QImage(path).isNull());
}

}  // namespace
}  // namespace velloran
