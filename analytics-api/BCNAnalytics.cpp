#include "analytics-api/BCNAnalytics.h"

#include "installations/BCNInstallationIDLink.h"
#include "measurement/engine/BMSDisplayNames.h"
#include "measurement/engine/BMSEngineServices.h"
#include "measurement/engine/BMSEventOrigins.h"
#include "measurement/runtime/AnalyticsContext.h"
#include "measurement/runtime/BMSAnalytics.h"
#include "measurement/runtime/BMSIdentity.h"
#include "measurement/runtime/BMSMeasurement.h"
#include "sdk-core/BCNAnalyticsStart.h"
#include "sdk-core/BCNApp.h"
#include "sdk-core/BCNOptions.h"

namespace beacon {
namespace {

constexpr const char* kLogTag = "[BeaconAnalytics]";

class AnalyticsClassFacets final : public BCNAnalyticsStart, public BMSTopLevelVersion {
 public:
  void startWithConfiguration(const std::shared_ptr<BCNAnalyticsConfiguration>& configuration,
                              const std::shared_ptr<BCNOptions>& options) override {
    BCNAnalytics::startWithConfiguration(configuration, options);
  }
  std::string topLevelVersion() const override { return BCNAnalytics::topLevelVersion(); }
};

// Hands one entry of user data to the facade once the default app is configured.
void initiateOnDeviceConversionMeasurement(const char* key, platform::Value value, std::int64_t code,
                                           const char* notConfiguredMessage) {
  if (!BCNApp::isDefaultAppConfigured()) {
    BMSLog(3, code, notConfiguredMessage);
    return;
  }
  BMSAnalytics::setUserData({{key, std::move(value)}});
}

}  // namespace

void BCNAnalytics::registerClass(platform::ClassDirectory& classes) {
  auto facets = std::make_shared<AnalyticsClassFacets>();
  classes.registerClass<BCNAnalyticsStart, BMSTopLevelVersion>(kBCNAnalyticsClassName, facets, facets);
}

void BCNAnalytics::startWithConfiguration(const std::shared_ptr<BCNAnalyticsConfiguration>& configuration,
                                          const std::shared_ptr<BCNOptions>& options) {
  BMSAnalyticsStartOptions startOptions;
  startOptions.configuration = configuration;
  startOptions.values = {
      {kBMSStartOptionCollectionDeactivated, options->isAnalyticsCollectionDeactivated()},
      {kBMSStartOptionCollectionEnabled, options->isAnalyticsCollectionEnabled()},
      {kBMSStartOptionLogTag, kLogTag},
  };
  BMSAnalytics::startWithAppID(options->corvaneAppID().value_or(""), kSDKAppOrigin, startOptions);
  observeBeaconInstallationIDChanges();
}

void BCNAnalytics::observeBeaconInstallationIDChanges() {
  // Asks for the ID now and again after every change; the engine reports what it was told last.
  AnalyticsContext::current().installationIDObservation() = BCNInstallationIDLink::follow(
      [](std::optional<std::string> installationID, std::optional<platform::Error> error) {
        if (!installationID && error) {
          BMSLog(4, 25038, "Failed to get Installation ID.", {error->debugDescription()});
        }
        if (const std::shared_ptr<BMSIdentity> identity = BMSIdentity::shared())
          identity->setBeaconInstallationID(std::move(installationID));
      });
}

void BCNAnalytics::setAnalyticsCollectionEnabled(bool enabled) {
  BMSAnalytics::setAnalyticsEnabled(enabled, true);
}

void BCNAnalytics::logEventWithName(const std::string& name, const BMSParameters& parameters) {
  logEventWithOrigin(kApplicationOrigin, name, parameters);
}

void BCNAnalytics::logEventWithOrigin(const std::string& origin, const std::string& name,
                                      const BMSParameters& parameters) {
  if (!BCNApp::isDefaultAppConfigured()) {
    BMSLog(3, 25018, "Event not logged. Call +[BCNApp configure]", {BMSEventNameForDisplay(name)});
    return;
  }
  BMSAnalytics::logEventWithOrigin(origin, name, parameters);
}

void BCNAnalytics::setUserPropertyString(const std::optional<std::string>& value, const std::string& name) {
  if (!BCNApp::isDefaultAppConfigured()) {
    BMSLog(3, 25019, "User property not set. Call +[BCNApp configure]",
           {BMSUserPropertyNameForDisplay(name)});
    return;
  }
  BMSAnalytics::setUserPropertyString(value ? platform::Value(*value) : platform::Value(), name);
}

void BCNAnalytics::initiateOnDeviceConversionMeasurementWithEmailAddress(
    const std::optional<std::string>& emailAddress) {
  initiateOnDeviceConversionMeasurement(kBMSUserDataEmailAddressKey,
                                        platform::Value(emailAddress.value_or("")), 25051,
                                        "Email address not set. Call +[BCNApp configure]");
}

void BCNAnalytics::initiateOnDeviceConversionMeasurementWithPhoneNumber(
    const std::optional<std::string>& phoneNumber) {
  initiateOnDeviceConversionMeasurement(kBMSUserDataPhoneNumberKey, platform::Value(phoneNumber.value_or("")),
                                        25052, "Phone number not set. Call +[BCNApp configure]");
}

void BCNAnalytics::initiateOnDeviceConversionMeasurementWithHashedEmailAddress(
    const std::optional<platform::Bytes>& hashedEmailAddress) {
  initiateOnDeviceConversionMeasurement(kBMSUserDataHashedEmailAddressKey,
                                        platform::Value(hashedEmailAddress.value_or(platform::Bytes{})),
                                        25053, "Hashed email address not set. Call +[BCNApp configure]");
}

void BCNAnalytics::initiateOnDeviceConversionMeasurementWithHashedPhoneNumber(
    const std::optional<platform::Bytes>& hashedPhoneNumber) {
  initiateOnDeviceConversionMeasurement(kBMSUserDataHashedPhoneNumberKey,
                                        platform::Value(hashedPhoneNumber.value_or(platform::Bytes{})), 25054,
                                        "Hashed phone number not set. Call +[BCNApp configure]");
}

void BCNAnalytics::setConsent(const platform::Dictionary& consent) {
  BMSAnalytics::setConsent(consent, kBMSFacadeConsent3PKey);
}

void BCNAnalytics::setUserID(const std::optional<std::string>& userID) {
  BMSAnalytics::setUserID(userID ? platform::Value(*userID) : platform::Value());
}

void BCNAnalytics::setDefaultEventParameters(const std::optional<BMSParameters>& parameters) {
  BMSAnalytics::setDefaultEventParameters(parameters);
}

void BCNAnalytics::resetAnalyticsData() {
  BMSAnalytics::resetAnalyticsData();
}

void BCNAnalytics::handleEventsForBackgroundURLSession(const std::string& sessionID,
                                                       std::function<void()> handler) {
  BMSAnalytics::handleEventsForBackgroundURLSession(sessionID, std::move(handler));
}

void BCNAnalytics::logInternalEventWithOrigin(const std::string& origin, const std::string& name,
                                              const BMSParameters& parameters) {
  BMSAnalytics::logInternalEventWithOrigin(origin, name, parameters);
}

void BCNAnalytics::logEventWithOrigin(const std::string& origin, bool isPublicEvent, const std::string& name,
                                      const BMSParameters& parameters, double timestamp, bool ignoreEnabled,
                                      bool ignoreInterceptor) {
  BMSAnalytics::logEventWithOrigin(origin, isPublicEvent, name, parameters, timestamp, ignoreEnabled,
                                   ignoreInterceptor);
}

void BCNAnalytics::userPropertiesIncludingInternal(bool includingInternal, platform::QueueRef queue,
                                                   BMSUserPropertiesCallback callback) {
  BMSAnalytics::userPropertiesIncludingInternal(includingInternal, std::move(queue), std::move(callback));
}

void BCNAnalytics::logTransactionWithProductID(const std::string& productID, std::int64_t paymentQuantity,
                                               const std::string& transactionIdentifier,
                                               const std::string& originalTransactionIdentifier,
                                               std::optional<double> transactionDate,
                                               const platform::Bytes& deviceVerification,
                                               const std::string& deviceVerificationUUID,
                                               const std::string& deviceVerificationNonce) {
  BMSAnalytics::logTransactionWithProductID(
      productID, paymentQuantity, transactionIdentifier, originalTransactionIdentifier, transactionDate,
      deviceVerification, deviceVerificationUUID, deviceVerificationNonce);
}

const BMSAnalyticsInstance& BCNAnalytics::sharedInstance() {
  return BMSAnalytics::sharedInstance();
}

std::optional<std::string> BCNAnalytics::appInstanceID() {
  return BMSAnalytics::appInstanceID();
}

void BCNAnalytics::setLogEventInterceptor(BMSLogEventInterceptor interceptor) {
  BMSAnalytics::setLogEventInterceptor(std::move(interceptor));
}

std::optional<BMSLogEventListenerToken> BCNAnalytics::addLogEventListener(BMSLogEventListener listener) {
  return BMSAnalytics::addLogEventListener(std::move(listener));
}

void BCNAnalytics::removeLogEventListener(std::optional<BMSLogEventListenerToken> token) {
  BMSAnalytics::removeLogEventListener(token);
}

void BCNAnalytics::notifyEventListeners(const BMSEvent& event) {
  BMSAnalytics::notifyEventListeners(event);
}

void BCNAnalytics::dispatchAsyncOnSerialQueue(std::function<void()> block) {
  BMSAnalytics::dispatchAsyncOnSerialQueue(std::move(block));
}

void BCNAnalytics::queueOperationWithBlock(std::function<void()> block) {
  BMSAnalytics::queueOperationWithBlock(std::move(block));
}

bool BCNAnalytics::waitForQueuedWork(std::chrono::nanoseconds bound) {
  if (!BCNApp::isDefaultAppConfigured()) return true;
  return BMSAnalytics::waitForQueuedWork(bound);
}

bool BCNAnalytics::closeDatabaseAfterQueuedWork(std::chrono::nanoseconds bound) {
  if (!BCNApp::isDefaultAppConfigured()) return true;
  return BMSAnalytics::closeDatabaseAfterQueuedWork(bound);
}

void BCNAnalytics::unsuspendOperationQueue() {
  BMSAnalytics::unsuspendOperationQueue();
}

double BCNAnalytics::loadTimestamp() {
  return BMSAnalytics::loadTimestamp();
}

void BCNAnalytics::setSessionTimeoutInterval(double seconds) {
  BMSAnalytics::setSessionTimeoutInterval(seconds);
}

void BCNAnalytics::sessionIDWithCompletion(BMSSessionIDCompletion completion) {
  BMSAnalytics::sessionIDWithCompletion(std::move(completion));
}

void BCNAnalytics::setOpenURLListener(BMSOpenURLListener listener) {
  BMSAnalytics::setOpenURLListener(std::move(listener));
}

void BCNAnalytics::handleOpenURL(const std::string& url) {
  BMSAnalytics::handleOpenURL(url);
}

void BCNAnalytics::handleUserActivity(const platform::UserActivity& activity) {
  BMSAnalytics::handleUserActivity(activity);
}

}  // namespace beacon
