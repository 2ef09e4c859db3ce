#pragma once
// The record of one installation of one app: its installation ID, the tokens the installations
// service issued for it, and whether it is registered. A plain value: copies share nothing.
//
// The record is named in storage by its identifier, the app ID immediately followed by the app
// name. New installation IDs are 22 characters of the URL-safe Base64 alphabet whose first
// character is one of "c", "d", "e", "f".

#include <cstdint>
#include <optional>
#include <string>

#include "installations/BCNInstallationsStoredAuthToken.h"
#include "installations/BCNInstallationsStoredItem.h"
#include "platform/error/Result.h"
#include "platform/identity/RandomSource.h"
#include "platform/value/Value.h"

namespace beacon {

// Registration status of an installation.
inline constexpr std::int64_t kBCNInstallationsRegistrationStatusUnknown = 0;
inline constexpr std::int64_t kBCNInstallationsRegistrationStatusUnregistered = 1;
inline constexpr std::int64_t kBCNInstallationsRegistrationStatusRegistered = 2;

class BCNInstallationsItem {
 public:
  BCNInstallationsItem(std::string appID, std::string beaconAppName)
      : appID_(std::move(appID)), beaconAppName_(std::move(beaconAppName)) {}

  const std::string& appID() const { return appID_; }
  const std::string& beaconAppName() const { return beaconAppName_; }

  std::optional<std::string> beaconInstallationID;
  std::optional<std::string> refreshToken;
  BCNInstallationsStoredAuthToken authToken;
  std::int64_t registrationStatus = kBCNInstallationsRegistrationStatusUnknown;
  std::optional<std::string> IIDDefaultToken;

  BCNInstallationsStoredItem storedItem() const;
  void updateWithStoredItem(const BCNInstallationsStoredItem& item);

  std::string identifier() const { return identifierWithAppID(appID_, beaconAppName_); }
  static std::string identifierWithAppID(const std::string& appID, const std::string& appName);

  // Success, or an installations error (code 0) listing every problem found.
  platform::Result<void> isValid() const;

  static std::string generateBID(platform::RandomSource& random = platform::systemRandomSource());
  // Standard Base64 with "/" as "_" and "+" as "-"; the "=" padding stays.
  static std::string base64URLEncodedStringWithData(const platform::Bytes& data);

  friend bool operator==(const BCNInstallationsItem&, const BCNInstallationsItem&) = default;

 private:
  std::string appID_;
  std::string beaconAppName_;
};

}  // namespace beacon
