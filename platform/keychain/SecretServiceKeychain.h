#pragma once
// The keychain in the desktop's Secret Service (the keyring daemon of the user's session), reached
// over the session D-Bus. This is where a desktop user expects the secrets of their programs: the
// daemon encrypts them and unlocks them with the user's login.
//
// Items carry our attributes as Secret Service attributes under one schema of our own, so the
// matching rules are the service's own: an item matches when it has every attribute of the query.
// Items are kept in the user's default collection. A failure to reach the daemon, or a collection
// that stays locked, answers kKeychainIOFailure.
//
// Calls are serialised by a lock of the object; each call is a blocking D-Bus round trip.

#include <mutex>

#include "platform/keychain/Keychain.h"

namespace platform {

class SecretServiceKeychain final : public Keychain {
 public:
  // Whether the session bus has a Secret Service running or able to start. False without a session
  // bus; never waits longer than a couple of seconds.
  static bool isAvailable();

  KeychainCopyResult copyMatching(const KeychainQuery& query) override;
  KeychainStatus add(const KeychainQuery& attributes, const Bytes& data) override;
  KeychainStatus update(const KeychainQuery& query, const Bytes& data) override;
  KeychainStatus remove(const KeychainQuery& query) override;

 private:
  std::mutex mutex_;
};

}  // namespace platform
