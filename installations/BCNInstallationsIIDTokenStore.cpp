#include "installations/BCNInstallationsIIDTokenStore.h"

#include "installations/BCNInstallationsErrorUtil.h"
#include "installations/CVUKeychainUtils.h"
#include "platform/bundle/Bundle.h"
#include "sdk-utilities/vendor/VendorPrefix.h"

namespace beacon {

std::shared_ptr<BCNInstallationsIIDTokenInfo> BCNInstallationsIIDTokenInfo::initWithCoder(
    platform::KeyedDecoder& coder) {
  auto info = std::make_shared<BCNInstallationsIIDTokenInfo>();
  info->token = coder.decodeString("token");
  return info;
}

CVPPromise<std::string> BCNInstallationsIIDTokenStore::existingIIDDefaultToken() const {
  platform::KeychainQuery query;
  query.itemClass = platform::KeychainItemClass::GenericPassword;
  std::string generic = vendorLabel("iid-tokens");
  query.generic = platform::Bytes(generic.begin(), generic.end());
  std::optional<std::string> bundleIdentifier = platform::Bundle::main()->bundleIdentifier();
  if (bundleIdentifier && !bundleIdentifier->empty()) query.account = bundleIdentifier;
  query.service = CCMSenderID_ + ":*";
  return CVPPromise<std::string>::doWork(
      platform::globalQueue(platform::QualityOfService::Utility), [query]() -> CVPOutcome<std::string> {
        platform::Result<std::optional<platform::Bytes>> data = CVUKeychainUtils::getItemWithQuery(query);
        if (!data) return data.error();
        if (!*data) return BCNInstallationsErrorUtil::corruptedIIDTokenData();
        return IIDCheckinWithData(**data);
      });
}

CVPOutcome<std::string> BCNInstallationsIIDTokenStore::IIDCheckinWithData(const platform::Bytes& data) {
  platform::Result<std::shared_ptr<BCNInstallationsIIDTokenInfo>> info =
      platform::unarchivedObject<BCNInstallationsIIDTokenInfo>(
          data, {{BCNInstallationsIIDTokenInfo::kLegacyArchivedClassName,
                  std::string(BCNInstallationsIIDTokenInfo::kArchivedClassName)}});
  if (!info) return info.error();
  if (!(*info)->token || (*info)->token->empty()) return BCNInstallationsErrorUtil::corruptedIIDTokenData();
  return *(*info)->token;
}

}  // namespace beacon
