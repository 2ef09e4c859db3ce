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
  if (watched != caster_) return QObject::eventFilter(watched, event);
  if (event->type() == QEvent::ParentChange) {
    follow();
  } else if (picture_ != nullptr) {
    // Any other change is followed in what it changes: a grid showing and hiding dozens of cards
    // per keystroke restacks none of their shadows.
    switch (event->type()) {
      case QEvent::Move:
      case QEvent::Resize:
        place();
        break;
      case QEvent::Show:
      case QEvent::Hide:
      case QEvent::ShowToParent:
      case QEvent::HideToParent:
        showAsTheCasterIs();
        break;
      case QEvent::ZOrderChange:
        picture_->stackUnder(caster_);
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
  place();
  picture_->stackUnder(caster_);
  showAsTheCasterIs();
}

void DropShadow::place() {
  const int extent = shadowExtent(style_);
  picture_->setGeometry(
      caster_->geometry().translated(style_.offset).adjusted(-extent, -extent, extent, extent));
}

void DropShadow::showAsTheCasterIs() {
  picture_->setVisible(caster_->isVisibleTo(caster_->parentWidget()));
}

}  // namespace velloran
