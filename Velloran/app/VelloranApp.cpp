#include "Velloran/app/VelloranApp.h"

#include <chrono>
#include <iostream>

#include "Velloran/analytics/AnalyticsConsent.h"
#include "Velloran/data/MockSyncService.h"
#include "Velloran/persistence/PromptObjects.h"
#include "Velloran/settings/AnalyticsConsentView.h"
#include "Velloran/settings/SettingsView.h"
#include "Velloran/sync/CloudKitSyncService.h"
#include "Velloran/views/Clipboard.h"
#include "platform/bundle/Bundle.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/dispatch/Queue.h"
#include "platform/mirror/MirroredPersistentContainer.h"
#include "platform/net/HttpClient.h"
#include "platform/prefs/PreferencesDomain.h"
#include "platform/time/SystemClock.h"
#include "platform/workspace/Workspace.h"

namespace velloran {
namespace {

// Only a guard against a store that hangs: the operations left at quit are a few writes.
constexpr std::chrono::seconds kStoreQuitBound{30};

// Steps 1 of the start-up: the mode, and the UI-test preferences before anything reads them.
LaunchMode startLaunchMode() {
  const LaunchMode mode = LaunchMode::current();
  if (mode.isUITesting) {
    // Without a bundle identifier there is no domain to reset; the flags stand as they are.
    if (const std::optional<std::string> identifier = platform::Bundle::main()->bundleIdentifier()) {
      prepareUITestDefaults(*identifier);
    }
  }
  return mode;
}

std::shared_ptr<platform::PersistentContainer> makeMirroredContainer(
    std::string name, std::shared_ptr<const platform::ManagedObjectModel> model) {
  platform::MirrorSettings settings = platform::MirrorSettings::fromEnvironment();
  settings.adjustImport = renumberWrittenPrompts;
  return std::make_shared<platform::MirroredPersistentContainer>(std::move(name), std::move(model),
                                                                 std::move(settings));
}

std::shared_ptr<SyncService> makeSyncService(const LaunchMode& mode, const CoreDataStack& stack) {
  if (mode.isTesting) return std::make_shared<MockSyncService>();
  return CloudKitSyncService::make(stack.container());
}

}  // namespace

VelloranApp::Launched VelloranApp::launch() {
  return launch(AnalyticsService::shared(), AppReviewManager::shared(), nullptr);
}

VelloranApp::Launched VelloranApp::launch(AnalyticsService& analytics, AppReviewManager& reviewManager,
                                          std::shared_ptr<AppDirectoryProviding> appDirectory) {
  LaunchMode mode = startLaunchMode();
  std::variant<CoreDataStack, StoreOpenFailure> stack = CoreDataStack::open(
      mode.isTesting, mode.isTesting ? CoreDataStack::ContainerFactory(CoreDataStack::makePlainContainer)
                                     : CoreDataStack::ContainerFactory(makeMirroredContainer));
  if (auto* failure = std::get_if<StoreOpenFailure>(&stack)) return std::move(*failure);
  return std::unique_ptr<VelloranApp>(new VelloranApp(analytics, reviewManager, std::move(appDirectory), mode,
                                                      std::get<CoreDataStack>(std::move(stack))));
}

VelloranApp::VelloranApp(AnalyticsService& analytics, AppReviewManager& reviewManager,
                         std::shared_ptr<AppDirectoryProviding> appDirectory, LaunchMode launchMode,
                         CoreDataStack coreDataStack)
    : analytics_(analytics),
      reviewManager_(reviewManager),
      appDirectory_(std::move(appDirectory)),
      launchMode_(launchMode),
      coreDataStack_(std::move(coreDataStack)),
      promptStore_(std::make_shared<CoreDataPromptStore>(coreDataStack_.container())),
      syncService_(makeSyncService(launchMode_, coreDataStack_)) {
  analytics_.applyCollectionSetting();
}

ViewModelEnvironment VelloranApp::viewModelEnvironment() {
  return ViewModelEnvironment{
      .clock = platform::SystemClock::sharedPointer(),
      .random = platform::systemRandomSource(),
      .console = std::cout,
      .analytics = analytics_,
      .mainQueue = platform::mainQueue(),
  };
}

std::shared_ptr<PromptListViewModel> VelloranApp::makePromptListViewModel() {
  std::shared_ptr<PromptListViewModel> viewModel =
      PromptListViewModel::make(promptStore_, syncService_, viewModelEnvironment());
  if (const std::optional<std::filesystem::path>& damaged = coreDataStack_.damagedStore())
    viewModel->restoreDamagedStore(damaged->string());
  return viewModel;
}

std::unique_ptr<LibraryWindow> VelloranApp::makeRootView() {
  const std::shared_ptr<PromptListViewModel> viewModel = makePromptListViewModel();
  const std::shared_ptr<platform::PreferencesDomain> defaults = platform::PreferencesDomain::application();
  const std::shared_ptr<platform::Workspace> workspace = platform::Workspace::shared();
  auto artwork = std::make_shared<ArtworkLoader>(platform::HttpClient::shared());

  LibraryContext context{
      .viewModel = viewModel,
      .environment = viewModelEnvironment(),
      .defaults = defaults,
      .clipboard = std::make_shared<QtClipboard>(),
      .workspace = workspace,
      .makeSettingsSheet = [this, defaults, workspace, artwork](std::function<void()> dismiss) -> QWidget* {
        return new SettingsView(
            SettingsEnvironment{defaults, analytics_, reviewManager_, appDirectory_, workspace, artwork},
            std::move(dismiss));
      },
      .makeConsentSheet = [this, defaults](std::function<void()> dismiss) -> QWidget* {
        return new AnalyticsConsentView([consent = AnalyticsConsent(defaults, analytics_)](
                                            bool enabled) mutable { return consent.choose(enabled); },
                                        std::move(dismiss));
      },
  };
  return std::make_unique<LibraryWindow>(std::move(context));
}

void VelloranApp::handleScenePhaseChange(ScenePhase, ScenePhase newPhase) {
  if (newPhase == ScenePhase::active && !isTesting()) reviewManager_.registerLaunch();
}

void VelloranApp::handleTermination() {
  analytics_.finishQueuedWork();
  closeStore();
}

void VelloranApp::closeStore() {
  // Shared with the completion, which outlives this call should the guard give up first.
  auto finished = std::make_shared<bool>(false);
  promptStore_->finishPendingOperations([finished] { *finished = true; });
  // Listings wait for the main queue: it keeps running meanwhile.
  platform::runUntil([finished] { return *finished; }, kStoreQuitBound);
  coreDataStack_.close();
}

}  // namespace velloran
