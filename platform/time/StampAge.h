#pragma once
// The age of a stored stamp, for every rule that runs a period after it: a back-off after an
// overloaded answer, the retry steps after a failure, the wait after a refused request or an
// attempt, the lifetime of a fetched document or a kept value, a session's timeout, a window that
// opens at a first event.
//
// A stamp ahead of the clock was written while the clock ran fast and has been set right since. How
// far ahead it lies says nothing about when it was written, and whatever it began has had its time:
// its age is infinite, so every period after it is over at once. Taken as now, it would start its
// whole period again; taken at its word, it would hold everything back until the clock caught up.
// Pure arithmetic over seconds of one time base; any thread.

#include <limits>

#include "platform/value/Value.h"

namespace platform {

// Seconds from `stamp` to `now`; infinity for a stamp ahead of now.
inline double secondsSinceStamp(double stamp, double now) {
  return stamp <= now ? now - stamp : std::numeric_limits<double>::infinity();
}

inline double secondsSinceStamp(Date stamp, Date now) {
  return secondsSinceStamp(stamp.secondsSinceReferenceDate, now.secondsSinceReferenceDate);
}

}  // namespace platform
