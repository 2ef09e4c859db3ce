#include "Velloran/app/VelloranApp.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <fstream>
#include <random>

#include "Velloran/data/MockSyncService.h"
#include "Velloran/data/testing/RepositoryTestSupport.h"
#include "Velloran/services/LookupError.h"
#include "Velloran/services/testing/AppServicesBed.h"
#include "Velloran/settings/AnalyticsConsentView.h"
#include "Velloran/settings/SettingsView.h"
#include "Velloran/settings/ToggleSwitch.h"
#include "Velloran/sync/CloudKitSyncService.h"
#include "Velloran/ui/NoticeStrip.h"
#include "Velloran/ui/testing/Screenshot.h"
#include "Velloran/views/CardGrid.h"
#include "Velloran/views/PromptListView.h"
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
        }) {
    std::filesystem::create_directories(syncFolder_);
    syncFolderVariable_.set("VELLORAN_CLOUD_DIR", syncFolder_.string());
  }
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

  std::filesystem::path storeFile() const {
    return launch_.user().dataHome() / kBundleIdentifier / std::string(kStoreFileName);
  }
  bool storeFileExists() const { return std::filesystem::exists(storeFile()); }

  // A library of `titles`, written to the sync folder as the app writes it, then left by a quit.
  // The consent sheet has been answered before, so it does not cover the window.
  void runOnceWithPrompts(const std::vector<std::string>& titles) {
    ASSERT_TRUE(defaults_->setObject("analyticsPromptShown", Value(true)).ok());
    VelloranApp& app = start();
    std::uint8_t id = 0;
    for (const std::string& title : titles) {
      testing::CompletionProbe<void> saved;
      app.promptStore()->savePrompt(testing::makePrompt({.id = ++id, .title = title}), saved.completion());
      dispatch_.drain();
      ASSERT_TRUE(saved.result().ok());
    }
    app.handleTermination();
    app_.reset();
  }
  // The library file's first page overwritten with junk, as a failing disk might leave it.
  void damageStoreFile() const {
    std::fstream file(storeFile(), std::ios::in | std::ios::out | std::ios::binary);
    file << std::string(4096, '\x5A');
  }
  NoticeStrip* damagedStoreNotice() const {
    return window_->findChild<NoticeStrip*>(QStringLiteral("damagedStoreNotice"));
  }

  std::unique_ptr<VelloranApp> app_;
  std::unique_ptr<LibraryWindow> window_;
  // The sync folder the ordinary runs mirror through.
  std::filesystem::path syncFolder_ = launch_.user().root() / "sync";
  platform::testing::ScopedEnvironment syncFolderVariable_;
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

// The notice tells what the import into the new library brought, once it has ended, and where the
// damaged file lies; it stays until the user closes it.
TEST_F(VelloranAppTest, ADamagedLibraryTellsHowManyPromptsCameBackFromTheSyncFolderUntilClosed) {
  runOnceWithPrompts({"Eins", "Zwei"});
  damageStoreFile();
  start();
  ASSERT_TRUE(app_->coreDataStack().damagedStore());
  const std::string keptAt = app_->coreDataStack().damagedStore()->string();
  LibraryWindow& window = showWindow();
  dispatch_.drain();

  EXPECT_EQ(window.library().grid()->promptCount(), 2u);
  NoticeStrip* notice = damagedStoreNotice();
  ASSERT_NE(notice, nullptr);
  ASSERT_TRUE(notice->isVisible());
  EXPECT_EQ(notice->message().toStdString(),
            "Die Bibliothek war besch\xC3\xA4"
            "digt. 2 Prompts wurden aus dem Sync-Ordner wiederhergestellt. "
            "Die besch\xC3\xA4"
            "digte Datei liegt unter " +
                keptAt + ".");
  testing::saveScreenshot(window, "restored");

  dispatch_.advance(std::chrono::minutes(1));
  ASSERT_TRUE(notice->isVisible()) << "no timer takes it away";
  auto* close = notice->findChild<QAbstractButton*>(QStringLiteral("closeNoticeButton"));
  ASSERT_NE(close, nullptr);
  QTest::mouseClick(close, Qt::LeftButton);
  dispatch_.drain();
  EXPECT_FALSE(notice->isVisible());
}

TEST_F(VelloranAppTest, ADamagedLibraryWithNothingInTheSyncFolderSaysThatNoPromptCameBack) {
  runOnceWithPrompts({"Eins"});
  std::filesystem::remove_all(syncFolder_);
  std::filesystem::create_directories(syncFolder_);
  damageStoreFile();
  start();
  const std::string keptAt = app_->coreDataStack().damagedStore()->string();
  showWindow();
  dispatch_.drain();

  NoticeStrip* notice = damagedStoreNotice();
  ASSERT_NE(notice, nullptr);
  ASSERT_TRUE(notice->isVisible());
  EXPECT_EQ(notice->message().toStdString(),
            "Die Bibliothek war besch\xC3\xA4"
            "digt. Aus dem Sync-Ordner konnte kein Prompt wiederhergestellt "
            "werden. Die besch\xC3\xA4"
            "digte Datei liegt unter " +
                keptAt + ".");
  EXPECT_TRUE(std::filesystem::exists(keptAt));
  testing::saveScreenshot(*window_, "nothing-restored");
}

// A new library, its window open, meets a sync folder where one journal is sound and another holds
// random bytes: the import applies the sound one and fails naming the other; the window shows what
// it applied next to the failure's banner.
TEST_F(VelloranAppTest, ANewLibraryShowsWhatTheSyncFolderBroughtAlsoWhenAJournalThereIsUnreadable) {
  runOnceWithPrompts({"Eins", "Zwei", "Drei", "Vier", "F\xC3\xBCnf"});
  const std::filesystem::path journals = syncFolder_ / std::string(kCloudContainerIdentifier) / "journal";
  const std::filesystem::path heldBack = launch_.user().root() / "held-back";
  std::filesystem::rename(journals, heldBack);
  std::filesystem::remove_all(storeFile().parent_path());
  start();
  LibraryWindow& window = showWindow();
  ASSERT_EQ(window.library().grid()->promptCount(), 0u);

  std::filesystem::remove_all(journals);
  std::filesystem::rename(heldBack, journals);
  std::ofstream noise(journals / (platform::UUID::random().uuidString() + ".jsonl"), std::ios::binary);
  std::minstd_rand bytes(47);
  for (int i = 0; i < 4096; ++i) noise.put(static_cast<char>(bytes()));
  noise.close();
  dispatch_.advance(std::chrono::seconds(2));

  EXPECT_EQ(window.library().grid()->promptCount(), 5u);
  auto* banner = window.findChild<NoticeStrip*>(QStringLiteral("syncBanner"));
  ASSERT_NE(banner, nullptr);
  EXPECT_TRUE(banner->isVisible());
  EXPECT_TRUE(banner->message().startsWith(QStringLiteral("Sync-Fehler: ")))
      << banner->message().toStdString();
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
