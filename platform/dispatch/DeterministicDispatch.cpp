#include "platform/dispatch/DeterministicDispatch.h"

#include "platform/dispatch/backend/DeterministicRuntime.h"

namespace platform {

DeterministicDispatch::DeterministicDispatch(std::shared_ptr<ManualClock> clock)
    : clock_(std::move(clock)), runtime_(std::make_shared<detail::DeterministicRuntime>(clock_)) {
  runtime_->makeSharedQueues();
  previous_ = detail::exchangeCurrentRuntime(runtime_);
}

DeterministicDispatch::~DeterministicDispatch() {
  detail::exchangeCurrentRuntime(std::move(previous_));
  runtime_->shutDown();
}

void DeterministicDispatch::drain() {
  runtime_->drain();
}

void DeterministicDispatch::advance(std::chrono::nanoseconds by) {
  runtime_->advance(by);
}

ManualClock& DeterministicDispatch::clock() const {
  return *clock_;
}

}  // namespace platform
