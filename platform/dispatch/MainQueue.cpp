#include "platform/dispatch/MainQueue.h"

#include "platform/dispatch/backend/Runtime.h"

namespace platform {

void setMainQueueDriver(std::shared_ptr<MainQueueDriver> driver) {
  detail::currentRuntime()->setMainQueueDriver(std::move(driver));
}

void drainMainQueue() {
  detail::currentRuntime()->drainMainQueue();
}

bool runUntil(const std::function<bool()>& done, std::chrono::nanoseconds timeout) {
  return detail::currentRuntime()->runUntil(done, timeout);
}

void runMainQueueFor(std::chrono::nanoseconds duration) {
  detail::currentRuntime()->runUntil([] { return false; }, duration);
}

}  // namespace platform
