#include "Velloran/ui/ShadowRenderer.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <cmath>

namespace velloran {
namespace {

int alphaAt(const QImage& image, int x, int y) {
  return image.constScanLine(y)[x];
}

TEST(ShadowRendererTest, BlurSpreadsEvenlyWithTheGaussiansWidth) {
  // A bright square rather than a single pixel, so rounding in the 8-bit passes stays small.
  QImage image(161, 161, QImage::Format_Alpha8);
  image.fill(0);
  for (int y = 75; y <= 85; ++y) {
    for (int x = 75; x <= 85; ++x) image.scanLine(y)[x] = 255;
  }
  const qreal sigma = 6;
  blurAlpha(image, sigma);

  // Symmetric in both directions.
  for (int d = 1; d < 40; ++d) {
    EXPECT_EQ(alphaAt(image, 80 - d, 80), alphaAt(image, 80 + d, 80)) << d;
    EXPECT_EQ(alphaAt(image, 80, 80 - d), alphaAt(image, 80, 80 + d)) << d;
  }
  // The spread of a row: the square's own variance (11 wide: 10) plus the blur's sigma squared.
  double mass = 0;
  double moment = 0;
  for (int x = 0; x < image.width(); ++x) {
    const double value = alphaAt(image, x, 80);
    mass += value;
    moment += value * (x - 80) * (x - 80);
  }
  const double spread = std::sqrt(moment / mass - 10.0);
  EXPECT_NEAR(spread, sigma, 0.5);
  // Nothing appears far beyond three standard deviations.
  EXPECT_EQ(alphaAt(image, 80 + 5 + 3 * 6 + 4, 80), 0);
}

TEST(ShadowRendererTest, BlurKeepsTheAmountOfInk) {
  QImage image(120, 120, QImage::Format_Alpha8);
  image.fill(0);
  for (int y = 40; y < 80; ++y) {
    for (int x = 40; x < 80; ++x) image.scanLine(y)[x] = 255;
  }
  blurAlpha(image, 5);

  long total = 0;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) total += alphaAt(image, x, y);
  }
  EXPECT_NEAR(static_cast<double>(total), 40.0 * 40.0 * 255.0, 40.0 * 40.0 * 255.0 * 0.02);
  EXPECT_EQ(alphaAt(image, 60, 60), 255) << "the middle of a large shape stays solid";
}

class ShadowPictureTest : public ::testing::Test {
 protected:
  const ShadowStyle style_{QColor(0, 0, 0, 38), 18, QPoint(0, 10)};
  const QSize shape_{200, 100};
  const int extent_ = shadowExtent(style_);
  QImage picture_ = shadowPixmap(shape_, 16, style_).toImage();
};

TEST_F(ShadowPictureTest, CoversTheOffsetShapeGrownByThreeStandardDeviations) {
  EXPECT_EQ(extent_, 54);
  EXPECT_EQ(picture_.size(), QSize(200 + 108, 100 + 108));
}

TEST_F(ShadowPictureTest, IsCutAwayWhereTheShapeItselfLies) {
  // The shape sits at (extent, extent - 10) inside the picture.
  EXPECT_EQ(picture_.pixelColor(extent_ + 100, extent_ - 10 + 50).alpha(), 0);
  EXPECT_EQ(picture_.pixelColor(extent_ + 5, extent_ - 10 + 5 + 10).alpha(), 0);
}

TEST_F(ShadowPictureTest, FallsDownwardsAndNeverExceedsItsColour) {
  const int middle = extent_ + 100;
  const int below = picture_.pixelColor(middle, extent_ - 10 + 100 + 6).alpha();
  const int above = picture_.pixelColor(middle, extent_ - 10 - 6).alpha();
  EXPECT_GT(below, above);
  EXPECT_GT(below, 0);
  for (int y = 0; y < picture_.height(); ++y) {
    for (int x = 0; x < picture_.width(); ++x) {
      const QColor pixel = picture_.pixelColor(x, y);
      ASSERT_LE(pixel.alpha(), 38);
      ASSERT_EQ(pixel.red(), 0);
    }
  }
}

TEST_F(ShadowPictureTest, IsRenderedOncePerShape) {
  const QPixmap first = shadowPixmap(shape_, 16, style_);
  const QPixmap again = shadowPixmap(shape_, 16, style_);
  const QPixmap other = shadowPixmap(QSize(201, 100), 16, style_);
  EXPECT_EQ(first.cacheKey(), again.cacheKey());
  EXPECT_NE(first.cacheKey(), other.cacheKey());
}

TEST_F(ShadowPictureTest, AShapeOfAnySizeIsPaintedExactlyAsItsWholePicture) {
  // Tall and wide enough to be painted from a small picture in both directions.
  const QSize large(700, 1500);
  const QImage whole =
      shadowPixmap(large, 16, style_).toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
  QImage painted(whole.size(), QImage::Format_ARGB32_Premultiplied);
  painted.fill(Qt::transparent);
  QPainter painter(&painted);
  paintShadow(painter, QPoint(0, 0), large, 16, style_);
  painter.end();
  EXPECT_EQ(painted, whole);
}

TEST_F(ShadowPictureTest, OverABackgroundIsTheWholePictureDrawnThere) {
  // A shape painted from a stretched picture and a small one that is its own picture.
  const QColor background(200, 120, 40);
  for (const QSize shape : {QSize(700, 300), shape_}) {
    const QImage whole = shadowPixmap(shape, 16, style_).toImage();
    QImage expected(whole.size(), QImage::Format_ARGB32_Premultiplied);
    expected.fill(background);
    QImage painted = expected;
    QPainter expectedPainter(&expected);
    expectedPainter.drawImage(0, 0, whole);
    expectedPainter.end();
    QPainter painter(&painted);
    paintShadow(painter, QPoint(0, 0), shape, 16, style_);
    painter.end();
    EXPECT_EQ(painted, expected) << shape.width();
    EXPECT_EQ(painted.pixelColor(extent_ + shape.width() / 2, extent_ + shape.height() / 2), background);
  }
}

TEST(ShadowRendererTest, ACornerRadiusBeyondHalfTheHeightMakesACapsule) {
  const ShadowStyle style{QColor(0, 0, 0, 255), 2, QPoint(0, 0)};
  const QImage capsule = shadowPixmap(QSize(60, 20), 1000, style).toImage();
  const QImage exact = shadowPixmap(QSize(60, 20), 10, style).toImage();
  EXPECT_EQ(capsule, exact);
}

}  // namespace
}  // namespace velloran
