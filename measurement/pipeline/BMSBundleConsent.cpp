#include "measurement/pipeline/BMSBundleConsent.h"

#include <algorithm>

#include "measurement/messages/NANOAccessors.h"

namespace beacon {
namespace {

namespace B = MeasurementBundleField;

constexpr std::uint64_t kTrackingStatusUnavailable = 6;
constexpr std::uint64_t kTrackingStatusAuthorized = 3;
constexpr std::string_view kNPAName = "_npa";

bool isDenied(char signal) {
  return signal == '0' || signal == 'D' || signal == 'd';
}

bool isUsable(const std::optional<std::string>& value) {
  return value && !value->empty();
}

void setStringUnlessSet(BMSPBMeasurementBundle& bundle, std::uint32_t field, const std::string& value) {
  if (!NANOHasField(bundle, field)) NANOSetString(bundle, field, value);
}

std::vector<BMSPBUserAttribute> userAttributes(const BMSPBMeasurementBundle& bundle) {
  return NANOGetArray<BMSPBUserAttribute>(bundle, B::kUserAttributes);
}

bool isNamed(const BMSPBUserAttribute& attribute, std::string_view name) {
  return NANOGetString(attribute, UserAttributeField::kName) == name;
}

std::optional<std::int64_t> npaValue(const BMSPBMeasurementBundle& bundle) {
  auto npa = BMSBundleNPAUserAttribute(bundle);
  if (!npa) return std::nullopt;
  return NANOGetInt64(*npa, UserAttributeField::kIntValue);
}

std::string joined(const std::set<std::string>& names) {
  // std::set orders by byte, the order a plain string comparison gives.
  std::string all;
  for (const auto& name : names) all += name;
  return all;
}

}  // namespace

BMSConsentDenials BMSConsentDenialsInSignals(std::string_view consentSignals) {
  if (consentSignals.size() < 4) return {};
  return {isDenied(consentSignals[2]), isDenied(consentSignals[3])};
}

bool BMSIsAnalyticsStorageDeniedInSignals(std::string_view consentSignals) {
  return BMSConsentDenialsInSignals(consentSignals).analyticsStorage;
}

void BMSApplyIdentifiersAndConsent(BMSPBMeasurementBundle& bundle, const std::string& consentSignals,
                                   bool gateAdvertisingIDOnAuthorization, const BMSIdentifierFacts& identity,
                                   bool force) {
  BMSConsentDenials denied;
  if (consentSignals.empty()) {
    NANOClearField(bundle, B::kConsentSignals);
  } else if (consentSignals.size() >= 4) {
    if (force || !NANOHasField(bundle, B::kConsentSignals)) {
      NANOSetString(bundle, B::kConsentSignals, consentSignals);
      denied = BMSConsentDenialsInSignals(consentSignals);
    } else {
      denied = BMSConsentDenialsInSignals(NANOGetString(bundle, B::kConsentSignals).value_or(""));
    }
  }

  bool gated = false;
  if (identity.trackingAuthorizationStatus) {
    const std::uint64_t status = *identity.trackingAuthorizationStatus;
    if (status != kTrackingStatusUnavailable)
      NANOSetInt32(bundle, B::kTrackingAuthorizationStatus, static_cast<std::int64_t>(status));
    gated = gateAdvertisingIDOnAuthorization && status != kTrackingStatusAuthorized;
  }

  const bool advertisingIDUsable =
      identity.hasLimitedAdTracking && isUsable(identity.resettableDeviceID) && !denied.adStorage && !gated;
  if (advertisingIDUsable) {
    setStringUnlessSet(bundle, B::kResettableDeviceID, *identity.resettableDeviceID);
    NANOClearField(bundle, B::kVendorDeviceID);
  } else if (denied.analyticsStorage || !isUsable(identity.vendorID)) {
    NANOClearField(bundle, B::kResettableDeviceID);
    NANOClearField(bundle, B::kVendorDeviceID);
  } else {
    setStringUnlessSet(bundle, B::kVendorDeviceID, *identity.vendorID);
    NANOClearField(bundle, B::kResettableDeviceID);
  }

  if (!denied.analyticsStorage && isUsable(identity.appInstanceID))
    setStringUnlessSet(bundle, B::kAppInstanceID, *identity.appInstanceID);
  if (denied.adStorage) NANOClearField(bundle, B::kResettableDeviceID);
  if (denied.analyticsStorage) {
    for (std::uint32_t field : {B::kVendorDeviceID, B::kAppInstanceID, B::kSessionStitchingToken})
      NANOClearField(bundle, field);
    NANOSetArray(bundle, B::kAudienceResults, std::vector<BMSPBAudienceResult>{});
  }
  if (identity.hasLimitedAdTracking) NANOSetBool(bundle, B::kLimitedAdTracking, identity.limitedAdTracking);
}

void BMSApplyDMAConsent(BMSPBMeasurementBundle& bundle, const BMSDMAFacts& dma,
                        const std::optional<BMSPBUserAttribute>& npaUserAttribute, bool force) {
  if (force || !NANOHasField(bundle, B::kConsentDiagnostics))
    NANOSetString(bundle, B::kConsentDiagnostics, dma.consentDiagnostics);
  if (force || !NANOHasField(bundle, B::kDMARegion)) NANOSetBool(bundle, B::kDMARegion, dma.isDMARegion);
  if (force || !NANOHasField(bundle, B::kCorePlatformServices)) {
    if (dma.adUserDataDenied || dma.corePlatformServices.empty())
      NANOSetString(bundle, B::kCorePlatformServices, "-");
    else if (!NANOGetBool(bundle, B::kDMARegion))
      NANOClearField(bundle, B::kCorePlatformServices);
    else
      NANOSetString(bundle, B::kCorePlatformServices, joined(dma.corePlatformServices));
  }

  if (!npaUserAttribute) return;
  auto attributes = userAttributes(bundle);
  auto existing = std::find_if(attributes.begin(), attributes.end(),
                               [](const auto& attribute) { return isNamed(attribute, kNPAName); });
  if (existing == attributes.end())
    attributes.push_back(*npaUserAttribute);
  else if (force)
    *existing = *npaUserAttribute;
  else
    return;
  NANOSetArray(bundle, B::kUserAttributes, attributes);
}

void BMSApplyDataControls(BMSPBMeasurementBundle& bundle, const std::set<std::string>& dataControls,
                          const BMSIdentifierFacts& identity) {
  const auto has = [&](const char* control) { return dataControls.contains(control); };
  if (has("app_instance_id")) {
    NANOClearField(bundle, B::kAppInstanceID);
    const bool analyticsDenied =
        BMSIsAnalyticsStorageDeniedInSignals(NANOGetString(bundle, B::kConsentSignals).value_or(""));
    if (analyticsDenied)
      NANOClearField(bundle, B::kEphemeralAppInstanceID);
    else
      NANOSetString(bundle, B::kEphemeralAppInstanceID, identity.ephemeralAppInstanceID);
  }
  if (has("user_id")) {
    auto attributes = userAttributes(bundle);
    std::erase_if(attributes, [](const auto& attribute) { return isNamed(attribute, "_id"); });
    NANOSetArray(bundle, B::kUserAttributes, attributes);
  }
  if ((has("os_version") || has("device_info")) && NANOHasField(bundle, B::kOSVersion)) {
    const std::string version = NANOGetString(bundle, B::kOSVersion).value_or("");
    NANOSetString(bundle, B::kOSVersion, version.substr(0, version.find('.')));
  }
  if (has("device_model") || has("device_info")) NANOClearField(bundle, B::kDeviceModel);
  if (has("enhanced_user_id")) NANOClearField(bundle, B::kSessionStitchingToken);
  if (!dataControls.empty())
    NANOSetArray(bundle, B::kDataControls,
                 std::vector<std::string>(dataControls.begin(), dataControls.end()));
}

bool BMSBundlesShareConsentState(const BMSPBMeasurementBundle* first, const BMSPBMeasurementBundle* second) {
  if (!first || !second) return false;
  for (std::uint32_t field : {B::kConsentSignals, B::kConsentDiagnostics, B::kCorePlatformServices})
    if (NANOGetString(*first, field) != NANOGetString(*second, field)) return false;
  return NANOGetBool(*first, B::kDMARegion) == NANOGetBool(*second, B::kDMARegion) &&
         npaValue(*first) == npaValue(*second);
}

bool BMSBundleContainsFirstOpen(const BMSPBMeasurementBundle& bundle) {
  const auto events = NANOGetArray<BMSPBEvent>(bundle, B::kEvents);
  return std::any_of(events.begin(), events.end(),
                     [](const auto& event) { return NANOGetString(event, EventField::kName) == "_f"; });
}

std::optional<BMSPBUserAttribute> BMSBundleNPAUserAttribute(const BMSPBMeasurementBundle& bundle) {
  for (auto& attribute : userAttributes(bundle))
    if (isNamed(attribute, kNPAName)) return attribute;
  return std::nullopt;
}

bool BMSEventsContainRealtime(const std::vector<BMSPBEvent>& events) {
  return std::any_of(events.begin(), events.end(), [](const BMSPBEvent& event) {
    // Read in place: an event's parameters can hold hundreds of items.
    const auto& parameters = event.messageInfo().messages(EventField::kParams);
    return std::any_of(parameters.begin(), parameters.end(), [](const MessageInfo& parameter) {
      const std::string* name = parameter.text(EventParamField::kName);
      return name && *name == "_r" && parameter.integer(EventParamField::kIntValue) == 1;
    });
  });
}

}  // namespace beacon
