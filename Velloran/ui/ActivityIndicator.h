#pragma once
// The circular progress indicator of the library's loading overlay and the other-apps header: twelve
// spokes, the darkest one turning while the indicator is shown and animations are on. It takes no
// clicks. Main thread only.

#include <QTimer>
#include <QWidget>

namespace velloran {

class ActivityIndicator final : public QWidget {
 public:
  // `side`: the indicator's width and height in pixels.
  explicit ActivityIndicator(int side, QWidget* parent = nullptr);

  QSize sizeHint() const override { return {side_, side_}; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  int side_;
  int phase_ = 0;
  QTimer timer_;
};

}  // namespace velloran
