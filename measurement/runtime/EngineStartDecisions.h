#pragma once
// The decisions the engine takes at start, as pure functions of what it has read, so each rule is
// tested on its own: whether collection starts on, whether stored data must be wiped because the
// app's identifiers changed, and which consent settings are in force.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "platform/value/Value.h"

namespace beacon {

// Persisted collection switch: 1 on, 2 off, anything else unset.
inline constexpr std::int64_t kBMSMeasurementEnabledStateOn = 1;
inline constexpr std::int64_t kBMSMeasurementEnabledStateOff = 2;

// Deactivation wins; then the persisted switch; then the start option.
bool shouldEnableMeasurement(bool collectionDeactivated, std::int64_t persistedEnabledState,
                             bool collectionEnabledOption);

struct WipeInputs {
  std::string engineAppID;
  std::string appIDFromCNP;      // current
  std::string appIDFromAdReach;  // current
  std::string persistedAppIDFromCNP;
  std::string persistedAppIDFromAdReach;
  std::int64_t resetRetryCount = 0;  // data resets requested and not yet completed
};
// The first rule that applies decides; a failed earlier wipe (retry count 1 to 9) forces one.
bool shouldWipeData(const WipeInputs& ids);

// Consent sources; lower numbers take priority.
inline constexpr std::int64_t kBMSConsentSourceTCF = 5;
inline constexpr std::int64_t kBMSConsentSourceThirdParty = 10;
inline constexpr std::int64_t kBMSConsentSourceInfoPlist = 20;
inline constexpr std::int64_t kBMSConsentSourceAPI = 30;
inline constexpr std::int64_t kBMSConsentSourceFirstPartyAtStart = 40;

struct ProspectiveConsentInputs {
  std::int64_t currentSource = 100;        // none set
  platform::Dictionary thirdParty;         // facade's "consent_settings_3p"
  platform::Dictionary firstPartyAtStart;  // facade's "consent_settings_on_start"
  platform::Dictionary infoPlist;
  platform::Dictionary tcf;                // facade's "consent_settings_tcf"
  bool analyticsInterfacePresent = false;  // the class "BCNAnalytics" exists
  // The consent utility's rule: same priority as the current source, or a higher one.
  std::function<bool(std::int64_t source)> isConsentSourceHigherPriority;
};

struct ProspectiveConsent {
  // The facade's persisted consent is to be cleared first.
  bool clearPersistedConsent = false;
  // The settings to apply, with their source; nullopt when nothing is to be applied.
  std::optional<platform::Dictionary> settings;
  std::int64_t source = kBMSConsentSourceThirdParty;
};
ProspectiveConsent chooseProspectiveConsent(const ProspectiveConsentInputs& inputs);

}  // namespace beacon
