#include "platform/dispatch/Timer.h"

#include "platform/dispatch/backend/Runtime.h"
#include "platform/dispatch/backend/TimerState.h"
#include "platform/error/Error.h"

namespace platform {

Timer Timer::schedule(const QueueRef& queue, Deadline deadline, std::function<void()> block) {
  if (!queue) throw ProgrammerError("NullQueue", "a timer needs a queue to run on");
  if (!block) throw ProgrammerError("NullBlock", "a timer was given an empty block");
  return Timer(detail::runtimeOf(*queue).arm(queue, deadline, std::move(block)));
}

Timer& Timer::operator=(Timer&& other) noexcept {
  if (this != &other) {
    cancel();
    state_ = std::move(other.state_);
  }
  return *this;
}

Timer::~Timer() {
  cancel();
}

void Timer::cancel() {
  if (state_) state_->cancel();
}

bool Timer::isCancelled() const {
  return state_ && state_->isCancelled();
}

}  // namespace platform
