#pragma once
// A heartbeat records that the SDK was used on a given day under a given user-agent text, and for
// which counting periods it counts. Plain values without locking.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/value/Value.h"
#include "sdk-core/heartbeat/HeartbeatsPayload.h"

namespace beacon {

// A counting period; its integer is what the stored form holds.
enum class TimePeriod : std::int64_t { daily = 1 };

inline constexpr std::array<TimePeriod, 1> kAllTimePeriods{TimePeriod::daily};

// The period's length in seconds.
double timeInterval(TimePeriod period);

// The period stored as `rawValue`; nullopt for a number that names none.
std::optional<TimePeriod> timePeriodFromRawValue(std::int64_t rawValue);

struct Heartbeat {
  std::string agent;
  // The day of the heartbeat; the controller always hands in the start of a UTC day.
  platform::Date date;
  std::int64_t version = 0;
  std::vector<TimePeriod> timePeriods;

  // One user agent with this one date.
  HeartbeatsPayload makePayload() const;

  friend bool operator==(const Heartbeat&, const Heartbeat&) = default;
};

}  // namespace beacon
