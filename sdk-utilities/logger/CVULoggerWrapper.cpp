#include "sdk-utilities/logger/CVULoggerWrapper.h"

#include "sdk-utilities/logger/CVULogger.h"

namespace beacon {

void CVULoggerWrapper::logWithLevel(int level, std::string_view service, std::string_view code,
                                    std::string_view message,
                                    std::span<const platform::FormatArgument> arguments) {
  CVULoggerLogMessage(level, service, false, code, message, arguments);
}

}  // namespace beacon
