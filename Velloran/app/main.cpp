// The velloran executable: the Qt application, the platform layers the app plugs in, and the
// composition root with its one window.

#include <QApplication>
#include <iostream>
#include <memory>
#include <optional>
#include <variant>

#include "Velloran/app/AppInstance.h"
#include "Velloran/app/AppLocale.h"
#include "Velloran/app/ApplicationActivity.h"
#include "Velloran/app/CryptoLibrary.h"
#include "Velloran/app/GraphicalSession.h"
#include "Velloran/app/QtWorkspace.h"
#include "Velloran/app/ScenePhase.h"
#include "Velloran/app/StartupFailure.h"
#include "Velloran/app/TerminationSignals.h"
#include "Velloran/app/VelloranApp.h"
#include "Velloran/ui/ApplicationLook.h"
#include "Velloran/ui/QtMainQueueDriver.h"
#include "platform/notify/NotificationCenter.h"
#include "platform/workspace/Workspace.h"

int main(int argc, char** argv) {
  // Queue threads may still hash while the exit handlers run.
  velloran::keepCryptoLibraryUntilProcessEnd();
  if (!velloran::hasGraphicalSession()) {
    std::cerr << velloran::kNoGraphicalSessionLine << std::endl;
    return 1;
  }
  auto unreachableDisplay = std::make_optional<velloran::UnreachableDisplayExit>();
  QApplication application(argc, argv);
  unreachableDisplay.reset();
  velloran::adoptAppLanguageForNeutralLocale();
  // Without the fixed font the look falls back to what the system substitutes; the app still runs.
  velloran::applyApplicationLook(application);
  velloran::TerminationSignals terminationSignals;
  velloran::QtMainQueueDriver mainQueueDriver;
  platform::Workspace::setShared(std::make_shared<velloran::QtWorkspace>());

  // One running app per data folder: a later start brings the running one's window forward and
  // ends before it opens the library or the analytics SDK.
  velloran::AppInstance instance = velloran::AppInstance::claimDataFolder();
  if (instance.role() == velloran::AppInstance::Role::handedOver) {
    std::cout << velloran::kHandedOverLine << std::endl;
    return 0;
  }
  if (instance.role() == velloran::AppInstance::Role::unanswered) return velloran::reportNoAnswer();

  velloran::VelloranApp::Launched launched = velloran::VelloranApp::launch();
  if (const auto* failure = std::get_if<velloran::StoreOpenFailure>(&launched)) {
    // Nothing runs on the data folder any more: a start meanwhile tries for itself.
    instance.release();
    return velloran::reportStartupFailure(*failure);
  }
  velloran::VelloranApp& app = *std::get<std::unique_ptr<velloran::VelloranApp>>(launched);
  const std::unique_ptr<velloran::LibraryWindow> window = app.makeRootView();
  velloran::ApplicationActivity activity(platform::NotificationCenter::defaultCenter());
  velloran::ScenePhaseObserver scenePhase(
      [&app, &activity](velloran::ScenePhase oldPhase, velloran::ScenePhase newPhase) {
        app.handleScenePhaseChange(oldPhase, newPhase);
        activity.scenePhaseChanged(oldPhase, newPhase);
      });
  // The loop has ended but every object above still exists: the window has handed its waiting
  // edits to the store (its own handler, connected earlier, runs first); the SDK hears of the quit,
  // then gets its moment to store what it holds and closes its database; the store finishes those
  // edits and closes. When main returns, nothing of the application works on any more.
  QObject::connect(&application, &QCoreApplication::aboutToQuit, [&app, &activity] {
    activity.willTerminate();
    app.handleTermination();
  });
  // Room for three card columns at first, and never less than the tallest sheet needs: without a
  // window manager to size it, the window would open at its bare minimum.
  window->setMinimumSize(720, 620);
  window->resize(1100, 780);
  window->show();
  instance.setComeForward([&window] { velloran::bringToFront(*window); });
  activity.didFinishLaunching();
  return application.exec();
}
