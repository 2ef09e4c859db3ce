#pragma once
// The application's one window: the window gradient behind a page stack whose root is the library
// page (PromptListView), and the sheet host over both. Ctrl+Q closes it, which ends the
// application; an automatic save of the editor still waiting then runs at once. While something
// typed would be lost (PromptListView::holdsUnsavedInput), a close the user asks for (Ctrl+Q, the
// window's close button) first asks "Nicht gespeicherte Eingaben verwerfen und beenden?" in a
// sheet (any other sheet gives way to it, the create sheet keeping its form): "Verwerfen" closes,
// "Abbrechen" keeps the window as it was. A quit the system asks for is never held up.
//
// Main thread only. The window owns its pages and sheets.

#include <QPointer>

#include "Velloran/ui/WindowGradient.h"
#include "Velloran/views/LibraryContext.h"

namespace velloran {

class NavigationHost;
class PromptListView;
class SheetHost;

class LibraryWindow final : public GradientBackground {
  Q_OBJECT

 public:
  explicit LibraryWindow(LibraryContext context, QWidget* parent = nullptr);

  NavigationHost& navigation() const { return *navigation_; }
  SheetHost& sheets() const { return *sheets_; }
  PromptListView& library() const { return *library_; }

  QSize sizeHint() const override;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  NavigationHost* navigation_;
  SheetHost* sheets_;
  PromptListView* library_;
  bool closeAskedByUser_ = false;
  bool discardConfirmed_ = false;
  QPointer<QWidget> discardQuestion_;
};

}  // namespace velloran
