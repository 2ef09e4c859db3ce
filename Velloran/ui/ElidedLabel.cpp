#include "Velloran/ui/ElidedLabel.h"

#include <QEvent>
#include <QFontMetrics>
#include <QPainter>
#include <QTextLayout>
#include <algorithm>

namespace velloran {
namespace {

// The widest a label asks to be before it wraps, when nothing gives it a width.
constexpr int kMaximumNaturalWidth = 480;

QString withLineSeparators(QString text) {
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  text.replace(QLatin1Char('\r'), QChar::LineSeparator);
  text.replace(QLatin1Char('\n'), QChar::LineSeparator);
  text.replace(QChar::ParagraphSeparator, QChar::LineSeparator);
  return text;
}

constexpr QChar kEllipsis(0x2026);
// Pixels a glyph may reach past its advance.
constexpr int kLargestOverhang = 8;

// `line` with a trailing ellipsis, shortened from its end until both fit in `width`.
QString withEllipsis(QString line, const QFontMetrics& metrics, int width) {
  while (!line.isEmpty() && metrics.horizontalAdvance(line + kEllipsis) > width) line.chop(1);
  while (line.endsWith(QLatin1Char(' '))) line.chop(1);
  return line + kEllipsis;
}

}  // namespace

ElidedLabel::ElidedLabel(const QFont& font, const QColor& color, int maxLines, QWidget* parent)
    : QWidget(parent), color_(color), maxLines_(std::max(0, maxLines)) {
  setFont(font);
  QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
  policy.setHeightForWidth(true);
  setSizePolicy(policy);
}

void ElidedLabel::setText(const QString& text) {
  if (text == text_) return;
  text_ = text;
  measuredWidth_ = -1;
  updateGeometry();
  update();
}

void ElidedLabel::setColor(const QColor& color) {
  color_ = color;
  update();
}

void ElidedLabel::setAlignment(Qt::Alignment alignment) {
  alignment_ = alignment;
  update();
}

QStringList ElidedLabel::linesFor(const QString& text, const QFont& font, int maxLines, int width) {
  QStringList lines;
  if (text.isEmpty()) return lines;
  width = std::max(width, 1);
  const QString laidOut = withLineSeparators(text);
  QTextLayout layout(laidOut, font);
  QTextOption option;
  option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  layout.setTextOption(option);
  layout.beginLayout();
  while (true) {
    QTextLine line = layout.createLine();
    if (!line.isValid()) break;
    line.setLineWidth(width);
    QString piece = laidOut.mid(line.textStart(), line.textLength());
    if (piece.endsWith(QChar::LineSeparator)) piece.chop(1);
    if (maxLines > 0 && lines.size() == maxLines - 1) {
      // The last line allowed: its own text, ending with an ellipsis when more text follows.
      const bool more = line.textStart() + line.textLength() < laidOut.size();
      lines.append(more ? withEllipsis(piece, QFontMetrics(font), width) : piece);
      break;
    }
    lines.append(piece);
  }
  layout.endLayout();
  return lines;
}

int ElidedLabel::heightFor(const QString& text, const QFont& font, int maxLines, int width) {
  return static_cast<int>(linesFor(text, font, maxLines, width).size()) * QFontMetrics(font).lineSpacing();
}

const QStringList& ElidedLabel::linesAt(int width) const {
  if (width != measuredWidth_) {
    measuredLines_ = linesFor(text_, font(), maxLines_, width);
    measuredWidth_ = width;
  }
  return measuredLines_;
}

QSize ElidedLabel::sizeHint() const {
  const QFontMetrics metrics(font());
  int natural = 0;
  for (const QString& paragraph : withLineSeparators(text_).split(QChar::LineSeparator)) {
    // The line breaking may want a little more than the advance (a last glyph reaching past its
    // advance): the width grows until the paragraph stays on one line, so a label at its natural
    // width never cuts its own text ("hier" shown as "hi…").
    int width = metrics.horizontalAdvance(paragraph) + 1;
    for (int extra = 0; extra < kLargestOverhang && linesFor(paragraph, font(), 0, width).size() > 1;
         ++extra) {
      ++width;
    }
    natural = std::max(natural, width);
  }
  const int width = std::min(natural, kMaximumNaturalWidth);
  return {width, heightForWidth(width)};
}

QSize ElidedLabel::minimumSizeHint() const {
  const QFontMetrics metrics(font());
  // Room for a letter and the ellipsis, but never more than the whole text needs: a layout gives an
  // item at least its minimum, and a short tag ("xi") would stand in a gap of its own.
  const int cut = std::min(metrics.horizontalAdvance(QStringLiteral("W…")), sizeHint().width());
  return {cut, text_.isEmpty() ? 0 : metrics.lineSpacing()};
}

int ElidedLabel::heightForWidth(int width) const {
  return static_cast<int>(linesAt(width).size()) * QFontMetrics(font()).lineSpacing();
}

void ElidedLabel::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setPen(color_);
  painter.setFont(font());
  const QFontMetrics metrics(font());
  int y = 0;
  for (const QString& line : linesAt(width())) {
    const int advance = metrics.horizontalAdvance(line);
    int x = 0;
    if (alignment_ & Qt::AlignHCenter) x = (width() - advance) / 2;
    if (alignment_ & Qt::AlignRight) x = width() - advance;
    painter.drawText(x, y + metrics.ascent(), line);
    y += metrics.lineSpacing();
  }
}

void ElidedLabel::changeEvent(QEvent* event) {
  if (event->type() == QEvent::FontChange) {
    measuredWidth_ = -1;
    updateGeometry();
  }
  QWidget::changeEvent(event);
}

}  // namespace velloran
