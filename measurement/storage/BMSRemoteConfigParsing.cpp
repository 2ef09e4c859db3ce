// Reading the configuration message into the configuration's snapshot.
#include "measurement/messages/NANOAccessors.h"
#include "measurement/storage/BMSRemoteConfig.h"

namespace beacon {
namespace {

constexpr double kDefaultCacheTTLSeconds = 86400;

// Consent entries as type → value; entries without a type are skipped.
platform::Dictionary consentEntries(const std::vector<BMSPBConsentEntry>& entries) {
  platform::Dictionary settings;
  for (const BMSPBConsentEntry& entry : entries) {
    const std::optional<std::string> type = NANOGetString(entry, ConsentEntryField::kType);
    if (!type || type->empty()) continue;
    settings.insert_or_assign(*type, NANOGetString(entry, ConsentEntryField::kValue).value_or(""));
  }
  return settings;
}

}  // namespace

std::optional<BMSRemoteConfigSnapshot> BMSParseMeasurementConfig(const platform::Bytes& encodedConfig) {
  const std::optional<BMSPBMeasurementConfig> config = BMSPBMeasurementConfig::initWithBuffer(encodedConfig);
  if (!config) return std::nullopt;
  namespace F = MeasurementConfigField;
  BMSRemoteConfigSnapshot snapshot;
  snapshot.version = NANOGetInt64(*config, F::kVersion);
  snapshot.cnpAppID = NANOGetString(*config, F::kCNPAppID).value_or("");
  for (const BMSPBSetting& setting : NANOGetArray<BMSPBSetting>(*config, F::kSettings)) {
    const std::optional<std::string> key = NANOGetString(setting, SettingField::kKey);
    if (key)
      snapshot.settings.insert_or_assign(*key, NANOGetString(setting, SettingField::kValue).value_or(""));
  }
  for (const BMSPBEventConfig& event : NANOGetArray<BMSPBEventConfig>(*config, F::kEventConfigs)) {
    const std::optional<std::string> name = NANOGetString(event, EventConfigField::kName);
    if (!name) continue;
    BMSRemoteConfigSnapshot::EventRules& rules = snapshot.events[*name];
    rules.blocklisted = NANOGetBool(event, EventConfigField::kBlocklisted);
    rules.customConversion = NANOGetBool(event, EventConfigField::kCustomConversion);
    if (NANOHasField(event, EventConfigField::kSamplingRate)) {
      rules.samplingRate = NANOGetInt32(event, EventConfigField::kSamplingRate);
    }
  }
  const std::int64_t ttl = NANOGetInt64(*config, F::kCacheTTLSeconds);
  snapshot.cacheTTLSeconds = ttl > 0 ? static_cast<double>(ttl) : kDefaultCacheTTLSeconds;
  for (std::string& control : NANOGetArray<std::string>(*config, F::kDataControls)) {
    snapshot.dataControls.insert(std::move(control));
  }
  snapshot.experimentIDs = NANOGetArray<std::int64_t>(*config, F::kExperimentIDs);
  snapshot.consentDefaults = consentEntries(NANOGetArray<BMSPBConsentEntry>(*config, F::kConsentDefaults));
  snapshot.consentDelegations =
      consentEntries(NANOGetArray<BMSPBConsentEntry>(*config, F::kConsentDelegations));
  for (const BMSPBRegionalConsentDefaults& regional :
       NANOGetArray<BMSPBRegionalConsentDefaults>(*config, F::kRegionalDefaults)) {
    const std::optional<std::string> region = NANOGetString(regional, RegionalConsentDefaultsField::kRegion);
    if (!region || region->empty()) continue;
    snapshot.regionalDefaults.insert_or_assign(
        *region,
        consentEntries(NANOGetArray<BMSPBConsentEntry>(regional, RegionalConsentDefaultsField::kDefaults)));
  }
  snapshot.isDMARegion = NANOGetBool(*config, F::kDMARegion);
  for (std::string& service : NANOGetArray<std::string>(*config, F::kCorePlatformServices)) {
    snapshot.corePlatformServices.insert(std::move(service));
  }
  if (std::optional<std::string> program = NANOGetString(*config, F::kEventEditingProgram)) {
    snapshot.eventEditingProgram.assign(program->begin(), program->end());
  }
  return snapshot;
}

}  // namespace beacon
