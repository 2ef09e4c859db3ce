#include "Velloran/data/PromptFilterMatching.h"

#include <algorithm>
#include <compare>

#include "platform/text/Normalization.h"

namespace velloran {

bool isSearchActive(const std::optional<std::string>& search) {
  return search && !search->empty();
}

bool titleOrTagsContain(std::string_view title, const std::vector<std::string>& tags, std::string_view text) {
  const platform::CaselessSearch search(text, platform::caseFoldingFor());
  if (search.isFoundIn(title)) return true;
  return std::ranges::any_of(tags, [&search](const std::string& tag) { return search.isFoundIn(tag); });
}

bool promptMatches(const PromptFilter& filter, const Prompt& prompt) {
  return PromptMatcher(filter).matches(prompt);
}

FoldedPromptTexts::FoldedPromptTexts(const Prompt& prompt, platform::CaseFolding folding)
    : title(prompt.title, folding) {
  tags.reserve(prompt.tags.size());
  for (const std::string& tag : prompt.tags) tagUnits |= tags.emplace_back(tag, folding).units();
}

PromptMatcher::PromptMatcher(const PromptFilter& filter)
    : filter_(filter), folding_(platform::caseFoldingFor()) {
  if (isSearchActive(filter.search)) search_.emplace(*filter.search, folding_);
}

bool PromptMatcher::matches(const Prompt& prompt) const {
  if (search_ && !search_->isFoundIn(prompt.title) &&
      std::ranges::none_of(prompt.tags, [this](const std::string& tag) { return search_->isFoundIn(tag); })) {
    return false;
  }
  return matchesTypeAndTags(prompt);
}

bool PromptMatcher::matches(const Prompt& prompt, const FoldedPromptTexts& texts) const {
  if (search_ && !search_->isFoundIn(texts.title) &&
      !(search_->mayBeFoundIn(texts.tagUnits) &&
        std::ranges::any_of(texts.tags,
                            [this](const platform::CaselessText& tag) { return search_->isFoundIn(tag); }))) {
    return false;
  }
  return matchesTypeAndTags(prompt);
}

bool PromptMatcher::matchesTypeAndTags(const Prompt& prompt) const {
  if (filter_.type && prompt.type != *filter_.type) return false;
  return std::ranges::all_of(filter_.tags, [&prompt](const std::string& wanted) {
    return std::ranges::any_of(
        prompt.tags, [&wanted](const std::string& tag) { return platform::canonicallyEqual(tag, wanted); });
  });
}

void sortNewestFirst(PromptList& prompts) {
  // A total order even for a NaN date, which would break a plain `>` comparison and with it the sort.
  std::ranges::sort(prompts, [](const SharedPrompt& a, const SharedPrompt& b) {
    return std::strong_order(a->updatedAt.secondsSinceReferenceDate, b->updatedAt.secondsSinceReferenceDate) >
           0;
  });
}

}  // namespace velloran
