#include "measurement/runtime/AdPersonalization.h"

#include "platform/text/Search.h"

namespace beacon {
namespace {

constexpr const char* kAdPersonalization = "ad_personalization";

}  // namespace

AdPersonalizationDecision shouldDisableAdPersonalization(const AdPersonalizationInputs& inputs) {
  AdPersonalizationDecision decision;
  if (inputs.allowPersonalizedAds && inputs.allowPersonalizedAds->isNumber()) {
    decision.disable = inputs.allowPersonalizedAds->boolValue() ? 0 : 1;
    return decision;
  }
  if (inputs.dmaConsentEnabled && inputs.consentSettings.contains(kAdPersonalization)) {
    decision.disable = inputs.adPersonalizationGranted.value_or(false) ? 0 : 1;
    return decision;
  }
  if (inputs.infoPlistDefault) {
    if (const bool* allow = inputs.infoPlistDefault->asBool()) {
      decision.foundInfoPlistFlag = true;
      decision.disable = *allow ? 0 : 1;
    } else {
      decision.disable = 0;
    }
    return decision;
  }
  if (inputs.dmaConsentEnabled) {
    const auto fallback = inputs.defaultConsentSettings.find(kAdPersonalization);
    const bool isText = fallback != inputs.defaultConsentSettings.end() && fallback->second.isString();
    const std::string value = isText ? platform::lowercased(*fallback->second.asString()) : "";
    if (value == "denied") decision.disable = 1;
    if (value == "granted") decision.disable = 0;
  }
  return decision;
}

}  // namespace beacon
