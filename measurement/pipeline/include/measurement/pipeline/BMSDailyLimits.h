#pragma once
// The day's limits on stored events, and the real-time decision, taken for each event inside the
// storage transaction of the event pipeline. The counters live in a BMSDailyCounts the caller reads
// from the database and writes back in the same transaction, so a rolled-back event leaves them as
// they were.
//
// Limits never fail: they drop or demote the event and log at most once per 1000 over-limit events.
// Made and used on the engine's worker queue.

#include <cstdint>
#include <functional>
#include <memory>

#include "measurement/engine/BMSEvent.h"
#include "measurement/storage/BMSDailyCounts.h"
#include "measurement/storage/BMSRemoteConfig.h"
#include "platform/time/Clock.h"

namespace beacon {

// The engine's day: floor((now - midnight offset) / 86400), now in seconds since 1970. Days beyond
// the 32-bit range are held at its ends.
std::int32_t BMSDayNumber(double nowSince1970, double midnightOffset);

// 1 plus the number of elements of every array-valued parameter ("items" of 3 counts 4); held at the
// 32-bit maximum.
std::int32_t BMSEffectiveEventCount(const BMSEvent& event);

// Subject to the real-time limit: unless debug mode is on or the name is "_iap", "_f", "_dcu" or "_fx".
bool BMSIsRealtimeLimitedEvent(const BMSEvent& event, bool debugMode);
// A DCU event: debug mode off and the name "_dcu".
bool BMSIsRealtimeDCUEvent(const BMSEvent& event, bool debugMode);

class BMSDailyLimits {
 public:
  struct Environment {
    std::shared_ptr<const platform::Clock> clock;
    // The persisted midnight offset (seconds); drawn once, then fixed.
    std::function<double()> midnightOffset;
    std::function<bool()> isDebugModeEnabled;
  };

  BMSDailyLimits(std::shared_ptr<const BMSRemoteConfig> remoteConfig, Environment environment)
      : remoteConfig_(std::move(remoteConfig)), environment_(std::move(environment)) {}

  // The current day number.
  std::int32_t currentDay() const;

  // Whether the day's limits still let the event be stored; counts it in `counts` either way.
  bool shouldProcessEvent(const BMSEvent& event, BMSDailyCounts& counts, bool isPublicEvent) const;
  // Whether the event is stored as real-time. May take the event's real-time mark away (over the
  // real-time limits) or, in debug mode, mark it real-time and debug. Changes no counter: real-time
  // events are counted when they are bundled.
  bool isRealtimeEvent(BMSEvent& event, const BMSDailyCounts& counts) const;
  // In debug mode, marks the event real-time and debug.
  void maybeAddDebugAndRealtimeParameters(BMSEvent& event) const;

 private:
  bool isDebugMode() const { return environment_.isDebugModeEnabled && environment_.isDebugModeEnabled(); }

  std::shared_ptr<const BMSRemoteConfig> remoteConfig_;
  Environment environment_;
};

}  // namespace beacon
