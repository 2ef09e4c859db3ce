#include "sdk-core/BCNSDKVersion.h"

#include "platform/text/Characters.h"
#include "platform/text/Format.h"
#include "platform/value/Value.h"

namespace beacon {

const std::string& BCNSDKVersion() {
  static const std::string version = "12.4.0";
  return version;
}

const std::string& libraryVersionID() {
  static const std::string identifier = [] {
    const std::vector<std::string> parts =
        platform::split(BCNSDKVersion(), [](char32_t c) { return c == '.'; });
    std::string digits;
    for (std::size_t index = 0; index < 3; ++index) {
      const std::int64_t part = index < parts.size() ? platform::Value(parts[index]).integerValue() : 0;
      digits += platform::format("%02d", part);
    }
    return digits + "000";
  }();
  return identifier;
}

}  // namespace beacon
