#pragma once
// Failures that do not reach the user go to the console as one line: a German text ending in ": ",
// then the error's description. The line is flushed at once, so it is there even if the process
// ends soon after.

#include <iosfwd>
#include <string_view>

#include "platform/error/Error.h"

namespace velloran {

void logFailure(std::ostream& console, std::string_view prefix, const platform::Error& error);

}  // namespace velloran
