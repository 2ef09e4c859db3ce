#pragma once
// A conditional user property: a user property (name, value, origin) that comes into force when an
// event of its trigger name is logged, and the events that mark what becomes of it.
//
// - Set with an empty trigger event name, it is active at once.
// - Waiting for its trigger, it times out `triggerTimeout` seconds after its creation; active, it
//   expires `timeToLive` seconds after it was triggered. Zero (or less) means no limit.
// - triggeredEvent, timedOutEvent and expiredEvent are logged when it is triggered, times out or
//   expires (or is cleared while active).
//
// Times are seconds since 1970. A plain value; one queue at a time.

#include <optional>
#include <string>

#include "measurement/engine/BMSEvent.h"
#include "measurement/engine/BMSValue.h"

namespace beacon {

struct BCNAConditionalUserProperty {
  std::string name;
  std::string origin;
  std::optional<BMSValue> value;
  std::string triggerEventName;
  double triggerTimeout = 0;
  double timeToLive = 0;
  double creationTimestamp = 0;
  double triggeredTimestamp = 0;
  bool active = false;
  std::optional<BMSEvent> triggeredEvent;
  std::optional<BMSEvent> timedOutEvent;
  std::optional<BMSEvent> expiredEvent;
};

}  // namespace beacon
