#pragma once
// Whole days between two instants as the user's calendar counts them: in local time, one day has
// passed when the same wall-clock time on the next date is reached, so a day that daylight-saving
// time makes 23 or 25 hours long still counts as one. Negative when `to` lies before `from`.
//
// The local time zone is read anew on every call (the TZ variable or the system's setting).
// nullopt when an instant lies outside what the local calendar can express. Safe on any thread.

#include <cstdint>
#include <optional>

#include "platform/value/Value.h"

namespace velloran {

std::optional<std::int64_t> wholeCalendarDays(platform::Date from, platform::Date to);

}  // namespace velloran
