#pragma once
// Turns stored raw events into upload bundles. One call takes the raw events of the oldest metadata
// fingerprint that fit one bundle (consecutive rows of one clock hour within the count and size
// limits), processes and samples them, makes the fingerprint's metadata message the bundle, adds
// the events, user-attribute audience results and bundle fields, queues it gzip-compressed and
// deletes the raw events it used - all in one database transaction, so a failure anywhere leaves
// the raw events to be bundled by a later pass.
//
// Made and used on the engine's worker queue.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "measurement/audiences/BMSAudience.h"
#include "measurement/pipeline/BMSBundleEventProcessor.h"
#include "measurement/pipeline/BMSEventSampler.h"
#include "measurement/storage/BMSDatabase.h"
#include "measurement/storage/BMSPersistedConfig.h"
#include "measurement/storage/BMSRemoteConfig.h"
#include "platform/time/Clock.h"

namespace beacon {

class BMSRawEventBundler {
 public:
  struct Collaborators {
    std::shared_ptr<BMSDatabase> database;
    std::shared_ptr<const BMSRemoteConfig> remoteConfig;
    std::shared_ptr<BMSPersistedConfig> persistedConfig;
    std::shared_ptr<BMSAudience> audience;
    std::shared_ptr<BMSBundleEventProcessor> processor;
    std::shared_ptr<BMSEventSampler> sampler;
    std::shared_ptr<const platform::Clock> clock;
    std::function<bool()> isDebugModeEnabled;
    // The monitor's sampled data to send, for a sample period and the last sampled time (seconds).
    std::function<std::optional<std::string>(double samplePeriod, double lastSampled)> monitoringData;
    // The app ID a bundle without one gets: the identity's, else the main bundle's identifier.
    std::function<std::optional<std::string>()> fallbackAppID;
    // With DMA consent handling on: brings "_npa" in line when the configuration changed the
    // ad-personalization consent since the last bundle.
    std::function<void()> updateNPAUserPropertyIfNeeded;
    // Runs after a transaction that queued a bundle (or dropped a fully sampled one) committed.
    std::function<void()> didBundle;
  };

  explicit BMSRawEventBundler(Collaborators collaborators) : collaborators_(std::move(collaborators)) {}

  // True when the transaction committed: a bundle was queued, raw events that can never be sent were
  // dropped (all rejected, all sampled away, unreadable), or nothing was left of the fingerprint.
  // False when there is nothing to bundle or something failed (rolled back, logged).
  bool bundleRawEvents();
  // Experiment IDs, monitoring data, configuration version, the fallback app ID, and the bundle's
  // start and end (seconds since 1970).
  void addBundleMetadataIntoBundle(BMSPBMeasurementBundle& bundle, double bundleStartTimestamp,
                                   double bundleEndTimestamp);

 private:
  // The work of one bundle inside the transaction; `bundled` tells whether raw events were consumed.
  bool bundleInTransaction(bool& bundled);
  bool finishBundle(BMSPBMeasurementBundle& bundle, const std::vector<BMSRawEventData>& rawEvents,
                    const std::vector<BMSPBEvent>& events, bool analyticsStorageDenied,
                    BMSAudienceTimestampsCache& cache);

  Collaborators collaborators_;
};

}  // namespace beacon
