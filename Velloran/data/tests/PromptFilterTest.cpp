#include "Velloran/data/PromptFilter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>

#include "Velloran/data/PromptError.h"
#include "Velloran/data/PromptFilterMatching.h"
#include "Velloran/data/testing/RepositoryTestSupport.h"

namespace velloran::testing {
namespace {

TEST(PromptFilterTest, EqualityDistinguishesAbsentFromEmptySearch) {
  EXPECT_EQ(PromptFilter{}, PromptFilter{});
  EXPECT_NE(PromptFilter{}, (PromptFilter{"", {}, std::nullopt}));
  EXPECT_EQ((PromptFilter{"\xC3\xBC", {}, std::nullopt}), (PromptFilter{"u\xCC\x88", {}, std::nullopt}));
  EXPECT_NE((PromptFilter{"a", {}, std::nullopt}), (PromptFilter{"A", {}, std::nullopt}));
  EXPECT_NE((PromptFilter{std::nullopt, {}, PromptType::user}), PromptFilter{});
}

TEST(PromptFilterTest, TagSetsCompareAsSetsOfCanonicalText) {
  EXPECT_EQ((PromptFilter{std::nullopt, {"a", "b"}, std::nullopt}),
            (PromptFilter{std::nullopt, {"b", "a"}, std::nullopt}));
  EXPECT_EQ((PromptFilter{std::nullopt, {"\xC3\xBC"}, std::nullopt}),
            (PromptFilter{std::nullopt, {"u\xCC\x88"}, std::nullopt}));
  EXPECT_NE((PromptFilter{std::nullopt, {"a"}, std::nullopt}),
            (PromptFilter{std::nullopt, {"a", "b"}, std::nullopt}));
  const TagSet spelled{"\xC3\xBC", "u\xCC\x88"};
  EXPECT_EQ(spelled.size(), 1u);
}

// Folded beforehand, a prompt's texts select it exactly as the prompt itself does: a search found
// in the title or in any one tag, not one whose characters only the tags together hold.
TEST(PromptFilterMatchingTest, FoldedTextsSelectAsThePromptItself) {
  const std::vector<Prompt> prompts = {
      makePrompt({.title = "Code review", .tags = {"ab", "cd"}, .type = PromptType::system}),
      makePrompt({.title = "Übersicht", .tags = {"team", "Straße"}}),
      makePrompt({.title = "Ohne", .tags = {}}),
  };
  const auto searching = [](std::string text) {
    PromptFilter filter;
    filter.search = std::move(text);
    return filter;
  };
  std::vector<PromptFilter> filters = {PromptFilter{}};
  for (const char* text : {"REV", "cd", "bc", "übersicht", "strasse", "xyz", "e"})
    filters.push_back(searching(text));
  filters.back().type = PromptType::user;
  filters.push_back(searching("e"));
  filters.back().tags = {"team"};
  for (const PromptFilter& filter : filters) {
    const PromptMatcher matcher(filter);
    for (const Prompt& prompt : prompts) {
      EXPECT_EQ(matcher.matches(prompt, FoldedPromptTexts(prompt, matcher.folding())),
                promptMatches(filter, prompt))
          << prompt.title << " / " << filter.search.value_or("");
    }
  }
  const PromptFilter spreadFilter = searching("bc");
  const PromptMatcher spread(spreadFilter);
  EXPECT_FALSE(spread.matches(prompts[0], FoldedPromptTexts(prompts[0], spread.folding())));
}

TEST(PromptFilterMatchingTest, SortingSurvivesAnUnorderableDate) {
  PromptList prompts;
  for (std::uint8_t id = 1; id <= 40; ++id) {
    Prompt prompt = makePrompt({.id = id, .updatedAt = double(id)});
    if (id == 8) prompt.updatedAt = platform::Date{std::numeric_limits<double>::quiet_NaN()};
    prompts.push_back(std::make_shared<const Prompt>(std::move(prompt)));
  }
  sortNewestFirst(prompts);
  // Apart from the NaN one, whose place is arbitrary, the order is newest first.
  std::vector<double> dates;
  for (const SharedPrompt& prompt : prompts) {
    if (!std::isnan(prompt->updatedAt.secondsSinceReferenceDate))
      dates.push_back(prompt->updatedAt.secondsSinceReferenceDate);
  }
  ASSERT_EQ(dates.size(), 39u);
  EXPECT_TRUE(std::ranges::is_sorted(dates, std::greater<>()));
}

TEST(PromptErrorTest, CarriesItsOwnDomainAndGermanTexts) {
  EXPECT_EQ(localizedDescription(PromptError::notFound), "Eintrag nicht gefunden.");
  EXPECT_EQ(localizedDescription(PromptError::invalidData), "Ung\xC3\xBCltige Daten.");
  EXPECT_EQ(localizedDescription(PromptError::persistenceFailed), "Persistenz fehlgeschlagen.");
  EXPECT_EQ(localizedDescription(PromptError::syncUnavailable), "Sync aktuell nicht verf\xC3\xBCgbar.");

  const platform::Error error = makeError(PromptError::persistenceFailed);
  EXPECT_EQ(error.domain, "Velloran.PromptError");
  EXPECT_EQ(error.code, 2);
  EXPECT_EQ(error.description, "Persistenz fehlgeschlagen.");
  EXPECT_EQ(promptError(error), PromptError::persistenceFailed);
  EXPECT_EQ(promptError(platform::Error("Other.Domain", 0, "x")), std::nullopt);
  EXPECT_EQ(promptError(platform::Error(std::string(kPromptErrorDomain), 4, "x")), std::nullopt);
}

}  // namespace
}  // namespace velloran::testing
