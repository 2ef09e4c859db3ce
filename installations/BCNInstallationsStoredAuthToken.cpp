#include "installations/BCNInstallationsStoredAuthToken.h"

#include "installations/BCNInstallationsErrorUtil.h"
#include "sdk-core/BCNLogger.h"

namespace beacon {

void BCNInstallationsStoredAuthToken::encodeWithCoder(platform::KeyedEncoder& coder) const {
  coder.encodeInteger("status", status);
  coder.encodeString("token", token);
  coder.encodeDate("expirationDate", expirationDate);
  coder.encodeInteger("storageVersion", kStorageVersion);
}

std::shared_ptr<BCNInstallationsStoredAuthToken> BCNInstallationsStoredAuthToken::initWithCoder(
    platform::KeyedDecoder& coder) {
  std::int64_t version = coder.decodeInteger("storageVersion");
  if (version > kStorageVersion) {
    BCNLoggerLogWarning(
        kBCNLoggerInstallations, "I-BIS004000",
        "BCNInstallationsStoredAuthToken was encoded by a newer coder version %ld. Current coder "
        "version is %ld. Some auth token data may be lost.",
        version, kStorageVersion);
  }
  auto authToken = std::make_shared<BCNInstallationsStoredAuthToken>();
  authToken->status = coder.decodeInteger("status");
  authToken->token = coder.decodeString("token");
  authToken->expirationDate = coder.decodeDate("expirationDate");
  return authToken;
}

}  // namespace beacon
