#pragma once
// The loading indicator of the library window: a spinning wheel with "Laden…" beneath, centred over
// whatever lies under it. It turns only while animations are on; it takes no clicks.
//
// Main thread only.

#include <QTimer>
#include <QWidget>

namespace velloran {

class LoadingOverlay final : public QWidget {
  Q_OBJECT

 public:
  explicit LoadingOverlay(QWidget* parent = nullptr);

  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  QTimer turn_;
  int step_ = 0;
};

}  // namespace velloran
