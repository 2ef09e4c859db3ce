// The engine's raw-event metadata, bundling, upload and configuration fetch: the facts the engine
// gathers for them, and the components (network, audiences, bundler, uploader) it builds once.

#include <limits>

#include "measurement/audiences/BMSAudience.h"
#include "measurement/engine/BMSAEU.h"
#include "measurement/engine/BMSAlarm.h"
#include "measurement/engine/BMSEngineServices.h"
#include "measurement/engine/BMSMonitor.h"
#include "measurement/engine/BMSScheduler.h"
#include "measurement/pipeline/BMSRawEventBundler.h"
#include "measurement/pipeline/BMSRawEventMetadata.h"
#include "measurement/reporters/BMSSessionReporter.h"
#include "measurement/runtime/AnalyticsContext.h"
#include "measurement/runtime/BMSDefaultIdentitySupport.h"
#include "measurement/runtime/BMSEnvironmentInfo.h"
#include "measurement/runtime/BMSIdentity.h"
#include "measurement/runtime/BMSMeasurement.h"
#include "measurement/runtime/UserPropertyNames.h"
#include "measurement/script/BMSEventEditingRuntime.h"
#include "measurement/storage/BMSConsentSettingsUtil.h"
#include "measurement/storage/BMSDatabase.h"
#include "measurement/storage/BMSPersistedConfig.h"
#include "measurement/storage/BMSRemoteConfig.h"
#include "measurement/storage/BMSTCFClient.h"
#include "measurement/upload/BMSUploader.h"
#include "platform/bundle/Bundle.h"
#include "sdk-utilities/network/CVUServiceOrigins.h"

namespace beacon {

struct BMSMeasurementUploadParts {
  std::shared_ptr<CVUNetwork> network;
  std::shared_ptr<BMSAudience> audience;
  std::shared_ptr<BMSRawEventBundler> bundler;
  // Null when the network could not be made: then nothing is uploaded.
  std::shared_ptr<BMSUploader> uploader;
};

namespace {

BMSIdentifierFacts identifierFacts(const BMSIdentity::Snapshot& identity) {
  BMSIdentifierFacts facts;
  if (BMSDefaultIdentitySupport::iOS14OrAbove())
    facts.trackingAuthorizationStatus = identity.appleConsentStatus;
  facts.hasLimitedAdTracking = identity.hasLimitedAdTracking;
  facts.limitedAdTracking = identity.limitedAdTracking;
  facts.resettableDeviceID = identity.resettableDeviceID;
  facts.appInstanceID = identity.appInstanceID;
  facts.ephemeralAppInstanceID = identity.ephemeralAppInstanceID;
  return facts;
}

BMSDMAFacts dmaFacts(const BMSRemoteConfig& config) {
  return {BMSConsentSettingsUtil::consentDiagnostics(), BMSConsentSettingsUtil::isAdUserDataDenied(),
          config.isDMARegion(), config.corePlatformServices()};
}

std::optional<BMSPBUserAttribute> storedNPA(BMSDatabase& database) {
  auto stored = database.userAttributeWithName(kNonPersonalizedAdsName);
  if (!stored || !*stored) return std::nullopt;
  return (*stored)->protoUserAttribute();
}

// A uniform integer in [0, bound) from the context's random source (0 when it fails).
std::int64_t randomBelow(platform::RandomSource& random, std::int64_t bound) {
  if (bound <= 1) return 0;
  const std::uint64_t range = static_cast<std::uint64_t>(bound);
  const std::uint64_t limit =
      std::numeric_limits<std::uint64_t>::max() - std::numeric_limits<std::uint64_t>::max() % range;
  std::uint64_t drawn = 0;
  do {
    if (!random.fill({reinterpret_cast<std::uint8_t*>(&drawn), sizeof drawn})) return 0;
  } while (drawn >= limit);
  return static_cast<std::int64_t>(drawn % range);
}

}  // namespace

bool BMSMeasurement::initializeUploadComponentsOnWorkerQueue() {
  auto parts = std::make_shared<BMSMeasurementUploadParts>();
  parts->audience = BMSAudience::initWithDatabase(database_);
  if (!parts->audience) return false;

  const std::shared_ptr<BMSMonitor> monitor = BMSMeasurement::monitor();
  const std::function<bool()> isDebugModeEnabled = [monitor] { return monitor->isDebugModeEnabled(); };
  const std::shared_ptr<const platform::Clock> clock = context_.sharedClock();
  const std::weak_ptr<BMSMeasurement> weakSelf = weak_from_this();

  BMSBundleEventProcessor::Collaborators processing{
      database_,
      remoteConfig_,
      persistedConfig_,
      parts->audience,
      {clock, [persisted = persistedConfig_] { return persisted->midnightOffset(); }, isDebugModeEnabled},
      [weakSelf](const BMSUserAttribute& property) {
        auto self = weakSelf.lock();
        return self && self->setUserPropertyInDatabaseOnWorkerQueue(property);
      }};
  platform::RandomSource* random = &context_.random();
  parts->bundler = std::make_shared<BMSRawEventBundler>(BMSRawEventBundler::Collaborators{
      database_, remoteConfig_, persistedConfig_, parts->audience,
      std::make_shared<BMSBundleEventProcessor>(std::move(processing)),
      std::make_shared<BMSEventSampler>(database_, remoteConfig_,
                                        [random](std::int64_t bound) { return randomBelow(*random, bound); }),
      clock, isDebugModeEnabled,
      [monitor](double period, double lastSampled) {
        return monitor->monitoringDataForDispatchWithSamplePeriod(period, lastSampled);
      },
      [identity = identity_]() -> std::optional<std::string> {
        if (auto appID = identity->appID(); appID && !appID->empty()) return appID;
        return platform::Bundle::main()->bundleIdentifier();
      },
      [weakSelf] {
        auto self = weakSelf.lock();
        if (!self || !self->shouldUpdateNPAUserProperty()) return;
        self->setPersonalizedAdsUserPropertyOnWorkerQueue();
        self->setShouldUpdateNPAUserProperty(false);
      },
      [weakSelf] {
        if (auto self = weakSelf.lock()) self->setSuspendedUploadTimestamp(0);
      }});

  parts->network =
      CVUNetwork::createWithReachabilityHost(CVUServiceHost(CVUService::Upload), &context_.reachability());
  if (!parts->network) {
    BMSLog(1, 23010, "Failed to initialize network component");
    uploadParts_ = std::move(parts);
    return true;
  }
  parts->network->setLoggerDelegate(networkLogBridge());
  parts->network->setIsDebugModeEnabled(monitor->isDebugModeEnabled());

  BMSUploader::Collaborators uploading;
  uploading.network = parts->network;
  uploading.scheduler = scheduler_;
  uploading.alarm = alarm_;
  uploading.database = database_;
  uploading.remoteConfig = [weakSelf] {
    auto self = weakSelf.lock();
    return self ? self->remoteConfigInstance() : BMSRemoteConfig::defaultInstance();
  };
  uploading.persistedConfig = persistedConfig_;
  uploading.clock = clock;
  uploading.isDebugModeEnabled = isDebugModeEnabled;
  uploading.libraryVersion = BMSIdentity::appMeasurementLibraryVersion();
  uploading.runtimeVersion = BMSPRuntime::runtimeVersion();
  uploading.bundleRawEvents = [bundler = parts->bundler] { return bundler->bundleRawEvents(); };
  uploading.reapplyTCFConsent = [weakSelf] {
    if (auto self = weakSelf.lock()) self->tcfClientSetConsentFromData();
  };
  uploading.uploadConsent = [weakSelf] {
    BMSUploadConsent consent;
    auto self = weakSelf.lock();
    if (!self) return consent;
    const BMSRemoteConfig& config = *self->remoteConfigInstance();
    consent.consentSignals = BMSConsentSettingsUtil::consentSignals();
    consent.gateAdvertisingIDOnAuthorization = config.gateIDFAOnATTMASEnabled();
    consent.DMAConsentEnabled = config.DMAConsentEnabled();
    consent.dma = dmaFacts(config);
    consent.npaUserAttribute = storedNPA(*self->database_);
    consent.identifiers = identifierFacts(self->identity_->refreshedSnapshot(std::nullopt));
    return consent;
  };
  uploading.activateNewSnapshot = [weakSelf] {
    if (auto self = weakSelf.lock()) self->remoteConfigInstance()->activateNewSnapshot();
  };
  uploading.terminateBackgroundTask = [weakSelf] {
    if (auto self = weakSelf.lock()) self->terminateBackgroundTask();
  };
  uploading.appIDFromCNP = [identity = identity_] { return identity->appIDFromCNP(); };
  uploading.updateAudiences = [audience = parts->audience](const std::vector<BMSPBAudience>& audiences) {
    return audience->updateAudiences(audiences);
  };
  uploading.updateConsentSettingsUtilWithRemoteConfig = [weakSelf] {
    if (auto self = weakSelf.lock()) self->updateConsentSettingsUtilWithRemoteConfig();
  };
  uploading.setTCFDMARegion = [weakSelf](bool isDMARegion) {
    if (auto self = weakSelf.lock(); self && self->tcfClient())
      self->tcfClient()->setIsDMARegion(isDMARegion);
  };
  uploading.resumePostponedRequest = [weakSelf] {
    auto self = weakSelf.lock();
    return self && self->resumePostponedPSMRequest();
  };
  uploading.afterConfigFetch = [weakSelf] {
    auto self = weakSelf.lock();
    return self && self->requestDeferredDeepLinkAfterConfigFetch();
  };
  parts->uploader = BMSUploader::create(std::move(uploading));
  uploadParts_ = std::move(parts);
  return true;
}

BMSPBMeasurementBundle BMSMeasurement::createRawEventMetadataWithUserAttributes(
    const std::vector<BMSUserAttribute>& userAttributes) {
  return createRawEventMetadataWithUserAttributes(userAttributes, identitySnapshotOnWorkerQueue());
}

std::optional<BMSIdentity::Snapshot> BMSMeasurement::identitySnapshotOnWorkerQueue() {
  if (!identity_) return std::nullopt;
  const std::shared_ptr<BMSSessionReporter> sessions = sessionReporter();
  // The user-ID read runs, when asked, on this thread inside the identity's pass (the worker queue
  // waits for it there), so it reads the storage as this queue's own read would.
  return identity_->refreshedSnapshot(
      BMSIdentity::SessionFacts{persistedConfig_->sessionNumber(), sessions && sessions->isSessionExpired(),
                                [this] { return hasUserPropertyUserIDOnWorkerQueue(); }});
}

BMSPBMeasurementBundle BMSMeasurement::createRawEventMetadataWithUserAttributes(
    const std::vector<BMSUserAttribute>& userAttributes,
    const std::optional<BMSIdentity::Snapshot>& snapshot) {
  BMSRawEventMetadataFacts facts;
  facts.isFromAppStore = identity_ ? identity_->isFromAppStore() : BMSAEU::isFAS();
  facts.libraryVersion = BMSIdentity::appMeasurementLibraryVersion();
  facts.consentSignals = BMSConsentSettingsUtil::consentSignals();
  const std::shared_ptr<BMSRemoteConfig> config = remoteConfigInstance();
  if (config) {
    facts.gateAdvertisingIDOnAuthorization = config->gateIDFAOnATTMASEnabled();
    facts.DMAConsentEnabled = config->DMAConsentEnabled();
    facts.dma = dmaFacts(*config);
  }
  if (database_ && BMSRawEventMetadataTakesStoredNPA(facts.DMAConsentEnabled, userAttributes))
    facts.storedNPA = storedNPA(*database_);
  if (identity_ && snapshot) {
    BMSIdentity& identity = *identity_;
    facts.appID = identity.appID();
    facts.appVersion = identity.appVersion();
    facts.appVersionMajor = identity.appVersionMajor();
    facts.appVersionMinor = identity.appVersionMinor();
    facts.appVersionRelease = identity.appVersionRelease();
    facts.cnpAppID = snapshot->appIDFromCNP;
    facts.adReachAppID = snapshot->appIDFromAdReach;
    facts.installationID = identity.beaconInstallationID();
    facts.sessionStitchingToken = snapshot->sessionStitchingToken;
    facts.identifiers = identifierFacts(*snapshot);
  }
  BMSEnvironmentInfo& environment = context_.environmentInfo();
  facts.deviceModel = environment.deviceModel();
  facts.deviceOSVersion = environment.deviceOSVersion();
  facts.timeZoneOffsetMinutes = environment.timeZoneOffsetMinutes();
  facts.userDefaultLanguage = environment.userDefaultLanguage();
  return rawEventMetadataBuilder_.metadata(facts, userAttributes);
}

bool BMSMeasurement::bundleRawEvents() {
  return uploadParts_ && uploadParts_->bundler->bundleRawEvents();
}

void BMSMeasurement::updateSchedule() {
  BMSScheduler::checkOnBackgroundThreadWithMethodName("updateSchedule");
  if (uploadParts_ && uploadParts_->uploader) uploadParts_->uploader->updateSchedule();
}

void BMSMeasurement::uploadDataOrRegisterAlarm() {
  if (uploadParts_ && uploadParts_->uploader) uploadParts_->uploader->uploadDataOrRegisterAlarm();
}

void BMSMeasurement::uploadData() {
  BMSScheduler::checkOnBackgroundThreadWithMethodName("uploadData");
  if (uploadParts_ && uploadParts_->uploader) uploadParts_->uploader->uploadData();
}

void BMSMeasurement::uploadDataRespectingBackoff() {
  if (uploadParts_ && uploadParts_->uploader) uploadParts_->uploader->uploadDataRespectingBackoff();
}

void BMSMeasurement::fetchRemoteConfig() {
  if (uploadParts_ && uploadParts_->uploader) uploadParts_->uploader->fetchRemoteConfig();
}

bool BMSMeasurement::isNetworkReadyForRequest() {
  return uploadParts_ && uploadParts_->uploader && uploadParts_->uploader->isNetworkReadyForRequest();
}

void BMSMeasurement::setNetworkRequestPending(bool pending) {
  if (uploadParts_ && uploadParts_->uploader) uploadParts_->uploader->setNetworkRequestPending(pending);
}

void BMSMeasurement::setSuspendedUploadTimestamp(double secondsSinceBoot) {
  if (uploadParts_ && uploadParts_->uploader)
    uploadParts_->uploader->setSuspendedUploadTimestamp(secondsSinceBoot);
}

std::shared_ptr<CVUNetwork> BMSMeasurement::network() const {
  return uploadParts_ ? uploadParts_->network : nullptr;
}

std::shared_ptr<BMSAudience> BMSMeasurement::audience() const {
  return uploadParts_ ? uploadParts_->audience : nullptr;
}

}  // namespace beacon
