#include "measurement/pipeline/BMSBundleEventProcessor.h"

#include <algorithm>
#include <limits>

#include "measurement/audiences/BMSPurchases.h"
#include "measurement/engine/BMSAEU.h"
#include "measurement/engine/BMSEngineServices.h"
#include "measurement/engine/BMSError.h"
#include "measurement/engine/BMSNameTables.h"
#include "measurement/messages/NANOAccessors.h"
#include "measurement/pipeline/BMSBundleConsent.h"

namespace beacon {
namespace {

bool isPublicName(const std::string& name) {
  return !name.empty() && name.front() != '_';
}

platform::Value plainParameters(const BMSEvent& event) {
  return platform::Value(BMSPlainParameters(event.parameters()));
}

bool isFirstRunEngagement(const BMSEvent& event) {
  auto firstRun = event.parameters().find("_fr");
  return event.name() == "_e" && firstRun != event.parameters().end() && firstRun->second.isInt64() &&
         firstRun->second.int64Value() == 1;
}

std::int64_t saturatingSum(std::int64_t a, std::int64_t b) {
  std::int64_t sum = 0;
  if (!__builtin_add_overflow(a, b, &sum)) return sum;
  return b > 0 ? std::numeric_limits<std::int64_t>::max() : std::numeric_limits<std::int64_t>::min();
}

}  // namespace

bool BMSDeleteBundledRawEvents(BMSDatabase& database, std::int64_t maxRowID,
                               std::int64_t metadataFingerprint) {
  if (auto deleted = database.deleteRawEventsWithMaxRowID(maxRowID); !deleted) {
    BMSLog(1, 23119, "Unable to delete raw events. RowID, error",
           {maxRowID, BMSContextFromError(deleted.error())});
    return false;
  }
  auto used = database.containsRawEventWithMetadataFingerprint(metadataFingerprint);
  if (!used) {
    BMSLog(1, 23120, "Unable to query existence of raw event. Metadata, error",
           {metadataFingerprint, BMSContextFromError(used.error())});
    return false;
  }
  if (*used) return true;
  if (auto deleted = database.deleteRawEventMetadataWithMetadataFingerprint(metadataFingerprint); !deleted) {
    BMSLog(1, 23121, "Unable to delete raw event metadata. Metadata, error",
           {metadataFingerprint, BMSContextFromError(deleted.error())});
    return false;
  }
  return true;
}

BMSBundleEventProcessor::BMSBundleEventProcessor(Collaborators collaborators)
    : collaborators_(std::move(collaborators)), limits_(collaborators_.remoteConfig, collaborators_.day) {}

bool BMSBundleEventProcessor::isRejected(const BMSEvent& event) const {
  const BMSRemoteConfig& config = *collaborators_.remoteConfig;
  const auto allowed = BMSAllowedReservedEventNames().find(event.name());
  const std::string internal = allowed == BMSAllowedReservedEventNames().end() ? "" : allowed->second;
  if (!internal.empty() && config.blocklistInternal() && !config.blocklistPublic()) return false;
  if (config.isEventBlocklisted(event.name()) || (!internal.empty() && config.isEventBlocklisted(internal))) {
    BMSLog(4, 23099, "Rejected event. Event name", {event.name()});
    return true;
  }
  return config.redundantEngagementRemovalEnabled() && isFirstRunEngagement(event);
}

std::optional<std::vector<BMSEvent>> BMSBundleEventProcessor::processRawEvents(
    const std::vector<BMSRawEventData>& rawEvents, std::int64_t metadataFingerprint) {
  std::vector<BMSEvent> kept;
  for (const auto& raw : rawEvents)
    if (!isRejected(raw.rawEvent())) kept.push_back(raw.rawEvent());
  if (kept.empty()) {
    if (rawEvents.empty()) return kept;
    if (!BMSDeleteBundledRawEvents(*collaborators_.database, rawEvents.back().rowID(), metadataFingerprint))
      return std::nullopt;
    BMSLog(4, 23100, "Rejected all events.");
    return kept;
  }

  auto counts = collaborators_.database->dailyCounts();
  if (!counts) {
    BMSLog(1, 23101, "Failed to query daily event counts. Error", {BMSContextFromError(counts.error())});
    return std::nullopt;
  }
  bool countsChanged = false;
  std::vector<BMSEvent> processed;
  for (const BMSEvent& event : kept) {
    BMSEvent internal = internalEventFromPublicEvent(event);
    countsChanged |= checkConversion(internal, *counts);
    countsChanged |= checkRealtime(internal, *counts);
    processed.push_back(validatePurchaseEvent(internal));
  }
  if (countsChanged) {
    if (auto written = collaborators_.database->updateDailyCounts(*counts); !written) {
      BMSLog(2, 23106, "Failed to update daily event counts. Name, error",
             {processed.back().name(), BMSContextFromError(written.error())});
      return std::nullopt;
    }
  }
  return processed;
}

bool BMSBundleEventProcessor::checkConversion(BMSEvent& event, BMSDailyCounts& counts) const {
  const BMSRemoteConfig& config = *collaborators_.remoteConfig;
  if (config.isEventCustomConversion(event.name())) event.setConversion(true);
  if (!event.isConversion() || !isPublicName(event.name())) return false;
  const std::int64_t maxConversions = config.maxConversionsPerDay();
  if (counts.conversionsCount() >= maxConversions) {
    event.setConversion(false);
    BMSLog(3, 23102, "Too many conversion events. Not logging event as conversion. Name, limit",
           {event.name(), maxConversions});
    return false;
  }
  // Counted as a conversion, not as one more event.
  counts.incrementCountsForCurrentDay(limits_.currentDay(), false, true);
  counts.decrementAllEventsCount();
  return true;
}

bool BMSBundleEventProcessor::checkRealtime(BMSEvent& event, BMSDailyCounts& counts) const {
  if (!event.isRealtime() && !event.isConversion()) return false;
  const BMSRemoteConfig& config = *collaborators_.remoteConfig;
  const bool debugMode = collaborators_.day.isDebugModeEnabled && collaborators_.day.isDebugModeEnabled();
  if (BMSIsRealtimeLimitedEvent(event, debugMode)) {
    if (counts.realtimeCount() < config.maxRealtimeEventCountPerDay()) {
      counts.incrementRealtimeCountsForCurrentDay(limits_.currentDay());
      event.setRealtime(true);
      BMSLog(7, 23103,
             "Event is under real-time event count daily limit. Marking the event as real-time. Event name, "
             "parameters",
             {event.name(), plainParameters(event)});
      return true;
    }
    event.setRealtime(false);
    BMSLog(4, 23104,
           "Number of real-time events is over the real-time event count daily limit. Event is no longer "
           "real-time. Event name, parameters",
           {event.name(), plainParameters(event)});
    return false;
  }
  if (BMSIsRealtimeDCUEvent(event, debugMode)) {
    const bool room = counts.dcuRealtimeCount() < config.maxRealtimeDCUEventCountPerDay();
    if (room) counts.incrementDCURealtimeCountsForCurrentDay(limits_.currentDay());
    event.setRealtime(room);
    return room;
  }
  event.setRealtime(true);
  BMSLog(
      7, 23105,
      "Event is not subject to real-time event count daily limit. Marking an event as real-time. Event name, "
      "parameters",
      {event.name(), plainParameters(event)});
  return false;
}

BMSEvent BMSBundleEventProcessor::validatePurchaseEvent(const BMSEvent& event) {
  if (event.name() != "_iap") return event;
  BMSParameters parameters = BMSParametersFromEventParameters(event.parameters());
  if (BMSAEU::isASRS()) parameters["sandbox"] = BMSValue::initWithInt64(1);
  parameters["validated"] = BMSValue::initWithInt64(BMSIsReceiptValidated() ? 1 : 0);
  return event.copyWithParameters(parameters).value_or(event);
}

BMSEvent BMSBundleEventProcessor::internalEventFromPublicEvent(const BMSEvent& event) {
  const auto allowed = BMSAllowedReservedEventNames().find(event.name());
  if (allowed == BMSAllowedReservedEventNames().end()) return event;
  auto internal = BMSEvent::initWithOrigin(event.origin(), false, allowed->second, event.timestamp(),
                                           event.previousTimestamp(),
                                           BMSParametersFromEventParameters(event.parameters()));
  return internal.value_or(event);
}

void BMSBundleEventProcessor::evaluationTimeFromRawEvents(const std::vector<BMSRawEventData>& rawEvents,
                                                          BMSPBMeasurementBundle& bundle) {
  BMSDatabase& database = *collaborators_.database;
  const bool sessionStarted = std::any_of(rawEvents.begin(), rawEvents.end(), [](const BMSRawEventData& raw) {
    return raw.rawEvent().name() == "_s";
  });
  if (sessionStarted) {
    BMSAudience* audience = collaborators_.audience.get();
    if (audience) {
      audience->clearEvaluationResultsForSessionScopedFilters();
      for (const auto& attribute :
           NANOGetArray<BMSPBUserAttribute>(bundle, MeasurementBundleField::kUserAttributes))
        if (!audience->evaluateFiltersForNanoUserProperty(attribute, nullptr, std::nullopt)) return;
    }
    if (auto cleared = database.clearCurrentSessionCounts(); !cleared) {
      BMSLog(1, 23185, "Failed to clear event session counts. Error", {BMSContextFromError(cleared.error())});
      return;
    }
  }

  std::int64_t engagement = 0;
  for (const BMSRawEventData& raw : rawEvents) {
    const BMSEventParameters& parameters = raw.rawEvent().parameters();
    const auto time = parameters.find("_et");
    if (time == parameters.end() || parameters.contains("_fr") || !time->second.isInt64()) continue;
    engagement = saturatingSum(engagement, time->second.int64Value());
  }
  if (!updateUserEngagement(engagement, bundle, false) || !sessionStarted) return;
  if (auto deleted = database.deleteUserAttributeWithName("_se"); !deleted) {
    BMSLog(1, 23188, "Unable to delete session engagement property on session start. Error",
           {BMSContextFromError(deleted.error())});
    return;
  }
  updateUserEngagement(engagement, bundle, true);
}

bool BMSBundleEventProcessor::updateUserEngagement(std::int64_t milliseconds, BMSPBMeasurementBundle& bundle,
                                                   bool sessionScoped) {
  if (milliseconds < 0) {
    BMSLog(2, 23186, "User engagement time is negative.");
    return false;
  }
  if (milliseconds == 0) return true;
  const std::string name = sessionScoped ? "_se" : "_lte";
  auto stored = collaborators_.database->userAttributeWithName(name);
  if (!stored) {
    BMSLog(1, 23187, "Failed to query for user engagement user property. Name, error",
           {name, BMSContextFromError(stored.error())});
    return false;
  }
  std::int64_t total = milliseconds;
  if (*stored && (*stored)->value().isInt64())
    total = saturatingSum((*stored)->value().int64Value(), milliseconds);
  const double now = collaborators_.day.clock->now().unixSeconds();
  auto property = BMSUserAttribute::initWithOrigin("auto", name, BMSValue::initWithInt64(total), now);
  if (!property || !collaborators_.setUserPropertyInDatabase ||
      !collaborators_.setUserPropertyInDatabase(*property))
    return false;

  auto attributes = NANOGetArray<BMSPBUserAttribute>(bundle, MeasurementBundleField::kUserAttributes);
  auto existing =
      std::find_if(attributes.begin(), attributes.end(), [&](const BMSPBUserAttribute& attribute) {
        return NANOGetString(attribute, UserAttributeField::kName) == name;
      });
  if (existing == attributes.end()) {
    attributes.push_back(property->protoUserAttribute());
  } else {
    NANOSetInt64(*existing, UserAttributeField::kIntValue, total);
    NANOSetInt64(*existing, UserAttributeField::kSetTimestampMillis,
                 platform::saturatingInteger(now * 1000.0));
  }
  NANOSetArray(bundle, MeasurementBundleField::kUserAttributes, attributes);
  return true;
}

void BMSBundleEventProcessor::handleAnalyticsStorageConsentTransitions(const BMSPBMeasurementBundle& bundle) {
  BMSPersistedConfig& persisted = *collaborators_.persistedConfig;
  const std::optional<std::string> previous = persisted.previousBundledConsentSignals();
  const std::optional<std::string> current = NANOGetString(bundle, MeasurementBundleField::kConsentSignals);
  if (previous == current) return;
  const bool wasDenied = BMSIsAnalyticsStorageDeniedInSignals(previous.value_or(""));
  const bool isDenied = BMSIsAnalyticsStorageDeniedInSignals(current.value_or(""));
  BMSDatabase& database = *collaborators_.database;
  if (!wasDenied && isDenied) {
    if (auto snapshot = database.createEventsSnapshotTable(); !snapshot)
      BMSLog(4, 23266, "Unable to create table snapshot. Error", {BMSContextFromError(snapshot.error())});
  } else if (wasDenied && !isDenied) {
    if (auto restored = database.restoreFromEventsSnapshotTable(); !restored)
      BMSLog(4, 23267, "Unable to restore from table snapshot. Error",
             {BMSContextFromError(restored.error())});
  }
  persisted.setPreviousBundledConsentSignals(current);
}

std::optional<std::vector<BMSEvent>> BMSBundleEventProcessor::eventsAfterUpdatingEventAggregates(
    const std::vector<BMSEvent>& events, BMSAudienceTimestampsCache& cache, bool allowEventFilterEvaluation) {
  BMSDatabase& database = *collaborators_.database;
  std::vector<BMSEvent> updated;
  for (const BMSEvent& event : events) {
    auto stored = database.eventAggregatesWithName(event.name());
    if (!stored) {
      BMSLog(1, 23107, "Failed to query event aggregates. Name, error",
             {event.name(), BMSContextFromError(stored.error())});
      return std::nullopt;
    }
    std::optional<BMSEvent> current = event;
    std::optional<BMSEventAggregates> aggregates;
    if (*stored) {
      BMSEventAggregates counted = **stored;
      current = event.copyWithPreviousTimestamp(counted.lastFireTimestamp());
      counted.incrementLifetimeCount();
      counted.incrementCurrentBundleCount();
      counted.incrementCurrentSessionCount();
      aggregates = BMSEventAggregates::initWithName(event.name(), counted.lifetimeCount(),
                                                    counted.currentBundleCount(),
                                                    counted.currentSessionCount(), event.timestamp());
      if (aggregates) {
        aggregates->lastBundledTimestamp = counted.lastBundledTimestamp;
        aggregates->lastSampledComplexEventID = counted.lastSampledComplexEventID;
        aggregates->lastSamplingRate = counted.lastSamplingRate;
        aggregates->lastExemptFromSampling = counted.lastExemptFromSampling;
        aggregates->lastBundledDay = counted.lastBundledDay;
      }
    } else {
      aggregates = BMSEventAggregates::initWithName(event.name(), 1, 1, 1, event.timestamp());
    }
    auto written = aggregates ? database.updateEventAggregates(*aggregates)
                              : platform::Result<void>(bms_errorWithCode(23108, "Invalid event aggregates"));
    if (!written) {
      BMSLog(1, 23108, "Failed to update event aggregates. Error", {BMSContextFromError(written.error())});
      return std::nullopt;
    }
    if (!current) current = event;
    if (allowEventFilterEvaluation && collaborators_.audience &&
        !collaborators_.audience->evaluateFiltersForEvent(*current, *aggregates, cache))
      return std::nullopt;
    updated.push_back(std::move(*current));
  }
  return updated;
}

}  // namespace beacon
