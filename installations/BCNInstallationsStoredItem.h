#pragma once
// The installation record as it is kept in the keychain: a keyed archive of these fields, in order,
// "beaconInstallationID", "refreshToken", "authToken" (object), "registrationStatus" (integer),
// "IIDDefaultToken", "storageVersion" (integer, 1). A record archived by a newer version is read
// all the same, with the warning "I-BIS003000". A plain value.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "installations/BCNInstallationsStoredAuthToken.h"

namespace beacon {

class BCNInstallationsStoredItem : public platform::KeyedCodable {
 public:
  static constexpr std::string_view kArchivedClassName = "BCNInstallationsStoredItem";
  static constexpr std::int64_t kStorageVersion = 1;

  std::optional<std::string> beaconInstallationID;
  std::optional<std::string> refreshToken;
  BCNInstallationsStoredAuthToken authToken;
  std::int64_t registrationStatus = 0;
  std::optional<std::string> IIDDefaultToken;

  std::string archivedClassName() const override { return std::string(kArchivedClassName); }
  void encodeWithCoder(platform::KeyedEncoder& coder) const override;
  static std::shared_ptr<BCNInstallationsStoredItem> initWithCoder(platform::KeyedDecoder& coder);
};

}  // namespace beacon
