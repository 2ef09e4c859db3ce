#include "measurement/pipeline/BMSRawEventMetadata.h"

#include <algorithm>
#include <utility>

#include "measurement/messages/NANOAccessors.h"

namespace beacon {
namespace {

namespace B = MeasurementBundleField;

// At most what the builder below sets: the app and device facts, identifiers, consent and DMA fields.
constexpr std::size_t kMostFieldsSet = 32;

bool present(const std::optional<std::string>& value) {
  return value && !value->empty();
}

}  // namespace

bool BMSRawEventMetadataTakesStoredNPA(bool DMAConsentEnabled,
                                       const std::vector<BMSUserAttribute>& userAttributes) {
  return DMAConsentEnabled && !userAttributes.empty() &&
         std::none_of(userAttributes.begin(), userAttributes.end(),
                      [](const BMSUserAttribute& attribute) { return attribute.name() == "_npa"; });
}

BMSPBMeasurementBundle BMSCreateRawEventMetadata(const BMSRawEventMetadataFacts& facts,
                                                 const std::vector<BMSUserAttribute>& userAttributes) {
  BMSPBMeasurementBundle metadata;
  metadata.messageInfo().reserve(kMostFieldsSet);
  NANOSetString(metadata, B::kPlatform, kBMSBundlePlatform);
  NANOSetInt32(metadata, B::kProtocolVersion, 1);
  NANOSetString(metadata, B::kAppID, facts.appID);
  if (!facts.isFromAppStore) NANOSetString(metadata, B::kInstallSource, "manual_install");
  NANOSetString(metadata, B::kAppVersion, facts.appVersion);
  if (present(facts.cnpAppID))
    NANOSetString(metadata, B::kCNPAppID, facts.cnpAppID);
  else if (present(facts.adReachAppID))
    NANOSetString(metadata, B::kAdReachAppID, facts.adReachAppID);
  NANOSetInt64(metadata, B::kLibraryVersion, facts.libraryVersion);
  NANOSetString(metadata, B::kInstallationID, facts.installationID);
  if (present(facts.sessionStitchingToken))
    NANOSetString(metadata, B::kSessionStitchingToken, facts.sessionStitchingToken);
  if (facts.appVersionMajor) NANOSetInt32(metadata, B::kAppVersionMajor, *facts.appVersionMajor);
  if (facts.appVersionMinor) NANOSetInt32(metadata, B::kAppVersionMinor, *facts.appVersionMinor);
  if (facts.appVersionRelease) NANOSetInt32(metadata, B::kAppVersionRelease, *facts.appVersionRelease);

  BMSApplyIdentifiersAndConsent(metadata, facts.consentSignals, facts.gateAdvertisingIDOnAuthorization,
                                facts.identifiers, true);
  if (facts.DMAConsentEnabled) BMSApplyDMAConsent(metadata, facts.dma, std::nullopt, true);

  NANOSetString(metadata, B::kDeviceModel, facts.deviceModel);
  NANOSetString(metadata, B::kOSVersion, facts.deviceOSVersion);
  NANOSetInt32(metadata, B::kTimeZoneOffsetMinutes, facts.timeZoneOffsetMinutes);
  NANOSetString(metadata, B::kLanguage, facts.userDefaultLanguage);

  if (userAttributes.empty()) return metadata;
  std::vector<BMSPBUserAttribute> attributes;
  attributes.reserve(userAttributes.size() + 1);
  for (const BMSUserAttribute& attribute : userAttributes)
    attributes.push_back(attribute.protoUserAttribute());
  if (BMSRawEventMetadataTakesStoredNPA(facts.DMAConsentEnabled, userAttributes) && facts.storedNPA)
    attributes.push_back(*facts.storedNPA);
  NANOSetArray(metadata, B::kUserAttributes, std::move(attributes));
  return metadata;
}

BMSPBMeasurementBundle BMSRawEventMetadataBuilder::metadata(
    const BMSRawEventMetadataFacts& facts, const std::vector<BMSUserAttribute>& userAttributes) {
  std::lock_guard lock(mutex_);
  const auto identical = [](const BMSUserAttribute& a, const BMSUserAttribute& b) {
    return a.isIdenticalTo(b);
  };
  if (!last_ || last_->facts != facts ||
      !std::equal(last_->userAttributes.begin(), last_->userAttributes.end(), userAttributes.begin(),
                  userAttributes.end(), identical)) {
    last_ = Built{facts, userAttributes, BMSCreateRawEventMetadata(facts, userAttributes)};
  }
  return last_->metadata;
}

}  // namespace beacon
