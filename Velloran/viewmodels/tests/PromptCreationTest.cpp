// Creating a prompt from the create sheet's draft and copying one, with the analytics events they
// log through the recording SDK.

#include <gtest/gtest.h>

#include "Velloran/data/MockSyncService.h"
#include "Velloran/viewmodels/PromptListViewModel.h"
#include "Velloran/viewmodels/testing/ControllableRepository.h"
#include "Velloran/viewmodels/testing/ViewModelTestBed.h"

namespace velloran {
namespace {

using platform::Value;
using testing::ControllableRepository;
using testing::logEventCall;
using testing::samplePrompt;
using testing::titlesOf;
using Calls = std::vector<testing::AnalyticsSdkCall>;
using Texts = std::vector<std::string>;

AnalyticsParameters promptParameters(const char* type, std::int64_t tagsCount, std::int64_t isSystem) {
  return {{"type", Value(type)}, {"tags_count", Value(tagsCount)}, {"is_system", Value(isSystem)}};
}

class PromptCreationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    repository_ = std::make_shared<ControllableRepository>(bed_.dispatch().sharedClock());
    viewModel_ =
        PromptListViewModel::make(repository_, std::make_shared<MockSyncService>(), bed_.environment());
  }

  // Runs the create road to its end and answers what `done` reported.
  std::optional<bool> create(const PromptDraft& draft) {
    std::optional<bool> reported;
    viewModel_->createPrompt(draft, [&](platform::Result<void> saved) {
      reported = saved.ok();
      // The list is already reloaded when the road reports.
      listedWhenReported_ = titlesOf(viewModel_->prompts());
    });
    EXPECT_FALSE(reported.has_value());
    bed_.drain();
    return reported;
  }

  std::vector<Prompt> stored() {
    std::vector<Prompt> prompts;
    repository_->store().fetchPrompts(
        {}, [&](platform::Result<PromptList> result) { prompts = testing::valuesOf(result.value()); });
    bed_.drain();
    return prompts;
  }

  testing::ViewModelTestBed bed_;
  std::shared_ptr<ControllableRepository> repository_;
  std::shared_ptr<PromptListViewModel> viewModel_;
  Texts listedWhenReported_;
};

TEST_F(PromptCreationTest, CreateStoresReloadsRefreshesAndThenLogsPromptCreate) {
  const auto reported = create(PromptDraft{
      .title = " Review ", .type = PromptType::system, .tags = {"code", "qa"}, .content = " Prüfe. "});

  EXPECT_EQ(reported, true);
  const std::vector<Prompt> prompts = stored();
  ASSERT_EQ(prompts.size(), 1u);
  EXPECT_EQ(prompts[0].title, "Review");
  EXPECT_EQ(prompts[0].versions.at(0).content, "Prüfe.");
  EXPECT_EQ(prompts[0].createdAt, bed_.now());
  EXPECT_EQ(listedWhenReported_, Texts{"Review"});
  EXPECT_EQ(viewModel_->allTagSuggestions(), (Texts{"code", "qa"}));
  EXPECT_EQ(bed_.sdk().events(), (Calls{logEventCall("prompt_create", promptParameters("System", 2, 1))}));
}

TEST_F(PromptCreationTest, FailedSaveReportsFalseLogsAndSendsNoEvent) {
  repository_->failNext(ControllableRepository::Operation::Save, platform::Error("test", 1, "voll"));
  const auto reported = create(PromptDraft{.title = "a", .content = "b"});

  EXPECT_EQ(reported, false);
  EXPECT_EQ(bed_.console(), "Prompt konnte nicht angelegt werden: voll\n");
  EXPECT_TRUE(repository_->fetchedFilters().empty());
  EXPECT_TRUE(bed_.sdk().events().empty());
}

TEST_F(PromptCreationTest, DraftThatCannotBeSavedWritesNothing) {
  EXPECT_EQ(create(PromptDraft{.title = "  ", .content = "Inhalt"}), false);
  EXPECT_EQ(create(PromptDraft{.title = "Titel", .content = "\n"}), false);
  EXPECT_EQ(repository_->saveCount(), 0);
  EXPECT_TRUE(bed_.sdk().events().empty());
}

TEST_F(PromptCreationTest, CopyHandsBackTheTextAndLogsPromptCopy) {
  Prompt prompt = samplePrompt("Titel", {"x", "y", "z"}, {"alt", " neu "});
  prompt.type = PromptType::customRole;
  EXPECT_EQ(viewModel_->copyPrompt(prompt), "neu");
  EXPECT_EQ(bed_.sdk().events(), (Calls{logEventCall("prompt_copy", promptParameters("Custom Role", 3, 0))}));
}

TEST_F(PromptCreationTest, CopyOfAPromptWithoutAnyTextDoesNothing) {
  EXPECT_EQ(viewModel_->copyPrompt(samplePrompt("")), std::nullopt);
  EXPECT_TRUE(bed_.sdk().events().empty());
}

}  // namespace
}  // namespace velloran
