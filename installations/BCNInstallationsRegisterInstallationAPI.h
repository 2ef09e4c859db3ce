#pragma once
// Reading the installations service's replies into records. A reply field counts only when it is a
// non-empty string; "expiresIn" is seconds followed by one unit character ("604800s"), the last
// character dropped and the rest read as a decimal number (0 when there is none). Missing fields
// fail with the field's name: "refreshToken", "authToken", "authToken.token", "authToken.expiresIn".
// Pure functions.

#include <optional>
#include <string>

#include "installations/BCNInstallationsItem.h"
#include "platform/error/Result.h"

namespace beacon {

class BCNInstallationsRegisterInstallationAPI {
 public:
  BCNInstallationsRegisterInstallationAPI() = delete;

  // The record the register reply makes of `sent`: the same app, the reply's installation ID when it
  // names one (else the one sent), its tokens, registered; the legacy default token is not kept.
  static platform::Result<BCNInstallationsItem> registeredInstallationWithJSONData(
      const BCNInstallationsItem& sent, const platform::Bytes& data, platform::Date date);
  // The token of a generate-token reply, whose fields sit at the top level.
  static platform::Result<BCNInstallationsStoredAuthToken> authTokenWithGenerateTokenAPIJSONData(
      const platform::Bytes& data, platform::Date date);
  // Status 1, the token, and expiry = date + expiresIn.
  static platform::Result<BCNInstallationsStoredAuthToken> authTokenWithJSONDict(
      const platform::Dictionary& dict, platform::Date date);
  // The body as a JSON object, else "Failed to serialize JSON data.".
  static platform::Result<platform::Dictionary> dictionaryFromJSONData(const platform::Bytes& data);
  static std::optional<std::string> validStringOrNilForKey(std::string_view key,
                                                           const platform::Dictionary& dict);
};

}  // namespace beacon
