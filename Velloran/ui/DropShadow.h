#pragma once
// A soft shadow beneath a widget, drawn outside the widget's own rectangle as a real shadow is.
//
// A widget cannot paint beyond its rectangle, so the shadow is a separate widget: a sibling in the
// caster's parent, stacked directly beneath the caster, grown by the shadow's reach, transparent
// to the mouse and never in any layout. It follows the caster's geometry, visibility, stacking and
// parent. Like any sibling, it is clipped by the parent's rectangle, and a later sibling's shadow
// lies over an earlier sibling.
//
// Ownership: the DropShadow is a child object of the caster and goes with it; the shadow widget
// goes with the DropShadow (or earlier with the parent). A caster without a parent casts nothing
// until it gets one. Main thread only.

#include <QObject>
#include <QPointer>

#include "Velloran/ui/ShadowRenderer.h"

class QWidget;

namespace velloran {

class DropShadow final : public QObject {
  Q_OBJECT

 public:
  // The shadow of `caster`'s rounded rectangle (`cornerRadius`; large gives a capsule).
  DropShadow(QWidget* caster, qreal cornerRadius, ShadowStyle style);
  ~DropShadow() override;

  const ShadowStyle& style() const { return style_; }
  qreal cornerRadius() const { return cornerRadius_; }
  // The widget that shows the shadow; nullptr while the caster has no parent.
  QWidget* shadowWidget() const;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  class Picture;

  // Brings the shadow widget in line with the caster's parent, geometry, visibility and stacking.
  void follow();
  // The parts of follow(), for a shadow widget in the caster's parent.
  void place();
  void showAsTheCasterIs();

  QWidget* caster_;
  qreal cornerRadius_;
  ShadowStyle style_;
  QPointer<Picture> picture_;
};

}  // namespace velloran
