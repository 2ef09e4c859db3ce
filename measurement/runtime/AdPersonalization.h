#pragma once
// Whether ads must not be personalised ("_npa" 1) or may be (0), from the sources in their order of
// precedence: the application's API choice, the current consent (with DMA consent on), the
// Info.plist default, the downloaded default consent (with DMA consent on). A pure function of what
// the engine read.

#include <cstdint>
#include <optional>

#include "platform/value/Value.h"

namespace beacon {

inline constexpr const char* kBMSDefaultAllowAdPersonalizationSignalsKey =
    "CORVANE_ANALYTICS_DEFAULT_ALLOW_AD_PERSONALIZATION_SIGNALS";

struct AdPersonalizationInputs {
  std::optional<platform::Value> allowPersonalizedAds;  // persisted API choice
  bool dmaConsentEnabled = false;
  platform::Dictionary consentSettings;          // the consent in force
  std::optional<bool> adPersonalizationGranted;  // the consent utility's answer, when set
  std::optional<platform::Value> infoPlistDefault;
  platform::Dictionary defaultConsentSettings;  // downloaded defaults
};

struct AdPersonalizationDecision {
  std::optional<std::int64_t> disable;  // 1, 0 or none
  bool foundInfoPlistFlag = false;      // the Info.plist held a boolean switch
};

AdPersonalizationDecision shouldDisableAdPersonalization(const AdPersonalizationInputs& inputs);

}  // namespace beacon
