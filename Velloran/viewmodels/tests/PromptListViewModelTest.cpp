// Loading, tag suggestions, deleting and the filter of the library view model, over a store whose
// answers the test controls. Sync and events are in PromptListSyncTest.cpp.

#include "Velloran/viewmodels/PromptListViewModel.h"

#include <gtest/gtest.h>

#include <thread>

#include "Velloran/data/MockSyncService.h"
#include "Velloran/viewmodels/testing/ControllableRepository.h"
#include "Velloran/viewmodels/testing/ViewModelTestBed.h"

namespace velloran {
namespace {

using testing::ControllableRepository;
using testing::samplePrompt;
using testing::titlesOf;
using Operation = ControllableRepository::Operation;
using Texts = std::vector<std::string>;

PromptFilter searchFilter(std::string text) {
  PromptFilter filter;
  filter.search = std::move(text);
  return filter;
}

class PromptListViewModelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    repository_ = std::make_shared<ControllableRepository>(bed_.dispatch().sharedClock());
    viewModel_ =
        PromptListViewModel::make(repository_, std::make_shared<MockSyncService>(), bed_.environment());
    loadingFlips_ = viewModel_->isLoadingChanged().connect(
        [this] { loadingHistory_.push_back(viewModel_->isLoading()); });
    promptsSignal_ = viewModel_->promptsChanged().connect([this] { ++promptsEmits_; });
  }

  void store(const Prompt& prompt) {
    repository_->store().savePrompt(prompt, {});
    bed_.drain();
  }

  testing::ViewModelTestBed bed_;
  std::shared_ptr<ControllableRepository> repository_;
  std::shared_ptr<PromptListViewModel> viewModel_;
  std::vector<bool> loadingHistory_;
  int promptsEmits_ = 0;
  Subscription loadingFlips_;
  Subscription promptsSignal_;
};

// --- Initial state and the filter ---------------------------------------------------------------

TEST_F(PromptListViewModelTest, SettingTheFilterAnnouncesItAndTheNextLoadUsesIt) {
  int filterEmits = 0;
  const Subscription filterSignal = viewModel_->filterChanged().connect([&] { ++filterEmits; });
  store(samplePrompt("Code review", {}, {}, 10));
  store(samplePrompt("Zusammenfassung", {"review"}, {}, 20));
  store(samplePrompt("Brief", {}, {"review im Text"}, 30));

  viewModel_->setFilter(searchFilter("REV"));
  EXPECT_EQ(filterEmits, 1);
  bed_.drain();
  EXPECT_TRUE(repository_->fetchedFilters().empty());  // setting alone does not load

  viewModel_->load(false);
  bed_.drain();
  EXPECT_EQ(repository_->fetchedFilters().back(), searchFilter("REV"));
  EXPECT_EQ(titlesOf(viewModel_->prompts()), (Texts{"Zusammenfassung", "Code review"}));
}

// --- Loading ------------------------------------------------------------------------------------

TEST_F(PromptListViewModelTest, IndicatorIsOnOnlyWhileALoadThatAskedForItRuns) {
  store(samplePrompt("A"));
  viewModel_->load(true);
  EXPECT_TRUE(viewModel_->isLoading());
  bed_.drain();
  EXPECT_FALSE(viewModel_->isLoading());
  EXPECT_EQ(loadingHistory_, (std::vector<bool>{true, false}));

  viewModel_->load(false);
  bed_.drain();
  EXPECT_EQ(loadingHistory_.size(), 2u);  // a load without the indicator never touches it
  EXPECT_EQ(titlesOf(viewModel_->prompts()), Texts{"A"});
}

TEST_F(PromptListViewModelTest, FailedLoadKeepsTheListLogsAndStillEndsTheIndicator) {
  store(samplePrompt("A"));
  viewModel_->load(false);
  bed_.drain();

  store(samplePrompt("B"));
  repository_->failNext(Operation::Fetch, platform::Error("test", 1, "Platte voll"));
  bool done = false;
  viewModel_->load(true, [&] { done = true; });
  bed_.drain();

  EXPECT_TRUE(done);
  EXPECT_EQ(titlesOf(viewModel_->prompts()), Texts{"A"});
  EXPECT_FALSE(viewModel_->isLoading());
  EXPECT_EQ(bed_.console(), "Fehler beim Laden der Prompts: Platte voll\n");
}

TEST_F(PromptListViewModelTest, OverlappingIndicatorLoadsKeepTheIndicatorUntilTheLastEnds) {
  repository_->holdFetches(true);
  viewModel_->load(true);  // start-up
  viewModel_->load(true);  // manual sync meanwhile
  bed_.drain();
  ASSERT_EQ(repository_->heldFetchCount(), 2u);

  repository_->releaseHeldFetch(0);
  EXPECT_TRUE(viewModel_->isLoading());
  repository_->releaseHeldFetch(0);
  EXPECT_FALSE(viewModel_->isLoading());
  EXPECT_EQ(loadingHistory_, (std::vector<bool>{true, false}));
}

TEST_F(PromptListViewModelTest, ResultOfAnOlderLoadArrivingLastNeverOverwritesTheNewerOne) {
  store(samplePrompt("abc"));
  store(samplePrompt("axe"));
  repository_->holdFetches(true);
  viewModel_->setFilter(searchFilter("a"));
  viewModel_->load(false);
  viewModel_->setFilter(searchFilter("ab"));
  viewModel_->load(false);
  bed_.drain();

  repository_->releaseHeldFetch(1);  // the newer answer overtakes the older one
  EXPECT_EQ(titlesOf(viewModel_->prompts()), Texts{"abc"});
  repository_->releaseHeldFetch(0);
  EXPECT_EQ(titlesOf(viewModel_->prompts()), Texts{"abc"});
  EXPECT_EQ(promptsEmits_, 1);
}

TEST_F(PromptListViewModelTest, InOrderAnswersShowOnlyTheLatestRequestsList) {
  store(samplePrompt("abc"));
  store(samplePrompt("axe"));
  viewModel_->setFilter(searchFilter("a"));
  viewModel_->load(false);
  viewModel_->setFilter(searchFilter("ab"));
  viewModel_->load(false);
  bed_.drain();

  // No flicker through the list of a filter already left behind.
  EXPECT_EQ(promptsEmits_, 1);
  EXPECT_EQ(titlesOf(viewModel_->prompts()), Texts{"abc"});
}

// --- Tag suggestions ----------------------------------------------------------------------------

TEST_F(PromptListViewModelTest, TagSuggestionsCoverTheWholeLibraryWhateverTheFilter) {
  store(samplePrompt("A", {" Review ", "review", ""}));
  store(samplePrompt("B", {"Alpha"}));
  PromptFilter narrow = searchFilter("nichts");
  narrow.tags = {"Alpha"};
  narrow.type = PromptType::system;
  viewModel_->setFilter(narrow);

  bool done = false;
  viewModel_->refreshTagSuggestions([&] { done = true; });
  bed_.drain();

  EXPECT_TRUE(done);
  EXPECT_EQ(repository_->fetchedFilters().back(), PromptFilter{});
  EXPECT_EQ(viewModel_->allTagSuggestions(), (Texts{"Alpha", "Review"}));
  EXPECT_EQ(viewModel_->filter(), narrow);
}

TEST_F(PromptListViewModelTest, FailedTagRefreshKeepsTheOldSuggestions) {
  store(samplePrompt("A", {"eins"}));
  viewModel_->refreshTagSuggestions();
  bed_.drain();
  store(samplePrompt("B", {"zwei"}));

  repository_->failNext(Operation::Fetch, platform::Error("test", 1, "kaputt"));
  viewModel_->refreshTagSuggestions();
  bed_.drain();

  EXPECT_EQ(viewModel_->allTagSuggestions(), Texts{"eins"});
  EXPECT_EQ(bed_.console(), "Tags konnten nicht geladen werden: kaputt\n");
}

// --- Deleting -----------------------------------------------------------------------------------

TEST_F(PromptListViewModelTest, DeleteRemovesThePromptThenReloadsAndRefreshesTheSuggestions) {
  const Prompt keep = samplePrompt("Behalten", {"bleibt"});
  const Prompt drop = samplePrompt("Weg", {"geht"});
  store(keep);
  store(drop);
  viewModel_->load(false);
  viewModel_->refreshTagSuggestions();
  bed_.drain();
  const std::size_t fetchesBefore = repository_->fetchedFilters().size();

  bool done = false;
  viewModel_->deletePrompt(drop.id, [&] { done = true; });
  bed_.drain();

  EXPECT_TRUE(done);
  EXPECT_EQ(titlesOf(viewModel_->prompts()), Texts{"Behalten"});
  EXPECT_EQ(viewModel_->allTagSuggestions(), Texts{"bleibt"});
  // The reload with the current filter comes first, then the whole-library fetch of the tags.
  ASSERT_EQ(repository_->fetchedFilters().size(), fetchesBefore + 2);
  EXPECT_TRUE(loadingHistory_.empty());
}

TEST_F(PromptListViewModelTest, FailedDeleteLogsAndReloadsNothing) {
  const Prompt prompt = samplePrompt("Bleibt");
  store(prompt);
  repository_->failNext(Operation::Delete, platform::Error("test", 2, "gesperrt"));

  bool done = false;
  viewModel_->deletePrompt(prompt.id, [&] { done = true; });
  bed_.drain();

  EXPECT_TRUE(done);
  EXPECT_TRUE(repository_->fetchedFilters().empty());
  EXPECT_EQ(bed_.console(), "Prompt konnte nicht gelöscht werden: gesperrt\n");
}

// --- Threads ------------------------------------------------------------------------------------

TEST_F(PromptListViewModelTest, OperationsOffTheMainThreadAreRefused) {
  bool refused = false;
  std::thread([&] {
    try {
      viewModel_->load(false);
    } catch (const platform::ProgrammerError&) {
      refused = true;
    }
  }).join();
  EXPECT_TRUE(refused);
  EXPECT_TRUE(repository_->fetchedFilters().empty());
}

}  // namespace
}  // namespace velloran
