#include "Velloran/data/PromptFilterMatching.h"

#include <algorithm>
#include <compare>

#include "platform/text/Search.h"

namespace velloran {

bool isSearchActive(const std::optional<std::string>& search) {
  return search && !search->empty();
}

bool titleOrTagsContain(std::string_view title, const std::vector<std::string>& tags, std::string_view text) {
  if (platform::localizedCaseInsensitiveContains(title, text)) return true;
  return std::ranges::any_of(
      tags, [text](const std::string& tag) { return platform::localizedCaseInsensitiveContains(tag, text); });
}

bool promptMatches(const PromptFilter& filter, const Prompt& prompt) {
  if (isSearchActive(filter.search) && !titleOrTagsContain(prompt.title, prompt.tags, *filter.search)) {
    return false;
  }
  if (filter.type && prompt.type != *filter.type) return false;
  return std::ranges::all_of(filter.tags, [&prompt](const std::string& wanted) {
    return std::ranges::any_of(
        prompt.tags, [&wanted](const std::string& tag) { return platform::canonicallyEqual(tag, wanted); });
  });
}

void sortNewestFirst(std::vector<Prompt>& prompts) {
  // A total order even for a NaN date, which would break a plain `>` comparison and with it the sort.
  std::ranges::sort(prompts, [](const Prompt& a, const Prompt& b) {
    return std::strong_order(a.updatedAt.secondsSinceReferenceDate, b.updatedAt.secondsSinceReferenceDate) >
           0;
  });
}

}  // namespace velloran
