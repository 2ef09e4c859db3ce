#include "platform/dispatch/Semaphore.h"

#include <condition_variable>
#include <mutex>

#include "platform/dispatch/backend/Runtime.h"
#include "platform/error/Error.h"

namespace platform {

struct Semaphore::State {
  std::shared_ptr<detail::Runtime> runtime = detail::currentRuntime();
  std::mutex mutex;
  std::condition_variable signalled;
  long value = 0;

  bool take(std::optional<std::chrono::nanoseconds> timeout) {
    std::unique_lock lock(mutex);
    if (!runtime->waitUntil(
            lock, signalled, [this] { return value > 0; }, timeout))
      return false;
    --value;
    return true;
  }
};

Semaphore::Semaphore(long initial) : state_(std::make_shared<State>()) {
  if (initial < 0) throw ProgrammerError("NegativeSemaphore", "a semaphore cannot start below zero");
  state_->value = initial;
}

void Semaphore::signal() {
  // The woken waiter may destroy the handle this was called on; keep the state alive until done.
  const auto state = state_;
  {
    std::lock_guard lock(state->mutex);
    ++state->value;
  }
  state->signalled.notify_all();  // a waiter whose timeout just ran out may take a lone wake-up
  state->runtime->stateChanged();
}

void Semaphore::wait() {
  state_->take(std::nullopt);
}

bool Semaphore::wait(std::chrono::nanoseconds timeout) {
  return state_->take(timeout);
}

}  // namespace platform
