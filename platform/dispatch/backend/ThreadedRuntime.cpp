#include "platform/dispatch/backend/ThreadedRuntime.h"

#include "platform/time/SystemClock.h"

namespace platform::detail {
std::shared_ptr<ThreadedRuntime> ThreadedRuntime::shared() {
  // Deliberately leaked: workers and the timer thread run until the process ends.
  static auto* runtime = [] {
    auto* made = new std::shared_ptr<ThreadedRuntime>(new ThreadedRuntime());
    (*made)->makeSharedQueues();
    return made;
  }();
  return *runtime;
}

ThreadedRuntime::ThreadedRuntime() : timers_(SystemClock::shared()) {}

void ThreadedRuntime::makeSharedQueues() {
  auto self = shared_from_this();
  for (auto qos : {QualityOfService::Background, QualityOfService::Utility, QualityOfService::Default}) {
    globals_[static_cast<std::size_t>(qos)] =
        std::make_shared<ThreadedGlobalQueue>(self, pool_, globalQueueLabel(qos), qos);
  }
  main_ = std::make_shared<ThreadedMainQueue>(self);
}

const Clock& ThreadedRuntime::clock() const {
  return SystemClock::shared();
}

QueueRef ThreadedRuntime::makeSerialQueue(std::string label, QualityOfService qos) {
  return std::make_shared<ThreadedSerialQueue>(shared_from_this(), pool_, std::move(label), qos);
}

QueueRef ThreadedRuntime::globalQueue(QualityOfService qos) {
  return globals_[static_cast<std::size_t>(qos)];
}

QueueRef ThreadedRuntime::mainQueue() {
  return main_;
}

void ThreadedRuntime::schedule(std::shared_ptr<TimerState> timer) {
  timers_.arm(std::move(timer));
}

bool ThreadedRuntime::waitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& changed,
                                const std::function<bool()>& ready,
                                std::optional<std::chrono::nanoseconds> timeout) {
  if (!timeout) {
    changed.wait(lock, ready);
    return true;
  }
  // A timed wait sleeps at least once, for as long as the kernel lets a timer run late (tens of
  // microseconds), even when its time is already up.
  if (*timeout <= std::chrono::nanoseconds::zero()) return ready();
  return changed.wait_for(lock, *timeout, ready);
}

void ThreadedRuntime::setMainQueueDriver(std::shared_ptr<MainQueueDriver> driver) {
  main_->setDriver(std::move(driver));
}

void ThreadedRuntime::drainMainQueue() {
  main_->drain();
}

bool ThreadedRuntime::runUntil(const std::function<bool()>& done, std::chrono::nanoseconds timeout) {
  return main_->runUntil(done, timeout);
}

}  // namespace platform::detail
