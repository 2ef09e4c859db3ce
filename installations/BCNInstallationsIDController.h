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
//
// When its app goes, the controller winds down: its storage and network work that has started ends
// first, and every later step is refused, so nothing of the installation is written after the app is
// gone (and no operation that was under way can write into a user's folder that went with it).

#include <chrono>
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
#include "installations/BCNInstallationsWorkGate.h"
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

  // Refuses all further storage and network work (operations then fail with an installations error)
  // and waits, at most `bound`, for the work that has started. Called on the main thread it keeps the
  // main queue running meanwhile, where the promise steps run. Answers whether that work ended.
  bool windDown(std::chrono::nanoseconds bound);

  const std::string& appID() const { return appID_; }
  const std::string& appName() const { return appName_; }

 private:
  BCNInstallationsIDController(std::string appID, std::string appName, Collaborators collaborators);
  void makeCaches();
  // `work` (one call to a collaborator that stores, reads or sends) when the controller has not wound
  // down, counted as running until its promise settles; otherwise a refusal.
  template <class T, class Work>
  CVPPromise<T> whileRunning(Work work);

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
  // Shared with the steps that leave it, which may end after the controller.
  const std::shared_ptr<BCNInstallationsWorkGate> workGate_ = std::make_shared<BCNInstallationsWorkGate>();
  std::unique_ptr<BCNInstallationsSingleOperationPromiseCache<BCNInstallationsItem>>
      getInstallationPromiseCache_;
  std::unique_ptr<BCNInstallationsSingleOperationPromiseCache<BCNInstallationsItem>> authTokenPromiseCache_;
  std::unique_ptr<BCNInstallationsSingleOperationPromiseCache<BCNInstallationsItem>>
      authTokenForcingRefreshPromiseCache_;
  std::unique_ptr<BCNInstallationsSingleOperationPromiseCache<CVPUnit>> deleteInstallationPromiseCache_;
};

}  // namespace beacon
