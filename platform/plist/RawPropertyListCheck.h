#pragma once
// Internal to the plist layer: what the bytes must pass before the parsing library sees them. The
// library recurses once per nesting level (so deep nesting exhausts the stack before any depth check
// of ours could run) and aborts the process on a dictionary key holding a NUL character; both are
// refused here, on the raw bytes, without recursion:
// - binary: the longest chain of container references from the top object, walked iteratively; a
//   chain that loops; a dictionary key (ASCII or UTF-16 string) that holds a NUL;
// - XML: <array>/<dict> nesting counted tag by tag; a character reference to NUL ("&#0;", "&#x0;").
// Anything else the library judges for itself. Pure function, safe from any thread.

#include <optional>
#include <string>
#include <string_view>

namespace platform::plist_detail {

// `maxDepth`: the deepest nesting level allowed, the top object being level 0. Returns why the
// bytes are refused, or nullopt.
std::optional<std::string> rawPropertyListProblem(std::string_view data, int maxDepth);

}  // namespace platform::plist_detail
