#include "measurement/storage/BMSRemoteConfig.h"

#include <algorithm>
#include <array>

#include "measurement/engine/BMSError.h"
#include "measurement/storage/BMSDatabase.h"
#include "measurement/storage/BMSExperimentSnapshots.h"
#include "measurement/storage/BMSRemoteConfigSettings.h"
#include "platform/net/Url.h"
#include "platform/time/StampAge.h"
#include "platform/time/SystemClock.h"
#include "sdk-utilities/network/CVUServiceOrigins.h"

namespace beacon {
namespace {

using storage::SettingKind;
using storage::SettingSpec;

constexpr double kDay = 86400;

enum class Setting : std::size_t {
  UploadingInterval,
  UploadingRealTimeInterval,
  UploadingInitialDelayInterval,
  UploadingRetryCount,
  UploadingRetryInterval,
  UploadingDebugModeInterval,
  UploadingBackoffInterval,
  MaxBundlesCreatedPerIteration,
  UploadMaxBundlesLimit,
  UploadMaxSizeLimitBytes,
  UploadMaxEventsPerBundle,
  NetworkTimeout,
  ChecksumEnabled,
  MaxEventsPerDay,
  MaxPublicEventsPerDay,
  MaxErrorEventsPerDay,
  MaxConversionsPerDay,
  MaxRealtimeEventCountPerDay,
  MaxRealtimeDCUEventCountPerDay,
  MaxEventNameCardinality,
  IsEventSamplingEnabled,
  AnalyticsAccountTimeZoneOffsetMinutes,
  MonitoringSamplePeriod,
  BlocklistInternal,
  BlocklistPublic,
  MaxPublicEventParams,
  MaxPublicEventParameterValueLength,
  ItemScopedCustomParameterEnabled,
  MaxItemScopedCustomParameters,
  MaxPublicUserProperties,
  IsSessionIDEnabled,
  SessionDefaultTimeoutInterval,
  SessionEventUserEngagementInterval,
  EfficientEngagementReportingEnabled,
  RedundantEngagementRemovalEnabled,
  AppBackgroundedEventEnabled,
  AppInBackgroundParameterEnabled,
  AttributionCacheTTLInterval,
  DcuEventFeatureEnabled,
  DMAConsentEnabled,
  TcfFeatureEnabled,
  RegionalDefaultsEnabled,
  GateIDFAOnATTMASEnabled,
  AdIDCacheTime,
  SessionStitchingTokenFeatureEnabled,
  IsDeferredDeepLinkEnabled,
  MaxDeferredDeepLinkRetryCount,
  PSMFeatureEnabled,
  MaxSignInDelayInDays,
  MaxPSMStartCount,
  MaxPSMRetryCount,
  PSMRetryInterval,
  HashPrefixBitLengthEmail,
  HashPrefixBitLengthPhone,
  Count,
};

// In the order of Setting. Rows marked (ours) are values this engine chose.
constexpr std::array<SettingSpec, static_cast<std::size_t>(Setting::Count)> kSettings = {{
    {"measurement.upload.interval", SettingKind::Seconds, 3600, 15, 86400},
    {"measurement.upload.realtime_upload_interval", SettingKind::Seconds, 10, 10, 15},
    {"measurement.upload.initial_upload_delay_time", SettingKind::Seconds, 15, 1, 86400},
    {"measurement.upload.retry_count", SettingKind::Integer, 6, 1, 24},
    {"measurement.upload.retry_time", SettingKind::Seconds, 1800, 60, 86400},
    {"measurement.upload.debug_upload_interval", SettingKind::Seconds, 1, 1, 15},
    {"measurement.upload.backoff_period", SettingKind::Seconds, 43200, 3600, 604800},
    {"measurement.upload.max_bundles_created_per_iteration", SettingKind::Integer, 100, 1, 10000},
    {"measurement.upload.max_bundles", SettingKind::Integer, 100, 1, 10000},
    {"measurement.upload.max_batch_size", SettingKind::Integer, 65536, 0, 10485760},
    {"measurement.upload.max_events_per_bundle", SettingKind::Integer, 1000, 1, 1000},  // (ours)
    {"measurement.network.network_timeout", SettingKind::Seconds, 60, 30, 3600},
    {"measurement.quality.checksum", SettingKind::Boolean, 0, 0, 1},
    {"measurement.upload.max_events_per_day", SettingKind::Integer, 100000, 1, 1000000},        // (ours)
    {"measurement.upload.max_public_events_per_day", SettingKind::Integer, 50000, 1, 1000000},  // (ours)
    {"measurement.upload.max_error_events_per_day", SettingKind::Integer, 1000, 1, 100000},     // (ours)
    {"measurement.upload.max_conversions_per_day", SettingKind::Integer, 10000, 1, 100000},     // (ours)
    {"measurement.upload.max_realtime_events_per_day", SettingKind::Integer, 10, 0, 1000},      // (ours)
    {"measurement.upload.max_realtime_dcu_events_per_day", SettingKind::Integer, 10, 0, 1000},  // (ours)
    {"measurement.upload.max_event_name_cardinality", SettingKind::Integer, 500, 1, 10000},     // (ours)
    {"measurement.upload.event_sampling_enabled", SettingKind::Boolean, 0, 0, 1},               // (ours)
    {"measurement.account.time_zone_offset_minutes", SettingKind::Integer, 0, -1440, 1440},     // (ours)
    {"measurement.monitoring.sample_period_millis", SettingKind::Milliseconds, kDay, 0, 604800},
    {"measurement.upload.blacklist_internal", SettingKind::Boolean, 0, 0, 1},
    {"measurement.upload.blacklist_public", SettingKind::Boolean, 0, 0, 1},  // (ours)
    {"measurement.upload.max_public_event_params", SettingKind::Integer, 25, 25, 100},
    {"measurement.upload.max_event_parameter_value_length", SettingKind::Integer, 100, 100, 500},
    {"measurement.item_scoped_custom_parameter_enabled", SettingKind::Boolean, 1, 0, 1},
    {"measurement.upload.max_item_scoped_custom_parameters", SettingKind::Integer, 27, 10, 35},
    {"measurement.upload.max_public_user_properties", SettingKind::Integer, 25, 25, 100},
    {"measurement.api.session_id", SettingKind::Boolean, 1, 0, 1},
    {"measurement.session.default_timeout_interval", SettingKind::Seconds, 1800, 0, 86400},
    {"measurement.session.event_user_engagement_interval", SettingKind::Seconds, 3600, 0, 86400},
    {"measurement.collection.efficient_engagement_reporting_enabled", SettingKind::Boolean, 0, 0, 1},
    {"measurement.collection.redundant_engagement_removal_enabled", SettingKind::Boolean, 0, 0, 1},
    {"measurement.lifecycle.app_backgrounded_tracking", SettingKind::Boolean, 0, 0, 1},
    {"measurement.lifecycle.app_in_background_parameter", SettingKind::Boolean, 1, 0, 1},
    {"measurement.attribution.cache.ttl", SettingKind::Seconds, 604800, 86400, 2592000},
    {"measurement.dcu_event_enabled", SettingKind::Boolean, 1, 0, 1},  // (ours)
    {"measurement.upload.dma_consent_enabled", SettingKind::Boolean, 1, 0, 1},
    {"measurement.tcf_enabled", SettingKind::Boolean, 1, 0, 1},
    {"measurement.regional_defaults_enabled", SettingKind::Boolean, 1, 0, 1},  // (ours)
    {"measurement.attmas_gate", SettingKind::Boolean, 0, 0, 1},
    {"measurement.id.ad_id_cache_time", SettingKind::Seconds, 1, 0, 86400},          // (ours: key, bounds)
    {"measurement.session_stitching_token_enabled", SettingKind::Boolean, 1, 0, 1},  // (ours)
    {"measurement.deferred_deep_link_enabled", SettingKind::Boolean, 1, 0, 1},       // (ours)
    {"measurement.deferred_deep_link_retry_count", SettingKind::Integer, 5, 0, 20},  // (ours)
    {"measurement.psm_enabled", SettingKind::Boolean, 1, 0, 1},
    {"measurement.psm_signin_delay", SettingKind::Integer, 60, 7, 90},
    {"measurement.psm_start_count", SettingKind::Integer, 3, 0, 10},
    {"measurement.psm_retry_count", SettingKind::Integer, 5, 0, 10},
    {"measurement.psm_retry_interval", SettingKind::Seconds, 300, 30, 1800},
    {"measurement.psm_prefix_email", SettingKind::Integer, 14, 6, 20},
    {"measurement.psm_prefix_phone", SettingKind::Integer, 11, 6, 18},
}};

constexpr std::string_view kUploadURLKey = "measurement.upload.url";
constexpr std::int32_t kMinInternalEventParameterValueLength = 256;
constexpr std::int64_t kDebugModePSMStartCount = 10;

}  // namespace

namespace {

double number(const BMSRemoteConfig& config, Setting setting) {
  return storage::settingValue(config.snapshot()->settings, kSettings[static_cast<std::size_t>(setting)]);
}
std::int64_t integer(const BMSRemoteConfig& config, Setting setting) {
  return static_cast<std::int64_t>(number(config, setting));
}
bool flag(const BMSRemoteConfig& config, Setting setting) {
  return number(config, setting) != 0;
}

}  // namespace

std::shared_ptr<BMSRemoteConfig> BMSRemoteConfig::defaultInstance() {
  return std::shared_ptr<BMSRemoteConfig>(new BMSRemoteConfig("", nullptr, nullptr, nullptr, {}));
}

platform::Result<std::shared_ptr<BMSRemoteConfig>> BMSRemoteConfig::initWithAppID(
    std::string appID, std::shared_ptr<BMSDatabase> database,
    std::shared_ptr<BMSExperimentSnapshots> experimentManager, std::shared_ptr<const platform::Clock> clock,
    BMSEventEditingLoader eventEditingLoader) {
  std::shared_ptr<BMSRemoteConfig> config(new BMSRemoteConfig(std::move(appID), database,
                                                              std::move(experimentManager), std::move(clock),
                                                              std::move(eventEditingLoader)));
  auto stored = database->storedRemoteConfig();
  if (!stored) return stored.error();
  if (*stored) {
    if (auto parsed = BMSParseMeasurementConfig(**stored))
      config->publish(config->prepared(std::move(*parsed)));
  }
  return config;
}

BMSRemoteConfig::BMSRemoteConfig(std::string appID, std::shared_ptr<BMSDatabase> database,
                                 std::shared_ptr<BMSExperimentSnapshots> experimentManager,
                                 std::shared_ptr<const platform::Clock> clock,
                                 BMSEventEditingLoader eventEditingLoader)
    : appID_(std::move(appID)),
      database_(std::move(database)),
      experimentManager_(std::move(experimentManager)),
      clock_(clock ? std::move(clock) : platform::SystemClock::sharedPointer()),
      eventEditingLoader_(std::move(eventEditingLoader)),
      snapshot_(std::make_shared<const BMSRemoteConfigSnapshot>()) {}

std::shared_ptr<const BMSRemoteConfigSnapshot> BMSRemoteConfig::prepared(
    BMSRemoteConfigSnapshot snapshot) const {
  snapshot.eventEditing = nullptr;
  if (!snapshot.eventEditingProgram.empty()) {
    if (eventEditingLoader_) snapshot.eventEditing = eventEditingLoader_(snapshot.eventEditingProgram);
    if (!snapshot.eventEditing) {
      BMSLog(5, 29003, "Event-editing program cannot run here. Events are written unedited");
    }
  }
  return std::make_shared<const BMSRemoteConfigSnapshot>(std::move(snapshot));
}

std::shared_ptr<const BMSRemoteConfigSnapshot> BMSRemoteConfig::snapshot() const {
  std::lock_guard lock(snapshotMutex_);
  return snapshot_;
}

void BMSRemoteConfig::publish(std::shared_ptr<const BMSRemoteConfigSnapshot> snapshot) {
  std::lock_guard lock(snapshotMutex_);
  snapshot_ = std::move(snapshot);
}

double BMSRemoteConfig::uploadingInterval() const {
  return number(*this, Setting::UploadingInterval);
}
double BMSRemoteConfig::uploadingRealTimeInterval() const {
  return number(*this, Setting::UploadingRealTimeInterval);
}
double BMSRemoteConfig::uploadingInitialDelayInterval() const {
  return number(*this, Setting::UploadingInitialDelayInterval);
}
std::int64_t BMSRemoteConfig::uploadingRetryCount() const {
  return integer(*this, Setting::UploadingRetryCount);
}
double BMSRemoteConfig::uploadingRetryInterval() const {
  return number(*this, Setting::UploadingRetryInterval);
}
double BMSRemoteConfig::uploadingDebugModeInterval() const {
  return number(*this, Setting::UploadingDebugModeInterval);
}
double BMSRemoteConfig::uploadingBackoffInterval() const {
  return number(*this, Setting::UploadingBackoffInterval);
}
std::int64_t BMSRemoteConfig::maxBundlesCreatedPerIteration() const {
  return integer(*this, Setting::MaxBundlesCreatedPerIteration);
}
std::int64_t BMSRemoteConfig::uploadMaxBundlesLimit() const {
  return integer(*this, Setting::UploadMaxBundlesLimit);
}
std::int64_t BMSRemoteConfig::uploadMaxSizeLimitBytes() const {
  return integer(*this, Setting::UploadMaxSizeLimitBytes);
}
std::int64_t BMSRemoteConfig::uploadMaxEventsPerBundle() const {
  return integer(*this, Setting::UploadMaxEventsPerBundle);
}
double BMSRemoteConfig::networkTimeout() const {
  return number(*this, Setting::NetworkTimeout);
}
bool BMSRemoteConfig::checksumEnabled() const {
  return flag(*this, Setting::ChecksumEnabled);
}
std::int64_t BMSRemoteConfig::maxEventsPerDay() const {
  return integer(*this, Setting::MaxEventsPerDay);
}
std::int64_t BMSRemoteConfig::maxPublicEventsPerDay() const {
  return integer(*this, Setting::MaxPublicEventsPerDay);
}
std::int64_t BMSRemoteConfig::maxErrorEventsPerDay() const {
  return integer(*this, Setting::MaxErrorEventsPerDay);
}
std::int64_t BMSRemoteConfig::maxConversionsPerDay() const {
  return integer(*this, Setting::MaxConversionsPerDay);
}
std::int64_t BMSRemoteConfig::maxRealtimeEventCountPerDay() const {
  return integer(*this, Setting::MaxRealtimeEventCountPerDay);
}
std::int64_t BMSRemoteConfig::maxRealtimeDCUEventCountPerDay() const {
  return integer(*this, Setting::MaxRealtimeDCUEventCountPerDay);
}
std::int64_t BMSRemoteConfig::maxEventNameCardinality() const {
  return integer(*this, Setting::MaxEventNameCardinality);
}
bool BMSRemoteConfig::isEventSamplingEnabled() const {
  return flag(*this, Setting::IsEventSamplingEnabled);
}
std::int64_t BMSRemoteConfig::analyticsAccountTimeZoneOffsetMinutes() const {
  return integer(*this, Setting::AnalyticsAccountTimeZoneOffsetMinutes);
}
double BMSRemoteConfig::monitoringSamplePeriod() const {
  return number(*this, Setting::MonitoringSamplePeriod);
}
bool BMSRemoteConfig::blocklistInternal() const {
  return flag(*this, Setting::BlocklistInternal);
}
bool BMSRemoteConfig::blocklistPublic() const {
  return flag(*this, Setting::BlocklistPublic);
}
std::int32_t BMSRemoteConfig::maxPublicEventParams() const {
  return static_cast<std::int32_t>(integer(*this, Setting::MaxPublicEventParams));
}
std::int32_t BMSRemoteConfig::maxPublicEventParameterValueLength() const {
  return static_cast<std::int32_t>(integer(*this, Setting::MaxPublicEventParameterValueLength));
}
std::int32_t BMSRemoteConfig::maxInternalEventParameterValueLength() const {
  return std::max(kMinInternalEventParameterValueLength, maxPublicEventParameterValueLength());
}
bool BMSRemoteConfig::itemScopedCustomParameterEnabled() const {
  return flag(*this, Setting::ItemScopedCustomParameterEnabled);
}
std::int32_t BMSRemoteConfig::maxItemScopedCustomParameters() const {
  return static_cast<std::int32_t>(integer(*this, Setting::MaxItemScopedCustomParameters));
}
std::int64_t BMSRemoteConfig::maxPublicUserProperties() const {
  return integer(*this, Setting::MaxPublicUserProperties);
}
bool BMSRemoteConfig::isSessionIDEnabled() const {
  return flag(*this, Setting::IsSessionIDEnabled);
}
double BMSRemoteConfig::sessionDefaultTimeoutInterval() const {
  return number(*this, Setting::SessionDefaultTimeoutInterval);
}
double BMSRemoteConfig::sessionEventUserEngagementInterval() const {
  return number(*this, Setting::SessionEventUserEngagementInterval);
}
bool BMSRemoteConfig::efficientEngagementReportingEnabled() const {
  return flag(*this, Setting::EfficientEngagementReportingEnabled);
}
bool BMSRemoteConfig::redundantEngagementRemovalEnabled() const {
  return flag(*this, Setting::RedundantEngagementRemovalEnabled);
}
bool BMSRemoteConfig::appBackgroundedEventEnabled() const {
  return flag(*this, Setting::AppBackgroundedEventEnabled);
}
bool BMSRemoteConfig::appInBackgroundParameterEnabled() const {
  return flag(*this, Setting::AppInBackgroundParameterEnabled);
}
double BMSRemoteConfig::attributionCacheTTLInterval() const {
  return number(*this, Setting::AttributionCacheTTLInterval);
}
bool BMSRemoteConfig::dcuEventFeatureEnabled() const {
  return flag(*this, Setting::DcuEventFeatureEnabled);
}
bool BMSRemoteConfig::DMAConsentEnabled() const {
  return flag(*this, Setting::DMAConsentEnabled);
}
bool BMSRemoteConfig::tcfFeatureEnabled() const {
  return flag(*this, Setting::TcfFeatureEnabled);
}
bool BMSRemoteConfig::regionalDefaultsEnabled() const {
  return flag(*this, Setting::RegionalDefaultsEnabled);
}
bool BMSRemoteConfig::gateIDFAOnATTMASEnabled() const {
  return flag(*this, Setting::GateIDFAOnATTMASEnabled);
}
double BMSRemoteConfig::adIDCacheTime() const {
  return number(*this, Setting::AdIDCacheTime);
}
bool BMSRemoteConfig::sessionStitchingTokenFeatureEnabled() const {
  return flag(*this, Setting::SessionStitchingTokenFeatureEnabled);
}
bool BMSRemoteConfig::isDeferredDeepLinkEnabled() const {
  return flag(*this, Setting::IsDeferredDeepLinkEnabled);
}
std::int64_t BMSRemoteConfig::maxDeferredDeepLinkRetryCount() const {
  return integer(*this, Setting::MaxDeferredDeepLinkRetryCount);
}
bool BMSRemoteConfig::PSMFeatureEnabled() const {
  return flag(*this, Setting::PSMFeatureEnabled);
}
std::int64_t BMSRemoteConfig::maxSignInDelayInDays() const {
  return integer(*this, Setting::MaxSignInDelayInDays);
}
std::int64_t BMSRemoteConfig::maxPSMStartCount(bool debugMode) const {
  return debugMode ? kDebugModePSMStartCount : integer(*this, Setting::MaxPSMStartCount);
}
std::int64_t BMSRemoteConfig::maxPSMRetryCount() const {
  return integer(*this, Setting::MaxPSMRetryCount);
}
double BMSRemoteConfig::PSMRetryInterval() const {
  return number(*this, Setting::PSMRetryInterval);
}
std::int64_t BMSRemoteConfig::hashPrefixBitLengthEmail() const {
  return integer(*this, Setting::HashPrefixBitLengthEmail);
}
std::int64_t BMSRemoteConfig::hashPrefixBitLengthPhone() const {
  return integer(*this, Setting::HashPrefixBitLengthPhone);
}

const BMSRemoteConfigSnapshot::EventRules* BMSRemoteConfig::rulesFor(
    std::string_view eventName, const BMSRemoteConfigSnapshot& snapshot) const {
  const auto found = snapshot.events.find(eventName);
  return found == snapshot.events.end() ? nullptr : &found->second;
}

bool BMSRemoteConfig::isEventBlocklisted(std::string_view eventName) const {
  const auto current = snapshot();
  const auto* rules = rulesFor(eventName, *current);
  return rules && rules->blocklisted;
}

bool BMSRemoteConfig::isEventCustomConversion(std::string_view eventName) const {
  const auto current = snapshot();
  const auto* rules = rulesFor(eventName, *current);
  return rules && rules->customConversion;
}

bool BMSRemoteConfig::eventHasSamplingRate(std::string_view eventName) const {
  const auto current = snapshot();
  const auto* rules = rulesFor(eventName, *current);
  return rules && rules->samplingRate;
}

std::int32_t BMSRemoteConfig::samplingRateForEvent(std::string_view eventName) const {
  const auto current = snapshot();
  const auto* rules = rulesFor(eventName, *current);
  return rules && rules->samplingRate ? *rules->samplingRate : 0;
}

std::string BMSRemoteConfig::uploadURL() const {
  const auto current = snapshot();
  if (auto configured = current->settings.find(kUploadURLKey); configured != current->settings.end()) {
    if (auto url = platform::Url::parse(configured->second); url && url->isWeb()) return url->string();
  }
  return CVUServiceURL(CVUService::Upload, "/a");
}

std::set<std::string> BMSRemoteConfig::dataControls() const {
  return snapshot()->dataControls;
}
std::vector<std::int64_t> BMSRemoteConfig::experimentIDs() const {
  std::vector<std::int64_t> ids = snapshot()->experimentIDs;
  if (experimentManager_) {
    for (std::int64_t id : experimentManager_->experimentIDs()) {
      if (std::find(ids.begin(), ids.end(), id) == ids.end()) ids.push_back(id);
    }
  }
  return ids;
}
std::int64_t BMSRemoteConfig::version() const {
  return snapshot()->version;
}
platform::Dictionary BMSRemoteConfig::consentDefaults() const {
  return snapshot()->consentDefaults;
}
platform::Dictionary BMSRemoteConfig::consentDelegations() const {
  return snapshot()->consentDelegations;
}
platform::Dictionary BMSRemoteConfig::regionalDefaults() const {
  return snapshot()->regionalDefaults;
}
bool BMSRemoteConfig::isDMARegion() const {
  return snapshot()->isDMARegion;
}
std::set<std::string> BMSRemoteConfig::corePlatformServices() const {
  return snapshot()->corePlatformServices;
}
std::shared_ptr<BMSEventEditingRuntime> BMSRemoteConfig::eventEditing() const {
  return snapshot()->eventEditing;
}

double BMSRemoteConfig::lastRemoteConfigUpdateTimestamp() const {
  if (!database_) return 0;
  return database_->remoteConfigSuccessfulTimestamp().valueOr(0);
}

bool BMSRemoteConfig::isExpired() const {
  const double fetched = lastRemoteConfigUpdateTimestamp();
  if (fetched <= 0) return true;
  // A fetch stamped ahead of the clock (written while it ran fast) has expired.
  return platform::secondsSinceStamp(fetched, clock_->now().unixSeconds()) > snapshot()->cacheTTLSeconds;
}

std::optional<std::string> BMSRemoteConfig::remoteConfigURLWithPlatform(
    const std::optional<std::string>& platform, std::int64_t SDKVersion, std::int64_t runtimeVersion) const {
  if (!platform) {
    BMSLog(2, 29010, "Failed to create the configuration URL: no platform");
    return std::nullopt;
  }
  return CVUServiceURL(CVUService::Configuration,
                       "/config/app/" + platform::percentEncodeQueryValue(appID_)) +
         "?platform=" + platform::percentEncodeQueryValue(*platform) +
         "&runtime_version=" + std::to_string(runtimeVersion) + "&cnp_version=" + std::to_string(SDKVersion);
}

bool BMSRemoteConfig::updateMeasurementConfig(const platform::Bytes& encodedConfig) {
  std::optional<BMSRemoteConfigSnapshot> parsed = BMSParseMeasurementConfig(encodedConfig);
  if (!parsed) {
    BMSLog(1, 29001, "Failed to parse the measurement configuration");
    return false;
  }
  return updateWithSnapshot(std::move(*parsed), encodedConfig);
}

bool BMSRemoteConfig::updateWithSnapshot(BMSRemoteConfigSnapshot snapshot,
                                         const platform::Bytes& encodedConfig) {
  std::shared_ptr<const BMSRemoteConfigSnapshot> published = prepared(std::move(snapshot));
  if (!database_) {
    publish(std::move(published));
    return true;
  }
  if (auto stored = database_->updateStoredRemoteConfig(encodedConfig); !stored) {
    BMSLog(1, 29002, "Failed to store the measurement configuration", {BMSContextFromError(stored.error())});
    return false;
  }
  // Visible only once the enclosing transaction commits; a rollback keeps the old configuration.
  std::weak_ptr<BMSRemoteConfig> weakSelf = weak_from_this();
  database_->onCommit([weakSelf, published] {
    if (auto self = weakSelf.lock()) self->publish(published);
  });
  return true;
}

void BMSRemoteConfig::activateNewSnapshot() {
  if (experimentManager_) experimentManager_->activateNewSnapshot();
}

void BMSRemoteConfig::reset() {
  publish(std::make_shared<const BMSRemoteConfigSnapshot>());
}

}  // namespace beacon
