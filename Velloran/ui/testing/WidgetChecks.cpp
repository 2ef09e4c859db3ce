#include "Velloran/ui/testing/WidgetChecks.h"

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QLabel>
#include <QLineEdit>
#include <QStyle>
#include <QStyleOptionFrame>

#include "Velloran/ui/ElidedLabel.h"

namespace velloran::testing {
namespace {

bool isScrolledContent(const QWidget& widget) {
  const QWidget* parent = widget.parentWidget();
  const auto* area = parent ? qobject_cast<const QAbstractScrollArea*>(parent->parentWidget()) : nullptr;
  return area != nullptr && area->viewport() == parent;
}

QString describe(const QWidget& widget) {
  const QRect r = widget.geometry();
  return QStringLiteral("%1 \"%2\" at %3,%4 %5x%6")
      .arg(QString::fromUtf8(widget.metaObject()->className()), widget.objectName())
      .arg(r.x())
      .arg(r.y())
      .arg(r.width())
      .arg(r.height());
}

}  // namespace

::testing::AssertionResult showsWholePlaceholder(const QLineEdit& field) {
  QStyleOptionFrame option;
  option.initFrom(&field);
  option.rect = field.rect();
  option.lineWidth =
      field.hasFrame() ? field.style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, &field) : 0;
  const QRect contents = field.style()->subElementRect(QStyle::SE_LineEditContents, &option, &field);
  // The line edit keeps a further two pixels free on either side of its text.
  constexpr int kOwnMargin = 2;
  const int room = contents.marginsRemoved(field.textMargins()).width() - 2 * kOwnMargin;
  const QString placeholder = field.placeholderText();
  const QString drawn = field.fontMetrics().elidedText(placeholder, Qt::ElideRight, room);
  if (drawn == placeholder) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure()
         << "the placeholder shows as \"" << drawn.toStdString() << "\" in " << room << " pixels";
}

::testing::AssertionResult nothingClipped(const QWidget& root) {
  QStringList cut;
  for (const QWidget* widget : root.findChildren<QWidget*>()) {
    // Decorations (shadows) reach past their owner on purpose; an empty widget shows nothing.
    if (!widget->isVisibleTo(&root) || widget->isWindow() || isScrolledContent(*widget) ||
        widget->testAttribute(Qt::WA_TransparentForMouseEvents) || widget->size().isEmpty()) {
      continue;
    }
    const QWidget* parent = widget->parentWidget();
    if (!parent->rect().contains(widget->geometry())) {
      cut.append(describe(*widget) + QStringLiteral(" in ") + describe(*parent));
    }
  }
  if (cut.isEmpty()) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "cut off: " << cut.join(QStringLiteral("; ")).toStdString();
}

QStringList visibleTexts(const QWidget& root) {
  QStringList texts;
  for (const QWidget* widget : root.findChildren<QWidget*>()) {
    if (!widget->isVisibleTo(&root)) continue;
    if (const auto* label = qobject_cast<const QLabel*>(widget)) {
      texts.append(label->text());
    } else if (const auto* elided = qobject_cast<const ElidedLabel*>(widget)) {
      texts.append(elided->text());
    } else if (const auto* button = qobject_cast<const QAbstractButton*>(widget)) {
      if (!button->text().isEmpty()) texts.append(button->text());
    }
  }
  return texts;
}

}  // namespace velloran::testing
