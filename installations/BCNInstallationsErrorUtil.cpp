#include "installations/BCNInstallationsErrorUtil.h"

#include "installations/BCNInstallationsRedaction.h"
#include "platform/text/Format.h"
#include "sdk-utilities/vendor/VendorPrefix.h"

namespace beacon {
namespace {

// User-info keys of the HTTP error.
constexpr const char* kHTTPErrorKey = "BCNInstallationsHTTPError";
constexpr const char* kHTTPStatusKey = "HTTPStatusCode";
constexpr const char* kHTTPURLKey = "HTTPResponseURL";
constexpr const char* kHTTPDataKey = "data";

platform::Error reasoned(std::int64_t code, std::string reason) {
  return BCNInstallationsErrorUtil::installationsErrorWithCode(code, std::move(reason), std::nullopt);
}

}  // namespace

// Never destroyed: responses still arriving while exit handlers run make errors of this domain.
const std::string& kBCNInstallationsErrorDomain = *new std::string(vendorLabel("installations"));

platform::Error BCNInstallationsErrorUtil::keychainErrorWithFunction(const std::string& function,
                                                                     std::int64_t status) {
  return reasoned(kBCNInstallationsErrorCodeKeychain, platform::format("%@ (%li)", function, status));
}

platform::Error BCNInstallationsErrorUtil::installationItemNotFoundForAppID(const std::string& appID,
                                                                            const std::string& appName) {
  return reasoned(kBCNInstallationsErrorCodeUnknown,
                  platform::format("Installation for appID %@ appName %@ not found", appID, appName));
}

platform::Error BCNInstallationsErrorUtil::corruptedIIDTokenData() {
  return reasoned(kBCNInstallationsErrorCodeUnknown,
                  "IID token data stored in Keychain is corrupted or in an incompatible format.");
}

platform::Error BCNInstallationsErrorUtil::JSONSerializationError() {
  return reasoned(kBCNInstallationsErrorCodeUnknown, "Failed to serialize JSON data.");
}

platform::Error BCNInstallationsErrorUtil::BIDRegistrationErrorWithResponseMissingField(
    const std::string& fieldName) {
  return reasoned(kBCNInstallationsErrorCodeUnknown,
                  platform::format("A required response field with name %@ is missing", fieldName));
}

platform::Error BCNInstallationsErrorUtil::backoffIntervalWaitError() {
  return reasoned(kBCNInstallationsErrorCodeServerUnreachable, "Too many server requests.");
}

platform::Error BCNInstallationsErrorUtil::APIErrorWithHTTPResponse(const platform::HttpResponse& response,
                                                                    const std::vector<std::string>& secrets) {
  // The reason reaches logs and callers; the body itself stays whole in the user info.
  std::string reason = platform::format(
      "The server responded with an error: \n - URL: %@ \n - HTTP status code: %ld \n - Response body: %@",
      response.url, response.statusCode,
      BCNInstallationsRedactedBody(response.bodyText(), response.headers.get("Content-Type"), secrets));
  platform::Dictionary userInfo{{kHTTPErrorKey, true},
                                {kHTTPStatusKey, static_cast<std::int64_t>(response.statusCode)},
                                {kHTTPURLKey, response.url},
                                {kHTTPDataKey, response.body}};
  return platform::Error(kBCNInstallationsErrorDomain, kBCNInstallationsErrorCodeUnknown, std::move(reason),
                         std::move(userInfo));
}

platform::Error BCNInstallationsErrorUtil::installationsErrorWithCode(
    std::int64_t code, std::optional<std::string> failureReason,
    std::optional<platform::Error> underlyingError) {
  std::string reason = failureReason
                           ? std::move(*failureReason)
                           : "Underlying error: " + (underlyingError ? underlyingError->description : "");
  platform::Error error(kBCNInstallationsErrorDomain, code, std::move(reason));
  if (underlyingError) error.causedBy(std::move(*underlyingError));
  return error;
}

bool BCNInstallationsErrorUtil::isAPIError(const platform::Error& error, long code) {
  std::optional<long> status = HTTPStatusOf(error);
  return status && *status == code;
}

std::optional<long> BCNInstallationsErrorUtil::HTTPStatusOf(const platform::Error& error) {
  if (error.domain != kBCNInstallationsErrorDomain) return std::nullopt;
  auto marker = error.userInfo.find(kHTTPErrorKey);
  auto status = error.userInfo.find(kHTTPStatusKey);
  if (marker == error.userInfo.end() || status == error.userInfo.end() || !status->second.asInteger())
    return std::nullopt;
  return static_cast<long>(*status->second.asInteger());
}

platform::Error BCNInstallationsErrorUtil::publicDomainErrorWithError(const platform::Error& error) {
  if (error.domain == kBCNInstallationsErrorDomain) return error;
  return installationsErrorWithCode(kBCNInstallationsErrorCodeUnknown, std::nullopt, error);
}

}  // namespace beacon
