#include "platform/dispatch/backend/TimerState.h"

#include <atomic>
#include <cmath>

namespace platform::detail {
namespace {

std::atomic<std::uint64_t> nextSequence{0};

constexpr double kWallTolerance = 1e-6;

}  // namespace

TimerState::TimerState(QueueRef queue, std::function<void()> block, bool wall,
                       std::chrono::nanoseconds monotonicDeadline, Date wallDeadline)
    : wall(wall),
      monotonicDeadline(monotonicDeadline),
      wallDeadline(wallDeadline),
      sequence(nextSequence.fetch_add(1, std::memory_order_relaxed)),
      queue_(std::move(queue)),
      block_(std::move(block)) {}

std::chrono::nanoseconds TimerState::remaining(std::chrono::nanoseconds monotonicNow, Date wallNow) const {
  if (!wall) return monotonicDeadline - monotonicNow;
  const double seconds = wallDeadline.secondsSinceReferenceDate - wallNow.secondsSinceReferenceDate;
  if (seconds > 0 && seconds < kWallTolerance) return std::chrono::nanoseconds(0);
  return std::chrono::nanoseconds(std::llround(seconds * 1e9));
}

void TimerState::fire() {
  QueueRef queue;
  {
    std::lock_guard lock(mutex_);
    if (cancelled_) return;
    queue = queue_;
  }
  // The block may still be cancelled while it waits in the queue; run() checks again.
  queue->async([self = shared_from_this()] { self->run(); });
}

void TimerState::run() {
  std::function<void()> block;
  {
    std::lock_guard lock(mutex_);
    if (cancelled_ || !block_) return;
    block = std::move(block_);
    block_ = nullptr;
    queue_.reset();
  }
  block();
}

void TimerState::cancel() {
  std::function<void()> released;
  QueueRef queue;
  {
    std::lock_guard lock(mutex_);
    cancelled_ = true;
    released = std::move(block_);
    block_ = nullptr;
    queue = std::move(queue_);
  }
  // Captured objects are destroyed here, outside the lock: their destructors may cancel timers.
}

bool TimerState::isCancelled() const {
  std::lock_guard lock(mutex_);
  return cancelled_;
}

}  // namespace platform::detail
