// The engine's event processing pipeline: one fixed chain of steps on the worker queue from an
// accepted event to its raw-event row. Each step decides whether the event goes on; the last one
// stores it in one database transaction (a savepoint of a group shared with the events queued
// behind it) with its lifetime value and the day's counters, so a failure anywhere in it leaves
// nothing of it behind.

#include "measurement/audiences/BMSConditionalUserPropertyController.h"
#include "measurement/audiences/BMSLifetimeValueRecorder.h"
#include "measurement/engine/BMSDisplayNames.h"
#include "measurement/engine/BMSEngineServices.h"
#include "measurement/engine/BMSError.h"
#include "measurement/engine/BMSEventFunctions.h"
#include "measurement/engine/BMSEventOrigins.h"
#include "measurement/engine/BMSEventParameterSanitizer.h"
#include "measurement/engine/BMSMonitor.h"
#include "measurement/engine/BMSScheduler.h"
#include "measurement/pipeline/BMSDailyLimits.h"
#include "measurement/pipeline/BMSRawEventWriter.h"
#include "measurement/runtime/AnalyticsContext.h"
#include "measurement/runtime/BMSIdentity.h"
#include "measurement/runtime/BMSMeasurement.h"
#include "measurement/script/BMSEventEditingRuntime.h"
#include "measurement/storage/BMSDatabase.h"
#include "measurement/storage/BMSPersistedConfig.h"
#include "measurement/storage/BMSRemoteConfig.h"

#include <algorithm>

namespace beacon {
namespace {

constexpr const char* kOriginParameter = "_o";
constexpr const char* kSessionStartName = "_s";
constexpr const char* kSessionStartWithRolloutsName = "_ssr";
constexpr const char* kAppExceptionName = "_ae";
constexpr const char* kRolloutsParameter = "_ffr";
constexpr const char* kSafelistedParameter = "ca_safelisted";
constexpr const char* kSubscriptionIDParameter = "_did";
constexpr std::int64_t kBlocklistedEventErrorCode = 11;
constexpr std::int64_t kBlocklistedEventErrorMaxLength = 40;
constexpr const char* kConversionEventNames[] = {"ecommerce_purchase", "_f", "_iap", "purchase", "refund"};

platform::Value parameterContext(const BMSEvent& event, std::string_view name) {
  const auto found = event.parameters().find(name);
  return found == event.parameters().end() ? platform::Value() : BMSPlainValue(found->second);
}

bool isConversionName(const std::string& name) {
  return std::any_of(std::begin(kConversionEventNames), std::end(kConversionEventNames),
                     [&](const char* conversion) { return name == conversion; });
}

}  // namespace

void BMSMeasurement::handleInternalEventOnWorkerQueue(BMSEvent event) {
  if (event.name() != kErrorEventName)
    event.applyParameters(BMSParametersFromDictionary(persistedConfig_->defaultEventParameters()));
  std::optional<BMSEvent> told;
  if (BMSAnalytics::hasLogEventListeners()) told = event;
  handleEventOnWorkerQueue(std::move(event));
  if (told) BMSAnalytics::notifyEventListeners(*told);
}

void BMSMeasurement::handleEventOnWorkerQueue(BMSEvent event) {
  BMSScheduler::checkOnBackgroundThreadWithMethodName("handleEventOnWorkerQueue");
  if (!isCollectingOnWorkerQueue()) {
    BMSLog(7, 23049, "Analytics is disabled. Event not logged");
    return;
  }
  std::optional<BMSEvent> safelisted = eventAfterSafelistingEvent(std::move(event));
  if (!safelisted) return;
  processSessionFromEvent(*safelisted);
  if (!dedupeSubscriptionEvent(*safelisted)) return;
  if (shouldDropDuplicatedSessionStartWithRolloutEvent(*safelisted)) return;
  std::optional<BMSEvent> withRollouts = appExceptionEventWithBeaconFeatureRollouts(std::move(*safelisted));
  if (!withRollouts) return;
  writeSessionStartEventOnWorkerQueue(*withRollouts);
  editAndWriteEventOnWorkerQueue(std::move(*withRollouts));
}

void BMSMeasurement::editAndWriteEventOnWorkerQueue(BMSEvent event) {
  const std::shared_ptr<BMSEventEditingRuntime> editing = remoteConfig_->eventEditing();
  std::optional<BMSEvent> written = std::move(event);
  std::vector<BMSEvent> created;
  if (editing) {
    std::string error;
    if (!editing->handleEvent(written->editEvent(), error)) {
      // A failing program never costs the event: it is stored as it came.
      writeEventOnWorkerQueue(*written);
      BMSLog(1, 23223, "Event editing failed. Event name", {BMSEventNameForDisplay(written->name())});
      return;
    }
    const BMSEventEditingContext& context = editing->eventContext();
    if (editing->hasEdits() && context.outputEvent)
      written = BMSEvent::eventFromEditEvent(*context.outputEvent);
    if (editing->hasCreatedEvents()) {
      for (const BMSPEvent& toLog : context.eventsToLog) {
        const platform::Value* origin = toLog.parameters().find(kOriginParameter) == toLog.parameters().end()
                                            ? nullptr
                                            : &toLog.parameters().at(kOriginParameter);
        if (std::optional<BMSEvent> createdEvent = BMSEvent::initWithOrigin(
                origin && origin->isString() ? *origin->asString() : kApplicationOrigin, false, toLog.name(),
                toLog.timestamp(), 0, BMSParametersFromDictionary(toLog.parameters()))) {
          created.push_back(std::move(*createdEvent));
        }
      }
    }
  }
  if (written) writeEventOnWorkerQueue(*written);
  for (const BMSEvent& createdEvent : created) writeEventOnWorkerQueue(createdEvent);
  updateSchedule();
}

std::optional<BMSEvent> BMSMeasurement::eventAfterSafelistingEvent(BMSEvent event) const {
  if (safelistedEvents_.empty()) return event;
  if (std::find(safelistedEvents_.begin(), safelistedEvents_.end(), event.name()) ==
      safelistedEvents_.end()) {
    BMSLog(3, 23174, "Event dropped. Reason: not in allowlist. Event name, origin",
           {BMSEventNameForDisplay(event.name()), event.origin()});
    return std::nullopt;
  }
  BMSParameters parameters = BMSParametersFromEventParameters(event.parameters());
  parameters.insert_or_assign(kSafelistedParameter, BMSValue::initWithInt64(1));
  return event.copyWithParameters(parameters);
}

bool BMSMeasurement::dedupeSubscriptionEvent(const BMSEvent& event) {
  if (!BMSIsSubscriptionEvent(event)) return true;
  const auto subscriptionID = event.parameters().find(kSubscriptionIDParameter);
  if (subscriptionID == event.parameters().end() || !subscriptionID->second.isInt64()) return true;

  const platform::Result<bool> inserted =
      database_->insertIfNotDuplicateSubscriptionID(std::to_string(subscriptionID->second.int64Value()));
  if (!inserted) {
    BMSLog(2, 23181, "Failed to save subscription ID. Product ID, error",
           {parameterContext(event, "product_id"), BMSContextFromError(inserted.error())});
    return true;
  }
  if (!*inserted) {
    BMSLog(4, 23182, "Event dropped. Reason: Subscription purchase is a duplicate. Product ID",
           {parameterContext(event, "product_id")});
    return false;
  }
  const platform::Result<std::int64_t> deleted = database_->deleteSubscriptionsOverLimit();
  if (!deleted) {
    BMSLog(5, 23183, "Failed to delete older subscription records. Error",
           {BMSContextFromError(deleted.error())});
    return false;
  }
  if (*deleted != 0) BMSLog(5, 23184, "Deleted older subscription records beyond limit");
  return true;
}

bool BMSMeasurement::shouldDropDuplicatedSessionStartWithRolloutEvent(const BMSEvent& event) {
  if (event.name() != kSessionStartWithRolloutsName) return false;
  const std::optional<std::string> stored = persistedConfig_->beaconFeatureRollouts();
  const auto found = event.parameters().find(kRolloutsParameter);
  const BMSValue* value = found == event.parameters().end() ? nullptr : &found->second;
  const std::string* text = value ? value->stringValue() : nullptr;
  const bool duplicate = stored ? text && *text == *stored : !value || (text && text->empty());
  if (duplicate) {
    BMSLog(8, 23191, "Feature rollouts value is a duplicate, dropping event");
    return true;
  }
  persistedConfig_->setBeaconFeatureRollouts(text && !text->empty() ? std::optional<std::string>(*text)
                                                                    : std::nullopt);
  if (value && !text) BMSLog(2, 23190, "Unable to process beacon feature rollouts, value is not a string.");
  return false;
}

std::optional<BMSEvent> BMSMeasurement::appExceptionEventWithBeaconFeatureRollouts(BMSEvent event) const {
  if (event.name() != kAppExceptionName) return event;
  const std::optional<std::string> rollouts = persistedConfig_->beaconFeatureRollouts();
  if (!rollouts) return event;
  BMSParameters parameters = BMSParametersFromEventParameters(event.parameters());
  parameters.insert_or_assign(kRolloutsParameter, BMSValue::initWithStringValue(*rollouts));
  return event.copyWithParameters(parameters);
}

void BMSMeasurement::writeSessionStartEventOnWorkerQueue(const BMSEvent& event) {
  BMSScheduler::checkOnBackgroundThreadWithMethodName("writeSessionStartEventOnWorkerQueue");
  if (event.name() != kSessionStartName) return;
  const std::optional<std::string> rollouts = persistedConfig_->beaconFeatureRollouts();
  if (!rollouts) return;
  if (std::optional<BMSEvent> withRollouts =
          BMSEvent::initWithOrigin("auto", false, kSessionStartWithRolloutsName, context_.nowSince1970(), 0,
                                   {{kRolloutsParameter, BMSValue::initWithStringValue(*rollouts)}})) {
    writeEventOnWorkerQueue(*withRollouts);
  }
}

void BMSMeasurement::writeEventOnWorkerQueue(const BMSEvent& event) {
  BMSScheduler::checkOnBackgroundThreadWithMethodName("writeEventOnWorkerQueue");
  if (BMSLogKeepsLevel(7)) {
    BMSLog(7, 23051, "Logging event: origin, name, params",
           {event.origin(), BMSEventNameForDisplay(event.name()),
            BMSParametersDescription(BMSParametersFromEventParameters(event.parameters()))});
  }
  std::optional<std::vector<BMSEvent>> produced =
      conditionalUserPropertyController_->processEventOnWorkerQueue(event);
  if (!produced) {
    BMSLog(4, 23050, "Unable to process conditional user property. Event name, origin",
           {BMSEventNameForDisplay(event.name()), event.origin()});
  }
  writeFilteredEventOnWorkerQueue(event);
  if (produced) {
    for (BMSEvent& producedEvent : *produced) writeFilteredEventOnWorkerQueue(std::move(producedEvent));
  }
}

void BMSMeasurement::writeFilteredEventOnWorkerQueue(BMSEvent event) {
  if (remoteConfig_->isEventBlocklisted(event.name())) {
    BMSLog(5, 23052, "Rejected event. Event name", {BMSEventNameForDisplay(event.name())});
    if (!remoteConfig_->blocklistInternal() && !remoteConfig_->blocklistPublic() &&
        event.name() != kErrorEventName) {
      BMSLogErrorEventWithValue(kBlocklistedEventErrorCode, platform::Value(event.name()),
                                kBlocklistedEventErrorMaxLength, platform::Value(event.name()));
    }
    return;
  }
  // Refreshed on this thread (once the identity's queue is free) rather than by a woken worker.
  identity_->updateIdentifiersAndWait();
  if (isConversionName(event.name())) event.setConversion(true);
  database_->performGroupedTransaction([&] { return storeEventOnWorkerQueue(event); });
  commitStoredEventsBehindQueuedWork();
}

void BMSMeasurement::commitStoredEventsBehindQueuedWork() {
  if (storedEventsCommitScheduled_ || !database_->hasUncommittedGroup()) return;
  storedEventsCommitScheduled_ = true;
  // The group holds the file's write lock until it commits: the block commits it even when the engine
  // has been let go meanwhile (another engine, or another process, may be waiting for the file).
  scheduler_->scheduleOnWorkerQueueBlockID("BMSMeasurement:StoredEvents",
                                           [weakSelf = weak_from_this(), database = database_] {
                                             if (std::shared_ptr<BMSMeasurement> self = weakSelf.lock())
                                               self->storedEventsCommitScheduled_ = false;
                                             database->commitGroupedTransactions();
                                           });
}

void BMSMeasurement::commitStoredEventsOnWorkerQueue() {
  storedEventsCommitScheduled_ = false;
  if (database_) database_->commitGroupedTransactions();
}

BMSGroupedWork BMSMeasurement::storeEventOnWorkerQueue(BMSEvent& event) {
  if (!updateLifetimeValueWithEvent(event)) return BMSGroupedWork::RollBack;
  const bool isPublicEvent = BMSIsPublicNameText(event.name());
  platform::Result<BMSDailyCounts> counts = database_->dailyCounts();
  if (!counts) {
    BMSLog(1, 23054, "Data loss. Unable to query daily event counts. Error",
           {BMSContextFromError(counts.error())});
    return BMSGroupedWork::RollBack;
  }
  const std::shared_ptr<BMSPersistedConfig> persisted = persistedConfig_;
  const BMSDailyLimits limits(remoteConfig_,
                              {context_.sharedClock(), [persisted] { return persisted->midnightOffset(); },
                               [] { return BMSMeasurement::monitor()->isDebugModeEnabled(); }});
  // Both decisions are taken before the counters are written back.
  const bool shouldProcess = limits.shouldProcessEvent(event, *counts, isPublicEvent);
  const bool isRealtime = limits.isRealtimeEvent(event, *counts);
  if (const platform::Result<void> updated = database_->updateDailyCounts(*counts); !updated) {
    BMSLog(1, 23061, "Data loss. Unable to update daily event counts. Name, error",
           {BMSEventNameForDisplay(event.name()), BMSContextFromError(updated.error())});
    return BMSGroupedWork::RollBack;
  }
  if (!shouldProcess) return BMSGroupedWork::CommitWithoutEvent;
  return BMSStoredEventOrRollBack(writeRawEventOnWorkerQueue(event, isPublicEvent, isRealtime));
}

bool BMSMeasurement::writeRawEventOnWorkerQueue(const BMSEvent& event, bool isPublicEvent, bool isRealtime) {
  // The identity is read once for the write (each read of its own would wait for the identity's queue).
  bool identityRead = false;
  std::optional<BMSIdentity::Snapshot> identity;
  const auto identityOnce = [&]() -> const std::optional<BMSIdentity::Snapshot>& {
    if (!identityRead) identity = identitySnapshotOnWorkerQueue();
    identityRead = true;
    return identity;
  };
  BMSRawEventWriter writer({database_, remoteConfig_, persistedConfig_,
                            [&](const std::vector<BMSUserAttribute>& attributes) {
                              return createRawEventMetadataWithUserAttributes(attributes, identityOnce());
                            },
                            [&] {
                              const std::optional<BMSIdentity::Snapshot>& snapshot = identityOnce();
                              return snapshot && snapshot->shouldSetLastAdvertisingIDResetUserProperty;
                            },
                            [this] { setLastAdvertisingIDResetUserPropertyOnWorkerQueue(); },
                            [weakSelf = weak_from_this(), scheduler = scheduler_](BMSEvent later) {
                              // The first-open match is written after this event's transaction.
                              scheduler->scheduleOnWorkerQueueBlockID(
                                  "BMSMeasurement:988", [weakSelf, later = std::move(later)] {
                                    if (std::shared_ptr<BMSMeasurement> self = weakSelf.lock())
                                      self->writeEventOnWorkerQueue(later);
                                  });
                            }});
  return writer.writeEvent(event, isPublicEvent, isRealtime);
}

bool BMSMeasurement::updateLifetimeValueWithEvent(const BMSEvent& event) {
  if (!BMSLifetimeValueRecorder::isPurchaseEvent(event)) return true;
  if (BMSLifetimeValueRecorder::recordLifetimeValueToDatabase(*database_, event, context_.nowSince1970()))
    return true;
  BMSLog(1, 23053, "Cannot record lifetime value of event. Name, currency code, transaction value",
         {BMSEventNameForDisplay(event.name()), parameterContext(event, "currency"),
          parameterContext(event, "value")});
  return false;
}

}  // namespace beacon
