#pragma once
// The installation of one app through its life: found in storage or created (migrated from the
// legacy instance ID for the default app), registered with the installations service, its auth token
// kept valid (renewed when less than an hour is left, or when asked to), and deleted.
//
// Each operation runs at most once at a time: a caller asking while one is pending gets the pending
// promise. A forced token request never joins an unforced one; an unforced one joins a forced one.
//
// A registration or token refresh answered with 401 or 404 means the service no longer knows the
// installation: it is deleted locally and a new one is made and registered. That happens at most
// once per operation, so a service that keeps answering 401 cannot drive an endless loop of
// deletions and registrations; the second such answer reaches the caller.
//
// Every change of the installation ID posts "BCNInstallationIDDidChangeNotification" on the default
// notification centre (no sender, user info {"BCNInstallationIDDidChangeNotification": app name}).
// Promise steps run on the promise library's default queue; the object may be used from any thread.

#include <memory>
#include <optional>
#include <string>

#include "installations/BCNInstallations.h"
#include "installations/BCNInstallationsAPIServiceProtocol.h"
#include "installations/BCNInstallationsBackoffController.h"
#include "installations/BCNInstallationsIIDStore.h"
#include "installations/BCNInstallationsIIDTokenStore.h"
#include "installations/BCNInstallationsSingleOperationPromiseCache.h"
#include "installations/BCNInstallationsStore.h"
#include "platform/time/Clock.h"
#include "promises/CVPPromise.h"

namespace beacon {

class BCNApp;

class BCNInstallationsIDController : public std::enable_shared_from_this<BCNInstallationsIDController> {
 public:
  struct Collaborators {
    std::shared_ptr<BCNInstallationsStore> installationsStore;
    std::shared_ptr<BCNInstallationsAPIServiceProtocol> APIService;
    std::shared_ptr<BCNInstallationsIIDStore> IIDStore;
    std::shared_ptr<BCNInstallationsIIDTokenStore> IIDTokenStore;
    std::shared_ptr<BCNInstallationsBackoffControllerProtocol> backoffController;
    // What "now" is for the token's remaining validity.
    std::shared_ptr<const platform::Clock> clock;
  };

  // Builds the collaborators from the app's options: its keychain service, store, REST client with
  // the app's heartbeat logger, legacy readers and a fresh backoff controller, all reading
  // BCNInstallations::clock().
  static std::shared_ptr<BCNInstallationsIDController> initWithApp(const BCNApp& app);
  static std::shared_ptr<BCNInstallationsIDController> initWithCorvaneAppID(std::string appID,
                                                                            std::string appName,
                                                                            Collaborators collaborators);

  // "com.corvane.BCNInstallations.installations.<app ID>".
  static std::string keychainServiceWithAppID(const std::string& appID);

  // The stored or a new installation; registration is started but not waited for.
  CVPPromise<BCNInstallationsItem> getInstallationItem();
  // A registered installation whose auth token is valid for at least another hour (or new, forced).
  CVPPromise<BCNInstallationsItem> getAuthTokenForcingRefresh(bool forceRefresh);
  // Deletes the installation at the service (an unknown one counts as deleted) and locally.
  CVPPromise<CVPUnit> deleteInstallation();

  const std::string& appID() const { return appID_; }
  const std::string& appName() const { return appName_; }

 private:
  BCNInstallationsIDController(std::string appID, std::string appName, Collaborators collaborators);
  void makeCaches();

  bool isDefaultApp() const;
  CVPPromise<BCNInstallationsItem> createGetInstallationItemPromise();
  CVPPromise<BCNInstallationsItem> getStoredInstallation();
  CVPPromise<BCNInstallationsItem> createAndSaveBID();
  CVPPromise<BCNInstallationsItem> migrateOrGenerateInstallation();
  BCNInstallationsItem createInstallationWithBID(std::string bid,
                                                 std::optional<std::string> IIDDefaultToken) const;
  CVPPromise<BCNInstallationsItem> saveInstallation(const BCNInstallationsItem& installation);

  // `mayRegenerate`: whether a 401 or 404 may still replace the installation in this operation.
  CVPPromise<BCNInstallationsItem> installationWithValidAuthTokenForcingRefresh(bool forceRefresh,
                                                                                bool mayRegenerate);
  CVPPromise<BCNInstallationsItem> registerInstallationIfNeeded(const BCNInstallationsItem& installation);
  CVPPromise<BCNInstallationsItem> refreshAuthTokenForInstallation(const BCNInstallationsItem& installation);
  CVPPromise<BCNInstallationsItem> regenerateBIDOnRefreshTokenErrorIfNeeded(const platform::Error& error,
                                                                            bool mayRegenerate);
  void updateBackoffWithSuccess(bool success, const std::optional<platform::Error>& APIError);
  static bool doesRegistrationErrorRequireConfigChange(const platform::Error& error);

  CVPPromise<CVPUnit> createDeleteInstallationPromise();
  CVPPromise<BCNInstallationsItem> mostRecentInstallationOperation();
  CVPPromise<BCNInstallationsItem> sendDeleteInstallationRequestIfNeeded(
      const BCNInstallationsItem& installation);
  CVPPromise<CVPUnit> deleteInstallationLocally(const BCNInstallationsItem& installation);
  CVPPromise<CVPUnit> deleteExistingIIDIfNeeded();
  void postBIDDidChangeNotification() const;

  const std::string appID_;
  const std::string appName_;
  const Collaborators collaborators_;
  std::unique_ptr<BCNInstallationsSingleOperationPromiseCache<BCNInstallationsItem>>
      getInstallationPromiseCache_;
  std::unique_ptr<BCNInstallationsSingleOperationPromiseCache<BCNInstallationsItem>> authTokenPromiseCache_;
  std::unique_ptr<BCNInstallationsSingleOperationPromiseCache<BCNInstallationsItem>>
      authTokenForcingRefreshPromiseCache_;
  std::unique_ptr<BCNInstallationsSingleOperationPromiseCache<CVPUnit>> deleteInstallationPromiseCache_;
};

}  // namespace beacon
