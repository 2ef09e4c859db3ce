#pragma once
// How long ago a stored time stamp was, in seconds since 1970 against the clock's now.
//
// A stamp can lie ahead of the clock: written while the wall clock ran fast, read after it was set
// right. It was written in the past all the same, so it never counts as a time still to come: it
// counts as written now. Rules that ask how far a time lies from now, whichever side, take the
// distance instead. Pure arithmetic; any thread.

#include <algorithm>
#include <cmath>

namespace beacon {

// The stamp as a starting point: one ahead of now is now. 0 (never) stays 0.
inline double BMSStampNotAfterNow(double stamp, double now) {
  return std::min(stamp, now);
}

// Seconds since the stamp; 0 for a stamp ahead of now.
inline double BMSStampAge(double stamp, double now) {
  return now - BMSStampNotAfterNow(stamp, now);
}

// Seconds between the stamp and now, on either side.
inline double BMSStampDistance(double stamp, double now) {
  return std::fabs(now - stamp);
}

}  // namespace beacon
