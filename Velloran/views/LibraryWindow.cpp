#include "Velloran/views/LibraryWindow.h"

#include <QVBoxLayout>

#include "Velloran/views/NavigationHost.h"
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
}

QSize LibraryWindow::sizeHint() const {
  return {980, 700};
}

}  // namespace velloran
