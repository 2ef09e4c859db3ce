#pragma once
// The SDK's configuration file "BeaconService-Info.plist", looked up in the main bundle (the SDK is
// linked into the program, so its own bundle is the same one). Class methods; any thread.

#include <optional>
#include <string>

#include "platform/value/Value.h"

namespace beacon {

class BMSInfoPlistFileUtil {
 public:
  static std::optional<std::string> beaconServiceInfoPlistPath();
  // Empty when there is no such file or it is not a readable dictionary.
  static std::optional<platform::Dictionary> dictionaryFromBeaconServiceInfoPlist();
};

}  // namespace beacon
