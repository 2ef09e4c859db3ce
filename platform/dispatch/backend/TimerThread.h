#pragma once
// Internal: the threaded backend's timer thread. It sleeps until the earliest armed deadline and
// then posts that timer's block to its queue; it never runs user code. Started on the first arm,
// it lives as long as the process.
//
// While a wall-clock timer is armed the thread wakes at least every kWallClockRecheck, so a wall
// clock set forward fires the timer within that much real time of its deadline.

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

#include "platform/dispatch/backend/TimerSchedule.h"
#include "platform/time/Clock.h"

namespace platform::detail {

class TimerThread {
 public:
  static constexpr std::chrono::seconds kWallClockRecheck{1};

  explicit TimerThread(const Clock& clock) : clock_(clock) {}

  void arm(std::shared_ptr<TimerState> timer);

 private:
  void run();

  const Clock& clock_;
  std::mutex mutex_;
  std::condition_variable changed_;
  TimerSchedule schedule_;
  bool started_ = false;
};

}  // namespace platform::detail
