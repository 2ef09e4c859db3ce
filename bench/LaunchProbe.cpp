// The application's launch as a program of its own, for the start-up benchmark: it starts as the
// velloran executable does (Velloran/app/main.cpp) - the Qt application, the application's look,
// the main queue driven by Qt, the composition root and its one window - and ends as soon as the
// window has painted a grid that holds the expected number of prompts. Everything runs as in the
// application: the store's work, the mirror and the sync monitor on their own threads.
//
// Usage: velloran_launch_probe <prompts>. Exits 0 after that first painted library; 2 when the
// library never showed that many prompts within two minutes; 1 on a wrong call.

#include <unistd.h>
#include <QApplication>
#include <QTimer>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>

#include "Velloran/app/AppLocale.h"
#include "Velloran/app/QtWorkspace.h"
#include "Velloran/app/VelloranApp.h"
#include "Velloran/ui/ApplicationLook.h"
#include "Velloran/ui/QtMainQueueDriver.h"
#include "Velloran/views/CardGrid.h"
#include "Velloran/views/PromptListView.h"
#include "platform/workspace/Workspace.h"

namespace {

constexpr int kGiveUpMilliseconds = 120'000;
constexpr int kNeverShown = 2;

// Quits the application after the first paint of the grid that shows `expected` prompts.
class FirstLibraryPaint final : public QObject {
 public:
  FirstLibraryPaint(velloran::CardGrid& grid, std::size_t expected) : grid_(grid), expected_(expected) {
    grid_.viewport()->installEventFilter(this);
  }

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint && !seen_ && grid_.promptCount() == expected_) {
      seen_ = true;
      // Queued: the paint this event starts, and the frame it belongs to, finish first. Then the
      // probe ends at once: taking the window, the store and their threads down is not the launch.
      QTimer::singleShot(0, qApp, [] { ::_exit(0); });
    }
    return false;
  }

 private:
  velloran::CardGrid& grid_;
  std::size_t expected_;
  bool seen_ = false;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: velloran_launch_probe <prompts>" << std::endl;
    return 1;
  }
  const std::size_t expected = std::strtoul(argv[1], nullptr, 10);
  QApplication application(argc, argv);
  velloran::adoptAppLanguageForNeutralLocale();
  velloran::applyApplicationLook(application);
  velloran::QtMainQueueDriver mainQueueDriver;
  platform::Workspace::setShared(std::make_shared<velloran::QtWorkspace>());

  const auto app = std::get<std::unique_ptr<velloran::VelloranApp>>(velloran::VelloranApp::launch());
  const std::unique_ptr<velloran::LibraryWindow> window = app->makeRootView();
  FirstLibraryPaint firstPaint(*window->library().grid(), expected);
  window->setMinimumSize(720, 620);
  window->resize(1100, 780);
  window->show();
  QTimer::singleShot(kGiveUpMilliseconds, &application, [] { QCoreApplication::exit(kNeverShown); });
  return application.exec();
}
