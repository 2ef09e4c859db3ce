#pragma once
// Writing a log line to a descriptor the logger does not own.

#include <string_view>

namespace platform::detail {

// Writes all of `data` to `fd`, retrying interrupted and partial writes. A descriptor whose reader
// has gone away (a closed pipe) fails quietly instead of raising the broken-pipe signal that would
// end the process. Other failures are dropped too: a log line is never worth more than the program.
void writeToDescriptor(int fd, std::string_view data);

}  // namespace platform::detail
