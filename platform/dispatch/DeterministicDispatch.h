#pragma once
// The deterministic backend, for tests: nothing runs until the test says so, and time is a
// ManualClock.
//
// While a DeterministicDispatch exists, every queue, global queue, main queue, timer, group,
// semaphore and operation queue made afterwards belongs to it (objects made before keep their
// backend). Each queue is a FIFO; the thread that created the DeterministicDispatch (the test
// thread) runs every block:
//  - drain() runs everything runnable: waiting blocks, one per queue in turn, and timers already
//    due, until nothing is left.
//  - advance(d) lets d of virtual time pass: timers fire in deadline order (ties in the order they
//    were armed), the clock standing at each timer's deadline while it fires, draining between
//    them; then the clock stands at start + d.
//  - sync from the test thread first runs the target queue's earlier blocks, then the block
//    inline; a sync onto a global queue runs at once.
//  - Waiting on a group, a semaphore or an operation queue from the test thread drains while it
//    waits; when nothing is runnable, virtual time passes (up to the next timer, and no further
//    than the wait's timeout). An endless wait with nothing runnable and no timer armed sleeps
//    until another thread posts work.
//  - The pump (runUntil, runMainQueueFor) drains everything and sleeps in real time for work that
//    other threads post; it does not move the virtual clock.
// Other threads may post (async, asyncAfter, signal, leave) at any time; their blocks run when
// the test thread next drains. A sync or wait from another thread blocks until the test thread
// has run what it waits for; its timeout is measured in real time.
//
// Destroying the DeterministicDispatch brings back the backend that was in place before and drops
// the blocks and timers still waiting (a sync caller on another thread gets a ProgrammerError).

#include <chrono>
#include <memory>

#include "platform/time/ManualClock.h"

namespace platform {

namespace detail {
class DeterministicRuntime;
class Runtime;
}  // namespace detail

class DeterministicDispatch {
 public:
  explicit DeterministicDispatch(std::shared_ptr<ManualClock> clock = std::make_shared<ManualClock>());
  ~DeterministicDispatch();
  DeterministicDispatch(const DeterministicDispatch&) = delete;
  DeterministicDispatch& operator=(const DeterministicDispatch&) = delete;

  // Both: test thread only (ProgrammerError elsewhere).
  void drain();
  void advance(std::chrono::nanoseconds by);

  ManualClock& clock() const;
  const std::shared_ptr<ManualClock>& sharedClock() const { return clock_; }

 private:
  std::shared_ptr<ManualClock> clock_;
  std::shared_ptr<detail::DeterministicRuntime> runtime_;
  std::shared_ptr<detail::Runtime> previous_;
};

}  // namespace platform
