#pragma once
// A labelled segmented picker: the label, then one segment per choice on a rounded track, the
// chosen one raised in white. Exactly one segment is chosen at any time.
//
// setCurrentIndex() changes the choice without reporting it; a click reports through the
// changed callback, only when the choice really changes. Segments show their texts on one line,
// cut with an ellipsis when the picker is narrow, and never as mnemonics.
//
// Main thread only.

#include <QAbstractButton>
#include <QButtonGroup>
#include <QStringList>
#include <QWidget>
#include <functional>

namespace velloran {

class SegmentedPicker final : public QWidget {
  Q_OBJECT

 public:
  SegmentedPicker(const QString& label, const QStringList& choices, QWidget* parent = nullptr);

  int currentIndex() const;
  void setCurrentIndex(int index);
  void setOnChanged(std::function<void(int index)> onChanged) { onChanged_ = std::move(onChanged); }
  QAbstractButton* segment(int index) const;
  int count() const;

 private:
  class Track;
  class Segment;

  QButtonGroup* group_;
  Track* track_;
  int current_ = 0;
  std::function<void(int)> onChanged_;
};

}  // namespace velloran
