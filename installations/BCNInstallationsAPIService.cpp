#include "installations/BCNInstallationsAPIService.h"

#include "installations/BCNInstallationsErrorUtil.h"
#include "installations/BCNInstallationsRedaction.h"
#include "installations/BCNInstallationsRegisterInstallationAPI.h"
#include "platform/bundle/Bundle.h"
#include "platform/json/Json.h"
#include "platform/time/SystemClock.h"
#include "sdk-core/BCNHeartbeatController.h"
#include "sdk-core/BCNLogger.h"
#include "sdk-core/BCNSDKVersion.h"
#include "sdk-utilities/network/CVUServiceOrigins.h"
#include "sdk-utilities/vendor/VendorPrefix.h"

namespace beacon {
namespace {

using Item = BCNInstallationsItem;

constexpr const char* kAPIKeyHeader = "X-Corv-Api-Key";
constexpr const char* kBundleIdentifierHeader = "X-Ios-Bundle-Identifier";
constexpr const char* kAuthorizationHeader = "Authorization";
constexpr const char* kHeartbeatHeader = "X-beacon-client";
constexpr const char* kIIDMigrationAuthHeader = "x-corv-bis-ios-iid-migration-auth";
constexpr std::string_view kAuthorizationPrefix = "BIS_v2 ";

std::string requestText(const platform::HttpRequest& request) {
  return request.method + " " + request.url;
}

// What the request carries that no log may show: the API key, the refresh token, the legacy token.
// A reply that echoes one of them has it redacted too.
std::vector<std::string> secretsOf(const platform::HttpRequest& request) {
  std::vector<std::string> secrets;
  for (const char* name : {kAPIKeyHeader, kAuthorizationHeader, kIIDMigrationAuthHeader}) {
    std::optional<std::string> value = request.headers.get(name);
    if (!value) continue;
    if (value->starts_with(kAuthorizationPrefix))
      secrets.push_back(value->substr(kAuthorizationPrefix.size()));
    secrets.push_back(*value);
  }
  return secrets;
}

// The body of a request or a response as a log line may show it.
template <class Message>
std::string bodyText(const Message& message, const std::vector<std::string>& secrets) {
  return BCNInstallationsRedactedBody(
      std::string_view(reinterpret_cast<const char*>(message.body.data()), message.body.size()),
      message.headers.get("Content-Type"), secrets);
}

}  // namespace

std::shared_ptr<BCNInstallationsAPIService> BCNInstallationsAPIService::initWithAPIKey(
    std::string APIKey, std::string projectID, std::shared_ptr<BCNHeartbeatLoggerProtocol> heartbeatLogger,
    std::shared_ptr<platform::HttpClient> client, std::shared_ptr<const platform::Clock> clock) {
  if (!clock) clock = platform::SystemClock::sharedPointer();
  return std::shared_ptr<BCNInstallationsAPIService>(
      new BCNInstallationsAPIService(std::move(APIKey), std::move(projectID), std::move(heartbeatLogger),
                                     std::move(client), std::move(clock)));
}

BCNInstallationsAPIService::BCNInstallationsAPIService(
    std::string APIKey, std::string projectID, std::shared_ptr<BCNHeartbeatLoggerProtocol> heartbeatLogger,
    std::shared_ptr<platform::HttpClient> client, std::shared_ptr<const platform::Clock> clock)
    : APIKey_(std::move(APIKey)),
      projectID_(std::move(projectID)),
      heartbeatLogger_(std::move(heartbeatLogger)),
      client_(std::move(client)),
      clock_(std::move(clock)),
      responseQueue_(platform::makeSerialQueue(vendorLabel("BCNInstallationsAPIService"))) {}

std::string BCNInstallationsAPIService::SDKVersion() {
  return "i:" + BCNSDKVersion();
}

std::string BCNInstallationsAPIService::installationsURL(const std::optional<std::string>& installationID,
                                                         std::string_view suffix) const {
  std::string path = "/v1/projects/" + projectID_ + "/installations/";
  if (installationID) path += *installationID + std::string(suffix);
  return CVUServiceURL(CVUService::Installations, path);
}

// ---- Operations ---------------------------------------------------------------------------------

CVPPromise<Item> BCNInstallationsAPIService::registerInstallation(const Item& installation) {
  platform::Result<void> valid = installation.isValid();
  if (!valid) return CVPPromise<Item>::resolvedWith(valid.error());
  platform::Dictionary body{{"bid", installation.beaconInstallationID.value_or("")},
                            {"authVersion", "BIS_v2"},
                            {"appId", installation.appID()},
                            {"sdkVersion", SDKVersion()}};
  platform::HttpHeaders additional;
  if (installation.IIDDefaultToken) additional.add(kIIDMigrationAuthHeader, *installation.IIDDefaultToken);
  auto self = shared_from_this();
  auto clock = clock_;
  return requestWithURL(installationsURL(std::nullopt, ""), "POST", std::move(body), std::nullopt,
                        std::move(additional))
      .then([self](const platform::HttpRequest& request) { return self->sendURLRequest(request); })
      .then([installation, clock](const platform::HttpResponse& response) -> CVPOutcome<Item> {
        BCNLoggerLogDebug(kBCNLoggerInstallations, "I-BIS001005", "Parsing server response for %@.",
                          response.url);
        platform::Result<Item> registered =
            BCNInstallationsRegisterInstallationAPI::registeredInstallationWithJSONData(
                installation, response.body, clock->now());
        if (!registered) {
          BCNLoggerLogDebug(kBCNLoggerInstallations, "I-BIS001006",
                            "Failed to parse BCNInstallationsItem: %@.", registered.error().description);
          return registered.error();
        }
        BCNLoggerLogDebug(kBCNLoggerInstallations, "I-BIS001007",
                          "BCNInstallationsItem parsed successfully.");
        return *registered;
      });
}

CVPPromise<Item> BCNInstallationsAPIService::refreshAuthTokenForInstallation(const Item& installation) {
  platform::Dictionary body{{"installation", platform::Dictionary{{"sdkVersion", SDKVersion()}}}};
  auto self = shared_from_this();
  auto clock = clock_;
  return requestWithURL(installationsURL(installation.beaconInstallationID, "/authTokens:generate"), "POST",
                        std::move(body), installation.refreshToken)
      .then([self](const platform::HttpRequest& request) { return self->sendURLRequest(request); })
      .then([installation, clock](const platform::HttpResponse& response) -> CVPOutcome<Item> {
        BCNLoggerLogDebug(kBCNLoggerInstallations, "I-BIS001005", "Parsing server response for %@.",
                          response.url);
        platform::Result<BCNInstallationsStoredAuthToken> token =
            BCNInstallationsRegisterInstallationAPI::authTokenWithGenerateTokenAPIJSONData(response.body,
                                                                                           clock->now());
        if (!token) {
          BCNLoggerLogDebug(kBCNLoggerInstallations, "I-BIS001008",
                            "Failed to parse BCNInstallationsStoredAuthToken: %@.",
                            token.error().description);
          return token.error();
        }
        BCNLoggerLogDebug(kBCNLoggerInstallations, "I-BIS001009",
                          "BCNInstallationsStoredAuthToken parsed successfully.");
        Item refreshed = installation;
        refreshed.authToken = *token;
        return refreshed;
      });
}

CVPPromise<Item> BCNInstallationsAPIService::deleteInstallation(const Item& installation) {
  auto self = shared_from_this();
  return requestWithURL(installationsURL(installation.beaconInstallationID, "/"), "DELETE",
                        platform::Dictionary{}, installation.refreshToken)
      .then([self](const platform::HttpRequest& request) { return self->sendURLRequest(request); })
      .then([installation](const platform::HttpResponse&) { return installation; });
}

// ---- Requests -----------------------------------------------------------------------------------

CVPPromise<platform::HttpRequest> BCNInstallationsAPIService::requestWithURL(
    std::string URL, std::string HTTPMethod, platform::Value bodyDict,
    std::optional<std::string> refreshToken, platform::HttpHeaders additionalHeaders) {
  auto self = shared_from_this();
  return CVPPromise<platform::HttpRequest>::doWork(
      platform::globalQueue(platform::QualityOfService::Utility),
      [self, URL, HTTPMethod, bodyDict, refreshToken, additionalHeaders] {
        platform::HttpRequest request;
        request.url = URL;
        request.method = HTTPMethod;
        request.headers.add(kAPIKeyHeader, self->APIKey_);
        request.headers.add(kBundleIdentifierHeader,
                            platform::Bundle::main()->bundleIdentifier().value_or(""));
        // A body that cannot be written as JSON is left out; the service then refuses the request.
        if (platform::Result<std::string> json = platform::writeJson(bodyDict)) {
          request.headers.add("Content-Type", "application/json");
          request.body = platform::Bytes(json->begin(), json->end());
        }
        if (refreshToken)
          request.headers.add(kAuthorizationHeader, std::string(kAuthorizationPrefix) + *refreshToken);
        if (self->heartbeatLogger_) {
          std::shared_ptr<BCNHeartbeatsPayload> payload =
              self->heartbeatLogger_->flushHeartbeatsIntoPayload();
          std::optional<std::string> heartbeats = payload ? BCNHeartbeatHeaderValue(*payload) : std::nullopt;
          if (heartbeats) request.headers.add(kHeartbeatHeader, *heartbeats);
        }
        for (const auto& [name, value] : additionalHeaders.fields()) request.headers.add(name, value);
        return request;
      });
}

CVPPromise<platform::HttpResponse> BCNInstallationsAPIService::sendURLRequest(
    const platform::HttpRequest& request) {
  auto self = shared_from_this();
  return CVPPromise<platform::HttpResponse>::retry(
      CVPPromiseClass::defaultDispatchQueue(), 1, 1.0,
      [](std::int64_t, const platform::Error& error) {
        return BCNInstallationsErrorUtil::isAPIError(error, 500);
      },
      [self, request] { return self->URLRequestPromise(request); });
}

CVPPromise<platform::HttpResponse> BCNInstallationsAPIService::URLRequestPromise(
    const platform::HttpRequest& request) {
  const std::vector<std::string> secrets = secretsOf(request);
  BCNLoggerLogDebug(kBCNLoggerInstallations, "I-BIS001001", "Sending request: %@, body:%@, headers: %@.",
                    requestText(request), bodyText(request, secrets),
                    BCNInstallationsRedactedHeaders(request.headers));
  auto client = client_;
  auto queue = responseQueue_;
  return CVPPromise<platform::HttpResponse>::async(queue, [client, queue, request, secrets](auto fulfill,
                                                                                            auto reject) {
    client->send(
        request, queue, [request, secrets, fulfill, reject](platform::Result<platform::HttpResponse> answer) {
          if (!answer) {
            BCNLoggerLogDebug(kBCNLoggerInstallations, "I-BIS001002", "Request failed: %@, error: %@.",
                              requestText(request), answer.error().debugDescription());
            reject(answer.error());
            return;
          }
          const platform::HttpResponse& response = *answer;
          BCNLoggerLogDebug(kBCNLoggerInstallations, "I-BIS001003",
                            "Request response received: %@, error: %@, body: %@.", requestText(request),
                            nullptr, bodyText(response, secrets));
          if (response.statusCode >= 200 && response.statusCode <= 299) {
            fulfill(response);
            return;
          }
          BCNLoggerLogDebug(kBCNLoggerInstallations, "I-BIS001004", "Unexpected API response: %@, body: %@.",
                            response.url + " " + std::to_string(response.statusCode),
                            bodyText(response, secrets));
          reject(BCNInstallationsErrorUtil::APIErrorWithHTTPResponse(response, secrets));
        });
  });
}

}  // namespace beacon
