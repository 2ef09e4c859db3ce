#pragma once
// The auth token of an installation as the service issued it, and as it is archived inside the
// stored record. A plain value: copies are independent.
//
// Archived fields, in order: "status" (integer), "token" (string), "expirationDate" (date),
// "storageVersion" (integer, 1). A token archived by a newer version (2 or more) is read all the
// same, with the warning "I-BIS004000".

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/plist/KeyedArchive.h"

namespace beacon {

// Status of a stored auth token.
inline constexpr std::int64_t kBCNInstallationsAuthTokenStatusUnknown = 0;
inline constexpr std::int64_t kBCNInstallationsAuthTokenStatusTokenReceived = 1;

class BCNInstallationsStoredAuthToken : public platform::KeyedCodable {
 public:
  static constexpr std::string_view kArchivedClassName = "BCNInstallationsStoredAuthToken";
  static constexpr std::int64_t kStorageVersion = 1;

  std::int64_t status = kBCNInstallationsAuthTokenStatusUnknown;
  std::optional<std::string> token;
  std::optional<platform::Date> expirationDate;

  std::string archivedClassName() const override { return std::string(kArchivedClassName); }
  void encodeWithCoder(platform::KeyedEncoder& coder) const override;
  static std::shared_ptr<BCNInstallationsStoredAuthToken> initWithCoder(platform::KeyedDecoder& coder);

  friend bool operator==(const BCNInstallationsStoredAuthToken& a, const BCNInstallationsStoredAuthToken& b) {
    return a.status == b.status && a.token == b.token && a.expirationDate == b.expirationDate;
  }
};

}  // namespace beacon
