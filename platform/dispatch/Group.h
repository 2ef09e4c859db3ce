#pragma once
// A group counts outstanding pieces of work: enter() before one starts, leave() when it is done.
// Waiters and notifications learn when the count is back to zero.
//
// Group is a handle: copies share one count, so blocks can capture it by value. Waiting under the
// deterministic backend pumps the queues (see DeterministicDispatch.h).

#include <chrono>
#include <functional>
#include <memory>

#include "platform/dispatch/Queue.h"

namespace platform {

class Group {
 public:
  Group();

  void enter();
  // Throws ProgrammerError when it would leave more often than it entered.
  void leave();
  // Runs `block` on `queue` as a member of the group: enter now, leave when the block has run.
  void async(const QueueRef& queue, std::function<void()> block);

  // Runs `block` on `queue` once the count is zero - soon, when it already is (never inline).
  // Every notification registered while the count is above zero runs once, when it next drops to
  // zero.
  void notify(const QueueRef& queue, std::function<void()> block);

  // Waits until the count is zero.
  void wait();
  // Answers false when the count was still above zero after `timeout`.
  bool wait(std::chrono::nanoseconds timeout);

 private:
  struct State;
  std::shared_ptr<State> state_;
};

}  // namespace platform
