#include "measurement/storage/BMSConsentSettingsUtil.h"

#include <array>
#include <cstdlib>
#include <map>
#include <mutex>

#include "platform/bundle/Bundle.h"

namespace beacon {
namespace {

constexpr std::array<std::string_view, 4> kConsentTypes = {
    kBMSConsentTypeAdStorage, kBMSConsentTypeAnalyticsStorage, kBMSConsentTypeAdUserData,
    kBMSConsentTypeAdPersonalization};

constexpr std::array<std::pair<std::string_view, std::string_view>, 4> kPlistKeys = {{
    {kBMSConsentTypeAdStorage, "CORVANE_ANALYTICS_DEFAULT_ALLOW_AD_STORAGE"},
    {kBMSConsentTypeAnalyticsStorage, "CORVANE_ANALYTICS_DEFAULT_ALLOW_ANALYTICS_STORAGE"},
    {kBMSConsentTypeAdUserData, "CORVANE_ANALYTICS_DEFAULT_ALLOW_AD_USER_DATA"},
    {kBMSConsentTypeAdPersonalization, "CORVANE_ANALYTICS_DEFAULT_ALLOW_AD_PERSONALIZATION_SIGNALS"},
}};

struct ConsentState {
  std::mutex mutex;
  std::int64_t source = kBMSConsentSourceNone;
  platform::Dictionary settings;
  platform::Dictionary defaults;
  platform::Dictionary delegated;
  platform::Dictionary regionalDefaults;
  std::map<std::string, std::int64_t, std::less<>> diagnosticSources;
};

ConsentState& state() {
  static ConsentState* shared = new ConsentState();  // used until the very end of the process
  return *shared;
}

std::optional<std::string> textAt(const platform::Dictionary& dictionary, std::string_view key) {
  const auto found = dictionary.find(key);
  if (found == dictionary.end() || !found->second.isString()) return std::nullopt;
  return *found->second.asString();
}

// Needs the state's mutex held.
std::optional<std::string> effectiveLocked(ConsentState& consent, std::string_view type) {
  if (auto explicitValue = textAt(consent.settings, type)) return explicitValue;
  if (auto delegatedValue = textAt(consent.delegated, type)) return delegatedValue;
  if (const std::string region = BMSCurrentRegionCode(); !region.empty()) {
    if (auto regional = consent.regionalDefaults.find(region);
        regional != consent.regionalDefaults.end() && regional->second.isDictionary()) {
      if (auto regionalValue = textAt(*regional->second.asDictionary(), type)) return regionalValue;
    }
  }
  return textAt(consent.defaults, type);
}

bool isDenied(std::string_view type) {
  std::lock_guard lock(state().mutex);
  return effectiveLocked(state(), type) == kBMSConsentDenied;
}

char signalCharacter(const std::optional<std::string>& value) {
  if (value == kBMSConsentGranted) return '1';
  if (value == kBMSConsentDenied) return '0';
  return '-';
}

template <class Change>
void change(Change&& apply) {
  std::lock_guard lock(state().mutex);
  apply(state());
}

}  // namespace

std::string BMSCurrentRegionCode() {
  for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(variable);
    if (!value || !*value) continue;
    std::string locale(value);
    locale = locale.substr(0, locale.find_first_of(".@"));
    const std::size_t separator = locale.find_first_of("_-");
    if (separator == std::string::npos || separator + 1 >= locale.size()) return {};
    return locale.substr(separator + 1);
  }
  return {};
}

std::int64_t BMSConsentSettingsUtil::consentSource() {
  std::lock_guard lock(state().mutex);
  return state().source;
}

void BMSConsentSettingsUtil::setConsentSource(std::int64_t source) {
  change([&](ConsentState& consent) { consent.source = source; });
}

bool BMSConsentSettingsUtil::isConsentSourceHigherPriority(std::int64_t source) {
  return consentSource() >= source;
}

platform::Dictionary BMSConsentSettingsUtil::consentSettings() {
  std::lock_guard lock(state().mutex);
  return state().settings;
}

void BMSConsentSettingsUtil::setConsentSettings(const platform::Dictionary& settings) {
  change([&](ConsentState& consent) { consent.settings = settings; });
}

platform::Dictionary BMSConsentSettingsUtil::consentSettingsFromDictionary(
    const platform::Dictionary& settings) {
  platform::Dictionary kept;
  for (std::string_view type : kConsentTypes) {
    if (auto found = settings.find(type); found != settings.end()) kept.emplace(found->first, found->second);
  }
  return kept;
}

platform::Dictionary BMSConsentSettingsUtil::consentSettingsFromPlist() {
  platform::Dictionary settings;
  const std::shared_ptr<const platform::Bundle> bundle = platform::Bundle::main();
  if (!bundle) return settings;
  for (const auto& [type, key] : kPlistKeys) {
    const platform::Value* value = bundle->objectForInfoDictionaryKey(key);
    if (!value || !value->isNumber()) continue;
    settings.emplace(std::string(type),
                     std::string(value->boolValue() ? kBMSConsentGranted : kBMSConsentDenied));
  }
  return settings;
}

void BMSConsentSettingsUtil::updateSettings(const platform::Dictionary& settings) {
  change([&](ConsentState& consent) {
    for (const auto& [type, value] : settings) consent.settings.insert_or_assign(type, value);
  });
}

void BMSConsentSettingsUtil::updateSettings(const platform::Dictionary& settings,
                                            std::int64_t consentSource) {
  change([&](ConsentState& consent) {
    for (const auto& [type, value] : settings) consent.settings.insert_or_assign(type, value);
    consent.source = consentSource;
  });
}

void BMSConsentSettingsUtil::clearAllSettings() {
  change([](ConsentState& consent) {
    consent.source = kBMSConsentSourceNone;
    consent.settings.clear();
    consent.defaults.clear();
    consent.delegated.clear();
    consent.regionalDefaults.clear();
    consent.diagnosticSources.clear();
  });
}

platform::Dictionary BMSConsentSettingsUtil::defaultSettings() {
  std::lock_guard lock(state().mutex);
  return state().defaults;
}

void BMSConsentSettingsUtil::setDefaultSettings(const platform::Dictionary& settings) {
  change([&](ConsentState& consent) { consent.defaults = settings; });
}

void BMSConsentSettingsUtil::setDelegatedSettings(const platform::Dictionary& settings) {
  change([&](ConsentState& consent) { consent.delegated = settings; });
}

void BMSConsentSettingsUtil::setRegionalDefaults(const platform::Dictionary& regionalDefaults) {
  change([&](ConsentState& consent) { consent.regionalDefaults = regionalDefaults; });
}

void BMSConsentSettingsUtil::setDiagnosticSource(std::int64_t source, std::string_view consentType) {
  change([&](ConsentState& consent) {
    consent.diagnosticSources.insert_or_assign(std::string(consentType), source);
  });
}

bool BMSConsentSettingsUtil::isAdStorageDenied() {
  return isDenied(kBMSConsentTypeAdStorage);
}
bool BMSConsentSettingsUtil::isAnalyticsStorageDenied() {
  return isDenied(kBMSConsentTypeAnalyticsStorage);
}
bool BMSConsentSettingsUtil::isAdUserDataDenied() {
  return isDenied(kBMSConsentTypeAdUserData);
}

bool BMSConsentSettingsUtil::didAdUserDataConsentChange(bool wasAdUserDataDenied) {
  return isAdUserDataDenied() != wasAdUserDataDenied;
}

std::optional<bool> BMSConsentSettingsUtil::adPersonalization() {
  std::lock_guard lock(state().mutex);
  const std::optional<std::string> value = textAt(state().settings, kBMSConsentTypeAdPersonalization);
  if (value == kBMSConsentGranted) return true;
  if (value == kBMSConsentDenied) return false;
  return std::nullopt;
}

void BMSConsentSettingsUtil::unsetAdPersonalization() {
  change([](ConsentState& consent) {
    if (auto found = consent.settings.find(kBMSConsentTypeAdPersonalization);
        found != consent.settings.end()) {
      consent.settings.erase(found);
    }
  });
}

std::string BMSConsentSettingsUtil::consentSignals() {
  std::lock_guard lock(state().mutex);
  std::string signals = "C1";
  signals += signalCharacter(effectiveLocked(state(), kBMSConsentTypeAdStorage));
  signals += signalCharacter(effectiveLocked(state(), kBMSConsentTypeAnalyticsStorage));
  return signals;
}

std::string BMSConsentSettingsUtil::consentDiagnostics() {
  std::lock_guard lock(state().mutex);
  std::string diagnostics = "1";
  for (std::string_view type : kConsentTypes) {
    const auto found = state().diagnosticSources.find(type);
    diagnostics += found != state().diagnosticSources.end() && found->second >= 0 && found->second <= 9
                       ? static_cast<char>('0' + found->second)
                       : '-';
  }
  return diagnostics;
}

std::string BMSConsentSettingsUtil::description() {
  std::lock_guard lock(state().mutex);
  const ConsentState& consent = state();
  return "<BMSConsentSettingsUtil source: " + std::to_string(consent.source) +
         ", settings: " + platform::Value(consent.settings).description() +
         ", defaults: " + platform::Value(consent.defaults).description() +
         ", delegated: " + platform::Value(consent.delegated).description() +
         ", regional defaults: " + platform::Value(consent.regionalDefaults).description() + ">";
}

}  // namespace beacon
