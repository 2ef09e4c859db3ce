#include "measurement/pipeline/BMSRawEventBundler.h"

#include <algorithm>

#include "measurement/engine/BMSEngineServices.h"
#include "measurement/engine/BMSError.h"
#include "measurement/messages/NANOAccessors.h"
#include "measurement/pipeline/BMSBundleAppMetadata.h"
#include "measurement/pipeline/BMSBundleConsent.h"
#include "measurement/pipeline/BMSRawEventSelection.h"
#include "measurement/storage/BMSConsentSettingsUtil.h"

namespace beacon {
namespace {

namespace B = MeasurementBundleField;

std::int64_t milliseconds(double seconds) {
  return platform::saturatingInteger(seconds * 1000.0);
}

}  // namespace

bool BMSRawEventBundler::bundleRawEvents() {
  bool bundled = false;
  const bool committed =
      collaborators_.database->performTransaction([&] { return bundleInTransaction(bundled); });
  if (committed && bundled && collaborators_.didBundle) collaborators_.didBundle();
  return committed;
}

bool BMSRawEventBundler::bundleInTransaction(bool& bundled) {
  BMSDatabase& database = *collaborators_.database;
  const BMSRemoteConfig& config = *collaborators_.remoteConfig;

  auto fingerprint = database.nextMetadataFingerprintToProcess();
  if (!fingerprint) {
    BMSLog(1, 23095, "Unable to fetch next event metadata. Error",
           {BMSContextFromError(fingerprint.error())});
    return false;
  }
  if (!*fingerprint) return false;
  auto rawEvents = BMSRawEventsForBundle(database, config, **fingerprint);
  if (!rawEvents) return false;
  if (rawEvents->empty()) return true;

  const std::int64_t lastRowID = rawEvents->back().rowID();
  auto metadata = database.queryRawEventsMetadataWithFingerprint(**fingerprint);
  if (!metadata) {
    BMSLog(1, 23098, "Unable to fetch event metadata. Metadata fingerprint, error",
           {**fingerprint, BMSContextFromError(metadata.error())});
    return false;
  }
  if (!*metadata) {
    // Raw events whose metadata is gone can never be bundled; kept, they would stay the oldest and
    // hold every later event back.
    BMSLog(1, 23098, "Unable to fetch event metadata. Metadata fingerprint, error",
           {**fingerprint, "Data loss. The raw events without metadata are deleted"});
    return BMSDeleteBundledRawEvents(database, lastRowID, **fingerprint);
  }
  BMSPBMeasurementBundle bundle = std::move(**metadata);

  auto processed = collaborators_.processor->processRawEvents(*rawEvents, **fingerprint);
  if (!processed) return false;
  if (processed->empty()) return true;

  const bool analyticsStorageDenied = BMSConsentSettingsUtil::isAnalyticsStorageDenied();
  collaborators_.processor->evaluationTimeFromRawEvents(*rawEvents, bundle);
  collaborators_.processor->handleAnalyticsStorageConsentTransitions(bundle);
  BMSAudienceTimestampsCache cache;
  auto counted = collaborators_.processor->eventsAfterUpdatingEventAggregates(*processed, cache,
                                                                              !analyticsStorageDenied);
  if (!counted) return false;

  std::vector<BMSPBEvent> events;
  for (const BMSEvent& event : *counted) events.push_back(event.protoEvent());
  const bool debugMode = collaborators_.isDebugModeEnabled && collaborators_.isDebugModeEnabled();
  if (config.isEventSamplingEnabled() && !debugMode) {
    auto sampled = collaborators_.sampler->sampleEvents(events);
    if (!sampled) return false;
    events = std::move(*sampled);
  }

  if (events.empty()) {
    BMSLog(5, 23159, "No events left after sampling. Dropping bundle");
  } else if (!finishBundle(bundle, *rawEvents, events, analyticsStorageDenied, cache)) {
    return false;
  }
  if (!BMSDeleteBundledRawEvents(database, lastRowID, **fingerprint)) return false;
  bundled = true;
  return true;
}

bool BMSRawEventBundler::finishBundle(BMSPBMeasurementBundle& bundle,
                                      const std::vector<BMSRawEventData>& rawEvents,
                                      const std::vector<BMSPBEvent>& events, bool analyticsStorageDenied,
                                      BMSAudienceTimestampsCache& cache) {
  BMSDatabase& database = *collaborators_.database;
  const BMSRemoteConfig& config = *collaborators_.remoteConfig;
  NANOSetArray(bundle, B::kEvents, events);
  const auto [earliest, latest] = std::minmax_element(
      rawEvents.begin(), rawEvents.end(), [](const BMSRawEventData& a, const BMSRawEventData& b) {
        return a.rawEvent().timestamp() < b.rawEvent().timestamp();
      });
  const double start = earliest->rawEvent().timestamp();
  const double end = latest->rawEvent().timestamp();

  if (!BMSUpdateAppMetadataForBundle(database, bundle, start, end)) return false;
  if (config.DMAConsentEnabled() && collaborators_.updateNPAUserPropertyIfNeeded)
    collaborators_.updateNPAUserPropertyIfNeeded();

  if (!analyticsStorageDenied && collaborators_.audience) {
    BMSAudience& audience = *collaborators_.audience;
    for (const auto& attribute : NANOGetArray<BMSPBUserAttribute>(bundle, B::kUserAttributes))
      if (!audience.evaluateFiltersForNanoUserProperty(attribute, &cache, start)) return false;
    std::vector<BMSPBAudienceResult> results;
    if (!audience.resultsForBundling(results)) {
      BMSLog(1, 23113, "Unable to read audience evaluation results");
      return false;
    }
    if (!results.empty()) NANOSetArray(bundle, B::kAudienceResults, results);
  }

  addBundleMetadataIntoBundle(bundle, start, end);
  if (!config.sessionStitchingTokenFeatureEnabled() || analyticsStorageDenied)
    NANOClearField(bundle, B::kSessionStitchingToken);

  if (auto inserted = database.insertBundle(bundle, BMSEventsContainRealtime(events)); !inserted) {
    BMSLog(1, 23115, "Unable to insert bundle. Error", {BMSContextFromError(inserted.error())});
    return false;
  }
  BMSLog(8, 23221, "Consent settings", {BMSConsentSettingsUtil::description()});
  BMSLog(7, 23116, "Bundle added to the upload queue. BundleID, timestamp (ms)",
         {NANOGetInt64(bundle, B::kBundleIndex), NANOGetInt64(bundle, B::kEndTimestampMillis)});
  return true;
}

void BMSRawEventBundler::addBundleMetadataIntoBundle(BMSPBMeasurementBundle& bundle,
                                                     double bundleStartTimestamp, double bundleEndTimestamp) {
  const BMSRemoteConfig& config = *collaborators_.remoteConfig;
  BMSPersistedConfig& persisted = *collaborators_.persistedConfig;
  if (const auto experiments = config.experimentIDs(); !experiments.empty())
    NANOSetArray(bundle, B::kExperimentIDs, experiments);
  if (collaborators_.monitoringData) {
    const auto data = collaborators_.monitoringData(config.monitoringSamplePeriod(),
                                                    persisted.lastMonitorDataSampledTimestamp());
    if (data && !data->empty()) {
      NANOSetString(bundle, B::kMonitoringData, *data);
      persisted.setLastMonitorDataSampledTimestamp(collaborators_.clock->now().unixSeconds());
    }
  }
  if (config.version() >= 0) NANOSetInt64(bundle, B::kConfigVersion, config.version());
  if (NANOGetString(bundle, B::kAppID).value_or("").empty() && collaborators_.fallbackAppID)
    NANOSetString(bundle, B::kAppID, collaborators_.fallbackAppID());
  NANOSetInt64(bundle, B::kStartTimestampMillis, milliseconds(bundleStartTimestamp));
  NANOSetInt64(bundle, B::kEndTimestampMillis, milliseconds(bundleEndTimestamp));
}

}  // namespace beacon
