#pragma once
// The origins events and user properties are logged under; every event carries its own as "_o".

namespace beacon {

inline constexpr const char* kApplicationOrigin = "app";  // the application's own calls
inline constexpr const char* kAutomaticOrigin = "auto";   // what the engine logs by itself
inline constexpr const char* kAdReachOrigin = "am";       // the ad-reach integration
inline constexpr const char* kSDKAppOrigin = "ba";        // the SDK's own app-level calls

}  // namespace beacon
