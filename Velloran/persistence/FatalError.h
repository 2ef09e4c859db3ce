#pragma once
// The end of the process for a failure the application cannot run without (its store, say): the
// message goes to standard error as "Fatal error: <message>", then the process aborts, so the
// failure is visible to whoever started it and never mistaken for a normal exit.

#include <string_view>

namespace velloran {

[[noreturn]] void fatalError(std::string_view message);

}  // namespace velloran
