#pragma once
// A counting semaphore: wait() takes one unit, signal() gives one back and wakes a waiter.
//
// Semaphore is a handle: copies share one count. Waiting under the deterministic backend pumps the
// queues (see DeterministicDispatch.h).

#include <chrono>
#include <memory>

namespace platform {

class Semaphore {
 public:
  // `initial` must not be negative (ProgrammerError).
  explicit Semaphore(long initial = 0);

  void signal();
  void wait();
  // Answers false, taking nothing, when no unit became free within `timeout`.
  bool wait(std::chrono::nanoseconds timeout);

 private:
  struct State;
  std::shared_ptr<State> state_;
};

}  // namespace platform
