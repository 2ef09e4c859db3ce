#include "Velloran/app/VelloranApp.h"

#include <gtest/gtest.h>

#include <QPushButton>
#include <QTest>
#include <QToolButton>

#include "Velloran/data/MockSyncService.h"
#include "Velloran/data/testing/RepositoryTestSupport.h"
#include "Velloran/services/LookupError.h"
#include "Velloran/services/testing/AppServicesBed.h"
#include "Velloran/settings/AnalyticsConsentView.h"
#include "Velloran/settings/SettingsView.h"
#include "Velloran/settings/ToggleSwitch.h"
#include "Velloran/sync/CloudKitSyncService.h"
#include "Velloran/ui/testing/Screenshot.h"
#include "Velloran/views/SheetHost.h"
#include "platform/bundle/Bundle.h"
#include "platform/process/ProcessInfo.h"

namespace velloran {
namespace {

using platform::Value;

constexpr const char* kBundleIdentifier = "com.velloran.tests";

class VelloranAppTest : public ::testing::Test, public testing::AppServicesBed {
 protected:
  VelloranAppTest()
      : AppServicesBed([](testing::OrdinaryLaunch& launch) {
          launch.user().writeInfo({{"CFBundleIdentifier", Value(kBundleIdentifier)},
                                   {"CFBundleShortVersionString", Value("2.0")}});
          return platform::PreferencesDomain::application();
        }) {}
  ~VelloranAppTest() override {
    window_.reset();
    app_.reset();
    dispatch_.drain();
  }

  void launchWith(std::vector<std::string> extraArguments) {
    std::vector<std::string> arguments{"/usr/bin/velloran"};
    arguments.insert(arguments.end(), extraArguments.begin(), extraArguments.end());
    platform::ProcessInfo::setArgumentsForTesting(arguments);
  }
  void underHarness() { becomeTestRun(); }

  VelloranApp& start() {
    VelloranApp::Launched launched = VelloranApp::launch(*analytics_, *reviewManager_, directory_);
    if (auto* failure = std::get_if<StoreOpenFailure>(&launched)) ADD_FAILURE() << failure->report;
    app_ = std::get<std::unique_ptr<VelloranApp>>(std::move(launched));
    dispatch_.drain();
    return *app_;
  }
  LibraryWindow& showWindow() {
    window_ = app_->makeRootView();
    window_->resize(900, 700);
    window_->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
    dispatch_.drain();
    return *window_;
  }

  bool storeFileExists() const {
    return std::filesystem::exists(launch_.user().dataHome() / kBundleIdentifier /
                                   std::string(kStoreFileName));
  }

  std::unique_ptr<VelloranApp> app_;
  std::unique_ptr<LibraryWindow> window_;
};

TEST_F(VelloranAppTest, UnderTheHarnessTheStoreIsInMemoryTheSyncIsTheMockAndNothingElseIsTouched) {
  underHarness();
  ASSERT_TRUE(defaults_->setObject("appLaunchCountForCurrentVersion", Value(std::int64_t{4})).ok());

  VelloranApp& app = start();

  EXPECT_TRUE(app.isTesting());
  EXPECT_FALSE(app.launchMode().isUITesting);
  EXPECT_NE(std::dynamic_pointer_cast<MockSyncService>(app.syncService()), nullptr);
  EXPECT_FALSE(storeFileExists());
  EXPECT_TRUE(sdk_->calls().empty());
  EXPECT_EQ(defaults_->integerForKey("appLaunchCountForCurrentVersion"), 4);
  EXPECT_FALSE(defaults_->objectForKey("AppleLocale").has_value());
}

TEST_F(VelloranAppTest, AUITestRunStartsFromTheFiveTestValues) {
  launchWith({"-ui-testing"});
  underHarness();
  ASSERT_TRUE(defaults_->setObject("userHasRatedApp", Value(true)).ok());

  VelloranApp& app = start();

  EXPECT_TRUE(app.launchMode().isUITesting);
  EXPECT_NE(std::dynamic_pointer_cast<MockSyncService>(app.syncService()), nullptr);
  EXPECT_FALSE(defaults_->objectForKey("userHasRatedApp").has_value());
  EXPECT_EQ(defaults_->objectForKey("AppleLocale"), Value("de_DE"));
  EXPECT_EQ(defaults_->objectForKey(kAnalyticsEnabledKey), Value(false));
  EXPECT_TRUE(sdk_->calls().empty());
}

TEST_F(VelloranAppTest, AnOrdinaryRunKeepsAPersistentMirroredStoreAndAppliesAnalytics) {
  VelloranApp& app = start();

  EXPECT_FALSE(app.isTesting());
  EXPECT_TRUE(storeFileExists());
  EXPECT_NE(std::dynamic_pointer_cast<CloudKitSyncService>(app.syncService()), nullptr);
  EXPECT_EQ(app.promptStore()->container(), app.coreDataStack().container());
  EXPECT_EQ(sdk_->events(),
            std::vector<testing::AnalyticsSdkCall>{testing::logEventCall("app_open", std::nullopt)});
}

TEST_F(VelloranAppTest, BecomingActiveCountsALaunchOutsideTestRunsOnly) {
  VelloranApp& app = start();
  app.handleScenePhaseChange(ScenePhase::inactive, ScenePhase::active);
  EXPECT_EQ(defaults_->integerForKey("appLaunchCountForCurrentVersion"), 1);
  app.handleScenePhaseChange(ScenePhase::active, ScenePhase::inactive);
  app.handleScenePhaseChange(ScenePhase::active, ScenePhase::background);
  EXPECT_EQ(defaults_->integerForKey("appLaunchCountForCurrentVersion"), 1);
  app.handleScenePhaseChange(ScenePhase::background, ScenePhase::active);
  app.handleScenePhaseChange(ScenePhase::inactive, ScenePhase::active);
  EXPECT_EQ(defaults_->integerForKey("appLaunchCountForCurrentVersion"), 3);
  EXPECT_EQ(reviewRequester_->requestCount(), 1);
}

// An edit handed to the store just before quitting is stored; then the store is closed, so that
// nothing works on it while the process exits.
TEST_F(VelloranAppTest, QuittingLetsTheAnalyticsAndTheStoreFinishThenClosesTheStore) {
  VelloranApp& app = start();
  sdk_->clearCalls();
  testing::CompletionProbe<void> saved;
  app.promptStore()->savePrompt(testing::makePrompt({.title = "Last edit"}), saved.completion());
  app.handleTermination();
  EXPECT_EQ(sdk_->calls(),
            std::vector<testing::AnalyticsSdkCall>{testing::closeDatabaseAfterQueuedWorkCall()});
  ASSERT_EQ(saved.calls(), 1u);
  EXPECT_TRUE(saved.result().ok());
  EXPECT_EQ(app.coreDataStack().container()->persistentStoreCoordinator()->persistentStore(), nullptr);

  app_.reset();
  const PromptList stored = testing::runToCompletion<PromptList>(dispatch_, [this](auto done) {
                              start().promptStore()->fetchPrompts({}, std::move(done));
                            }).value();
  ASSERT_EQ(stored.size(), 1u);
  EXPECT_EQ(stored[0]->title, "Last edit");
}

TEST_F(VelloranAppTest, InATestRunBecomingActiveCountsNothing) {
  underHarness();
  start().handleScenePhaseChange(ScenePhase::inactive, ScenePhase::active);
  EXPECT_FALSE(defaults_->objectForKey("appLaunchCountForCurrentVersion").has_value());
}

TEST_F(VelloranAppTest, TheConsentSheetAppearsOnceAndItsChoiceIsStored) {
  underHarness();
  start();
  LibraryWindow& window = showWindow();

  auto* consent = dynamic_cast<AnalyticsConsentView*>(window.sheets().currentSheet());
  ASSERT_NE(consent, nullptr);
  EXPECT_EQ(defaults_->objectForKey("analyticsPromptShown"), Value(true));
  testing::saveScreenshot(window, "consent");

  consent->declineButton()->click();
  EXPECT_EQ(window.sheets().currentSheet(), nullptr);
  EXPECT_EQ(defaults_->objectForKey(kAnalyticsEnabledKey), Value(false));

  // A second window of the same installation does not ask again.
  window_.reset();
  EXPECT_EQ(showWindow().sheets().currentSheet(), nullptr);
}

TEST_F(VelloranAppTest, ClosingTheConsentSheetLeavesTheConsentAlone) {
  underHarness();
  start();
  LibraryWindow& window = showWindow();
  auto* consent = dynamic_cast<AnalyticsConsentView*>(window.sheets().currentSheet());
  ASSERT_NE(consent, nullptr);
  consent->closeButton()->click();
  EXPECT_EQ(window.sheets().currentSheet(), nullptr);
  EXPECT_FALSE(defaults_->objectForKey(kAnalyticsEnabledKey).has_value());
  EXPECT_EQ(defaults_->objectForKey("analyticsPromptShown"), Value(true));
}

TEST_F(VelloranAppTest, EscapeClosesTheConsentSheetLikeSchliessen) {
  underHarness();
  start();
  LibraryWindow& window = showWindow();
  auto* consent = dynamic_cast<AnalyticsConsentView*>(window.sheets().currentSheet());
  ASSERT_NE(consent, nullptr);
  window.activateWindow();
  QTest::keyClick(consent->acceptButton(), Qt::Key_Escape);
  EXPECT_EQ(window.sheets().currentSheet(), nullptr);
  EXPECT_FALSE(defaults_->objectForKey(kAnalyticsEnabledKey).has_value());
}

TEST_F(VelloranAppTest, TheSettingsButtonShowsTheSettingsSheetAndFertigClosesIt) {
  launchWith({"-ui-testing"});
  start();
  LibraryWindow& window = showWindow();
  ASSERT_EQ(window.sheets().currentSheet(), nullptr);  // the UI-test values mark the consent as asked

  auto* settingsButton = window.findChild<QToolButton*>("settingsButton");
  ASSERT_NE(settingsButton, nullptr);
  settingsButton->click();
  auto* settings = dynamic_cast<SettingsView*>(window.sheets().currentSheet());
  ASSERT_NE(settings, nullptr);
  ASSERT_EQ(directory_->requests().size(), 1u);
  directory_->fail(LookupError::httpStatus(503).error());
  dispatch_.drain();
  testing::saveScreenshot(window, "settings");

  settings->doneButton()->click();
  EXPECT_EQ(window.sheets().currentSheet(), nullptr);

  settingsButton->click();
  auto* again = dynamic_cast<SettingsView*>(window.sheets().currentSheet());
  ASSERT_NE(again, nullptr);
  QTest::keyClick(again->analyticsToggle(), Qt::Key_Escape);
  EXPECT_EQ(window.sheets().currentSheet(), nullptr);
  EXPECT_EQ(defaults_->objectForKey(kAnalyticsEnabledKey), Value(false));
}

}  // namespace
}  // namespace velloran
