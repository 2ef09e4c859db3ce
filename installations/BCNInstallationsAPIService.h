#pragma once
// The installations service's REST client: register an installation, generate an auth token, delete
// an installation, each a JSON exchange over HTTPS with the project's API key.
//
// Requests go to the installations service's origin (CVUServiceOrigin; BEACON_SERVICE_ORIGIN in
// tests) and carry, in order, "X-Corv-Api-Key", "X-Ios-Bundle-Identifier", "Content-Type",
// "Authorization" ("BIS_v2 <refresh token>", token and delete) and "X-beacon-client" (the app's
// heartbeats, flushed into the header once; absent when there are none). A registration carrying
// a legacy default token adds "x-corv-bis-ios-iid-migration-auth".
//
// A status outside 200-299 fails with the HTTP error (BCNInstallationsErrorUtil); a 500 is tried
// once more after one second. Transport failures pass on unchanged. Debug log lines show requests
// with the API key and the Authorization value redacted.
//
// Requests are built on the global utility queue (flushing heartbeats waits for their storage);
// answers arrive on the HTTP client's completion queue; the promise steps after them run on the
// promise library's default queue. The object holds no mutable state.

#include <memory>
#include <optional>
#include <string>

#include "installations/BCNInstallationsAPIServiceProtocol.h"
#include "platform/net/HttpClient.h"
#include "platform/time/Clock.h"
#include "sdk-core/BCNHeartbeatLogger.h"

namespace beacon {

class BCNInstallationsAPIService final : public BCNInstallationsAPIServiceProtocol,
                                         public std::enable_shared_from_this<BCNInstallationsAPIService> {
 public:
  static std::shared_ptr<BCNInstallationsAPIService> initWithAPIKey(
      std::string APIKey, std::string projectID, std::shared_ptr<BCNHeartbeatLoggerProtocol> heartbeatLogger,
      std::shared_ptr<platform::HttpClient> client = platform::HttpClient::shared(),
      std::shared_ptr<const platform::Clock> clock = nullptr);

  CVPPromise<BCNInstallationsItem> registerInstallation(const BCNInstallationsItem& installation) override;
  CVPPromise<BCNInstallationsItem> refreshAuthTokenForInstallation(
      const BCNInstallationsItem& installation) override;
  CVPPromise<BCNInstallationsItem> deleteInstallation(const BCNInstallationsItem& installation) override;

  // "i:<SDK version>".
  static std::string SDKVersion();

 private:
  BCNInstallationsAPIService(std::string APIKey, std::string projectID,
                             std::shared_ptr<BCNHeartbeatLoggerProtocol> heartbeatLogger,
                             std::shared_ptr<platform::HttpClient> client,
                             std::shared_ptr<const platform::Clock> clock);

  CVPPromise<platform::HttpRequest> requestWithURL(std::string URL, std::string HTTPMethod,
                                                   platform::Value bodyDict,
                                                   std::optional<std::string> refreshToken,
                                                   platform::HttpHeaders additionalHeaders = {});
  CVPPromise<platform::HttpResponse> sendURLRequest(const platform::HttpRequest& request);
  CVPPromise<platform::HttpResponse> URLRequestPromise(const platform::HttpRequest& request);
  std::string installationsURL(const std::optional<std::string>& installationID,
                               std::string_view suffix) const;

  const std::string APIKey_;
  const std::string projectID_;
  const std::shared_ptr<BCNHeartbeatLoggerProtocol> heartbeatLogger_;
  const std::shared_ptr<platform::HttpClient> client_;
  const std::shared_ptr<const platform::Clock> clock_;
  const platform::QueueRef responseQueue_;
};

}  // namespace beacon
