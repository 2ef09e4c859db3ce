#include "Velloran/data/PromptFilter.h"

#include <algorithm>

namespace velloran {

bool tagSetsEqual(const TagSet& a, const TagSet& b) {
  return a.size() == b.size() &&
         std::ranges::all_of(a, [&b](const std::string& tag) { return b.contains(tag); });
}

bool operator==(const PromptFilter& a, const PromptFilter& b) {
  const bool sameSearch = a.search.has_value() == b.search.has_value() &&
                          (!a.search || platform::canonicallyEqual(*a.search, *b.search));
  return sameSearch && tagSetsEqual(a.tags, b.tags) && a.type == b.type;
}

}  // namespace velloran
