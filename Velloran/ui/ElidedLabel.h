#pragma once
// A label for text that users wrote or that arrived by sync: always shown as plain text (never as
// markup, never with mnemonics), wrapped at word boundaries, limited to a number of lines, and cut
// with a trailing ellipsis when it needs more. Line breaks in the text start new lines.
//
// The widget has height-for-width: given a width, it is as tall as the lines it shows. The same
// measurement is available without a widget (linesFor / heightFor) for code that lays out many
// texts before making any widget, such as the card grid.
//
// Main thread only.

#include <QColor>
#include <QFont>
#include <QString>
#include <QStringList>
#include <QWidget>

namespace velloran {

class ElidedLabel final : public QWidget {
  Q_OBJECT

 public:
  // `maxLines` 0: as many lines as the text needs.
  ElidedLabel(const QFont& font, const QColor& color, int maxLines, QWidget* parent = nullptr);

  QString text() const { return text_; }
  void setText(const QString& text);
  void setColor(const QColor& color);
  // Horizontal placement of each line (left by default).
  void setAlignment(Qt::Alignment alignment);
  int maxLines() const { return maxLines_; }

  // The lines as they are drawn in `width`: at most `maxLines` (0: no limit), the last one ending
  // in "…" when text was left over. Empty text gives no lines.
  static QStringList linesFor(const QString& text, const QFont& font, int maxLines, int width);
  static int heightFor(const QString& text, const QFont& font, int maxLines, int width);

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;
  bool hasHeightForWidth() const override { return true; }
  int heightForWidth(int width) const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  const QStringList& linesAt(int width) const;

  QString text_;
  QColor color_;
  int maxLines_;
  Qt::Alignment alignment_ = Qt::AlignLeft;
  // The last measurement, reused while the width and the text stay the same.
  mutable int measuredWidth_ = -1;
  mutable QStringList measuredLines_;
};

}  // namespace velloran
