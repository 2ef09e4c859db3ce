#pragma once
// A clock that moves only when a test moves it. Thread-safe: tests advance it on their own thread
// while code under test reads it from others.
//
// advance() moves all three readings together, as real time passing does. The others move one
// reading alone, to stage what real machines do: the user setting the wall clock back
// (setNow/advanceWall), or wall time that stands still while steady time runs (advanceMonotonic).

#include <mutex>

#include "platform/time/Clock.h"

namespace platform {

class ManualClock final : public Clock {
 public:
  // 2023-11-14 22:13:20 UTC: an ordinary recent date, so code that formats or compares dates sees
  // nothing unusual.
  static constexpr Date kDefaultStart{721692800.0};
  static constexpr double kDefaultSecondsSinceBoot = 3600.0;

  explicit ManualClock(Date start = kDefaultStart, double secondsSinceBoot = kDefaultSecondsSinceBoot);

  Date now() const override;
  std::chrono::nanoseconds monotonicNow() const override;
  double secondsSinceBoot() const override;

  // Real time passing: wall, monotonic and boot time move together. `by` must not be negative.
  void advance(std::chrono::nanoseconds by);
  // The wall clock alone; it may move backwards.
  void setNow(Date now);
  void advanceWall(std::chrono::nanoseconds by);
  // Monotonic and boot time alone. `by` must not be negative: these readings never go back.
  void advanceMonotonic(std::chrono::nanoseconds by);

 private:
  mutable std::mutex mutex_;
  Date wall_;
  std::chrono::nanoseconds monotonic_{0};
  double secondsSinceBoot_;
};

}  // namespace platform
