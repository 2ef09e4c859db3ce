// The facade's consent updates, default event parameters and purchases.

#include "measurement/engine/BMSEngineServices.h"
#include "measurement/runtime/AnalyticsContext.h"
#include "measurement/runtime/BMSAnalytics.h"
#include "measurement/runtime/BMSMeasurement.h"
#include "measurement/runtime/EngineStartDecisions.h"
#include "measurement/storage/BMSConsentSettingsUtil.h"
#include "measurement/storage/BMSRemoteConfig.h"

namespace beacon {
namespace {

std::int64_t consentSourceForKey(const std::string& key) {
  if (key == kBMSFacadeConsentTCFKey) return kBMSConsentSourceTCF;
  if (key == kBMSFacadeConsent3PKey) return kBMSConsentSourceThirdParty;
  return kBMSConsentSourceAPI;
}

// The consent types of `consent` whose value is "granted" or "denied"; others are logged and dropped.
platform::Dictionary validConsentSettings(const platform::Dictionary& consent) {
  platform::Dictionary settings = BMSConsentSettingsUtil::consentSettingsFromDictionary(consent);
  for (auto entry = settings.begin(); entry != settings.end();) {
    const std::string* value = entry->second.asString();
    if (value && (*value == kBMSConsentGranted || *value == kBMSConsentDenied)) {
      ++entry;
      continue;
    }
    BMSLog(3, 25042, "Valid consent values are 'granted' and 'denied'. Ignoring invalid consent setting",
           {entry->second});
    entry = settings.erase(entry);
  }
  return settings;
}

}  // namespace

void BMSAnalytics::setConsent(const platform::Dictionary& consent) {
  setConsent(consent, kBMSFacadeConsentKey);
}

void BMSAnalytics::setConsent(const platform::Dictionary& consent, const std::string& key) {
  if (BMSConsentSettingsUtil::consentSource() == kBMSConsentSourceNone) loadPersistedConsentSettings();
  const platform::Dictionary settings = validConsentSettings(consent);
  if (settings.empty()) {
    BMSLog(3, 25041, "Discarding empty consent settings");
    return;
  }
  const std::int64_t source = consentSourceForKey(key);
  if (!BMSConsentSettingsUtil::isConsentSourceHigherPriority(source)) {
    BMSLog(3, 25043, "Ignoring lower priority consent settings");
    return;
  }
  const bool wasAdUserDataDenied = BMSConsentSettingsUtil::isAdUserDataDenied();
  BMSConsentSettingsUtil::updateSettings(settings, source);
  persistConsentSettings(BMSConsentSettingsUtil::consentSettings(), source);
  if (key == kBMSFacadeConsent3PKey) BMSLog(8, 25055, BMSConsentSettingsUtil::description());

  const std::shared_ptr<BMSRemoteConfig> config = BMSMeasurement::remoteConfig();
  if (config->dcuEventFeatureEnabled() && !config->consentDefaults().empty() &&
      BMSConsentSettingsUtil::didAdUserDataConsentChange(wasAdUserDataDenied)) {
    logInternalEventWithOrigin("auto", "_dcu", {{"_r", platform::Value(1)}});
  }
  const std::optional<bool> adPersonalization = BMSConsentSettingsUtil::adPersonalization();
  if (config->DMAConsentEnabled() && settings.contains(std::string(kBMSConsentTypeAdPersonalization)) &&
      adPersonalization) {
    setUserPropertyString(platform::Value(*adPersonalization ? "YES" : "NO"), "allow_personalized_ads");
  }
}

void BMSAnalytics::setDefaultEventParameters(const std::optional<BMSParameters>& parameters) {
  queueOperationWithBlock([parameters] {
    const std::shared_ptr<BMSMeasurement> engine = BMSMeasurement::sharedInstance();
    if (isEnabled() && engine) engine->setDefaultEventParameters(parameters);
  });
}

void BMSAnalytics::paymentQueueUpdatedTransactions(const std::vector<BMSPaymentTransaction>& transactions) {
  queueOperationWithBlock([transactions] {
    const std::shared_ptr<BMSMeasurement> engine = BMSMeasurement::sharedInstance();
    if (!isEnabled() || !engine) return;
    engine->filterPurchaseTransactions(transactions, [](const std::vector<BMSPaymentTransaction>& kept) {
      BMSInAppPurchaseTransactionReporter::sharedInstance().paymentQueueUpdatedFilteredTransactions(kept);
    });
  });
}

void BMSAnalytics::logTransactionWithProductID(const std::string& productID, std::int64_t paymentQuantity,
                                               const std::string& transactionIdentifier,
                                               const std::string& originalTransactionIdentifier,
                                               std::optional<double> transactionDate,
                                               const platform::Bytes& deviceVerification,
                                               const std::string& deviceVerificationUUID,
                                               const std::string& deviceVerificationNonce) {
  BMSInAppPurchaseTransactionReporter::sharedInstance().reportTransactionWithProductID(
      productID, paymentQuantity, transactionIdentifier, originalTransactionIdentifier, transactionDate,
      deviceVerification, deviceVerificationUUID, deviceVerificationNonce);
}

}  // namespace beacon
