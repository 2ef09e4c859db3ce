#pragma once
// The default token an earlier instance-ID library of the vendor kept for the default app: a
// generic-password item (generic attribute "com.corvane.iid-tokens", account the main bundle
// identifier, service "<CCM sender ID>:*") holding a keyed archive whose root class is
// "BCNInstanceIDTokenInfo". The token is sent once with the registration of a migrated installation.
//
// Used for the default app only. Work runs on the global utility queue.

#include <memory>
#include <string>

#include "platform/plist/KeyedArchive.h"
#include "promises/CVPPromise.h"

namespace beacon {

// The legacy token record, read from the key "token"; never written by this program.
class BCNInstallationsIIDTokenInfo {
 public:
  static constexpr std::string_view kArchivedClassName = "BCNInstallationsIIDTokenInfo";
  // The class name the earlier library archived it under.
  static constexpr const char* kLegacyArchivedClassName = "BCNInstanceIDTokenInfo";

  std::optional<std::string> token;

  static std::shared_ptr<BCNInstallationsIIDTokenInfo> initWithCoder(platform::KeyedDecoder& coder);
};

class BCNInstallationsIIDTokenStore {
 public:
  explicit BCNInstallationsIIDTokenStore(std::string CCMSenderID) : CCMSenderID_(std::move(CCMSenderID)) {}

  const std::string& CCMSenderID() const { return CCMSenderID_; }

  // The token. Fails with the keychain error when the keychain cannot be read, and with the
  // corrupted-data error (code 0) when there is no item or it holds no non-empty token.
  CVPPromise<std::string> existingIIDDefaultToken() const;

  static CVPOutcome<std::string> IIDCheckinWithData(const platform::Bytes& data);

 private:
  std::string CCMSenderID_;
};

}  // namespace beacon
