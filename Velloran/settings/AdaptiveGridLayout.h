#pragma once
// A grid of as many equal columns as fit: each column at least `minimumColumnWidth` wide, columns
// and rows `spacing` apart, items in reading order, each as tall as its height-for-width and
// aligned to the top of its row. The column count follows the width on every resize; one column
// is the least, even when the width is smaller than the minimum.
//
// Main thread only, like every layout.

#include <QLayout>
#include <QList>

namespace velloran {

class AdaptiveGridLayout final : public QLayout {
 public:
  AdaptiveGridLayout(int minimumColumnWidth, int spacing, QWidget* parent = nullptr);
  ~AdaptiveGridLayout() override;

  // How many columns the grid has at `width` (contents margins excluded).
  int columnCountFor(int width) const;

  void addItem(QLayoutItem* item) override;
  int count() const override { return static_cast<int>(items_.size()); }
  QLayoutItem* itemAt(int index) const override;
  QLayoutItem* takeAt(int index) override;

  Qt::Orientations expandingDirections() const override { return Qt::Horizontal; }
  bool hasHeightForWidth() const override { return true; }
  int heightForWidth(int width) const override;
  QSize sizeHint() const override;
  QSize minimumSize() const override;
  void setGeometry(const QRect& rect) override;

 private:
  // Places the items in `rect` when `apply`; answers the height used.
  int arrange(const QRect& rect, bool apply) const;

  int minimumColumnWidth_;
  int spacing_;
  QList<QLayoutItem*> items_;
};

}  // namespace velloran
