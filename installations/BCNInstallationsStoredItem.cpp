#include "installations/BCNInstallationsStoredItem.h"

#include "installations/BCNInstallationsErrorUtil.h"
#include "sdk-core/BCNLogger.h"

namespace beacon {

void BCNInstallationsStoredItem::encodeWithCoder(platform::KeyedEncoder& coder) const {
  coder.encodeString("beaconInstallationID", beaconInstallationID);
  coder.encodeString("refreshToken", refreshToken);
  coder.encodeObject("authToken", &authToken);
  coder.encodeInteger("registrationStatus", registrationStatus);
  coder.encodeString("IIDDefaultToken", IIDDefaultToken);
  coder.encodeInteger("storageVersion", kStorageVersion);
}

std::shared_ptr<BCNInstallationsStoredItem> BCNInstallationsStoredItem::initWithCoder(
    platform::KeyedDecoder& coder) {
  std::int64_t version = coder.decodeInteger("storageVersion");
  if (version > kStorageVersion) {
    BCNLoggerLogWarning(
        kBCNLoggerInstallations, "I-BIS003000",
        "BCNInstallationsStoredItem was encoded by a newer coder version %ld. Current coder version "
        "is %ld. Some installation data may be lost.",
        version, kStorageVersion);
  }
  auto item = std::make_shared<BCNInstallationsStoredItem>();
  item->beaconInstallationID = coder.decodeString("beaconInstallationID");
  item->refreshToken = coder.decodeString("refreshToken");
  if (auto authToken = coder.decodeObject<BCNInstallationsStoredAuthToken>("authToken"))
    item->authToken = *authToken;
  item->registrationStatus = coder.decodeInteger("registrationStatus");
  item->IIDDefaultToken = coder.decodeString("IIDDefaultToken");
  return item;
}

}  // namespace beacon
