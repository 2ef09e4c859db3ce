#pragma once
// One-shot timers that run a block on a queue.
//
// A deadline is either relative on the monotonic clock (unaffected when someone sets the wall
// clock) or an instant on the wall clock (fires when the wall clock reaches it, like an alarm set
// for a time of day; setting the wall clock forward past it fires it). Wall deadlines are compared
// to the microsecond, so a deadline computed as now + delay fires when the clock has moved by the
// delay even where the two sums round differently.
//
// The Timer object owns the timer: destroying it or assigning another timer to it cancels it.
// cancel() may be called from any thread; once it has returned the block will not start (a block
// already running finishes). The block is released on cancel and after it ran.

#include <chrono>
#include <functional>
#include <memory>

#include "platform/dispatch/Queue.h"
#include "platform/value/Value.h"

namespace platform {

namespace detail {
struct TimerState;
}

class Deadline {
 public:
  static Deadline after(std::chrono::nanoseconds delay) { return Deadline(false, delay, Date{}); }
  static Deadline atWallTime(Date when) { return Deadline(true, {}, when); }

  bool isWallTime() const { return wall_; }
  std::chrono::nanoseconds delay() const { return delay_; }
  Date wallTime() const { return when_; }

 private:
  Deadline(bool wall, std::chrono::nanoseconds delay, Date when) : wall_(wall), delay_(delay), when_(when) {}
  bool wall_;
  std::chrono::nanoseconds delay_;
  Date when_;
};

class Timer {
 public:
  // No timer.
  Timer() = default;
  // Arms a timer that runs `block` once on `queue` when `deadline` has passed.
  static Timer schedule(const QueueRef& queue, Deadline deadline, std::function<void()> block);

  Timer(Timer&& other) noexcept = default;
  Timer& operator=(Timer&& other) noexcept;
  ~Timer();

  // True when this object holds a timer (armed, fired or cancelled).
  explicit operator bool() const { return state_ != nullptr; }
  void cancel();
  // True once cancel() was called on a held timer.
  bool isCancelled() const;

 private:
  explicit Timer(std::shared_ptr<detail::TimerState> state) : state_(std::move(state)) {}
  std::shared_ptr<detail::TimerState> state_;
};

}  // namespace platform
