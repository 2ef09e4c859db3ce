#pragma once
// The errors of the installations client, all in kBCNInstallationsErrorDomain. Each carries its
// failure reason as the description; one without a reason of its own reads
// "Underlying error: <the cause's description>".
//
// A failed request to the installations service is an HTTP error: code 0, the response's URL,
// status and body kept in its user info, and the reason "The server responded with an error: ...".
// isAPIError tells it apart from every other error. Pure functions.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "installations/BCNInstallationsErrors.h"
#include "platform/error/Error.h"
#include "platform/net/HttpMessage.h"

namespace beacon {

// The installations client's log service tag.
inline constexpr std::string_view kBCNLoggerInstallations = "[BeaconInstallations]";

class BCNInstallationsErrorUtil {
 public:
  BCNInstallationsErrorUtil() = delete;

  // Code 1, "<function> (<status>)".
  static platform::Error keychainErrorWithFunction(const std::string& function, std::int64_t status);
  static platform::Error installationItemNotFoundForAppID(const std::string& appID,
                                                          const std::string& appName);
  static platform::Error corruptedIIDTokenData();
  static platform::Error JSONSerializationError();
  static platform::Error BIDRegistrationErrorWithResponseMissingField(const std::string& fieldName);
  // Code 2, "Too many server requests.".
  static platform::Error backoffIntervalWaitError();
  // The HTTP error of a response outside 200-299. Its reason shows the body as a log line may
  // (BCNInstallationsRedactedBody, with the `secrets` the request carried).
  static platform::Error APIErrorWithHTTPResponse(const platform::HttpResponse& response,
                                                  const std::vector<std::string>& secrets = {});
  static platform::Error installationsErrorWithCode(std::int64_t code,
                                                    std::optional<std::string> failureReason,
                                                    std::optional<platform::Error> underlyingError);

  // True for an HTTP error whose status is `code`.
  static bool isAPIError(const platform::Error& error, long code);
  // The status of an HTTP error; nullopt for any other error.
  static std::optional<long> HTTPStatusOf(const platform::Error& error);
  // An installations error unchanged; any other wrapped as code 0 with it as the cause.
  static platform::Error publicDomainErrorWithError(const platform::Error& error);
};

}  // namespace beacon
