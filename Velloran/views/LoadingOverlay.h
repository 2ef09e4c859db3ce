#pragma once
// The loading indicator of the library window: the activity indicator with "Laden…" beneath, centred
// over whatever lies under it. It turns only while animations are on; it takes no clicks.
//
// Main thread only.

#include <QWidget>

namespace velloran {

class ActivityIndicator;

class LoadingOverlay final : public QWidget {
  Q_OBJECT

 public:
  explicit LoadingOverlay(QWidget* parent = nullptr);

  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  // The top of the block of wheel, gap and text, centred in the overlay.
  int blockTop() const;

  ActivityIndicator* wheel_;
};

}  // namespace velloran
