#pragma once
// The composition root: the only place that builds the process-wide objects - the store stack,
// the prompt store and the sync service - and that knows which concrete types the window and its
// sheets work with.
//
// Start-up (launch()), in this order:
//  1. the launch mode (LaunchMode.h); in a UI-test run with a bundle identifier, the preferences
//     are reset to the UI-test state;
//  2. the store stack: in memory for test runs, else "Velloran.sqlite" in Application Support,
//     mirrored through the mirror folder; when it cannot be opened, launch() answers why and builds
//     nothing more;
//  3. the prompt store over the stack's container;
//  4. the sync service: the mock for test runs, else one sync monitor over the same container;
//  5. the stored analytics choice is applied (which does nothing in a test run).
// The scene: makeRootView() builds the one window, whose root page is the library over one library
// view model. handleScenePhaseChange() counts a launch for the review request each time the window
// becomes active outside test runs.
// Quit: handleTermination(), once the main loop has ended, gives the analytics SDK its bounded
// moment to store what it has queued and close its database, lets the prompt store finish every
// operation asked of it (the editor's last saves among them), then closes the store stack, its
// mirror included. After it nothing of the application works on either database, so the process may
// exit at once.
//
// Threads: main thread only; make it once, after the QApplication and the main-queue driver exist.
// The analytics service and the review manager must outlive the app.

#include <memory>
#include <variant>

#include "Velloran/analytics/AnalyticsService.h"
#include "Velloran/analytics/LaunchMode.h"
#include "Velloran/app/ScenePhase.h"
#include "Velloran/data/SyncService.h"
#include "Velloran/persistence/CoreDataPromptStore.h"
#include "Velloran/persistence/CoreDataStack.h"
#include "Velloran/services/AppDirectoryProviding.h"
#include "Velloran/services/AppReviewManager.h"
#include "Velloran/viewmodels/PromptListViewModel.h"
#include "Velloran/views/LibraryWindow.h"

namespace velloran {

class VelloranApp {
 public:
  // The started app, or why its store could not be opened (then nothing else was built).
  using Launched = std::variant<std::unique_ptr<VelloranApp>, StoreOpenFailure>;

  // Over AnalyticsService::shared(), AppReviewManager::shared() and the store's lookup.
  static Launched launch();
  // `appDirectory`: where the settings' other-apps section looks its apps up; null: the store.
  static Launched launch(AnalyticsService& analytics, AppReviewManager& reviewManager,
                         std::shared_ptr<AppDirectoryProviding> appDirectory);
  VelloranApp(const VelloranApp&) = delete;
  VelloranApp& operator=(const VelloranApp&) = delete;

  bool isTesting() const { return launchMode_.isTesting; }
  const LaunchMode& launchMode() const { return launchMode_; }
  const CoreDataStack& coreDataStack() const { return coreDataStack_; }
  const std::shared_ptr<CoreDataPromptStore>& promptStore() const { return promptStore_; }
  const std::shared_ptr<SyncService>& syncService() const { return syncService_; }

  // The window: the library page over a new library view model, with the settings and consent
  // sheets of this app.
  std::unique_ptr<LibraryWindow> makeRootView();
  // When the store stack set a damaged library file aside at this start, the new view model
  // restores the library from the sync folder and tells the user about it (restoreDamagedStore).
  std::shared_ptr<PromptListViewModel> makePromptListViewModel();

  void handleScenePhaseChange(ScenePhase oldPhase, ScenePhase newPhase);
  void handleTermination();

 private:
  VelloranApp(AnalyticsService& analytics, AppReviewManager& reviewManager,
              std::shared_ptr<AppDirectoryProviding> appDirectory, LaunchMode launchMode,
              CoreDataStack coreDataStack);

  // The machine's clock and random source, standard output, this app's analytics service and the
  // process's main queue.
  ViewModelEnvironment viewModelEnvironment();
  // The prompt store's operations under way or waiting end, then the stack closes.
  void closeStore();

  AnalyticsService& analytics_;
  AppReviewManager& reviewManager_;
  std::shared_ptr<AppDirectoryProviding> appDirectory_;
  LaunchMode launchMode_;
  CoreDataStack coreDataStack_;
  std::shared_ptr<CoreDataPromptStore> promptStore_;
  std::shared_ptr<SyncService> syncService_;
};

}  // namespace velloran
