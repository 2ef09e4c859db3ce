#include "Velloran/viewmodels/TagSuggestions.h"

#include <algorithm>
#include <unordered_set>

#include "platform/text/Characters.h"
#include "platform/text/Normalization.h"
#include "platform/text/Search.h"

namespace velloran {

std::vector<std::string> tagSuggestions(const std::vector<std::string>& tags, std::string_view locale) {
  std::unordered_set<std::string, platform::CanonicalHash, platform::CanonicalEqual> seenLowercase;
  std::vector<std::string> suggestions;
  for (const std::string& tag : tags) {
    std::string trimmedTag = platform::trimmed(tag);
    if (trimmedTag.empty()) continue;
    if (seenLowercase.insert(platform::lowercased(trimmedTag)).second) {
      suggestions.push_back(std::move(trimmedTag));
    }
  }
  std::stable_sort(suggestions.begin(), suggestions.end(),
                   [locale](const std::string& a, const std::string& b) {
                     return platform::localizedCaseInsensitiveCompare(a, b, locale) < 0;
                   });
  return suggestions;
}

}  // namespace velloran
