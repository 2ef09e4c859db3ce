#pragma once
// The machine's real clocks behind the Clock interface.

#include <memory>

#include "platform/time/Clock.h"

namespace platform {

class SystemClock final : public Clock {
 public:
  // One instance serves the whole process; it holds no state.
  static const SystemClock& shared();
  // The same instance for components that hold their clock by shared pointer; it only refers to the
  // instance, which is never destroyed.
  static std::shared_ptr<const Clock> sharedPointer();

  Date now() const override;
  std::chrono::nanoseconds monotonicNow() const override;
  double secondsSinceBoot() const override;
};

}  // namespace platform
