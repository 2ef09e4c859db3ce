#pragma once
// Driving the main queue.
//
// The main queue's blocks run on the main thread whenever something drains it. Two things can:
//  - A MainQueueDriver, told whenever the queue gets work, arranges for drainMainQueue() to be
//    called on the main thread soon. The application installs one built on its event loop.
//  - The pump: runUntil / runMainQueueFor, called on the main thread by tests and command-line
//    tools, drain the queue while they wait. They work with or without a driver installed.
//
// With the deterministic backend the test's drain() / advance() run the main queue as well, and
// the pump drains every queue (see DeterministicDispatch.h).

#include <chrono>
#include <functional>
#include <memory>

namespace platform {

class MainQueueDriver {
 public:
  virtual ~MainQueueDriver() = default;
  // Called on any thread, possibly with the queue's internal lock released but from inside
  // async(): must only post a wake-up (never run blocks inline, never block).
  virtual void scheduleDrain() = 0;
};

// Installs the driver of the threaded backend's main queue; nullptr leaves only the pump.
// Refused (ProgrammerError) under the deterministic backend, which drains the main queue itself.
void setMainQueueDriver(std::shared_ptr<MainQueueDriver> driver);

// Runs the main queue's waiting blocks. Main thread only; does nothing when called from inside a
// main-queue block (the main queue is serial).
void drainMainQueue();

// Pumps until `done()` answers true or `timeout` of real time has passed; answers done().
// Main thread only.
bool runUntil(const std::function<bool()>& done, std::chrono::nanoseconds timeout);
// Pumps for `duration` of real time.
void runMainQueueFor(std::chrono::nanoseconds duration);

}  // namespace platform
