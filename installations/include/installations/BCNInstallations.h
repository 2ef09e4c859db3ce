#pragma once
// The installations component of a configured app: the installation ID (22 characters, stable for
// this installation of the application), short-lived auth tokens for the installations service, and
// deleting the installation.
//
// The library registers once per process with BCNInstallations::load() (before BCNApp::configure);
// every app configured afterwards then gets its instance while it is configured, which checks the
// app's options and raises (platform::ProgrammerError named by the installations error domain) when
// they cannot work: a missing app name, API key, Corvane app ID or project ID, or a malformed API key.
//
// Completions run once, on the promise library's default queue (the main queue), with a value or
// an error of kBCNInstallationsErrorDomain (BCNInstallationsErrors.h). Safe to call from any thread.
//
// When its app is deleted or the apps are reset, the instance winds down: storage and network work
// under way ends first (waited for up to ten seconds), and every operation after that fails, so that
// nothing of the app's installation is written once the app is gone.

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "installations/BCNInstallationsErrors.h"
#include "platform/error/Error.h"
#include "platform/time/Clock.h"
#include "platform/value/Value.h"
#include "sdk-core/BCNComponent.h"
#include "sdk-core/Object.h"

namespace beacon {

class BCNApp;
class BCNOptions;
class BCNInstallationsIDController;

// Posted on the default notification centre, with no sender, whenever an app's installation ID
// changes (made, replaced by the service, deleted); the user info holds the app's name under the key
// of the same text.
inline constexpr const char* kBCNInstallationIDDidChangeNotification =
    "BCNInstallationIDDidChangeNotification";
inline constexpr const char* kBCNInstallationIDDidChangeNotificationAppNameKey =
    "BCNInstallationIDDidChangeNotification";

// The protocol the installations component is published under in an app's container.
class BCNInstallationsInstanceProvider {
 public:
  virtual ~BCNInstallationsInstanceProvider() = default;
};

// An auth token and when it stops being valid.
class BCNInstallationsAuthTokenResult {
 public:
  BCNInstallationsAuthTokenResult(std::string authToken, platform::Date expirationDate)
      : authToken_(std::move(authToken)), expirationDate_(expirationDate) {}

  const std::string& authToken() const { return authToken_; }
  platform::Date expirationDate() const { return expirationDate_; }

 private:
  std::string authToken_;
  platform::Date expirationDate_;
};

class BCNInstallations final : public Object,
                               public BCNInstallationsInstanceProvider,
                               public BCNComponentLifecycleMaintainer {
 public:
  using IDCompletion =
      std::function<void(std::optional<std::string> installationID, std::optional<platform::Error>)>;
  using AuthTokenCompletion =
      std::function<void(std::optional<BCNInstallationsAuthTokenResult>, std::optional<platform::Error>)>;
  using DeleteCompletion = std::function<void(std::optional<platform::Error>)>;

  // The library's name among the SDK's libraries.
  static constexpr const char* kLibraryName = "bcn-install";

  // Registers the library (the class "BCNInstallations") with the app registry; harmless twice.
  static void load();

  // The clock that instances made afterwards read for token lifetimes and request backoff: the
  // system clock until a test puts its own in place (nullptr puts the system clock back).
  static void setClock(std::shared_ptr<const platform::Clock> clock);
  static std::shared_ptr<const platform::Clock> clock();

  // The default app's instance; raises when no default app is configured. Both are nullptr when the
  // library was not registered before the app was configured.
  static std::shared_ptr<BCNInstallations> installations();
  static std::shared_ptr<BCNInstallations> installationsWithApp(const BCNApp& app);

  // Validates the options first (raising, see above).
  static std::shared_ptr<BCNInstallations> initWithApp(const BCNApp& app);
  static std::shared_ptr<BCNInstallations> initWithAppOptions(
      std::shared_ptr<const BCNOptions> appOptions, std::string appName,
      std::shared_ptr<BCNInstallationsIDController> controller, bool prefetchAuthToken);

  void installationIDWithCompletion(IDCompletion completion) const;
  void authTokenWithCompletion(AuthTokenCompletion completion) const;
  void authTokenForcingRefresh(bool forceRefresh, AuthTokenCompletion completion) const;
  void deleteWithCompletion(DeleteCompletion completion) const;

  const std::string& appName() const { return appName_; }

  // Winds the instance down (see above).
  void appWillBeDeleted(BCNApp& app) override;

  // Raises when the options cannot serve the installations client.
  static void validateAppOptions(const BCNOptions& appOptions, const std::string& appName);
  static void validateAPIKey(const std::optional<std::string>& APIKey);

  BCNInstallations(std::shared_ptr<const BCNOptions> appOptions, std::string appName,
                   std::shared_ptr<BCNInstallationsIDController> controller);

 private:
  std::shared_ptr<const BCNOptions> appOptions_;
  std::string appName_;
  std::shared_ptr<BCNInstallationsIDController> installationsIDController_;
};

}  // namespace beacon
