#pragma once
// The query rules every PromptRepository applies, written once so that the in-memory store and the
// persistent store select and order prompts identically.
//
// A prompt is selected when it meets all three conditions of the filter:
//  - Search, only when the search text is present and not empty (white space counts as text; the
//    text is used as given, never trimmed): the title contains the text, or one of the tags does,
//    ignoring case under the user's current locale while accents count ("übersicht" finds
//    "Übersicht", "ubersicht" does not). The prompt's text in its versions is never searched.
//  - Type, only when present: the prompt has exactly that type.
//  - Tags, only when the set is not empty: every filter tag equals one of the prompt's tags
//    (canonical equivalence, case-sensitive), so a prompt must carry all of them.
// Selected prompts come newest `updatedAt` first; prompts with equal `updatedAt` keep no defined
// order.
//
// Pure functions, safe on any thread.

#include <optional>
#include <ranges>
#include <string>
#include <string_view>
#include <vector>

#include "Velloran/data/PromptFilter.h"
#include "Velloran/data/PromptList.h"
#include "Velloran/data/PromptValues.h"
#include "platform/text/CaselessSearch.h"

namespace velloran {

// Present and at least one character long.
bool isSearchActive(const std::optional<std::string>& search);

// The search test shared by prompts and snippets: the title contains `text`, or, failing that, one
// of the tags does (localized case-insensitive containment).
bool titleOrTagsContain(std::string_view title, const std::vector<std::string>& tags, std::string_view text);

bool promptMatches(const PromptFilter& filter, const Prompt& prompt);

// A prompt's title and tags folded once, to be searched many times (PromptMatcher). What the tags
// hold together is kept beside the title, so a search passes over most prompts without reading
// their tags.
struct FoldedPromptTexts {
  FoldedPromptTexts(const Prompt& prompt, platform::CaseFolding folding);

  platform::CaselessText title;
  std::vector<platform::CaselessText> tags;
  platform::CaselessUnits tagUnits;  // of all the tags
};

// The filter made ready to test many prompts: the search text is folded once, under the current
// locale's rules as they are when the matcher is made. The same answers as promptMatches. Keeps a
// reference to the filter, which must outlive it.
class PromptMatcher {
 public:
  explicit PromptMatcher(const PromptFilter& filter);

  // Reads only the title, tags and type: a prompt whose versions are not read yet is tested alike.
  bool matches(const Prompt& prompt) const;
  // The same for the prompt's title and tags folded beforehand by `folding()`'s rules. The prompt
  // itself is read only when the filter asks for a type or tags: a search through thousands of
  // prompts reads the folded texts alone.
  bool matches(const Prompt& prompt, const FoldedPromptTexts& texts) const;

  platform::CaseFolding folding() const { return folding_; }

 private:
  bool matchesTypeAndTags(const Prompt& prompt) const;

  const PromptFilter& filter_;
  platform::CaseFolding folding_;
  std::optional<platform::CaselessSearch> search_;  // only when the search is active
};

void sortNewestFirst(PromptList& prompts);

// The shared prompts that match, newest `updatedAt` first; no prompt is copied.
template <std::ranges::input_range Prompts>
PromptList selectPrompts(const PromptFilter& filter, const Prompts& prompts) {
  const PromptMatcher matcher(filter);
  PromptList selected;
  for (const SharedPrompt& prompt : prompts) {
    if (matcher.matches(*prompt)) selected.push_back(prompt);
  }
  sortNewestFirst(selected);
  return selected;
}

}  // namespace velloran
