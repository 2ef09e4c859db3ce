// The engine's one-time component build on the worker queue, and the start-time decisions it takes
// about identifiers and consent.

#include "measurement/audiences/BMSConditionalUserPropertyController.h"
#include "measurement/audiences/BMSEManager.h"
#include "measurement/engine/BMSAEU.h"
#include "measurement/engine/BMSDeepLinkStore.h"
#include "measurement/engine/BMSEngineServices.h"
#include "measurement/engine/BMSMonitor.h"
#include "measurement/runtime/AnalyticsContext.h"
#include "measurement/runtime/BMSAnalytics.h"
#include "measurement/runtime/BMSIdentifiers.h"
#include "measurement/runtime/BMSIdentity.h"
#include "measurement/runtime/BMSMeasurement.h"
#include "measurement/runtime/EngineStartDecisions.h"
#include "measurement/storage/BMSConsentSettingsUtil.h"
#include "measurement/storage/BMSDatabase.h"
#include "measurement/storage/BMSMeasurementPaths.h"
#include "measurement/storage/BMSPersistedConfig.h"
#include "measurement/storage/BMSRemoteConfig.h"

namespace beacon {

bool BMSMeasurement::initializeComponentsOnWorkerQueue() {
  identity_ = context_.identity();
  if (!identity_) return false;

  setProspectiveConsentSettings();
  BMSAnalytics::removeStartUpConsentSettings();
  BMSAnalytics::removeDeferredResetOnDeniedConsent();

  wipeDataIfIdentifiersChanged();
  identity_->updateIdentifiers();
  if (std::optional<std::string> afterReset = BMSAnalytics::appInstanceIDAfterReset();
      afterReset && !afterReset->empty()) {
    identity_->setAppInstanceID(*afterReset);
    BMSAnalytics::setAppInstanceIDAfterReset(std::nullopt);
  }
  updatePersistedAppIDFromCNPAndAdReach();

  platform::Result<std::shared_ptr<BMSDatabase>> database =
      BMSDatabase::initWithDatabaseName(databaseName_, context_.sharedClock());
  // A second try rides out a file another process had locked for a moment.
  if (!database) database = BMSDatabase::initWithDatabaseName(databaseName_, context_.sharedClock());
  if (!database) return false;
  database_ = *database;

  platform::Result<std::shared_ptr<BMSRemoteConfig>> remoteConfig =
      BMSRemoteConfig::initWithAppID(appID_, database_, BMSEManager::sharedInstance(), context_.sharedClock(),
                                     context_.eventEditingLoader());
  if (!remoteConfig || !*remoteConfig) return false;
  {
    std::lock_guard lock(remoteConfigMutex_);
    remoteConfig_ = *remoteConfig;
  }
  conditionalUserPropertyController_ = std::make_shared<BMSConditionalUserPropertyController>(database_);
  resetSessionReporter();
  // Parameters are checked against the downloaded limits from now on.
  BMSEngineServices::setParameterLimits(remoteConfig_);

  platform::Result<std::filesystem::path> directory = BMSMeasurementDirectoryPath();
  platform::Error backupError;
  if (!directory || !BMSExcludePathFromBackup(*directory, &backupError)) {
    BMSLog(5, 23015, "Failed to exclude directory from backup. Error",
           {(directory ? backupError : directory.error()).debugDescription()});
  }
  BMSLog(7, 23016, "Analytics is ready to receive events");
  monitor()->setEncodeContexts(BMSAEU::isFAS());

  if (platform::Result<std::int64_t> deleted = database_->maybeDeleteStaleData(); !deleted) {
    BMSLog(5, 23018, "Unable to delete stale data. Error", {deleted.error().debugDescription()});
  }
  if (remoteConfig_->DMAConsentEnabled()) updateConsentSettingsUtilWithRemoteConfig();
  checkPSMDependencyOnWorkerQueue();
  maybeDeleteExpiredPSMValueOnWorkerQueue();
  setPersonalizedAdsUserPropertyOnWorkerQueue();
  backfillSessionNumber();
  reportFirstOpenOnWorkerQueue();
  // A link that arrived before the engine could handle it; without one, the deferred deep link is
  // asked for once the network is in place.
  const bool hasStoredDeepLink =
      BMSUserDefaults::sharedUserDefaults()->objectForKey(kBMSStoredDeepLinkKey).has_value();
  if (hasStoredDeepLink) reportStoredCampaignEventOnWorkerQueue(std::nullopt);
  reportAppUpdateOnWorkerQueue();
  reportOSUpdateOnWorkerQueue();
  startSearchAdReporterOnWorkerQueue();
  startTCFClientOnWorkerQueue();

  if (persistedConfig_->beaconFeatureRollouts() && !isBeaconRemoteConfigSDKPresent()) {
    persistedConfig_->setBeaconFeatureRollouts(std::nullopt);
  }
  if (!initializeUploadComponentsOnWorkerQueue()) return false;
  if (!hasStoredDeepLink) maybeRequestDeferredDeepLinkOnWorkerQueue();
  subscribeForAppForegroundBackgroundNotifications();
  return true;
}

void BMSMeasurement::setProspectiveConsentSettings() {
  ProspectiveConsentInputs inputs;
  inputs.currentSource = BMSConsentSettingsUtil::consentSource();
  inputs.thirdParty = BMSAnalytics::consentSettings3P();
  inputs.firstPartyAtStart = BMSAnalytics::consentSettings1PStart();
  inputs.infoPlist = BMSConsentSettingsUtil::consentSettingsFromPlist();
  inputs.tcf = BMSAnalytics::consentSettingsTCF();
  inputs.analyticsInterfacePresent = context_.classExists("BCNAnalytics");
  inputs.isConsentSourceHigherPriority = &BMSConsentSettingsUtil::isConsentSourceHigherPriority;
  const ProspectiveConsent choice = chooseProspectiveConsent(inputs);
  if (choice.clearPersistedConsent) BMSAnalytics::clearConsent();
  if (!choice.settings) return;
  BMSConsentSettingsUtil::setConsentSettings(*choice.settings);
  BMSConsentSettingsUtil::setConsentSource(choice.source);
  BMSAnalytics::persistConsentSettings(*choice.settings, choice.source);
}

void BMSMeasurement::updatePersistedAppIDFromCNPAndAdReach() {
  const std::shared_ptr<BMSIdentity> identity = currentIdentity();
  if (!identity) return;
  const std::optional<std::string> cnp = identity->appIDFromCNP();
  if (cnp != persistedConfig_->appIDFromCNP()) persistedConfig_->setAppIDFromCNP(cnp);
  const std::optional<std::string> adReach = identity->appIDFromAdReach();
  if (adReach != persistedConfig_->appIDFromAdReach()) persistedConfig_->setAppIDFromAdReach(adReach);
  const std::optional<std::string> origin = BMSIdentifiers::shared().origin();
  if (origin == "ba") persistedConfig_->setAppIDFromCNP(appID_);
  if (origin == "am") persistedConfig_->setAppIDFromAdReach(appID_);
}

void BMSMeasurement::updateConsentSettingsUtilWithRemoteConfig() {
  const std::optional<bool> before = BMSConsentSettingsUtil::adPersonalization();
  const bool dma = remoteConfig_->DMAConsentEnabled();
  const platform::Dictionary defaults = remoteConfig_->consentDefaults();
  const platform::Dictionary delegations = remoteConfig_->consentDelegations();
  if (dma && (!defaults.empty() || !delegations.empty())) {
    BMSConsentSettingsUtil::setDefaultSettings(defaults);
    BMSConsentSettingsUtil::setDelegatedSettings(delegations);
  }
  if (remoteConfig_->regionalDefaultsEnabled()) {
    // An empty table changes nothing: the last one received stays in force.
    if (const platform::Dictionary regional = remoteConfig_->regionalDefaults(); !regional.empty()) {
      BMSConsentSettingsUtil::setRegionalDefaults(regional);
    }
  } else {
    BMSConsentSettingsUtil::setRegionalDefaults({});
  }
  const std::optional<bool> after = BMSConsentSettingsUtil::adPersonalization();
  if (dma && after && after != before) shouldUpdateNPAUserProperty_ = true;
}

bool BMSMeasurement::isBeaconRemoteConfigSDKPresent() const {
  return context_.classExists("BCNRemoteConfig");
}

}  // namespace beacon
