#pragma once
// The JSON syntax of one journal line (JournalEntry.h), read in a single pass into plain members
// without building a document: an import reads thousands of lines, and a document of maps per line
// cost more than everything else the reading does. What the members mean is JournalEntry's to judge.
//
// A line is one JSON object. Its members are kept in the order they came; of a name given twice the
// later one counts (find() looks from the back). Only the members of the object "fields" are kept
// from below the top level; any other array or object stands as a Nested value. Text that is not
// JSON, or JSON that is not an object, reads as nothing.
//
// Plain values and a pure function.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace platform::mirror_detail {

// An array or an object, whose contents are not kept.
struct Nested {
  bool object = false;

  friend bool operator==(const Nested&, const Nested&) = default;
};

// JSON numbers as they were written: negative integers, other integers, and the rest.
using LineValue =
    std::variant<std::nullptr_t, bool, std::int64_t, std::uint64_t, double, std::string, Nested>;

struct LineMembers {
  std::vector<std::pair<std::string, LineValue>> members;

  // The member of that name given last, if any.
  const LineValue* find(std::string_view name) const;
  LineValue* find(std::string_view name) { return const_cast<LineValue*>(std::as_const(*this).find(name)); }
};

struct LineSyntax {
  LineMembers top;
  // The members of the last object under "fields" (whether "fields" holds one is told by its
  // top-level member: a Nested object).
  LineMembers fields;
};

std::optional<LineSyntax> readLineSyntax(std::string_view line);

}  // namespace platform::mirror_detail
