#pragma once
// What a context fetch asks for: the objects of one entity, optionally only those whose attribute
// equals a value, in the order of the sort descriptors, at most fetchLimit of them (0: all).
//
// Equality and order follow the stored values: numbers compare as numbers, texts byte by byte, and
// objects whose value is missing sort first. Objects that compare equal under every descriptor keep
// the order in which they were first stored. A fetch sees the context's unsaved changes: inserted
// objects that match are included, deleted ones are left out, changed values are compared as changed.

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "platform/pstore/AttributeValue.h"

namespace platform {

struct EqualityPredicate {
  std::string key;
  AttributeValue value{};
};

struct SortDescriptor {
  std::string key;
  bool ascending = true;
};

struct FetchRequest {
  std::string entityName;
  std::optional<EqualityPredicate> predicate{};
  std::vector<SortDescriptor> sortDescriptors{};
  std::size_t fetchLimit = 0;
};

}  // namespace platform
