#include "Velloran/views/LoadingOverlay.h"

#include <QPainter>
#include <QtMath>

#include "Velloran/ui/Animations.h"
#include "Velloran/views/TextStyles.h"
#include "Velloran/views/ViewTexts.h"

namespace velloran {
namespace {

constexpr int kSpokes = 12;
constexpr int kWheelSize = 28;
constexpr int kGap = 8;
constexpr int kStepMilliseconds = 80;

}  // namespace

LoadingOverlay::LoadingOverlay(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("loadingOverlay"));
  setAttribute(Qt::WA_TransparentForMouseEvents);
  setFont(textFont(TextStyle::body));
  setAccessibleName(uiText(texts::kLoading));
  turn_.setInterval(kStepMilliseconds);
  connect(&turn_, &QTimer::timeout, this, [this] {
    step_ = (step_ + 1) % kSpokes;
    update();
  });
}

QSize LoadingOverlay::sizeHint() const {
  const QFontMetrics metrics(font());
  return {std::max(kWheelSize, metrics.horizontalAdvance(uiText(texts::kLoading))) + 2,
          kWheelSize + kGap + metrics.height()};
}

void LoadingOverlay::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const QFontMetrics metrics(font());
  const int blockHeight = kWheelSize + kGap + metrics.height();
  const QPointF centre(width() / 2.0, (height() - blockHeight) / 2.0 + kWheelSize / 2.0);
  for (int spoke = 0; spoke < kSpokes; ++spoke) {
    // The spoke at the current step is darkest, the ones behind it fade out.
    const int age = (step_ - spoke + kSpokes) % kSpokes;
    QColor color = secondaryLabelColor();
    color.setAlphaF(color.alphaF() * (1.0 - age / static_cast<qreal>(kSpokes) * 0.85));
    const qreal angle = qDegreesToRadians(spoke * 360.0 / kSpokes);
    const QPointF direction(qSin(angle), -qCos(angle));
    painter.setPen(QPen(color, 2.4, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(centre + direction * (kWheelSize * 0.22), centre + direction * (kWheelSize * 0.46));
  }
  painter.setPen(secondaryLabelColor());
  painter.drawText(QRect(0, static_cast<int>(centre.y()) + kWheelSize / 2 + kGap, width(), metrics.height()),
                   Qt::AlignHCenter | Qt::AlignTop, uiText(texts::kLoading));
}

void LoadingOverlay::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (animationsEnabled()) turn_.start();
}

void LoadingOverlay::hideEvent(QHideEvent* event) {
  turn_.stop();
  QWidget::hideEvent(event);
}

}  // namespace velloran
