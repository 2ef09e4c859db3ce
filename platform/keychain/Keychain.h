#pragma once
// The user's store of secrets: small pieces of data (passwords, archived records, key bytes) kept
// per user and found again by their attributes.
//
// Two kinds of item: generic passwords, named by service, account and access group, and keys, named
// by application tag, key type and key class. An item is stored with the attributes given when it
// was added; a query names some attributes and matches every item that has those values, so an
// attribute left out of a query matches anything. The item class always takes part.
//
// Every call answers with a status of its own (KeychainStatus): 0 for success, negative numbers for
// failures, the same numbers the desktop's keychain uses, so callers can log and compare them.
//
// Two stores implement this: the desktop's Secret Service over D-Bus, where a session offers one,
// and otherwise one file per user (see sharedKeychain). Both are safe to call from any thread and
// from several processes of the same user at once.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/error/Result.h"
#include "platform/value/Value.h"

namespace platform {

using KeychainStatus = std::int32_t;

inline constexpr KeychainStatus kKeychainSuccess = 0;
inline constexpr KeychainStatus kKeychainItemNotFound = -25300;
inline constexpr KeychainStatus kKeychainDuplicateItem = -25299;
// The store could not be read or written (a file error, an unreachable service).
inline constexpr KeychainStatus kKeychainIOFailure = -36;
// The query cannot name an item (an add without the attributes that identify it).
inline constexpr KeychainStatus kKeychainInvalidParameter = -50;
// The store exists but cannot be decoded; nothing is read from or written to it until it is mended.
inline constexpr KeychainStatus kKeychainDamagedStore = -26275;
// The store cannot do what was asked of it.
inline constexpr KeychainStatus kKeychainUnimplemented = -4;

// The domain of the errors the keychain's Result-answering calls give, with a KeychainStatus as code.
inline constexpr std::string_view kKeychainErrorDomain = "platform.keychain";

enum class KeychainItemClass { GenericPassword, Key };

// Key types and classes of key items.
inline constexpr std::int64_t kKeychainKeyTypeRSA = 42;
inline constexpr std::int64_t kKeychainKeyClassPublic = 0;
inline constexpr std::int64_t kKeychainKeyClassPrivate = 1;

// The attributes of an item, or of a query (where an absent attribute matches anything).
struct KeychainQuery {
  KeychainItemClass itemClass = KeychainItemClass::GenericPassword;
  // Generic passwords.
  std::optional<std::string> service;
  std::optional<std::string> account;
  std::optional<std::string> accessGroup;
  std::optional<Bytes> generic;
  // Keys.
  std::optional<Bytes> applicationTag;
  std::optional<std::int64_t> keyType;
  std::optional<std::int64_t> keyClass;
  // When the item may be read; recorded at add, matched like any attribute.
  std::optional<std::string> accessibility;
};

struct KeychainCopyResult {
  KeychainStatus status = kKeychainItemNotFound;
  // The item's data when status is success.
  std::optional<Bytes> data;
};

class Keychain {
 public:
  virtual ~Keychain() = default;

  // The data of one matching item (the first added, where the store can tell).
  virtual KeychainCopyResult copyMatching(const KeychainQuery& query) = 0;
  // Stores a new item. DuplicateItem when an item with the same identifying attributes exists
  // (service, account and access group; or tag, key type and key class).
  virtual KeychainStatus add(const KeychainQuery& attributes, const Bytes& data) = 0;
  // Replaces the data of every matching item; ItemNotFound when none matches.
  virtual KeychainStatus update(const KeychainQuery& query, const Bytes& data) = 0;
  // Deletes every matching item; ItemNotFound when none matches.
  virtual KeychainStatus remove(const KeychainQuery& query) = 0;

  // For a store that answers kKeychainDamagedStore: keeps the damaged store whole under another name
  // and lets the next write start a fresh, empty one. Answers where the damaged store was kept, or
  // nullopt when it was not damaged (any more: another thread or process may have set it aside
  // first), and then nothing changed. Stores that cannot be damaged as a whole answer nullopt.
  virtual Result<std::optional<std::filesystem::path>> setAsideDamagedStore() {
    return std::optional<std::filesystem::path>();
  }

  // For an item whose data its owner cannot decode: keeps the first matching item whole (attributes
  // and data) out of the store's way, and removes it so that the next add starts afresh. Answers
  // where it was kept, or nullopt when no item matches (any more: another thread or process may have
  // set it aside first), and then nothing changed. Stores that cannot keep an item aside (the Secret
  // Service) fail with kKeychainUnimplemented and leave it where it is, so the caller can say so.
  virtual Result<std::optional<std::filesystem::path>> setAsideDamagedItem(const KeychainQuery&) {
    return Error(std::string(kKeychainErrorDomain), kKeychainUnimplemented,
                 "this keychain cannot keep an item aside");
  }
};

// The keychain of this user: the Secret Service when the session bus has one (running or
// startable), else the file store under the user's data folder (fileKeychainPath). Chosen once per
// process, on first use.
std::shared_ptr<Keychain> sharedKeychain();
// Replaces the shared keychain for the rest of the process (tests hand in one of their own); null
// makes the next sharedKeychain() choose again.
void setSharedKeychain(std::shared_ptr<Keychain> keychain);

}  // namespace platform
