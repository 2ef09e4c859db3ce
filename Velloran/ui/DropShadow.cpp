#include "Velloran/ui/DropShadow.h"

#include <QEvent>
#include <QPainter>
#include <QWidget>

namespace velloran {

// The shadow itself: paints the cached picture for the caster's current size.
class DropShadow::Picture final : public QWidget {
 public:
  Picture(QWidget* parent, const DropShadow& owner) : QWidget(parent), owner_(owner) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    const int extent = shadowExtent(owner_.style());
    const QSize shapeSize = size() - QSize(2 * extent, 2 * extent);
    if (shapeSize.isEmpty()) return;
    QPainter painter(this);
    paintShadow(painter, QPoint(0, 0), shapeSize, owner_.cornerRadius(), owner_.style());
  }

 private:
  const DropShadow& owner_;
};

DropShadow::DropShadow(QWidget* caster, qreal cornerRadius, ShadowStyle style)
    : QObject(caster), caster_(caster), cornerRadius_(cornerRadius), style_(std::move(style)) {
  caster_->installEventFilter(this);
  follow();
}

DropShadow::~DropShadow() {
  delete picture_.data();
}

QWidget* DropShadow::shadowWidget() const {
  return picture_.data();
}

bool DropShadow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == caster_) {
    switch (event->type()) {
      case QEvent::Move:
      case QEvent::Resize:
      case QEvent::Show:
      case QEvent::Hide:
      case QEvent::ShowToParent:
      case QEvent::HideToParent:
      case QEvent::ParentChange:
      case QEvent::ZOrderChange:
        follow();
        break;
      default:
        break;
    }
  }
  return QObject::eventFilter(watched, event);
}

void DropShadow::follow() {
  QWidget* parent = caster_->parentWidget();
  if (parent == nullptr) {
    delete picture_.data();
    return;
  }
  if (picture_ == nullptr) {
    picture_ = new Picture(parent, *this);
  } else if (picture_->parentWidget() != parent) {
    picture_->setParent(parent);
  }
  const int extent = shadowExtent(style_);
  picture_->setGeometry(
      caster_->geometry().translated(style_.offset).adjusted(-extent, -extent, extent, extent));
  picture_->stackUnder(caster_);
  picture_->setVisible(caster_->isVisibleTo(parent));
}

}  // namespace velloran
