#include "platform/time/ManualClock.h"

#include <stdexcept>

namespace platform {
namespace {

double toSeconds(std::chrono::nanoseconds d) {
  return std::chrono::duration<double>(d).count();
}

void requireForward(std::chrono::nanoseconds by, const char* what) {
  if (by.count() < 0) throw std::invalid_argument(std::string(what) + " cannot move backwards");
}

}  // namespace

ManualClock::ManualClock(Date start, double secondsSinceBoot)
    : wall_(start), secondsSinceBoot_(secondsSinceBoot) {}

Date ManualClock::now() const {
  std::lock_guard lock(mutex_);
  return wall_;
}

std::chrono::nanoseconds ManualClock::monotonicNow() const {
  std::lock_guard lock(mutex_);
  return monotonic_;
}

double ManualClock::secondsSinceBoot() const {
  std::lock_guard lock(mutex_);
  return secondsSinceBoot_;
}

void ManualClock::advance(std::chrono::nanoseconds by) {
  requireForward(by, "time");
  std::lock_guard lock(mutex_);
  wall_.secondsSinceReferenceDate += toSeconds(by);
  monotonic_ += by;
  secondsSinceBoot_ += toSeconds(by);
}

void ManualClock::setNow(Date now) {
  std::lock_guard lock(mutex_);
  wall_ = now;
}

void ManualClock::advanceWall(std::chrono::nanoseconds by) {
  std::lock_guard lock(mutex_);
  wall_.secondsSinceReferenceDate += toSeconds(by);
}

void ManualClock::advanceMonotonic(std::chrono::nanoseconds by) {
  requireForward(by, "monotonic time");
  std::lock_guard lock(mutex_);
  monotonic_ += by;
  secondsSinceBoot_ += toSeconds(by);
}

}  // namespace platform
