#include "measurement/pipeline/BMSRawEventWriter.h"

#include <cstdlib>
#include <limits>

#include "measurement/engine/BMSEngineServices.h"
#include "measurement/engine/BMSError.h"
#include "measurement/engine/BMSEventParameterSanitizer.h"
#include "measurement/messages/NANOAccessors.h"

namespace beacon {
namespace {

constexpr std::int64_t kTooManyEventNamesErrorCode = 8;
constexpr std::int64_t kTrimsPerLogLine = 1000;

}  // namespace

bool BMSRawEventWriter::writeEvent(const BMSEvent& event, bool isPublicEvent, bool isRealtime) {
  BMSDatabase& database = *collaborators_.database;
  if (!ensureEventAggregates(event, isPublicEvent)) return false;

  if (collaborators_.shouldSetLastAdvertisingIDResetUserProperty &&
      collaborators_.shouldSetLastAdvertisingIDResetUserProperty())
    collaborators_.setLastAdvertisingIDResetUserProperty();

  auto attributes = database.userAttributesIncludingInternal(true);
  if (!attributes) {
    BMSLog(1, 23067, "Data loss. Cannot query user properties. Error",
           {BMSContextFromError(attributes.error())});
    return false;
  }
  const BMSPBMeasurementBundle metadata = collaborators_.createRawEventMetadata(*attributes);
  matchFirstOpen(event, metadata);

  auto fingerprint = database.insertIfNotExistsRawEventMetadata(metadata);
  if (!fingerprint) {
    BMSLog(1, 23068, "Data loss. Cannot record event metadata. Error",
           {BMSContextFromError(fingerprint.error())});
    return false;
  }
  if (!trimRawEvents()) return false;
  if (auto inserted = database.insertRawEvent(event, *fingerprint, isRealtime); !inserted) {
    BMSLog(1, 23071, "Data loss. Cannot record raw event. Error", {BMSContextFromError(inserted.error())});
    return false;
  }
  if (event.name() == "_f") countFirstOpen();
  if (BMSLogKeepsLevel(7))
    BMSLog(7, 23072, "Event logged. Event name, event params",
           {event.name(), platform::Value(BMSPlainParameters(event.parameters()))});
  return true;
}

bool BMSRawEventWriter::ensureEventAggregates(const BMSEvent& event, bool isPublicEvent) {
  BMSDatabase& database = *collaborators_.database;
  auto aggregates = database.eventAggregatesWithName(event.name());
  if (!aggregates) {
    BMSLog(1, 23063, "Cannot query event aggregates. Name, error",
           {event.name(), BMSContextFromError(aggregates.error())});
    return false;
  }
  if (*aggregates) return true;

  if (isPublicEvent) {
    auto publicNames = database.publicEventCount();
    if (!publicNames) {
      BMSLog(1, 23064, "Cannot query event count. Error", {BMSContextFromError(publicNames.error())});
      return false;
    }
    if (*publicNames >= collaborators_.remoteConfig->maxEventNameCardinality()) {
      BMSLog(1, 23065, "Cannot set event. Reached limit on set events. Name", {event.name()});
      BMSLogErrorEvent(kTooManyEventNamesErrorCode);
      return false;
    }
  }
  auto fresh = BMSEventAggregates::initWithName(event.name(), 0, 0, 0, 0);
  auto stored = fresh ? database.updateEventAggregates(*fresh)
                      : platform::Result<void>(bms_errorWithCode(23066, "Invalid event name"));
  if (!stored) {
    BMSLog(1, 23066, "Data loss. Cannot record event aggregates. Error",
           {BMSContextFromError(stored.error())});
    return false;
  }
  return true;
}

void BMSRawEventWriter::matchFirstOpen(const BMSEvent& event, const BMSPBMeasurementBundle& metadata) {
  BMSPersistedConfig& persisted = *collaborators_.persistedConfig;
  if (NANOHasField(metadata, MeasurementBundleField::kResettableDeviceID)) {
    if (persisted.unmatchedFirstOpenWithoutIDFA()) logFirstOpenConsentedEvent(event.timestamp());
  } else if (event.name() == "_f") {
    persisted.setUnmatchedFirstOpenWithoutIDFA(true);
  }
}

bool BMSRawEventWriter::trimRawEvents() {
  auto deleted = collaborators_.database->deleteRawEventsOverAbsoluteLimit();
  if (!deleted) {
    BMSLog(1, 23069, "Data loss. Unable to check raw event storage limit. Error",
           {BMSContextFromError(deleted.error())});
    return false;
  }
  // Once the table is full every stored event deletes the oldest one: logged when the trimming
  // starts and then once per thousand deleted, like the daily limit's drops (a monitored line for
  // each would cost more than storing the event).
  const std::int64_t total = collaborators_.database->trimmedRawEventCount();
  if (*deleted > 0 &&
      (total == *deleted || (total - *deleted) / kTrimsPerLogLine != total / kTrimsPerLogLine))
    BMSLog(4, 23070, "Data loss. Too many events stored on disk. Deleted count", {total});
  return true;
}

std::int64_t BMSRawEventWriter::previousFirstOpenCount() const {
  const auto stored = collaborators_.persistedConfig->previousFirstOpenCount();
  if (!stored) return 0;
  std::int64_t count = 0;
  if (stored->isInteger())
    count = *stored->asInteger();
  else if (stored->isDouble())
    count = platform::saturatingInteger(*stored->asDouble());
  else if (stored->isString())
    count = std::strtoll(stored->asString()->c_str(), nullptr, 10);
  return count < 1 ? 0 : count;
}

void BMSRawEventWriter::countFirstOpen() {
  std::int64_t count = previousFirstOpenCount();
  if (count != std::numeric_limits<std::int64_t>::max()) ++count;
  collaborators_.persistedConfig->setPreviousFirstOpenCount(platform::Value(static_cast<long long>(count)));
}

void BMSRawEventWriter::logFirstOpenConsentedEvent(double timestamp) {
  collaborators_.persistedConfig->setUnmatchedFirstOpenWithoutIDFA(false);
  const std::int64_t count = previousFirstOpenCount();
  bool upgradedWithoutInstall = false;
  if (auto firstInstall = collaborators_.database->userAttributeWithName("_fi");
      firstInstall && *firstInstall) {
    const BMSValue& value = (*firstInstall)->value();
    upgradedWithoutInstall =
        value.isInt64() ? value.int64Value() < 1 : value.isDouble() && value.doubleValue() < 1;
  }
  const BMSParameters parameters{{"_pfo", BMSValue::initWithInt64(count < 2 ? 0 : count - 1)},
                                 {"_uwa", BMSValue::initWithInt64(upgradedWithoutInstall ? 1 : 0)}};
  auto consented = BMSEvent::initWithOrigin("auto", false, "_fx", timestamp, 0, parameters);
  if (!consented) return;
  consented->setRealtime(true);
  collaborators_.writeEventLater(std::move(*consented));
}

}  // namespace beacon
