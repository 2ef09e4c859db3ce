#include "Velloran/views/LoadingOverlay.h"

#include <QPainter>

#include "Velloran/ui/ActivityIndicator.h"
#include "Velloran/ui/TextStyles.h"
#include "Velloran/views/ViewTexts.h"

namespace velloran {
namespace {

constexpr int kWheelSize = 28;
constexpr int kGap = 8;

}  // namespace

LoadingOverlay::LoadingOverlay(QWidget* parent)
    : QWidget(parent), wheel_(new ActivityIndicator(kWheelSize, this)) {
  setObjectName(QStringLiteral("loadingOverlay"));
  setAttribute(Qt::WA_TransparentForMouseEvents);
  setFont(textFont(TextStyle::body));
  setAccessibleName(uiText(texts::kLoading));
}

QSize LoadingOverlay::sizeHint() const {
  const QFontMetrics metrics(font());
  return {std::max(kWheelSize, metrics.horizontalAdvance(uiText(texts::kLoading))) + 2,
          kWheelSize + kGap + metrics.height()};
}

int LoadingOverlay::blockTop() const {
  return (height() - (kWheelSize + kGap + QFontMetrics(font()).height())) / 2;
}

void LoadingOverlay::resizeEvent(QResizeEvent*) {
  wheel_->move((width() - kWheelSize) / 2, blockTop());
}

void LoadingOverlay::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setPen(secondaryLabelColor());
  const int textTop = blockTop() + kWheelSize + kGap;
  painter.drawText(QRect(0, textTop, width(), QFontMetrics(font()).height()), Qt::AlignHCenter | Qt::AlignTop,
                   uiText(texts::kLoading));
}

}  // namespace velloran
