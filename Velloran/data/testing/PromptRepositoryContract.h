#pragma once
// The behaviour every PromptRepository owes its callers, as one value-parameterised suite. A test
// executable includes this header from exactly one source file and instantiates the suite for its
// store:
//
//   INSTANTIATE_TEST_SUITE_P(Store, PromptRepositoryContract, ::testing::Values(target),
//                            velloran::testing::contractTargetName);
//
// The prompts used here are of the kind every store keeps whole: versions numbered upwards that
// refer to their prompt, no runs, no snippets. Where stores legitimately differ, the target says
// which way its store goes, and the tests check that way.

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Velloran/data/PromptError.h"
#include "Velloran/data/PromptRepository.h"
#include "Velloran/data/testing/RepositoryTestSupport.h"
#include "platform/time/ManualClock.h"

namespace velloran::testing {

struct PromptRepositoryContractTarget {
  enum class UnknownPromptOnAddVersion {
    failsWithNotFound,  // the store is unchanged
    createsPrompt,  // an empty prompt (no title, type system, no tags, both dates now) holding the version
  };
  enum class RunRecording {
    appends,  // the run is appended and `updatedAt` set to now; an unknown id fails with notFound
    ignored,  // nothing is stored and nothing fails
  };

  std::string name;
  // A new, empty repository that reads the current time from `clock`.
  std::function<std::shared_ptr<PromptRepository>(std::shared_ptr<const platform::Clock> clock)>
      makeRepository;
  UnknownPromptOnAddVersion unknownPromptOnAddVersion;
  RunRecording runRecording;
};

inline std::string contractTargetName(const ::testing::TestParamInfo<PromptRepositoryContractTarget>& info) {
  return info.param.name;
}

class PromptRepositoryContract : public ::testing::TestWithParam<PromptRepositoryContractTarget> {
 protected:
  platform::Result<PromptList> fetch(PromptFilter filter = {}) {
    return runToCompletion<PromptList>(
        dispatch_, [&](auto done) { repository_->fetchPrompts(std::move(filter), std::move(done)); });
  }
  std::vector<Prompt> fetchAll() {
    auto prompts = fetch();
    EXPECT_TRUE(prompts.ok());
    return prompts.ok() ? valuesOf(*prompts) : std::vector<Prompt>{};
  }
  std::vector<std::string> titlesFound(PromptFilter filter) {
    auto prompts = fetch(std::move(filter));
    EXPECT_TRUE(prompts.ok());
    return prompts.ok() ? titlesOf(*prompts) : std::vector<std::string>{};
  }
  platform::Result<void> save(Prompt prompt) {
    return runToCompletion<void>(dispatch_,
                                 [&](auto done) { repository_->savePrompt(std::move(prompt), done); });
  }
  void saveAll(const std::vector<Prompt>& prompts) {
    for (const Prompt& prompt : prompts) ASSERT_TRUE(save(prompt).ok());
  }
  platform::Result<void> remove(std::vector<platform::UUID> ids) {
    return runToCompletion<void>(dispatch_,
                                 [&](auto done) { repository_->deletePrompt(std::move(ids), done); });
  }
  platform::Result<void> addVersion(PromptVersion version, platform::UUID promptId) {
    return runToCompletion<void>(
        dispatch_, [&](auto done) { repository_->addVersion(std::move(version), promptId, done); });
  }
  platform::Result<void> addRun(PromptRun run, platform::UUID promptId) {
    return runToCompletion<void>(dispatch_,
                                 [&](auto done) { repository_->addRun(std::move(run), promptId, done); });
  }

  static PromptFilter searchFor(std::string text) { return PromptFilter{std::move(text), {}, std::nullopt}; }

  platform::DeterministicDispatch dispatch_;
  std::shared_ptr<PromptRepository> repository_ = GetParam().makeRepository(dispatch_.sharedClock());
};

using Target = PromptRepositoryContractTarget;

TEST_P(PromptRepositoryContract, EmptyStoreFindsNothingWhateverTheFilter) {
  EXPECT_TRUE(fetchAll().empty());
  EXPECT_TRUE(titlesFound(searchFor("a")).empty());
  EXPECT_TRUE(titlesFound(PromptFilter{std::nullopt, {"a"}, PromptType::user}).empty());
}

TEST_P(PromptRepositoryContract, EmptyFilterListsEveryPromptNewestUpdateFirst) {
  saveAll({makePrompt({.id = 1, .title = "ten", .updatedAt = 36000}),
           makePrompt({.id = 2, .title = "twelve", .updatedAt = 43200}),
           makePrompt({.id = 3, .title = "eleven", .updatedAt = 39600})});
  EXPECT_EQ(titlesOf(fetchAll()), (std::vector<std::string>{"twelve", "eleven", "ten"}));
}

// Listings hand out the prompts the store keeps: any listing of an unchanged library, filtered or
// not, shares them; a later change makes new values and never reaches what was handed out.
TEST_P(PromptRepositoryContract, ListingsShareTheKeptPromptsAndKeepWhatTheyWereGiven) {
  const Prompt first = makePrompt({.id = 1, .title = "first", .updatedAt = 2});
  saveAll({first, makePrompt({.id = 2, .title = "second", .updatedAt = 1})});
  const PromptList listed = fetch().value();
  const PromptList again = fetch().value();
  const PromptList searched = fetch(searchFor("sec")).value();
  ASSERT_EQ(listed.size(), 2u);
  ASSERT_EQ(again.size(), 2u);
  ASSERT_EQ(searched.size(), 1u);
  EXPECT_EQ(again[0], listed[0]) << "the same prompt, not a copy";
  EXPECT_EQ(again[1], listed[1]);
  EXPECT_EQ(searched[0], listed[1]) << "a filtered listing shares them too";

  Prompt renamed = first;
  renamed.title = "renamed";
  ASSERT_TRUE(save(renamed).ok());
  const PromptList changed = fetch().value();
  ASSERT_EQ(changed.size(), 2u);
  EXPECT_NE(changed[0], listed[0]);
  EXPECT_EQ(*changed[0], renamed);
  EXPECT_EQ(*listed[0], first) << "what was handed out stays as it was";
}

TEST_P(PromptRepositoryContract, SavedPromptReadsBackWhole) {
  Prompt prompt = makePrompt({.title = "Übersicht", .tags = {"b", "a"}, .type = PromptType::system});
  prompt.versions.push_back(
      PromptVersion{testUUID(60), prompt.id, "Second text", "", 2, platform::Date{950}});
  ASSERT_TRUE(save(prompt).ok());
  EXPECT_EQ(fetchAll(), std::vector<Prompt>{prompt});
}

TEST_P(PromptRepositoryContract, SavingTheSameIdAgainReplacesThePrompt) {
  const Prompt first = makePrompt({.title = "First", .content = "one"});
  Prompt second = makePrompt({.title = "Second", .tags = {"x"}, .content = "two"});
  second.versions.push_back(PromptVersion{testUUID(61), second.id, "three", "", 2, platform::Date{990}});
  saveAll({first, second});
  EXPECT_EQ(fetchAll(), std::vector<Prompt>{second});
}

TEST_P(PromptRepositoryContract, SavingKeepsTheCallersUpdateTime) {
  // The clock stands far later than the prompt's dates: a store that stamped the time would show.
  const Prompt prompt = makePrompt({.updatedAt = 5});
  ASSERT_TRUE(save(prompt).ok());
  const auto stored = fetchAll();
  ASSERT_EQ(stored.size(), 1u);
  EXPECT_EQ(stored[0].updatedAt, platform::Date{5});
  EXPECT_EQ(stored[0].createdAt, prompt.createdAt);
}

TEST_P(PromptRepositoryContract, DeleteRemovesListedPromptsAndSkipsUnknownIds) {
  saveAll({makePrompt({.id = 1, .title = "keep"}), makePrompt({.id = 2, .title = "drop"})});
  ASSERT_TRUE(remove({testUUID(2), testUUID(9)}).ok());
  EXPECT_EQ(titlesOf(fetchAll()), std::vector<std::string>{"keep"});
}

TEST_P(PromptRepositoryContract, DeleteOfNothingSucceedsAndChangesNothing) {
  const Prompt prompt = makePrompt({});
  ASSERT_TRUE(save(prompt).ok());
  EXPECT_TRUE(remove({}).ok());
  EXPECT_TRUE(remove({testUUID(42)}).ok());
  EXPECT_EQ(fetchAll(), std::vector<Prompt>{prompt});
}

TEST_P(PromptRepositoryContract, SearchLooksInTitleAndTagsIgnoringCaseButNotInTheText) {
  saveAll({makePrompt({.id = 1, .title = "Code review", .updatedAt = 3}),
           makePrompt({.id = 2, .title = "Checklist", .tags = {"team", "review"}, .updatedAt = 2}),
           makePrompt({.id = 3, .title = "Summary", .updatedAt = 1, .content = "review this"})});
  EXPECT_EQ(titlesFound(searchFor("REV")), (std::vector<std::string>{"Code review", "Checklist"}));
}

TEST_P(PromptRepositoryContract, AbsentAndEmptySearchAreUnequalButSelectAlike) {
  saveAll({makePrompt({.id = 1, .title = "a", .updatedAt = 2}),
           makePrompt({.id = 2, .title = "b", .updatedAt = 1})});
  const PromptFilter absent;
  const PromptFilter empty = searchFor("");
  EXPECT_NE(absent, empty);
  EXPECT_EQ(titlesFound(empty), titlesFound(absent));
  EXPECT_EQ(titlesFound(empty).size(), 2u);
}

TEST_P(PromptRepositoryContract, SearchTextIsUsedAsGivenWhiteSpaceIncluded) {
  saveAll({makePrompt({.id = 1, .title = "Code review", .updatedAt = 3}),
           makePrompt({.id = 2, .title = "Summary", .tags = {"long form"}, .updatedAt = 2}),
           makePrompt({.id = 3, .title = "Review", .tags = {"solo"}, .updatedAt = 1})});
  EXPECT_EQ(titlesFound(searchFor(" ")), (std::vector<std::string>{"Code review", "Summary"}));
  // Not trimmed: the trailing blank must be found too.
  EXPECT_TRUE(titlesFound(searchFor("review ")).empty());
}

TEST_P(PromptRepositoryContract, SearchRespectsAccents) {
  saveAll({makePrompt({.id = 1, .title = "Übersicht"})});
  EXPECT_EQ(titlesFound(searchFor("übersicht")), std::vector<std::string>{"Übersicht"});
  EXPECT_EQ(titlesFound(searchFor("u\xCC\x88"
                                  "bersicht")),
            std::vector<std::string>{"Übersicht"});
  EXPECT_TRUE(titlesFound(searchFor("ubersicht")).empty());
}

TEST_P(PromptRepositoryContract, TypeFilterKeepsOnlyThatType) {
  saveAll({makePrompt({.id = 1, .title = "custom", .type = PromptType::customRole}),
           makePrompt({.id = 2, .title = "system", .type = PromptType::system}),
           makePrompt({.id = 3, .title = "user", .type = PromptType::user})});
  EXPECT_EQ(titlesFound(PromptFilter{std::nullopt, {}, PromptType::customRole}),
            std::vector<std::string>{"custom"});
  EXPECT_EQ(titlesFound(PromptFilter{std::nullopt, {}, PromptType::user}), std::vector<std::string>{"user"});
}

TEST_P(PromptRepositoryContract, TagFilterRequiresEveryTagExactly) {
  saveAll({makePrompt({.id = 1, .title = "all", .tags = {"b", "c", "a"}, .updatedAt = 4}),
           makePrompt({.id = 2, .title = "only a", .tags = {"a"}, .updatedAt = 3}),
           makePrompt({.id = 3, .title = "capital", .tags = {"A", "b"}, .updatedAt = 2}),
           makePrompt({.id = 4, .title = "untagged", .updatedAt = 1})});
  EXPECT_EQ(titlesFound(PromptFilter{std::nullopt, {"a", "b"}, std::nullopt}),
            std::vector<std::string>{"all"});
  EXPECT_EQ(titlesFound(PromptFilter{std::nullopt, {"A"}, std::nullopt}),
            std::vector<std::string>{"capital"});
}

TEST_P(PromptRepositoryContract, TagFilterComparesCanonicalSpellings) {
  saveAll({makePrompt({.title = "tagged",
                       .tags = {"Gr\xC3\xBC\xC3\x9F"
                                "e"}})});  // precomposed ü
  EXPECT_EQ(titlesFound(PromptFilter{std::nullopt,
                                     {"Gru\xCC\x88\xC3\x9F"
                                      "e"},
                                     std::nullopt}),
            std::vector<std::string>{"tagged"});
}

TEST_P(PromptRepositoryContract, AllConditionsMustHoldTogether) {
  saveAll(
      {makePrompt({.id = 1, .title = "Review A", .tags = {"x"}, .type = PromptType::system, .updatedAt = 4}),
       makePrompt({.id = 2, .title = "Review B", .tags = {"x"}, .type = PromptType::user, .updatedAt = 3}),
       makePrompt({.id = 3, .title = "Review C", .tags = {"y"}, .type = PromptType::system, .updatedAt = 2}),
       makePrompt({.id = 4, .title = "Other", .tags = {"x"}, .type = PromptType::system, .updatedAt = 1})});
  EXPECT_EQ(titlesFound(PromptFilter{"review", {"x"}, PromptType::system}),
            std::vector<std::string>{"Review A"});
}

TEST_P(PromptRepositoryContract, AddVersionAppendsAndMakesThePromptTheNewest) {
  const Prompt older = makePrompt({.id = 1, .title = "older", .updatedAt = 100});
  saveAll({older, makePrompt({.id = 2, .title = "newer", .updatedAt = 200})});
  const PromptVersion second{testUUID(70), older.id, "edited", "", 2, platform::Date{150}};
  ASSERT_TRUE(addVersion(second, older.id).ok());

  const auto prompts = fetchAll();
  ASSERT_EQ(titlesOf(prompts), (std::vector<std::string>{"older", "newer"}));
  EXPECT_EQ(prompts[0].updatedAt, dispatch_.clock().now());
  EXPECT_EQ(prompts[0].versions, (std::vector<PromptVersion>{older.versions[0], second}));
}

TEST_P(PromptRepositoryContract, AddVersionToAnUnknownPrompt) {
  const Prompt stored = makePrompt({.id = 1});
  saveAll({stored});
  const PromptVersion version{testUUID(71), testUUID(9), "orphan", "", 1, platform::Date{10}};
  const auto result = addVersion(version, testUUID(9));

  if (GetParam().unknownPromptOnAddVersion == Target::UnknownPromptOnAddVersion::failsWithNotFound) {
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(promptError(result.error()), PromptError::notFound);
    EXPECT_EQ(fetchAll(), std::vector<Prompt>{stored});
  } else {
    ASSERT_TRUE(result.ok());
    const platform::Date now = dispatch_.clock().now();
    const Prompt created{testUUID(9), "", PromptType::system, {}, false, now, now, {version}, {}, {}};
    EXPECT_EQ(fetchAll(), (std::vector<Prompt>{created, stored}));
  }
}

TEST_P(PromptRepositoryContract, AddRunToAStoredPrompt) {
  const Prompt prompt = makePrompt({.updatedAt = 100});
  saveAll({prompt});
  const PromptRun run{testUUID(80), prompt.id, std::nullopt,       "in", "out", "model",
                      {{"k", "v"}}, 1.5,       platform::Date{120}};
  ASSERT_TRUE(addRun(run, prompt.id).ok());

  Prompt expected = prompt;
  if (GetParam().runRecording == Target::RunRecording::appends) {
    expected.runs = {run};
    expected.updatedAt = dispatch_.clock().now();
  }
  EXPECT_EQ(fetchAll(), std::vector<Prompt>{expected});
}

TEST_P(PromptRepositoryContract, AddRunToAnUnknownPrompt) {
  const Prompt prompt = makePrompt({});
  saveAll({prompt});
  const auto result = addRun(PromptRun{testUUID(81), testUUID(9), {}, "", "", "", {}, 0, {}}, testUUID(9));
  if (GetParam().runRecording == Target::RunRecording::appends) {
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(promptError(result.error()), PromptError::notFound);
  } else {
    EXPECT_TRUE(result.ok());
  }
  EXPECT_EQ(fetchAll(), std::vector<Prompt>{prompt});
}

TEST_P(PromptRepositoryContract, OperationsRunOneAtATimeInCallOrder) {
  const Prompt first = makePrompt({.id = 1, .title = "first"});
  const Prompt renamed = makePrompt({.id = 1, .title = "renamed"});
  const Prompt other = makePrompt({.id = 2, .title = "other"});
  saveAll({other});

  // Queued without draining in between: each must see exactly the ones called before it.
  std::vector<std::string> completed;
  auto note = [&completed](std::string name) {
    return [&completed, name](const platform::Result<void>& result) {
      EXPECT_TRUE(result.ok()) << name;
      completed.push_back(name);
    };
  };
  CompletionProbe<PromptList> before;
  CompletionProbe<PromptList> after;
  repository_->fetchPrompts({}, before.completion());
  repository_->savePrompt(first, note("save first"));
  repository_->savePrompt(renamed, note("save renamed"));
  repository_->deletePrompt({other.id}, note("delete other"));
  repository_->fetchPrompts({}, after.completion());
  EXPECT_TRUE(completed.empty());
  dispatch_.drain();

  EXPECT_EQ(completed, (std::vector<std::string>{"save first", "save renamed", "delete other"}));
  ASSERT_EQ(before.calls(), 1u);
  ASSERT_EQ(after.calls(), 1u);
  EXPECT_EQ(valuesOf(before.result().value()), std::vector<Prompt>{other});
  EXPECT_EQ(valuesOf(after.result().value()), std::vector<Prompt>{renamed});
}

}  // namespace velloran::testing
