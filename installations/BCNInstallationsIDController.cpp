#include "installations/BCNInstallationsIDController.h"

#include "installations/BCNInstallations.h"
#include "installations/BCNInstallationsAPIService.h"
#include "installations/BCNInstallationsErrorUtil.h"
#include "platform/notify/NotificationCenter.h"
#include "platform/time/SystemClock.h"
#include "sdk-core/BCNApp.h"
#include "sdk-core/BCNLogger.h"
#include "sdk-core/BCNOptions.h"
#include "sdk-utilities/vendor/VendorPrefix.h"

namespace beacon {
namespace {

using Item = BCNInstallationsItem;

// A token with less validity left than this is renewed before it is handed out.
constexpr double kAuthTokenMinimumValiditySeconds = 3600;

CVPPromise<Item> rejected(platform::Error error) {
  return CVPPromise<Item>::resolvedWith(std::move(error));
}

// What a handler answers when its controller is already gone.
platform::Error controllerGone() {
  return BCNInstallationsErrorUtil::installationsErrorWithCode(
      kBCNInstallationsErrorCodeUnknown, "The installations controller was released.", std::nullopt);
}

// What a step of a controller that has wound down answers.
platform::Error appGone() {
  return BCNInstallationsErrorUtil::installationsErrorWithCode(
      kBCNInstallationsErrorCodeUnknown, "The app of this installation was deleted.", std::nullopt);
}

template <class T, class F>
std::function<CVPPromise<T>()> weakHandler(const std::weak_ptr<BCNInstallationsIDController>& weak, F body) {
  return [weak, body] {
    std::shared_ptr<BCNInstallationsIDController> controller = weak.lock();
    if (!controller) return CVPPromise<T>::resolvedWith(controllerGone());
    return body(*controller);
  };
}

}  // namespace

std::shared_ptr<BCNInstallationsIDController> BCNInstallationsIDController::initWithApp(const BCNApp& app) {
  std::shared_ptr<BCNOptions> options = app.options();
  std::string appID = options->corvaneAppID().value_or("");
  std::shared_ptr<const platform::Clock> clock = BCNInstallations::clock();
  Collaborators collaborators{
      std::make_shared<BCNInstallationsStore>(
          CVUKeychainStorage::initWithService(keychainServiceWithAppID(appID)), options->appGroupID()),
      BCNInstallationsAPIService::initWithAPIKey(options->APIKey().value_or(""),
                                                 options->projectID().value_or(""), app.heartbeatLogger(),
                                                 platform::HttpClient::shared(), clock),
      std::make_shared<BCNInstallationsIIDStore>(),
      std::make_shared<BCNInstallationsIIDTokenStore>(options->CCMSenderID().value_or("")),
      std::make_shared<BCNInstallationsBackoffController>([clock] { return clock->now(); }),
      clock};
  return initWithCorvaneAppID(std::move(appID), app.name(), std::move(collaborators));
}

std::shared_ptr<BCNInstallationsIDController> BCNInstallationsIDController::initWithCorvaneAppID(
    std::string appID, std::string appName, Collaborators collaborators) {
  if (!collaborators.clock) collaborators.clock = platform::SystemClock::sharedPointer();
  std::shared_ptr<BCNInstallationsIDController> controller(
      new BCNInstallationsIDController(std::move(appID), std::move(appName), std::move(collaborators)));
  controller->makeCaches();
  return controller;
}

BCNInstallationsIDController::BCNInstallationsIDController(std::string appID, std::string appName,
                                                           Collaborators collaborators)
    : appID_(std::move(appID)), appName_(std::move(appName)), collaborators_(std::move(collaborators)) {}

void BCNInstallationsIDController::makeCaches() {
  std::weak_ptr<BCNInstallationsIDController> weak = weak_from_this();
  getInstallationPromiseCache_ =
      std::make_unique<BCNInstallationsSingleOperationPromiseCache<Item>>(weakHandler<Item>(
          weak, [](BCNInstallationsIDController& self) { return self.createGetInstallationItemPromise(); }));
  authTokenPromiseCache_ = std::make_unique<BCNInstallationsSingleOperationPromiseCache<Item>>(
      weakHandler<Item>(weak, [](BCNInstallationsIDController& self) {
        return self.installationWithValidAuthTokenForcingRefresh(false, true);
      }));
  authTokenForcingRefreshPromiseCache_ = std::make_unique<BCNInstallationsSingleOperationPromiseCache<Item>>(
      weakHandler<Item>(weak, [](BCNInstallationsIDController& self) {
        return self.installationWithValidAuthTokenForcingRefresh(true, true);
      }));
  deleteInstallationPromiseCache_ =
      std::make_unique<BCNInstallationsSingleOperationPromiseCache<CVPUnit>>(weakHandler<CVPUnit>(
          weak, [](BCNInstallationsIDController& self) { return self.createDeleteInstallationPromise(); }));
}

template <class T, class Work>
CVPPromise<T> BCNInstallationsIDController::whileRunning(Work work) {
  if (!workGate_->enter()) return CVPPromise<T>::resolvedWith(appGone());
  CVPPromise<T> promise = work();
  std::shared_ptr<BCNInstallationsWorkGate> gate = workGate_;
  promise.observeOnQueue(
      platform::globalQueue(), [gate](const T&) { gate->leave(); },
      [gate](const platform::Error&) { gate->leave(); });
  return promise;
}

bool BCNInstallationsIDController::windDown(std::chrono::nanoseconds bound) {
  return workGate_->close(bound);
}

std::string BCNInstallationsIDController::keychainServiceWithAppID(const std::string& appID) {
  return vendorLabel("BCNInstallations.installations.") + appID;
}

CVPPromise<Item> BCNInstallationsIDController::getInstallationItem() {
  return getInstallationPromiseCache_->getExistingPendingOrCreateNewPromise();
}

CVPPromise<Item> BCNInstallationsIDController::getAuthTokenForcingRefresh(bool forceRefresh) {
  if (forceRefresh) return authTokenForcingRefreshPromiseCache_->getExistingPendingOrCreateNewPromise();
  if (std::optional<CVPPromise<Item>> forced =
          authTokenForcingRefreshPromiseCache_->getExistingPendingPromise())
    return *forced;
  return authTokenPromiseCache_->getExistingPendingOrCreateNewPromise();
}

CVPPromise<CVPUnit> BCNInstallationsIDController::deleteInstallation() {
  return deleteInstallationPromiseCache_->getExistingPendingOrCreateNewPromise();
}

bool BCNInstallationsIDController::isDefaultApp() const {
  return appName_ == kBCNDefaultAppName;
}

// ---- Get or create ------------------------------------------------------------------------------

CVPPromise<Item> BCNInstallationsIDController::createGetInstallationItemPromise() {
  BCNLoggerLogDebug(kBCNLoggerInstallations, "I-BIS002000", "%s, appName: %@",
                    "-[BCNInstallationsIDController createGetInstallationItemPromise]", appName_);
  auto self = shared_from_this();
  CVPPromise<Item> installation =
      getStoredInstallation().recover([self](const platform::Error&) { return self->createAndSaveBID(); });
  // Registration starts now, but the ID does not wait for it.
  installation.then([self](const Item&) { self->getAuthTokenForcingRefresh(false); });
  return installation;
}

CVPPromise<Item> BCNInstallationsIDController::getStoredInstallation() {
  return whileRunning<Item>(
             [&] { return collaborators_.installationsStore->installationForAppID(appID_, appName_); })
      .then([](const Item& installation) -> CVPOutcome<Item> {
        platform::Result<void> valid = installation.isValid();
        if (valid) return installation;
        BCNLoggerLogWarning(kBCNLoggerInstallations, "I-BIS002004",
                            "Stored installation validation error: %@", valid.error().description);
        return valid.error();
      });
}

CVPPromise<Item> BCNInstallationsIDController::createAndSaveBID() {
  auto self = shared_from_this();
  return migrateOrGenerateInstallation()
      .then([self](const Item& installation) { return self->saveInstallation(installation); })
      .then([self](const Item& installation) {
        self->postBIDDidChangeNotification();
        return installation;
      });
}

CVPPromise<Item> BCNInstallationsIDController::migrateOrGenerateInstallation() {
  if (!isDefaultApp())
    return CVPPromise<Item>::resolvedWith(createInstallationWithBID(Item::generateBID(), std::nullopt));
  auto self = shared_from_this();
  return all(whileRunning<std::string>([&] { return collaborators_.IIDStore->existingIID(); }),
             whileRunning<std::string>(
                 [&] { return collaborators_.IIDTokenStore->existingIIDDefaultToken(); }))
      .then([self](const std::tuple<std::string, std::string>& legacy) {
        return self->createInstallationWithBID(std::get<0>(legacy), std::get<1>(legacy));
      })
      .recover([self](const platform::Error&) {
        return self->createInstallationWithBID(Item::generateBID(), std::nullopt);
      });
}

Item BCNInstallationsIDController::createInstallationWithBID(
    std::string bid, std::optional<std::string> IIDDefaultToken) const {
  Item installation(appID_, appName_);
  installation.beaconInstallationID = std::move(bid);
  installation.IIDDefaultToken = std::move(IIDDefaultToken);
  installation.registrationStatus = kBCNInstallationsRegistrationStatusUnregistered;
  return installation;
}

CVPPromise<Item> BCNInstallationsIDController::saveInstallation(const Item& installation) {
  return whileRunning<CVPUnit>(
             [&] { return collaborators_.installationsStore->saveInstallation(installation); })
      .then([installation](const CVPUnit&) { return installation; });
}

// ---- Valid token --------------------------------------------------------------------------------

CVPPromise<Item> BCNInstallationsIDController::installationWithValidAuthTokenForcingRefresh(
    bool forceRefresh, bool mayRegenerate) {
  BCNLoggerLogDebug(
      kBCNLoggerInstallations, "I-BIS002001",
      "-[BCNInstallationsIDController installationWithValidAuthTokenForcingRefresh:%@], appName: %@",
      static_cast<int>(forceRefresh), appName_);
  auto self = shared_from_this();
  return getInstallationItem()
      .then([self](const Item& installation) { return self->registerInstallationIfNeeded(installation); })
      .then([self, forceRefresh](const Item& installation) {
        const std::optional<platform::Date>& expiry = installation.authToken.expirationDate;
        double now = self->collaborators_.clock->now().secondsSinceReferenceDate;
        bool stillValid =
            expiry && expiry->secondsSinceReferenceDate >= now + kAuthTokenMinimumValiditySeconds;
        if (!forceRefresh && stillValid) return CVPPromise<Item>::resolvedWith(installation);
        return self->refreshAuthTokenForInstallation(installation);
      })
      .recover([self, mayRegenerate](const platform::Error& error) {
        return self->regenerateBIDOnRefreshTokenErrorIfNeeded(error, mayRegenerate);
      });
}

CVPPromise<Item> BCNInstallationsIDController::registerInstallationIfNeeded(const Item& installation) {
  if (installation.registrationStatus == kBCNInstallationsRegistrationStatusRegistered)
    return CVPPromise<Item>::resolvedWith(installation);
  if (!collaborators_.backoffController->isNextRequestAllowed())
    return rejected(BCNInstallationsErrorUtil::backoffIntervalWaitError());
  auto self = shared_from_this();
  std::optional<std::string> sentID = installation.beaconInstallationID;
  return whileRunning<Item>([&] { return collaborators_.APIService->registerInstallation(installation); })
      .recover([self](const platform::Error& error) -> CVPOutcome<Item> {
        self->updateBackoffWithSuccess(false, error);
        if (doesRegistrationErrorRequireConfigChange(error)) {
          BCNLoggerLogError(
              kBCNLoggerInstallations, "I-BIS002003",
              "Beacon Installation registration failed for app with name: %@, error:\n%@\nPlease make "
              "sure you use valid BeaconService-Info.plist",
              self->appName_, error.description);
        }
        return error;
      })
      .then([self, sentID](const Item& registered) {
        self->updateBackoffWithSuccess(true, std::nullopt);
        return self->saveInstallation(registered).then([self, sentID](const Item& saved) {
          if (saved.beaconInstallationID != sentID) self->postBIDDidChangeNotification();
          return saved;
        });
      });
}

CVPPromise<Item> BCNInstallationsIDController::refreshAuthTokenForInstallation(const Item& installation) {
  if (!collaborators_.backoffController->isNextRequestAllowed())
    return rejected(BCNInstallationsErrorUtil::backoffIntervalWaitError());
  auto self = shared_from_this();
  return whileRunning<Item>(
             [&] { return collaborators_.APIService->refreshAuthTokenForInstallation(installation); })
      .recover([self](const platform::Error& error) -> CVPOutcome<Item> {
        self->updateBackoffWithSuccess(false, error);
        return error;
      })
      .then([self](const Item& refreshed) {
        self->updateBackoffWithSuccess(true, std::nullopt);
        return self->saveInstallation(refreshed);
      });
}

CVPPromise<Item> BCNInstallationsIDController::regenerateBIDOnRefreshTokenErrorIfNeeded(
    const platform::Error& error, bool mayRegenerate) {
  bool unknownToService =
      BCNInstallationsErrorUtil::isAPIError(error, 401) || BCNInstallationsErrorUtil::isAPIError(error, 404);
  if (!mayRegenerate || !unknownToService) return rejected(error);
  auto self = shared_from_this();
  return getInstallationItem()
      .then([self](const Item& installation) { return self->deleteInstallationLocally(installation); })
      .then([self](const CVPUnit&) {
        return self->installationWithValidAuthTokenForcingRefresh(false, false);
      });
}

void BCNInstallationsIDController::updateBackoffWithSuccess(bool success,
                                                            const std::optional<platform::Error>& APIError) {
  BCNInstallationsBackoffControllerProtocol& backoff = *collaborators_.backoffController;
  if (success) {
    backoff.registerEvent(BCNInstallationsBackoffEvent::Success);
    return;
  }
  std::optional<long> status = APIError ? BCNInstallationsErrorUtil::HTTPStatusOf(*APIError) : std::nullopt;
  // A connection error says nothing about the service; 401 and 404 are answered by regeneration.
  if (!status || *status == 401 || *status == 404) return;
  backoff.registerEvent(*status == 400 || *status == 403 ? BCNInstallationsBackoffEvent::UnrecoverableFailure
                                                         : BCNInstallationsBackoffEvent::RecoverableFailure);
}

bool BCNInstallationsIDController::doesRegistrationErrorRequireConfigChange(const platform::Error& error) {
  std::optional<long> status = BCNInstallationsErrorUtil::HTTPStatusOf(error);
  return status && (*status == 400 || *status == 403 || *status == 404);
}

// ---- Delete -------------------------------------------------------------------------------------

CVPPromise<CVPUnit> BCNInstallationsIDController::createDeleteInstallationPromise() {
  BCNLoggerLogDebug(kBCNLoggerInstallations, "I-BIS002002", "%s, appName: %@",
                    "-[BCNInstallationsIDController createDeleteInstallationPromise]", appName_);
  auto self = shared_from_this();
  return mostRecentInstallationOperation()
      .then([self](const Item& installation) {
        return self->sendDeleteInstallationRequestIfNeeded(installation);
      })
      .then([self](const Item& installation) { return self->deleteInstallationLocally(installation); });
}

CVPPromise<Item> BCNInstallationsIDController::mostRecentInstallationOperation() {
  for (auto* cache : {authTokenForcingRefreshPromiseCache_.get(), authTokenPromiseCache_.get(),
                      getInstallationPromiseCache_.get()}) {
    if (std::optional<CVPPromise<Item>> pending = cache->getExistingPendingPromise()) return *pending;
  }
  return getStoredInstallation();
}

CVPPromise<Item> BCNInstallationsIDController::sendDeleteInstallationRequestIfNeeded(
    const Item& installation) {
  if (installation.registrationStatus <= kBCNInstallationsRegistrationStatusUnregistered)
    return CVPPromise<Item>::resolvedWith(installation);
  return whileRunning<Item>([&] { return collaborators_.APIService->deleteInstallation(installation); })
      .recover([installation](const platform::Error& error) -> CVPOutcome<Item> {
        // The service no longer knows it: as good as deleted.
        if (BCNInstallationsErrorUtil::isAPIError(error, 404)) return installation;
        return error;
      });
}

CVPPromise<CVPUnit> BCNInstallationsIDController::deleteInstallationLocally(const Item& installation) {
  auto self = shared_from_this();
  return whileRunning<CVPUnit>([&] {
           return collaborators_.installationsStore->removeInstallationForAppID(installation.appID(),
                                                                                installation.beaconAppName());
         })
      .then([self](const CVPUnit&) {
        // With the record gone the ID has changed, even when the legacy data will not go: those who
        // report the ID must hear of it. The legacy failure still reaches the caller.
        return self->deleteExistingIIDIfNeeded().always([self] { self->postBIDDidChangeNotification(); });
      });
}

CVPPromise<CVPUnit> BCNInstallationsIDController::deleteExistingIIDIfNeeded() {
  if (!isDefaultApp()) return CVPPromise<CVPUnit>::resolvedWith(CVPUnit{});
  return whileRunning<CVPUnit>([&] { return collaborators_.IIDStore->deleteExistingIID(); });
}

void BCNInstallationsIDController::postBIDDidChangeNotification() const {
  platform::NotificationCenter::defaultCenter().post(
      kBCNInstallationIDDidChangeNotification, nullptr,
      platform::Dictionary{{kBCNInstallationIDDidChangeNotificationAppNameKey, appName_}});
}

}  // namespace beacon
