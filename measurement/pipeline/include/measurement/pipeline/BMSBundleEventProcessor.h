#pragma once
// The second look at the events of one bundle, inside the bundling transaction: rejected names are
// removed (and a bundle of nothing but rejected events deletes its raw events), reserved public names
// take their internal form, conversions and real-time marks are counted against the day's limits,
// purchases are marked validated, a session start resets session-scoped state, engagement time is
// added to the engagement user properties, per-name aggregates are updated (each event gets the
// previous firing of its name), and a change of analytics-storage consent snapshots or restores the
// aggregates.
//
// Every storage failure is logged and gives nothing, so the caller rolls back. Made and used on the
// engine's worker queue.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "measurement/audiences/BMSAudience.h"
#include "measurement/engine/BMSRecords.h"
#include "measurement/engine/BMSUserAttribute.h"
#include "measurement/pipeline/BMSDailyLimits.h"
#include "measurement/storage/BMSDatabase.h"
#include "measurement/storage/BMSPersistedConfig.h"

namespace beacon {

// Deletes the raw events up to `maxRowID`, and the metadata of `metadataFingerprint` once no raw event
// uses it; false (logged) on failure.
bool BMSDeleteBundledRawEvents(BMSDatabase& database, std::int64_t maxRowID,
                               std::int64_t metadataFingerprint);

class BMSBundleEventProcessor {
 public:
  struct Collaborators {
    std::shared_ptr<BMSDatabase> database;
    std::shared_ptr<const BMSRemoteConfig> remoteConfig;
    std::shared_ptr<BMSPersistedConfig> persistedConfig;
    std::shared_ptr<BMSAudience> audience;
    BMSDailyLimits::Environment day;
    // Stores a user property the engine's way (its limits and bookkeeping); false when not stored.
    std::function<bool(const BMSUserAttribute&)> setUserPropertyInDatabase;
  };

  explicit BMSBundleEventProcessor(Collaborators collaborators);

  // The events to bundle, in order; empty when all were rejected (their raw events are then deleted);
  // nothing on failure.
  std::optional<std::vector<BMSEvent>> processRawEvents(const std::vector<BMSRawEventData>& rawEvents,
                                                        std::int64_t metadataFingerprint);
  // True when a counter changed.
  bool checkConversion(BMSEvent& event, BMSDailyCounts& counts) const;
  bool checkRealtime(BMSEvent& event, BMSDailyCounts& counts) const;
  // "_iap" gets "sandbox" (for a test receipt) and "validated"; other events are returned unchanged.
  static BMSEvent validatePurchaseEvent(const BMSEvent& event);
  // An allowed reserved public name ("ad_impression") becomes its internal name ("_ai").
  static BMSEvent internalEventFromPublicEvent(const BMSEvent& event);

  // A session start among the raw events clears session-scoped audience results and session counts;
  // the bundle's engagement time ("_et" of events without "_fr") is added to "_lte" and, after a
  // session start, restarts "_se". Failures are logged and end the step; bundling goes on. (Named
  // for the evaluation time it would answer: none in this build.)
  void evaluationTimeFromRawEvents(const std::vector<BMSRawEventData>& rawEvents,
                                   BMSPBMeasurementBundle& bundle);
  // Adds `milliseconds` to "_se" (session scoped) or "_lte" and puts the new value into the bundle's
  // user attributes. Negative time is refused; zero changes nothing.
  bool updateUserEngagement(std::int64_t milliseconds, BMSPBMeasurementBundle& bundle, bool sessionScoped);

  void handleAnalyticsStorageConsentTransitions(const BMSPBMeasurementBundle& bundle);
  std::optional<std::vector<BMSEvent>> eventsAfterUpdatingEventAggregates(const std::vector<BMSEvent>& events,
                                                                          BMSAudienceTimestampsCache& cache,
                                                                          bool allowEventFilterEvaluation);

 private:
  bool isRejected(const BMSEvent& event) const;

  Collaborators collaborators_;
  BMSDailyLimits limits_;
};

}  // namespace beacon
