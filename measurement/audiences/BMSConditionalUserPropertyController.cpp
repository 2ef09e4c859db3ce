#include "measurement/audiences/BMSConditionalUserPropertyController.h"

#include "measurement/engine/BMSEngineServices.h"
#include "measurement/engine/BMSError.h"
#include "measurement/storage/BMSDatabase.h"
#include "platform/time/StampAge.h"

namespace beacon {
namespace {

constexpr std::int64_t kReadFailed = 10001;
constexpr std::int64_t kWriteFailed = 10002;
constexpr std::int64_t kTriggered = 10003;
constexpr std::int64_t kTimedOut = 10004;
constexpr std::int64_t kExpired = 10005;
constexpr std::int64_t kUserPropertyRefused = 10006;
constexpr std::int64_t kCleared = 10007;

// A limit counts the distance on either side of the clock: a property triggered or made while the
// clock ran ahead would otherwise outlive its limit until the clock caught up again.
bool hasPassed(double limit, double since, double now) {
  return limit > 0 && platform::secondsFromStampEitherWay(since, now) > limit;
}

// `event` again at the time given; the stored copy carries the time it was handed in with.
void appendAt(std::vector<BMSEvent>& events, const std::optional<BMSEvent>& event, double timestamp) {
  if (!event) return;
  if (std::optional<BMSEvent> timed =
          BMSEvent::initWithOrigin(event->origin(), false, event->name(), timestamp, 0,
                                   BMSParametersFromEventParameters(event->parameters()))) {
    events.push_back(std::move(*timed));
  }
}

// A failed step of a transaction: logged, and the transaction rolls back.
bool failed(std::int64_t code, const char* what, const std::string& name, const platform::Error& error) {
  BMSLog(1, code, what, {name, BMSContextFromError(error)});
  return false;
}

// Sets the property's user property; a value the engine refuses as a user property is logged and
// skipped (not a storage failure).
bool setUserProperty(BMSDatabase& database, const BCNAConditionalUserProperty& property, double timestamp) {
  std::optional<BMSUserAttribute> attribute =
      BMSUserAttribute::initWithOrigin(property.origin, property.name, *property.value, timestamp);
  if (!attribute) {
    BMSLog(2, kUserPropertyRefused, "Conditional user property cannot be set as a user property. Name",
           {property.name});
    return true;
  }
  if (auto updated = database.updateUserAttribute(*attribute); !updated) {
    return failed(kWriteFailed, "Failed to set the user property of a conditional user property. Name, error",
                  property.name, updated.error());
  }
  return true;
}

bool deleteWithUserProperty(BMSDatabase& database, const BCNAConditionalUserProperty& property) {
  if (auto deleted = database.deleteConditionalUserPropertyWithName(property.name); !deleted) {
    return failed(kWriteFailed, "Failed to delete conditional user property. Name, error", property.name,
                  deleted.error());
  }
  if (!property.active) return true;
  if (auto deleted = database.deleteUserAttributeWithName(property.name); !deleted) {
    return failed(kWriteFailed,
                  "Failed to delete the user property of a conditional user property. Name, error",
                  property.name, deleted.error());
  }
  return true;
}

bool trigger(BMSDatabase& database, BCNAConditionalUserProperty& property, double timestamp) {
  property.active = true;
  property.triggeredTimestamp = timestamp;
  if (!setUserProperty(database, property, timestamp)) return false;
  if (auto updated = database.updateConditionalUserProperty(property); !updated) {
    return failed(kWriteFailed, "Failed to store conditional user property. Name, error", property.name,
                  updated.error());
  }
  return true;
}

}  // namespace

BMSConditionalUserPropertyController::BMSConditionalUserPropertyController(
    std::shared_ptr<BMSDatabase> database)
    : database_(std::move(database)) {}

std::optional<std::vector<BMSEvent>> BMSConditionalUserPropertyController::processEventOnWorkerQueue(
    const BMSEvent& event) {
  std::vector<BMSEvent> produced;
  // Nearly always there is none: known from an earlier pass, or one read answers it, without a
  // storage transaction.
  if (knownEmpty_) return produced;
  if (auto stored = database_->conditionalUserProperties(); stored && stored->empty()) {
    knownEmpty_ = true;
    return produced;
  }
  const double now = event.timestamp();
  const bool committed = database_->performTransaction([&] {
    produced.clear();
    auto stored = database_->conditionalUserProperties();
    if (!stored)
      return failed(kReadFailed, "Failed to read conditional user properties. Event, error", event.name(),
                    stored.error());
    for (BCNAConditionalUserProperty& property : *stored) {
      if (property.active) {
        if (!hasPassed(property.timeToLive, property.triggeredTimestamp, now)) continue;
        if (!deleteWithUserProperty(*database_, property)) return false;
        BMSLog(7, kExpired, "Conditional user property expired. Name", {property.name});
        appendAt(produced, property.expiredEvent, now);
      } else if (hasPassed(property.triggerTimeout, property.creationTimestamp, now)) {
        if (!deleteWithUserProperty(*database_, property)) return false;
        BMSLog(7, kTimedOut, "Conditional user property timed out. Name", {property.name});
        appendAt(produced, property.timedOutEvent, now);
      } else if (property.triggerEventName == event.name()) {
        if (!trigger(*database_, property, now)) return false;
        BMSLog(7, kTriggered, "Conditional user property triggered. Name, event",
               {property.name, event.name()});
        appendAt(produced, property.triggeredEvent, now);
      }
    }
    return true;
  });
  if (!committed) return std::nullopt;
  return produced;
}

std::optional<std::vector<BMSEvent>>
BMSConditionalUserPropertyController::setConditionalUserPropertyOnWorkerQueue(
    BCNAConditionalUserProperty property) {
  std::vector<BMSEvent> produced;
  knownEmpty_ = false;
  property.active = false;
  property.triggeredTimestamp = 0;
  const bool committed = database_->performTransaction([&] {
    produced.clear();
    auto previous = database_->conditionalUserPropertyWithName(property.name);
    if (!previous)
      return failed(kReadFailed, "Failed to read conditional user property. Name, error", property.name,
                    previous.error());
    // The new property takes the name over; what the old one had set is not its to keep.
    if (*previous && !deleteWithUserProperty(*database_, **previous)) return false;
    if (auto stored = database_->updateConditionalUserProperty(property); !stored) {
      return failed(kWriteFailed, "Failed to store conditional user property. Name, error", property.name,
                    stored.error());
    }
    if (!property.triggerEventName.empty()) return true;
    if (!trigger(*database_, property, property.creationTimestamp)) return false;
    appendAt(produced, property.triggeredEvent, property.creationTimestamp);
    return true;
  });
  if (!committed) return std::nullopt;
  return produced;
}

std::optional<std::vector<BMSEvent>>
BMSConditionalUserPropertyController::clearConditionalUserPropertyOnWorkerQueue(
    const std::string& name, const std::optional<BMSEvent>& clearEvent) {
  std::vector<BMSEvent> produced;
  const bool committed = database_->performTransaction([&] {
    produced.clear();
    auto stored = database_->conditionalUserPropertyWithName(name);
    if (!stored)
      return failed(kReadFailed, "Failed to read conditional user property. Name, error", name,
                    stored.error());
    if (!*stored) return true;
    if (!deleteWithUserProperty(*database_, **stored)) return false;
    if ((*stored)->active && clearEvent) produced.push_back(*clearEvent);
    return true;
  });
  if (!committed) return std::nullopt;
  BMSLog(7, kCleared, "Conditional user property cleared. Name", {name});
  return produced;
}

std::optional<std::vector<BCNAConditionalUserProperty>>
BMSConditionalUserPropertyController::conditionalUserPropertiesWithNamePrefix(
    const std::optional<std::string>& prefix, const std::optional<std::string>& origin) {
  auto stored = database_->conditionalUserProperties();
  if (!stored) {
    BMSLog(1, kReadFailed, "Failed to read conditional user properties. Error",
           {BMSContextFromError(stored.error())});
    return std::nullopt;
  }
  std::vector<BCNAConditionalUserProperty> matching;
  for (BCNAConditionalUserProperty& property : *stored) {
    if (prefix && property.name.rfind(*prefix, 0) != 0) continue;
    if (origin && property.origin != *origin) continue;
    matching.push_back(std::move(property));
  }
  return matching;
}

}  // namespace beacon
