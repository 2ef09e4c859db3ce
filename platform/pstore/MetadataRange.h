#pragma once
// A bounded read of store metadata: the first values under a key prefix, in key order, as many as the
// range allows. A walk through many keys, or through long values, takes a part at a time, and holds
// no more than that part.

#include <cstddef>
#include <limits>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace platform {

struct MetadataRange {
  std::string prefix;
  // At most `limit` values, and no more of them than fit in `byteLimit` bytes; the first value is
  // taken whatever its length.
  std::size_t limit = std::numeric_limits<std::size_t>::max();
  std::size_t byteLimit = std::numeric_limits<std::size_t>::max();
};

struct MetadataPage {
  // Keys and their values, in key order.
  std::vector<std::pair<std::string, std::string>> values;
  // The key of the first value left out (its value unread); nullopt when none was.
  std::optional<std::string> nextKey;
};

}  // namespace platform
