#pragma once
// The keychain calls of the SDK with its rules: a read asks for one item's data, a write updates an
// existing item or adds a new one readable after the first unlock on this device only, and removing
// an item that is not there succeeds. Failures are keychain errors, "com.cvu.keychain.ErrorDomain"
// code 0, reason "<function> (<status>)". Calls go to the user's shared keychain (Keychain.h) and
// may block on it: call them off the main thread.
//
// A keychain store that cannot be decoded at all is set aside whole (a file store keeps it beside
// itself as "<file>.damaged-<time>") and a fresh store started, with one warning line "I-BIS006000";
// the call is then made on the fresh store. It is never wiped, and never left failing every call.
// An item whose data its reader cannot decode, in a store that reads, is likewise set aside whole (a
// file store keeps it beside itself as "<file>.item.damaged-<time>") and removed, with one warning
// line "I-BIS006001", so that the write of a new record replaces nothing.

#include <cstdint>
#include <optional>
#include <string>

#include "platform/error/Result.h"
#include "platform/keychain/Keychain.h"

namespace beacon {

inline constexpr const char* kCVUKeychainErrorDomain = "com.cvu.keychain.ErrorDomain";
// The accessibility of the items the SDK adds.
inline constexpr const char* kCVUKeychainAccessibleAfterFirstUnlockThisDeviceOnly =
    "afterFirstUnlockThisDeviceOnly";

class CVUKeychainUtils {
 public:
  CVUKeychainUtils() = delete;

  // The item's data; nullopt when there is none. Any other outcome is an error, a successful read
  // without data included.
  static platform::Result<std::optional<platform::Bytes>> getItemWithQuery(
      const platform::KeychainQuery& query);
  // Looks the item up first: a failed lookup writes nothing.
  static platform::Result<void> setItem(const platform::Bytes& item, const platform::KeychainQuery& query);
  static platform::Result<void> removeItemWithQuery(const platform::KeychainQuery& query);
  // For the item the query names whose data does not decode: kept aside and removed where the store
  // can, with the warning line either way.
  static void setAsideUndecodableItemWithQuery(const platform::KeychainQuery& query);

  static platform::Error keychainErrorWithFunction(const std::string& function, std::int64_t status);
};

}  // namespace beacon
