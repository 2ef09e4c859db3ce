#pragma once
// The machine's real clocks behind the Clock interface.

#include "platform/time/Clock.h"

namespace platform {

class SystemClock final : public Clock {
 public:
  // One instance serves the whole process; it holds no state.
  static const SystemClock& shared();

  Date now() const override;
  std::chrono::nanoseconds monotonicNow() const override;
  double secondsSinceBoot() const override;
};

}  // namespace platform
