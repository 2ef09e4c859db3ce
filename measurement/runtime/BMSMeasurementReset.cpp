// Throwing away what the engine collected: on the app's request with a new app instance ID, and at
// start when the app's identifiers changed. Both run the one wipe on the worker queue.

#include "measurement/engine/BMSEngineServices.h"
#include "measurement/engine/BMSError.h"
#include "measurement/engine/BMSMonitor.h"
#include "measurement/engine/BMSScheduler.h"
#include "measurement/runtime/AnalyticsContext.h"
#include "measurement/runtime/BMSAnalytics.h"
#include "measurement/runtime/BMSIdentity.h"
#include "measurement/runtime/BMSMeasurement.h"
#include "measurement/runtime/EngineStartDecisions.h"
#include "measurement/storage/BMSConsentSettingsUtil.h"
#include "measurement/storage/BMSDatabase.h"
#include "measurement/storage/BMSMeasurementPaths.h"
#include "measurement/storage/BMSPersistedConfig.h"
#include "measurement/storage/BMSRemoteConfig.h"

namespace beacon {

bool BMSMeasurement::resetAnalyticsDataWithAppInstanceID(const std::string& appInstanceID) {
  BMSScheduler::checkOnBackgroundThreadWithMethodName("resetAnalyticsData");
  if (appInstanceID.empty()) {
    if (!BMSConsentSettingsUtil::isAnalyticsStorageDenied()) {
      BMSLog(1, 23167, "Cannot reset with an empty app instance ID");
      return false;
    }
    BMSLog(7, 23218, "Resetting with an empty app instance ID");
  }
  const double loadTimestamp = BMSAnalytics::loadTimestamp();
  bool reset = false;
  scheduler_->dispatchSyncOnWorkerQueueBlockID("BMSMeasurement:3644", [&] {
    if (!wipeoutAnalyticsDataAndResetComponents()) return;
    persistedConfig_->setAppInstanceID(appInstanceID.empty() ? std::nullopt
                                                             : std::optional<std::string>(appInstanceID));
    updatePersistedAppIDFromCNPAndAdReach();
    BMSLog(6, 23168, "Analytics data has been reset");
    if (!isAnalyticsCollectionDeactivated_ && !BMSAnalytics::deferredAnalyticsCollection()) {
      BMSAnalytics::setDeferredAnalyticsCollection(platform::Value(enabled_ ? 0 : 1));
    }
    initTimestamp_ = loadTimestamp;
    persistedConfig_->setLoadTimestampValue(loadTimestamp);
    if (enabled_) {
      setPersonalizedAdsUserPropertyOnWorkerQueue();
      // The app starts over: a new first open at once.
      reportFirstOpenOnWorkerQueue();
    }
    reset = true;
  });
  return reset;
}

bool BMSMeasurement::wipeoutAnalyticsDataAndResetComponents() {
  BMSScheduler::checkOnBackgroundThreadWithMethodName("wipeoutAnalyticsDataAndResetComponents");
  BMSLog(6, 23171, "Resetting App Measurement data");
  resetPSMCounts();
  previousCNPAppID_ = persistedConfig_->appIDFromCNP();
  persistedConfig_->clearValues();
  monitor()->clearMonitoringData();

  if (remoteConfig()->DMAConsentEnabled() && BMSConsentSettingsUtil::adPersonalization()) {
    BMSConsentSettingsUtil::unsetAdPersonalization();
    BMSConsentSettingsUtil::setDefaultSettings({});
    BMSConsentSettingsUtil::setDelegatedSettings({});
  }

  if (database_) {
    if (platform::Result<void> emptied = database_->reset(); !emptied) {
      BMSLog(1, 23209, "Failed to reset database", {BMSContextFromError(emptied.error())});
      return false;
    }
    remoteConfigInstance()->reset();
    resetSessionReporter();
    restartSearchAdReporterOnWorkerQueue();
  } else {
    // The wipe at start comes before the database is opened: the file goes instead.
    platform::Error error;
    if (!BMSDeleteDatabaseFile(databaseName_, &error)) {
      BMSLog(1, 23014, "Failed to delete old database file. Error", {BMSContextFromError(error)});
    }
  }

  if (const std::shared_ptr<BMSIdentity> identity = currentIdentity()) {
    identity->updateIdentifiersAndWait();
    identity->resetEphemeralAppInstanceID();
    identity->resetSessionStitchingToken();
  }
  return true;
}

void BMSMeasurement::wipeDataIfIdentifiersChanged() {
  WipeInputs ids;
  ids.engineAppID = appID_;
  ids.appIDFromCNP = identity_->appIDFromCNP().value_or("");
  ids.appIDFromAdReach = identity_->appIDFromAdReach().value_or("");
  ids.persistedAppIDFromCNP = persistedConfig_->appIDFromCNP().value_or("");
  ids.persistedAppIDFromAdReach = persistedConfig_->appIDFromAdReach().value_or("");
  ids.resetRetryCount = BMSAnalytics::resetRetryCount();
  if (!shouldWipeData(ids)) return;
  // Raised until the wipe has succeeded, so a failed one is tried again at the next start.
  BMSAnalytics::setResetRetryCount(ids.resetRetryCount + 1);
  if (!wipeoutAnalyticsDataAndResetComponents()) {
    BMSLog(4, 23208, "Failed to wipe out Analytics data");
    return;
  }
  BMSAnalytics::setResetRetryCount(0);
}

std::shared_ptr<BMSIdentity> BMSMeasurement::currentIdentity() const {
  // A reset may come while collection has never been on, before the components took the identity.
  return identity_ ? identity_ : context_.identity();
}

}  // namespace beacon
