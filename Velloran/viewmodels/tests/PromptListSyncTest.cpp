// The library view model's side of sync: the manual sync, the banner and its 3-second rule, the
// reactions to mirroring events, and the notice about a damaged library restored from the sync
// folder, on the deterministic dispatch backend (time moves only when the test advances it).

#include <gtest/gtest.h>

#include "Velloran/data/MockSyncService.h"
#include "Velloran/data/SyncProblem.h"
#include "Velloran/viewmodels/PromptListViewModel.h"
#include "Velloran/viewmodels/testing/ControllableRepository.h"
#include "Velloran/viewmodels/testing/FakeSyncMonitor.h"
#include "Velloran/viewmodels/testing/ViewModelTestBed.h"

namespace velloran {
namespace {

using namespace std::chrono_literals;
using testing::ControllableRepository;
using testing::endedEvent;
using testing::failedEvent;
using testing::FakeSyncMonitor;
using testing::samplePrompt;
using testing::titlesOf;
using Type = SyncEvent::Type;
using Texts = std::vector<std::string>;

// A failure as the sync monitor reports it: a sync problem wrapping what the mirror said.
platform::Error problem(SyncProblem problem, std::string description = "mirror") {
  return makeSyncProblemError(problem, platform::Error("CloudMirrorErrorDomain", 1, std::move(description)));
}

class PromptListSyncTest : public ::testing::Test {
 protected:
  void SetUp() override {
    repository_ = std::make_shared<ControllableRepository>(bed_.dispatch().sharedClock());
    viewModel_ = PromptListViewModel::make(repository_, monitor_, bed_.environment());
    loadingFlips_ = viewModel_->isLoadingChanged().connect(
        [this] { loadingHistory_.push_back(viewModel_->isLoading()); });
  }

  void store(const Prompt& prompt) {
    repository_->store().savePrompt(prompt, {});
    bed_.drain();
  }
  void advance(std::chrono::milliseconds by) { bed_.dispatch().advance(by); }
  std::optional<std::string> bannerText() const {
    if (!viewModel_->syncBanner()) return std::nullopt;
    EXPECT_TRUE(viewModel_->syncBanner()->isError);
    return viewModel_->syncBanner()->message;
  }

  testing::ViewModelTestBed bed_;
  std::shared_ptr<ControllableRepository> repository_;
  std::shared_ptr<FakeSyncMonitor> monitor_ = std::make_shared<FakeSyncMonitor>();
  std::shared_ptr<PromptListViewModel> viewModel_;
  std::vector<bool> loadingHistory_;
  Subscription loadingFlips_;
};

// --- Manual sync --------------------------------------------------------------------------------

TEST_F(PromptListSyncTest, ManualSyncPullsPushesThenLoadsWithTheIndicatorAndRefreshesTags) {
  store(samplePrompt("Neu", {"fern"}));
  bool done = false;
  viewModel_->syncNow([&] { done = true; });
  bed_.drain();

  EXPECT_TRUE(done);
  EXPECT_EQ(monitor_->pullCount(), 1);
  EXPECT_EQ(monitor_->pushCount(), 1);
  EXPECT_EQ(loadingHistory_, (std::vector<bool>{true, false}));
  EXPECT_EQ(titlesOf(viewModel_->prompts()), Texts{"Neu"});
  EXPECT_EQ(viewModel_->allTagSuggestions(), Texts{"fern"});
  EXPECT_EQ(bed_.console(), "");
}

TEST_F(PromptListSyncTest, FailedPullShowsAStickyBannerAndNeitherPushesNorReloads) {
  monitor_->setPullFailure(problem(SyncProblem::noAccount, "no account"));
  bool done = false;
  viewModel_->syncNow([&] { done = true; });
  bed_.drain();

  EXPECT_TRUE(done);
  EXPECT_EQ(monitor_->pushCount(), 0);
  EXPECT_TRUE(repository_->fetchedFilters().empty());
  EXPECT_EQ(bannerText(), "Sync-Fehler: Kein iCloud Account");
  EXPECT_EQ(bed_.console(), "Sync fehlgeschlagen: no account\n");

  advance(10s);
  EXPECT_EQ(bannerText(), "Sync-Fehler: Kein iCloud Account");
}

TEST_F(PromptListSyncTest, FailedPushShowsItsBannerAndReloadsNothing) {
  monitor_->setPushFailure(platform::Error("platform.io", 5, "Schreibfehler"));
  viewModel_->syncNow();
  bed_.drain();

  EXPECT_EQ(monitor_->pullCount(), 1);
  EXPECT_EQ(monitor_->pushCount(), 1);
  EXPECT_TRUE(repository_->fetchedFilters().empty());
  EXPECT_EQ(bannerText(), "Sync-Fehler: Schreibfehler");
  EXPECT_EQ(bed_.console(), "Sync fehlgeschlagen: Schreibfehler\n");
}

TEST_F(PromptListSyncTest, SuccessfulManualSyncLeavesAnExistingBannerInPlace) {
  monitor_->setPullFailure(problem(SyncProblem::temporarilyUnavailable));
  viewModel_->syncNow();
  bed_.drain();
  monitor_->setPullFailure(std::nullopt);
  viewModel_->syncNow();
  bed_.drain();
  EXPECT_EQ(bannerText(), "Sync-Fehler: iCloud temporär nicht verfügbar");
}

TEST_F(PromptListSyncTest, ManualSyncWithTheMockServiceStillPullsPushesAndReloads) {
  const auto viewModel =
      PromptListViewModel::make(repository_, std::make_shared<MockSyncService>(), bed_.environment());
  store(samplePrompt("A"));
  viewModel->syncNow();
  bed_.drain();
  EXPECT_EQ(titlesOf(viewModel->prompts()), Texts{"A"});
  EXPECT_FALSE(viewModel->syncBanner().has_value());
}

// --- The banner's 3-second rule -----------------------------------------------------------------

TEST_F(PromptListSyncTest, BannerVanishesExactlyThreeSecondsAfterItWasShown) {
  int bannerEmits = 0;
  const Subscription bannerSignal = viewModel_->syncBannerChanged().connect([&] { ++bannerEmits; });
  viewModel_->showSyncBanner("Sync-Fehler: A", true);
  EXPECT_EQ(bannerText(), "Sync-Fehler: A");

  advance(2999ms);
  EXPECT_EQ(bannerText(), "Sync-Fehler: A");
  advance(1ms);
  EXPECT_FALSE(viewModel_->syncBanner().has_value());
  EXPECT_EQ(bannerEmits, 2);
}

TEST_F(PromptListSyncTest, AReplacingDifferentBannerLivesItsOwnThreeSeconds) {
  viewModel_->showSyncBanner("A", true);
  advance(1s);
  viewModel_->showSyncBanner("B", true);
  advance(2s);  // the first banner's timer finds B and leaves it
  EXPECT_EQ(bannerText(), "B");
  advance(999ms);
  EXPECT_EQ(bannerText(), "B");
  advance(1ms);
  EXPECT_FALSE(viewModel_->syncBanner().has_value());
}

TEST_F(PromptListSyncTest, AnEqualBannerShownAgainVanishesWithTheFirstTimer) {
  viewModel_->showSyncBanner("A", true);
  advance(1s);
  viewModel_->showSyncBanner("A", true);
  advance(2s);
  EXPECT_FALSE(viewModel_->syncBanner().has_value());
}

TEST_F(PromptListSyncTest, AManualSyncBannerEqualToAnEventBannerGoesWithTheEventBannersTimer) {
  monitor_->post(failedEvent(Type::Export, problem(SyncProblem::temporarilyUnavailable)));
  bed_.drain();
  advance(1s);
  monitor_->setPullFailure(
      problem(SyncProblem::temporarilyUnavailable));  // the same text: "iCloud temporär nicht verfügbar"
  viewModel_->syncNow();
  bed_.drain();
  advance(2s);
  EXPECT_FALSE(viewModel_->syncBanner().has_value());
}

TEST_F(PromptListSyncTest, ABannerTimerNeitherKeepsTheViewModelAliveNorTouchesItAfterwards) {
  viewModel_->showSyncBanner("A", true);
  std::weak_ptr<PromptListViewModel> watched = viewModel_;
  loadingFlips_.reset();
  viewModel_.reset();
  EXPECT_TRUE(watched.expired());
  advance(3s);
}

// --- Mirroring events ---------------------------------------------------------------------------

TEST_F(PromptListSyncTest, FailedEventShowsTheBannerForThreeSeconds) {
  monitor_->post(failedEvent(Type::Import, problem(SyncProblem::noAccount)));
  EXPECT_FALSE(viewModel_->syncBanner().has_value());  // handed on by a hop onto the main queue
  bed_.drain();

  EXPECT_EQ(bannerText(), "Sync-Fehler: Kein iCloud Account");
  advance(3s);
  EXPECT_FALSE(viewModel_->syncBanner().has_value());
}

TEST_F(PromptListSyncTest, FailedSetupAndExportShowTheirBannerAndProcessNoHistory) {
  monitor_->stageHistory(/*local=*/true, /*remote=*/true);
  monitor_->post(failedEvent(Type::Setup, problem(SyncProblem::noAccount)));
  monitor_->post(failedEvent(Type::Export, problem(SyncProblem::temporarilyUnavailable)));
  bed_.drain();

  EXPECT_EQ(bannerText(), "Sync-Fehler: iCloud temporär nicht verfügbar");
  EXPECT_EQ(monitor_->historyProcessingCount(), 0);
  EXPECT_TRUE(repository_->fetchedFilters().empty());
}

// An import that could not read one journal still committed the others: the list shows them as
// after a successful import, and the failure keeps its banner and its 3 seconds.
TEST_F(PromptListSyncTest, AFailedImportShowsWhatItAppliedAndKeepsItsBanner) {
  store(samplePrompt("Aus dem Sync-Ordner", {"remote"}));
  monitor_->stageHistory(/*local=*/false, /*remote=*/true);
  monitor_->post(failedEvent(Type::Import, problem(SyncProblem::unavailable, "journal unreadable")));
  bed_.drain();

  EXPECT_EQ(titlesOf(viewModel_->prompts()), Texts{"Aus dem Sync-Ordner"});
  EXPECT_EQ(viewModel_->allTagSuggestions(), Texts{"remote"});
  EXPECT_FALSE(monitor_->pendingRemoteChanges());
  EXPECT_TRUE(loadingHistory_.empty());
  EXPECT_EQ(bannerText(), "Sync-Fehler: Sync aktuell nicht verfügbar.");
  advance(3s);
  EXPECT_FALSE(viewModel_->syncBanner().has_value());

  // The same failure again, with nothing new applied, reloads nothing.
  monitor_->post(failedEvent(Type::Import, problem(SyncProblem::unavailable, "journal unreadable")));
  bed_.drain();
  EXPECT_EQ(monitor_->historyProcessingCount(), 2);
  EXPECT_EQ(repository_->fetchedFilters().size(), 2u);
}

TEST_F(PromptListSyncTest, SuccessfulExportConsumesTheLocalFlagAndReloadsNothing) {
  monitor_->stageHistory(/*local=*/true, /*remote=*/false);
  monitor_->post(endedEvent(Type::Export));
  bed_.drain();

  EXPECT_EQ(monitor_->historyProcessingCount(), 1);
  EXPECT_FALSE(monitor_->pendingLocalChanges());
  EXPECT_TRUE(repository_->fetchedFilters().empty());
  EXPECT_FALSE(viewModel_->syncBanner().has_value());
}

TEST_F(PromptListSyncTest, ImportThatFoundRemoteChangesReloadsWithoutIndicatorAndRefreshesTags) {
  viewModel_->setFilter(PromptFilter{.search = std::string("Fern"), .tags = {}, .type = std::nullopt});
  store(samplePrompt("Fern geschrieben", {"remote"}));  // what the import brought in
  monitor_->stageHistory(/*local=*/false, /*remote=*/true);
  monitor_->post(endedEvent(Type::Import));
  bed_.drain();

  EXPECT_FALSE(monitor_->pendingRemoteChanges());
  EXPECT_EQ(titlesOf(viewModel_->prompts()), Texts{"Fern geschrieben"});
  EXPECT_EQ(viewModel_->allTagSuggestions(), Texts{"remote"});
  ASSERT_EQ(repository_->fetchedFilters().size(), 2u);
  EXPECT_EQ(repository_->fetchedFilters()[0], viewModel_->filter());
  EXPECT_EQ(repository_->fetchedFilters()[1], PromptFilter{});
  EXPECT_TRUE(loadingHistory_.empty());

  // A second import without new history reloads nothing.
  monitor_->post(endedEvent(Type::Import));
  bed_.drain();
  EXPECT_EQ(monitor_->historyProcessingCount(), 2);
  EXPECT_EQ(repository_->fetchedFilters().size(), 2u);
}

TEST_F(PromptListSyncTest, SetupEventProcessesHistoryButTakesNoFlag) {
  monitor_->stageHistory(/*local=*/true, /*remote=*/true);
  monitor_->post(endedEvent(Type::Setup));
  bed_.drain();
  EXPECT_EQ(monitor_->historyProcessingCount(), 1);
  EXPECT_TRUE(monitor_->pendingLocalChanges());
  EXPECT_TRUE(monitor_->pendingRemoteChanges());
  EXPECT_TRUE(repository_->fetchedFilters().empty());
}

TEST_F(PromptListSyncTest, FailedHistoryProcessingIsIgnoredAndTheFlagStillTaken) {
  monitor_->stageHistory(/*local=*/false, /*remote=*/true);
  monitor_->processPersistentHistory({});  // an earlier processing found remote changes
  bed_.drain();
  monitor_->setHistoryFailure(platform::Error("store", 1, "history gone"));
  monitor_->post(endedEvent(Type::Import));
  bed_.drain();

  EXPECT_FALSE(monitor_->pendingRemoteChanges());
  EXPECT_EQ(repository_->fetchedFilters().size(), 2u);
  EXPECT_EQ(bed_.console(), "");
  EXPECT_FALSE(viewModel_->syncBanner().has_value());
}

TEST_F(PromptListSyncTest, EventsReachNoViewModelThatIsGone) {
  monitor_->stageHistory(/*local=*/false, /*remote=*/true);
  monitor_->post(endedEvent(Type::Import));  // delivered, its hop still waiting
  loadingFlips_.reset();
  viewModel_.reset();
  bed_.drain();
  monitor_->post(endedEvent(Type::Import));  // no subscriber any more
  bed_.drain();
  EXPECT_EQ(monitor_->historyProcessingCount(), 0);
}

// --- A damaged library restored from the sync folder ---------------------------------------------

constexpr const char* kKeptAt = "/data/Velloran.sqlite.damaged-1700000000";

std::string restoredNotice(const std::string& restored) {
  return "Die Bibliothek war besch\xC3\xA4"
         "digt." +
         restored +
         " Die besch\xC3\xA4"
         "digte Datei liegt unter " +
         kKeptAt + ".";
}

TEST_F(PromptListSyncTest, ARestoredLibraryIsCountedOnlyOnceThePullHasEnded) {
  monitor_->holdPulls(true);
  bool done = false;
  viewModel_->restoreDamagedStore(kKeptAt, [&] { done = true; });
  bed_.drain();
  EXPECT_EQ(viewModel_->damagedStoreNotice(),
            "Die Bibliothek war besch\xC3\xA4"
            "digt und wird aus dem Sync-Ordner wiederhergestellt. Die "
            "besch\xC3\xA4"
            "digte Datei liegt unter /data/Velloran.sqlite.damaged-1700000000.");
  EXPECT_EQ(monitor_->pullCount(), 1);

  store(samplePrompt("Eins", {"a"}));  // what the import brings while it runs
  store(samplePrompt("Zwei", {"b"}));
  EXPECT_FALSE(done);
  monitor_->releaseHeldPulls();
  bed_.drain();

  const std::string notice = restoredNotice(" 2 Prompts wurden aus dem Sync-Ordner wiederhergestellt.");
  EXPECT_TRUE(done);
  EXPECT_EQ(viewModel_->damagedStoreNotice(), notice);
  EXPECT_EQ(viewModel_->prompts().size(), 2u) << "the grid shows what came back";
  EXPECT_EQ(viewModel_->allTagSuggestions(), (Texts{"a", "b"}));
  EXPECT_EQ(bed_.console(), notice + "\n");
  EXPECT_TRUE(loadingHistory_.empty());
}

TEST_F(PromptListSyncTest, OneRestoredPromptIsSingularAndNoneSaysThatNoneCouldBeRestored) {
  viewModel_->restoreDamagedStore(kKeptAt);
  bed_.drain();
  EXPECT_EQ(viewModel_->damagedStoreNotice(),
            restoredNotice(" Aus dem Sync-Ordner konnte kein Prompt wiederhergestellt werden."));

  store(samplePrompt("Eins"));
  const auto another = PromptListViewModel::make(repository_, monitor_, bed_.environment());
  another->restoreDamagedStore(kKeptAt);
  bed_.drain();
  EXPECT_EQ(another->damagedStoreNotice(),
            restoredNotice(" 1 Prompt wurde aus dem Sync-Ordner wiederhergestellt."));
}

TEST_F(PromptListSyncTest, AFailedPullIsLoggedAndWhatCameInBeforeItStillCounts) {
  store(samplePrompt("Eins"));
  monitor_->setPullFailure(problem(SyncProblem::temporarilyUnavailable, "offline"));
  viewModel_->restoreDamagedStore(kKeptAt);
  bed_.drain();

  const std::string notice = restoredNotice(" 1 Prompt wurde aus dem Sync-Ordner wiederhergestellt.");
  EXPECT_EQ(viewModel_->damagedStoreNotice(), notice);
  EXPECT_EQ(bed_.console(), "Sync fehlgeschlagen: offline\n" + notice + "\n");
}

TEST_F(PromptListSyncTest, ALibraryThatCannotBeCountedGetsNoNumberInsteadOfAWrongOne) {
  store(samplePrompt("Eins"));
  repository_->failNext(ControllableRepository::Operation::Fetch,
                        platform::Error("store", 10, "disk I/O error"));
  viewModel_->restoreDamagedStore(kKeptAt);
  bed_.drain();

  EXPECT_EQ(viewModel_->damagedStoreNotice(), restoredNotice(""));
  EXPECT_EQ(bed_.console(), "Fehler beim Laden der Prompts: disk I/O error\n" + restoredNotice("") + "\n");
  EXPECT_EQ(viewModel_->prompts().size(), 1u) << "the list still loads";
}

TEST_F(PromptListSyncTest, TheNoticeOutlastsTimeAndSyncBannersUntilTheUserClosesIt) {
  int noticeEmits = 0;
  const Subscription noticeSignal = viewModel_->damagedStoreNoticeChanged().connect([&] { ++noticeEmits; });
  viewModel_->restoreDamagedStore(kKeptAt);
  bed_.drain();
  const std::optional<std::string> notice = viewModel_->damagedStoreNotice();
  ASSERT_TRUE(notice);

  monitor_->post(failedEvent(Type::Import, problem(SyncProblem::noAccount)));
  bed_.drain();
  advance(10min);
  EXPECT_FALSE(viewModel_->syncBanner().has_value()) << "the sync banner went its own way";
  EXPECT_EQ(viewModel_->damagedStoreNotice(), notice);
  EXPECT_EQ(noticeEmits, 2);

  viewModel_->dismissDamagedStoreNotice();
  EXPECT_FALSE(viewModel_->damagedStoreNotice().has_value());
  EXPECT_EQ(noticeEmits, 3);
}

TEST_F(PromptListSyncTest, ANoticeClosedBeforeTheCountStaysClosed) {
  monitor_->holdPulls(true);
  viewModel_->restoreDamagedStore(kKeptAt);
  bed_.drain();
  viewModel_->dismissDamagedStoreNotice();
  monitor_->releaseHeldPulls();
  bed_.drain();

  EXPECT_FALSE(viewModel_->damagedStoreNotice().has_value());
  EXPECT_EQ(bed_.console(),
            restoredNotice(" Aus dem Sync-Ordner konnte kein Prompt wiederhergestellt werden.") + "\n");
}

}  // namespace
}  // namespace velloran
