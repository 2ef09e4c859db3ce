// The engine's user properties in the database with their per-origin limits, the user ID's side
// effects, and the engine-kept properties "_npa" (ads must not be personalised) and "_lair" (last
// advertising-ID reset). Worker queue.

#include "measurement/engine/BMSDisplayNames.h"
#include "measurement/engine/BMSEngineServices.h"
#include "measurement/engine/BMSError.h"
#include "measurement/engine/BMSEventParameterSanitizer.h"
#include "measurement/engine/BMSScheduler.h"
#include "measurement/runtime/AdPersonalization.h"
#include "measurement/runtime/AnalyticsContext.h"
#include "measurement/runtime/BMSIdentity.h"
#include "measurement/runtime/BMSMeasurement.h"
#include "measurement/runtime/UserPropertyNames.h"
#include "measurement/storage/BMSConsentSettingsUtil.h"
#include "measurement/storage/BMSDatabase.h"
#include "measurement/storage/BMSPersistedConfig.h"
#include "measurement/storage/BMSRemoteConfig.h"
#include "platform/bundle/Bundle.h"

namespace beacon {
namespace {

constexpr std::int64_t kUserPropertyLimitErrorCode = 9;
// Diagnostic sources of the ad-personalization consent.
constexpr std::int64_t kDiagnosticSourceNone = 0;
constexpr std::int64_t kDiagnosticSourceDefaults = 1;
constexpr std::int64_t kDiagnosticSourceInfoPlist = 3;
constexpr std::int64_t kDiagnosticSourceAPI = 5;

}  // namespace

bool BMSMeasurement::setUserPropertyInDatabaseOnWorkerQueue(const BMSUserAttribute& property) {
  BMSScheduler::checkOnBackgroundThreadWithMethodName("setUserPropertyInDatabaseOnWorkerQueue");
  const std::string displayName = BMSUserPropertyNameForDisplay(property.name());
  const platform::Result<bool> exists = database_->containsUserAttributeWithName(property.name());
  if (!exists) {
    BMSLog(1, 23082, "Unable to query existence of user property. Name, error",
           {displayName, BMSContextFromError(exists.error())});
    return false;
  }
  if (property.name() == kUserIDName && *exists) {
    const auto stored = database_->userAttributeWithName(kUserIDName);
    if (stored && *stored && (*stored)->value().description() != property.value().description()) {
      identity_->resetSessionStitchingToken();
      (void)database_->deleteUserAttributeWithName(kLastAdvertisingIDResetName);
    }
  }
  if (remoteConfig_->DMAConsentEnabled() && property.name() == kNonPersonalizedAdsName)
    updateAdPersonalizationConsentFromNPAValue(property.value().int64Value());

  // Replacing a property is never limited; a new one must fit its origin's (or the public) limit.
  if (!*exists) {
    const bool isPublic = property.isPublic();
    const platform::Result<std::int64_t> count =
        isPublic ? database_->publicUserAttributeCount()
                 : database_->userAttributeCountForOrigin(property.origin());
    if (!count) {
      BMSLog(1, 23083, "Unable to query user property count. Origin, error",
             {property.origin(), BMSContextFromError(count.error())});
      return false;
    }
    const std::int64_t limit =
        isPublic ? remoteConfig_->maxPublicUserProperties() : kMaxUserPropertiesPerOrigin;
    if (*count >= limit) {
      BMSLog(
          3, 23084,
          "Unable to set user property. Reached limit on set user properties for origin. Origin, name, value",
          {property.origin(), displayName, BMSPlainValue(property.value())});
      BMSLogErrorEvent(kUserPropertyLimitErrorCode);
      return false;
    }
  }
  if (const platform::Result<void> updated = database_->updateUserAttribute(property); !updated) {
    BMSLog(1, 23085, "Unable to set user property. Name, value, error",
           {displayName, BMSPlainValue(property.value()), BMSContextFromError(updated.error())});
    return false;
  }
  BMSLog(7, 23087, "User property set. Name, value", {displayName, BMSPlainValue(property.value())});
  return true;
}

std::optional<std::int64_t> BMSMeasurement::shouldDisableAdPersonalization() {
  AdPersonalizationInputs inputs;
  inputs.allowPersonalizedAds = persistedConfig_->allowPersonalizedAds();
  inputs.dmaConsentEnabled = remoteConfig()->DMAConsentEnabled();
  inputs.consentSettings = BMSConsentSettingsUtil::consentSettings();
  inputs.adPersonalizationGranted = BMSConsentSettingsUtil::adPersonalization();
  if (const std::shared_ptr<const platform::Bundle> bundle = platform::Bundle::main()) {
    if (const platform::Value* value =
            bundle->objectForInfoDictionaryKey(kBMSDefaultAllowAdPersonalizationSignalsKey))
      inputs.infoPlistDefault = *value;
  }
  inputs.defaultConsentSettings = BMSConsentSettingsUtil::defaultSettings();
  const AdPersonalizationDecision decision = beacon::shouldDisableAdPersonalization(inputs);
  if (decision.foundInfoPlistFlag) foundAdPersonalizationPlistFlag_ = true;
  return decision.disable;
}

void BMSMeasurement::setPersonalizedAdsUserPropertyOnWorkerQueue() {
  BMSScheduler::checkOnBackgroundThreadWithMethodName("setPersonalizedAdsUserPropertyOnWorkerQueue");
  const auto stored = database_->userAttributeWithName(kNonPersonalizedAdsName);
  if (!stored) {
    BMSLog(1, 23172, "Unable to read personalized ads user property. Error",
           {BMSContextFromError(stored.error())});
    return;
  }
  const std::optional<std::int64_t> disable = shouldDisableAdPersonalization();
  if (!disable) {
    if (!*stored) return;
    if (const platform::Result<void> deleted =
            database_->deleteUserAttributeWithName(kNonPersonalizedAdsName);
        !deleted) {
      BMSLog(1, 23173, "Unable to remove personalized ads user property in the database. Error",
             {BMSContextFromError(deleted.error())});
      return;
    }
    BMSLog(4, 23180, "No value set for personalized ads. Removing user property.");
    BMSConsentSettingsUtil::setDiagnosticSource(kDiagnosticSourceNone, kBMSConsentTypeAdPersonalization);
    return;
  }
  const bool changed = !*stored || (*stored)->value().int64Value() != *disable;
  if (remoteConfig()->DMAConsentEnabled() && !BMSConsentSettingsUtil::adPersonalization())
    updateAdPersonalizationConsentFromNPAValue(disable);
  if (!changed) return;
  if (std::optional<BMSUserAttribute> property = BMSUserAttribute::initWithOrigin(
          "auto", kNonPersonalizedAdsName, BMSValue::initWithInt64(*disable), context_.nowSince1970())) {
    setUserAttributeOnWorkerQueue(*property);
  }
}

void BMSMeasurement::updateAdPersonalizationConsentFromNPAValue(std::optional<std::int64_t> npa) {
  const std::optional<bool> granted = BMSConsentSettingsUtil::adPersonalization();
  if (npa && granted && *granted == (*npa == 0)) return;
  const bool deny = npa && *npa != 0;
  BMSConsentSettingsUtil::updateSettings({{std::string(kBMSConsentTypeAdPersonalization),
                                           std::string(deny ? kBMSConsentDenied : kBMSConsentGranted)}});
  if (persistedConfig_->allowPersonalizedAds()) {
    BMSConsentSettingsUtil::setDiagnosticSource(kDiagnosticSourceAPI, kBMSConsentTypeAdPersonalization);
  } else if (foundAdPersonalizationPlistFlag_) {
    BMSConsentSettingsUtil::setDiagnosticSource(kDiagnosticSourceInfoPlist, kBMSConsentTypeAdPersonalization);
  } else if (BMSConsentSettingsUtil::defaultSettings().contains(
                 std::string(kBMSConsentTypeAdPersonalization))) {
    BMSConsentSettingsUtil::setDiagnosticSource(kDiagnosticSourceDefaults, kBMSConsentTypeAdPersonalization);
  }
}

void BMSMeasurement::setLastAdvertisingIDResetUserPropertyOnWorkerQueue() {
  BMSScheduler::checkOnBackgroundThreadWithMethodName("setLastAdvertisingIDResetUserPropertyOnWorkerQueue");
  if (!hasUserPropertyUserIDOnWorkerQueue()) return;
  const platform::Result<bool> alreadySet =
      database_->containsUserAttributeWithName(kLastAdvertisingIDResetName);
  if (!alreadySet || *alreadySet) return;
  if (std::optional<BMSUserAttribute> property = BMSUserAttribute::initWithOrigin(
          "auto", kLastAdvertisingIDResetName, BMSValue::initWithInt64(1), context_.nowSince1970())) {
    setUserAttributeOnWorkerQueue(*property);
  }
  identity_->setShouldSetLastAdvertisingIDResetUserProperty(false);
}

bool BMSMeasurement::hasUserPropertyUserIDOnWorkerQueue() {
  BMSScheduler::checkOnBackgroundThreadWithMethodName("hasUserPropertyUserIDOnWorkerQueue");
  const platform::Result<bool> stored = database_->containsUserAttributeWithName(kUserIDName);
  return stored && *stored;
}

std::optional<std::string> BMSMeasurement::previousFirstOpenCount() const {
  const std::optional<platform::Value> count = persistedConfig_->previousFirstOpenCount();
  return count ? std::optional<std::string>(count->stringValue()) : std::nullopt;
}

void BMSMeasurement::setPreviousFirstOpenCount(const std::optional<std::string>& count) {
  persistedConfig_->setPreviousFirstOpenCount(
      count ? std::optional<platform::Value>(static_cast<long long>(platform::Value(*count).integerValue()))
            : std::nullopt);
}

}  // namespace beacon
