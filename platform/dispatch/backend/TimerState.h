#pragma once
// Internal: one armed timer, shared by the Timer handle and the backend that fires it.

#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>

#include "platform/dispatch/Queue.h"
#include "platform/value/Value.h"

namespace platform::detail {

struct TimerState : std::enable_shared_from_this<TimerState> {
  TimerState(QueueRef queue, std::function<void()> block, bool wall,
             std::chrono::nanoseconds monotonicDeadline, Date wallDeadline);

  // Fixed at arming.
  const bool wall;
  const std::chrono::nanoseconds monotonicDeadline;
  const Date wallDeadline;
  const std::uint64_t sequence;  // arming order, to break ties between equal deadlines

  // Time left until the deadline at the given readings; negative when overdue. A wall deadline
  // less than a microsecond ahead counts as reached (zero).
  std::chrono::nanoseconds remaining(std::chrono::nanoseconds monotonicNow, Date wallNow) const;

  // The backend found the deadline reached: post the block to its queue unless cancelled.
  void fire();
  void cancel();
  bool isCancelled() const;

 private:
  void run();

  mutable std::mutex mutex_;
  QueueRef queue_;
  std::function<void()> block_;
  bool cancelled_ = false;
};

}  // namespace platform::detail
