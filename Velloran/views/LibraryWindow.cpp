#include "Velloran/views/LibraryWindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QPointer>
#include <QShortcut>
#include <QVBoxLayout>
#include <utility>

#include "Velloran/views/ConfirmationSheet.h"
#include "Velloran/views/NavigationHost.h"
#include "Velloran/views/PromptEditorController.h"
#include "Velloran/views/PromptListView.h"
#include "Velloran/views/SheetHost.h"
#include "Velloran/views/ViewTexts.h"

namespace velloran {

LibraryWindow::LibraryWindow(LibraryContext context, QWidget* parent) : GradientBackground(parent) {
  setObjectName(QStringLiteral("libraryWindow"));
  setWindowTitle(uiText(texts::kLibraryTitle));
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
  navigation_ = new NavigationHost(this);
  column->addWidget(navigation_);
  sheets_ = new SheetHost(this, navigation_);
  library_ = new PromptListView(std::move(context), *navigation_, *sheets_);
  navigation_->setRootPage(library_);

  // The desktop's quit shortcut, Ctrl+Q wherever the platform names none: closing the only window
  // ends the application.
  QList<QKeySequence> quitKeys = QKeySequence::keyBindings(QKeySequence::Quit);
  if (!quitKeys.contains(QKeySequence(Qt::CTRL | Qt::Key_Q)))
    quitKeys.append(QKeySequence(Qt::CTRL | Qt::Key_Q));
  auto* quit = new QShortcut(this);
  quit->setKeys(quitKeys);
  quit->setObjectName(QStringLiteral("quitShortcut"));
  quit->setContext(Qt::WindowShortcut);
  connect(quit, &QShortcut::activated, this, [this] {
    closeAskedByUser_ = true;
    close();
  });
  // However the application ends, an edit still waiting to be saved automatically is saved now.
  connect(qApp, &QCoreApplication::aboutToQuit, this,
          [] { PromptEditorController::saveWaitingMetadataNow(); });
}

void LibraryWindow::closeEvent(QCloseEvent* event) {
  // Only the user is asked: a quit the system asks for (a stop signal) goes ahead.
  const bool askedByUser = std::exchange(closeAskedByUser_, false) || event->spontaneous();
  if (askedByUser && !discardConfirmed_ && library_->holdsUnsavedInput()) {
    event->ignore();
    if (discardQuestion_ != nullptr) return;  // already asking
    sheets_->dismiss();
    QPointer<LibraryWindow> window(this);
    ConfirmationSheet::present(*sheets_, uiText(texts::kDiscardAndQuitQuestion), uiText(texts::kDiscard),
                               uiText(texts::kCancel),
                               [window] {
                                 if (window == nullptr) return;
                                 window->discardConfirmed_ = true;
                                 window->close();
                               },
                               {});
    discardQuestion_ = sheets_->currentSheet();
    return;
  }
  // Closing the only window quits: the waits of automatic saves would not end.
  PromptEditorController::saveWaitingMetadataNow();
  GradientBackground::closeEvent(event);
}

QSize LibraryWindow::sizeHint() const {
  return {980, 700};
}

}  // namespace velloran
