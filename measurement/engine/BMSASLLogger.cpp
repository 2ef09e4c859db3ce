#include "measurement/engine/BMSASLLogger.h"

#include <array>

#include "platform/text/Format.h"
#include "sdk-utilities/logger/CVULogger.h"

namespace beacon {

int BMSASLLogger::CVULoggerLevelFromLogLevel(std::int64_t logLevel) {
  constexpr std::array<int, 9> kLevels = {
      kCVULoggerLevelError,   kCVULoggerLevelError,   kCVULoggerLevelError,
      kCVULoggerLevelWarning, kCVULoggerLevelWarning, kCVULoggerLevelWarning,
      kCVULoggerLevelNotice,  kCVULoggerLevelDebug,   kCVULoggerLevelDebug};
  if (logLevel < 0 || logLevel > 8) return kCVULoggerLevelWarning;
  return kLevels[static_cast<std::size_t>(logLevel)];
}

void BMSASLLogger::logMessage(std::string_view message, std::string_view logTag, std::int64_t messageCode,
                              std::int64_t logLevel) const {
  // The SDK logger writes a text without arguments as it is, so "%" in the message stays literal.
  CVULoggerLogMessage(CVULoggerLevelFromLogLevel(logLevel), logTag, logLevel == 7,
                      platform::format("I-ACS%06ld", messageCode), message);
}

}  // namespace beacon
