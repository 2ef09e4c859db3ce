// The facade's own preferences: reset bookkeeping, the engine's deferred markers and the consent the
// facade persists for the next launch.

#include "measurement/engine/BMSUserDefaults.h"
#include "measurement/runtime/AnalyticsContext.h"
#include "measurement/runtime/BMSAnalytics.h"
#include "measurement/runtime/BMSAnalyticsState.h"
#include "measurement/runtime/EngineStartDecisions.h"
#include "measurement/storage/BMSConsentSettingsUtil.h"

namespace beacon {
namespace {

constexpr const char* kResetRetryCountKey = "reset_retry_count";
constexpr const char* kNeedFirstOpenAfterResetKey = "need_first_open_after_reset";
constexpr const char* kAppInstanceIDAfterResetKey = "app_instance_id_after_reset";
constexpr const char* kDeferredAnalyticsCollectionKey = "deferred_analytics_collection";
constexpr const char* kConsentSourceKey = "consent_source";
constexpr const char* kConsentOnStartKey = "consent_settings_on_start";
constexpr const char* kDeferredConsentResetKey = "deferred_consent_reset";

BMSUserDefaults& defaults() {
  return AnalyticsContext::current().facade().defaults();
}

platform::Dictionary dictionaryFor(const char* key) {
  const std::optional<platform::Value> stored = defaults().objectForKey(key);
  const platform::Dictionary* dictionary = stored ? stored->asDictionary() : nullptr;
  return dictionary ? *dictionary : platform::Dictionary{};
}

bool isStored(const char* key) {
  const std::optional<platform::Value> stored = defaults().objectForKey(key);
  return stored && stored->isDictionary();
}

}  // namespace

std::int64_t BMSAnalytics::resetRetryCount() {
  return defaults().integerForKey(kResetRetryCountKey);
}

void BMSAnalytics::setResetRetryCount(std::int64_t count) {
  if (count < 1) {
    defaults().removeObjectForKey(kResetRetryCountKey);
  } else {
    defaults().setInteger(count, kResetRetryCountKey);
  }
}

bool BMSAnalytics::needFirstOpenAfterReset() {
  return defaults().boolForKey(kNeedFirstOpenAfterResetKey);
}
void BMSAnalytics::setNeedFirstOpenAfterReset(bool value) {
  defaults().setBool(value, kNeedFirstOpenAfterResetKey);
}
void BMSAnalytics::removeNeedFirstOpenAfterReset() {
  defaults().removeObjectForKey(kNeedFirstOpenAfterResetKey);
}

std::optional<std::string> BMSAnalytics::appInstanceIDAfterReset() {
  const std::optional<platform::Value> stored = defaults().objectForKey(kAppInstanceIDAfterResetKey);
  return stored && stored->isString() ? std::optional<std::string>(*stored->asString()) : std::nullopt;
}

void BMSAnalytics::setAppInstanceIDAfterReset(std::optional<std::string> appInstanceID) {
  if (appInstanceID) {
    defaults().setObject(platform::Value(std::move(*appInstanceID)), kAppInstanceIDAfterResetKey);
  } else {
    defaults().removeObjectForKey(kAppInstanceIDAfterResetKey);
  }
}

std::optional<platform::Value> BMSAnalytics::deferredAnalyticsCollection() {
  return defaults().objectForKey(kDeferredAnalyticsCollectionKey);
}

void BMSAnalytics::setDeferredAnalyticsCollection(std::optional<platform::Value> value) {
  defaults().setObject(std::move(value), kDeferredAnalyticsCollectionKey);
}

std::optional<platform::Value> BMSAnalytics::deferredResetOnDeniedConsent() {
  return defaults().objectForKey(kDeferredConsentResetKey);
}

void BMSAnalytics::removeDeferredResetOnDeniedConsent() {
  defaults().removeObjectForKey(kDeferredConsentResetKey);
}

std::int64_t BMSAnalytics::persistedConsentSource() {
  const std::optional<platform::Value> stored = defaults().objectForKey(kConsentSourceKey);
  return stored && stored->isNumber() ? stored->integerValue() : kBMSConsentSourceNone;
}

platform::Dictionary BMSAnalytics::consentSettings1P() {
  return dictionaryFor(kBMSFacadeConsentKey);
}
platform::Dictionary BMSAnalytics::consentSettings3P() {
  return dictionaryFor(kBMSFacadeConsent3PKey);
}
platform::Dictionary BMSAnalytics::consentSettingsTCF() {
  return dictionaryFor(kBMSFacadeConsentTCFKey);
}
platform::Dictionary BMSAnalytics::consentSettings1PStart() {
  return dictionaryFor(kConsentOnStartKey);
}
void BMSAnalytics::removeStartUpConsentSettings() {
  defaults().removeObjectForKey(kConsentOnStartKey);
}

void BMSAnalytics::loadPersistedConsentSettings() {
  const std::int64_t persistedSource = persistedConsentSource();
  if (persistedSource == kBMSConsentSourceNone) return;
  // Reloaded dictionaries count with the source their key stands for, unless the persisted one is
  // stronger.
  std::optional<std::int64_t> candidate;
  if (isStored(kBMSFacadeConsentTCFKey)) {
    BMSConsentSettingsUtil::setConsentSettings(consentSettingsTCF());
    candidate = kBMSConsentSourceTCF;
  } else if (isStored(kBMSFacadeConsent3PKey)) {
    BMSConsentSettingsUtil::setConsentSettings(consentSettings3P());
    candidate = kBMSConsentSourceInfoPlist;
  } else if (isStored(kBMSFacadeConsentKey)) {
    BMSConsentSettingsUtil::setConsentSettings(consentSettings1P());
    candidate = kBMSConsentSourceFirstPartyAtStart;
  }
  BMSConsentSettingsUtil::setConsentSource(candidate ? std::min(persistedSource, *candidate)
                                                     : persistedSource);
}

void BMSAnalytics::persistConsentSettings(const platform::Dictionary& settings, std::int64_t source) {
  const char* key = source == kBMSConsentSourceTCF         ? kBMSFacadeConsentTCFKey
                    : source <= kBMSConsentSourceInfoPlist ? kBMSFacadeConsent3PKey
                                                           : kBMSFacadeConsentKey;
  defaults().setObject(platform::Value(settings), key);
  defaults().setInteger(source, kConsentSourceKey);
}

void BMSAnalytics::clearConsent() {
  for (const char* key : {kConsentSourceKey, kBMSFacadeConsent3PKey, kBMSFacadeConsentKey, kConsentOnStartKey,
                          kDeferredConsentResetKey, kBMSFacadeConsentTCFKey}) {
    defaults().removeObjectForKey(key);
  }
  BMSConsentSettingsUtil::clearAllSettings();
}

}  // namespace beacon
