#pragma once
// The query of PromptRepository::fetchPrompts: optional search text, a set of tags a prompt must all
// carry, and an optional type. The empty filter (no search, no tags, no type) selects every prompt.
// What each field selects is written once, in PromptFilterMatching.h.
//
// "Absent" and "empty" search differ as values (the filters are unequal) but select the same
// prompts. A plain value, safe to pass between threads; equality only.

#include <optional>
#include <string>
#include <unordered_set>

#include "Velloran/data/PromptType.h"
#include "platform/text/Normalization.h"

namespace velloran {

// Tags as a set under canonical equivalence: two spellings of the same tag are one member.
using TagSet = std::unordered_set<std::string, platform::CanonicalHash, platform::CanonicalEqual>;

struct PromptFilter {
  std::optional<std::string> search;
  TagSet tags;
  std::optional<PromptType> type;
};

// Search both absent or canonically equal; tags equal as sets; type both absent or the same case.
bool operator==(const PromptFilter& a, const PromptFilter& b);

// The same members, compared by canonical equivalence (the set's own operator== compares bytes).
bool tagSetsEqual(const TagSet& a, const TagSet& b);

}  // namespace velloran
