#include <mutex>

#include "platform/keychain/FileKeychain.h"
#include "platform/keychain/Keychain.h"
#include "platform/keychain/SecretServiceKeychain.h"

namespace platform {
namespace {

// Answers every call with an I/O failure: the keychain of a user without a home folder.
class UnreachableKeychain final : public Keychain {
 public:
  KeychainCopyResult copyMatching(const KeychainQuery&) override {
    return {kKeychainIOFailure, std::nullopt};
  }
  KeychainStatus add(const KeychainQuery&, const Bytes&) override { return kKeychainIOFailure; }
  KeychainStatus update(const KeychainQuery&, const Bytes&) override { return kKeychainIOFailure; }
  KeychainStatus remove(const KeychainQuery&) override { return kKeychainIOFailure; }
};

std::mutex& sharedMutex() {
  static std::mutex mutex;
  return mutex;
}

std::shared_ptr<Keychain>& sharedSlot() {
  // Never destroyed: SDK queues may still use it while the process's exit handlers run.
  static std::shared_ptr<Keychain>& keychain = *new std::shared_ptr<Keychain>;
  return keychain;
}

std::shared_ptr<Keychain> chooseKeychain() {
  if (SecretServiceKeychain::isAvailable()) return std::make_shared<SecretServiceKeychain>();
  Result<std::filesystem::path> file = FileKeychain::defaultPath();
  if (!file) return std::make_shared<UnreachableKeychain>();
  return std::make_shared<FileKeychain>(*file);
}

}  // namespace

std::shared_ptr<Keychain> sharedKeychain() {
  std::lock_guard guard(sharedMutex());
  if (!sharedSlot()) sharedSlot() = chooseKeychain();
  return sharedSlot();
}

void setSharedKeychain(std::shared_ptr<Keychain> keychain) {
  std::lock_guard guard(sharedMutex());
  sharedSlot() = std::move(keychain);
}

}  // namespace platform
