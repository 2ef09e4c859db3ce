#include "measurement/runtime/BMSIdentity.h"

#include "measurement/engine/BMSAEU.h"
#include "measurement/engine/BMSDigest.h"
#include "measurement/engine/BMSEngineServices.h"
#include "measurement/engine/BMSInfoPlistFileUtil.h"
#include "measurement/runtime/AnalyticsContext.h"
#include "measurement/runtime/BMSIdentitySupport.h"
#include "measurement/runtime/BMSIdentityValues.h"
#include "measurement/storage/BMSPersistedConfig.h"
#include "platform/bundle/Bundle.h"

namespace beacon {
namespace {

constexpr std::size_t kDiversionKeyLength = 5;

std::optional<std::string> nonEmpty(std::optional<std::string> text) {
  return text && !text->empty() ? std::move(text) : std::nullopt;
}

std::optional<std::string> stringIn(const std::optional<platform::Dictionary>& dictionary,
                                    std::string_view key) {
  if (!dictionary) return std::nullopt;
  const auto found = dictionary->find(key);
  return found != dictionary->end() && found->second.isString() ? nonEmpty(*found->second.asString())
                                                                : std::nullopt;
}

// The platform's tracking status mapped to the engine's codes.
std::uint64_t trackingStatusCode(std::uint64_t platformStatus) {
  switch (platformStatus) {
    case 0:
      return 4;  // not determined
    case 1:
      return 1;  // restricted
    case 2:
      return 2;  // denied
    case 3:
      return 3;  // authorised
    default:
      return kBMSTrackingStatusUnknown;
  }
}

}  // namespace

std::shared_ptr<BMSIdentity> BMSIdentity::shared() {
  std::shared_ptr<BMSIdentity> identity = AnalyticsContext::current().identity();
  if (!identity) BMSLog(2, 20003, "Identity's shared instance is nil");
  return identity;
}

std::shared_ptr<BMSIdentity> BMSIdentity::initWithCollaborators(AnalyticsContext& context,
                                                                Collaborators collaborators) {
  if (!collaborators.persistedConfig) {
    BMSLog(2, 20004, "Unable to create measurement identity, missing a valid persisted config instance");
    return nullptr;
  }
  std::shared_ptr<BMSIdentity> identity(new BMSIdentity(context, std::move(collaborators)));
  identity->readBundleFacts();
  BMSPersistedConfig& persisted = *identity->collaborators_.persistedConfig;
  if (!nonEmpty(persisted.appInstanceID()) && !identity->collaborators_.isAnalyticsStorageDenied()) {
    persisted.setAppInstanceID(identity->randomAppInstanceID());
  }
  return identity;
}

BMSIdentity::BMSIdentity(AnalyticsContext& context, Collaborators collaborators)
    : context_(context),
      collaborators_(std::move(collaborators)),
      queue_(platform::makeSerialQueue("BMSIdentityWorkerQueue",
                                       platform::globalQueue(platform::QualityOfService::Background))) {}

void BMSIdentity::readBundleFacts() {
  const std::optional<platform::Dictionary> service =
      BMSInfoPlistFileUtil::dictionaryFromBeaconServiceInfoPlist();
  appIDFromCNP_ = stringIn(service, "CORVANE_APP_ID");
  appIDFromAdReach_ = stringIn(service, "ADREACH_APP_ID");
  if (context_.classExists("BCNAnalytics") && !appIDFromCNP_) {
    BMSLog(0, 20006,
           "Corvane App ID from BeaconService-Info.plist is empty. Please, define CORVANE_APP_ID in "
           "BeaconService-Info.plist for Analytics to work reliably. See "
           "https://beacon.corvane.example/docs/analytics/app-id");
  }

  const std::shared_ptr<const platform::Bundle> bundle = platform::Bundle::main();
  if (const platform::Value* idfv =
          bundle->objectForInfoDictionaryKey("CORVANE_ANALYTICS_IDFV_COLLECTION_ENABLED");
      idfv && idfv->isNumber()) {
    isIDFVCollectionEnabledNumber_ = *idfv;
    BMSLog(7, 20009,
           std::string("CORVANE_ANALYTICS_IDFV_COLLECTION_ENABLED = ") + (idfv->boolValue() ? "YES" : "NO"));
  }
  isFromAppStore_ = BMSAEU::isFAS();
  appID_ = bundle->bundleIdentifier();
  if (const platform::Value* version = bundle->objectForInfoDictionaryKey("CFBundleShortVersionString");
      version && version->isString()) {
    appVersion_ = *version->asString();
  }
  if (const platform::Value* build = bundle->objectForInfoDictionaryKey("CFBundleVersion");
      build && build->isString()) {
    const std::vector<std::int64_t> fields = numericFieldsFromAppVersionNumeric(*build->asString());
    if (fields.size() > 0) appVersionMajor_ = fields[0];
    if (fields.size() > 1) appVersionMinor_ = fields[1];
    if (fields.size() > 2) appVersionRelease_ = fields[2];
  }
}

std::int64_t BMSIdentity::appMeasurementLibraryVersion() {
  return libraryVersionFromString(kBMSLibraryVersionString);
}

std::vector<std::int64_t> BMSIdentity::numericFieldsFromAppVersionNumeric(std::string_view version) {
  AppVersionFields fields = numericFieldsFromAppVersion(version);
  if (fields.hadNonNumericCharacters) BMSLog(5, 20002, "app version numeric has non-numeric characters");
  return std::move(fields.numbers);
}

std::string BMSIdentity::randomAppInstanceID() const {
  return beacon::randomAppInstanceID(context_.random());
}

template <class T>
T BMSIdentity::readOnQueue(const std::function<T()>& read) {
  std::optional<T> result;
  queue_->sync([&] { result = read(); });
  return std::move(*result);
}

template <class T>
T BMSIdentity::readRefreshedOnQueue(const std::function<T()>& read) {
  // The refresh runs first within the same pass, as a refresh queued just before the read would.
  return readOnQueue<T>([&] {
    updateIdentifiersOnQueue();
    return read();
  });
}

void BMSIdentity::writeOnQueue(std::function<void(BMSIdentity&)> write) {
  queue_->async([weakSelf = weak_from_this(), write = std::move(write)] {
    if (std::shared_ptr<BMSIdentity> self = weakSelf.lock()) write(*self);
  });
}

std::uint64_t BMSIdentity::appleConsentStatus() {
  return readRefreshedOnQueue<std::uint64_t>([this] { return appleConsentStatus_; });
}

bool BMSIdentity::hasLimitedAdTracking() {
  return readRefreshedOnQueue<bool>(
      [this] { return collaborators_.identitySupport->hasLimitedAdTracking(); });
}

bool BMSIdentity::limitedAdTracking() {
  return readRefreshedOnQueue<bool>([this] { return limitedAdTracking_; });
}

std::optional<std::string> BMSIdentity::resettableDeviceID() {
  return readRefreshedOnQueue<std::optional<std::string>>([this] { return resettableDeviceID_; });
}

std::optional<std::string> BMSIdentity::appInstanceID() {
  return readRefreshedOnQueue<std::optional<std::string>>([this] { return appInstanceIDOnQueue(); });
}

std::optional<std::string> BMSIdentity::appInstanceIDOnQueue() const {
  return appInstanceIDOnQueue(collaborators_.isAnalyticsStorageDenied());
}

std::optional<std::string> BMSIdentity::appInstanceIDOnQueue(bool analyticsStorageDenied) const {
  if (analyticsStorageDenied) return std::nullopt;
  return collaborators_.persistedConfig->appInstanceID();
}

std::optional<std::string> BMSIdentity::hashedResettableDeviceID() {
  return readRefreshedOnQueue<std::optional<std::string>>([this]() -> std::optional<std::string> {
    if (collaborators_.isAdStorageDenied()) return std::nullopt;
    return collaborators_.persistedConfig->hashedResettableDeviceID();
  });
}

std::optional<std::string> BMSIdentity::appIDFromCNP() {
  return readOnQueue<std::optional<std::string>>([this] { return appIDFromCNP_; });
}

std::optional<std::string> BMSIdentity::appIDFromAdReach() {
  return readOnQueue<std::optional<std::string>>([this] { return appIDFromAdReach_; });
}

bool BMSIdentity::shouldSetLastAdvertisingIDResetUserProperty() {
  return readOnQueue<bool>(
      [this] { return collaborators_.persistedConfig->shouldSetLastAdvertisingIDResetUserProperty(); });
}

std::string BMSIdentity::diversionKey() {
  return readOnQueue<std::string>([this] {
    std::optional<std::string> key = collaborators_.persistedConfig->diversionKey();
    if (!key || key->size() != kDiversionKeyLength) {
      key = randomAppInstanceID().substr(0, kDiversionKeyLength);
      collaborators_.persistedConfig->setDiversionKey(key);
    }
    return *key;
  });
}

std::string BMSIdentity::ephemeralAppInstanceID() {
  return readOnQueue<std::string>([this] { return ephemeralAppInstanceIDOnQueue(); });
}

std::string BMSIdentity::ephemeralAppInstanceIDOnQueue() {
  if (!ephemeralAppInstanceID_) ephemeralAppInstanceID_ = randomAppInstanceID();
  return *ephemeralAppInstanceID_;
}

std::optional<std::string> BMSIdentity::sessionStitchingTokenWithSessionNumber(std::int64_t sessionNumber,
                                                                               bool sessionExpired,
                                                                               bool userIDAvailable) {
  return readOnQueue<std::optional<std::string>>([&] {
    return sessionStitchingTokenOnQueue(
        {sessionNumber, sessionExpired, [userIDAvailable] { return userIDAvailable; }},
        collaborators_.isAnalyticsStorageDenied());
  });
}

std::optional<std::string> BMSIdentity::sessionStitchingTokenOnQueue(const SessionFacts& session,
                                                                     bool analyticsStorageDenied) {
  if (analyticsStorageDenied) return std::nullopt;
  return sessionStitchingToken_.tokenFor(session.sessionNumber, session.sessionExpired,
                                         session.userIDAvailable, context_.clock().now(),
                                         [this] { return randomAppInstanceID(); });
}

BMSIdentity::Snapshot BMSIdentity::refreshedSnapshot(const std::optional<SessionFacts>& session) {
  return readRefreshedOnQueue<Snapshot>([&] {
    // Read once for the two fields that depend on it: one consent evaluation per snapshot.
    const bool analyticsStorageDenied = collaborators_.isAnalyticsStorageDenied();
    Snapshot snapshot;
    snapshot.appleConsentStatus = appleConsentStatus_;
    snapshot.hasLimitedAdTracking = collaborators_.identitySupport->hasLimitedAdTracking();
    snapshot.limitedAdTracking = limitedAdTracking_;
    snapshot.resettableDeviceID = resettableDeviceID_;
    snapshot.appInstanceID = appInstanceIDOnQueue(analyticsStorageDenied);
    snapshot.ephemeralAppInstanceID = ephemeralAppInstanceIDOnQueue();
    snapshot.appIDFromCNP = appIDFromCNP_;
    snapshot.appIDFromAdReach = appIDFromAdReach_;
    snapshot.shouldSetLastAdvertisingIDResetUserProperty =
        collaborators_.persistedConfig->shouldSetLastAdvertisingIDResetUserProperty();
    if (session)
      snapshot.sessionStitchingToken = sessionStitchingTokenOnQueue(*session, analyticsStorageDenied);
    return snapshot;
  });
}

void BMSIdentity::setAppInstanceID(const std::string& appInstanceID) {
  writeOnQueue([appInstanceID](BMSIdentity& self) { self.setAppInstanceIDOnWorkerQueue(appInstanceID); });
}

void BMSIdentity::setAppInstanceIDOnWorkerQueue(const std::string& appInstanceID) {
  collaborators_.persistedConfig->setAppInstanceID(appInstanceID);
}

void BMSIdentity::setShouldSetLastAdvertisingIDResetUserProperty(bool value) {
  writeOnQueue([value](BMSIdentity& self) {
    self.collaborators_.persistedConfig->setShouldSetLastAdvertisingIDResetUserProperty(value);
  });
}

void BMSIdentity::resetSessionStitchingToken() {
  writeOnQueue([](BMSIdentity& self) { self.resetSessionStitchingTokenOnWorkerQueue(); });
}

void BMSIdentity::resetSessionStitchingTokenOnWorkerQueue() {
  sessionStitchingToken_.reset();
}

void BMSIdentity::resetEphemeralAppInstanceID() {
  writeOnQueue([](BMSIdentity& self) { self.resetEphemeralAppInstanceIDOnWorkerQueue(); });
}

void BMSIdentity::resetEphemeralAppInstanceIDOnWorkerQueue() {
  ephemeralAppInstanceID_.reset();
}

void BMSIdentity::setAppIDOnce(const std::string& appID, std::atomic<bool>& alreadySet,
                               std::optional<std::string> BMSIdentity::*field) {
  if (alreadySet.exchange(true)) return;
  writeOnQueue([appID, field](BMSIdentity& self) { self.*field = appID; });
}

void BMSIdentity::setAppIDFromCNP(const std::string& appID) {
  if (appID.empty()) {
    BMSLog(2, 20005, "Cannot set empty Corvane App ID");
    return;
  }
  setAppIDOnce(appID, appIDFromCNPSet_, &BMSIdentity::appIDFromCNP_);
}

void BMSIdentity::setAppIDFromAdReach(const std::string& appID) {
  if (appID.empty()) {
    BMSLog(2, 20007, "Cannot set empty AdReach App ID");
    return;
  }
  setAppIDOnce(appID, appIDFromAdReachSet_, &BMSIdentity::appIDFromAdReach_);
}

void BMSIdentity::updateIdentifiers() {
  writeOnQueue([](BMSIdentity& self) { self.updateIdentifiersOnQueue(); });
}

void BMSIdentity::updateIdentifiersAndWait() {
  // Waits for the blocks queued before, then refreshes on the calling thread: no worker is woken.
  queue_->sync([this] { updateIdentifiersOnQueue(); });
}

void BMSIdentity::updateIdentifiersOnQueue() {
  BMSPersistedConfig& persisted = *collaborators_.persistedConfig;
  const RefreshSettings settings =
      collaborators_.refreshSettings ? collaborators_.refreshSettings() : RefreshSettings{};
  const platform::Date now = context_.clock().now();
  std::optional<std::string> appInstanceID = nonEmpty(persisted.appInstanceID());
  if (appInstanceID && lastAppInstanceIDUpdateTimestamp_ && *lastAppInstanceIDUpdateTimestamp_ <= now &&
      now.secondsSinceReferenceDate - lastAppInstanceIDUpdateTimestamp_->secondsSinceReferenceDate <
          settings.adIDCacheTime) {
    return;
  }

  BMSIdentitySupport& support = *collaborators_.identitySupport;
  const bool limitedAdTracking = support.limitedAdTracking();
  std::uint64_t status = kBMSTrackingStatusNoLimitedAdTrackingInfo;
  if (support.hasLimitedAdTracking()) {
    status = support.hasAppDataConsentStatus() ? trackingStatusCode(support.appDataConsentStatus())
                                               : kBMSTrackingStatusUnknown;
  }
  const bool authorised = status == 3;

  const bool adStorageDenied = collaborators_.isAdStorageDenied();
  std::optional<std::string> candidate;
  if (adStorageDenied) {
    resettableDeviceID_.reset();
  } else if (authorised || !settings.gateIDFAOnATTMASEnabled) {
    candidate = nonEmpty(support.resettableDeviceID());
  }

  bool update = false;
  std::optional<std::string> newHash;
  if (candidate && *candidate != kBMSZeroResettableDeviceID) {
    newHash = BMSMD5String(*candidate);
    const std::optional<std::string> previousHash = nonEmpty(persisted.hashedResettableDeviceID());
    if (newHash != previousHash) {
      update = true;
      // A new advertising ID after an earlier one means the user reset it: start a new instance.
      if (previousHash) {
        appInstanceID = randomAppInstanceID();
        persisted.setShouldSetLastAdvertisingIDResetUserProperty(true);
      }
    }
    resettableDeviceID_ = candidate;
  } else if (candidate) {
    resettableDeviceID_.reset();
  }
  if (!appInstanceID) update = true;

  if (update) {
    if (!collaborators_.isAnalyticsStorageDenied()) {
      persisted.setAppInstanceID(appInstanceID ? *appInstanceID : randomAppInstanceID());
    }
    if (!adStorageDenied && newHash) persisted.setHashedResettableDeviceID(newHash);
  }
  lastAppInstanceIDUpdateTimestamp_ = now;
  limitedAdTracking_ = limitedAdTracking;
  appleConsentStatus_ = status;
}

std::optional<std::string> BMSIdentity::beaconInstallationID() const {
  std::lock_guard lock(installationIDMutex_);
  return beaconInstallationID_;
}

void BMSIdentity::setBeaconInstallationID(std::optional<std::string> installationID) {
  std::lock_guard lock(installationIDMutex_);
  beaconInstallationID_ = std::move(installationID);
}

}  // namespace beacon
