#include "platform/dispatch/backend/TimerThread.h"

#include <thread>
#include <vector>

namespace platform::detail {

void TimerThread::arm(std::shared_ptr<TimerState> timer) {
  bool start = false;
  {
    std::lock_guard lock(mutex_);
    schedule_.add(std::move(timer));
    start = !started_;
    started_ = true;
  }
  if (start) {
    std::thread([this] { run(); }).detach();
  } else {
    changed_.notify_one();
  }
}

void TimerThread::run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    std::vector<std::shared_ptr<TimerState>> due;
    std::optional<TimerSchedule::Next> next;
    for (;;) {
      next = schedule_.next(clock_.monotonicNow(), clock_.now());
      if (!next || next->remaining.count() > 0) break;
      schedule_.remove(next->timer);
      due.push_back(std::move(next->timer));
    }
    if (!due.empty()) {
      // Posting takes the queues' locks; do it without holding ours.
      lock.unlock();
      for (const auto& timer : due) timer->fire();
      due.clear();
      lock.lock();
      continue;
    }
    if (!next) {
      changed_.wait(lock);
      continue;
    }
    auto sleep = next->remaining;
    if (schedule_.hasWallTimers()) sleep = std::min<std::chrono::nanoseconds>(sleep, kWallClockRecheck);
    changed_.wait_for(lock, sleep);
  }
}

}  // namespace platform::detail
