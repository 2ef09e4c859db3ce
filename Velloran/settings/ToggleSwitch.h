#pragma once
// An on/off switch: a capsule track, blue when on and grey when off, with a white knob at the end
// that stands for the value. A checkable button, so clicks, Space and toggled() work as usual.
// Main thread only.

#include <QAbstractButton>

namespace velloran {

class ToggleSwitch final : public QAbstractButton {
 public:
  explicit ToggleSwitch(QWidget* parent = nullptr);

  QSize sizeHint() const override { return {42, 26}; }

 protected:
  void paintEvent(QPaintEvent* event) override;
};

}  // namespace velloran
