#pragma once
// Internal: the armed timers of one backend, in firing order. Monotonic and wall deadlines live in
// separate heaps because their order relative to each other depends on both clocks at the moment
// of asking. Cancelled timers are dropped when they reach the top. Not synchronised: the owning
// backend guards it.

#include <chrono>
#include <memory>
#include <optional>
#include <vector>

#include "platform/dispatch/backend/TimerState.h"

namespace platform::detail {

class TimerSchedule {
 public:
  struct Next {
    std::chrono::nanoseconds remaining;  // negative when overdue
    std::shared_ptr<TimerState> timer;
  };

  void add(std::shared_ptr<TimerState> timer);
  // The timer that fires first at these readings: least time left, then armed first.
  std::optional<Next> next(std::chrono::nanoseconds monotonicNow, Date wallNow);
  // Removes the timer next() answered.
  void remove(const std::shared_ptr<TimerState>& timer);
  bool hasWallTimers() const { return !wall_.empty(); }

 private:
  using Heap = std::vector<std::shared_ptr<TimerState>>;
  static void dropCancelled(Heap& heap, bool wallHeap);

  Heap monotonic_;
  Heap wall_;
};

}  // namespace platform::detail
