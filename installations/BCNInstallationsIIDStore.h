#pragma once
// The identity an earlier instance-ID library of the vendor left for the default app: a marker in a
// property list under Application Support ("Corvane/BeaconInstanceID/com.corvane.iid-keypair.plist",
// top-level key "|S|cre") and an RSA key pair in the keychain, tagged with the main bundle
// identifier. The installation ID migrated from it is derived from the public key: SHA-1, the first
// byte's high bits set to 0111, the first 8 bytes, URL-safe Base64 without padding (11 characters).
//
// Used for the default app only. Work runs on the global utility queue.

#include <filesystem>
#include <optional>
#include <string>

#include "platform/error/Result.h"
#include "promises/CVPPromise.h"

namespace beacon {

class BCNInstallationsIIDStore {
 public:
  // The legacy installation ID; fails (validation failure) when there is none.
  CVPPromise<std::string> existingIID() const;
  // Removes the marker key and both keys. Nothing there is success; a key the keychain refuses to
  // delete fails with a keychain error (code 1).
  CVPPromise<CVPUnit> deleteExistingIID() const;

  static std::string IIDWithPublicKeyData(const platform::Bytes& publicKey);

  // Where the marker lives; nullopt when the user has no data folder.
  static std::optional<std::filesystem::path> markerFilePath();
  static std::optional<platform::Bytes> keyTag(bool publicKey);
};

}  // namespace beacon
