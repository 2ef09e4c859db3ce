#pragma once
// Internal to the plist layer: ownership of library nodes and the scalar conversions where the
// library's own accessors fall short (its date interface passes int32 seconds, and its integer
// accessor cannot tell a large unsigned value from a negative one).

#include <plist/plist.h>

#include <memory>
#include <optional>
#include <string>

#include "platform/value/Value.h"

namespace platform::plist_detail {

struct NodeFree {
  void operator()(void* node) const { plist_free(static_cast<plist_t>(node)); }
};
// Owns a root node; child nodes belong to their container once inserted.
using OwnedNode = std::unique_ptr<void, NodeFree>;

// The node rendered as an XML property list; empty if the library produced nothing.
std::string nodeAsXml(plist_t node);

// A new date node, or nullptr when the date lies outside the window the library can take.
plist_t newDateNode(const Date& date);
// The date a node holds; nullopt when even its XML rendering cannot be read.
std::optional<Date> readDateNode(plist_t node);

// The integer a node holds: an int64, or a double for unsigned values beyond the int64 range.
Value readIntegerNode(plist_t node);

}  // namespace platform::plist_detail
