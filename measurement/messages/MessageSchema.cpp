#include "measurement/messages/MessageSchema.h"

#include <array>

namespace beacon {
namespace {

using K = MessageFieldKind;

constexpr MessageFieldDescriptor field(std::uint32_t id, MessageFieldKind kind, const char* name,
                                       const MessageDescriptor* message = nullptr) {
  return MessageFieldDescriptor{id, id + 1, kind, name, message};
}

constexpr K kRepeatedMessage = K::Message | K::Repeated;

constexpr std::array kBatchFields{
    field(MeasurementBatchField::kBundles, kRepeatedMessage, "bundles", &kMeasurementBundleDescriptor),
};

namespace B = MeasurementBundleField;
constexpr std::array kBundleFields{
    field(B::kProtocolVersion, K::Int32, "protocol_version"),
    field(B::kEvents, kRepeatedMessage, "events", &kEventDescriptor),
    field(B::kUserAttributes, kRepeatedMessage, "user_attributes", &kUserAttributeDescriptor),
    field(B::kUploadTimestampMillis, K::Int64, "upload_timestamp_millis"),
    field(B::kStartTimestampMillis, K::Int64, "start_timestamp_millis"),
    field(B::kEndTimestampMillis, K::Int64, "end_timestamp_millis"),
    field(B::kPreviousStartTimestampMillis, K::Int64, "previous_start_timestamp_millis"),
    field(B::kPreviousEndTimestampMillis, K::Int64, "previous_end_timestamp_millis"),
    field(B::kPlatform, K::String, "platform"),
    field(B::kOSVersion, K::String, "os_version"),
    field(B::kDeviceModel, K::String, "device_model"),
    field(B::kLanguage, K::String, "language"),
    field(B::kTimeZoneOffsetMinutes, K::Int32, "timezone_offset_minutes"),
    field(B::kInstallSource, K::String, "install_source"),
    field(B::kAppID, K::String, "app_id"),
    field(B::kAppVersion, K::String, "app_version"),
    field(B::kLibraryVersion, K::Int64, "library_version"),
    field(B::kUploadLibraryVersion, K::Int64, "upload_library_version"),
    field(B::kResettableDeviceID, K::String, "resettable_device_id"),
    field(B::kVendorDeviceID, K::String, "vendor_device_id"),
    field(B::kLimitedAdTracking, K::Bool, "limited_ad_tracking"),
    field(B::kAppInstanceID, K::String, "app_instance_id"),
    field(B::kBundleIndex, K::Int32, "bundle_index"),
    field(B::kMonitoringData, K::String, "monitoring_data"),
    field(B::kCNPAppID, K::String, "cnp_app_id"),
    field(B::kAudienceResults, kRepeatedMessage, "audience_results", &kAudienceResultDescriptor),
    field(B::kInstallationID, K::String, "installation_id"),
    field(B::kAppVersionMajor, K::Int32, "app_version_major"),
    field(B::kAppVersionMinor, K::Int32, "app_version_minor"),
    field(B::kAppVersionRelease, K::Int32, "app_version_release"),
    field(B::kConfigVersion, K::Int64, "config_version"),
    field(B::kAdReachAppID, K::String, "adreach_app_id"),
    field(B::kExperimentIDs, K::Int64 | K::Repeated, "experiment_ids"),
    field(B::kChecksum, K::Int64, "checksum"),
    field(B::kConsentSignals, K::String, "consent_signals"),
    field(B::kTrackingAuthorizationStatus, K::Enum, "tracking_authorization_status"),
    field(B::kSessionStitchingToken, K::String, "session_stitching_token"),
    field(B::kDataControls, K::String | K::Repeated, "data_controls"),
    field(B::kEphemeralAppInstanceID, K::String, "ephemeral_app_instance_id"),
    field(B::kConsentDiagnostics, K::String, "consent_diagnostics"),
    field(B::kDMARegion, K::Bool, "dma_region"),
    field(B::kCorePlatformServices, K::String, "core_platform_services"),
};

constexpr std::array kEventFields{
    field(EventField::kParams, kRepeatedMessage, "params", &kEventParamDescriptor),
    field(EventField::kName, K::String, "name"),
    field(EventField::kTimestampMillis, K::Int64, "timestamp_millis"),
    field(EventField::kPreviousTimestampMillis, K::Int64, "previous_timestamp_millis"),
};

constexpr std::array kEventParamFields{
    field(EventParamField::kName, K::String, "name"),
    field(EventParamField::kStringValue, K::String, "string_value"),
    field(EventParamField::kIntValue, K::Int64, "int_value"),
    field(EventParamField::kDoubleValue, K::Double, "double_value"),
    field(EventParamField::kParams, kRepeatedMessage, "params", &kEventParamDescriptor),
};

constexpr std::array kUserAttributeFields{
    field(UserAttributeField::kSetTimestampMillis, K::Int64, "set_timestamp_millis"),
    field(UserAttributeField::kName, K::String, "name"),
    field(UserAttributeField::kStringValue, K::String, "string_value"),
    field(UserAttributeField::kIntValue, K::Int64, "int_value"),
    field(UserAttributeField::kDoubleValue, K::Double, "double_value"),
};

constexpr std::array kSequenceFilterResultTimestampFields{
    field(SequenceFilterResultTimestampField::kFilterID, K::Int32, "filter_id"),
    field(SequenceFilterResultTimestampField::kTimestampsMillis, K::Int64 | K::Repeated, "timestamps_millis"),
};

constexpr std::array kAudienceResultFields{
    field(AudienceResultField::kAudienceID, K::Int32, "audience_id"),
    field(AudienceResultField::kCurrentFilterIDs, K::Int32 | K::Repeated, "current_filter_ids"),
    field(AudienceResultField::kPreviousFilterIDs, K::Int32 | K::Repeated, "previous_filter_ids"),
    field(AudienceResultField::kSequenceTimestamps, kRepeatedMessage, "sequence_timestamps",
          &kSequenceFilterResultTimestampDescriptor),
};

constexpr std::array kAudienceFields{
    field(AudienceField::kAudienceID, K::Int32, "audience_id"),
    field(AudienceField::kDefinition, K::Bytes, "definition"),
};

constexpr std::array kSettingFields{
    field(SettingField::kKey, K::String, "key"),
    field(SettingField::kValue, K::String, "value"),
};

constexpr std::array kEventConfigFields{
    field(EventConfigField::kName, K::String, "name"),
    field(EventConfigField::kBlocklisted, K::Bool, "blocklisted"),
    field(EventConfigField::kCustomConversion, K::Bool, "custom_conversion"),
    field(EventConfigField::kSamplingRate, K::Int32, "sampling_rate"),
};

constexpr std::array kConsentEntryFields{
    field(ConsentEntryField::kType, K::String, "type"),
    field(ConsentEntryField::kValue, K::String, "value"),
};

constexpr std::array kRegionalConsentDefaultsFields{
    field(RegionalConsentDefaultsField::kRegion, K::String, "region"),
    field(RegionalConsentDefaultsField::kDefaults, kRepeatedMessage, "defaults", &kConsentEntryDescriptor),
};

namespace C = MeasurementConfigField;
constexpr std::array kConfigFields{
    field(C::kVersion, K::Int64, "version"),
    field(C::kCNPAppID, K::String, "cnp_app_id"),
    field(C::kSettings, kRepeatedMessage, "settings", &kSettingDescriptor),
    field(C::kEventConfigs, kRepeatedMessage, "event_configs", &kEventConfigDescriptor),
    field(C::kCacheTTLSeconds, K::Int64, "cache_ttl_seconds"),
    field(C::kAudiences, kRepeatedMessage, "audiences", &kAudienceDescriptor),
    field(C::kDataControls, K::String | K::Repeated, "data_controls"),
    field(C::kExperimentIDs, K::Int64 | K::Repeated, "experiment_ids"),
    field(C::kConsentDefaults, kRepeatedMessage, "consent_defaults", &kConsentEntryDescriptor),
    field(C::kConsentDelegations, kRepeatedMessage, "consent_delegations", &kConsentEntryDescriptor),
    field(C::kRegionalDefaults, kRepeatedMessage, "regional_defaults", &kRegionalConsentDefaultsDescriptor),
    field(C::kDMARegion, K::Bool, "dma_region"),
    field(C::kCorePlatformServices, K::String | K::Repeated, "core_platform_services"),
    field(C::kEventEditingProgram, K::Bytes, "event_editing_program"),
};

}  // namespace

const MessageDescriptor kMeasurementBatchDescriptor{"MeasurementBatch", kBatchFields};
const MessageDescriptor kMeasurementBundleDescriptor{"MeasurementBundle", kBundleFields};
const MessageDescriptor kEventDescriptor{"Event", kEventFields};
const MessageDescriptor kEventParamDescriptor{"EventParam", kEventParamFields};
const MessageDescriptor kUserAttributeDescriptor{"UserAttribute", kUserAttributeFields};
const MessageDescriptor kSequenceFilterResultTimestampDescriptor{"SequenceFilterResultTimestamp",
                                                                 kSequenceFilterResultTimestampFields};
const MessageDescriptor kAudienceResultDescriptor{"AudienceResult", kAudienceResultFields};
const MessageDescriptor kAudienceDescriptor{"Audience", kAudienceFields};
const MessageDescriptor kSettingDescriptor{"Setting", kSettingFields};
const MessageDescriptor kEventConfigDescriptor{"EventConfig", kEventConfigFields};
const MessageDescriptor kConsentEntryDescriptor{"ConsentEntry", kConsentEntryFields};
const MessageDescriptor kRegionalConsentDefaultsDescriptor{"RegionalConsentDefaults",
                                                           kRegionalConsentDefaultsFields};
const MessageDescriptor kMeasurementConfigDescriptor{"MeasurementConfig", kConfigFields};

}  // namespace beacon
