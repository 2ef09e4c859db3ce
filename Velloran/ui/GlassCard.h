#pragma once
// The translucent card look of the application's windows, sheets, cards and toast: a thin frosted
// material in a rounded rectangle, a one-pixel inner border in the tint gradient at 60 %, a glaze
// of the tint gradient at 45 % in overlay blending over the whole card (content included) and a
// soft shadow (black at 15 %, blur 18, 10 down).
//
// GlassCard is a plain container: put a layout on it or children in it. It neither clips its
// content nor adds padding; callers choose the corner radius and the tint. The border and glaze
// are drawn by a child widget kept above the children added later (one raised afterwards covers
// it); the shadow is a DropShadow beneath the card in its parent.
//
// Main thread only.

#include <QGradientStops>
#include <QLinearGradient>
#include <QPointF>
#include <QWidget>

class QPainter;

namespace velloran {

// A linear gradient in the card's unit square: (0, 0) is the top-left corner, (1, 1) the
// bottom-right.
struct GlassTint {
  QPointF start{0, 0};
  QPointF end{1, 1};
  QGradientStops stops;

  // The content cards' tint: white from 32 % at the top-left to 12 % at the bottom-right.
  static GlassTint whiteSheen();
  // The gradient stretched over `rect`.
  QLinearGradient gradientFor(const QRectF& rect) const;
};

class GlassCard : public QWidget {
 public:
  GlassCard(qreal cornerRadius, GlassTint tint, QWidget* parent = nullptr);

  qreal cornerRadius() const { return cornerRadius_; }
  const GlassTint& tint() const { return tint_; }

 protected:
  // The card's face (the material in its rounded rectangle), beneath the children.
  void paintFace(QPainter& painter) const;
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  bool event(QEvent* event) override;

 private:
  class Finish;

  qreal cornerRadius_;
  GlassTint tint_;
  Finish* finish_ = nullptr;
};

}  // namespace velloran
