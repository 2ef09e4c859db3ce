#pragma once
// What an optional identity-support component offers the engine: the resettable advertising
// device ID, whether ad tracking is limited, and the app-data (tracking) consent status.
//
// A program that carries such a component registers the class named
// kBMSPlatformIdentitySupportClassName in the class directory with its shared instance as the
// BMSIdentitySupport facet. Calls may come from any thread.

#include <cstdint>
#include <optional>
#include <string>

namespace beacon {

inline constexpr const char* kBMSPlatformIdentitySupportClassName = "BMSPlatformIdentitySupport";
// The advertising ID a device reports when tracking is off.
inline constexpr const char* kBMSZeroResettableDeviceID = "00000000-0000-0000-0000-000000000000";

class BMSIdentitySupport {
 public:
  virtual ~BMSIdentitySupport() = default;
  virtual bool hasAppDataConsentStatus() = 0;
  virtual std::uint64_t appDataConsentStatus() = 0;
  virtual bool hasLimitedAdTracking() = 0;
  virtual bool limitedAdTracking() = 0;
  virtual std::optional<std::string> resettableDeviceID() = 0;
};

}  // namespace beacon
