#pragma once
// The clock every time-reading component takes by injection, so tests can drive time by hand.
//
// Three readings, because they answer different questions:
//  - now(): the wall clock as a Date. It is what users and servers call "the time"; it can jump
//    backwards or forwards when the clock is set.
//  - monotonicNow(): a steady count from an arbitrary origin that never decreases. It measures
//    intervals and drives relative timers; it does not advance while the machine is suspended.
//  - secondsSinceBoot(): time since the machine started, including time spent suspended. It
//    restarts from zero after a reboot, which is how "wait an hour, unless the machine rebooted"
//    rules tell the two apart.
//
// Implementations are safe to read from any thread.

#include <chrono>

#include "platform/value/Value.h"

namespace platform {

class Clock {
 public:
  virtual ~Clock() = default;

  virtual Date now() const = 0;
  virtual std::chrono::nanoseconds monotonicNow() const = 0;
  virtual double secondsSinceBoot() const = 0;
};

}  // namespace platform
