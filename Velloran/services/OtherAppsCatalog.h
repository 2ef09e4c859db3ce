#pragma once
// The maker's other applications shown in the settings: their store IDs in display order, each
// with the German sentence that replaces the store's subtitle.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace velloran {

std::vector<std::string> otherAppIDs();
// Keyed by the same IDs as otherAppIDs(), read as integers.
std::map<std::int64_t, std::string> otherAppDescriptions();

}  // namespace velloran
