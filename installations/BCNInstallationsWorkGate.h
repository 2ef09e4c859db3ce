#pragma once
// Lets an installations controller's storage and network work start until the controller winds down,
// and counts the work that has started and not yet ended, so that winding down can wait for it.
// Once closed, the gate stays closed: nothing that was refused is started later.
//
// Any thread. Work that ends on the main queue ends while close() waits on the main thread, which
// keeps the main queue running; waiting elsewhere needs the main thread to run it.

#include <chrono>
#include <mutex>

#include "platform/dispatch/Group.h"

namespace beacon {

class BCNInstallationsWorkGate {
 public:
  // Whether a piece of work may start; when it may, it counts as running until leave().
  bool enter();
  void leave();

  // Refuses every piece of work from now on and waits, at most `bound`, for those still running.
  // Answers whether they all ended in time.
  bool close(std::chrono::nanoseconds bound);

 private:
  std::mutex mutex_;
  bool closed_ = false;
  platform::Group running_;
};

}  // namespace beacon
