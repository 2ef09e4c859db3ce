#include "measurement/storage/BMSTCFClient.h"

#include "measurement/storage/BMSConsentSettingsUtil.h"

namespace beacon {
namespace {

constexpr std::string_view kCmpSdkIDKey = "IABTCF_CmpSdkID";
constexpr std::string_view kGdprAppliesKey = "IABTCF_gdprApplies";
constexpr std::string_view kPurposeConsentsKey = "IABTCF_PurposeConsents";

// Purpose numbers start at 1; anything but '1' (including a string too short) is no consent.
bool purposeGranted(const std::string& consents, std::size_t purpose) {
  return purpose >= 1 && purpose <= consents.size() && consents[purpose - 1] == '1';
}

std::string verdict(bool granted) {
  return std::string(granted ? kBMSConsentGranted : kBMSConsentDenied);
}

}  // namespace

BMSTCFClient::BMSTCFClient(ConsentSink applyConsent, std::shared_ptr<BMSUserDefaults> preferences)
    : applyConsent_(std::move(applyConsent)), preferences_(std::move(preferences)) {}

platform::Dictionary BMSTCFClient::setConsentFromTCFData() {
  const std::optional<platform::Value> cmp = preferences_->objectForKey(kCmpSdkIDKey);
  const std::optional<platform::Value> applies = preferences_->objectForKey(kGdprAppliesKey);
  if (!cmp || !(cmp->isNumber() || cmp->isString()) || !applies || applies->integerValue() != 1) return {};
  const std::optional<platform::Value> purposes = preferences_->objectForKey(kPurposeConsentsKey);
  const std::string consents = purposes && purposes->isString() ? *purposes->asString() : std::string();
  const platform::Dictionary settings = {
      {std::string(kBMSConsentTypeAdStorage), verdict(purposeGranted(consents, 1))},
      {std::string(kBMSConsentTypeAdUserData),
       verdict(purposeGranted(consents, 1) && purposeGranted(consents, 7))},
      {std::string(kBMSConsentTypeAdPersonalization),
       verdict(purposeGranted(consents, 3) && purposeGranted(consents, 4))},
  };
  if (applyConsent_) applyConsent_(settings);
  return settings;
}

}  // namespace beacon
