#include "Velloran/ui/ActivityIndicator.h"

#include <QPainter>

#include "Velloran/ui/Animations.h"
#include "Velloran/ui/TextStyles.h"

namespace velloran {
namespace {

constexpr int kSpokes = 12;
constexpr int kStepMilliseconds = 80;

}  // namespace

ActivityIndicator::ActivityIndicator(int side, QWidget* parent) : QWidget(parent), side_(side) {
  setFixedSize(side, side);
  setAttribute(Qt::WA_TransparentForMouseEvents);
  timer_.setInterval(kStepMilliseconds);
  connect(&timer_, &QTimer::timeout, this, [this] {
    phase_ = (phase_ + 1) % kSpokes;
    update();
  });
}

void ActivityIndicator::showEvent(QShowEvent*) {
  if (animationsEnabled()) timer_.start();
}

void ActivityIndicator::hideEvent(QHideEvent*) {
  timer_.stop();
}

void ActivityIndicator::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.translate(width() / 2.0, height() / 2.0);
  const qreal outer = side_ / 2.0;
  QColor color = secondaryLabelColor();
  const qreal baseAlpha = color.alphaF();
  for (int spoke = 0; spoke < kSpokes; ++spoke) {
    // The spoke at the phase is darkest; those behind it fade out.
    const int age = (phase_ - spoke + kSpokes) % kSpokes;
    color.setAlphaF(baseAlpha * (1.0 - age * 0.7 / kSpokes));
    painter.setPen(QPen(color, std::max(1.5, side_ / 9.0), Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(0, -outer * 0.45), QPointF(0, -outer * 0.92));
    painter.rotate(360.0 / kSpokes);
  }
}

}  // namespace velloran
