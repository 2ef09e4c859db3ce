#include "platform/time/SystemClock.h"

#include <time.h>

namespace platform {

const SystemClock& SystemClock::shared() {
  // Never destroyed: detached threads (the dispatch timer thread among them) may still read the
  // clock while the process exits.
  static const SystemClock* const clock = new SystemClock;
  return *clock;
}

std::shared_ptr<const Clock> SystemClock::sharedPointer() {
  return std::shared_ptr<const Clock>(std::shared_ptr<void>(), &shared());
}

Date SystemClock::now() const {
  const auto sinceEpoch = std::chrono::system_clock::now().time_since_epoch();
  return Date::fromUnixSeconds(std::chrono::duration<double>(sinceEpoch).count());
}

std::chrono::nanoseconds SystemClock::monotonicNow() const {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
      std::chrono::steady_clock::now().time_since_epoch());
}

double SystemClock::secondsSinceBoot() const {
  // The boot-time clock counts suspended time too, unlike the steady clock.
  timespec ts{};
  clock_gettime(CLOCK_BOOTTIME, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

}  // namespace platform
