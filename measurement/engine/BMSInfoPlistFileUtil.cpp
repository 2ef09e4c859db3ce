#include "measurement/engine/BMSInfoPlistFileUtil.h"

#include "platform/bundle/Bundle.h"
#include "platform/plist/PropertyList.h"

namespace beacon {

std::optional<std::string> BMSInfoPlistFileUtil::beaconServiceInfoPlistPath() {
  const std::optional<std::filesystem::path> path =
      platform::Bundle::main()->pathForResource("BeaconService-Info", "plist");
  if (!path) return std::nullopt;
  return path->string();
}

std::optional<platform::Dictionary> BMSInfoPlistFileUtil::dictionaryFromBeaconServiceInfoPlist() {
  const std::optional<std::string> path = beaconServiceInfoPlistPath();
  if (!path) return std::nullopt;
  auto contents = platform::readPropertyListFile(*path);
  if (!contents || !contents->isDictionary()) return std::nullopt;
  return *contents->asDictionary();
}

}  // namespace beacon
