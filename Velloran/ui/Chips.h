#pragma once
// The capsule chips of the library's views.
//  - TagChip: a read-only tag in the accent colour, on cards and in the tag input's suggestions.
//  - EditableTagChip: a chosen tag inside the tag input, with a remove button; a double click
//    takes it back into the field for editing.
//  - MetaChip: a small label with a symbol, for a card's type and version and the editor's
//    version and date.
// Every chip shows its text as plain text and is as wide as the whole text, except an editable chip
// in a line too narrow for it: that one takes the line's width and cuts its text with "…", so its
// remove button always stays inside the box; and a meta chip in a row without room for it, which
// a layout may shrink and which then cuts its text with "…" too.
//
// Main thread only.

#include <QAbstractButton>
#include <QString>
#include <QWidget>
#include <functional>

namespace velloran {

class TagChip final : public QWidget {
  Q_OBJECT

 public:
  explicit TagChip(const QString& label, QWidget* parent = nullptr);

  QString label() const { return label_; }
  bool isHighlighted() const { return highlighted_; }
  void setHighlighted(bool highlighted);

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override { return sizeHint(); }
  // The chip's height, the same for every label: rows of chips can be sized before any exists.
  static int chipHeight();

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QString label_;
  bool highlighted_ = false;
};

// A suggestion of the tag input: a TagChip that can be clicked. It never takes the keyboard focus,
// so clicking it leaves the focus in the tag field. The suggestion chosen from the keyboard is
// highlighted: filled with the accent colour, its text in white.
class TagSuggestionButton final : public QAbstractButton {
  Q_OBJECT

 public:
  explicit TagSuggestionButton(const QString& label, QWidget* parent = nullptr);

  QString label() const { return label_; }
  bool isHighlighted() const { return chip_->isHighlighted(); }
  void setHighlighted(bool highlighted) { chip_->setHighlighted(highlighted); }
  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QString label_;
  TagChip* chip_;
};

class EditableTagChip final : public QWidget {
  Q_OBJECT

 public:
  EditableTagChip(const QString& label, std::function<void()> onDelete, std::function<void()> onEdit,
                  QWidget* parent = nullptr);

  QString label() const { return label_; }
  QAbstractButton* removeButton() const { return removeButton_; }

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override { return sizeHint(); }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;

 private:
  QString label_;
  std::function<void()> onEdit_;
  QAbstractButton* removeButton_;
};

class MetaChip final : public QWidget {
  Q_OBJECT

 public:
  MetaChip(const QString& label, const QString& systemImage, QWidget* parent = nullptr);

  QString label() const { return label_; }
  // Also kept in the dynamic property "systemImage".
  QString systemImage() const { return systemImage_; }
  void setLabel(const QString& label);

  QSize sizeHint() const override;
  // Room for the symbol, a letter and "…" (the whole label when that is shorter).
  QSize minimumSizeHint() const override;
  static int chipHeight();

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QString label_;
  QString systemImage_;
};

}  // namespace velloran
