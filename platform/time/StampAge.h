#pragma once
// How far a stored stamp lies from the clock's now, by one of two rules; pick the one the period asks
// for. Pure arithmetic over seconds of one time base; any thread.
//
// A stamp ahead of the clock was written while the clock ran fast, or the clock has been set back
// since. How far ahead it lies says nothing about when it was written.
//
// Waits that hold work back after a stamp (a back-off after an overloaded answer, the retry steps
// after a failure, the wait after a refused request, the lifetime of a fetched document, the upload
// schedule) take `secondsSinceStamp`: a stamp ahead has an infinite age, so the wait is over at
// once. Taken as now, it would start its whole wait again; taken at its word, it would hold the work
// back until the clock caught up, a year for a clock that ran a year ahead.
//
// Periods measured as the distance between a stamp and now on either side (a session's timeout, the
// lifetime of a stored deep link or a kept value, a window that opens at a first event, a sampling
// period, the day between look-ups, a conditional user property's limits) take
// `secondsFromStampEitherWay`: a clock set back by a second leaves a second between them, and only
// one set back by more than the period ends it.

#include <cmath>
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

// Seconds between `stamp` and `now`, whichever lies ahead.
inline double secondsFromStampEitherWay(double stamp, double now) {
  return std::fabs(now - stamp);
}

}  // namespace platform
