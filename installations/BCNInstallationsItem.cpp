#include "installations/BCNInstallationsItem.h"

#include <vector>

#include "installations/BCNInstallationsErrorUtil.h"
#include "platform/identity/UUID.h"
#include "platform/value/Base64.h"

namespace beacon {

BCNInstallationsStoredItem BCNInstallationsItem::storedItem() const {
  BCNInstallationsStoredItem item;
  item.beaconInstallationID = beaconInstallationID;
  item.refreshToken = refreshToken;
  item.authToken = authToken;
  item.registrationStatus = registrationStatus;
  item.IIDDefaultToken = IIDDefaultToken;
  return item;
}

void BCNInstallationsItem::updateWithStoredItem(const BCNInstallationsStoredItem& item) {
  beaconInstallationID = item.beaconInstallationID;
  refreshToken = item.refreshToken;
  authToken = item.authToken;
  registrationStatus = item.registrationStatus;
  IIDDefaultToken = item.IIDDefaultToken;
}

std::string BCNInstallationsItem::identifierWithAppID(const std::string& appID, const std::string& appName) {
  return appID + appName;
}

platform::Result<void> BCNInstallationsItem::isValid() const {
  std::vector<std::string> problems;
  if (appID_.empty()) problems.emplace_back("`appID` must not be empty");
  if (beaconAppName_.empty()) problems.emplace_back("`beaconAppName` must not be empty");
  if (beaconInstallationID.value_or("").empty())
    problems.emplace_back("`beaconInstallationID` must not be empty");
  if (registrationStatus == kBCNInstallationsRegistrationStatusUnknown) {
    problems.emplace_back("invalid `registrationStatus`");
  } else if (registrationStatus == kBCNInstallationsRegistrationStatusRegistered) {
    // Only absence counts: a registered record with an empty refresh token is accepted.
    if (!refreshToken) problems.emplace_back("registered installation must have non-empty `refreshToken`");
    if (!authToken.token)
      problems.emplace_back("registered installation must have non-empty `authToken.token`");
    if (!authToken.expirationDate)
      problems.emplace_back("registered installation must have non-empty `authToken.expirationDate`");
  }
  if (problems.empty()) return {};
  std::string joined;
  for (const std::string& problem : problems) joined += (joined.empty() ? "" : ", ") + problem;
  return BCNInstallationsErrorUtil::installationsErrorWithCode(
      kBCNInstallationsErrorCodeUnknown, "BCNInstallationsItem validation errors: " + joined, std::nullopt);
}

std::string BCNInstallationsItem::generateBID(platform::RandomSource& random) {
  const platform::UUID::Bytes uuid = platform::UUID::random(random).bytes();
  // The prefix's high bits 0111 make the first Base64 character one of "c" to "f".
  platform::Bytes data{static_cast<std::uint8_t>(0x70 | (uuid[15] & 0x0F))};
  data.insert(data.end(), uuid.begin(), uuid.end());
  return base64URLEncodedStringWithData(data).substr(0, 22);
}

std::string BCNInstallationsItem::base64URLEncodedStringWithData(const platform::Bytes& data) {
  return platform::base64Encode(data, platform::Base64Alphabet::UrlSafe, platform::Base64Padding::Keep);
}

}  // namespace beacon
