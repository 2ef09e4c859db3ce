#pragma once
// A deep link that arrived before the engine could handle it, kept in the shared engine preferences
// with the time it was stored, and the expiry rule for it. Safe from any thread.

#include <cstdint>
#include <memory>
#include <string_view>

#include "measurement/engine/BMSUserDefaults.h"
#include "platform/time/Clock.h"

namespace beacon {

inline constexpr std::string_view kBMSStoredDeepLinkKey = "/corvane/measurement/deep_link";
inline constexpr std::string_view kBMSStoredDeepLinkTimestampKey =
    "/corvane/measurement/deep_link_timestamp_seconds";

// Stores the URL and now (seconds since 1970).
void BMSStoreDeepLink(BMSUserDefaults& preferences, std::string_view url, const platform::Clock& clock);
void BMSClearStoredDeepLink(BMSUserDefaults& preferences);
// True when a time is stored and now is more than `ttlSeconds` away from it (either way: a clock
// set back does not keep a link for ever).
bool BMSIsStoredDeepLinkExpired(const BMSUserDefaults& preferences, double ttlSeconds,
                                const platform::Clock& clock);
// With the shared preferences and the configuration's attribution cache time: clears the stored link
// when it has expired; answers whether it did.
bool BMSClearExpiredStoredDeepLink(double attributionCacheTTLSeconds, const platform::Clock& clock);

// The start of the hour before the one holding `millisecondsSince1970`.
inline std::int64_t BMSPreviousHourStartMillis(std::int64_t millisecondsSince1970) {
  constexpr std::int64_t kHour = 3600000;
  return millisecondsSince1970 / kHour * kHour - kHour;
}

}  // namespace beacon
