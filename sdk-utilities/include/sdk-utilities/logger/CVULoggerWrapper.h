#pragma once
// A class-method entry to the logger's sink (CVULogger.h), for callers that hold a ready argument
// list. Never forced.

#include <span>
#include <string_view>

#include "platform/text/Format.h"

namespace beacon {

class CVULoggerWrapper {
 public:
  CVULoggerWrapper() = delete;

  static void logWithLevel(int level, std::string_view service, std::string_view code,
                           std::string_view message, std::span<const platform::FormatArgument> arguments);
};

}  // namespace beacon
