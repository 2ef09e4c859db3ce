#pragma once
// Texts of the installations client's exchanges made fit for a log line or an error's reason: no API
// key, refresh token or auth token survives in them, at any log level.
//
// A body is shown only when it parses as a JSON object or array: it is written back with every
// string under a key that names a secret (one holding "token", "key", "secret" or "authorization",
// in any case: "refreshToken", "authToken.token", "apiKey") replaced by "<redacted>", and then every
// occurrence of a secret the caller knows (the API key, the refresh token it sent) is replaced the
// same way. Any other body (cut off mid-document, plain text, binary, a bare JSON scalar) may carry
// secrets in a shape nothing can find, so only its length and media type are shown:
// "<37 bytes, text/plain>", or "<37 bytes, no content type>" without a well-formed one. Pure functions.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/net/HttpHeaders.h"

namespace beacon {

inline constexpr const char* kBCNInstallationsRedacted = "<redacted>";

// `contentType` is the body's "Content-Type" field as it came, parameters included.
std::string BCNInstallationsRedactedBody(std::string_view body, const std::optional<std::string>& contentType,
                                         const std::vector<std::string>& knownSecrets = {});

// "{Name: value, ...}" with the values of secret fields (API key, Authorization, the legacy token)
// redacted.
std::string BCNInstallationsRedactedHeaders(const platform::HttpHeaders& headers);

}  // namespace beacon
