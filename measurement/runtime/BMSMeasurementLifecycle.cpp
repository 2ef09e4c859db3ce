// The engine's lifecycle reports on the worker queue: the first open with its user properties, the
// session start, app and OS version changes, and the session number carried over from stored events.

#include <array>
#include <cmath>
#include <utility>

#include "measurement/audiences/BMSPurchases.h"
#include "measurement/engine/BMSDisplayNames.h"
#include "measurement/engine/BMSEngineServices.h"
#include "measurement/engine/BMSEvent.h"
#include "measurement/engine/BMSEventOrigins.h"
#include "measurement/engine/BMSScheduler.h"
#include "measurement/reporters/BMSScreenViewReporter.h"
#include "measurement/reporters/BMSSessionReporter.h"
#include "measurement/runtime/AnalyticsContext.h"
#include "measurement/runtime/BMSAnalytics.h"
#include "measurement/runtime/BMSEnvironmentInfo.h"
#include "measurement/runtime/BMSIdentity.h"
#include "measurement/runtime/BMSMeasurement.h"
#include "measurement/storage/BMSDatabase.h"
#include "measurement/storage/BMSPersistedConfig.h"
#include "measurement/storage/BMSRemoteConfig.h"

namespace beacon {
namespace {

constexpr std::int64_t kHourMillis = 3600000;

BMSValue integer(std::int64_t value) {
  return BMSValue::initWithInt64(value);
}

// A stored number of any kind as a 64-bit integer; 0 when absent or not a number.
std::int64_t storedInteger(const std::optional<platform::Value>& value) {
  if (!value) return 0;
  if (value->isInteger()) return value->integerValue();
  if (value->isDouble()) return platform::saturatingInteger(value->doubleValue());
  if (value->isBool()) return value->boolValue() ? 1 : 0;
  return 0;
}

bool isTrue(const std::optional<platform::Value>& value) {
  return storedInteger(value) != 0;
}

// A known version that differs from the recorded one.
bool isNewVersion(const std::optional<std::string>& current, const std::optional<std::string>& recorded) {
  return current && !current->empty() && current != recorded;
}

// A change from a recorded version is an event; the first recording is not.
void logVersionChange(const char* eventName, const char* parameter,
                      const std::optional<std::string>& previous) {
  if (!previous || previous->empty()) return;
  BMSAnalytics::logInternalEventWithOrigin(kAutomaticOrigin, eventName,
                                           {{parameter, BMSValue::initWithStringValue(*previous)}});
}

}  // namespace

std::int64_t BMSMeasurement::timestampMillisRoundedUpToNextHour(std::int64_t milliseconds) {
  return milliseconds / kHourMillis * kHourMillis + kHourMillis;
}

bool BMSMeasurement::isVersionSameAsOriginalVersion() {
  return BMSIsAppVersionSameAsOriginalVersion();
}

bool BMSMeasurement::setAndConfirmUserAttribute(const std::string& name, const BMSValue& value,
                                                double setTimestamp, const ReadBackFailures& failures) {
  if (std::optional<BMSUserAttribute> attribute =
          BMSUserAttribute::initWithOrigin(kAutomaticOrigin, name, value, setTimestamp)) {
    setUserAttributeOnWorkerQueue(*attribute);
  }
  platform::Result<std::optional<BMSUserAttribute>> stored = database_->userAttributeWithName(name);
  if (!stored) {
    BMSLog(1, failures.queryCode, failures.queryMessage, {stored.error().debugDescription()});
    return false;
  }
  if (!*stored) {
    BMSLog(1, failures.missingCode, failures.missingMessage);
    return false;
  }
  return true;
}

void BMSMeasurement::handleLifecycleEventOnWorkerQueue(const std::string& name, double timestamp,
                                                       BMSParameters parameters) {
  parameters.merge(context_.screenViewReporter()->screenParameters());
  if (std::optional<BMSEvent> event =
          BMSEvent::initWithOrigin(kAutomaticOrigin, false, name, timestamp, 0, parameters)) {
    handleInternalEventOnWorkerQueue(*event);
  }
}

void BMSMeasurement::reportFirstOpenOnWorkerQueue() {
  BMSScheduler::checkOnBackgroundThreadWithMethodName("reportFirstOpenOnWorkerQueue");
  const double initTimestamp = initTimestamp_;
  platform::Result<bool> hasFirstOpenTime = database_->containsUserAttributeWithName("_fot");
  if (!hasFirstOpenTime) {
    BMSLog(1, 23019, "Failed to query first open property. Error",
           {hasFirstOpenTime.error().debugDescription()});
    return;
  }
  const std::int64_t previousCount = storedInteger(persistedConfig_->previousFirstOpenCount());
  if (*hasFirstOpenTime) {
    if (previousCount < 1) persistedConfig_->setPreviousFirstOpenCount(platform::Value(std::int64_t{1}));
    BMSAnalytics::setDeferredAnalyticsCollection(std::nullopt);
    reportSessionStartOnWorkerQueueWithTimestamp(initTimestamp, false);
    persistedConfig_->setLoadTimestampValue(std::nullopt);
    return;
  }

  const std::int64_t firstOpenAfterInstall = previousCount >= 1 || isVersionSameAsOriginalVersion() ? 1 : 0;
  const std::int64_t storedFirstOpenMillis = persistedConfig_->firstOpenTimestampMilliseconds();
  const double firstOpenAfterInstallSetTime =
      storedFirstOpenMillis != 0 ? static_cast<double>(storedFirstOpenMillis) / 1000 : initTimestamp;
  if (!setAndConfirmUserAttribute(
          "_fi", integer(firstOpenAfterInstall), firstOpenAfterInstallSetTime,
          {23161, "Failed to query first open after install property after setting it. Error", 23162,
           "Failed to set first open after install property"})) {
    return;
  }
  const std::int64_t firstOpenMillis = platform::saturatingInteger(initTimestamp * 1000);
  if (!setAndConfirmUserAttribute("_fot", integer(timestampMillisRoundedUpToNextHour(firstOpenMillis)),
                                  initTimestamp,
                                  {23020, "Failed to query first open property after setting it. Error",
                                   23021, "Failed to set first open property"})) {
    return;
  }

  const bool efficient = remoteConfigInstance()->efficientEngagementReportingEnabled();
  BMSParameters firstOpen{{"_pfo", integer(previousCount >= 1 ? previousCount : 0)},
                          {"_uwa", integer(1 - firstOpenAfterInstall)}};
  if (previousCNPAppID_ && !previousCNPAppID_->empty()) {
    firstOpen.emplace("_pcnp", BMSValue::initWithStringValue(*previousCNPAppID_));
  }
  if (isTrue(BMSAnalytics::deferredAnalyticsCollection())) firstOpen.emplace("_dac", integer(1));
  if (efficient) firstOpen.emplace("_et", integer(1));
  handleLifecycleEventOnWorkerQueue("_f", initTimestamp, std::move(firstOpen));

  BMSAnalytics::setDeferredAnalyticsCollection(std::nullopt);
  persistedConfig_->setLoadTimestampValue(std::nullopt);
  reportSessionStartOnWorkerQueueWithTimestamp(initTimestamp, false);

  if (!remoteConfigInstance()->redundantEngagementRemovalEnabled()) {
    BMSParameters engagement{{"_et", integer(1)}};
    if (efficient) engagement.emplace("_fr", integer(1));
    handleLifecycleEventOnWorkerQueue("_e", initTimestamp, std::move(engagement));
  }

  persistedConfig_->setFirstOpenTimestampMilliseconds(firstOpenMillis);
  // A campaign stored before the first open was clicked just before it.
  reportStoredCampaignEventOnWorkerQueue(firstOpenMillis - 1);
}

void BMSMeasurement::reportSessionStartOnWorkerQueueWithTimestamp(double timestamp, bool appInBackground) {
  BMSScheduler::checkOnBackgroundThreadWithMethodName("reportSessionStartOnWorkerQueueWithTimestamp");
  const std::shared_ptr<BMSSessionReporter> session = sessionReporter();
  // A session that is still going on has had its start: reporting it again would count it twice.
  if (!session || !session->isSessionExpired()) return;
  session->updatePropertiesForNewSessionStart();
  for (const std::optional<BMSUserAttribute>& property :
       {session->sessionIDPropertyWithTimestamp(timestamp), session->sessionNumberProperty()}) {
    if (property) setUserAttributeOnWorkerQueue(*property);
  }
  const bool inBackground = appInBackground && remoteConfigInstance()->appInBackgroundParameterEnabled();
  if (std::optional<BMSEvent> event = session->sessionStartEventWithTimestamp(
          timestamp, integer(persistedConfig_->sessionNumber()), inBackground)) {
    handleInternalEventOnWorkerQueue(*event);
  }
}

void BMSMeasurement::reportAppUpdateOnWorkerQueue() {
  BMSScheduler::checkOnBackgroundThreadWithMethodName("reportAppUpdateOnWorkerQueue");
  const std::optional<std::string> previous = persistedConfig_->appVersion();
  const std::optional<std::string> current = identity_->appVersion();
  if (!isNewVersion(current, previous)) return;
  persistedConfig_->setAppVersion(current);
  logVersionChange("_au", "_pv", previous);
}

void BMSMeasurement::reportOSUpdateOnWorkerQueue() {
  BMSScheduler::checkOnBackgroundThreadWithMethodName("reportOSUpdateOnWorkerQueue");
  const std::optional<std::string> previous = persistedConfig_->osVersion();
  const std::string current = context_.environmentInfo().deviceOSVersion();
  if (!isNewVersion(current, previous)) return;
  persistedConfig_->setOsVersion(current);
  logVersionChange("_ou", "_po", previous);
}

void BMSMeasurement::processSessionFromEvent(const BMSEvent& event) {
  const std::shared_ptr<BMSSessionReporter> session = sessionReporter();
  if (!session || context_.screenViewReporter()->isAppActive()) return;
  if (const auto extend = event.parameters().find("extend_session"); extend != event.parameters().end()) {
    if (extend->second.isInt64() && extend->second.int64Value() == 1) {
      if (session->isSessionExpired()) {
        reportSessionStartOnWorkerQueueWithTimestamp(event.timestamp(), true);
      } else {
        session->extendSession();
      }
    } else {
      BMSLog(3, 23179,
             "extend_session is a reserved parameter. To extend or start a session in the background, set an "
             "event "
             "parameter {@'extend_session': @1}");
    }
  }
  if (!session->isSessionExpired()) return;
  constexpr std::array<std::pair<const char*, std::pair<std::int64_t, const char*>>, 3> kSessionProperties{{
      {"_sid", {23177, "Failed to remove session ID user property on session expiration. Error"}},
      {"_sno", {23178, "Failed to remove session number user property on session expiration. Error"}},
      {"_se", {23192, "Failed to remove session user engagement user property on session expiration. Error"}},
  }};
  database_->performTransaction([&] {
    for (const auto& [name, failure] : kSessionProperties) {
      if (platform::Result<void> removed = database_->deleteUserAttributeWithName(name); !removed) {
        BMSLog(2, failure.first, failure.second, {removed.error().debugDescription()});
        return false;
      }
    }
    return true;
  });
}

void BMSMeasurement::backfillSessionNumber() {
  if (persistedConfig_->sessionNumber() != 0) return;
  platform::Result<std::optional<BMSEventAggregates>> aggregates = database_->eventAggregatesWithName("_s");
  if (!aggregates) {
    BMSLog(1, 23063, "Unable to query event aggregates. Name, error",
           {BMSEventNameForDisplay("_s"), aggregates.error().debugDescription()});
    return;
  }
  if (*aggregates)
    persistedConfig_->setSessionNumber(static_cast<std::int32_t>((*aggregates)->lifetimeCount()));
}

}  // namespace beacon
