#pragma once
// How the library window's search field and filter menu turn into the view model's filter, and
// which tags the filter menu lists. Pure functions, safe on any thread.

#include <optional>
#include <string>
#include <vector>

#include "Velloran/data/PromptFilter.h"
#include "Velloran/data/PromptList.h"

namespace velloran {

// The search text as the filter holds it: trimmed of white space and line breaks; none when
// nothing is left. Tags and type stay as they are.
PromptFilter withSearchText(PromptFilter filter, std::string_view text);

// The filter with the menu's choice of type and tags; the search stays as it is.
PromptFilter withSelection(PromptFilter filter, std::optional<PromptType> type, const TagSet& tags);

// The menu's tags: every tag of the listed prompts, trimmed, without empty ones and without
// repeats, together with the selected tags (so a selected tag stays listed when no listed prompt
// carries it), sorted by their Unicode code points. Tags that differ only in letter case are
// different entries.
std::vector<std::string> filterMenuTags(const PromptList& prompts, const TagSet& selectedTags);

}  // namespace velloran
