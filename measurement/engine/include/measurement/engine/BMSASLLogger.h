#pragma once
// The bridge from the engine's log levels to the SDK logger: engine levels 0-2 are errors, 3-5
// warnings, 6 notice and 7-8 debug; anything above 8 is a warning. Level 7 lines are forced out.

#include <cstdint>
#include <string_view>

namespace beacon {

class BMSASLLogger {
 public:
  static int CVULoggerLevelFromLogLevel(std::int64_t logLevel);

  // Writes one line: `message` as it is (never read as a format), `logTag` as the service, the code
  // as "I-ACS%06ld".
  void logMessage(std::string_view message, std::string_view logTag, std::int64_t messageCode,
                  std::int64_t logLevel) const;
};

}  // namespace beacon
