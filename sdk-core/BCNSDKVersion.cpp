#include "sdk-core/BCNSDKVersion.h"

#include "platform/text/Characters.h"
#include "platform/text/Format.h"
#include "platform/value/Value.h"

namespace beacon {

const std::string& BCNSDKVersion() {
  // Never destroyed, like every such static in this file: SDK queues may still use them while
  // the process's exit handlers run.
  static const std::string& version = *new std::string("12.4.0");
  return version;
}

const std::string& libraryVersionID() {
  static const std::string& identifier = *new std::string([] {
    const std::vector<std::string> parts =
        platform::split(BCNSDKVersion(), [](char32_t c) { return c == '.'; });
    std::string digits;
    for (std::size_t index = 0; index < 3; ++index) {
      const std::int64_t part = index < parts.size() ? platform::Value(parts[index]).integerValue() : 0;
      digits += platform::format("%02d", part);
    }
    return digits + "000";
  }());
  return identifier;
}

}  // namespace beacon
