#include "measurement/runtime/BMSMeasurement.h"

#include "measurement/engine/BMSAlarm.h"
#include "measurement/engine/BMSDeepLinkStore.h"
#include "measurement/engine/BMSEngineServices.h"
#include "measurement/engine/BMSMonitor.h"
#include "measurement/engine/BMSScheduler.h"
#include "measurement/reporters/BMSSessionReporter.h"
#include "measurement/runtime/AnalyticsContext.h"
#include "measurement/runtime/BMSAnalytics.h"
#include "measurement/runtime/BMSIdentity.h"
#include "measurement/runtime/BMSIdentityValues.h"
#include "measurement/runtime/BMSNetworkLogBridge.h"
#include "measurement/runtime/EngineStartDecisions.h"
#include "measurement/storage/BMSDatabase.h"
#include "measurement/storage/BMSPersistedConfig.h"
#include "measurement/storage/BMSRemoteConfig.h"
#include "sdk-core/BCNLogger.h"

namespace beacon {
namespace {

constexpr const char* kAnalyticsInterfaceClassName = "BCNAnalytics";

}  // namespace

void BMSMeasurement::initializeSharedInstanceWithAppID(const std::string& appID,
                                                       bool isAnalyticsCollectionEnabled,
                                                       bool isAnalyticsCollectionDeactivated,
                                                       std::vector<std::string> safelistedEvents) {
  AnalyticsContext& context = AnalyticsContext::current();
  AnalyticsContext::EngineSlot& slot = context.engineSlot();
  std::lock_guard lock(slot.mutex);
  if (slot.initialized) return;
  // Only the first call of the process counts, even one without an app ID.
  slot.initialized = true;
  if (appID.empty()) return;
  slot.engine = initWithAppID(context, appID, isAnalyticsCollectionEnabled, isAnalyticsCollectionDeactivated,
                              std::move(safelistedEvents));
}

bool BMSMeasurement::hasSharedInstance() {
  AnalyticsContext::EngineSlot& slot = AnalyticsContext::current().engineSlot();
  std::lock_guard lock(slot.mutex);
  return slot.initialized && slot.engine;
}

std::shared_ptr<BMSMeasurement> BMSMeasurement::sharedInstance() {
  AnalyticsContext& context = AnalyticsContext::current();
  AnalyticsContext::EngineSlot& slot = context.engineSlot();
  std::lock_guard lock(slot.mutex);
  if (!slot.initialized && context.classExists(kAnalyticsInterfaceClassName)) {
    BCNLoggerLogWarning(
        "<BeaconMeasurement>", "I-ACS023147",
        "Corvane Analytics for Beacon has not been created. Please, configure Beacon by calling "
        "[BCNApp configure]");
  }
  return slot.engine;
}

std::shared_ptr<BMSMonitor> BMSMeasurement::monitor() {
  return AnalyticsContext::current().monitor();
}

std::shared_ptr<BMSRemoteConfig> BMSMeasurement::remoteConfig() {
  AnalyticsContext::EngineSlot& slot = AnalyticsContext::current().engineSlot();
  std::shared_ptr<BMSMeasurement> engine;
  {
    std::lock_guard lock(slot.mutex);
    engine = slot.engine;
  }
  std::shared_ptr<BMSRemoteConfig> config = engine ? engine->remoteConfigInstance() : nullptr;
  return config ? config : BMSRemoteConfig::defaultInstance();
}

std::shared_ptr<BMSMeasurement> BMSMeasurement::initWithAppID(AnalyticsContext& context,
                                                              const std::string& appID,
                                                              bool isAnalyticsCollectionEnabled,
                                                              bool isAnalyticsCollectionDeactivated,
                                                              std::vector<std::string> safelistedEvents) {
  if (appID.empty()) {
    BMSLog(1, 23170, "Cannot start Measurement. App ID is empty.");
    return nullptr;
  }
  std::shared_ptr<BMSMeasurement> engine(new BMSMeasurement(context, appID, isAnalyticsCollectionEnabled,
                                                            isAnalyticsCollectionDeactivated,
                                                            std::move(safelistedEvents)));
  engine->wasEnabledDuringInitialization_ = engine->shouldEnableMeasurement();
  engine->setEnabled(engine->wasEnabledDuringInitialization_);
  return engine;
}

BMSMeasurement::BMSMeasurement(AnalyticsContext& context, std::string appID,
                               bool isAnalyticsCollectionEnabled, bool isAnalyticsCollectionDeactivated,
                               std::vector<std::string> safelistedEvents)
    : context_(context),
      databaseName_(kBMSMeasurementDatabaseName),
      persistedConfig_(BMSPersistedConfig::sharedInstance()),
      networkLogBridge_(std::make_shared<BMSNetworkLogBridge>()),
      appID_(std::move(appID)),
      safelistedEvents_(std::move(safelistedEvents)),
      isAnalyticsCollectionEnabled_(isAnalyticsCollectionEnabled),
      isAnalyticsCollectionDeactivated_(isAnalyticsCollectionDeactivated) {
  logStartBanner();
  // The screen-view reporter follows the application's activation from the engine's creation on.
  context.screenViewReporter();
  scheduler_ = std::make_shared<BMSScheduler>(kBMSMeasurementWorkerQueueLabel);
  alarm_ =
      std::make_shared<BMSAlarm>(scheduler_->workerQueue(), kBMSMeasurementTimerName, context.sharedClock());
  if (std::optional<double> stored = persistedConfig_->loadTimestampValue()) {
    initTimestamp_ = *stored;
  } else {
    initTimestamp_ = BMSAnalytics::loadTimestamp();
    persistedConfig_->setLoadTimestampValue(initTimestamp_);
  }
}

BMSMeasurement::~BMSMeasurement() = default;

void BMSMeasurement::logStartBanner() const {
  const platform::ClassEntry* interface = context_.classes().lookup(kAnalyticsInterfaceClassName);
  const bool withInterface = interface != nullptr;
  const BMSTopLevelVersion* versionFacet = withInterface ? interface->facet<BMSTopLevelVersion>() : nullptr;
  const std::string version = versionFacet ? versionFacet->topLevelVersion() : kBMSLibraryVersionString;
  BMSLog(6, 23007, "Analytics v." + version + " started");
  if (withInterface) BMSLog(8, 23222, "Build " + std::to_string(BMSIdentity::appMeasurementLibraryVersion()));

  const std::shared_ptr<BMSMonitor> monitor = BMSMeasurement::monitor();
  const std::string prefix = withInterface ? "BCN" : "BMS";
  // One hint per switch: how to turn it the other way from where it stands.
  const auto hint = [](std::int64_t level, std::int64_t code, bool on, const std::string& what,
                       const std::string& offArgument, const std::string& onArgument) {
    BMSLog(level, code,
           "To " + std::string(on ? "disable " : "enable ") + what +
               " logging set the following application argument: " + (on ? offArgument : onArgument) +
               " (see https://beacon.corvane.example/docs/analytics/debug-view)");
  };
  hint(6, 23008, monitor->isDebugModeEnabled(), "debug", "-no" + prefix + "AnalyticsDebugEnabled",
       "-" + prefix + "AnalyticsDebugEnabled");
  BMSLog(7, 23009, "Debug logging enabled");
  hint(7, 23207, monitor->isVerboseLoggingEnabled(), "verbose",
       "-" + prefix + "AnalyticsVerboseLoggingDisabled", "-" + prefix + "AnalyticsVerboseLoggingEnabled");
}

bool BMSMeasurement::shouldEnableMeasurement() const {
  return beacon::shouldEnableMeasurement(isAnalyticsCollectionDeactivated_,
                                         persistedConfig_->measurementEnabledState(),
                                         isAnalyticsCollectionEnabled_);
}

void BMSMeasurement::setEnabled(bool enabled) {
  scheduler_->scheduleOnWorkerQueueBlockID("BMSMeasurement:611", [weakSelf = weak_from_this(), enabled] {
    if (std::shared_ptr<BMSMeasurement> self = weakSelf.lock()) self->setEnabledOnWorkerQueue(enabled);
  });
}

void BMSMeasurement::setEnabledOnWorkerQueue(bool enabled) {
  BMSScheduler::checkOnBackgroundThreadWithMethodName("setIsEnabledOnWorkerQueue");
  if (isAnalyticsCollectionDeactivated_ && enabled) {
    BMSLog(6, 23206, "Analytics collection deactivated");
    return;
  }
  if (!isAnalyticsCollectionDeactivated_ && !BMSAnalytics::deferredAnalyticsCollection()) {
    BMSAnalytics::setDeferredAnalyticsCollection(platform::Value(enabled ? 0 : 1));
  }
  enabled_ = enabled;
  if (enabled) {
    if (!startMeasurementOnWorkerQueue()) {
      BMSLog(0, 23011, "Failed to start Analytics. Analytics is disabled");
      setEnabled(false);
      return;
    }
    sessionReporter()->setReportingEnabled(true);
    setSearchAdReporterEnabledOnWorkerQueue(true);
    BMSLog(6, 23012, "Analytics collection enabled");
  } else {
    BMSClearExpiredStoredDeepLink(remoteConfig()->attributionCacheTTLInterval(), context_.clock());
    alarm_->cancel();
    if (const std::shared_ptr<BMSSessionReporter> session = sessionReporter())
      session->setReportingEnabled(false);
    setSearchAdReporterEnabledOnWorkerQueue(false);
    BMSLog(6, 23013, "Analytics collection disabled");
  }
}

bool BMSMeasurement::startMeasurementOnWorkerQueue() {
  BMSScheduler::checkOnBackgroundThreadWithMethodName("startMeasurementOnWorkerQueue");
  {
    std::lock_guard lock(initializeComponentsLock_);
    if (!didInitializeComponents_.load()) {
      if (!initializeComponentsOnWorkerQueue()) return false;
      didInitializeComponents_.store(true);
    }
  }
  setPersonalizedAdsUserPropertyOnWorkerQueue();
  if (BMSAnalytics::needFirstOpenAfterReset()) {
    reportFirstOpenOnWorkerQueue();
    BMSAnalytics::removeNeedFirstOpenAfterReset();
  }
  updateSchedule();
  return true;
}

void BMSMeasurement::maxUserPropertiesForOrigin(const std::string& origin,
                                                std::function<void(std::int64_t)> callback) const {
  if (origin.empty()) {
    BMSLog(0, 23093, "Origin for querying MaxUserProperties cannot be nil");
    return;
  }
  if (!callback) {
    BMSLog(0, 23094, "MaxUserProperties callback cannot be nil. Origin", {origin});
    return;
  }
  platform::globalQueue(platform::QualityOfService::Background)->async([callback = std::move(callback)] {
    callback(kMaxUserPropertiesPerOrigin);
  });
}

std::shared_ptr<BMSIdentity> BMSMeasurement::identity() const {
  return identity_;
}

std::shared_ptr<BMSRemoteConfig> BMSMeasurement::remoteConfigInstance() const {
  std::lock_guard lock(remoteConfigMutex_);
  return remoteConfig_;
}

}  // namespace beacon
