#include "installations/CVUKeychainUtils.h"

#include "platform/text/Format.h"

namespace beacon {

platform::Result<std::optional<platform::Bytes>> CVUKeychainUtils::getItemWithQuery(
    const platform::KeychainQuery& query) {
  platform::KeychainCopyResult result = platform::sharedKeychain()->copyMatching(query);
  if (result.status == platform::kKeychainSuccess && result.data)
    return std::optional<platform::Bytes>(*result.data);
  if (result.status == platform::kKeychainItemNotFound) return std::optional<platform::Bytes>();
  return keychainErrorWithFunction("SecItemCopyMatching", result.status);
}

platform::Result<void> CVUKeychainUtils::setItem(const platform::Bytes& item,
                                                 const platform::KeychainQuery& query) {
  platform::Result<std::optional<platform::Bytes>> existing = getItemWithQuery(query);
  if (!existing) return existing.error();
  std::shared_ptr<platform::Keychain> keychain = platform::sharedKeychain();
  if (*existing) {
    platform::KeychainStatus status = keychain->update(query, item);
    if (status != platform::kKeychainSuccess) return keychainErrorWithFunction("SecItemUpdate", status);
    return {};
  }
  platform::KeychainQuery attributes = query;
  attributes.accessibility = kCVUKeychainAccessibleAfterFirstUnlockThisDeviceOnly;
  platform::KeychainStatus status = keychain->add(attributes, item);
  if (status != platform::kKeychainSuccess) return keychainErrorWithFunction("SecItemAdd", status);
  return {};
}

platform::Result<void> CVUKeychainUtils::removeItemWithQuery(const platform::KeychainQuery& query) {
  platform::KeychainStatus status = platform::sharedKeychain()->remove(query);
  if (status == platform::kKeychainSuccess || status == platform::kKeychainItemNotFound) return {};
  return keychainErrorWithFunction("SecItemDelete", status);
}

platform::Error CVUKeychainUtils::keychainErrorWithFunction(const std::string& function,
                                                            std::int64_t status) {
  return platform::Error(kCVUKeychainErrorDomain, 0, platform::format("%@ (%li)", function, status));
}

}  // namespace beacon
