#include "Velloran/viewmodels/PromptDetailViewModel.h"

#include <gtest/gtest.h>

#include <thread>

#include "Velloran/data/VersionStamps.h"
#include "Velloran/viewmodels/testing/ControllableRepository.h"
#include "Velloran/viewmodels/testing/ViewModelTestBed.h"

namespace velloran {
namespace {

using namespace std::chrono_literals;
using testing::ControllableRepository;
using testing::samplePrompt;
using Texts = std::vector<std::string>;

class PromptDetailViewModelTest : public ::testing::Test {
 protected:
  void open(Prompt prompt) {
    original_ = prompt;
    repository_->store().savePrompt(prompt, {});
    bed_.drain();
    viewModel_ = PromptDetailViewModel::make(std::move(prompt), repository_, bed_.environment());
    changes_ = viewModel_->promptChanged().connect([this] { ++changeEmits_; });
    bed_.dispatch().advance(60s);  // so "now" differs from the prompt's own dates
  }

  // Saves and answers what the save reported, once everything has run.
  std::optional<bool> save(std::string title, Texts tags, PromptType type, std::string content,
                           std::string notes = "") {
    std::optional<bool> reported;
    viewModel_->save(std::move(title), std::move(tags), type, std::move(content), std::move(notes),
                     [&](bool saved) { reported = saved; });
    EXPECT_FALSE(reported.has_value());  // never inline
    bed_.drain();
    return reported;
  }

  std::optional<Prompt> storedPrompt() {
    std::optional<Prompt> found;
    repository_->store().fetchPrompts({}, [&](platform::Result<PromptList> result) {
      for (const SharedPrompt& prompt : result.value()) {
        if (prompt->id == original_.id) found = *prompt;
      }
    });
    bed_.drain();
    return found;
  }

  testing::ViewModelTestBed bed_;
  std::shared_ptr<ControllableRepository> repository_ =
      std::make_shared<ControllableRepository>(bed_.dispatch().sharedClock());
  Prompt original_;
  std::shared_ptr<PromptDetailViewModel> viewModel_;
  Subscription changes_;
  int changeEmits_ = 0;
};

// --- What counts as a change --------------------------------------------------------------------

TEST_F(PromptDetailViewModelTest, UnchangedValuesOrBlankLinesAtTheEndsOfTheTextWriteNothing) {
  open(samplePrompt("Titel", {"a", "b"}, {"Text"}));
  EXPECT_EQ(save("Titel", {"a", "b"}, PromptType::user, "Text"), false);
  EXPECT_EQ(save("Titel", {"a", "b"}, PromptType::user, "\n  Text\n\n"), false);
  EXPECT_EQ(repository_->saveCount(), 0);
  EXPECT_EQ(changeEmits_, 0);
}

TEST_F(PromptDetailViewModelTest, TitleIsComparedAsPassedAndCaseCounts) {
  open(samplePrompt("Titel", {}, {"Text"}));
  EXPECT_EQ(save(" Titel", {}, PromptType::user, "Text"), true);
  EXPECT_EQ(viewModel_->prompt().title, " Titel");
  EXPECT_EQ(save(" titel", {}, PromptType::user, "Text"), true);
  EXPECT_EQ(save(" titel", {}, PromptType::user, "TEXT"), true);
  EXPECT_EQ(viewModel_->prompt().versions.size(), 2u);
}

TEST_F(PromptDetailViewModelTest, ReorderedTagsAloneMoveUpdatedAtButAddNoVersion) {
  open(samplePrompt("Titel", {"a", "b"}, {"Text"}));
  EXPECT_EQ(save("Titel", {"b", "a"}, PromptType::user, "Text"), true);

  const Prompt& prompt = viewModel_->prompt();
  EXPECT_EQ(prompt.tags, (Texts{"b", "a"}));
  EXPECT_EQ(prompt.versions, original_.versions);
  EXPECT_EQ(prompt.updatedAt, bed_.now());
  EXPECT_EQ(prompt.createdAt, original_.createdAt);
  EXPECT_EQ(storedPrompt(), prompt);
  EXPECT_EQ(changeEmits_, 1);
}

TEST_F(PromptDetailViewModelTest, TypeDecidesTheSystemFlag) {
  open(samplePrompt("Titel", {}, {"Text"}));
  save("Titel", {}, PromptType::system, "Text");
  EXPECT_TRUE(viewModel_->prompt().isSystem);
  save("Titel", {}, PromptType::customRole, "Text");
  EXPECT_FALSE(viewModel_->prompt().isSystem);
  EXPECT_EQ(viewModel_->prompt().type, PromptType::customRole);
}

// --- Versions -----------------------------------------------------------------------------------

TEST_F(PromptDetailViewModelTest, ChangedTextAddsExactlyOneTrimmedVersionInTheSameWriteAsTheMetadata) {
  open(samplePrompt("Alt", {"a"}, {"Eins", "Zwei"}));
  EXPECT_EQ(save("Neu", {"a", "b"}, PromptType::system, "  Drei \n", "Notiz"), true);

  const Prompt& prompt = viewModel_->prompt();
  ASSERT_EQ(prompt.versions.size(), 3u);
  const PromptVersion& added = prompt.versions.back();
  EXPECT_EQ(added.content, "Drei");
  EXPECT_EQ(added.notes, "Notiz");
  EXPECT_EQ(added.versionNumber, 3);
  EXPECT_EQ(added.promptRef, prompt.id);
  EXPECT_EQ(added.createdAt, bed_.now());
  EXPECT_FALSE(added.id.isNil());
  EXPECT_NE(added.id, prompt.versions[1].id);
  EXPECT_EQ(prompt.title, "Neu");
  EXPECT_EQ(repository_->saveCount(), 1);
  EXPECT_EQ(storedPrompt(), prompt);
}

TEST_F(PromptDetailViewModelTest, FirstTextOfAPromptWithoutVersionsIsVersionOne) {
  open(samplePrompt("Titel"));
  EXPECT_EQ(save("Titel", {}, PromptType::user, "   "), false);  // blank text equals no text
  EXPECT_EQ(save("Titel", {}, PromptType::user, "Erster Text"), true);
  ASSERT_EQ(viewModel_->prompt().versions.size(), 1u);
  EXPECT_EQ(viewModel_->prompt().versions[0].versionNumber, 1);
}

TEST_F(PromptDetailViewModelTest, NextNumberFollowsTheLastVersionInTheListNotTheHighest) {
  Prompt prompt = samplePrompt("Titel", {}, {"a", "b", "c"});
  prompt.versions[2].versionNumber = 5;
  open(prompt);
  save("Titel", {}, PromptType::user, "d");
  EXPECT_EQ(viewModel_->prompt().versions.back().versionNumber, 6);

  Prompt reordered = samplePrompt("Titel", {}, {"a", "b"});
  reordered.versions[0].versionNumber = 7;
  open(reordered);
  save("Titel", {}, PromptType::user, "c");
  EXPECT_EQ(viewModel_->prompt().versions.back().versionNumber, 3);
}

TEST_F(PromptDetailViewModelTest, ASaveAfterTheClockWasSetBackIsShownAfterTheVersionItReplaces) {
  Prompt prompt = samplePrompt("Titel", {}, {"a", "b"});
  const platform::Date ahead{bed_.now().secondsSinceReferenceDate + 3600};  // saved before a correction
  prompt.versions[1].createdAt = ahead;
  open(prompt);
  save("Titel", {}, PromptType::user, "c");
  save("Titel", {}, PromptType::user, "d");

  const std::vector<PromptVersion>& versions = viewModel_->prompt().versions;
  ASSERT_EQ(versions.size(), 4u);
  EXPECT_EQ(versions[2].createdAt, stampAfter(ahead, bed_.now()));
  EXPECT_LT(ahead, versions[2].createdAt);
  EXPECT_LT(versions[2].createdAt, versions[3].createdAt);
  EXPECT_EQ(storedPrompt(), viewModel_->prompt());
}

// --- Failures and lifetime ----------------------------------------------------------------------

TEST_F(PromptDetailViewModelTest, FailedSaveKeepsThePromptLogsAndReportsFalse) {
  open(samplePrompt("Titel", {}, {"Text"}));
  repository_->failNext(ControllableRepository::Operation::Save, platform::Error("test", 1, "Platte voll"));
  EXPECT_EQ(save("Neu", {}, PromptType::user, "Anders"), false);
  EXPECT_EQ(viewModel_->prompt(), original_);
  EXPECT_EQ(changeEmits_, 0);
  EXPECT_EQ(bed_.console(), "Änderung konnte nicht gespeichert werden: Platte voll\n");
}

TEST_F(PromptDetailViewModelTest, AFailedWriteIsKeptForTheWindowUntilAWriteSucceeds) {
  open(samplePrompt("Titel", {}, {"Text"}));
  int failureEmits = 0;
  const Subscription failures = viewModel_->saveFailureChanged().connect([&] { ++failureEmits; });
  repository_->failNext(ControllableRepository::Operation::Save,
                        platform::Error("SQLiteErrorDomain", 13, "database or disk is full"));
  EXPECT_EQ(save("Titel", {}, PromptType::user, "Anders"), false);
  EXPECT_EQ(viewModel_->saveFailure(), "Änderung konnte nicht gespeichert werden: Der Datenträger ist voll.");
  EXPECT_EQ(failureEmits, 1);

  // Storing nothing (no change) neither shows nor clears a failure.
  EXPECT_EQ(save("Titel", {}, PromptType::user, "Text"), false);
  EXPECT_TRUE(viewModel_->saveFailure().has_value());

  EXPECT_EQ(save("Titel", {}, PromptType::user, "Anders"), true);
  EXPECT_EQ(viewModel_->saveFailure(), std::nullopt);
  EXPECT_EQ(failureEmits, 2);
}

TEST_F(PromptDetailViewModelTest, PendingSaveFinishesAfterTheEditorLetsGo) {
  open(samplePrompt("Titel", {}, {"Text"}));
  std::optional<bool> reported;
  viewModel_->save("Neu", {}, PromptType::user, "Text", "", [&](bool saved) { reported = saved; });
  changes_.reset();
  viewModel_.reset();
  bed_.drain();
  EXPECT_EQ(reported, true);
  EXPECT_EQ(storedPrompt()->title, "Neu");
}

// --- Deleting -----------------------------------------------------------------------------------

TEST_F(PromptDetailViewModelTest, FailedDeleteReachesTheCallerUnchangedAndSavesWorkAgain) {
  open(samplePrompt("Titel", {}, {"Text"}));
  repository_->failNext(ControllableRepository::Operation::Delete, platform::Error("store", 42, "gesperrt"));
  std::optional<platform::Result<void>> outcome;
  viewModel_->deletePrompt([&](platform::Result<void> result) { outcome = std::move(result); });
  bed_.drain();
  ASSERT_TRUE(outcome.has_value());
  ASSERT_FALSE(outcome->ok());
  EXPECT_TRUE(outcome->error().is("store", 42));
  EXPECT_EQ(outcome->error().description, "gesperrt");
  EXPECT_TRUE(storedPrompt().has_value());
  EXPECT_EQ(save("Neu", {}, PromptType::user, "Text"), true);
}

TEST_F(PromptDetailViewModelTest, SaveCalledWhileADeleteIsPendingNeverPutsThePromptBack) {
  open(samplePrompt("Titel", {}, {"Text"}));
  viewModel_->deletePrompt({});
  // An automatic save firing while the delete waits in the store's queue.
  EXPECT_EQ(save("Neu", {}, PromptType::user, "Text"), false);
  EXPECT_FALSE(storedPrompt().has_value());
  EXPECT_EQ(save("Neuer", {}, PromptType::user, "Text"), false);
  EXPECT_EQ(repository_->saveCount(), 0);
}

TEST_F(PromptDetailViewModelTest, OperationsOffTheMainThreadAreRefused) {
  open(samplePrompt("Titel"));
  bool refused = false;
  std::thread([&] {
    try {
      viewModel_->save("Neu", {}, PromptType::user, "", "", {});
    } catch (const platform::ProgrammerError&) {
      refused = true;
    }
  }).join();
  EXPECT_TRUE(refused);
}

}  // namespace
}  // namespace velloran
