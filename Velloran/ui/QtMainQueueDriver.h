#pragma once
// Runs the platform main queue (platform/dispatch) from Qt's event loop, so blocks posted to the
// main queue from any thread - completions of the store, sync events, main-queue timers - run on
// the GUI thread between Qt's own events.
//
// Owner: the application's start-up, on the stack of main() after the QApplication is made and
// before exec(); tests make one for as long as they need the main queue driven by Qt. Making it
// installs the driver, destroying it removes it again; afterwards blocks still waiting stay in the
// main queue (nothing drains them unless a pump does).
//
// Each wake-up of the main queue becomes one posted event; its handler runs the blocks waiting at
// that moment, so Qt's input and paint events interleave with long runs of main-queue work.
// Main-queue timers are armed by the dispatch layer's own timer thread and reach Qt through the
// same wake-up.
//
// Threads: make and destroy on the main thread only. One at a time: making a second while one
// exists is a programmer error, and so is making one under the deterministic dispatch backend
// (which drains the main queue itself).

#include <memory>

namespace velloran {

class QtMainQueueDriver {
 public:
  QtMainQueueDriver();
  ~QtMainQueueDriver();
  QtMainQueueDriver(const QtMainQueueDriver&) = delete;
  QtMainQueueDriver& operator=(const QtMainQueueDriver&) = delete;

 private:
  class DrainTarget;
  class Wake;

  std::unique_ptr<DrainTarget> target_;
  std::shared_ptr<Wake> wake_;
};

}  // namespace velloran
