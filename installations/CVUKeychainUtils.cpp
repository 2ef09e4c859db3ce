#include "installations/CVUKeychainUtils.h"

#include "installations/BCNInstallationsErrorUtil.h"
#include "platform/text/Format.h"
#include "sdk-core/BCNLogger.h"

namespace beacon {
namespace {

platform::KeychainStatus statusOf(const platform::KeychainCopyResult& result) {
  return result.status;
}
platform::KeychainStatus statusOf(platform::KeychainStatus status) {
  return status;
}

// A store that cannot be decoded would fail every call for good (no installation ID, no token, no
// upload, ever). It is kept whole beside itself and a fresh one started; the installation then
// registers anew. True when the call is worth making again.
bool setAsideDamagedStore(platform::Keychain& keychain) {
  platform::Result<std::optional<std::filesystem::path>> aside = keychain.setAsideDamagedStore();
  if (!aside) return false;
  if (*aside) {
    BCNLoggerLogWarning(kBCNLoggerInstallations, "I-BIS006000",
                        "The keychain could not be read. It was kept as %@ and a new one was started; this "
                        "installation registers anew.",
                        (*aside)->string());
  }
  return true;
}

// Runs `call` on the user's keychain; after a damaged store was set aside, once more on the new one.
template <class Call>
auto onKeychain(Call call) {
  std::shared_ptr<platform::Keychain> keychain = platform::sharedKeychain();
  auto result = call(*keychain);
  if (statusOf(result) == platform::kKeychainDamagedStore && setAsideDamagedStore(*keychain))
    result = call(*keychain);
  return result;
}

}  // namespace

platform::Result<std::optional<platform::Bytes>> CVUKeychainUtils::getItemWithQuery(
    const platform::KeychainQuery& query) {
  platform::KeychainCopyResult result =
      onKeychain([&](platform::Keychain& keychain) { return keychain.copyMatching(query); });
  if (result.status == platform::kKeychainSuccess && result.data)
    return std::optional<platform::Bytes>(*result.data);
  if (result.status == platform::kKeychainItemNotFound) return std::optional<platform::Bytes>();
  return keychainErrorWithFunction("SecItemCopyMatching", result.status);
}

platform::Result<void> CVUKeychainUtils::setItem(const platform::Bytes& item,
                                                 const platform::KeychainQuery& query) {
  platform::Result<std::optional<platform::Bytes>> existing = getItemWithQuery(query);
  if (!existing) return existing.error();
  if (*existing) {
    platform::KeychainStatus status =
        onKeychain([&](platform::Keychain& keychain) { return keychain.update(query, item); });
    if (status != platform::kKeychainSuccess) return keychainErrorWithFunction("SecItemUpdate", status);
    return {};
  }
  platform::KeychainQuery attributes = query;
  attributes.accessibility = kCVUKeychainAccessibleAfterFirstUnlockThisDeviceOnly;
  platform::KeychainStatus status =
      onKeychain([&](platform::Keychain& keychain) { return keychain.add(attributes, item); });
  if (status != platform::kKeychainSuccess) return keychainErrorWithFunction("SecItemAdd", status);
  return {};
}

platform::Result<void> CVUKeychainUtils::removeItemWithQuery(const platform::KeychainQuery& query) {
  platform::KeychainStatus status =
      onKeychain([&](platform::Keychain& keychain) { return keychain.remove(query); });
  if (status == platform::kKeychainSuccess || status == platform::kKeychainItemNotFound) return {};
  return keychainErrorWithFunction("SecItemDelete", status);
}

void CVUKeychainUtils::setAsideUndecodableItemWithQuery(const platform::KeychainQuery& query) {
  platform::Result<std::optional<std::filesystem::path>> aside =
      platform::sharedKeychain()->setAsideDamagedItem(query);
  if (!aside) {
    BCNLoggerLogWarning(kBCNLoggerInstallations, "I-BIS006001",
                        "A keychain item could not be read, and could not be kept aside: %@. This "
                        "installation registers anew.",
                        aside.error().debugDescription());
  } else if (*aside) {
    BCNLoggerLogWarning(kBCNLoggerInstallations, "I-BIS006001",
                        "A keychain item could not be read. It was kept as %@ and a new one will be "
                        "written; this installation registers anew.",
                        (*aside)->string());
  }
}

platform::Error CVUKeychainUtils::keychainErrorWithFunction(const std::string& function,
                                                            std::int64_t status) {
  return platform::Error(kCVUKeychainErrorDomain, 0, platform::format("%@ (%li)", function, status));
}

}  // namespace beacon
