#pragma once
// Texts of the installations client's exchanges made fit for a log line or an error's reason: no API
// key, refresh token or auth token survives in them, at any log level.
//
// A JSON text is read and written back with every string under a key that names a secret (one
// holding "token", "key", "secret" or "authorization", in any case: "refreshToken", "authToken.token",
// "apiKey") replaced by "<redacted>". Then, in any text, every occurrence of a secret the caller
// knows (the API key, the refresh token it sent) is replaced the same way. Pure functions.

#include <string>
#include <string_view>
#include <vector>

#include "platform/net/HttpHeaders.h"

namespace beacon {

inline constexpr const char* kBCNInstallationsRedacted = "<redacted>";

std::string BCNInstallationsRedactedText(std::string_view text,
                                         const std::vector<std::string>& knownSecrets = {});

// "{Name: value, ...}" with the values of secret fields (API key, Authorization, the legacy token)
// redacted.
std::string BCNInstallationsRedactedHeaders(const platform::HttpHeaders& headers);

}  // namespace beacon
