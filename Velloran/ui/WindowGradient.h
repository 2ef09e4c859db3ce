#pragma once
// The background every window and sheet of the library lies on: a linear gradient from the
// top-left to the bottom-right corner through the window background colour, accent blue at 24 %
// and accent purple at 28 %, over the window background colour. The gradient runs corner to
// corner whatever the aspect ratio, so the top-right and bottom-left corners always show the
// middle colour.
//
// GradientBackground is a plain widget that paints it; pages put their content on one (as a base
// class or as the container of their layout). It keeps the painted gradient for its current size
// and paints only from that copy until it is resized.
//
// Main thread only.

#include <QPixmap>
#include <QWidget>

class QPainter;
class QRect;

namespace velloran {

void paintWindowGradient(QPainter& painter, const QRect& rect);

class GradientBackground : public QWidget {
 public:
  explicit GradientBackground(QWidget* parent = nullptr);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QPixmap painted_;
};

}  // namespace velloran
