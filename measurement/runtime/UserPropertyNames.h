#pragma once
// Names of the internal user properties that both the facade and the engine treat specially.

namespace beacon {

// The application's user ID.
inline constexpr const char* kUserIDName = "_id";
// Set once the advertising identifier was reset; cleared with the user ID.
inline constexpr const char* kLastAdvertisingIDResetName = "_lair";
// 1 when ads must not be personalised, 0 when they may be.
inline constexpr const char* kNonPersonalizedAdsName = "_npa";

}  // namespace beacon
