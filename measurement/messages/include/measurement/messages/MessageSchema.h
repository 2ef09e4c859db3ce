#pragma once
// The field tables of the analytics wire messages and the IDs of their fields, as declared in
// proto/measurement.proto (wire tag = ID + 1). Callers address fields by these IDs through the NANO
// accessors (NANOAccessors.h).

#include <cstdint>

#include "measurement/messages/MessageInfo.h"

namespace beacon {

extern const MessageDescriptor kMeasurementBatchDescriptor;
extern const MessageDescriptor kMeasurementBundleDescriptor;
extern const MessageDescriptor kEventDescriptor;
extern const MessageDescriptor kEventParamDescriptor;
extern const MessageDescriptor kUserAttributeDescriptor;
extern const MessageDescriptor kSequenceFilterResultTimestampDescriptor;
extern const MessageDescriptor kAudienceResultDescriptor;
extern const MessageDescriptor kAudienceDescriptor;
extern const MessageDescriptor kSettingDescriptor;
extern const MessageDescriptor kEventConfigDescriptor;
extern const MessageDescriptor kConsentEntryDescriptor;
extern const MessageDescriptor kRegionalConsentDefaultsDescriptor;
extern const MessageDescriptor kMeasurementConfigDescriptor;

namespace MeasurementBatchField {
inline constexpr std::uint32_t kBundles = 0;
}

namespace MeasurementBundleField {
inline constexpr std::uint32_t kProtocolVersion = 0;
inline constexpr std::uint32_t kEvents = 1;
inline constexpr std::uint32_t kUserAttributes = 2;
inline constexpr std::uint32_t kUploadTimestampMillis = 3;
inline constexpr std::uint32_t kStartTimestampMillis = 4;
inline constexpr std::uint32_t kEndTimestampMillis = 5;
inline constexpr std::uint32_t kPreviousStartTimestampMillis = 6;
inline constexpr std::uint32_t kPreviousEndTimestampMillis = 7;
inline constexpr std::uint32_t kPlatform = 8;
inline constexpr std::uint32_t kOSVersion = 9;
inline constexpr std::uint32_t kDeviceModel = 10;
inline constexpr std::uint32_t kLanguage = 11;
inline constexpr std::uint32_t kTimeZoneOffsetMinutes = 12;
inline constexpr std::uint32_t kInstallSource = 13;
inline constexpr std::uint32_t kAppID = 14;
inline constexpr std::uint32_t kAppVersion = 16;
inline constexpr std::uint32_t kLibraryVersion = 17;
inline constexpr std::uint32_t kUploadLibraryVersion = 18;
inline constexpr std::uint32_t kResettableDeviceID = 19;
inline constexpr std::uint32_t kVendorDeviceID = 20;
inline constexpr std::uint32_t kLimitedAdTracking = 21;
inline constexpr std::uint32_t kAppInstanceID = 22;
inline constexpr std::uint32_t kBundleIndex = 24;
inline constexpr std::uint32_t kMonitoringData = 25;
inline constexpr std::uint32_t kCNPAppID = 26;
inline constexpr std::uint32_t kAudienceResults = 28;
inline constexpr std::uint32_t kInstallationID = 29;
inline constexpr std::uint32_t kAppVersionMajor = 30;
inline constexpr std::uint32_t kAppVersionMinor = 31;
inline constexpr std::uint32_t kAppVersionRelease = 32;
inline constexpr std::uint32_t kConfigVersion = 34;
inline constexpr std::uint32_t kAdReachAppID = 36;
inline constexpr std::uint32_t kExperimentIDs = 37;
inline constexpr std::uint32_t kChecksum = 38;
inline constexpr std::uint32_t kConsentSignals = 40;
inline constexpr std::uint32_t kTrackingAuthorizationStatus = 41;
inline constexpr std::uint32_t kSessionStitchingToken = 43;
inline constexpr std::uint32_t kDataControls = 44;
inline constexpr std::uint32_t kEphemeralAppInstanceID = 45;
inline constexpr std::uint32_t kConsentDiagnostics = 47;
inline constexpr std::uint32_t kDMARegion = 48;
inline constexpr std::uint32_t kCorePlatformServices = 49;
}  // namespace MeasurementBundleField

namespace EventField {
inline constexpr std::uint32_t kParams = 0;
inline constexpr std::uint32_t kName = 1;
inline constexpr std::uint32_t kTimestampMillis = 2;
inline constexpr std::uint32_t kPreviousTimestampMillis = 3;
}  // namespace EventField

namespace EventParamField {
inline constexpr std::uint32_t kName = 0;
inline constexpr std::uint32_t kStringValue = 1;
inline constexpr std::uint32_t kIntValue = 2;
inline constexpr std::uint32_t kDoubleValue = 4;
inline constexpr std::uint32_t kParams = 5;
}  // namespace EventParamField

namespace UserAttributeField {
inline constexpr std::uint32_t kSetTimestampMillis = 0;
inline constexpr std::uint32_t kName = 1;
inline constexpr std::uint32_t kStringValue = 2;
inline constexpr std::uint32_t kIntValue = 3;
inline constexpr std::uint32_t kDoubleValue = 5;
}  // namespace UserAttributeField

namespace SequenceFilterResultTimestampField {
inline constexpr std::uint32_t kFilterID = 0;
inline constexpr std::uint32_t kTimestampsMillis = 1;
}  // namespace SequenceFilterResultTimestampField

namespace AudienceResultField {
inline constexpr std::uint32_t kAudienceID = 0;
inline constexpr std::uint32_t kCurrentFilterIDs = 1;
inline constexpr std::uint32_t kPreviousFilterIDs = 2;
inline constexpr std::uint32_t kSequenceTimestamps = 3;
}  // namespace AudienceResultField

namespace AudienceField {
inline constexpr std::uint32_t kAudienceID = 0;
inline constexpr std::uint32_t kDefinition = 1;
}  // namespace AudienceField

namespace SettingField {
inline constexpr std::uint32_t kKey = 0;
inline constexpr std::uint32_t kValue = 1;
}  // namespace SettingField

namespace EventConfigField {
inline constexpr std::uint32_t kName = 0;
inline constexpr std::uint32_t kBlocklisted = 1;
inline constexpr std::uint32_t kCustomConversion = 2;
inline constexpr std::uint32_t kSamplingRate = 3;
}  // namespace EventConfigField

namespace ConsentEntryField {
inline constexpr std::uint32_t kType = 0;
inline constexpr std::uint32_t kValue = 1;
}  // namespace ConsentEntryField

namespace RegionalConsentDefaultsField {
inline constexpr std::uint32_t kRegion = 0;
inline constexpr std::uint32_t kDefaults = 1;
}  // namespace RegionalConsentDefaultsField

namespace MeasurementConfigField {
inline constexpr std::uint32_t kVersion = 0;
inline constexpr std::uint32_t kCNPAppID = 1;
inline constexpr std::uint32_t kSettings = 2;
inline constexpr std::uint32_t kEventConfigs = 3;
inline constexpr std::uint32_t kCacheTTLSeconds = 4;
inline constexpr std::uint32_t kAudiences = 5;
inline constexpr std::uint32_t kDataControls = 6;
inline constexpr std::uint32_t kExperimentIDs = 7;
inline constexpr std::uint32_t kConsentDefaults = 8;
inline constexpr std::uint32_t kConsentDelegations = 9;
inline constexpr std::uint32_t kRegionalDefaults = 10;
inline constexpr std::uint32_t kDMARegion = 11;
inline constexpr std::uint32_t kCorePlatformServices = 12;
inline constexpr std::uint32_t kEventEditingProgram = 13;
}  // namespace MeasurementConfigField

// Tracking-authorisation status codes of the bundle's field 41.
enum class TrackingAuthorizationStatus : std::int32_t {
  Unknown = 0,
  Restricted = 1,
  Denied = 2,
  Authorized = 3,
  NotDetermined = 4,
  Unavailable = 5,
  NoLimitInformation = 6,
};

}  // namespace beacon
