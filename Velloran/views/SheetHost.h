#pragma once
// The window's one place for modal sheets: a sheet hangs from the top of the dimmed window, centred
// across it, and while it is there the window's content beneath takes no clicks, keys or shortcuts.
// The sheet is as big as it asks to be, as far as the window allows, and is placed anew whenever it
// asks again (its updateGeometry()). Escape dismisses the sheet, as closing a sheet from outside does; a
// sheet closes itself through dismiss(). One sheet at a time: presenting while one is shown is refused.
//
// Ownership: the host is a child of the window, kept over the whole window; it owns the sheet it
// shows and deletes it (once the current event is done) when the sheet is dismissed.
// Main thread only.

#include <QPointer>
#include <QWidget>
#include <functional>

namespace velloran {

class SheetHost final : public QWidget {
  Q_OBJECT

 public:
  // `content`: the window's content, disabled while a sheet is shown.
  SheetHost(QWidget* window, QWidget* content);

  // Shows `sheet` (taking it over); `onDismissed` runs when it goes, whichever way. When a sheet is
  // already shown, `sheet` is deleted, nothing else happens and the answer is false.
  bool present(QWidget* sheet, std::function<void()> onDismissed = {});
  // Closes the sheet shown now, if any, and runs its dismissal handler.
  void dismiss();
  QWidget* currentSheet() const { return sheet_.data(); }

 protected:
  bool event(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

 private:
  void placeSheet();

  QWidget* content_;
  QPointer<QWidget> sheet_;
  std::function<void()> onDismissed_;
  QPointer<QWidget> focusBefore_;
};

}  // namespace velloran
