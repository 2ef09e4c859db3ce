#pragma once
// The per-event-name counters of the measurement database: how often an event was logged in total,
// in the current bundle and in the current session, and its sampling state. Made and used on the
// worker queue; not locked.

#include <cstdint>
#include <optional>
#include <string>

namespace beacon {

class BMSEventAggregates {
 public:
  // Nothing for a name that is not a valid internal event name, or (logging 17000) a negative count.
  static std::optional<BMSEventAggregates> initWithName(const std::string& name, std::int32_t lifetimeCount,
                                                        std::int32_t currentBundleCount,
                                                        std::int32_t currentSessionCount,
                                                        double lastFireTimestamp);

  const std::string& name() const { return name_; }
  std::int32_t lifetimeCount() const { return lifetimeCount_; }
  std::int32_t currentBundleCount() const { return currentBundleCount_; }
  std::int32_t currentSessionCount() const { return currentSessionCount_; }
  double lastFireTimestamp() const { return lastFireTimestamp_; }

  // Each counter rises by one; at 2147483647 it wraps to 0 and logs 17001, 17002 or 17003.
  void incrementLifetimeCount();
  void incrementCurrentBundleCount();
  void incrementCurrentSessionCount();

  double lastBundledTimestamp = 0;
  std::optional<std::int64_t> lastSampledComplexEventID;
  std::int32_t lastSamplingRate = 1;
  bool lastExemptFromSampling = false;
  std::int32_t lastBundledDay = 0;

 private:
  BMSEventAggregates() = default;

  std::string name_;
  std::int32_t lifetimeCount_ = 0;
  std::int32_t currentBundleCount_ = 0;
  std::int32_t currentSessionCount_ = 0;
  double lastFireTimestamp_ = 0;
};

}  // namespace beacon
