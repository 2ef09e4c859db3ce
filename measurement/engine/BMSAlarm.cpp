#include "measurement/engine/BMSAlarm.h"

#include <cmath>
#include <mutex>

#include "measurement/engine/BMSEngineServices.h"
#include "platform/dispatch/Timer.h"
#include "platform/time/SystemClock.h"

namespace beacon {

struct BMSAlarm::State {
  std::mutex mutex;
  platform::Timer timer;
  std::optional<platform::Date> scheduled;
  // Counts armings; a firing carries the count it was armed with and is dropped when it is stale.
  std::uint64_t generation = 0;

  // Needs `mutex` held. Answers whether there was anything to cancel.
  void cancelLocked(const std::string& name) {
    if (!scheduled) return;
    BMSLog(7, 2003, name + " canceled");
    if (!timer || timer.isCancelled()) {
      BMSLog(4, 2004, name + " is not active");
    } else {
      timer.cancel();
    }
    scheduled.reset();
    ++generation;
  }
};

BMSAlarm::BMSAlarm(platform::QueueRef queue, std::string name, std::shared_ptr<const platform::Clock> clock)
    : queue_(std::move(queue)),
      name_(name.empty() ? "Timer" : std::move(name)),
      clock_(clock ? std::move(clock) : platform::SystemClock::sharedPointer()),
      state_(std::make_shared<State>()) {}

BMSAlarm::~BMSAlarm() {
  cancel();
}

void BMSAlarm::runAfterDelay(double delaySeconds, std::function<void()> block) {
  if (!block) {
    BMSLog(1, 2000, name_ + " tried to schedule an empty block");
    return;
  }
  const double delay = std::isfinite(delaySeconds) && delaySeconds > 0 ? delaySeconds : 0;
  {
    std::lock_guard lock(state_->mutex);
    state_->cancelLocked(name_);
    const platform::Date fireAt{clock_->now().secondsSinceReferenceDate + delay};
    state_->scheduled = fireAt;
    const std::uint64_t generation = ++state_->generation;
    std::weak_ptr<State> weakState = state_;
    state_->timer =
        platform::Timer::schedule(queue_, platform::Deadline::atWallTime(fireAt),
                                  [weakState, generation, name = name_, block = std::move(block)] {
                                    const std::shared_ptr<State> state = weakState.lock();
                                    if (!state) return;
                                    {
                                      std::lock_guard lock(state->mutex);
                                      if (state->generation != generation) return;
                                      BMSLog(7, 2001, name + " fired");
                                      state->cancelLocked(name);
                                    }
                                    block();
                                  });
  }
  BMSLog(7, 2002, name_ + " scheduled to fire in approx. (s)", {delay});
}

void BMSAlarm::cancel() {
  std::lock_guard lock(state_->mutex);
  state_->cancelLocked(name_);
}

bool BMSAlarm::hasActiveTimer() const {
  std::lock_guard lock(state_->mutex);
  return state_->timer && !state_->timer.isCancelled();
}

std::optional<platform::Date> BMSAlarm::scheduledTimestamp() const {
  std::lock_guard lock(state_->mutex);
  return state_->scheduled;
}

}  // namespace beacon
