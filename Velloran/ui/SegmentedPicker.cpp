#include "Velloran/ui/SegmentedPicker.h"

#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>

#include "Velloran/ui/Materials.h"
#include "Velloran/ui/TextStyles.h"

namespace velloran {
namespace {

constexpr int kTrackPadding = 2;
constexpr int kSegmentPaddingX = 14;
constexpr int kSegmentPaddingY = 5;
constexpr qreal kTrackRadius = 7;
constexpr qreal kSegmentRadius = 6;

}  // namespace

class SegmentedPicker::Track final : public QWidget {
 public:
  explicit Track(QWidget* parent) : QWidget(parent) {}

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    paintRoundedPanel(painter, rect(), kTrackRadius, blackAt(0.06), blackAt(0.04), 1);
  }
};

class SegmentedPicker::Segment final : public QAbstractButton {
 public:
  Segment(const QString& text, QWidget* parent) : QAbstractButton(parent) {
    setText(text);
    setCheckable(true);
    setCursor(Qt::PointingHandCursor);
    setFont(textFont(TextStyle::body));
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setAccessibleName(text);
  }

  QSize sizeHint() const override {
    const QFontMetrics metrics(font());
    return {metrics.horizontalAdvance(text()) + 2 * kSegmentPaddingX + 1,
            metrics.height() + 2 * kSegmentPaddingY};
  }
  QSize minimumSizeHint() const override {
    return {QFontMetrics(font()).horizontalAdvance(QStringLiteral("W…")) + 8, sizeHint().height()};
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    if (isChecked()) {
      paintRoundedPanel(painter, QRectF(rect()).adjusted(0, 0, 0, -1), kSegmentRadius, Qt::white,
                        blackAt(0.08), 0.5);
    }
    painter.setPen(primaryLabelColor());
    painter.setFont(font());
    const QRect area = rect().adjusted(6, 0, -6, 0);
    // Plain text: drawText never reads "&" as a mnemonic without Qt::TextShowMnemonic.
    painter.drawText(area, Qt::AlignCenter | Qt::TextSingleLine,
                     QFontMetrics(font()).elidedText(text(), Qt::ElideRight, area.width()));
  }
};

SegmentedPicker::SegmentedPicker(const QString& label, const QStringList& choices, QWidget* parent)
    : QWidget(parent), group_(new QButtonGroup(this)) {
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(0, 0, 0, 0);
  row->setSpacing(10);
  auto* caption = new QLabel(this);
  caption->setTextFormat(Qt::PlainText);
  caption->setText(label);
  caption->setFont(textFont(TextStyle::body));
  row->addWidget(caption);

  track_ = new Track(this);
  auto* segments = new QHBoxLayout(track_);
  segments->setContentsMargins(kTrackPadding, kTrackPadding, kTrackPadding, kTrackPadding);
  segments->setSpacing(kTrackPadding);
  group_->setExclusive(true);
  for (int index = 0; index < choices.size(); ++index) {
    auto* segment = new Segment(choices[index], track_);
    group_->addButton(segment, index);
    segments->addWidget(segment);
  }
  row->addWidget(track_, 1);
  if (!choices.isEmpty()) group_->button(0)->setChecked(true);

  connect(group_, &QButtonGroup::idClicked, this, [this](int index) {
    if (index == current_) return;
    current_ = index;
    if (onChanged_) onChanged_(index);
  });
}

int SegmentedPicker::currentIndex() const {
  return current_;
}

void SegmentedPicker::setCurrentIndex(int index) {
  if (QAbstractButton* segment = group_->button(index)) {
    segment->setChecked(true);
    current_ = index;
  }
}

QAbstractButton* SegmentedPicker::segment(int index) const {
  return group_->button(index);
}

int SegmentedPicker::count() const {
  return static_cast<int>(group_->buttons().size());
}

}  // namespace velloran
