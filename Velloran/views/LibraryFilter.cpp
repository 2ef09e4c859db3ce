#include "Velloran/views/LibraryFilter.h"

#include <algorithm>
#include <map>

#include "platform/text/Characters.h"
#include "platform/text/Normalization.h"

namespace velloran {

PromptFilter withSearchText(PromptFilter filter, std::string_view text) {
  std::string trimmed = platform::trimmed(text);
  filter.search = trimmed.empty() ? std::nullopt : std::optional<std::string>(std::move(trimmed));
  return filter;
}

PromptFilter withSelection(PromptFilter filter, std::optional<PromptType> type, const TagSet& tags) {
  filter.type = type;
  filter.tags = tags;
  return filter;
}

std::vector<std::string> filterMenuTags(const PromptList& prompts, const TagSet& selectedTags) {
  // Keyed by the composed form: canonically equal spellings are one tag, and UTF-8 byte order of
  // the composed form is code point order.
  std::map<std::string, std::string> tags;
  const auto add = [&tags](std::string_view tag) {
    std::string trimmed = platform::trimmed(tag);
    if (trimmed.empty()) return;
    tags.emplace(platform::normalizedNFC(trimmed), std::move(trimmed));
  };
  for (const SharedPrompt& prompt : prompts) {
    for (const std::string& tag : prompt->tags) add(tag);
  }
  for (const std::string& tag : selectedTags) {
    // A selected tag is listed exactly as selected, even with blanks around it.
    tags.emplace(platform::normalizedNFC(tag), tag);
  }
  std::vector<std::string> listed;
  listed.reserve(tags.size());
  for (auto& [key, tag] : tags) listed.push_back(std::move(tag));
  return listed;
}

}  // namespace velloran
