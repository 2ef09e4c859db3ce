#pragma once
// The analytics interface that the application and the other SDK components call. It holds no state
// of its own: each call either checks that the default SDK app is configured and hands the call to
// the analytics facade (BMSAnalytics), or forwards it unchanged.
//
// The SDK core starts analytics through the class directory: the composition root announces the
// class "BCNAnalytics" with registerClass, and configuring the default app then calls
// startWithConfiguration on it. Any thread.

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "measurement/runtime/BMSAnalytics.h"
#include "platform/classdir/ClassDirectory.h"

namespace beacon {

class BCNAnalyticsConfiguration;
class BCNOptions;

class BCNAnalytics {
 public:
  BCNAnalytics() = delete;

  // Announces the class, with its start and version facets, in `classes`.
  static void registerClass(platform::ClassDirectory& classes = platform::ClassDirectory::shared());

  static std::string topLevelVersion() { return "12.4.0"; }

  // Starts the facade for the default app with the options' app ID and switches (origin "ba").
  static void startWithConfiguration(const std::shared_ptr<BCNAnalyticsConfiguration>& configuration,
                                     const std::shared_ptr<BCNOptions>& options);

  // Keeps the engine told of the default app's installation ID (asked now and after each change);
  // called by the start, and a later call replaces the earlier observation.
  static void observeBeaconInstallationIDChanges();

  // Switches collection and persists the choice for later launches.
  static void setAnalyticsCollectionEnabled(bool enabled);

  // Checked: dropped (logged) until the default SDK app is configured, then handed to the facade.
  static void logEventWithName(const std::string& name, const BMSParameters& parameters);
  static void logEventWithOrigin(const std::string& origin, const std::string& name,
                                 const BMSParameters& parameters);
  // No value removes the property.
  static void setUserPropertyString(const std::optional<std::string>& value, const std::string& name);
  // On-device conversion measurement for the user with this e-mail address or phone number, plain
  // or hashed (the digest's bytes). No or an empty argument is passed on as empty.
  static void initiateOnDeviceConversionMeasurementWithEmailAddress(
      const std::optional<std::string>& emailAddress);
  static void initiateOnDeviceConversionMeasurementWithPhoneNumber(
      const std::optional<std::string>& phoneNumber);
  static void initiateOnDeviceConversionMeasurementWithHashedEmailAddress(
      const std::optional<platform::Bytes>& hashedEmailAddress);
  static void initiateOnDeviceConversionMeasurementWithHashedPhoneNumber(
      const std::optional<platform::Bytes>& hashedPhoneNumber);

  // Consent set here counts as third-party consent ("consent_settings_3p").
  static void setConsent(const platform::Dictionary& consent);
  // No user ID removes it.
  static void setUserID(const std::optional<std::string>& userID);
  static void setDefaultEventParameters(const std::optional<BMSParameters>& parameters);
  // Throws the collected data away and starts over under a new app instance ID.
  static void resetAnalyticsData();
  static void handleEventsForBackgroundURLSession(const std::string& sessionID,
                                                  std::function<void()> handler);
  static void logInternalEventWithOrigin(const std::string& origin, const std::string& name,
                                         const BMSParameters& parameters);
  static void logEventWithOrigin(const std::string& origin, bool isPublicEvent, const std::string& name,
                                 const BMSParameters& parameters, double timestamp, bool ignoreEnabled,
                                 bool ignoreInterceptor);
  static void userPropertiesIncludingInternal(bool includingInternal, platform::QueueRef queue,
                                              BMSUserPropertiesCallback callback);
  static void logTransactionWithProductID(const std::string& productID, std::int64_t paymentQuantity,
                                          const std::string& transactionIdentifier,
                                          const std::string& originalTransactionIdentifier,
                                          std::optional<double> transactionDate,
                                          const platform::Bytes& deviceVerification,
                                          const std::string& deviceVerificationUUID,
                                          const std::string& deviceVerificationNonce);
  // The entry of the SDK's other components: the facade's own instance.
  static const BMSAnalyticsInstance& sharedInstance();

  // Forwarded unchanged to the facade.
  static std::optional<std::string> appInstanceID();
  static void setLogEventInterceptor(BMSLogEventInterceptor interceptor);
  static std::optional<BMSLogEventListenerToken> addLogEventListener(BMSLogEventListener listener);
  static void removeLogEventListener(std::optional<BMSLogEventListenerToken> token);
  static void notifyEventListeners(const BMSEvent& event);
  static void dispatchAsyncOnSerialQueue(std::function<void()> block);
  static void queueOperationWithBlock(std::function<void()> block);
  static void unsuspendOperationQueue();
  static double loadTimestamp();
  static void setSessionTimeoutInterval(double seconds);
  static void sessionIDWithCompletion(BMSSessionIDCompletion completion);
  static void setOpenURLListener(BMSOpenURLListener listener);
  static void handleOpenURL(const std::string& url);
  static void handleUserActivity(const platform::UserActivity& activity);

  // For an application that quits: waits at most `bound` until the analytics work queued before
  // the call is done and its events are stored, keeping the main queue running when called on the
  // main thread. Answers whether that happened in time; at once true while no default SDK app is
  // configured, as nothing was handed on.
  static bool waitForQueuedWork(std::chrono::nanoseconds bound);
  // The same wait, after which the analytics database lets go of its file, leaving no journal beside
  // it; what the SDK is asked to store later is kept nowhere. For the application's last moment
  // before it quits. Answers whether both happened in time; at once true while no default SDK app
  // is configured.
  static bool closeDatabaseAfterQueuedWork(std::chrono::nanoseconds bound);
};

}  // namespace beacon
