#pragma once
// The configuration of one SDK app: the keys of "BeaconService-Info.plist" (app, sender and project
// IDs, API key, bundle ID, service addresses), a deep-link scheme and app group chosen in code, and
// the three analytics switches, which the application's own Info.plist may override.
//
// Options are editable until an app takes them: BCNApp keeps a copy and locks it, after which every
// setter of that copy throws (ProgrammerError in the core error domain); the caller's object stays
// editable. The shared default options read from the file are never locked.
//
// Ownership: options are shared objects (std::shared_ptr). Threads: reading is safe from any thread;
// editing is meant for the configuring code before configure and must not race with readers.

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "platform/value/Value.h"

namespace beacon {

// Keys of the configuration file.
inline constexpr const char* kBCNCorvaneAppIDKey = "CORVANE_APP_ID";
inline constexpr const char* kBCNCCMSenderIDKey = "CCM_SENDER_ID";
inline constexpr const char* kBCNAPIKeyKey = "API_KEY";
inline constexpr const char* kBCNProjectIDKey = "PROJECT_ID";
inline constexpr const char* kBCNBundleIDKey = "BUNDLE_ID";
inline constexpr const char* kBCNClientIDKey = "CLIENT_ID";
inline constexpr const char* kBCNTrackingIDKey = "TRACKING_ID";
inline constexpr const char* kBCNMobileClientIDKey = "MOBILE_CLIENT_ID";
inline constexpr const char* kBCNDatabaseURLKey = "DATABASE_URL";
inline constexpr const char* kBCNStorageBucketKey = "STORAGE_BUCKET";

// Analytics switches, looked up in the application's Info.plist first, then in the options.
inline constexpr const char* kBCNAnalyticsCollectionDeactivatedKey =
    "BEACON_ANALYTICS_COLLECTION_DEACTIVATED";
inline constexpr const char* kBCNAnalyticsCollectionEnabledKey = "BEACON_ANALYTICS_COLLECTION_ENABLED";
inline constexpr const char* kBCNIsMeasurementEnabledKey = "IS_MEASUREMENT_ENABLED";

// The configuration file's resource name and type.
inline constexpr const char* kBCNServiceInfoFileName = "BeaconService-Info";
inline constexpr const char* kBCNServiceInfoFileType = "plist";

class BCNOptions {
 public:
  // The options read from "BeaconService-Info.plist" in the relevant bundles, or nullptr when the
  // file is missing or not a dictionary (both logged). Read once; every call returns the same
  // object until resetDefaultOptions().
  static std::shared_ptr<BCNOptions> defaultOptions();
  // The file's dictionary, read once, or nullopt.
  static std::optional<platform::Dictionary> defaultOptionsDictionary();
  // The path of "<name>.plist" in the relevant bundles, or nullopt.
  static std::optional<std::string> plistFilePathWithName(std::string_view resourceName);
  // Forgets the shared options and dictionary so the next call reads the file again.
  static void resetDefaultOptions();

  // Options from the file at `path`; nullptr (logged) when there is no path or the file is not a
  // property-list dictionary.
  static std::shared_ptr<BCNOptions> initWithContentsOfFile(const std::optional<std::string>& path);
  // Options holding the two IDs and, as "BUNDLE_ID", the main bundle's identifier when it has one.
  static std::shared_ptr<BCNOptions> initWithCorvaneAppID(const std::string& corvaneAppID,
                                                          const std::string& CCMSenderID);

  explicit BCNOptions(platform::Dictionary optionsDictionary);
  // Options are copied explicitly (copy()), so a copy never shares its analytics cache by accident.
  BCNOptions(const BCNOptions&) = delete;
  BCNOptions& operator=(const BCNOptions&) = delete;

  // A new object over a copy of the dictionary, with the same deep-link scheme, app group, editing
  // lock and default-plist flag.
  std::shared_ptr<BCNOptions> copy() const;

  bool isEqual(const BCNOptions& other) const;
  bool isEqualToOptions(const BCNOptions& other) const { return isEqual(other); }
  std::size_t hash() const;

  // The file's keys: the stored value when it is text. Setters throw once editing is locked.
  std::optional<std::string> corvaneAppID() const { return stringFor(kBCNCorvaneAppIDKey); }
  void setCorvaneAppID(std::string value) { setString(kBCNCorvaneAppIDKey, std::move(value)); }
  std::optional<std::string> CCMSenderID() const { return stringFor(kBCNCCMSenderIDKey); }
  void setCCMSenderID(std::string value) { setString(kBCNCCMSenderIDKey, std::move(value)); }
  std::optional<std::string> APIKey() const { return stringFor(kBCNAPIKeyKey); }
  void setAPIKey(std::string value) { setString(kBCNAPIKeyKey, std::move(value)); }
  std::optional<std::string> projectID() const { return stringFor(kBCNProjectIDKey); }
  void setProjectID(std::string value) { setString(kBCNProjectIDKey, std::move(value)); }
  std::optional<std::string> bundleID() const { return stringFor(kBCNBundleIDKey); }
  void setBundleID(std::string value) { setString(kBCNBundleIDKey, std::move(value)); }
  std::optional<std::string> clientID() const { return stringFor(kBCNClientIDKey); }
  void setClientID(std::string value) { setString(kBCNClientIDKey, std::move(value)); }
  std::optional<std::string> trackingID() const { return stringFor(kBCNTrackingIDKey); }
  void setTrackingID(std::string value) { setString(kBCNTrackingIDKey, std::move(value)); }
  std::optional<std::string> mobileClientID() const { return stringFor(kBCNMobileClientIDKey); }
  void setMobileClientID(std::string value) { setString(kBCNMobileClientIDKey, std::move(value)); }
  std::optional<std::string> databaseURL() const { return stringFor(kBCNDatabaseURLKey); }
  void setDatabaseURL(std::string value) { setString(kBCNDatabaseURLKey, std::move(value)); }
  std::optional<std::string> storageBucket() const { return stringFor(kBCNStorageBucketKey); }
  void setStorageBucket(std::string value) { setString(kBCNStorageBucketKey, std::move(value)); }

  // Not part of the dictionary.
  std::optional<std::string> deepLinkURLScheme() const;
  void setDeepLinkURLScheme(std::optional<std::string> scheme);
  std::optional<std::string> appGroupID() const;
  void setAppGroupID(std::optional<std::string> groupID);

  bool isEditingLocked() const;
  void setEditingLocked(bool locked);
  bool usingOptionsFromDefaultPlist() const;
  void setUsingOptionsFromDefaultPlist(bool fromDefaultPlist);

  // A copy of the file's keys and values.
  platform::Dictionary optionsDictionary() const;

  // The three analytics switches, each from the main bundle's Info.plist when it has the key, else
  // from these options; keys found in neither are left out. Worked out on first use and kept.
  platform::Dictionary analyticsOptionsDictionary() const;
  platform::Dictionary analyticsOptionsDictionaryWithInfoDictionary(const platform::Dictionary& info) const;

  // True when "BEACON_ANALYTICS_COLLECTION_DEACTIVATED" is true.
  bool isAnalyticsCollectionDeactivated() const;
  // Not deactivated, and "IS_MEASUREMENT_ENABLED" when present, else the default app's data
  // collection switch when a default app exists, else false.
  bool isMeasurementEnabled() const;
  // Not deactivated, and "BEACON_ANALYTICS_COLLECTION_ENABLED" when present, else
  // isMeasurementEnabled().
  bool isAnalyticsCollectionEnabled() const;
  // Deactivated, or one of the two enabling switches holds a number.
  bool isAnalyticsCollectionExplicitlySet() const;

 private:
  std::optional<std::string> stringFor(std::string_view key) const;
  void setString(std::string_view key, std::string value);
  // Throws when editing is locked; needs mutex_ held.
  void checkEditingAllowed() const;
  std::optional<platform::Value> analyticsSwitch(std::string_view key) const;

  mutable std::mutex mutex_;
  platform::Dictionary optionsDictionary_;
  std::optional<std::string> deepLinkURLScheme_;
  std::optional<std::string> appGroupID_;
  bool editingLocked_ = false;
  bool usingOptionsFromDefaultPlist_ = false;
  mutable std::optional<platform::Dictionary> analyticsOptionsDictionary_;
};

}  // namespace beacon
