#pragma once
// Stored time stamps against the clock's now, in seconds since 1970.
//
// A stamp can lie ahead of the clock: written while the wall clock ran fast, read after it was set
// right. Data stamped so counts as written now; rules that ask how far a time lies from now,
// whichever side, take the distance. Periods that run after a stamp (back-offs, retries,
// lifetimes) end at once instead: platform/time/StampAge.h. Pure arithmetic; any thread.

#include <algorithm>
#include <cmath>

namespace beacon {

// The stamp as a starting point: one ahead of now is now. 0 (never) stays 0.
inline double BMSStampNotAfterNow(double stamp, double now) {
  return std::min(stamp, now);
}

// Seconds between the stamp and now, on either side.
inline double BMSStampDistance(double stamp, double now) {
  return std::fabs(now - stamp);
}

}  // namespace beacon
