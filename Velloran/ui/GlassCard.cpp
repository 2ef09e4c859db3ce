#include "Velloran/ui/GlassCard.h"

#include <QChildEvent>
#include <QPainter>

#include "Velloran/ui/DropShadow.h"
#include "Velloran/ui/RoundedRect.h"
#include "Velloran/ui/SystemColors.h"

namespace velloran {
namespace {

constexpr qreal kBorderOpacity = 0.6;
constexpr qreal kGlazeOpacity = 0.45;

const ShadowStyle& cardShadow() {
  static const ShadowStyle style{QColor(0, 0, 0, qRound(0.15 * 255)), 18, QPoint(0, 10)};
  return style;
}

}  // namespace

GlassTint GlassTint::whiteSheen() {
  GlassTint tint;
  tint.stops = {{0.0, QColor(255, 255, 255, qRound(0.32 * 255))},
                {1.0, QColor(255, 255, 255, qRound(0.12 * 255))}};
  return tint;
}

QLinearGradient GlassTint::gradientFor(const QRectF& rect) const {
  const auto at = [&rect](QPointF unit) {
    return QPointF(rect.left() + unit.x() * rect.width(), rect.top() + unit.y() * rect.height());
  };
  QLinearGradient gradient(at(start), at(end));
  gradient.setStops(stops);
  return gradient;
}

// The border and glaze, above the card's content.
class GlassCard::Finish final : public QWidget {
 public:
  explicit Finish(GlassCard* card) : QWidget(card), card_(card) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF bounds = rect();
    const QLinearGradient tint = card_->tint().gradientFor(bounds);

    // An inner border: the 1-pixel stroke runs half a pixel inside the edge.
    painter.setOpacity(kBorderOpacity);
    painter.setPen(QPen(QBrush(tint), 1.0));
    painter.setBrush(Qt::NoBrush);
    const qreal inset = 0.5;
    painter.drawPath(
        roundedRectPath(bounds.adjusted(inset, inset, -inset, -inset), card_->cornerRadius() - inset));

    painter.setOpacity(kGlazeOpacity);
    painter.setCompositionMode(QPainter::CompositionMode_Overlay);
    painter.fillPath(roundedRectPath(bounds, card_->cornerRadius()), tint);
  }

 private:
  const GlassCard* card_;
};

GlassCard::GlassCard(qreal cornerRadius, GlassTint tint, QWidget* parent)
    : QWidget(parent), cornerRadius_(cornerRadius), tint_(std::move(tint)) {
  // Made here rather than in the initialiser list: adding it already sends this card ChildAdded.
  finish_ = new Finish(this);
  finish_->setGeometry(rect());
  new DropShadow(this, cornerRadius_, cardShadow());  // a child object of the card, gone with it
}

void GlassCard::paintFace(QPainter& painter) const {
  painter.setRenderHint(QPainter::Antialiasing);
  painter.fillPath(roundedRectPath(rect(), cornerRadius_), ultraThinMaterialColor());
}

void GlassCard::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  paintFace(painter);
}

void GlassCard::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  finish_->setGeometry(rect());
}

bool GlassCard::event(QEvent* event) {
  if (event->type() == QEvent::ChildAdded && finish_ != nullptr &&
      static_cast<QChildEvent*>(event)->child()->isWidgetType()) {
    // New children stack on top; the finish belongs above all of them.
    finish_->raise();
  }
  return QWidget::event(event);
}

}  // namespace velloran
