#pragma once
// The SDK's user-agent text: "component/value" pairs of the registered libraries and of fixed facts
// about the environment, sorted ignoring case and joined by single blanks, for example
//   apple-platform/macos appstore/false bcn-install/12.4.0 bcn-ios/12.4.0 deploy/swiftpm ...
// An environment fact replaces a library registered under the same component name. The text is
// built on demand and kept until the next change.
//
// BCNApp keeps the one shared instance; heartbeats carry its text.
// Threads: the object's lock guards every member, so the text is never read half-built.

#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "platform/value/Value.h"

namespace beacon {

class BCNBeaconUserAgent {
 public:
  // The environment pairs: "apple-platform", "apple-sdk" (Info.plist "DTSDKBuild"), "appstore",
  // "deploy", "device", "os-version", "xcode" (Info.plist "DTXcodeBuild"). A fact the program lacks
  // leaves its component out. Worked out anew at each call.
  static platform::Dictionary environmentComponents();

  BCNBeaconUserAgent() = default;
  BCNBeaconUserAgent(const BCNBeaconUserAgent&) = delete;
  BCNBeaconUserAgent& operator=(const BCNBeaconUserAgent&) = delete;

  // Stores `value` under `component`; nullopt removes the component.
  void setValue(std::optional<std::string> value, const std::string& component);

  std::string beaconUserAgent();

  // Drops every registered library: only the environment pairs remain.
  void reset();

 private:
  // The environment pairs, taken from the class method on first use and kept. Needs mutex_ held.
  const platform::Dictionary& cachedEnvironmentComponents();

  std::mutex mutex_;
  std::optional<std::string> beaconUserAgent_;
  std::optional<platform::Dictionary> environmentComponents_;
  platform::Dictionary valuesByComponent_;
};

}  // namespace beacon
