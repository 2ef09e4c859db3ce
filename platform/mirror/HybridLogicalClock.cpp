#include "platform/mirror/HybridLogicalClock.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace platform {
namespace {

constexpr int kCounterBits = 16;
// The largest millisecond count whose shifted stamp still fits; far beyond any real date.
constexpr double kLargestMilliseconds = static_cast<double>((std::int64_t{1} << (63 - kCounterBits)) - 1);

}  // namespace

std::int64_t HybridLogicalClock::physicalStamp(Date now) {
  const double milliseconds = std::floor(now.unixSeconds() * 1000.0);
  // A wall clock before 1970 (or not a number) carries no usable time: the counter alone orders.
  if (!(milliseconds > 0)) return 0;
  return static_cast<std::int64_t>(std::min(milliseconds, kLargestMilliseconds)) << kCounterBits;
}

bool HybridLogicalClock::isWithinReachOf(std::int64_t stamp, std::int64_t reference) {
  const std::int64_t lead = static_cast<std::int64_t>(kLargestLead * 1000.0) << kCounterBits;
  return reference > std::numeric_limits<std::int64_t>::max() - lead || stamp <= reference + lead;
}

bool HybridLogicalClock::isWithinReach(std::int64_t stamp, Date now) const {
  return isWithinReachOf(stamp, std::max(physicalStamp(now), wallClock_));
}

std::int64_t HybridLogicalClock::tick(Date now) {
  noteWallClock(now);
  last_ = std::max(tickAboveSeen(), physicalStamp(now));
  return last_;
}

std::int64_t HybridLogicalClock::tickAboveSeen() {
  // A counter overflowing into the milliseconds only moves the stamp a little ahead of the wall
  // clock; order is all that matters. At the very top (a damaged stamp received from elsewhere)
  // the stamp stays there instead of wrapping round below every stamp issued before.
  if (last_ != std::numeric_limits<std::int64_t>::max()) ++last_;
  return last_;
}

void HybridLogicalClock::receive(std::int64_t stamp) {
  last_ = std::max(last_, stamp);
}

void HybridLogicalClock::noteWallClock(Date now) {
  wallClock_ = std::max(wallClock_, physicalStamp(now));
}

}  // namespace platform
