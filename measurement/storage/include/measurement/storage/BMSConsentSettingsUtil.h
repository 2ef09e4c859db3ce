#pragma once
// The engine's consent model: the settings in force per consent type ("ad_storage",
// "analytics_storage", "ad_user_data", "ad_personalization" → "granted" or "denied"), the source
// that set them (lower numbers win; 100 = none), and the defaults they fall back to.
//
// The effective value of a type is the explicit setting, else the delegated one, else the regional
// default for the user's country, else the default; a type with none of these is not denied.
//
// Class operations over one process-wide state; every operation is safe from any thread and sees
// the effects of every operation that returned before it. The facade persists the settings.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/value/Value.h"

namespace beacon {

inline constexpr std::string_view kBMSConsentTypeAdStorage = "ad_storage";
inline constexpr std::string_view kBMSConsentTypeAnalyticsStorage = "analytics_storage";
inline constexpr std::string_view kBMSConsentTypeAdUserData = "ad_user_data";
inline constexpr std::string_view kBMSConsentTypeAdPersonalization = "ad_personalization";
inline constexpr std::string_view kBMSConsentGranted = "granted";
inline constexpr std::string_view kBMSConsentDenied = "denied";
inline constexpr std::int64_t kBMSConsentSourceNone = 100;

class BMSConsentSettingsUtil {
 public:
  static std::int64_t consentSource();
  static void setConsentSource(std::int64_t source);
  // True when `source` may replace the current settings: its number is at most the current one.
  static bool isConsentSourceHigherPriority(std::int64_t source);

  static platform::Dictionary consentSettings();
  static void setConsentSettings(const platform::Dictionary& settings);
  // Only the four consent types the argument has, values unchanged.
  static platform::Dictionary consentSettingsFromDictionary(const platform::Dictionary& settings);
  // The app's defaults from its Info.plist ("CORVANE_ANALYTICS_DEFAULT_ALLOW_..." booleans).
  static platform::Dictionary consentSettingsFromPlist();
  static void updateSettings(const platform::Dictionary& settings);
  static void updateSettings(const platform::Dictionary& settings, std::int64_t consentSource);
  // Everything back to the initial state (no settings, source 100).
  static void clearAllSettings();

  static platform::Dictionary defaultSettings();
  static void setDefaultSettings(const platform::Dictionary& settings);
  static void setDelegatedSettings(const platform::Dictionary& settings);
  // Country code ("DE") → settings.
  static void setRegionalDefaults(const platform::Dictionary& regionalDefaults);
  static void setDiagnosticSource(std::int64_t source, std::string_view consentType);

  static bool isAdStorageDenied();
  static bool isAnalyticsStorageDenied();
  static bool isAdUserDataDenied();
  static bool didAdUserDataConsentChange(bool wasAdUserDataDenied);
  // The explicit ad personalization setting: true granted, false denied, empty when unset.
  static std::optional<bool> adPersonalization();
  static void unsetAdPersonalization();

  // "C1" + one character each for ad storage and analytics storage: '1' granted, '0' denied, '-' unset.
  static std::string consentSignals();
  // "1" + per type (ad storage, analytics storage, ad user data, ad personalization) the diagnostic
  // source digit, or '-' when none was recorded.
  static std::string consentDiagnostics();
  static std::string description();
};

// The country part of the user's locale (LC_ALL, then LC_MESSAGES, then LANG: "de_DE.UTF-8" → "DE");
// empty when none is set.
std::string BMSCurrentRegionCode();

}  // namespace beacon
