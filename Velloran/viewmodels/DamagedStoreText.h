#pragma once
// What the library tells the user after a damaged library file was set aside at start-up and a new,
// empty library was filled from the sync folder. Every text says that the library was damaged and
// ends with where the damaged file lies now (`keptAt`), so it can be handed to someone who can
// mend it:
//  - while the sync folder's prompts are still coming in: that the library is being restored;
//  - once that import has ended: how many prompts came back, "1 Prompt wurde ..." for one, or that
//    none could be;
//  - when the library could not be counted: no count at all rather than a wrong one.
// Pure functions, safe on any thread.

#include <cstddef>
#include <optional>
#include <string>

namespace velloran {

std::string damagedStoreRestoringText(const std::string& keptAt);

// `restored`: the prompts the library holds once the import ended; none when they could not be read.
std::string damagedStoreRestoredText(const std::string& keptAt, std::optional<std::size_t> restored);

}  // namespace velloran
