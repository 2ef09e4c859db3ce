#pragma once
// The surface of a sheet: the window gradient in a rectangle with rounded corners. Sheets put their
// content on it (as a base class or as the container of their layout).
//
// Main thread only.

#include <QPixmap>
#include <QWidget>

namespace velloran {

class SheetSurface : public QWidget {
 public:
  explicit SheetSurface(QWidget* parent = nullptr);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QPixmap gradient_;
};

}  // namespace velloran
