#include "Velloran/views/SheetHost.h"

#include <QApplication>
#include <QEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QShortcut>

#include "Velloran/ui/DropShadow.h"
#include "Velloran/ui/Materials.h"

namespace velloran {
namespace {

constexpr int kWindowMargin = 24;
constexpr qreal kDimOpacity = 0.18;

}  // namespace

SheetHost::SheetHost(QWidget* window, QWidget* content) : QWidget(window), content_(content) {
  setObjectName(QStringLiteral("sheetHost"));
  hide();
  window->installEventFilter(this);
  auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
  escape->setContext(Qt::WidgetWithChildrenShortcut);
  connect(escape, &QShortcut::activated, this, &SheetHost::dismiss);
}

bool SheetHost::present(QWidget* sheet, std::function<void()> onDismissed) {
  if (sheet_ != nullptr) {
    delete sheet;
    return false;
  }
  sheet_ = sheet;
  onDismissed_ = std::move(onDismissed);
  focusBefore_ = QApplication::focusWidget();
  sheet->setParent(this);
  new DropShadow(sheet, 12, ShadowStyle{blackAt(0.25), 20, QPoint(0, 12)});
  content_->setEnabled(false);
  setGeometry(parentWidget()->rect());
  placeSheet();
  show();
  raise();
  sheet->show();
  // The sheet takes the keyboard (so Escape reaches the host); its own first field may take it from here.
  sheet->setFocus(Qt::OtherFocusReason);
  return true;
}

void SheetHost::dismiss() {
  if (sheet_ == nullptr) return;
  QWidget* sheet = sheet_.data();
  sheet_.clear();
  sheet->hide();
  sheet->deleteLater();
  hide();
  content_->setEnabled(true);
  if (focusBefore_ != nullptr && focusBefore_->isVisible()) focusBefore_->setFocus(Qt::OtherFocusReason);
  const std::function<void()> onDismissed = std::move(onDismissed_);
  onDismissed_ = nullptr;
  if (onDismissed) onDismissed();
}

void SheetHost::placeSheet() {
  if (sheet_ == nullptr) return;
  const QRect area = rect().adjusted(kWindowMargin, kWindowMargin, -kWindowMargin, -kWindowMargin);
  // Style sheets change sizes only once applied.
  sheet_->ensurePolished();
  const QSize hint = sheet_->sizeHint();
  const int width = std::min(hint.width(), area.width());
  const int wanted = sheet_->hasHeightForWidth() ? sheet_->heightForWidth(width) : hint.height();
  const int height = std::min(std::max(wanted, sheet_->minimumSizeHint().height()), area.height());
  // Hung from the top, the way the platform's sheets drop from the title bar: what the window shows
  // below a short sheet (the empty library's card, say) stays in view.
  sheet_->setGeometry(area.x() + (area.width() - width) / 2, area.y(), width, height);
}

bool SheetHost::event(QEvent* event) {
  // A sheet whose size hint changed asks its parent, this host, to lay it out again.
  if (event->type() == QEvent::LayoutRequest) placeSheet();
  return QWidget::event(event);
}

bool SheetHost::eventFilter(QObject* watched, QEvent* event) {
  if (watched == parentWidget() && event->type() == QEvent::Resize) {
    setGeometry(parentWidget()->rect());
    placeSheet();
  }
  return QWidget::eventFilter(watched, event);
}

void SheetHost::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), blackAt(kDimOpacity));
}

void SheetHost::mousePressEvent(QMouseEvent* event) {
  // A click beside the sheet goes nowhere: the window beneath waits for the sheet.
  event->accept();
}

}  // namespace velloran
