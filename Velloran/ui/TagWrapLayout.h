#pragma once
// A layout that places its widgets left to right at their size hints and wraps to a new line when
// the next one does not fit (see TagWrapFlow.h for the exact rule). The tag input lays out its
// chips and its text field with it.
//
// Size: sizeHint() is the single-line size; heightForWidth(w) is the height after wrapping in w.
// The layout asks for no minimum width, because it never shrinks an item: in a narrow space a
// wide item reaches past the right edge instead. Hidden widgets take no part. Contents margins
// are 0 unless set.
//
// An item that must stay inside the box (a chip with its remove button, the text field) caps its
// own size hint at lineWidthFor(): the layout itself never shrinks anything. When the width of the
// lines changes, the items are asked for their size hints again.
//
// Items are owned by the layout, as in every QLayout. Main thread only.

#include <QLayout>
#include <QList>
#include <optional>

namespace velloran {

class TagWrapLayout final : public QLayout {
 public:
  TagWrapLayout(int spacing, int lineSpacing, QWidget* parent = nullptr);
  ~TagWrapLayout() override;

  // The horizontal gap after every item of a line.
  int spacing() const override { return spacing_; }
  void setSpacing(int spacing) override;
  // The vertical gap between lines.
  int lineSpacing() const { return lineSpacing_; }
  void setLineSpacing(int lineSpacing);

  void addItem(QLayoutItem* item) override;
  int count() const override { return static_cast<int>(items_.size()); }
  QLayoutItem* itemAt(int index) const override;
  QLayoutItem* takeAt(int index) override;

  QSize sizeHint() const override;
  QSize minimumSize() const override;
  Qt::Orientations expandingDirections() const override { return {}; }
  bool hasHeightForWidth() const override { return true; }
  int heightForWidth(int width) const override;
  void setGeometry(const QRect& rect) override;

  // The width of a line of the TagWrapLayout that places `item` (its parent's layout); nullopt when
  // there is none or it has no width yet.
  static std::optional<int> lineWidthFor(const QWidget& item);

 private:
  // The visible items and their ideal sizes, asked anew on every call.
  struct Participants {
    QList<QLayoutItem*> items;
    std::vector<QSize> idealSizes;
  };
  Participants participants() const;
  // Contents size for an available contents width (nullopt: unbounded), margins added.
  QSize sizeFor(std::optional<int> contentsWidth) const;

  QList<QLayoutItem*> items_;
  int spacing_;
  int lineSpacing_;
  int placedLineWidth_ = -1;
};

}  // namespace velloran
