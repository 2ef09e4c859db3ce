#pragma once
// The engine's side of conditional user properties (BCNAConditionalUserProperty.h): stores them in
// the measurement database and, for every event the engine writes, brings the stored ones forward.
//
// For each event, in one database transaction:
// - an active property whose time to live has passed since it was triggered expires: it and the user
//   property it set are deleted, and its expired event is logged;
// - a waiting property whose trigger timeout has passed since its creation times out: it is
//   deleted and its timed-out event is logged;
// - a waiting property whose trigger event name is the event's name is triggered: its user property
//   is set (its origin, the event's time), it becomes active and its triggered event is logged.
// Times are judged by the event's time stamp, and the events to log carry it too.
//
// Owned by the engine, built with its database; worker queue only.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "measurement/engine/BMSEvent.h"
#include "measurement/storage/BCNAConditionalUserProperty.h"

namespace beacon {

class BMSDatabase;

class BMSConditionalUserPropertyController {
 public:
  explicit BMSConditionalUserPropertyController(std::shared_ptr<BMSDatabase> database);

  // The events the stored properties produce because of `event`, in name order of the properties;
  // nothing (logged, no change made) when the database fails.
  std::optional<std::vector<BMSEvent>> processEventOnWorkerQueue(const BMSEvent& event);

  // Stores `property` in place of any of its name (whose user property goes when it was active). A
  // property without a trigger event name is triggered at once, at its creation time. Answers the
  // events to log; nothing (logged, no change made) when the database fails.
  std::optional<std::vector<BMSEvent>> setConditionalUserPropertyOnWorkerQueue(
      BCNAConditionalUserProperty property);
  // Deletes the property of that name. When it was active its user property goes too, and
  // `clearEvent` is logged as its expiry. Answers the events to log; nothing (logged) when the
  // database fails.
  std::optional<std::vector<BMSEvent>> clearConditionalUserPropertyOnWorkerQueue(
      const std::string& name, const std::optional<BMSEvent>& clearEvent);

  // The stored properties whose name begins with `prefix` and whose origin is `origin` (either may
  // be absent), in name order; nothing (logged) when the database fails.
  std::optional<std::vector<BCNAConditionalUserProperty>> conditionalUserPropertiesWithNamePrefix(
      const std::optional<std::string>& prefix, const std::optional<std::string>& origin);

 private:
  const std::shared_ptr<BMSDatabase> database_;
  // No property is stored: a pass found none and none was set since (this controller is the only
  // writer of stored properties; wiping the database only removes them).
  bool knownEmpty_ = false;
};

}  // namespace beacon
