#include "Velloran/data/InMemoryPromptStore.h"

#include <gtest/gtest.h>

#include "Velloran/data/testing/PromptRepositoryContract.h"

namespace velloran::testing {
namespace {

PromptRepositoryContractTarget inMemoryTarget() {
  return {"InMemory",
          [](std::shared_ptr<const platform::Clock> clock) {
            return std::make_shared<InMemoryPromptStore>(std::move(clock));
          },
          PromptRepositoryContractTarget::UnknownPromptOnAddVersion::failsWithNotFound,
          PromptRepositoryContractTarget::RunRecording::appends};
}

INSTANTIATE_TEST_SUITE_P(Store, PromptRepositoryContract, ::testing::Values(inMemoryTarget()),
                         contractTargetName);

class InMemoryPromptStoreTest : public ::testing::Test {
 protected:
  std::vector<Prompt> fetchAll() {
    auto result = runToCompletion<PromptList>(dispatch_, [&](auto done) { store_->fetchPrompts({}, done); });
    EXPECT_TRUE(result.ok());
    return result.ok() ? valuesOf(*result) : std::vector<Prompt>{};
  }
  void save(const Prompt& prompt) {
    ASSERT_TRUE(runToCompletion<void>(dispatch_, [&](auto done) { store_->savePrompt(prompt, done); }).ok());
  }

  platform::DeterministicDispatch dispatch_;
  std::shared_ptr<InMemoryPromptStore> store_ =
      std::make_shared<InMemoryPromptStore>(dispatch_.sharedClock());
};

TEST_F(InMemoryPromptStoreTest, KeepsRunsAndSnippetsOfASavedPrompt) {
  Prompt prompt = makePrompt({});
  prompt.runs.push_back(
      PromptRun{testUUID(20), prompt.id, testUUID(101), "in", "out", "m", {{"t", "0.2"}}, 2, {}});
  prompt.snippets.push_back(Snippet{testUUID(21), "s", "c", {"x"}, true, {}});
  save(prompt);
  EXPECT_EQ(fetchAll(), std::vector<Prompt>{prompt});
}

TEST_F(InMemoryPromptStoreTest, AppendsVersionsAsPassedWithoutRenumbering) {
  const Prompt prompt = makePrompt({});
  save(prompt);
  // A foreign promptRef and a number below the last one stay exactly as given, at the end.
  const PromptVersion odd{testUUID(30), testUUID(99), "odd", "note", 0, platform::Date{1}};
  ASSERT_TRUE(
      runToCompletion<void>(dispatch_, [&](auto done) { store_->addVersion(odd, prompt.id, done); }).ok());
  const auto stored = fetchAll();
  ASSERT_EQ(stored.size(), 1u);
  EXPECT_EQ(stored[0].versions, (std::vector<PromptVersion>{prompt.versions[0], odd}));
}

TEST_F(InMemoryPromptStoreTest, OperationsCalledBeforeTheStoreIsReleasedStillComplete) {
  CompletionProbe<void> saved;
  CompletionProbe<PromptList> fetched;
  store_->savePrompt(makePrompt({}), saved.completion());
  store_->fetchPrompts({}, fetched.completion());
  store_.reset();
  dispatch_.drain();
  EXPECT_EQ(saved.calls(), 1u);
  ASSERT_EQ(fetched.calls(), 1u);
  EXPECT_EQ(fetched.result().value().size(), 1u);
}

TEST_F(InMemoryPromptStoreTest, AnEmptyCompletionIsAllowed) {
  store_->savePrompt(makePrompt({.title = "quiet"}), nullptr);
  dispatch_.drain();
  EXPECT_EQ(titlesOf(fetchAll()), std::vector<std::string>{"quiet"});
}

}  // namespace
}  // namespace velloran::testing
