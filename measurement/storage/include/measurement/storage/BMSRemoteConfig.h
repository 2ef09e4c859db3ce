#pragma once
// The downloaded measurement configuration: the engine's limits and switches, per-event rules,
// consent defaults and the service URLs. Every setting is read through a typed getter with its own
// default, minimum and maximum: a setting that is absent, unparsable or out of bounds reads as its
// default (never clamped). Without a stored configuration every getter answers its default.
//
// The parsed configuration is an immutable snapshot. A new one is published only when the database
// transaction that stored it commits, so a fetch whose transaction rolls back leaves the old
// configuration in force.
//
// A configuration may carry an event-editing program. The loader given at creation turns it into
// the runtime that eventEditing() answers while that configuration is in force; a program no loader
// can run leaves eventEditing() empty, so every event passes unedited.
//
// Threads: the getters may be called from any thread. updateMeasurementConfig, reset,
// isExpired, lastRemoteConfigUpdateTimestamp, activateNewSnapshot and the runtime of eventEditing()
// belong to the worker queue.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "measurement/engine/BMSEngineServices.h"
#include "platform/error/Result.h"
#include "platform/time/Clock.h"
#include "platform/value/Value.h"

namespace beacon {

class BMSDatabase;
class BMSEventEditingRuntime;
class BMSExperimentSnapshots;

// Builds the runtime for an event-editing program; nullptr when the program cannot run here.
using BMSEventEditingLoader =
    std::function<std::shared_ptr<BMSEventEditingRuntime>(const platform::Bytes& program)>;

// What one configuration says, parsed.
struct BMSRemoteConfigSnapshot {
  struct EventRules {
    bool blocklisted = false;
    bool customConversion = false;
    std::optional<std::int32_t> samplingRate;
  };

  std::int64_t version = -1;  // negative: no configuration
  std::string cnpAppID;
  std::map<std::string, std::string, std::less<>> settings;
  std::map<std::string, EventRules, std::less<>> events;
  double cacheTTLSeconds = 86400;
  std::set<std::string> dataControls;
  std::vector<std::int64_t> experimentIDs;
  platform::Dictionary consentDefaults;
  platform::Dictionary consentDelegations;
  platform::Dictionary regionalDefaults;
  bool isDMARegion = false;
  std::set<std::string> corePlatformServices;
  // The event-editing program as the service sent it; empty when none.
  platform::Bytes eventEditingProgram;
  // The runtime the configuration's loader built for the program; nullptr when none runs.
  std::shared_ptr<BMSEventEditingRuntime> eventEditing;
};

class BMSRemoteConfig : public BMSParameterLimits, public std::enable_shared_from_this<BMSRemoteConfig> {
 public:
  // Built-in defaults only; no database.
  static std::shared_ptr<BMSRemoteConfig> defaultInstance();
  // Loads the configuration stored in `database`; an error only when the database cannot be read.
  // Without an experiment manager there are no experiments; without a loader no program runs.
  static platform::Result<std::shared_ptr<BMSRemoteConfig>> initWithAppID(
      std::string appID, std::shared_ptr<BMSDatabase> database,
      std::shared_ptr<BMSExperimentSnapshots> experimentManager,
      std::shared_ptr<const platform::Clock> clock = nullptr, BMSEventEditingLoader eventEditingLoader = {});

  // --- upload
  double uploadingInterval() const;
  double uploadingRealTimeInterval() const;
  double uploadingInitialDelayInterval() const;
  std::int64_t uploadingRetryCount() const;
  double uploadingRetryInterval() const;
  double uploadingDebugModeInterval() const;
  double uploadingBackoffInterval() const;
  std::int64_t maxBundlesCreatedPerIteration() const;
  std::int64_t uploadMaxBundlesLimit() const;
  std::int64_t uploadMaxSizeLimitBytes() const;
  std::int64_t uploadMaxEventsPerBundle() const;
  double networkTimeout() const;
  bool checksumEnabled() const;
  // --- daily limits
  std::int64_t maxEventsPerDay() const;
  std::int64_t maxPublicEventsPerDay() const;
  std::int64_t maxErrorEventsPerDay() const;
  std::int64_t maxConversionsPerDay() const;
  std::int64_t maxRealtimeEventCountPerDay() const;
  std::int64_t maxRealtimeDCUEventCountPerDay() const;
  std::int64_t maxEventNameCardinality() const;
  bool isEventSamplingEnabled() const;
  std::int64_t analyticsAccountTimeZoneOffsetMinutes() const;
  double monitoringSamplePeriod() const;
  bool blocklistInternal() const;
  bool blocklistPublic() const;
  // --- parameters and user properties (also the engine's installed parameter limits)
  std::int32_t maxPublicEventParams() const override;
  std::int32_t maxPublicEventParameterValueLength() const override;
  // 256, or the public maximum when that is larger.
  std::int32_t maxInternalEventParameterValueLength() const override;
  bool itemScopedCustomParameterEnabled() const override;
  std::int32_t maxItemScopedCustomParameters() const override;
  std::int64_t maxPublicUserProperties() const;
  // --- sessions and lifecycle
  bool isSessionIDEnabled() const;
  double sessionDefaultTimeoutInterval() const;
  double sessionEventUserEngagementInterval() const;
  bool efficientEngagementReportingEnabled() const;
  bool redundantEngagementRemovalEnabled() const;
  bool appBackgroundedEventEnabled() const;
  bool appInBackgroundParameterEnabled() const;
  // --- attribution, consent and identity features
  double attributionCacheTTLInterval() const;
  bool dcuEventFeatureEnabled() const;
  bool DMAConsentEnabled() const;
  bool tcfFeatureEnabled() const;
  bool regionalDefaultsEnabled() const;
  bool gateIDFAOnATTMASEnabled() const;
  double adIDCacheTime() const;
  bool sessionStitchingTokenFeatureEnabled() const;
  bool isDeferredDeepLinkEnabled() const;
  std::int64_t maxDeferredDeepLinkRetryCount() const;
  bool PSMFeatureEnabled() const;
  std::int64_t maxSignInDelayInDays() const;
  // 10 in debug mode, whatever the configuration says.
  std::int64_t maxPSMStartCount(bool debugMode = false) const;
  std::int64_t maxPSMRetryCount() const;
  double PSMRetryInterval() const;
  std::int64_t hashPrefixBitLengthEmail() const;
  std::int64_t hashPrefixBitLengthPhone() const;

  // --- per-event rules
  bool isEventBlocklisted(std::string_view eventName) const;
  bool isEventCustomConversion(std::string_view eventName) const;
  bool eventHasSamplingRate(std::string_view eventName) const;
  std::int32_t samplingRateForEvent(std::string_view eventName) const;

  // --- the rest of the configuration
  // The upload service's "<origin>/a" (CVUServiceOrigin, so BEACON_SERVICE_ORIGIN in tests), unless
  // the setting "measurement.upload.url" names another http(s) URL.
  std::string uploadURL() const;
  std::set<std::string> dataControls() const;
  // The configuration's experiment IDs, then those of the experiment manager not among them.
  std::vector<std::int64_t> experimentIDs() const;
  std::int64_t version() const;
  platform::Dictionary consentDefaults() const;
  platform::Dictionary consentDelegations() const;
  platform::Dictionary regionalDefaults() const;
  bool isDMARegion() const;
  std::set<std::string> corePlatformServices() const;
  // The runtime of the configuration's event-editing program; nullptr when none runs.
  std::shared_ptr<BMSEventEditingRuntime> eventEditing() const;
  // Never fetched, or fetched longer ago than the configuration's cache time.
  bool isExpired() const;
  // Seconds since 1970 of the last successful fetch; 0 when never.
  double lastRemoteConfigUpdateTimestamp() const;

  // The configuration service's
  // "<origin>/config/app/<app ID>?platform=...&runtime_version=...&cnp_version=..."; empty (logged,
  // code 29010) without a platform.
  std::optional<std::string> remoteConfigURLWithPlatform(const std::optional<std::string>& platform,
                                                         std::int64_t SDKVersion,
                                                         std::int64_t runtimeVersion) const;

  // Stores the configuration message bytes and publishes what they say once the enclosing
  // transaction commits. False (nothing changes) when they cannot be parsed or stored.
  bool updateMeasurementConfig(const platform::Bytes& encodedConfig);
  // Publishes `snapshot` the same way, storing `encodedConfig` with it.
  bool updateWithSnapshot(BMSRemoteConfigSnapshot snapshot, const platform::Bytes& encodedConfig);
  // Puts the experiment manager's waiting snapshot in force.
  void activateNewSnapshot();
  // Back to the built-in defaults.
  void reset();

  std::shared_ptr<const BMSRemoteConfigSnapshot> snapshot() const;

 private:
  BMSRemoteConfig(std::string appID, std::shared_ptr<BMSDatabase> database,
                  std::shared_ptr<BMSExperimentSnapshots> experimentManager,
                  std::shared_ptr<const platform::Clock> clock, BMSEventEditingLoader eventEditingLoader);
  void publish(std::shared_ptr<const BMSRemoteConfigSnapshot> snapshot);
  // The snapshot ready to publish, with the runtime of its program loaded.
  std::shared_ptr<const BMSRemoteConfigSnapshot> prepared(BMSRemoteConfigSnapshot snapshot) const;
  const BMSRemoteConfigSnapshot::EventRules* rulesFor(std::string_view eventName,
                                                      const BMSRemoteConfigSnapshot& snapshot) const;

  const std::string appID_;
  const std::shared_ptr<BMSDatabase> database_;
  const std::shared_ptr<BMSExperimentSnapshots> experimentManager_;
  const std::shared_ptr<const platform::Clock> clock_;
  const BMSEventEditingLoader eventEditingLoader_;
  mutable std::mutex snapshotMutex_;
  std::shared_ptr<const BMSRemoteConfigSnapshot> snapshot_;
};

// Parses the configuration message bytes; empty when they are not a configuration message.
std::optional<BMSRemoteConfigSnapshot> BMSParseMeasurementConfig(const platform::Bytes& encodedConfig);

}  // namespace beacon
