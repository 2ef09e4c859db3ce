#include "installations/BCNInstallationsWorkGate.h"

#include "platform/dispatch/MainQueue.h"
#include "platform/dispatch/Queue.h"

namespace beacon {

bool BCNInstallationsWorkGate::enter() {
  std::lock_guard guard(mutex_);
  if (closed_) return false;
  running_.enter();
  return true;
}

void BCNInstallationsWorkGate::leave() {
  running_.leave();
}

bool BCNInstallationsWorkGate::close(std::chrono::nanoseconds bound) {
  {
    std::lock_guard guard(mutex_);
    closed_ = true;
  }
  if (!platform::isMainThread()) return running_.wait(bound);
  platform::Group running = running_;
  return platform::runUntil([running]() mutable { return running.wait(std::chrono::nanoseconds(0)); }, bound);
}

}  // namespace beacon
